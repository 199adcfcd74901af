// Time from Execute to "OK" with the three run windows under the offscreen platform, next to
// the same analysis without windows (the batch command's routine), measured in one process,
// by the clock on the wall and by the processor time of this process (the fairer figure on a
// shared machine).
//   QT_QPA_PLATFORM=offscreen build/bench/window_run_bench
// With "window LB DL" or "batch LB DL" it runs that one case once, one way, for a profiler:
//   QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind build/bench/window_run_bench window 100
//   0.001

#include "core/results/ResultFileRun.h"
#include "gui/run/CalculationWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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

struct Seconds {
    double wall;
    double processor;
};

// Times one call of run.
template <class Run>
Seconds timed(Run&& run) {
    QElapsedTimer timer;
    timer.start();
    const std::clock_t start = std::clock();
    run();
    return {timer.nsecsElapsed() / 1e9, double(std::clock() - start) / CLOCKS_PER_SEC};
}

Seconds windowRun(float lb, float dl) {
    AnalysisParameters params = dataSet(lb, dl);
    return timed([&] {
        CalculationWindow window(params);
        window.showRunWindows();
        while (window.state() != RunState::Finished) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    });
}

Seconds batchRun(float lb, float dl) {
    AnalysisParameters params = dataSet(lb, dl);
    return timed([&] { RunToResultFile(params); });
}

Seconds best(Seconds a, Seconds b) {
    return {std::min(a.wall, b.wall), std::min(a.processor, b.processor)};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    if (argc == 4) {
        const float lb = std::strtof(argv[2], nullptr);
        const float dl = std::strtof(argv[3], nullptr);
        const Seconds one =
            std::strcmp(argv[1], "window") == 0 ? windowRun(lb, dl) : batchRun(lb, dl);
        std::printf("%s lb %g dl %g: wall %.3f s, processor %.3f s\n", argv[1], double(lb),
                    double(dl), one.wall, one.processor);
        return 0;
    }
    const struct {
        const char* name;
        float lb, dl;
        int rounds;
    } cases[] = {{"start-up data set (1000 elements)", 120.0f, 0.12f, 5},
                 {"lb 1000 mm, dl 0.001 mm (1000000 elements)", 1000.0f, 0.001f, 2}};
    for (const auto& c : cases) {
        Seconds window{1e9, 1e9}, batch{1e9, 1e9};
        for (int round = 0; round < c.rounds; ++round) {
            window = best(window, windowRun(c.lb, c.dl));
            batch = best(batch, batchRun(c.lb, c.dl));
        }
        std::printf("%s, best of %d:\n"
                    "  wall      windows %.3f s, without windows %.3f s, ratio %.2f\n"
                    "  processor windows %.3f s, without windows %.3f s, ratio %.2f\n",
                    c.name, c.rounds, window.wall, batch.wall, window.wall / batch.wall,
                    window.processor, batch.processor, window.processor / batch.processor);
    }
    return 0;
}
