// Orvane: starts with the parameter window; Execute opens the calculation window and the two
// graph windows, which hand back to the parameter window when they close.

#include "app/RunWindows.h"
#include "entry/ParameterWindow.h"
#include "forms/FormLayout.h"
#include "report/ParameterMenuBar.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(orvane::programIcon());
    orvane::AnalysisParameters params;
    orvane::ParameterWindow parameterWindow(params);
    orvane::InstallParameterMenuBar(parameterWindow, params);
    orvane::connectRunWindows(parameterWindow, params);
    parameterWindow.show();
    parameterWindow.centreOnScreen();
    return QApplication::exec();
}
