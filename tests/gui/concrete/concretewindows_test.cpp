// The concrete's windows reached from Form1's menu bar: the bond law derived from fc′ and put
// into Form1's fields, the design codes' table, and the theory document from Help.

#include "apps/orvane/DataSetMenu.h"
#include "apps/orvane/ParameterMenuBar.h"
#include "gui/codes/DesignCodesWindow.h"
#include "gui/concrete/ConcreteLawWindow.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/help/TheoryWindow.h"
#include "gui/parameters/ParameterWindow.h"
#include "support/DarkPalette.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QtTest>

using namespace orvane;

namespace {

QAction* menuAction(const QWidget& window, const char* name) {
    return window.findChild<QMenuBar*>("MenuBar")->findChild<QAction*>(QLatin1String(name));
}

void type(QWidget& window, const char* name, const QString& text) {
    auto* field = window.findChild<QLineEdit*>(QLatin1String(name));
    QVERIFY(field);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

QString label(const QWidget& window, const char* name) {
    return window.findChild<QLabel*>(QLatin1String(name))->text();
}

} // namespace

class ConcreteWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void menuEntriesOpenTheWindows() {
        AnalysisParameters params = StartupParameters();
        ParameterWindow window(params);
        InstallParameterMenuBar(window, params);
        for (const char* entry : {"BondLawFromConcrete", "DesignCodes", "Theory"}) {
            QAction* action = menuAction(window, entry);
            QVERIFY2(action, entry);
            action->trigger();
            action->trigger(); // the second raises the open window
        }
        QCOMPARE(window.findChildren<ConcreteLawWindow*>().size(), 1);
        QCOMPARE(window.findChildren<DesignCodesWindow*>().size(), 1);
        QCOMPARE(window.findChildren<TheoryWindow*>().size(), 1);
        const QString theory = window.findChild<QTextBrowser*>("TheoryText")->toPlainText();
        QVERIFY(theory.contains("Effective bond length: the definitions in use"));
        QVERIFY(theory.contains("69.9"));
    }

    // The windows read and write the concrete input a data-set file keeps.
    void concreteInputIsTheDataSets() {
        AnalysisParameters params = StartupParameters();
        ParameterWindow window(params);
        InstallParameterMenuBar(window, params);
        DataSetMenu* dataSets = DataSetMenuOf(window);
        QVERIFY(dataSets);
        dataSets->setConcrete(ConcreteInput{"25", "2.6", ""});
        menuAction(window, "BondLawFromConcrete")->trigger();
        auto* law = window.findChild<ConcreteLawWindow*>();
        QCOMPARE(law->findChild<QLineEdit*>("fc")->text(), QStringLiteral("25"));
        QCOMPARE(law->findChild<QLineEdit*>("ft")->text(), QStringLiteral("2.6"));
        type(*law, "fc", "32");
        law->findChild<QPushButton*>("Apply")->click();
        QCOMPARE(dataSets->concrete(), (ConcreteInput{"32", "2.6", "lu2005"}));
        QCOMPARE(dataSets->dataSet().text(NumericField::TauMax),
                 window.findChild<QLineEdit*>("Text2")->text().toStdString());
    }

    // The law goes into Form1 through its fields, as if typed, and the model is recorded
    // until the law is edited by hand.
    void appliedLawReachesTheParameterWindow() {
        AnalysisParameters params = StartupParameters();
        ParameterWindow form1(params);
        ConcreteLawWindow window(form1, params);
        type(window, "fc", "30");
        QCOMPARE(window.findChild<QComboBox*>("Model")->currentData().toString(),
                 QStringLiteral("lu2005"));
        QCOMPARE(label(window, "tauMax"), QStringLiteral("3.238"));
        QCOMPARE(label(window, "Gf"), QStringLiteral("0.2912"));
        auto* apply = window.findChild<QPushButton*>("Apply");
        QVERIFY(apply->isEnabled());
        form1.findChild<QRadioButton*>("Option1")->click();
        apply->click();
        QCOMPARE(form1.findChild<QLineEdit*>("Text2")->text(), QStringLiteral("3.238"));
        QCOMPARE(form1.findChild<QLineEdit*>("Text3")->text(), QStringLiteral("0.0421"));
        QCOMPARE(form1.findChild<QLineEdit*>("Text4")->text(), QStringLiteral("0.1799"));
        QVERIFY(form1.findChild<QRadioButton*>("Option2")->isChecked());
        QCOMPARE(params.bondModel, BondModel::BilinearSoftening);
        ConcreteStore& store = ConcreteStoreOf(form1);
        QCOMPARE(store.input().fcText, std::string("30"));
        QCOMPARE(store.input().lawModel, std::string("lu2005"));
        type(form1, "Text2", "3.3");
        QCOMPARE(store.input().lawModel, std::string());
    }

