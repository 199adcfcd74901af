#pragma once

// The message boxes of the forms: modal, with the window's own title, the failure in words
// below the headline where there is one.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace orvane {

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                 const QString& detail = {});

// Yes and No, with No as the default, so that a stray Enter changes nothing.
bool askYesNo(QWidget* parent, const QString& title, const QString& question);

// Save, Discard or Cancel, with Cancel as the default.
QMessageBox::StandardButton askSaveDiscardCancel(QWidget* parent, const QString& title,
                                                 const QString& question);

// A Yes button captioned for what it does ("Stop and quit") and Cancel, the default.
bool askGoOnOrCancel(QWidget* parent, const QString& title, const QString& question,
                     const QString& goOnCaption);

} // namespace orvane
