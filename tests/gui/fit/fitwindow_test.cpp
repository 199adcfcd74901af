#include "apps/orvane/ParameterMenuBar.h"
#include "core/files/ParameterFile.h"
#include "fit/MeasuredCurve.h"
#include "fit/ModelCurve.h"
#include "gui/fit/FitWindow.h"
#include "gui/parameters/ParameterWindow.h"
#include "support/DarkPalette.h"
#include "support/MessageBoxAnswer.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

using namespace orvane;

namespace {

constexpr int kFitTimeout = 60000; // ms

// The start-up run's own curve, count points up to just before its failure; on a laminate of
// another width (mm) when one is given.
std::string startupCurve(int count, const char* width = nullptr) {
    AnalysisParameters truth = StartupParameters();
    if (width) {
        FieldTexts texts = StartupFieldTexts();
        texts[std::size_t(NumericField::B)] = width;
        CopyFieldTexts(truth, texts);
    }
    truth.ds = InitialSlipIncrement("1E-07");
    const LoadSlipPath path(RunModelCurve(truth).steps);
    std::string csv = "slip (mm)\tload (N)\n";
    for (int i = 1; i <= count; ++i) {
        const double s = 0.95 * path.failureSlip() * i / count;
        csv += std::to_string(s) + "\t" + std::to_string(path.loadAt(s)) + "\n";
    }
    return csv;
}

} // namespace

class FitWindowTest : public QObject {
    Q_OBJECT

private:
    AnalysisParameters m_params;
    std::unique_ptr<ParameterWindow> m_form;
    QTemporaryDir m_dir;

    QString write(const QString& name, const std::string& bytes) {
        const QString path = m_dir.filePath(name);
        std::ofstream(path.toStdString(), std::ios::binary) << bytes;
        return path;
    }

    FitWindow* openFitWindow() {
        auto* entry = m_form->findChild<QMenuBar*>("MenuBar")->findChild<QAction*>("FitBondLaw");
        if (!entry) {
            return nullptr;
        }
        entry->trigger();
        return m_form->findChild<FitWindow*>();
    }

    template <class T>
    static T* child(const QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    // A parameter file of the start-up set on a laminate of another width.
    QString writeBase(const QString& name, const char* width) {
        ParameterFileTexts file;
        file.comment = "specimen base";
        const FieldTexts texts = StartupFieldTexts();
        for (int f = 0; f < kStoredFieldCount; ++f) {
            file.fields[std::size_t(f)] = texts[std::size_t(f)];
        }
        file.fields[std::size_t(NumericField::B)] = width;
        const QString path = m_dir.filePath(name);
        return SaveParameterFile(path.toStdString(), file).ok() ? path : QString();
    }

    // Three specimens: the parameter window's set and two laminates of their own widths.
    void loadSeriesOfThree(FitWindow* window) {
        QVERIFY(window->loadCurve(write("specimen-1.csv", startupCurve(24))));
        QVERIFY(window->addSpecimen(write("specimen-2.csv", startupCurve(20, "40"))));
        QVERIFY(window->addSpecimen(write("specimen-3.csv", startupCurve(28, "60"))));
        QCOMPARE(window->setSpecimenBase(1, writeBase("narrow.kvp", "40")), QString());
        QCOMPARE(window->setSpecimenBase(2, writeBase("wide.kvp", "60")), QString());
    }

private slots:
    void init() {
        m_params = AnalysisParameters();
        m_form = std::make_unique<ParameterWindow>(m_params);
        InstallParameterMenuBar(*m_form, m_params);
        InstallFitMenu(*m_form, m_params);
        m_form->show();
    }
    void cleanup() {
        // The fit range is remembered while the program runs: the next test starts on every row.
        if (auto* window = m_form->findChild<FitWindow*>()) {
            child<QComboBox>(window, "Range")->setCurrentIndex(0);
        }
        m_form.reset();
    }

    void theStudyMenuOpensOneWindow() {
        FitWindow* window = openFitWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(child<QLineEdit>(window, "FixText2")->text(), QStringLiteral("0.3540"));
        QCOMPARE(openFitWindow(), window);
        QCOMPARE(m_form->findChildren<FitWindow*>().size(), 1);
    }

    // Every button, tick box and labelled field answers an Alt+letter of its own.
    void everyControlHasItsOwnAccelerator() {
        FitWindow* window = openFitWindow();
        QStringList texts;
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            texts << button->text();
        }
        for (const QLabel* label : window->findChildren<QLabel*>()) {
            if (label->buddy()) {
                texts << label->text();
            }
        }
        QSet<QChar> letters;
        for (const QString& text : texts) {
            const qsizetype at = text.indexOf(QLatin1Char('&'));
            QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
            const QChar letter = text[at + 1].toLower();
            QVERIFY2(!letters.contains(letter), qPrintable(text));
            letters.insert(letter);
        }
        QVERIFY(texts.size() >= 16);
    }

