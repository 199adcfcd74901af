#include "gui/forms/ConcreteStore.h"
#include "gui/forms/KeyRules.h"
#include "gui/parameters/ParameterFileDialog.h"
#include "gui/parameters/ParameterWindow.h"
#include "support/BoxChecks.h"
#include "support/MessageBoxAnswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace orvane;

namespace {

// Form1 as drawn: every control with its caption and its box in twips (left, top, width,
// height). Text boxes carry no caption; their start-up texts are checked by startupState.
const struct {
    const char* name;
    const char* caption;
    int left, top, width, height;
} kForm1Layout[] = {
    {"Label18", "Orvane ver.2.1", 720, 120, 5895, 255},
    {"Shape1", nullptr, 720, 480, 5895, 615},
    {"Label1", "Comment", 840, 600, 1095, 255},
    {"Text1", nullptr, 2040, 600, 4455, 405},
    {"Shape4", nullptr, 240, 1200, 2175, 4215},
    {"Label2", "Condition for analysis unit : N-mm", 360, 1320, 1815, 495},
    {"Option1", "Perfectly bi-linear", 360, 1800, 1935, 255},
    {"Option2", "Bi-linear softening", 360, 2040, 1935, 255},
    {"Label25", "τmax : max bond stress", 360, 2400, 1095, 375},
    {"Text2", nullptr, 1440, 2400, 855, 360},
    {"Label4", "smax : slip at  τmax", 360, 2880, 1095, 375},
    {"Text3", nullptr, 1440, 2880, 855, 405},
    {"Label6", "su : slip at ultimate", 360, 3360, 1095, 375},
    {"Text4", nullptr, 1440, 3360, 855, 405},
    {"Label5", "Δl : element length", 360, 3840, 1095, 375},
    {"Text5", nullptr, 1440, 3840, 855, 405},
    {"Label7", "lb : bond length", 360, 4320, 1095, 375},
    {"Text6", nullptr, 1440, 4320, 855, 405},
    {"Check1", "Detail output", 360, 4920, 1935, 375},
    {"Shape3", nullptr, 2520, 1200, 2175, 2055},
    {"Label8", "Data for FRP laminate unit : N-mm", 2640, 1320, 1935, 495},
    {"Label9", "b : laminate width (sum)", 2640, 1800, 1095, 375},
    {"Text7", nullptr, 3720, 1800, 855, 405},
    {"Label10", "tf : laminate thickness", 2640, 2280, 1095, 375},
    {"Text8", nullptr, 3720, 2280, 855, 405},
    {"Label11", "Ef : elastic modulus", 2640, 2760, 1095, 375},
    {"Text9", nullptr, 3720, 2760, 855, 405},
    {"Shape5", nullptr, 2520, 3360, 2175, 2055},
    {"Label20", "Data for epoxy resin unit : N-mm", 2640, 3480, 1815, 495},
    {"Label12", "tr : resin thickness", 2640, 3960, 1095, 375},
    {"Text10", nullptr, 3720, 3960, 855, 405},
    {"Label3", "Er : elastic modulus", 2640, 4440, 1095, 375},
    {"Text11", nullptr, 3720, 4440, 855, 405},
    {"Shape2", nullptr, 4800, 1200, 2175, 2055},
    {"Label13", "Data for concrete  unit : N-mm", 4920, 1320, 1695, 495},
    {"Label22", "bc : effect width", 4920, 1800, 1095, 375},
    {"Text12", nullptr, 6000, 1800, 855, 405},
    {"Label14", "dc : depth", 4920, 2280, 1095, 375},
    {"Text13", nullptr, 6000, 2280, 855, 390},
    {"Label16", "Ec : elastic modulus", 4920, 2760, 1095, 375},
    {"Text14", nullptr, 6000, 2760, 855, 405},
    {"Shape6", nullptr, 4800, 3360, 2175, 2055},
    {"Label19", "Data for re-bar  unit : N-mm", 4920, 3480, 1695, 495},
    {"Label15", "Ab : section area", 4920, 3960, 1095, 375},
    {"Text15", nullptr, 6000, 3960, 855, 405},
    {"Label17", "Eb : elastic modulus", 4920, 4440, 1095, 375},
    {"Text16", nullptr, 6000, 4440, 855, 405},
    {"Command2", "Open", 240, 5640, 975, 375},
    {"Command3", "Save", 1320, 5640, 975, 375},
    {"Label24", "initial ds", 2520, 5640, 615, 375},
    {"Text20", nullptr, 3120, 5640, 1575, 405},
    {"Command4", "Exit", 4920, 5640, 975, 375},
    {"Command1", "Execute", 6000, 5640, 975, 375},
};

// The focusable controls in tab order, from the focus at start.
const char* const kForm1TabOrder[] = {
    "Command1", "Text1",    "Option1",  "Option2",  "Text2",  "Text3",  "Text4",  "Text5",
    "Text6",    "Check1",   "Text7",    "Text8",    "Text9",  "Text10", "Text11", "Text12",
    "Text13",   "Command2", "Command3", "Command4", "Text14", "Text15", "Text20", "Text16",
};

QKeyEvent repeatedKey(QEvent::Type type, int key) {
    return QKeyEvent(type, key, Qt::NoModifier, QString(), true);
}

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

