#include "gui/forms/MessageBoxes.h"

namespace orvane {

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                 const QString& detail) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    box.exec();
}

bool askYesNo(QWidget* parent, const QString& title, const QString& question) {
    QMessageBox box(QMessageBox::NoIcon, title, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace orvane