    void aBadCurveIsReportedWithItsLineNumbers() {
        FitWindow* window = openFitWindow();
        QVERIFY(!window->loadCurve(write("bad.csv", "0,0\n0.1,x\n0.2,2\n")));
        QCOMPARE(child<QLabel>(window, "Status")->text(),
                 QStringLiteral("\"") + m_dir.filePath("bad.csv") +
                     QStringLiteral("\": The file holds 2 usable points; a fit needs at least 5."));
        const auto* messages = child<QListWidget>(window, "Messages");
        QCOMPARE(messages->count(), 1);
        QCOMPARE(messages->item(0)->text(),
                 QStringLiteral("line 2: \"x\" in column 2 is not a number. Left out."));
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (!dir.isEmpty()) {
            window->grab().save(dir + QStringLiteral("/FitWindow-bad-rows.png"));
        }
        QVERIFY(!child<QPushButton>(window, "Fit")->isEnabled());
    }

    void fitsAndPutsTheValuesIntoTheFields() {
        FitWindow* window = openFitWindow();
        QVERIFY(window->loadCurve(write("test.txt", startupCurve(25))));
        QCOMPARE(child<QLabel>(window, "CurveName")->text(),
                 QStringLiteral("test.txt (25 points)"));
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (!dir.isEmpty()) {
            window->grab().save(dir + QStringLiteral("/FitWindow-loaded.png"));
        }
        child<QCheckBox>(window, "Fix1")->setChecked(true); // smax at the field's 0.0650
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(window->fitting());
        QVERIFY(!child<QPushButton>(window, "Fit")->isEnabled());
        QVERIFY(finished.wait(kFitTimeout));

        QCOMPARE(window->fits().size(), std::size_t(1));
        const BondLawFit& fit = window->fits().front();
        QVERIFY(child<QPlainTextEdit>(window, "Results")
                    ->toPlainText()
                    .startsWith(QStringLiteral("law         bi-linear softening\n")));
        QCOMPARE(fit.parameters[1].text, std::string("0.0650"));
        QVERIFY(std::abs(fit.parameters[0].value - 6.467) < 0.01 * 6.467);

        // A field edited after the fit is overwritten through its change handling.
        child<QLineEdit>(m_form.get(), "Text2")->setText("1.000");
        QTest::mouseClick(child<QPushButton>(window, "UseFitted"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(m_form.get(), "Text2")->text().toStdString(),
                 fit.parameters[0].text);
        QCOMPARE(child<QLineEdit>(m_form.get(), "Text4")->text().toStdString(),
                 fit.parameters[2].text);
        QCOMPARE(double(m_params.tauMax), fit.parameters[0].value);
        QCOMPARE(double(m_params.su), fit.parameters[2].value);
        QCOMPARE(m_params.bondModel, BondModel::BilinearSoftening);

        if (!dir.isEmpty()) {
            window->grab().save(dir + QStringLiteral("/FitWindow.png"));
        }
    }

    void cancelStopsTheFit() {
        FitWindow* window = openFitWindow();
        QVERIFY(window->loadCurve(write("test.csv", startupCurve(20))));
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(window, "Cancel"), Qt::LeftButton);
        QVERIFY(finished.wait(kFitTimeout));
        QCOMPARE(child<QLabel>(window, "Status")->text(), QStringLiteral("The fit was cancelled."));
        QVERIFY(window->fits().empty());
        QVERIFY(child<QPlainTextEdit>(window, "Results")->toPlainText().isEmpty());
        QVERIFY(!child<QPushButton>(window, "SaveFitted")->isEnabled());
        QVERIFY(child<QPushButton>(window, "Fit")->isEnabled());
        QVERIFY(!child<QPushButton>(window, "UseFitted")->isEnabled());
    }

    // Nothing of an earlier curve, column or cancelled fit stays in the window.
    void aNewCurveOrColumnClearsTheResults() {
        FitWindow* window = openFitWindow();
        QVERIFY(window->loadCurve(write("test.txt", startupCurve(20))));
        child<QCheckBox>(window, "Fix1")->setChecked(true);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(kFitTimeout));
        QCOMPARE(window->fits().size(), std::size_t(1));
        QVERIFY(child<QPushButton>(window, "SaveCsv")->isEnabled());

