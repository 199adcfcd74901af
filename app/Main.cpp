// Orvane: starts with the parameter window.

#include "entry/ParameterWindow.h"
#include "numtext/NumberText.h"
#include "output/ResultFileRun.h"

#include <QApplication>
#include <QMessageBox>

using namespace orvane;

namespace {

// Until the calculation windows exist, Execute runs the analysis to its t-s file and reports.
void runWithoutWindows(ParameterWindow& window, AnalysisParameters& params) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const RunSummary run = RunToResultFile(params);
    QApplication::restoreOverrideCursor();
    if (!run.status.ok()) {
        QMessageBox::warning(&window, window.windowTitle(),
                             QString::fromStdString(run.status.message));
        return;
    }
    const QString text =
        QStringLiteral("%1 after %2 steps of %3 elements.\n\nPbumax = %4 N at slmax = %5 mm\n"
                       "Result file: %6")
            .arg(run.end == RunEnd::StepLimit ? QStringLiteral("Step limit reached")
                                              : QStringLiteral("Bond failure"))
            .arg(run.steps)
            .arg(run.n)
            .arg(QString::fromStdString(FormatMask(run.Pbumax, "0.000e+00")))
            .arg(QString::fromStdString(FormatMask(run.slmax, "#0.00000")))
            .arg(QString::fromStdString(run.file));
    QMessageBox::information(&window, window.windowTitle(), text);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AnalysisParameters params;
    ParameterWindow window(params);
    QObject::connect(&window, &ParameterWindow::runRequested,
                     [&] { runWithoutWindows(window, params); });
    window.show();
    window.centreOnScreen();
    return QApplication::exec();
}
