#include "gui/forms/Controls.h"

#include "gui/forms/FormLook.h"
#include "gui/forms/TextFit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace orvane {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const TwipsBox& box,
                  const QFont& font, Qt::Alignment alignment) {
    auto* label = makeControl<QLabel>(parent, name, box);
    label->setText(caption);
    label->setWordWrap(true);
    label->setAlignment(alignment);
    label->setFont(font);
    fitLabelText(label);
    return label;
}

void fitLabelText(QLabel* label) {
    QFont font = label->font();
    while (label->heightForWidth(label->width()) > label->height() &&
           font.pointSizeF() > kSmallestPoints) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        label->setFont(font);
    }
}

QWidget* makePanel(QWidget* parent, const char* name, const TwipsBox& box, const QColor& colour) {
    auto* panel = makeControl<QWidget>(parent, name, box);
    paintBackground(panel, colour);
    return panel;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const TwipsBox& box, const QFont& font) {
    auto* button = makeControl<QPushButton>(parent, name, box);
    button->setText(caption);
    button->setFont(font);
    return button;
}

QLineEdit* makeTextField(QWidget* parent, const char* name, const TwipsBox& box, const QFont& font,
                         Qt::Alignment alignment, bool fitted) {
    auto* field = makeControl<QLineEdit>(parent, name, box);
    field->setFont(font);
    field->setAlignment(alignment);
    if (fitted) {
        new TextFit(field);
    }
    return field;
}

QLineEdit* makeValueBox(QWidget* parent, const char* name, const TwipsBox& box, const QFont& font,
                        bool framed) {
    auto* edit = makeControl<QLineEdit>(parent, name, box);
    edit->setFrame(framed);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAlignment(Qt::AlignRight);
    edit->setFont(font);
    new TextFit(edit);
    return edit;
}

} // namespace orvane
