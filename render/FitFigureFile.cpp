#include "render/FitFigureFile.h"

#include "render/FigureRenderer.h"

namespace orvane {

std::string SaveFitFigure(const std::array<FigureData, 2>& panels, const std::string& path) {
    const std::optional<FigureFormat> format = FigureFormatOf(path);
    if (!format) {
        return "Cannot write \"" + path + "\": the name must end in .png, .svg or .pdf";
    }
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    const QByteArray bytes = FigurePanelBytes(panels, *format);
    return SaveWholeFile(QString::fromStdString(path), bytes).toStdString();
}

} // namespace orvane