    // A field holding more than a number runs with its leading number only when the user says
    // so; the default answer runs nothing. Trailing blanks are no reason to ask.
    void executeAsksAboutFieldsThatHoldMoreThanANumber_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<QString>("told"); // empty: no question
        QTest::addColumn<int>("runs");
        QTest::newRow("unit, No") << "Text9"
                                  << "230 GPa" << false << "Ef: \"230 GPa\" is read as 230" << 0;
        QTest::newRow("unit, Yes") << "Text9"
                                   << "230 GPa" << true << "Ef: \"230 GPa\" is read as 230" << 1;
        QTest::newRow("decimal comma") << "Text6"
                                       << "120,5" << false << "lb: \"120,5\" is read as 120" << 0;
        QTest::newRow("trailing blanks") << "Text9"
                                         << "230000   " << false << "" << 1;
    }
    void executeAsksAboutFieldsThatHoldMoreThanANumber() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, answerYes);
        QFETCH(QString, told);
        QFETCH(int, runs);
        QSignalSpy started(m_window, &ParameterWindow::runRequested);
        m_window->findChild<QLineEdit*>(field)->setText(text);
        QString message;
        answerNextMessageBox(&message, answerYes ? QMessageBox::Yes : QMessageBox::No);
        QTest::mouseClick(m_window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(started.count(), runs);
        if (told.isEmpty()) {
            QVERIFY2(message.isEmpty(), qPrintable(message));
        } else {
            QVERIFY2(message.contains(told), qPrintable(message));
        }
        QCOMPARE(m_window->findChild<QLineEdit*>(field)->text(), text);
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

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        for (const auto& control : kForm1Layout) {
            QTest::newRow(control.name)
                << QString::fromLatin1(control.name) << QString::fromUtf8(control.caption)
                << QRect(control.left, control.top, control.width, control.height);
        }
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QCOMPARE(m_window->size(), QSize(pixels(7185), pixels(6180)));
        const QList<QWidget*> found = m_window->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QWidget* widget = found.first();
        QCOMPARE(widget->parentWidget(), m_window);
        QCOMPARE(widget->geometry(),
                 pixelRect(twips.x(), twips.y(), twips.width(), twips.height()));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QCOMPARE(label->text(), caption);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QCOMPARE(button->text(), caption);
        } else {
            QVERIFY2(caption.isEmpty(), qPrintable(name));
        }
    }

    // The tab chain, from the focus at start, through the controls that take the focus by Tab,
    // back to Execute. (Tab itself stops only at the selected one of the two option buttons.)
    void tabChain() {
        QWidget* start = m_window->focusWidget();
        QVERIFY(start);
        QStringList walked{start->objectName()};
        for (QWidget* w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain()) {
            if (w->isVisibleTo(m_window) && (w->focusPolicy() & Qt::TabFocus)) {
                walked << w->objectName();
            }
        }
        QStringList expected;
        for (const char* name : kForm1TabOrder) {
            expected << QString::fromLatin1(name);
        }
        QCOMPARE(walked, expected);
    }

    // Long values: the font shrinks so that the whole text shows; beyond the smallest size the
    // text shows from its start once the field has lost the focus, with all of it as tooltip.
    void fieldsShowTheirWholeText_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("fits");
        QTest::newRow("Eb exponent form") << "Text16"
                                          << "2.05E+05" << true;
        QTest::newRow("Eb one decimal") << "Text16"
                                        << "206000.0" << true;
        QTest::newRow("Ef one decimal") << "Text9"
                                        << "230000.0" << true;
        QTest::newRow("τmax in the shorter box") << "Text2"
                                                 << "12345.678" << true;
        QTest::newRow("beyond the smallest font") << "Text6"
                                                  << "1200000000000000000000000.0" << false;
    }
    void fieldsShowTheirWholeText() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, fits);
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        auto* edit = m_window->findChild<QLineEdit*>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), typed);
        QCOMPARE(edit->cursorPosition(), typed.size()); // typing keeps its place
        m_window->findChild<QWidget*>("Command1")->setFocus();
        QCOMPARE(showsWholeText(edit), fits);
        if (fits) {
            QVERIFY(edit->toolTip().isEmpty());
        } else {
            QCOMPARE(edit->font().pointSizeF(), 6.0);
            QCOMPARE(edit->cursorPosition(), 0);
            QCOMPARE(edit->toolTip(), typed);
        }
        edit->setText("1");
        QCOMPARE(edit->font().pointSizeF(), 9.75); // back to the form's size
        QVERIFY(edit->toolTip().isEmpty());
    }

    // A held key repeats; only the first press of Enter presses the button, and repeated
    // Space presses and releases press nothing.
    void heldKeysPressOnce() {
        QSignalSpy started(m_window, &ParameterWindow::runRequested);
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QWidget* execute = m_window->findChild<QWidget*>("Command1");
        QCOMPARE(QApplication::focusWidget(), execute);
        for (int repeat = 0; repeat < 10; ++repeat) {
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent space = repeatedKey(type, Qt::Key_Space);
                QApplication::sendEvent(execute, &space);
            }
        }
        QCOMPARE(started.count(), 0);
        QTest::keyPress(execute, Qt::Key_Return);
        for (int repeat = 0; repeat < 10; ++repeat) {
            QKeyEvent enter = repeatedKey(QEvent::KeyPress, Qt::Key_Return);
            QApplication::sendEvent(execute, &enter);
        }
        QCOMPARE(started.count(), 1);
    }

    // Message boxes take Enter for their default button; under the program's guard a
    // repeated Enter leaves the question open.
    void heldEnterLeavesAQuestionOpen() {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.kvp");
        QVERIFY(m_window->saveTo(path));
        AutoRepeatGuard guard;
        qApp->installEventFilter(&guard);
        bool stillOpen = false;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            poll.stop();
            for (int repeat = 0; repeat < 5; ++repeat) {
                QKeyEvent enter = repeatedKey(QEvent::KeyPress, Qt::Key_Return);
                QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &enter);
            }
            stillOpen = box->isVisible();
            box->button(QMessageBox::Yes)->click();
        });
        poll.start();
        const bool saved = m_window->saveTo(path);
        qApp->removeEventFilter(&guard);
        QVERIFY(stillOpen);
        QVERIFY(saved);
    }

    // Centred by the outer frame, once the frame is known, also when the centring was asked
    // for before the window was shown.
    void centredByItsFrame() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        AnalysisParameters params;
        ParameterWindow window(params);
        window.centreOnScreen();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.frameGeometry() != window.geometry()); // the platform gives a frame
        QTRY_VERIFY2((window.frameGeometry().center() - screen.center()).manhattanLength() <= 1,
                     qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                    .arg(window.frameGeometry().x())
                                    .arg(window.frameGeometry().y())
                                    .arg(window.frameGeometry().width())
                                    .arg(window.frameGeometry().height())));

        ParameterFileDialog dialog(params, {}, {}, &window);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY((dialog.frameGeometry().center() - screen.center()).manhattanLength() <= 1);
        // Under a window manager (QT_QPA_PLATFORM=xcb), ORVANE_GRAB_DIR=dir takes a picture of
        // the screen, frames and title bars included.
        const QString dir = qEnvironmentVariable("ORVANE_GRAB_DIR");
        if (!dir.isEmpty() && QGuiApplication::platformName() == "xcb") {
            QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(dir + "/centred.png"));
        }
    }

    // The title names the file and marks unsaved changes, the concrete inputs included;
    // putting the saved data back clears the mark.
    void titleShowsTheFileAndUnsavedChanges() {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("K-Varo Parameter"));
        m_window->findChild<QLineEdit*>("Text6")->setText("200");
        QCOMPARE(m_window->windowTitle(), QStringLiteral("K-Varo Parameter*"));
        QTemporaryDir dir;
        QVERIFY(m_window->saveTo(dir.filePath("beam.kvp")));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("beam.kvp — K-Varo Parameter"));
        QTest::mouseClick(m_window->findChild<QRadioButton*>("Option1"), Qt::LeftButton);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("beam.kvp* — K-Varo Parameter"));
        QTest::mouseClick(m_window->findChild<QRadioButton*>("Option2"), Qt::LeftButton);
        QVERIFY(!m_window->hasUnsavedChanges());
        ConcreteInput concrete;
        concrete.fcText = "30";
        ConcreteStoreOf(*m_window).setInput(concrete);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("beam.kvp* — K-Varo Parameter"));
    }

    void leavingAsksAboutUnsavedChanges_data() {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("saveSucceeds");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("saves");
        QTest::newRow("save") << QMessageBox::Save << true << true << 1;
        QTest::newRow("save fails") << QMessageBox::Save << false << false << 1;
        QTest::newRow("discard") << QMessageBox::Discard << true << true << 0;
        QTest::newRow("cancel") << QMessageBox::Cancel << true << false << 0;
    }
    void leavingAsksAboutUnsavedChanges() {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, saveSucceeds);
        QFETCH(bool, closes);
        QFETCH(int, saves);
        int saved = 0;
        m_window->setSaveHandler([&] {
            ++saved;
            return saveSucceeds;
        });
        m_window->findChild<QLineEdit*>("Text5")->setText("0.001");
        QString shown;
        answerNextMessageBox(&shown, answer);
        QCOMPARE(m_window->close(), closes);
        QVERIFY2(shown.contains("The changes to the data set are not saved."), qPrintable(shown));
        QCOMPARE(saved, saves);
        // Exit asks the same question; Cancel keeps the window and its text.
        if (!closes) {
            answerNextMessageBox(&shown, QMessageBox::Cancel);
            shown.clear();
            m_window->findChild<QAbstractButton*>("Command4")->click();
            QVERIFY(!shown.isEmpty());
            QCOMPARE(m_window->findChild<QLineEdit*>("Text5")->text(), QStringLiteral("0.001"));
        }
    }

    void leavingUnchangedDoesNotAsk() {
        QString shown;
        answerNextMessageBox(&shown, QMessageBox::Cancel);
        QVERIFY(m_window->close());
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
    }

    // A window whose work runs is closed, and so stops its work, only on "Stop and quit".
    void leavingAsksBeforeStoppingRunningWork_data() {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("stop and quit") << QMessageBox::Yes << true;
        QTest::newRow("cancel") << QMessageBox::Cancel << false;
    }
    void leavingAsksBeforeStoppingRunningWork() {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, closes);
        QWidget study;
        study.setWindowTitle("Parametric study");
        study.setProperty("workRunning", true);
        study.show();
        QString shown;
        answerNextMessageBox(&shown, answer);
        QCOMPARE(m_window->close(), closes);
        QVERIFY2(shown.contains("Work is still running in:\n• Parametric study"),
                 qPrintable(shown));
        QCOMPARE(study.isVisible(), !closes);
    }

    void dropOpensOneDataSetFile_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("taken");
        QTest::newRow("parameter file") << QStringList{"/tmp/beam.kvp"} << true;
        QTest::newRow("data-set file") << QStringList{"/tmp/beam.ORV"} << true;
        QTest::newRow("other file") << QStringList{"/tmp/beam.csv"} << false;
        QTest::newRow("two files") << QStringList{"/tmp/a.kvp", "/tmp/b.kvp"} << false;
    }
    void dropOpensOneDataSetFile() {
        QFETCH(QStringList, files);
        QFETCH(bool, taken);
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& file : files) {
            urls << QUrl::fromLocalFile(file);
        }
        mime.setUrls(urls);
        QSignalSpy dropped(m_window, &ParameterWindow::fileDropped);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_window, &enter);
        QCOMPARE(enter.isAccepted(), taken);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window, &drop);
        QCOMPARE(dropped.count(), taken ? 1 : 0);
        if (taken) {
            QCOMPARE(dropped.front().front().toString(), files.front());
        }
    }

    // Under a window manager (tools/wm-test.sh), ORVANE_GRAB_DIR=dir takes a picture of the
    // screen with Form1's title naming its file and showing unsaved changes, in a dark palette.
    void titlePicture() {
        const QString dir = qEnvironmentVariable("ORVANE_GRAB_DIR");
        if (dir.isEmpty() || QGuiApplication::platformName() != "xcb") {
            QSKIP("run under tools/wm-test.sh with ORVANE_GRAB_DIR to take the picture");
        }
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(53, 53, 53));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Base, QColor(42, 42, 42));
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::Button, QColor(53, 53, 53));
        dark.setColor(QPalette::ButtonText, Qt::white);
        const QPalette light = QApplication::palette();
        QApplication::setPalette(dark);
        QTemporaryDir files;
        AnalysisParameters params;
        ParameterWindow window(params);
        QVERIFY(window.saveTo(files.filePath("beam.kvp")));
        window.findChild<QLineEdit*>("Text5")->setText("0.001");
        window.centreOnScreen();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("beam.kvp* — K-Varo Parameter"));
        QTRY_VERIFY(window.frameGeometry() != window.geometry());
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(dir + "/Form1-title.png"));
        QApplication::setPalette(light);
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
