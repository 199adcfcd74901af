#include "apps/orvane/Startup.h"
#include "core/Version.h"
#include "core/engine/AnalysisParameters.h"
#include "gui/parameters/ParameterWindow.h"
#include "support/MessageBoxAnswer.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvane;

Q_DECLARE_METATYPE(StartupCommand::Action)

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_params = AnalysisParameters();
        m_window = new ParameterWindow(m_params);
    }
    void cleanup() { delete m_window; }

    void commandLine_data() {
        using Action = StartupCommand::Action;
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("none") << QStringList{} << Action::Start << ""
                              << "";
        QTest::newRow("file") << QStringList{"beam.kvp"} << Action::Start << "beam.kvp"
                              << "";
        QTest::newRow("dash-led file")
            << QStringList{"--", "-beam.kvp"} << Action::Start << "-beam.kvp"
            << "";
        QTest::newRow("help") << QStringList{"--help"} << Action::Help << ""
                              << "";
        QTest::newRow("short help") << QStringList{"-h"} << Action::Help << ""
                                    << "";
        QTest::newRow("version") << QStringList{"--version"} << Action::Version << ""
                                 << "";
        QTest::newRow("short version") << QStringList{"-V"} << Action::Version << ""
                                       << "";
        QTest::newRow("help beside a toolkit option")
            << QStringList{"-platform", "offscreen", "--help"} << Action::Help << ""
            << "";
        QTest::newRow("two files") << QStringList{"a.kvp", "b.kvp"} << Action::Refused << ""
                                   << "only one parameter file can be given";
        QTest::newRow("empty file name") << QStringList{""} << Action::Refused << ""
                                         << "the parameter file name is empty";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << Action::Refused << ""
                                        << "Unknown option 'frobnicate'.";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(StartupCommand::Action, action);
        QFETCH(QString, error);
        QFETCH(QString, file);
        arguments.prepend("orvane");
        const StartupCommand command = ParseStartupCommand(arguments);
        QCOMPARE(command.action, action);
        QCOMPARE(command.error, error);
        QCOMPARE(command.parameterFile, file);
    }

    // A relative name, as typed in a terminal, is loaded through the window's loader: the
    // fields show the file's texts and the parameter set follows them.
    void fileArgumentIsLoaded() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(ORVANE_EXAMPLES_DIR "/short-bond.kvp", dir.filePath("short.kvp")));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        openParameterWindow(*m_window, m_params, "short.kvp");
        QDir::setCurrent(previous);

        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("short.kvp — K-Varo Parameter"));
        QCOMPARE(field("Text6"), QStringLiteral("40.0"));
        QCOMPARE(field("Text5"), QStringLiteral("0.040"));
        QCOMPARE(field("Text1").left(10), QStringLiteral("Short bond"));
        QCOMPARE(m_params.lb, 40.0f);
        QCOMPARE(m_params.dl, 0.04f);
        const std::string fullPath = dir.filePath("short.kvp").toStdString();
        QCOMPARE(m_params.chosenFilePath, fullPath);
        QCOMPARE(m_params.parameterFilePath, fullPath);
    }

    void unreadableFileLeavesTheStartupSet() {
        QString shown;
        answerNextMessageBox(&shown);
        openParameterWindow(*m_window, m_params, "no-such-file.kvp");
        QVERIFY2(shown.contains("The parameter file was not loaded."), qPrintable(shown));
        QVERIFY2(shown.contains("no-such-file.kvp"), qPrintable(shown));
        QCOMPARE(field("Text6"), QStringLiteral("120.0"));
        QCOMPARE(m_params.lb, 120.0f);
        QCOMPARE(m_params.parameterFilePath, std::string());
    }

    // The program itself, started as a user would start it.
    void program_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        const QString version = QStringLiteral("orvane ") + kVersion + "\n";
        QTest::newRow("no display")
            << QStringList{} << QStringList{} << 2 << "orvane: no display to open the windows on";
        QTest::newRow("display that cannot be reached")
            << QStringList{"beam.kvp"} << QStringList{"DISPLAY=:987"} << 2
            << "orvane: cannot open the display";
        QTest::newRow("version without display")
            << QStringList{"--version"} << QStringList{} << 0 << version;
        QTest::newRow("help without display")
            << QStringList{"-h"} << QStringList{} << 0 << QString(kStartupUsage);
        QTest::newRow("two files")
            << QStringList{"a.kvp", "b.kvp"} << QStringList{"QT_QPA_PLATFORM=offscreen"} << 2
            << "orvane: only one parameter file can be given";
    }
    void program() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        for (const QString& setting : environment) {
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(ORVANE_COMMAND, arguments);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString text = QString::fromLocal8Bit(exitCode == 0 ? process.readAllStandardOutput()
                                                                  : process.readAllStandardError());
        QVERIFY2(exitCode == 0 ? text == output : text.contains(output), qPrintable(text));
    }

private:
    QString field(const char* name) const { return m_window->findChild<QLineEdit*>(name)->text(); }

    AnalysisParameters m_params;
    ParameterWindow* m_window = nullptr;
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
