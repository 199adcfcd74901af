#include "render/FigureFiles.h"

#include "render/FigureRenderer.h"

namespace orvane {

std::string SaveRunFigures(const RunRecord& record, const std::string& path) {
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    std::vector<FigureData> figures;
    for (const FigureKind kind : kFigureKinds) {
        figures.push_back(MakeFigure(record, kind));
    }
    if (FigureFormatOf(path) == FigureFormat::Pdf) {
        return SaveFigureFile(QString::fromStdString(path), figures).toStdString();
    }
    for (std::size_t k = 0; k < figures.size(); ++k) {
        const QString error = SaveFigureFile(
            QString::fromStdString(FigureFileName(path, kFigureKinds[k])), {&figures[k], 1});
        if (!error.isEmpty()) {
            return error.toStdString();
        }
    }
    return {};
}

} // namespace orvane
