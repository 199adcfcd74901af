#include "apps/orvane/ParameterMenuBar.h"
#include "core/numtext/NumberText.h"
#include "gui/parameters/ParameterWindow.h"
#include "gui/study/ParametricStudyWindow.h"
#include "support/MessageBoxAnswer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <pthread.h>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

using namespace orvane;

class ParametricStudyWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_texts = StartupFieldTexts();
        m_window = new ParametricStudyWindow([this] {
            return StudyBase{StartupParameters(), m_texts, QString()};
        });
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
        QAbstractItemModel* table = model();
        QCOMPARE(table->rowCount(), 5);
        StudyDefinition study;
        study.sweeps.push_back(ParseSweep("lb=20:120:5").sweep);
        for (int k = 0; k < 5; ++k) {
            const StudyPointResult single = RunStudyPoint(study, k);
            QCOMPARE(cell(k, 0), QString::number(k));
            QCOMPARE(cell(k, 3), QString::fromStdString(ShortestText(single.Pbumax)));
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
        QCOMPARE(model()->rowCount(), 0);
    }

    // Cancel mid-study: the rows shown and saved are whole and gapless, and the status counts
    // exactly the rows shown, not a point handed out while the study was stopping.
    void cancelLeavesWholeRows() {
        values(1)->setText("10:300:2000");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount() >= 3, kTimeout);
        QTest::mouseClick(m_window->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        const int rows = model()->rowCount();
        QVERIFY(rows < 2000);
        const QString status = m_window->findChild<QLabel*>("status")->text();
        QVERIFY2(status.startsWith(QStringLiteral("Cancelled: %1 of 2000").arg(rows)),
                 qPrintable(status));

        QTemporaryDir dir;
        const QString path = dir.filePath("study.csv");
        QCOMPARE(savedRows(path), rows);
        QVERIFY(m_window->saveFigure(dir.filePath("study.svg")));
    }

    // Save CSV works while the study runs: the rows so far, whole, with the closing lines that
    // say how many points they are; the window says a study runs while it does.
    void savesWhileTheStudyRuns() {
        values(1)->setText("10:300:100000");
        QVERIFY(!m_window->property("workRunning").toBool());
        start();
        QVERIFY(m_window->property("workRunning").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount() >= 3, kTimeout);
        QVERIFY(m_window->findChild<QPushButton*>("saveCsv")->isEnabled());
        QTemporaryDir dir;
        const int rows = savedRows(dir.filePath("study.csv"));
        QVERIFY(rows >= 3);
        QVERIFY(m_window->running());
        cancel();
        QVERIFY(!m_window->property("workRunning").toBool());
    }

    // The save is handed to a worker: the window goes back to its events at once and hears of
    // the end through one of them.
    void savingLeavesTheWindowToItsEvents() {
        values(1)->setText("20:120:5");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        QTemporaryDir dir;
        m_window->saveCsv(dir.filePath("study.csv"));
        QVERIFY(m_window->saving());
        QVERIFY(!m_window->findChild<QPushButton*>("saveCsv")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->saving(), kTimeout);
        QVERIFY(m_window->findChild<QPushButton*>("saveCsv")->isEnabled());
    }

    // Escape closes the window; while a study runs it asks first, and No keeps both.
    void escapeAsksWhileAStudyRuns() {
        values(1)->setText("10:300:100000");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(model()->rowCount() >= 1, kTimeout);
        QString shown;
        answerNextMessageBox(&shown, QMessageBox::No);
        QTest::keyClick(m_window->findChild<QTableView*>("results"), Qt::Key_Escape);
        QVERIFY2(shown.contains("A study is running"), qPrintable(shown));
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->running());
        shown.clear();
        m_window->activateWindow(); // back from the message box
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        answerNextMessageBox(&shown, QMessageBox::Yes);
        QTest::keyClick(m_window->findChild<QTableView*>("results"), Qt::Key_Escape);
        QVERIFY2(shown.contains("A study is running"), qPrintable(shown));
        QVERIFY(!m_window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
    }

    // Deleting the window mid-study stops the study and joins its threads.
    void closingStopsTheStudy() {
        auto* window = new ParametricStudyWindow([] {
            return StudyBase{StartupParameters(), StartupFieldTexts(), QString()};
        });
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->findChild<QLineEdit*>("input1Values")->setText("10:300:100000");
        QTest::mouseClick(window->findChild<QPushButton*>("start"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            window->findChild<QTableView*>("results")->model()->rowCount() >= 1, kTimeout);
        QPointer<ParametricStudyWindow> alive(window);
        QVERIFY(window->close());
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), kTimeout);
    }

    // The table: units in the header, numbers as typed in plain decimals, Ctrl+C copies the
    // selection as tab-separated text.
    void tableShowsUnitsAndCopiesAsText() {
        combo(1)->setCurrentIndex(static_cast<int>(NumericField::Ef));
        values(1)->setText("300000,1.5e5");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        QCOMPARE(model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Ef (N/mm²)"));
        QCOMPARE(model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Pbumax (N)"));
        QCOMPARE(cell(0, 1), QStringLiteral("300000"));
        QCOMPARE(cell(1, 1), QStringLiteral("150000"));
        auto* view = m_window->findChild<QTableView*>("results");
        view->selectionModel()->select(QItemSelection(model()->index(0, 0), model()->index(1, 1)),
                                       QItemSelectionModel::ClearAndSelect);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0\t300000\n1\t150000\n"));
    }

    // Every control has its own Alt letter; the window fits the screen it opens on.
    void keyboardAndScreenHabits() {
        std::set<QChar> letters;
        int count = 0;
        const auto letterOf = [&](const QString& caption) {
            const qsizetype at = caption.indexOf('&');
            QVERIFY2(at >= 0 && at + 1 < caption.size(), qPrintable(caption));
            const QChar letter = caption[at + 1].toLower();
            QVERIFY2(letters.insert(letter).second, qPrintable(caption));
            ++count;
        };
        for (QPushButton* button : m_window->findChildren<QPushButton*>()) {
            letterOf(button->text());
        }
        letterOf(m_window->findChild<QCheckBox*>("secondInput")->text());
        for (QLabel* label : m_window->findChildren<QLabel*>()) {
            if (label->buddy()) {
                letterOf(label->text());
            }
        }
        QCOMPARE(count, 9); // four buttons, the check box, two inputs, two value lists, threads
        QVERIFY(m_window->frameGeometry().height() <=
                m_window->screen()->availableGeometry().height());
    }

    // Start reads the data set the parameter window holds then, and the window says which it
    // is.
    void startsFromTheFieldsAsTheyStandAtStart() {
        combo(1)->setCurrentIndex(static_cast<int>(NumericField::Lb));
        values(1)->setText("20,40");
        m_texts[static_cast<int>(NumericField::Dl)] = "0.5";
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        const QString base = m_window->findChild<QLabel*>("base")->text();
        QVERIFY2(base.contains("Δl 0.5 mm"), qPrintable(base));
        QVERIFY2(!base.contains("lb "), qPrintable(base)); // swept, so not the base's
        QTemporaryDir dir;
        const QString path = dir.filePath("study.csv");
        QCOMPARE(savedRows(path), 2);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("# dl,0.5"));
    }

    // The next window opens with the inputs of the last study.
    void remembersTheLastInputs() {
        combo(1)->setCurrentIndex(static_cast<int>(NumericField::Tf));
        values(1)->setText("0.1,0.2");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        delete m_window;
        init();
        QCOMPARE(combo(1)->currentIndex(), static_cast<int>(NumericField::Tf));
        QCOMPARE(values(1)->text(), QStringLiteral("0.1,0.2"));
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
        // A fresh window offers a range around the field; later ones the last inputs.
        const QString offered = study->findChild<QLineEdit*>("input1Values")->text();
        QVERIFY2(offered == "50:500:20" || offered == "0.1,0.2", qPrintable(offered));
    }

    // ORVANE_GRAB_DIR=dir writes pictures of the window to look at: after an lb sweep, and
    // after a two-input study of 50 series in a light and a dark palette. Under a window
    // manager (tools/wm-test.sh, QT_QPA_PLATFORM=xcb) the whole screen is taken as well, so the
    // window's fit to the screen shows.
    void picture_data() {
        QTest::addColumn<bool>("manySeries");
        QTest::addColumn<bool>("dark");
        QTest::newRow("lb") << false << false;
        QTest::newRow("50-series") << true << false;
        QTest::newRow("50-series-dark") << true << true;
    }
    void picture() {
        QFETCH(bool, manySeries);
        QFETCH(bool, dark);
        const QString dir = qEnvironmentVariable("ORVANE_GRAB_DIR");
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        if (dark) {
            QPalette palette;
            palette.setColor(QPalette::Window, QColor(45, 45, 48));
            palette.setColor(QPalette::WindowText, Qt::white);
            palette.setColor(QPalette::Base, QColor(30, 30, 30));
            palette.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
            palette.setColor(QPalette::Text, Qt::white);
            palette.setColor(QPalette::Button, QColor(60, 60, 64));
            palette.setColor(QPalette::ButtonText, Qt::white);
            m_window->setPalette(palette);
        }
        combo(1)->setCurrentIndex(static_cast<int>(NumericField::Lb));
        values(1)->setText(manySeries ? "20:400:20" : "10:300:30");
        if (manySeries) {
            m_window->findChild<QCheckBox*>("secondInput")->setChecked(true);
            combo(2)->setCurrentIndex(static_cast<int>(NumericField::Ef));
            values(2)->setText("50000:300000:50");
        }
        start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
        QTest::qWait(0); // let the last refresh paint
        const QString name = QStringLiteral("ParametricStudy-%1-%2x.png")
                                 .arg(QString::fromLatin1(QTest::currentDataTag()))
                                 .arg(m_window->devicePixelRatioF());
        QVERIFY(m_window->grab().save(QDir(dir).filePath(name)));
        if (QGuiApplication::platformName() == "xcb") {
            QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
                QDir(dir).filePath("screen-" + name)));
        }
        m_window->findChild<QCheckBox*>("secondInput")->setChecked(false);
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
    void cancel() const {
        QTest::mouseClick(m_window->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kTimeout);
    }
    QAbstractItemModel* model() const {
        return m_window->findChild<QTableView*>("results")->model();
    }
    QString cell(int row, int column) const {
        return model()->data(model()->index(row, column)).toString();
    }
    // Saves the CSV, waits for the save and checks its rows: whole CR LF records numbered from
    // 0, as many as the closing "points done" line says. Returns the rows; -1 on a failure.
    int savedRows(const QString& path) const {
        m_window->saveCsv(path);
        if (!QTest::qWaitFor([&] { return !m_window->saving(); }, kTimeout)) {
            return -1;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return -1;
        }
        int k = 0;
        int done = -1;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("# points done,")) {
                done = line.mid(14).trimmed().toInt();
            }
            if (line.isEmpty() || line.startsWith("# ") || line.startsWith("point,")) {
                continue;
            }
            if (!line.endsWith('\r') || line.left(line.indexOf(',')) != QByteArray::number(k)) {
                return -1;
            }
            ++k;
        }
        return done == k ? k : -1;
    }

    ParametricStudyWindow* m_window = nullptr;
    FieldTexts m_texts;
};

QTEST_MAIN(ParametricStudyWindowTest)
#include "parametricstudywindow_test.moc"
