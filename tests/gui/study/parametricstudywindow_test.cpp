#include "apps/orvane/ParameterMenuBar.h"
#include "core/numtext/NumberText.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/study/ParametricStudyWindow.h"
#include "support/MessageBoxAnswer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace orvane;

class ParametricStudyWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = new ParametricStudyWindow(StartupParameters(), StartupFieldTexts());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { delete m_window; }

    void offersARangeAroundTheCurrentField() {
        QCOMPARE(values(1)->text(), QStringLiteral("30:300:20"));
        combo(1)->setCurrentIndex(static_cast<int>(NumericField::Ef));
        QCOMPARE(values(1)->text(), QStringLiteral("57500:575000:20"));
        QVERIFY(!values(2)->isEnabled());
    }

    // The table shows what single runs of the same sets give, in point order.
    void pointsArriveInTheTable() {
        values(1)->setText("20:120:5");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        QTableWidget* table = m_window->findChild<QTableWidget*>("results");
        QCOMPARE(table->rowCount(), 5);
        StudyDefinition study;
        study.sweeps.push_back(ParseSweep("lb=20:120:5").sweep);
        for (int k = 0; k < 5; ++k) {
            const StudyPointResult single = RunStudyPoint(study, k);
            QCOMPARE(table->item(k, 0)->text(), QString::number(k));
            QCOMPARE(table->item(k, 3)->text(),
                     QString::fromStdString(ShortestText(single.Pbumax)));
        }
        QVERIFY(m_window->findChild<QLabel*>("status")->text().startsWith("5 points done"));
        QVERIFY(m_window->findChild<QPushButton*>("saveCsv")->isEnabled());
    }

    // Threads the system will not create end the study with a message; the window stays
    // usable and nothing hangs. Stacks of 256 MiB in 600 MiB of free address space: the
    // study's own thread and one worker start, the next cannot.
    void aThreadThatCannotStartEndsTheStudyWithAMessage() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer needs more address space than this");
#endif
        values(1)->setText("20:300:2000");
        m_window->findChild<QSpinBox*>("jobs")->setValue(8);
        pthread_attr_t saved;
        pthread_getattr_default_np(&saved);
        pthread_attr_t big;
        pthread_attr_init(&big);
        pthread_attr_setstacksize(&big, std::size_t{256} << 20);
        pthread_setattr_default_np(&big);
        rlimit savedLimit{};
        getrlimit(RLIMIT_AS, &savedLimit);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit = savedLimit;
        limit.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t{600} << 20);
        setrlimit(RLIMIT_AS, &limit);
        start();
        // The study's thread makes the workers: the limits stay until it has ended.
        const bool ended = QTest::qWaitFor([&] { return !m_window->running(); }, kTimeout);
        setrlimit(RLIMIT_AS, &savedLimit);
        pthread_setattr_default_np(&saved);
        QVERIFY(ended);
        const QString status = m_window->findChild<QLabel*>("status")->text();
        QVERIFY2(status.contains("no thread could be started"), qPrintable(status));
        QVERIFY(m_window->findChild<QPushButton*>("start")->isEnabled());
    }

    void refusedInputKeepsTheWindowAsItWas_data() {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("message");
        QTest::newRow("reversed") << "300:10:30"
                                  << "reversed";
        QTest::newRow("count 0") << "10:300:0"
                                 << "the count must be from 2";
        QTest::newRow("not a number") << "10,abc"
                                      << "\"abc\" is not a number";
    }
    void refusedInputKeepsTheWindowAsItWas() {
        QFETCH(QString, values);
        QFETCH(QString, message);
        this->values(1)->setText(values);
        QString shown;
        answerNextMessageBox(&shown);
        start();
        QVERIFY2(shown.contains(message), qPrintable(shown));
        QVERIFY(!m_window->running());
        QCOMPARE(m_window->findChild<QTableWidget*>("results")->rowCount(), 0);
    }

    // Cancel mid-study: the rows shown and saved are whole and gapless.
    void cancelLeavesWholeRows() {
        values(1)->setText("10:300:2000");
        start();
        QTableWidget* table = m_window->findChild<QTableWidget*>("results");
        QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() >= 3, kTimeout);
        QTest::mouseClick(m_window->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        const int rows = table->rowCount();
        QVERIFY(rows < 2000);
        QVERIFY(m_window->findChild<QLabel*>("status")->text().startsWith("Cancelled"));

        QTemporaryDir dir;
        const QString path = dir.filePath("study.csv");
        QVERIFY(m_window->saveCsv(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        int k = 0;
        for (const QByteArray& line : lines) {
            if (line.isEmpty() || line.startsWith("# ") || line.startsWith("point,")) {
                continue;
            }
            QVERIFY(line.endsWith('\r'));
            QCOMPARE(line.left(line.indexOf(',')), QByteArray::number(k++));
        }
        QCOMPARE(k, rows);
        QVERIFY(m_window->saveFigure(dir.filePath("study.svg")));
    }

    // Study > Parametric study… opens the window on the fields as they stand.
    void menuOpensTheStudyOfTheCurrentFields() {
        AnalysisParameters params;
        ParameterWindow form(params);
        InstallParameterMenuBar(form, params);
        form.findChild<QLineEdit*>("Text6")->setText("200");
        QAction* entry = nullptr;
        for (QAction* menu : form.findChild<QMenuBar*>("MenuBar")->actions()) {
            for (QAction* action : menu->menu() ? menu->menu()->actions() : QList<QAction*>()) {
                if (menu->text() == "&Study" && action->text() == "&Parametric study…") {
                    entry = action;
                }
            }
        }
        QVERIFY(entry);
        entry->trigger();
        auto* study = form.findChild<ParametricStudyWindow*>("ParametricStudy");
        QVERIFY(study);
        QVERIFY(study->isWindow());
        QCOMPARE(study->findChild<QLineEdit*>("input1Values")->text(), QStringLiteral("50:500:20"));
    }

    // ORVANE_GRAB_DIR=dir writes a picture of the window after an lb sweep, to look at.
    void picture() {
        const QByteArray dir = qgetenv("ORVANE_GRAB_DIR");
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        values(1)->setText("10:300:30");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        const QString name =
            QStringLiteral("ParametricStudy-%1x.png").arg(m_window->devicePixelRatioF());
        QVERIFY(m_window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name)));
    }

private:
    static constexpr int kTimeout = 60000;

    QComboBox* combo(int k) const {
        return m_window->findChild<QComboBox*>(QStringLiteral("input%1Name").arg(k));
    }
    QLineEdit* values(int k) const {
        return m_window->findChild<QLineEdit*>(QStringLiteral("input%1Values").arg(k));
    }
    void start() const {
        QTest::mouseClick(m_window->findChild<QPushButton*>("start"), Qt::LeftButton);
    }

    ParametricStudyWindow* m_window = nullptr;
};

QTEST_MAIN(ParametricStudyWindowTest)
#include "parametricstudywindow_test.moc"
