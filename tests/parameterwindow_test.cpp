#include "MessageBoxAnswer.h"
#include "entry/ParameterWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace orvane;

namespace {

QByteArray crlfLines(const QList<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) {
        bytes += line + "\r\n";
    }
    return bytes;
}

} // namespace

class ParameterWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_params = AnalysisParameters();
        m_window = new ParameterWindow(m_params);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup() { delete m_window; }

    void startupState_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const char* const rows[][2] = {
            {"Label18", "Orvane ver.2.1"},
            {"Label25", "τmax : max bond stress"},
            {"Label4", "smax : slip at  τmax"},
            {"Label6", "su : slip at ultimate"},
            {"Label13", "Data for concrete  unit : N-mm"},
            {"Label19", "Data for re-bar  unit : N-mm"},
            {"Label24", "initial ds"},
            {"Command1", "Execute"},
            {"Command4", "Exit"},
            {"Option1", "Perfectly bi-linear"},
            {"Option2", "Bi-linear softening"},
            {"Check1", "Detail output"},
            {"Text1", "Please input the comment."},
            {"Text2", "6.467"},
            {"Text3", "0.0650"},
            {"Text4", "0.3540"},
            {"Text5", "0.120"},
            {"Text6", "120.0"},
            {"Text7", "50.00"},
            {"Text8", "0.167"},
            {"Text9", "230000"},
            {"Text10", "0.300"},
            {"Text11", "2450"},
            {"Text12", "50.0"},
            {"Text13", "100.0"},
            {"Text14", "24000"},
            {"Text15", "193.5"},
            {"Text16", "206000"},
            {"Text20", "1E-07"},
        };
        for (const auto& row : rows) {
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
        }
    }
    void startupState() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget* widget = m_window->findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QCOMPARE(label->text(), text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            QCOMPARE(edit->text(), text);
        } else {
            QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), text);
        }
    }

    void startupValues() {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("K-Varo Parameter"));
        QVERIFY(m_window->findChild<QRadioButton*>("Option2")->isChecked());
        QVERIFY(!m_window->findChild<QCheckBox*>("Check1")->isChecked());
        const AnalysisParameters startup = StartupParameters();
        for (int f = 0; f < kNumericFieldCount; ++f) {
            QCOMPARE(m_params.value(NumericField(f)), startup.value(NumericField(f)));
        }
        QCOMPARE(m_params.comment, startup.comment);
        QCOMPARE(m_params.bondModel, BondModel::BilinearSoftening);
        QCOMPARE(m_params.detailOutput, std::int16_t(0));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text2")->alignment() & Qt::AlignRight,
                 Qt::AlignRight);
    }

    void typing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("stored");
        QTest::newRow("letters") << "Text2"
                                 << "abc" << 0.0;
        QTest::newRow("leading point") << "Text2"
                                       << ".5" << 0.5;
        QTest::newRow("unit after number") << "Text3"
                                           << "0.5mm" << 0.5;
        QTest::newRow("two points") << "Text4"
                                    << "1.2.3" << 1.2;
        QTest::newRow("negative") << "Text5"
                                  << "-3" << -3.0;
        QTest::newRow("comma ends the number") << "Text11"
                                               << "2,450" << 2.0;
        QTest::newRow("blanks removed") << "Text9"
                                        << " 1 000 " << 1000.0;
        QTest::newRow("exponent") << "Text20"
                                  << "1E-07" << 1e-07;
        QTest::newRow("hexadecimal") << "Text6"
                                     << "&H10" << 16.0;
        QTest::newRow("initial ds undivided") << "Text20"
                                              << "2" << 2.0;
        QTest::newRow("cleared") << "Text7"
                                 << "" << 0.0;
        QTest::newRow("beyond single range") << "Text9"
                                             << "1E+39" << 0.0;
    }
    void typing() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(double, stored);
        auto* edit = m_window->findChild<QLineEdit*>(name);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), typed);
        const int field = QStringView(name).mid(4).toInt();
        const NumericField numeric =
            field == 20 ? NumericField::InitialDs : NumericField(field - 2);
        QCOMPARE(m_params.value(numeric), float(stored));
    }

    void checkBoxAndComment() {
        QTest::mouseClick(m_window->findChild<QCheckBox*>("Check1"), Qt::LeftButton);
        QCOMPARE(m_params.detailOutput, std::int16_t(1));
        m_window->findChild<QCheckBox*>("Check1")->setChecked(false);
        QCOMPARE(m_params.detailOutput, std::int16_t(0));
        m_window->findChild<QLineEdit*>("Text1")->clear();
        QCOMPARE(m_params.comment, std::string());
    }

    void modelSwitch() {
        QTest::mouseClick(m_window->findChild<QRadioButton*>("Option1"), Qt::LeftButton);
        QCOMPARE(m_params.bondModel, BondModel::PerfectlyBilinear);
        QCOMPARE(m_window->findChild<QLabel*>("Label25")->text(),
                 QStringLiteral("τy : yield bond stress"));
        QCOMPARE(m_window->findChild<QLabel*>("Label4")->text(),
                 QStringLiteral("sy : slip at  τy"));
        QCOMPARE(m_window->findChild<QLabel*>("Label6")->text(),
                 QStringLiteral("su : slip at ultimate"));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text2")->text(), QStringLiteral("6.467"));
        QTest::mouseClick(m_window->findChild<QRadioButton*>("Option2"), Qt::LeftButton);
        QCOMPARE(m_params.bondModel, BondModel::BilinearSoftening);
        QCOMPARE(m_window->findChild<QLabel*>("Label25")->text(),
                 QStringLiteral("τmax : max bond stress"));
    }

    void executeCopiesTheFields() {
        QSignalSpy started(m_window, &ParameterWindow::runRequested);
        m_params.tauMax = 99; // as if the set had drifted from the texts
        m_params.ds = 5;      // as a previous run leaves it
        QTest::mouseClick(m_window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(started.count(), 1);
        QCOMPARE(m_params.tauMax, 6.467f);
        QCOMPARE(m_params.ds, 9.9999997e-10f);
    }

    void enterPressesTheFocusedButton() {
        QSignalSpy started(m_window, &ParameterWindow::runRequested);
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QCOMPARE(QApplication::focusWidget(), m_window->findChild<QWidget*>("Command1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(started.count(), 1);
    }

    void executeRefusesADataSetThatCannotRun() {
        QSignalSpy started(m_window, &ParameterWindow::runRequested);
        m_window->findChild<QLineEdit*>("Text6")->setText("0");
        m_window->findChild<QLineEdit*>("Text9")->setText("1E+39");
        QString message;
        answerNextMessageBox(&message);
        QTest::mouseClick(m_window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(started.count(), 0);
        QVERIFY2(message.contains("lb : bond length"), qPrintable(message));
        QVERIFY2(message.contains("Ef : elastic modulus") && message.contains("1E+39"),
                 qPrintable(message));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text9")->text(), QStringLiteral("1E+39"));
        QVERIFY(m_window->isVisible());
    }

    void saveAndLoadThroughTheControls() {
        QTemporaryDir dir;
        const QString path = dir.filePath("beam.kvp");
        m_window->findChild<QLineEdit*>("Text1")->setText("試験体 A, \"B\"");
        QVERIFY(m_window->saveTo(path));
        QCOMPARE(QString::fromStdString(m_params.parameterFilePath), path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 crlfLines({"\x8E\x8E\x8C\xB1\x91\xCC A, \"B\"", "6.467", "0.0650", "0.3540",
                            "0.120", "120.0", "N", "50.00", "0.167", "230000", "0.300", "2450",
                            "50.0", "100.0", "24000", "193.5", "206000"}));
        file.close();

        QTest::mouseClick(m_window->findChild<QRadioButton*>("Option1"), Qt::LeftButton);
        m_window->findChild<QLineEdit*>("Text20")->setText("3");
        m_window->findChild<QLineEdit*>("Text2")->setText("1.0");
        m_window->findChild<QCheckBox*>("Check1")->setChecked(true);
        m_params.parameterFilePath.clear();
        QVERIFY(m_window->loadFrom(path));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text2")->text(), QStringLiteral("6.467"));
        QCOMPARE(m_params.tauMax, 6.467f);
        QVERIFY(!m_window->findChild<QCheckBox*>("Check1")->isChecked());
        QCOMPARE(m_params.detailOutput, std::int16_t(0));
        QCOMPARE(m_params.comment, std::string("試験体 A, \"B\""));
        // The bond model and the initial ds are not part of the file.
        QVERIFY(m_window->findChild<QRadioButton*>("Option1")->isChecked());
        QCOMPARE(m_window->findChild<QLineEdit*>("Text20")->text(), QStringLiteral("3"));
        QCOMPARE(QString::fromStdString(m_params.parameterFilePath), path);
    }

    void overwriteAnsweredNoKeepsTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.kvp");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents\r\n");
        old.close();
        QString question;
        answerNextMessageBox(&question, QMessageBox::No);
        QVERIFY(!m_window->saveTo(path));
        QCOMPARE(question, QStringLiteral("Menu|Do you overwrite？"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old contents\r\n"));
        old.close();
        answerNextMessageBox(&question, QMessageBox::Yes);
        QVERIFY(m_window->saveTo(path));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll().count("\r\n"), 17);
    }

    void failuresChangeNothing() {
        QTemporaryDir dir;
        QString message;
        answerNextMessageBox(&message);
        QVERIFY(!m_window->saveTo(dir.filePath("missing/beam.kvp")));
        QCOMPARE(message, QStringLiteral("Text editor|Error! Try again.2")); // ENOENT
        QVERIFY(m_params.parameterFilePath.empty());

        QFile shortFile(dir.filePath("short.kvp"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write(crlfLines({"comment", "1", "2"}));
        shortFile.close();
        answerNextMessageBox(&message);
        QVERIFY(!m_window->loadFrom(shortFile.fileName()));
        QVERIFY2(message.contains("short.kvp") && message.contains("3 lines"), qPrintable(message));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text1")->text(),
                 QStringLiteral("Please input the comment."));
        QCOMPARE(m_params.tauMax, 6.467f);
    }

    // ORVANE_GRAB_DIR=dir writes a picture of the window, to look at.
    void picture() {
        const QByteArray dir = qgetenv("ORVANE_GRAB_DIR");
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        const QString name = QStringLiteral("Form1-%1x.png").arg(m_window->devicePixelRatioF());
        QVERIFY(m_window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name)));
    }

private:
    AnalysisParameters m_params;
    ParameterWindow* m_window = nullptr;
};

QTEST_MAIN(ParameterWindowTest)
#include "parameterwindow_test.moc"
