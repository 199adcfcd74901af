// Orvane: starts with the parameter window; Execute opens the calculation window and the two
// graph windows, which hand back to the parameter window when they close.

#include "entry/ParameterWindow.h"
#include "output/CalculationWindow.h"

#include <QApplication>

using namespace orvane;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AnalysisParameters params;
    ParameterWindow parameterWindow(params);
    QObject::connect(&parameterWindow, &ParameterWindow::runRequested, [&] {
        parameterWindow.hide();
        auto* calculation = new CalculationWindow(params);
        QObject::connect(calculation, &CalculationWindow::closed, [&, calculation] {
            parameterWindow.show();
            calculation->deleteLater();
        });
        calculation->showRunWindows();
    });
    parameterWindow.show();
    parameterWindow.centreOnScreen();
    return QApplication::exec();
}
