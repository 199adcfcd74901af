#pragma once

// The keyboard rules of the forms. A held key repeats; a repeated key is never a press of a
// button, or holding Enter would start and cancel runs over and over.

#include <QObject>

class QKeyEvent;
class QWidget;

namespace orvane {

// As in a classic form, Enter presses the button that has the focus; a repeated Enter is
// swallowed. Returns whether the event was Enter on a focused button.
bool pressFocusedButton(const QWidget* window, const QKeyEvent* event);

// Shift+F10 opens the window's context menu at its focus, or at its centre, as the Menu key
// does. Returns whether the event was Shift+F10.
bool openContextMenuByKey(QWidget* window, const QKeyEvent* event);

// For the whole application, Qt's own dialogs and message boxes included, whose default
// buttons take every Enter: drops repeated Enter and Return presses before any widget sees
// them. (Qt's buttons already ignore a repeated Space.)
class AutoRepeatGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace orvane
