#include "gui/forms/KeyRules.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace orvane {

namespace {

bool isEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

bool pressFocusedButton(const QWidget* window, const QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(window->focusWidget());
    if (!button || !isEnter(event)) {
        return false;
    }
    if (!event->isAutoRepeat()) {
        button->click();
    }
    return true;
}

bool openContextMenuByKey(QWidget* window, const QKeyEvent* event) {
    if (event->key() != Qt::Key_F10 || event->modifiers() != Qt::ShiftModifier) {
        return false;
    }
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    const QPoint position = target->rect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, position, target->mapToGlobal(position));
    QCoreApplication::sendEvent(target, &menu);
    return true;
}

bool AutoRepeatGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<const QKeyEvent*>(event)->isAutoRepeat() &&
        isEnter(static_cast<const QKeyEvent*>(event))) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvane
