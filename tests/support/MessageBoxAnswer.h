#pragma once

// For window tests: modal message boxes run their own event loop, so a test answers them from
// a timer that fires inside that loop.

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>

// Answers the next modal message box by pressing `button`, keeping "title|text" in *text.
// It waits for the box as long as the test function (and data row) that asked is running,
// however slowly the machine runs; the CTest timeout bounds a box that never comes.
inline void answerNextMessageBox(QString* text,
                                 QMessageBox::StandardButton button = QMessageBox::Ok) {
    const QByteArray function = QTest::currentTestFunction();
    const QByteArray row = QTest::currentDataTag();
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        if (QByteArray(QTest::currentTestFunction()) != function ||
            QByteArray(QTest::currentDataTag()) != row) {
            poll->deleteLater(); // the test that asked has ended; *text is gone with it
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        *text = box->windowTitle() + "|" + box->text();
        box->button(button)->click();
    });
    poll->start();
}
