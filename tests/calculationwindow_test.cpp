#include "MessageBoxAnswer.h"
#include "app/RunWindows.h"
#include "entry/ParameterWindow.h"
#include "numtext/NumberText.h"
#include "output/CalculationWindow.h"
#include "output/DistributionPlotWindow.h"
#include "output/ResultFileRun.h"
#include "output/TauSlipPlotWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <limits>

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

// Lets the run go on, one stretch of five steps per turn of the event loop, until it has
// reached `step` (or ended).
void runUntilStep(const CalculationWindow& window, int step) {
    while (window.stepNumber() < step && window.state() != RunState::Finished) {
        QCoreApplication::processEvents();
    }
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

    // ORVANE_GRAB_DIR=dir writes pictures of the three windows during and after a run.
    void pictures() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        AnalysisParameters params = executed();
        CalculationWindow window(params);
        window.showRunWindows();
        const QString scale = QString::number(window.devicePixelRatioF());
        const auto grab = [&](const QString& moment) {
            QVERIFY(window.grab().save(dir + "/Form2-" + moment + "-" + scale + "x.png"));
            QVERIFY(window.tauSlipPlot()->grab().save(dir + "/Form3-" + moment + "-" + scale +
                                                      "x.png"));
            QVERIFY(window.distributionPlot()->grab().save(dir + "/Form4-" + moment + "-" + scale +
                                                           "x.png"));
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
