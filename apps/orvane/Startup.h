#pragma once

// The start of orvane: its command line, the check for a display, and the parameter window
// opened with the data set the command line names.

#include <QString>
#include <QStringList>

namespace orvane {

struct AnalysisParameters;
class ParameterWindow;

// What the command line asks for: orvane [FILE.kvp] | --help | --version.
struct StartupCommand {
    enum class Action { Start, Help, Version, Refused };
    Action action = Action::Start;
    QString parameterFile; // empty: the start-up data set
    QString error;         // why the command line was refused
};

// arguments include the program's name first, as QCoreApplication::arguments() gives them.
// Help and Version win over errors, so that they can be read before the toolkit has taken
// its own options (-platform NAME, -style NAME) out of the command line.
StartupCommand ParseStartupCommand(const QStringList& arguments);

extern const char* const kStartupUsage;

// Shows the parameter window centred on its screen and, when a file is named, loads it through
// the window's own loader as Open does: the file's full path is the chosen file, and a failure
// is shown in a message box over the start-up data set.
void openParameterWindow(ParameterWindow& window, AnalysisParameters& params,
                         const QString& parameterFile);

// The whole program: exit status 0 after the windows closed or the help or version was shown,
// 2 for a refused command line or when no display can be reached.
int RunOrvane(int argc, char** argv);

} // namespace orvane
