#include "apps/orvane/DataSetMenu.h"
#include "apps/orvane/ParameterMenuBar.h"
#include "apps/orvane/Startup.h"
#include "core/files/DataSetFile.h"
#include "gui/parameters/ParameterWindow.h"
#include "support/FileBytes.h"
#include "support/MessageBoxAnswer.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvane;

namespace {

DataSet bilinearSet() {
    DataSet data;
    data.comment = "Haftverbund Prüfkörper 3 – éprouvette n° 4 – 供試体No.5";
    data.law = BondModel::PerfectlyBilinear;
    data.detailOutput = true;
    data.text(NumericField::TauMax) = "4.000";
    data.text(NumericField::Lb) = "80";
    data.text(NumericField::InitialDs) = "2E-07";
    data.concrete = {"30", "", "lu2005"};
    return data;
}

} // namespace

class DataSetMenuTest : public QObject {
    Q_OBJECT

private slots:
    // The recent list goes to a settings file of the test's own, never the user's.
    void initTestCase() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath("settings"));
    }

    void init() {
        m_params = AnalysisParameters();
        m_window = new ParameterWindow(m_params);
        InstallParameterMenuBar(*m_window, m_params);
        m_menu = DataSetMenuOf(*m_window);
        QVERIFY(m_menu);
    }
    void cleanup() { delete m_window; }

    void fileMenuOffersBothEntries() {
        auto* bar = m_window->findChild<QMenuBar*>("MenuBar");
        QStringList captions;
        for (QAction* action : bar->actions().constFirst()->menu()->actions()) {
            captions << action->text();
        }
        QVERIFY2(captions.contains("Open &data set…") && captions.contains("Save data set &as…"),
                 qPrintable(captions.join(", ")));
    }

    // Loading sets every control through its own change handling: the law's captions
    // follow the option button, and the parameter set follows the texts.
    void openingShowsTheWholeDataSet() {
        const QString path = m_dir.filePath("beam.orv");
        QVERIFY(WriteDataSetFile(path.toStdString(), bilinearSet()).ok());
        QSignalSpy concreteChanged(m_menu, &DataSetMenu::concreteChanged);
        QVERIFY(m_menu->open(path));

        QCOMPARE(m_window->findChild<QLineEdit*>("Text1")->text().toStdString(),
                 bilinearSet().comment);
        QCOMPARE(m_window->findChild<QLineEdit*>("Text20")->text(), QString("2E-07"));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text6")->text(), QString("80"));
        QVERIFY(m_window->findChild<QRadioButton*>("Option1")->isChecked());
        QCOMPARE(m_window->findChild<QLabel*>("Label25")->text(),
                 QString("τy : yield bond stress"));
        QVERIFY(m_window->findChild<QCheckBox*>("Check1")->isChecked());
        QCOMPARE(m_params.bondModel, BondModel::PerfectlyBilinear);
        QCOMPARE(m_params.detailOutput, std::int16_t(1));
        QCOMPARE(m_params.lb, 80.0f);
        QCOMPARE(m_params.ds, FieldValue("2E-07"));
        QCOMPARE(m_params.comment, bilinearSet().comment);
        QCOMPARE(m_params.parameterFilePath, path.toStdString());
        QCOMPARE(m_params.chosenFilePath, path.toStdString());
        QCOMPARE(m_menu->concrete(), bilinearSet().concrete);
        QCOMPARE(concreteChanged.count(), 1);
        QCOMPARE(m_menu->dataSet(), bilinearSet());
    }

    // The program's file argument takes a data-set file whole.
    void fileArgumentTakesADataSet() {
        const QString path = m_dir.filePath("argument.orv");
        QVERIFY(WriteDataSetFile(path.toStdString(), bilinearSet()).ok());
        openParameterWindow(*m_window, m_params, path);
        QCOMPARE(m_menu->dataSet(), bilinearSet());
        QCOMPARE(m_params.bondModel, BondModel::PerfectlyBilinear);
    }

    // A parameter file opened here behaves as through the Open button: the law and the
    // initial ds stay as they were.
    void openingAParameterFileKeepsLawAndDs() {
        m_window->showDataSet(bilinearSet());
        QVERIFY(m_menu->open(ORVANE_EXAMPLES_DIR "/short-bond.kvp"));
        QVERIFY(m_window->findChild<QRadioButton*>("Option1")->isChecked());
        QCOMPARE(m_window->findChild<QLineEdit*>("Text20")->text(), QString("2E-07"));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text6")->text(), QString("40.0"));
    }

    void aBadDataSetChangesNothing() {
        const QString path = m_dir.filePath("bad.orv");
        std::string text;
        QVERIFY(FormatDataSetFile(bilinearSet(), text).ok());
        text.replace(text.find("perfectly-bilinear"), 18, "trilinear");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
        file.close();
        const DataSet before = m_menu->dataSet();
        QString shown;
        answerNextMessageBox(&shown);
        QVERIFY(!m_menu->open(path));
        QVERIFY2(shown.contains("line 8") && shown.contains("[analysis] law \"trilinear\""),
                 qPrintable(shown));
        QCOMPARE(m_menu->dataSet(), before);
        QCOMPARE(m_params.parameterFilePath, std::string());
    }

    void savingKeepsTheConcreteInputs() {
        m_window->showDataSet(bilinearSet());
        m_menu->setConcrete(bilinearSet().concrete);
        const QString path = m_dir.filePath("kept.orv");
        QVERIFY(m_menu->saveAs(path));
        const DataSetRead read = ReadDataSetFile(path.toStdString());
        QVERIFY(read.status.ok());
        QCOMPARE(read.dataSet, bilinearSet());
        QCOMPARE(m_params.parameterFilePath, path.toStdString());
    }

    // Saving as a parameter file warns when the file cannot keep the law, the initial ds or
    // the concrete inputs; No writes nothing.
    void savingAsAParameterFile_data() {
        QTest::addColumn<bool>("bilinear");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("written");
        QTest::newRow("nothing lost") << false << QMessageBox::NoButton << true;
        QTest::newRow("law lost, go on") << true << QMessageBox::Yes << true;
        QTest::newRow("law lost, stop") << true << QMessageBox::No << false;
    }
    void savingAsAParameterFile() {
        QFETCH(bool, bilinear);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, written);
        DataSet data = bilinear ? bilinearSet() : DataSet{};
        data.comment = "Beam 7";
        m_window->showDataSet(data);
        m_menu->setConcrete(data.concrete);
        QString shown;
        if (answer != QMessageBox::NoButton) {
            answerNextMessageBox(&shown, answer);
        }
        const QString path = m_dir.filePath("beam.kvp");
        QFile::remove(path);
        QCOMPARE(m_menu->saveAs(path), written);
        if (answer != QMessageBox::NoButton) {
            QVERIFY2(shown.contains("the bond law (perfectly-bilinear)") &&
                         shown.contains("the initial ds (2E-07)"),
                     qPrintable(shown));
        }
        QCOMPARE(QFile::exists(path), written);
        if (written) {
            std::string expected;
            QVERIFY(FormatParameterFile(ParameterFileTextsOf(data), expected).ok());
            QCOMPARE(readFile(path.toStdString()), expected);
        }
    }

    // ORVANE_GRAB_DIR=dir writes a picture of Form1 with its File menu open.
    void recentListKeepsTenNamesNewestFirst_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("first") << QStringList{} << "/d/a.kvp" << QStringList{"/d/a.kvp"};
        QTest::newRow("again moves to the top") << QStringList{"/d/a.kvp", "/d/b.orv"} << "/d/b.orv"
                                                << QStringList{"/d/b.orv", "/d/a.kvp"};
        QTest::newRow("same file, other spelling")
            << QStringList{"/d/a.kvp"} << "/d/x/../a.kvp" << QStringList{"/d/a.kvp"};
        QStringList ten;
        for (int k = 0; k < 10; ++k) {
            ten << QStringLiteral("/d/%1.kvp").arg(k);
        }
        QTest::newRow("the eleventh drops the oldest")
            << ten << "/d/new.orv" << (QStringList{"/d/new.orv"} + ten.mid(0, 9));
    }
    void recentListKeepsTenNamesNewestFirst() {
        QFETCH(QStringList, before);
        QFETCH(QString, opened);
        QFETCH(QStringList, after);
        QCOMPARE(WithRecentFile(before, opened), after);
    }

    // Opening, saving, and the original Open and Save buttons all feed File > Recent data sets;
    // choosing an entry asks first when the window holds unsaved changes.
    void recentEntriesOpenTheirFile() {
        QSettings().remove("recentDataSets");
        const QString first = m_dir.filePath("first.orv");
        const QString second = m_dir.filePath("second.kvp");
        QVERIFY(WriteDataSetFile(first.toStdString(), bilinearSet()).ok());
        QVERIFY(m_menu->open(first));
        m_window->findChild<QLineEdit*>("Text1")->setText("Beam 1"); // Shift-JIS holds it
        QVERIFY(m_window->saveTo(second));
        QCOMPARE(DataSetMenu::recentFiles(), (QStringList{second, first}));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("second.kvp — K-Varo Parameter"));

        auto* recent = m_window->findChild<QMenu*>("RecentDataSets");
        QVERIFY(recent);
        emit recent->aboutToShow();
        QCOMPARE(recent->actions().size(), 2);
        m_window->findChild<QLineEdit*>("Text6")->setText("55");
        QString shown;
        answerNextMessageBox(&shown, QMessageBox::Cancel);
        recent->actions().at(1)->trigger();
        QVERIFY2(shown.contains("not saved"), qPrintable(shown));
        QCOMPARE(m_window->findChild<QLineEdit*>("Text6")->text(), QStringLiteral("55"));
        answerNextMessageBox(&shown, QMessageBox::Discard);
        recent->actions().at(1)->trigger();
        QCOMPARE(m_window->findChild<QLineEdit*>("Text6")->text(), QStringLiteral("80"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("first.orv — K-Varo Parameter"));
    }

    // A dropped file opens as a recent entry does.
    void droppedFileOpens() {
        const QString path = m_dir.filePath("dropped.orv");
        QVERIFY(WriteDataSetFile(path.toStdString(), bilinearSet()).ok());
        emit m_window->fileDropped(path);
        QCOMPARE(m_window->findChild<QLineEdit*>("Text6")->text(), QStringLiteral("80"));
        QVERIFY(!m_window->hasUnsavedChanges());
    }

    void picture() {
        const QString dir = QString::fromLocal8Bit(qgetenv("ORVANE_GRAB_DIR"));
        if (dir.isEmpty()) {
            QSKIP("set ORVANE_GRAB_DIR to write window pictures");
        }
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        auto* bar = m_window->findChild<QMenuBar*>("MenuBar");
        QMenu* file = bar->actions().constFirst()->menu();
        const QPalette light = QApplication::palette();
        QPalette dark(QColor(53, 53, 53));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::ButtonText, Qt::white);
        for (const auto& [palette, name] : {std::pair{light, "light"}, std::pair{dark, "dark"}}) {
            QApplication::setPalette(palette);
            file->setPalette(palette);
            file->popup(m_window->mapToGlobal(QPoint(0, bar->height())));
            QVERIFY(QTest::qWaitForWindowExposed(file));
            QVERIFY(file->grab().save(dir + "/Form1-file-menu-" + name + ".png"));
            file->hide();
        }
        QApplication::setPalette(light);
        m_window->showDataSet(bilinearSet());
        QVERIFY(m_window->grab().save(dir + "/Form1-data-set.png"));
    }

private:
    QTemporaryDir m_dir;
    AnalysisParameters m_params;
    ParameterWindow* m_window = nullptr;
    DataSetMenu* m_menu = nullptr;
};

QTEST_MAIN(DataSetMenuTest)
#include "datasetmenu_test.moc"
