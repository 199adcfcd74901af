#include "figures/FigureFiles.h"

#include "figures/FigureRenderer.h"

#include <QGuiApplication>
#include <memory>

namespace orvane {

std::string SaveRunFigures(const RunRecord& record, const std::string& path) {
    // Text needs fonts, and fonts need a GUI application; a program without windows gets the
    // offscreen platform.
    std::unique_ptr<QGuiApplication> application;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "orvane";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
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
