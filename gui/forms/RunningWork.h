#pragma once

// Long work that runs in a window of its own (a study, a fit, a validation, a sampling run):
// such a window sets the dynamic property "workRunning" on itself while the work runs, and
// stops the work cleanly when its close is accepted. Leaving the program asks first.

#include <QList>
#include <QString>

class QKeyEvent;
class QWidget;

namespace orvane {

inline constexpr char kWorkRunningProperty[] = "workRunning";

// The top-level windows whose work runs now.
QList<QWidget*> WindowsWithRunningWork();

// The question asked before leaving while work runs, naming the windows by their titles.
QString RunningWorkQuestion(const QList<QWidget*>& windows);

// Closes the windows, so that each stops its work; false when one of them refused to close.
bool StopRunningWork(const QList<QWidget*>& windows);

// Escape closes a window of long work, as a dialog's does, asking the question first while its
// work runs. For the window's keyPressEvent: false for any other key, which it passes on.
bool CloseOnEscape(QWidget* window, const QKeyEvent* event, const QString& questionWhileRunning);

} // namespace orvane
