#pragma once

// For window tests: modal message boxes run their own event loop, so a test answers them from
// a timer that fires inside that loop.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

// Answers the next modal message box by pressing `button`, keeping "title|text" in *text.
inline void answerNextMessageBox(QString* text,
                                 QMessageBox::StandardButton button = QMessageBox::Ok,
                                 int attempts = 200) {
    QTimer::singleShot(10, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (attempts > 0) {
                answerNextMessageBox(text, button, attempts - 1);
            }
            return;
        }
        *text = box->windowTitle() + "|" + box->text();
        box->button(button)->click();
    });
}
