#include "apps/orvane/ParameterMenuBar.h"
#include "core/validation/ValidationWriters.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/validate/ValidationWindow.h"
#include "support/DarkPalette.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

using namespace orvane;

namespace {

// Three tests of two sources and a row the reader refuses; units in the header.
constexpr const char* kTests = "id,source,bc,fc,Ef (GPa),tf,bf,L,Pu [kN]\n"
                               "S1,alpha,150,30,230,0.167,50,100,9\n"
                               "S2,alpha,150,35,230,0.334,60,200,14\n"
                               "P1,beta,200,40,200,1.2,40,300,25\n"
                               "P2,beta,200,40,200,1.2,40,250,\n";

template <typename T>
T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no child %s", name);
    }
    return found;
}

} // namespace

class ValidationWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = new ValidationWindow(StartupParameters(), StartupFieldTexts());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { delete m_window; }

    // The statistics in the window are those of the core's validation of the same file.
    void runShowsTheStatisticsOfEachGroup() {
        QVERIFY(m_window->loadTests(write("tests.csv", kTests)));
        QVERIFY(!m_window->property("workRunning").toBool());
        run();
        auto* table = child<QTableWidget>(m_window, "Statistics");
        auto* groups = child<QComboBox>(m_window, "Group");
        QCOMPARE(groups->itemText(0), QStringLiteral("All tests (3 tests)"));
        QCOMPARE(groups->itemText(2), QStringLiteral("Source beta (1 tests)"));
        QCOMPARE(table->rowCount(), int(ValidationModelNames().size()));
        const ValidationSummary summary = SummarizeValidation(m_window->results());
        const ModelStatistics& orvane = summary.groups.front().models.front();
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("orvane"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("3"));
        QCOMPARE(table->item(0, 2)->text(), QString::number(orvane.mean, 'f', 3));
        groups->setCurrentIndex(2);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("1"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("–")); // no CoV of one test
        QVERIFY(child<QLabel>(m_window, "Warnings")->text().contains("1 of 4 tests left out"));
        QCOMPARE(child<QProgressBar>(m_window, "Progress")->value(), 4);
        QVERIFY(child<QPushButton>(m_window, "SaveModelFactor")->isEnabled());
        QVERIFY(!m_window->property("workRunning").toBool());
    }

    // The saves write what the batch command writes, and never over the database.
    void savesTheTableFigureAndModelFactor() {
        const QString tests = write("tests.csv", kTests);
        QVERIFY(m_window->loadTests(tests));
        run();
        // A law chosen after the run does not relabel its results.
        child<QComboBox>(m_window, "LawFrom")->setCurrentIndex(1);
        QCOMPARE(m_window->saveCsv(m_dir.filePath("out.csv")), QString());
        QCOMPARE(read(m_dir.filePath("out.csv")),
                 QString::fromStdString(ValidationCsv(m_window->results(), "lu2005")));
        QCOMPARE(m_window->saveFigure(m_dir.filePath("out.svg")), QString());
        QVERIFY(read(m_dir.filePath("out.svg")).contains("<svg"));
        QCOMPARE(m_window->saveModelFactor(m_dir.filePath("theta.toml")), QString());
        QVERIFY(read(m_dir.filePath("theta.toml")).contains("tests = 3\nmodel = \"lu2005\"\n"));
        QVERIFY(!m_window->saveCsv(tests).isEmpty());
        QCOMPARE(read(tests), QString::fromLatin1(kTests));
    }

    void aDatabaseItCannotReadIsReported() {
        QVERIFY(!m_window->loadTests(write("bad.csv", "bc,fc,Ef,tf,bf,L\n1,2,3,4,5,6\n")));
        QVERIFY(child<QLabel>(m_window, "Status")->text().contains("no column for Pu"));
        QVERIFY(!child<QPushButton>(m_window, "RunValidation")->isEnabled());
    }

    // Cancel ends the runs between two steps, leaves no statistics and the window usable; the
    // work flag is set while the runs go and cleared after.
    void cancelStopsTheRuns() {
        std::string many = "bc,fc,Ef,tf,bf,L,Pu\n";
        for (int i = 0; i < 400; ++i) {
            many += "150,30,230000,0.167,50," + std::to_string(100 + i) + ",9000\n";
        }
        QVERIFY(m_window->loadTests(write("many.csv", many)));
        QSignalSpy finished(m_window, &ValidationWindow::validationFinished);
        QTest::mouseClick(child<QPushButton>(m_window, "RunValidation"), Qt::LeftButton);
        QVERIFY(m_window->property("workRunning").toBool());
        QTest::mouseClick(child<QPushButton>(m_window, "CancelValidation"), Qt::LeftButton);
        QVERIFY(finished.wait(kTimeout));
        QVERIFY(!m_window->running());
        QVERIFY(!m_window->property("workRunning").toBool());
        QVERIFY(child<QLabel>(m_window, "Status")->text().startsWith("Cancelled after"));
        QVERIFY(!child<QPushButton>(m_window, "SaveCsv")->isEnabled());
        QVERIFY(child<QPushButton>(m_window, "RunValidation")->isEnabled());
    }

    // Closing while the runs go stops them; nothing is left running or delivered late.
    void closingDuringTheRunsStopsThem() {
        std::string many = "bc,fc,Ef,tf,bf,L,Pu\n";
        for (int i = 0; i < 400; ++i) {
            many += "150,30,230000,0.167,50," + std::to_string(100 + i) + ",9000\n";
        }
        QVERIFY(m_window->loadTests(write("many.csv", many)));
        QTest::mouseClick(child<QPushButton>(m_window, "RunValidation"), Qt::LeftButton);
        QVERIFY(m_window->close());
        QVERIFY(!m_window->running());
        QVERIFY(!m_window->property("workRunning").toBool());
        QCoreApplication::processEvents();
    }

    void studyMenuOpensTheWindow() {
        AnalysisParameters params;
        ParameterWindow form(params);
        InstallParameterMenuBar(form, params);
        QAction* entry = nullptr;
        for (QAction* menu : form.findChild<QMenuBar*>("MenuBar")->actions()) {
            if (menu->text() == "&Study") {
                entry = menu->menu()->findChild<QAction*>("ValidateAgainstTests");
            }
        }
        QVERIFY(entry);
        QCOMPARE(entry->text(), QStringLiteral("&Validate against tests…"));
        entry->trigger();
        auto* window = form.findChild<ValidationWindow*>("ValidationWindow");
        QVERIFY(window);
        QVERIFY(window->isWindow());
    }

    // ORVANE_GRAB_DIR=dir writes pictures of the window after a run, light and dark.
    void pictures() {
        const QByteArray dir = qgetenv("ORVANE_GRAB_DIR");
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        QVERIFY(m_window->loadTests(write("tests.csv", kTests)));
        m_window->resize(1200, 560);
        run();
        QCoreApplication::processEvents(); // the layout takes in the warnings' lines
        const QDir out(QString::fromLocal8Bit(dir));
        const QString ratio = QString::number(m_window->devicePixelRatioF());
        QVERIFY(m_window->grab().save(out.filePath("ValidationWindow-light-" + ratio + "x.png")));
        m_window->setPalette(DarkTestPalette());
        QVERIFY(m_window->grab().save(out.filePath("ValidationWindow-dark-" + ratio + "x.png")));
    }

private:
    static constexpr int kTimeout = 60000;

    QString write(const char* name, const std::string& text) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString()) << text;
        return path;
    }
    static QString read(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }
    void run() {
        QSignalSpy finished(m_window, &ValidationWindow::validationFinished);
        QTest::mouseClick(child<QPushButton>(m_window, "RunValidation"), Qt::LeftButton);
        QVERIFY(finished.wait(kTimeout));
    }

    QTemporaryDir m_dir;
    ValidationWindow* m_window = nullptr;
};

QTEST_MAIN(ValidationWindowTest)
#include "validationwindow_test.moc"
