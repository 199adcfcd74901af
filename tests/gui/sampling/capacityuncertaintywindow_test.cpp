#include "core/study/CapacityStatistics.h"
#include "core/study/Sampling.h"
#include "core/study/SamplingWriters.h"
#include "gui/forms/FigurePanels.h"
#include "gui/sampling/CapacityUncertaintyWindow.h"
#include "support/DarkPalette.h"
#include "support/MessageBoxAnswer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

using namespace orvane;

namespace {

constexpr char kInputs[] = "lb=uniform:60:150\nEf=lognormal:230000:0.05\n";

// The start-up data set on a coarse mesh (1 mm elements), so that each run is short.
FieldTexts coarseTexts() {
    FieldTexts texts = StartupFieldTexts();
    texts[static_cast<int>(NumericField::Dl)] = "1.0";
    return texts;
}

AnalysisParameters coarseParameters() {
    AnalysisParameters params = StartupParameters();
    CopyFieldTexts(params, coarseTexts());
    return params;
}

} // namespace

class CapacityUncertaintyWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = new CapacityUncertaintyWindow(coarseParameters(), coarseTexts(), "30");
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { delete m_window; }

    void offersTheConcreteAndTheLaminateToStartWith() {
        const QString inputs = field<QPlainTextEdit>("Inputs")->toPlainText();
        QCOMPARE(inputs,
                 QStringLiteral(
                     "fc=normal:30:4.5\nEf=lognormal:230000:0.05\ntf=normal:0.167:0.00835\n"));
    }

    // The summary is the core's for the same study, seed, sampling and design basis: the
    // window adds nothing of its own to the numbers.
    void summaryIsTheCoresForTheSameStudy() {
        setUp(kInputs, 60, "4", "1.5", "3.8");
        field<QComboBox>("Sampling")->setCurrentIndex(1);
        QSignalSpy finished(m_window, &CapacityUncertaintyWindow::studyFinished);
        field<QPushButton>("Run")->click();
        QVERIFY(m_window->property("workRunning").toBool());
        QVERIFY(finished.wait(120'000));
        QVERIFY(!m_window->property("workRunning").toBool());

        SampledStudy study;
        study.base.base = coarseParameters();
        study.base.baseTexts = coarseTexts();
        for (const char* line : {"lb=uniform:60:150", "Ef=lognormal:230000:0.05"}) {
            study.inputs.push_back(ParseSampledInput(line).input);
        }
        study.count = 60;
        study.seed = 4;
        study.method = SamplingMethod::MonteCarlo;
        const SampleTable table = DrawSamples(study);
        std::vector<double> capacities;
        for (std::int64_t k = 0; k < study.count; ++k) {
            capacities.push_back(*SampleCapacity(RunSample(study, table, k), 1.0));
        }
        const DesignBasis basis{1.5, 3.8};
        const std::string expected =
            SampleSummaryText(SummarizeCapacities(capacities, 0, basis), basis);
        QCOMPARE(field<QPlainTextEdit>("Summary")->toPlainText().toStdString(), expected);
        QCOMPARE(m_window->findChild<FigurePanels*>("CapacityFigures")->panels().size(), 2u);
        QVERIFY(field<QLabel>("Status")->text().contains(QStringLiteral("60 samples: done")));
    }

    void inputsThatCannotRunAreNamedAndNothingStarts_data() {
        QTest::addColumn<QString>("inputs");
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QString>("modelFactor");
        QTest::addColumn<QString>("message");
        QTest::newRow("distribution") << "lb=uniform:60:150\nEf=gauss:1:2"
                                      << "1"
                                      << ""
                                      << "Inputs, line 2: Ef: a distribution is";
        QTest::newRow("none") << "\n"
                              << "1"
                              << ""
                              << "at least one input";
        QTest::newRow("seed") << kInputs << "-3"
                              << ""
                              << "Seed: \"-3\"";
        QTest::newRow("model factor") << kInputs << "1"
                                      << "1.2:7"
                                      << "Model factor: ";
        QTest::newRow("model factor file") << kInputs << "1"
                                           << "nosuch.toml"
                                           << "not there";
    }
    void inputsThatCannotRunAreNamedAndNothingStarts() {
        QFETCH(QString, inputs);
        QFETCH(QString, seed);
        QFETCH(QString, modelFactor);
        QFETCH(QString, message);
        setUp(inputs, 10, seed, "", "");
        field<QLineEdit>("ModelFactor")->setText(modelFactor);
        QSignalSpy finished(m_window, &CapacityUncertaintyWindow::studyFinished);
        field<QPushButton>("Run")->click();
        QVERIFY2(field<QLabel>("Status")->text().contains(message),
                 qPrintable(field<QLabel>("Status")->text()));
        QVERIFY(!m_window->running());
        QVERIFY(!m_window->property("workRunning").toBool());
        QCOMPARE(finished.count(), 0);
    }

    void cancelStopsTheStudyWithoutASummary() {
        setUp(kInputs, 1'000'000, "1", "", "");
        QSignalSpy finished(m_window, &CapacityUncertaintyWindow::studyFinished);
        field<QPushButton>("Run")->click();
        field<QPushButton>("Cancel")->click();
        QVERIFY(finished.wait(120'000));
        QVERIFY(field<QLabel>("Status")->text().startsWith(QStringLiteral("Cancelled after")));
        QVERIFY(field<QPlainTextEdit>("Summary")->toPlainText().isEmpty());
        QVERIFY(!m_window->property("workRunning").toBool());
        QVERIFY(field<QPushButton>("Run")->isEnabled());
    }

    void closingWhileRunningStopsTheWork() {
        setUp(kInputs, 1'000'000, "1", "", "");
        field<QPushButton>("Run")->click();
        QVERIFY(m_window->running());
        QVERIFY(m_window->close());
        QVERIFY(!m_window->running());
        QVERIFY(!m_window->property("workRunning").toBool());
    }

    void escapeAsksBeforeStoppingARunningStudy() {
        setUp(kInputs, 1'000'000, "1", "", "");
        field<QPushButton>("Run")->click();
        QString asked;
        answerNextMessageBox(&asked, QMessageBox::No);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QVERIFY(asked.contains(QStringLiteral("Stop it and close?")));
        QVERIFY(m_window->running());
        answerNextMessageBox(&asked, QMessageBox::Yes);
        QTest::keyClick(m_window, Qt::Key_Escape);
        QVERIFY(!m_window->running());
        QVERIFY(!m_window->isVisible());
    }

    // The window after a study, in a light and a dark palette.
    void pictures() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        setUp(kInputs, 400, "1", "1.5", "3.8");
        field<QLineEdit>("ModelFactor")->setText(QStringLiteral("1.17:0.27"));
        QSignalSpy finished(m_window, &CapacityUncertaintyWindow::studyFinished);
        field<QPushButton>("Run")->click();
        QVERIFY(finished.wait(300'000));
        m_window->grab().save(dir + QStringLiteral("/CapacityUncertainty-light.png"));
        m_window->setPalette(DarkTestPalette());
        m_window->grab().save(dir + QStringLiteral("/CapacityUncertainty-dark.png"));
    }

private:
    template <typename Widget>
    Widget* field(const char* name) const {
        auto* widget = m_window->findChild<Widget*>(QString::fromLatin1(name));
        Q_ASSERT(widget);
        return widget;
    }
    void setUp(const QString& inputs, int samples, const QString& seed, const QString& gamma,
               const QString& beta) {
        field<QPlainTextEdit>("Inputs")->setPlainText(inputs);
        field<QSpinBox>("Samples")->setValue(samples);
        field<QLineEdit>("Seed")->setText(seed);
        field<QLineEdit>("PartialFactor")->setText(gamma);
        field<QLineEdit>("TargetBeta")->setText(beta);
    }

    CapacityUncertaintyWindow* m_window = nullptr;
};

QTEST_MAIN(CapacityUncertaintyWindowTest)
#include "capacityuncertaintywindow_test.moc"
