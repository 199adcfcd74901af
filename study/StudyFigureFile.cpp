#include "study/StudyFigureFile.h"

#include "figures/FigureRenderer.h"

#include <QGuiApplication>
#include <memory>

namespace orvane {

std::string SaveStudyFigure(const StudyPlot& plot, const std::string& path) {
    // Text needs fonts, and fonts need a GUI application.
    std::unique_ptr<QGuiApplication> application;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "orvane-batch";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    const FigureData figure = MakeStudyFigure(plot);
    return SaveFigureFile(QString::fromStdString(path), {&figure, 1}).toStdString();
}

} // namespace orvane
