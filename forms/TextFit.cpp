#include "forms/TextFit.h"

#include "forms/FormLook.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// QLineEdit keeps this many pixels free on either side of its text.
constexpr int kLineEditMargin = 2;

// The width in pixels that a line edit has for its text, inside its frame and margins.
int textRoom(const QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditMargin;
}

// One pixel is kept for the cursor.
bool textFits(const QFont& font, const QString& text, int room) {
    return QFontMetrics(font).horizontalAdvance(text) + 1 <= room;
}

// The line edit aligns its text as asked only when the text fits with the overhang that any
// glyph of the face could have at either end; otherwise it scrolls to show the cursor.
bool alignedWithin(const QFont& font, const QString& text, int room) {
    const QFontMetrics metrics(font);
    const int overhang =
        std::max(0, -metrics.minLeftBearing()) + std::max(0, -metrics.minRightBearing());
    return metrics.horizontalAdvance(text) + 1 + overhang <= room;
}

} // namespace

TextFit::TextFit(QLineEdit* edit) : QObject(edit), m_edit(edit), m_largest(edit->font()) {
    connect(edit, &QLineEdit::textChanged, this, &TextFit::fit);
    edit->installEventFilter(this);
    fit();
}

void TextFit::fit() {
    const QString text = m_edit->text();
    const int room = textRoom(m_edit);
    QFont font = m_largest;
    if (!textFits(font, text, room)) {
        // The width grows about in proportion to the size: start near the size that fits and
        // step down from there.
        const double width = std::max(1, QFontMetrics(font).horizontalAdvance(text));
        const double estimate = std::floor(4 * font.pointSizeF() * room / width) / 4;
        font.setPointSizeF(std::clamp(estimate, kSmallestPoints, m_largest.pointSizeF()));
        while (!textFits(font, text, room) && font.pointSizeF() > kSmallestPoints) {
            font.setPointSizeF(std::max(kSmallestPoints, font.pointSizeF() - 0.25));
        }
    }
    if (font != m_edit->font()) {
        m_edit->setFont(font);
    }
    const bool whole = textFits(font, text, room);
    const QString tip = whole ? QString() : text;
    if (m_edit->toolTip() != tip) {
        m_edit->setToolTip(tip);
    }
    // From the cursor at the start the line edit shows the start of the text.
    if (!m_edit->hasFocus() && !alignedWithin(font, text, room)) {
        m_edit->setCursorPosition(0);
    }
}

bool TextFit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit &&
        (event->type() == QEvent::FocusOut || event->type() == QEvent::Resize)) {
        fit();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvane
