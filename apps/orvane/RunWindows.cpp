#include "apps/orvane/RunWindows.h"

#include "gui/parameters/ParameterWindow.h"
#include "gui/run/CalculationWindow.h"
#include "gui/run/RunReport.h"

namespace orvane {

void connectRunWindows(ParameterWindow& parameterWindow, AnalysisParameters& params) {
    QObject::connect(&parameterWindow, &ParameterWindow::runRequested, &parameterWindow,
                     [&parameterWindow, &params] {
                         parameterWindow.hide();
                         auto* calculation = new CalculationWindow(params);
                         if (auto* report = parameterWindow.findChild<RunReport*>()) {
                             report->attach(*calculation);
                         }
                         QObject::connect(calculation, &CalculationWindow::closed, &parameterWindow,
                                          [&parameterWindow, calculation] {
                                              parameterWindow.show();
                                              calculation->deleteLater();
                                          });
                         calculation->showRunWindows();
                     });
}

} // namespace orvane
