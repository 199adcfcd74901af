#include "render/ValidationFigureFile.h"

#include "render/FigureRenderer.h"

namespace orvane {

std::string SaveValidationFigure(const FigureData& figure, const std::string& path) {
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    return SaveFigureFile(QString::fromStdString(path), std::span(&figure, 1)).toStdString();
}

} // namespace orvane
