// The study window's memory and the cost of its CSV save: a study of many short runs under the
// offscreen platform, then its CSV. Prints the points, the peak resident memory of the process
// and how long the window's thread was held by the save against how long the save took.
//   QT_QPA_PLATFORM=offscreen build/bench/study_window_bench [POINTS]
//   /usr/bin/time -v build/bench/study_window_bench 200000   # the system's view of the peak

#include "gui/study/ParametricStudyWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace orvane;

namespace {

// Spins the event loop until done() holds, looking again every 20 ms.
template <class Done>
void waitFor(Done&& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(20);
    loop.exec();
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long points = argc > 1 ? std::atol(argv[1]) : 200000;
    ParametricStudyWindow window([] {
        return StudyBase{StartupParameters(), StartupFieldTexts(), QString()};
    });
    window.show();
    const long before = peakKiB();
    // Bond lengths of 1 to 3 mm: a few elements each, so the window's own cost shows.
    window.findChild<QLineEdit*>("input1Values")->setText(QStringLiteral("1:3:%1").arg(points));
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton*>("start")->click();
    waitFor([&] { return !window.running(); });
    const double studySeconds = double(clock.elapsed()) / 1000;
    const long afterStudy = peakKiB();

    QTemporaryDir dir;
    clock.restart();
    window.saveCsv(dir.filePath("study.csv"));
    const double heldSeconds = double(clock.elapsed()) / 1000;
    waitFor([&] { return !window.saving(); });
    const double saveSeconds = double(clock.elapsed()) / 1000;
    const qint64 bytes = QFileInfo(dir.filePath("study.csv")).size();

    std::printf("points                %ld in %.1f s\n", points, studySeconds);
    std::printf("peak memory           %.1f MB with the window open, %.1f MB after the study "
                "(%.0f bytes a point)\n",
                double(before) / 1024, double(afterStudy) / 1024,
                double(afterStudy - before) * 1024 / double(points));
    std::printf("CSV save              %.1f MB in %.2f s, the window held %.3f s (%.1f %%)\n",
                double(bytes) / 1e6, saveSeconds, heldSeconds, 100 * heldSeconds / saveSeconds);
    std::printf("peak memory at last   %.1f MB\n", double(peakKiB()) / 1024);
    return 0;
}