        QVERIFY(window->loadCurve(write("second.txt", startupCurve(12))));
        QVERIFY(window->fits().empty());
        QVERIFY(child<QPlainTextEdit>(window, "Results")->toPlainText().isEmpty());
        QVERIFY(!child<QPushButton>(window, "UseFitted")->isEnabled());
        QVERIFY(!child<QPushButton>(window, "SaveCsv")->isEnabled());

        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(kFitTimeout));
        QCOMPARE(window->fits().size(), std::size_t(1));
        child<QComboBox>(window, "Quantity")->setCurrentIndex(1);
        QVERIFY(window->fits().empty());
        QVERIFY(child<QPlainTextEdit>(window, "Results")->toPlainText().isEmpty());
    }

    // The fitted data set, the CSV and the figure are written; the measured file is never
    // replaced.
    void savesTheFitsOutputs() {
        FitWindow* window = openFitWindow();
        const QString measured = write("test.csv", startupCurve(20));
        QVERIFY(window->loadCurve(measured));
        QCOMPARE(window->saveCsv(m_dir.filePath("none.csv")),
                 QStringLiteral("There is no fit to save."));
        child<QCheckBox>(window, "Fix1")->setChecked(true);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(kFitTimeout));
        QCOMPARE(window->saveFittedDataSet(m_dir.filePath("fitted.kvp")), QString());
        QCOMPARE(window->saveCsv(m_dir.filePath("fitted.csv")), QString());
        QCOMPARE(window->saveFigure(m_dir.filePath("fitted.svg")), QString());
        ParameterFileTexts fitted;
        QVERIFY(LoadParameterFile(m_dir.filePath("fitted.kvp").toStdString(), fitted).ok());
        QCOMPARE(fitted.fields[1], std::string("0.0650"));
        QVERIFY(QFileInfo(m_dir.filePath("fitted.csv")).size() > 0);
        QVERIFY(QFileInfo(m_dir.filePath("fitted.svg")).size() > 0);
        const std::string before = startupCurve(20);
        // Refused, by the file on disk: a link to the measured curve as well.
        const QString link = m_dir.filePath("link.csv");
        QVERIFY(QFile::link(measured, link));
        for (const QString& path : {measured, link}) {
            QVERIFY(window->saveCsv(path).contains(QStringLiteral("is the measured curve")));
            QVERIFY(window->saveFigure(path).contains(QStringLiteral("is the measured curve")));
        }
        std::ifstream file(measured.toStdString(), std::ios::binary);
        QCOMPARE(std::string(std::istreambuf_iterator<char>(file), {}), before);
    }

    // Both laws side by side with the residuals, in a light and a dark palette.
    void picturesOfBothLaws() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        FitWindow* window = openFitWindow();
        QVERIFY(window->loadCurve(write("specimen-1.csv", startupCurve(30))));
        child<QComboBox>(window, "Law")->setCurrentIndex(2);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(2 * kFitTimeout));
        QCOMPARE(window->fits().size(), std::size_t(2));
        QVERIFY(child<QPlainTextEdit>(window, "Results2")->isVisible());
        window->grab().save(dir + QStringLiteral("/FitWindow-both-light.png"));
        window->setPalette(DarkTestPalette());
        window->grab().save(dir + QStringLiteral("/FitWindow-both-dark.png"));
    }

    // A logger's export (five columns, decimal commas, kN, rows after failure) read through
    // the reading controls; each change reads the series again, and a reading that does not
    // fit a file takes it out of the series, saying why.
    void theReadingControlsReadALoggerFile() {
        FitWindow* window = openFitWindow();
        AnalysisParameters truth = StartupParameters();
        truth.ds = InitialSlipIncrement("1E-07");
        const LoadSlipPath path(RunModelCurve(truth).steps);
        std::string csv = "Zeit (s);Weg (mm);LVDT1 (mm);LVDT2 (mm);Kraft (kN)\n";
        for (int i = 1; i <= 23; ++i) {
            const double s = path.failureSlip() * (i <= 20 ? 0.95 * i / 20 : 1 + 0.02 * (i - 20));
            std::string row = std::to_string(i) + ";" + std::to_string(2 * s) + ";" +
                              std::to_string(s) + ";" + std::to_string(s) + ";" +
                              std::to_string(path.loadAt(s) / 1000) + "\n";
            std::replace(row.begin(), row.end(), '.', ',');
            csv += row;
        }
        const QString logger = write("logger.csv", csv);
        QVERIFY(!window->loadCurve(logger)); // two columns by default
        child<QLineEdit>(window, "SlipColumn")->setText(QStringLiteral("LVDT1"));
        child<QLineEdit>(window, "ValueColumn")->setText(QStringLiteral("5"));
        QVERIFY(window->loadCurve(logger));
        const auto* list = child<QListWidget>(window, "Specimens");
        const struct {
            int range;
            const char* points;
        } ranges[] = {{2, "(20 points)"}, {0, "(23 points)"}};
        for (const auto& r : ranges) {
            child<QComboBox>(window, "Range")->setCurrentIndex(r.range);
            QVERIFY2(list->item(0)->text().contains(QLatin1String(r.points)),
                     qPrintable(list->item(0)->text()));
        }
        auto* value = child<QLineEdit>(window, "ValueColumn");
        value->setText(QStringLiteral("Force"));
        value->setModified(true);
        emit value->editingFinished();
        QCOMPARE(window->specimenCount(), 0);
        QVERIFY2(child<QLabel>(window, "Status")
                     ->text()
                     .contains(QStringLiteral("No column is named \"Force\"")),
                 qPrintable(child<QLabel>(window, "Status")->text()));
    }

    // A typed slip range: read by the batch's parser, a bad one told in the status line with the
    // series kept and nothing fitted, a good one cutting every specimen; remembered for the
    // next window.
    void aTypedSlipRangeCutsTheCurveAndIsRemembered() {
        FitWindow* window = openFitWindow();
        const std::string csv = startupCurve(20);
        QVERIFY(window->loadCurve(write("test.txt", csv)));
        child<QCheckBox>(window, "Fix1")->setChecked(true);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(kFitTimeout));
        QCOMPARE(window->fits().size(), std::size_t(1));

        auto* slips = child<QLineEdit>(window, "SlipRange");
        QVERIFY(!slips->isEnabled());
        child<QComboBox>(window, "Range")->setCurrentIndex(3);
        QVERIFY(slips->isEnabled());
        const auto* status = child<QLabel>(window, "Status");
        const auto* list = child<QListWidget>(window, "Specimens");
        FitRange cut;
        QVERIFY(ParseFitRange("0:0.3", cut).empty());
        const std::size_t within =
            WithinRange(ParseMeasuredCurve(csv).curve, cut).curve.points.size();
        const struct {
            const char* text;
            const char* status;
            const char* points;
        } typed[] = {
            {"0.5:0.1", "The slip range needs FROM below TO, not \"0.5:0.1\".", "(20 points)"},
            {"0:x", "The slip range needs a number, not \"x\".", "(20 points)"},
            {"0:0.3", "", ""},
        };
        for (const auto& t : typed) {
            slips->selectAll();
            QTest::keyClicks(slips, QString::fromLatin1(t.text));
            QTest::keyClick(slips, Qt::Key_Return);
            QCOMPARE(status->text(), QString::fromUtf8(t.status));
            QCOMPARE(window->specimenCount(), 1); // the series stays
            QVERIFY(window->fits().empty());
            QVERIFY(child<QPlainTextEdit>(window, "Results")->toPlainText().isEmpty());
            QCOMPARE(child<QPushButton>(window, "Fit")->isEnabled(), *t.status == 0);
            const QString points = *t.points ? QString::fromLatin1(t.points)
                                             : QStringLiteral("(%1 points)").arg(within);
            QVERIFY2(list->item(0)->text().contains(points), qPrintable(list->item(0)->text()));
        }
        QVERIFY(within >= 5 && within < 20);

        delete window;
        window = openFitWindow();
        QCOMPARE(child<QComboBox>(window, "Range")->currentIndex(), 3);
        QCOMPARE(child<QLineEdit>(window, "SlipRange")->text(), QStringLiteral("0:0.3"));
        QVERIFY(child<QLineEdit>(window, "SlipRange")->isEnabled());
    }

    // The typed slip range after a fit, in a light and a dark palette.
    void picturesOfATypedRange() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        FitWindow* window = openFitWindow();
        child<QComboBox>(window, "Range")->setCurrentIndex(3);
        child<QLineEdit>(window, "SlipRange")->setText(QStringLiteral("0.02:0.4"));
        QVERIFY(window->loadCurve(write("specimen-1.csv", startupCurve(40))));
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(2 * kFitTimeout));
        window->grab().save(dir + QStringLiteral("/FitWindow-range-light.png"));
        window->setPalette(DarkTestPalette());
        window->grab().save(dir + QStringLiteral("/FitWindow-range-dark.png"));
    }

    // Closing (by Escape too) asks while a fit runs; the answer No keeps the fit going, Yes
    // stops it with the window. The window tells that work runs through workRunning.
    void closingDuringAFitAsksAndStopsIt() {
        FitWindow* window = openFitWindow();
        QCOMPARE(window->property("workRunning").toBool(), false);
        QVERIFY(window->loadCurve(write("test.csv", startupCurve(20))));
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QCOMPARE(window->property("workRunning").toBool(), true);
        QPointer<FitWindow> guard(window);
        QString asked;
        answerNextMessageBox(&asked, QMessageBox::No);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(asked.endsWith(QStringLiteral("A fit is running. Stop it and close the window?")));
        QVERIFY(!guard.isNull());
        QVERIFY(window->isVisible());
        QVERIFY(window->fitting());
        answerNextMessageBox(&asked, QMessageBox::Yes);
        window->close(); // deletes the window, which waits for its worker
        QTRY_VERIFY(guard.isNull());
    }

    // A series of three, each on its own geometry, fitted to one law; each specimen's misfit
    // is reported; any change of the series clears the results.
    void aSeriesIsFittedWithOneLaw() {
        FitWindow* window = openFitWindow();
        loadSeriesOfThree(window);
        QCOMPARE(child<QLabel>(window, "CurveName")->text(),
                 QStringLiteral("a series of 3 specimens, one law"));
        const auto* list = child<QListWidget>(window, "Specimens");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(),
                 QStringLiteral("specimen-2.csv (20 points), base: narrow.kvp"));
        QCOMPARE(
            list->item(0)->text(),
            QStringLiteral("specimen-1.csv (24 points), base: the parameter window's data set"));
        QVERIFY(window->setSpecimenBase(0, m_dir.filePath("missing.kvp")).contains("missing.kvp"));

        child<QCheckBox>(window, "Fix1")->setChecked(true);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(!child<QPushButton>(window, "AddSpecimen")->isEnabled());
        QVERIFY(finished.wait(2 * kFitTimeout));
        QCOMPARE(window->property("workRunning").toBool(), false);
        QCOMPARE(window->fits().size(), std::size_t(1));
        const BondLawFit& fit = window->fits().front();
        QCOMPARE(fit.specimens.size(), std::size_t(3));
        QVERIFY(std::abs(fit.parameters[0].value - 6.467) < 0.01 * 6.467);
        for (const SpecimenFit& specimen : fit.specimens) {
            QVERIFY2(specimen.r2 > 0.999, specimen.name.c_str());
        }
        const QString results = child<QPlainTextEdit>(window, "Results")->toPlainText();
        QVERIFY2(results.contains(QStringLiteral("  specimen-3.csv: 28 points, RMSE ")),
                 qPrintable(results));

        const QString csv = m_dir.filePath("series.csv");
        QCOMPARE(window->saveCsv(csv), QString());
        QFile rows(csv);
        QVERIFY(rows.open(QIODevice::ReadOnly));
        QVERIFY(rows.readAll().startsWith("specimen,slip (mm),"));
        QVERIFY(window->saveCsv(m_dir.filePath("narrow.kvp")).contains("is a base data set"));

        window->removeSpecimen(1);
        QCOMPARE(window->specimenCount(), 2);
        QVERIFY(window->fits().empty());
        QVERIFY(child<QPlainTextEdit>(window, "Results")->toPlainText().isEmpty());
        QVERIFY(!child<QPushButton>(window, "SaveCsv")->isEnabled());
    }

    // A series of three fitted with both laws, the residuals below, in a light and a dark
    // palette.
    void picturesOfASeries() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        FitWindow* window = openFitWindow();
        loadSeriesOfThree(window);
        child<QComboBox>(window, "Law")->setCurrentIndex(2);
        QSignalSpy finished(window, &FitWindow::fitFinished);
        QTest::mouseClick(child<QPushButton>(window, "Fit"), Qt::LeftButton);
        QVERIFY(finished.wait(4 * kFitTimeout));
        QCOMPARE(window->fits().size(), std::size_t(2));
        window->grab().save(dir + QStringLiteral("/FitWindow-series-light.png"));
        window->setPalette(DarkTestPalette());
        window->grab().save(dir + QStringLiteral("/FitWindow-series-dark.png"));
    }
};

QTEST_MAIN(FitWindowTest)
#include "fitwindow_test.moc"