    void refusalsSayWhy() {
        AnalysisParameters params = StartupParameters();
        ParameterWindow form1(params);
        ConcreteLawWindow window(form1, params);
        type(window, "fc", "thirty");
        QVERIFY(!window.findChild<QPushButton*>("Apply")->isEnabled());
        QVERIFY(label(window, "Note").contains("fc′"));
        QCOMPARE(label(window, "tauMax"), QStringLiteral("-"));
        type(window, "fc", "30");
        type(form1, "Text12", "40"); // bc below b = 50
        window.findChild<QComboBox*>("Model")->setCurrentIndex(4);
        QVERIFY(label(window, "Note").contains("b/bc"));
        QVERIFY(!window.findChild<QPushButton*>("Apply")->isEnabled());
    }

    void designCodesFollowTheDataSetAndTheFactors() {
        AnalysisParameters params = StartupParameters();
        ParameterWindow form1(params);
        ConcreteLawWindow law(form1, params);
        DesignCodesWindow window(form1, params);
        type(law, "fc", "30"); // the store carries fc′ to the codes' window
        QCOMPARE(window.findChild<QLineEdit*>("fc")->text(), QStringLiteral("30"));
        auto* table = window.findChild<QTableWidget*>("CodeTable");
        QCOMPARE(table->rowCount(), 7);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("6924.5"));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("6404.1"));

        type(form1, "Text6", "40"); // lb shorter than ACI's development length
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&window, &activate);
        QCOMPARE(table->item(5, 1)->text(), QStringLiteral("out of scope"));
        QCOMPARE(table->item(5, 2)->text(), QStringLiteral("-"));
        QVERIFY(label(window, "Notes").contains("development length"));

        auto* factors = window.findChild<QTableWidget*>("Factors");
        factors->item(3, 1)->setText("2"); // fib.gammaC
        QCOMPARE(window.table().factors.fibGammaC, 2.0);
        factors->item(3, 1)->setText("0");
        QCOMPARE(window.table().factors.fibGammaC, 2.0);
        QCOMPARE(factors->item(3, 1)->text(), QStringLiteral("2"));
        QVERIFY(label(window, "Notes").startsWith("Not changed"));

        type(window, "fc", ""); // estimated from Ec, and said so
        QVERIFY(label(window, "Concrete").contains("estimated from Ec"));
    }

    // ORVANE_GRAB_DIR=dir: both windows after fc′ = 30, in a light and a dark palette.
    void pictures() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to take the pictures");
        }
        const QPalette light = QApplication::palette();
        for (const auto& [name, palette] : {std::pair{QStringLiteral("light"), light},
                                            std::pair{QStringLiteral("dark"), DarkTestPalette()}}) {
            QApplication::setPalette(palette);
            AnalysisParameters params = StartupParameters();
            ParameterWindow form1(params);
            ConcreteLawWindow law(form1, params);
            DesignCodesWindow codes(form1, params);
            type(law, "fc", "30");
            law.show();
            codes.show();
            QVERIFY(QTest::qWaitForWindowExposed(&codes));
            TheoryWindow theory;
            theory.show();
            QVERIFY(QTest::qWaitForWindowExposed(&theory));
            theory.grab().save(dir + QStringLiteral("/Theory-%1.png").arg(name));
            law.grab().save(dir + QStringLiteral("/ConcreteLaw-%1.png").arg(name));
            codes.grab().save(dir + QStringLiteral("/DesignCodes-%1.png").arg(name));
        }
        QApplication::setPalette(light);
    }
};

QTEST_MAIN(ConcreteWindowsTest)
#include "concretewindows_test.moc"
