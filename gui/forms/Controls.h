#pragma once

// One factory per kind of control. Every control carries its form name as its objectName and
// is placed by its box in twips.

#include "gui/forms/Twips.h"

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace orvane {

// Any control that needs nothing more than its name and place.
template <class Widget>
Widget* makeControl(QWidget* parent, const char* name, const TwipsBox& box) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    placeInTwips(widget, box);
    return widget;
}

// A word-wrapped caption whose font shrinks in quarter points until the text fits its fixed
// box, so that no caption is clipped where the installed face runs wider than the one the
// form was drawn with.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const TwipsBox& box,
                  const QFont& font, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
// Fits a caption again after its text or font changed.
void fitLabelText(QLabel* label);

// A filled rectangle without an outline, for panels and rules.
QWidget* makePanel(QWidget* parent, const char* name, const TwipsBox& box, const QColor& colour);

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const TwipsBox& box, const QFont& font);

// A field the user types into; `fitted` keeps its whole text in view (TextFit).
QLineEdit* makeTextField(QWidget* parent, const char* name, const TwipsBox& box, const QFont& font,
                         Qt::Alignment alignment, bool fitted);

// A read-only box that the program writes values into: right-aligned, never focused, its whole
// text kept in view (TextFit).
QLineEdit* makeValueBox(QWidget* parent, const char* name, const TwipsBox& box, const QFont& font,
                        bool framed = true);

} // namespace orvane
