#include "render/StudyFigureFile.h"

#include "render/FigureRenderer.h"

namespace orvane {

std::string SaveStudyFigure(const StudyPlot& plot, const std::string& path) {
    const std::unique_ptr<QGuiApplication> application = StartOffscreenApplication();
    const FigureData figure = MakeStudyFigure(plot);
    return SaveFigureFile(QString::fromStdString(path), {&figure, 1}).toStdString();
}

} // namespace orvane
