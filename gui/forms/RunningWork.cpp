#include "gui/forms/RunningWork.h"

#include "gui/forms/MessageBoxes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace orvane {

QList<QWidget*> WindowsWithRunningWork() {
    QList<QWidget*> running;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->property(kWorkRunningProperty).toBool()) {
            running << window;
        }
    }
    return running;
}

QString RunningWorkQuestion(const QList<QWidget*>& windows) {
    QStringList titles;
    for (const QWidget* window : windows) {
        titles << QStringLiteral("• ") + window->windowTitle();
    }
    return QStringLiteral("Work is still running in:\n") + titles.join(QLatin1Char('\n')) +
           QStringLiteral("\n\nStop it and quit? What it has not finished is lost.");
}

bool StopRunningWork(const QList<QWidget*>& windows) {
    // A window may delete itself on close, so each is held by a guarded pointer.
    QList<QPointer<QWidget>> guarded(windows.begin(), windows.end());
    bool allClosed = true;
    for (const QPointer<QWidget>& window : guarded) {
        if (window && !window->close()) {
            allClosed = false;
        }
    }
    return allClosed;
}

bool CloseOnEscape(QWidget* window, const QKeyEvent* event, const QString& questionWhileRunning) {
    if (event->key() != Qt::Key_Escape) {
        return false;
    }
    if (!window->property(kWorkRunningProperty).toBool() ||
        askYesNo(window, window->windowTitle(), questionWhileRunning)) {
        window->close();
    }
    return true;
}

} // namespace orvane
