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

} // namespace orvane
