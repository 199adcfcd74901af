#include "apps/orvane/Startup.h"

#include "apps/orvane/DataSetMenu.h"
#include "apps/orvane/ParameterMenuBar.h"
#include "apps/orvane/ProgramIcon.h"
#include "apps/orvane/RunWindows.h"
#include "core/Version.h"
#include "core/results/ExitStatus.h"
#include "gui/fit/FitWindow.h"
#include "gui/forms/KeyRules.h"
#include "gui/parameters/ParameterWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace orvane {

const char* const kStartupUsage =
    "usage: orvane [FILE.orv | FILE.kvp]\n"
    "       orvane --help | --version\n"
    "\n"
    "Opens the parameter window of Orvane with the start-up data set, or with the data set of\n"
    "the data-set file FILE.orv (law and initial ds included) or of the parameter file\n"
    "FILE.kvp, loaded as Open loads it.\n"
    "  -h, --help      show this text\n"
    "  -V, --version   show the program's version\n"
    "The toolkit's own options, such as -platform NAME and -style NAME, are accepted too.\n"
    "orvane-batch runs the analysis without windows.\n"
    "Exit status: 0 done, 2 bad command line or no display to open the windows on.\n";

namespace {

// Qt ends the process when the platform plug-in it was asked for cannot start. So, unless the
// user has named a platform on the command line, the plug-ins whose display the environment
// names are tried first and offscreen last: landing on offscreen then means no display.
class PlatformChoice {
public:
    PlatformChoice(int argc, char** argv) : m_chosen(qgetenv("QT_QPA_PLATFORM")) {
        m_wasSet = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
        for (int k = 1; k < argc; ++k) {
            if (std::strcmp(argv[k], "-platform") == 0 || std::strcmp(argv[k], "--platform") == 0) {
                return; // the command line decides, and Qt honours it over the environment
            }
        }
        QByteArray candidates = m_chosen;
        if (candidates.isEmpty()) {
            QByteArrayList displays;
            if (!qgetenv("DISPLAY").isEmpty()) {
                displays << "xcb";
            }
            if (!qgetenv("WAYLAND_DISPLAY").isEmpty()) {
                displays << "wayland";
            }
            candidates = displays.join(';');
        }
        if (candidates.isEmpty()) {
            m_noDisplay = true;
        } else if (!candidates.split(';').contains("offscreen")) {
            qputenv("QT_QPA_PLATFORM", candidates + ";offscreen");
            m_fallback = true;
        }
    }

    // Before the application exists: no display is named at all.
    bool noDisplayNamed() const { return m_noDisplay; }

    // After the application exists: puts the environment back as the user left it, and tells
    // whether only the fallback could start.
    bool fellBack() const {
        if (m_wasSet) {
            qputenv("QT_QPA_PLATFORM", m_chosen);
        } else {
            qunsetenv("QT_QPA_PLATFORM");
        }
        return m_fallback && QGuiApplication::platformName() == QLatin1String("offscreen");
    }

private:
    QByteArray m_chosen;
    bool m_wasSet = false;
    bool m_noDisplay = false;
    bool m_fallback = false;
};

// Holds the platform plug-ins' complaints while the application starts: they are replayed when
// a display was reached, and summed up in one line when none was.
QtMessageHandler g_previousHandler = nullptr;
QStringList g_platformMessages;

void holdPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) {
        g_platformMessages << text;
        return;
    }
    g_previousHandler(type, context, text);
}

void refuse(const QString& text) {
    std::fprintf(stderr, "orvane: %s\n", qPrintable(text));
}

} // namespace

StartupCommand ParseStartupCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"V", "version"});
    parser.addOptions({help, version});
    const bool parsed = parser.parse(arguments);

    StartupCommand command;
    if (parser.isSet(help)) {
        command.action = StartupCommand::Action::Help;
    } else if (parser.isSet(version)) {
        command.action = StartupCommand::Action::Version;
    } else if (!parsed) {
        command.error = parser.errorText();
    } else if (parser.positionalArguments().size() > 1) {
        command.error = QStringLiteral("only one parameter file can be given");
    } else if (parser.positionalArguments().size() == 1) {
        command.parameterFile = parser.positionalArguments().front();
        if (command.parameterFile.isEmpty()) {
            command.error = QStringLiteral("the parameter file name is empty");
        }
    }
    if (!command.error.isEmpty()) {
        command.action = StartupCommand::Action::Refused;
    }
    return command;
}

void openParameterWindow(ParameterWindow& window, AnalysisParameters& params,
                         const QString& parameterFile) {
    window.show();
    window.centreOnScreen();
    if (!parameterFile.isEmpty()) {
        const QString fullPath = QDir::cleanPath(QFileInfo(parameterFile).absoluteFilePath());
        params.chosenFilePath = fullPath.toStdString();
        if (DataSetMenu* dataSets = DataSetMenuOf(window)) {
            dataSets->open(fullPath);
        } else {
            window.loadFrom(fullPath);
        }
    }
}

int RunOrvane(int argc, char** argv) {
    // Past a file-size limit a write fails with EFBIG, and the writers cut the file back to
    // whole steps, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList rawArguments;
    for (int k = 0; k < argc; ++k) {
        rawArguments << QString::fromLocal8Bit(argv[k]);
    }
    const StartupCommand early = ParseStartupCommand(rawArguments);
    if (early.action == StartupCommand::Action::Help) {
        std::fputs(kStartupUsage, stdout);
        return kExitDone;
    }
    if (early.action == StartupCommand::Action::Version) {
        std::printf("orvane %s\n", kVersion);
        return kExitDone;
    }

    const PlatformChoice platform(argc, argv);
    if (platform.noDisplayNamed()) {
        refuse("no display to open the windows on: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
               "Start orvane in a desktop session, or run the analysis without windows with\n"
               "orvane-batch FILE.kvp.");
        return kExitRefused;
    }
    g_previousHandler = qInstallMessageHandler(holdPlatformMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    if (platform.fellBack()) {
        refuse("cannot open the display (" + g_platformMessages.value(0) +
               ").\nStart orvane in a desktop session, or run the analysis without windows "
               "with\norvane-batch FILE.kvp.");
        return kExitRefused;
    }
    for (const QString& text : std::as_const(g_platformMessages)) {
        qWarning("%s", qPrintable(text));
    }

    const StartupCommand command = ParseStartupCommand(QCoreApplication::arguments());
    if (command.action == StartupCommand::Action::Refused) {
        refuse(command.error + "\n\n" + kStartupUsage);
        return kExitRefused;
    }
    QApplication::setWindowIcon(programIcon());
    // Where the settings (the recent data sets) are kept: ~/.config/Orvane/orvane.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("orvane"));
    AutoRepeatGuard autoRepeatGuard;
    app.installEventFilter(&autoRepeatGuard);
    AnalysisParameters params;
    ParameterWindow parameterWindow(params);
    InstallParameterMenuBar(parameterWindow, params);
    InstallFitMenu(parameterWindow, params);
    connectRunWindows(parameterWindow, params);
    openParameterWindow(parameterWindow, params, command.parameterFile);
    return QApplication::exec();
}

} // namespace orvane
