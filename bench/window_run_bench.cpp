// Time from Execute to "OK" with the three run windows under the offscreen platform, next to
// the same analysis without windows (the batch command's routine), measured in one process.
//   QT_QPA_PLATFORM=offscreen build/bench/window_run_bench

#include "output/CalculationWindow.h"
#include "output/ResultFileRun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace orvane;

namespace {

AnalysisParameters dataSet(float lb, float dl) {
    AnalysisParameters p = StartupParameters();
    p.lb = lb;
    p.dl = dl;
    p.ds = InitialSlipIncrement("1E-07");
    p.parameterFilePath = "bench.kvp";
    return p;
}

double windowRunSeconds(float lb, float dl) {
    AnalysisParameters params = dataSet(lb, dl);
    QElapsedTimer timer;
    timer.start();
    CalculationWindow window(params);
    window.showRunWindows();
    while (window.state() != RunState::Finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return timer.nsecsElapsed() / 1e9;
}

double batchRunSeconds(float lb, float dl) {
    AnalysisParameters params = dataSet(lb, dl);
    QElapsedTimer timer;
    timer.start();
    RunToResultFile(params);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const struct {
        const char* name;
        float lb, dl;
        int rounds;
    } cases[] = {{"start-up data set (1000 elements)", 120.0f, 0.12f, 5},
                 {"lb 1000 mm, dl 0.001 mm (1000000 elements)", 1000.0f, 0.001f, 2}};
    for (const auto& c : cases) {
        double window = 1e9, batch = 1e9;
        for (int round = 0; round < c.rounds; ++round) {
            window = std::min(window, windowRunSeconds(c.lb, c.dl));
            batch = std::min(batch, batchRunSeconds(c.lb, c.dl));
        }
        std::printf("%s: windows %.3f s, without windows %.3f s, ratio %.2f (best of %d)\n", c.name,
                    window, batch, window / batch, c.rounds);
    }
    return 0;
}
