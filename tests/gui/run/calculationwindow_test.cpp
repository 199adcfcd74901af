#include "apps/orvane/RunWindows.h"
#include "core/numtext/NumberText.h"
#include "core/results/ResultFileRun.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/run/CalculationWindow.h"
#include "gui/run/DistributionPlotWindow.h"
#include "gui/run/TauSlipPlotWindow.h"
#include "support/BoxChecks.h"
#include "support/MessageBoxAnswer.h"
#include "support/RunSteps.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <limits>
#include <unistd.h>

using namespace orvane;

namespace {

constexpr int kRunTimeout = 30000; // ms

AnalysisParameters executed(float lb = 120.0f, const char* name = "beam.kvp") {
    AnalysisParameters p = StartupParameters();
    p.lb = lb;
    p.ds = InitialSlipIncrement("1E-07");
    p.parameterFilePath = name;
    return p;
}

QList<QByteArray> fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QString text(const QWidget& window, const QString& name) {
    return window.findChild<QLineEdit*>(name)->text();
}

QString masked(double value, const char* mask) {
    return QString::fromStdString(FormatMask(value, mask));
}

CalculationWindow* shownCalculationWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "Form2" && widget->isVisible()) {
            return qobject_cast<CalculationWindow*>(widget);
        }
    }
    return nullptr;
}

// Keeps the step number at which each watched window first painted.
class FirstPaints : public QObject {
public:
    FirstPaints(const CalculationWindow& window, std::initializer_list<QWidget*> watched)
        : m_window(window) {
        for (QWidget* widget : watched) {
            widget->installEventFilter(this);
        }
    }
    QMap<QString, int> steps;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !steps.contains(watched->objectName())) {
            steps.insert(watched->objectName(), m_window.stepNumber());
        }
        return false;
    }

private:
    const CalculationWindow& m_window;
};

} // namespace

class CalculationWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_previousDirectory = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(m_previousDirectory); }

    void defaultRunMatchesTheBatchFile() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        QCOMPARE(window.findChild<QPushButton*>("Command1")->text(), QStringLiteral("Command"));
        window.showRunWindows();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        QCOMPARE(window.findChild<QPushButton*>("Command1")->text(), QStringLiteral("OK"));
        QCOMPARE(params.parameterFilePath, std::string("beam.t-s"));

        AnalysisParameters batchParams = executed(120.0f, "batch.kvp");
        const RunSummary batch = RunToResultFile(batchParams);
        QVERIFY(batch.status.ok());
        const QList<QByteArray> windowLines = fileLines("beam.t-s");
        const QList<QByteArray> batchLines = fileLines("batch.t-s");
        QCOMPARE(windowLines.size(), 4 + batch.steps);
        // Only the date and time of the header may differ.
        const QByteArray stamp = ", at ";
        QCOMPARE(windowLines[0].left(windowLines[0].indexOf(stamp)),
                 batchLines[0].left(batchLines[0].indexOf(stamp)));
        QCOMPARE(windowLines.mid(1), batchLines.mid(1));

        QCOMPARE(window.stepNumber(), batch.steps);
        QCOMPARE(text(window, "Text1"), masked(batch.steps, "00000"));
        QCOMPARE(text(window, "Text7"), QStringLiteral("6.467"));
        QCOMPARE(text(window, "Text8"), masked(batch.Pbumax, "#####0.0"));
        QCOMPARE(text(window, "Text9"), masked(batch.slmax, "#0.00000"));

        // Enter presses "OK", which has the focus.
        QSignalSpy closed(&window, &CalculationWindow::closed);
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(closed.count(), 1);
    }

    void windowsPaintBeforeTheFirstStep() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        const FirstPaints paints(window,
                                 {&window, window.tauSlipPlot(), window.distributionPlot()});
        window.showRunWindows();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        const QMap<QString, int> expected{{"Form2", 0}, {"Form3", 0}, {"Form4", 0}};
        QCOMPARE(paints.steps, expected);
    }

    void nonFiniteValuesStopTheRunWithAMessage() {
        // Beyond what the run checks let through: the first march overflows.
        AnalysisParameters params = executed();
        params.tauMax = 3e38f;
        CalculationWindow window(params);
        QSignalSpy closed(&window, &CalculationWindow::closed);
        QString message;
        answerNextMessageBox(&message);
        window.showRunWindows();
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, kRunTimeout);
        QVERIFY2(message.contains("At step 1 ") && message.contains("not finite"),
                 qPrintable(message));
        QCOMPARE(fileLines("beam.t-s").size(), 4); // the header only
    }

    void tableRows_data() {
        QTest::addColumn<float>("lb");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstX");
        QTest::addColumn<QString>("lastX");
        QTest::newRow("n 5") << 0.6f << 5 << "0.120"
                             << "0.600";
        QTest::newRow("n 15") << 1.8f << 7 << "0.240"
                              << "1.680"; // element 15 is not shown
        QTest::newRow("n 100") << 12.0f << 10 << "1.200"
                               << "12.000";
    }
    void tableRows() {
        QFETCH(float, lb);
        QFETCH(int, rows);
        QFETCH(QString, firstX);
        QFETCH(QString, lastX);
        AnalysisParameters params = executed(lb);
        CalculationWindow window(params);
        window.showRunWindows();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        QCOMPARE(text(window, "Text4_0"), firstX);
        QCOMPARE(text(window, QStringLiteral("Text4_%1").arg(rows - 1)), lastX);
        for (int k = 0; k < 10; ++k) {
            for (const char* column : {"Text4_%1", "Text5_%1", "Text6_%1"}) {
                QCOMPARE(text(window, QString::fromLatin1(column).arg(k)).isEmpty(), k >= rows);
            }
        }
    }

    void cancelLeavesTheHeaderAndWholeSteps() {
        AnalysisParameters params = executed();
        params.detailOutput = 1;
        CalculationWindow window(params);
        QSignalSpy closed(&window, &CalculationWindow::closed);
        window.showRunWindows();
        runUntilStep(window, 7);
        QCOMPARE(window.findChild<QPushButton*>("Command1")->text(), QStringLiteral("Cancel"));
        QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(closed.count(), 1);
        const int steps = window.stepNumber();
        QTest::qWait(50);
        QCOMPARE(window.stepNumber(), steps); // nothing runs after the press
        QVERIFY(!window.isVisible() && !window.tauSlipPlot()->isVisible() &&
                !window.distributionPlot()->isVisible());
        const QList<QByteArray> lines = fileLines("beam.t-s");
        QCOMPARE(lines.size(), 3 + steps * (1000 + 4));
        QVERIFY(lines.last().startsWith("   ") && lines.last().endsWith("\r"));
    }

    void closeBoxOfAPlotActsAsTheButton() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        QSignalSpy closed(&window, &CalculationWindow::closed);
        window.showRunWindows();
        runUntilStep(window, 1);
        QCOMPARE(window.state(), RunState::Running);
        window.distributionPlot()->close();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isVisible());
    }

    void activationsNeverRestartTheRun() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        window.showRunWindows();
        runUntilStep(window, 6);
        QCOMPARE(window.state(), RunState::Running);
        window.hide();
        window.show();
        window.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        const int steps = window.stepNumber();
        QCOMPARE(fileLines("beam.t-s").size(), 4 + steps);
        window.hide();
        window.show();
        QTest::qWait(20);
        QCOMPARE(window.stepNumber(), steps);
        QCOMPARE(window.state(), RunState::Finished);
    }

    void unwritableResultFileClosesTheWindows() {
        AnalysisParameters params = executed(120.0f, "no/such/folder/beam.kvp");
        CalculationWindow window(params);
        QSignalSpy closed(&window, &CalculationWindow::closed);
        QString message;
        answerNextMessageBox(&message);
        window.showRunWindows();
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, kRunTimeout);
        QVERIFY2(message.contains("no/such/folder/beam.t-s"), qPrintable(message));
        QCOMPARE(window.stepNumber(), 0);
    }

    // An example in a folder the user cannot write (installed under /usr/share/doc) runs all
    // the same: the file dialog offers another place, and the result file goes there.
    void unwritableFolderOffersAnotherPlace() {
        QTemporaryDir scratch;
        QString folder = scratch.filePath("examples");
        if (geteuid() != 0) {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else if (::access("/proc/sys", W_OK) != 0) {
            folder = "/proc/sys"; // read-only even for root
        } else {
            QSKIP("no folder here that this user cannot write");
        }
        AnalysisParameters params = executed(40.0f, qPrintable(folder + "/beam.kvp"));
        CalculationWindow window(params);
        const QString elsewhere = scratch.filePath("elsewhere.t-s");
        QString title;
        auto* poll = new QTimer(&window);
        connect(poll, &QTimer::timeout, poll, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                poll->stop();
                title = dialog->windowTitle();
                dialog->selectFile(elsewhere);
                static_cast<QDialog*>(dialog)->accept(); // public in QDialog
            }
        });
        poll->start(10);
        window.showRunWindows();
        QTRY_COMPARE_WITH_TIMEOUT(window.state(), RunState::Finished, kRunTimeout);
        QVERIFY2(title.contains(folder + " cannot be written"), qPrintable(title));
        QVERIFY(fileLines(elsewhere).size() > 2);
        QVERIFY(!QFile::exists(folder + "/beam.t-s"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void okAndASecondExecuteStartAfresh() {
        AnalysisParameters params;
        ParameterWindow parameterWindow(params);
        connectRunWindows(parameterWindow, params);
        parameterWindow.show();
        auto* execute = parameterWindow.findChild<QPushButton*>("Command1");
        for (int run = 1; run <= 2; ++run) {
            QTest::mouseClick(execute, Qt::LeftButton);
            QVERIFY(!parameterWindow.isVisible());
            CalculationWindow* window = nullptr;
            QTRY_VERIFY((window = shownCalculationWindow()) != nullptr);
            QTRY_VERIFY_WITH_TIMEOUT(window->state() == RunState::Finished, kRunTimeout);
            // Every run starts from the typed initial ds, whatever the last one grew it to.
            QCOMPARE(window->stepNumber(), 188);
            QTest::mouseClick(window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
            QVERIFY(parameterWindow.isVisible());
            QCOMPARE(fileLines("default.t-s").size(), 4 + 188);
        }
    }

    void stepLimitIsReported() {
        // The smallest single increment never moves s0 = 1e-10 mm: the run can only end at the
        // step limit.
        AnalysisParameters params = executed(1.0f);
        params.dl = 1.0f;
        params.ds = std::numeric_limits<float>::denorm_min();
        CalculationWindow window(params);
        QString message;
        answerNextMessageBox(&message);
        window.showRunWindows();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!message.isEmpty(), kRunTimeout);
        QVERIFY2(message.contains("step limit of 10000 steps"), qPrintable(message));
        QCOMPARE(window.stepNumber(), PulloutRun::kMaxSteps);
        QCOMPARE(fileLines("beam.t-s").size(), 4 + PulloutRun::kMaxSteps);
        QCOMPARE(window.findChild<QPushButton*>("Command1")->text(), QStringLiteral("OK"));
    }

    // The table's cells as drawn: rows 240 twips apart and taller than that, x rows 1 to 3
    // lower than the rest.
    void tableCellsAsDrawn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        for (int k = 0; k < 10; ++k) {
            const int top = 1920 + 240 * k;
            const int xHeight = k >= 1 && k <= 3 ? 270 : 300;
            QTest::addRow("Text4_%d", k)
                << QStringLiteral("Text4_%1").arg(k) << QRect(480, top, 975, xHeight);
            QTest::addRow("Text5_%d", k)
                << QStringLiteral("Text5_%1").arg(k) << QRect(1800, top, 1215, 270);
            QTest::addRow("Text6_%d", k)
                << QStringLiteral("Text6_%1").arg(k) << QRect(3480, top, 1215, 300);
        }
    }
    void tableCellsAsDrawn() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        QCOMPARE(window.findChild<QLineEdit*>(name)->geometry(),
                 pixelRect(twips.x(), twips.y(), twips.width(), twips.height()));
    }

    // Long values show every digit: the boxes' fonts follow their texts.
    void longValuesShowEveryDigit_data() {
        QTest::addColumn<float>("b");
        QTest::addColumn<float>("lb");
        QTest::addColumn<float>("dl");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("b 500 mm: Pbumax") << 500.0f << 120.0f << 0.12f << "Text8"
                                          << "148338.8";
        QTest::newRow("lb 10000 mm: x") << 50.0f << 10000.0f << 10.0f << "Text4_9"
                                        << "10000.000";
        QTest::newRow("lb 10000 mm: slmax") << 50.0f << 10000.0f << 10.0f << "Text9"
                                            << "81.23363";
    }
    void longValuesShowEveryDigit() {
        QFETCH(float, b);
        QFETCH(float, lb);
        QFETCH(float, dl);
        QFETCH(QString, name);
        QFETCH(QString, shown);
        AnalysisParameters params = executed(lb);
        params.b = b;
        params.dl = dl;
        CalculationWindow window(params);
        window.showRunWindows();
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        QCOMPARE(text(window, name), shown);
        QVERIFY(showsWholeText(window.findChild<QLineEdit*>(name)));
        // The graph windows are children of this one: their boxes are among these.
        const QList<QLineEdit*> boxes = window.findChildren<QLineEdit*>();
        for (const QLineEdit* box : boxes) {
            QVERIFY2(showsWholeText(box), qPrintable(box->objectName() + ": " + box->text()));
        }
    }

    // Form3 stands right of Form2, the two centred as a pair, and Form4 under Form3: frame
    // by frame, once the frames are known, so that no title bar is hidden.
    void runWindowsStandByTheirFrames() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        window.showRunWindows();
        QWidget* tauSlip = window.tauSlipPlot();
        QWidget* distribution = window.distributionPlot();
        for (QWidget* shown : {static_cast<QWidget*>(&window), tauSlip, distribution}) {
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            QVERIFY(shown->frameGeometry() != shown->geometry()); // the platform gives frames
        }
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        // Within a pixel: at a fractional scale the frames' edges are rounded.
        const auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
        const auto placed = [&] {
            const QRect f2 = window.frameGeometry();
            const QRect f3 = tauSlip->frameGeometry();
            const QRect f4 = distribution->frameGeometry();
            return near(f3.left(), f2.right() + 1) && near(f3.top(), f2.top()) &&
                   near(f4.left(), f3.left()) && near(f4.top(), f3.bottom() + 1) &&
                   near((f2.left() + f3.right()) / 2, centre.x()) &&
                   near(f2.center().y(), centre.y());
        };
        QTRY_VERIFY(placed());
        // Under a window manager (QT_QPA_PLATFORM=xcb), ORVANE_GRAB_DIR=dir takes a picture of
        // the screen, frames and title bars included.
        const QString dir = qEnvironmentVariable("ORVANE_GRAB_DIR");
        if (!dir.isEmpty() && QGuiApplication::platformName() == "xcb") {
            QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(dir + "/run-windows.png"));
        }
        QTest::mouseClick(window.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    }

    // Holding Enter repeats it; a repeated Enter never presses Cancel.
    void heldEnterDoesNotCancel() {
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        QSignalSpy closed(&window, &CalculationWindow::closed);
        window.showRunWindows();
        runUntilStep(window, 6);
        QWidget* button = window.findChild<QPushButton*>("Command1");
        QCOMPARE(window.focusWidget(), button);
        for (int repeat = 0; repeat < 10; ++repeat) {
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(button, &enter);
        }
        QCOMPARE(closed.count(), 0);
        QCOMPARE(window.state(), RunState::Running);
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(closed.count(), 1);
    }

    // ORVANE_GRAB_DIR=dir writes pictures of the three windows during and after a run: of
    // the start-up set, and of sets with long values.
    void pictures_data() {
        QTest::addColumn<float>("b");
        QTest::addColumn<float>("lb");
        QTest::addColumn<float>("dl");
        QTest::addColumn<QString>("tag");
        QTest::newRow("start-up") << 50.0f << 120.0f << 0.12f << "";
        QTest::newRow("b 500") << 500.0f << 120.0f << 0.12f << "-b500";
        QTest::newRow("lb 10000") << 50.0f << 10000.0f << 10.0f << "-lb10000";
    }
    void pictures() {
        QFETCH(float, b);
        QFETCH(float, lb);
        QFETCH(float, dl);
        QFETCH(QString, tag);
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        AnalysisParameters params = executed(lb);
        params.b = b;
        params.dl = dl;
        CalculationWindow window(params);
        window.showRunWindows();
        const QString scale = QString::number(window.devicePixelRatioF());
        const auto grab = [&](const QString& moment) {
            const QString name = tag + "-" + moment + "-" + scale + "x.png";
            QVERIFY(window.grab().save(dir + "/Form2" + name));
            QVERIFY(window.tauSlipPlot()->grab().save(dir + "/Form3" + name));
            QVERIFY(window.distributionPlot()->grab().save(dir + "/Form4" + name));
        };
        QTRY_VERIFY_WITH_TIMEOUT(window.stepNumber() >= 103, kRunTimeout);
        grab("during");
        QTRY_VERIFY_WITH_TIMEOUT(window.state() == RunState::Finished, kRunTimeout);
        grab("after");
    }

private:
    QTemporaryDir m_dir;
    QString m_previousDirectory;
};

QTEST_MAIN(CalculationWindowTest)
#include "calculationwindow_test.moc"
