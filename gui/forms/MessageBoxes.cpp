#include "gui/forms/MessageBoxes.h"

#include <QAbstractButton>

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

QMessageBox::StandardButton askSaveDiscardCancel(QWidget* parent, const QString& title,
                                                 const QString& question) {
    QMessageBox box(QMessageBox::Warning, title, question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Cancel);
    return QMessageBox::StandardButton(box.exec());
}

bool askGoOnOrCancel(QWidget* parent, const QString& title, const QString& question,
                     const QString& goOnCaption) {
    QMessageBox box(QMessageBox::Warning, title, question, QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.button(QMessageBox::Yes)->setText(goOnCaption);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

} // namespace orvane
