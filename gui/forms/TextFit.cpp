#include "gui/forms/TextFit.h"

#include "gui/forms/FormLook.h"

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

// The line edit aligns its text as asked only when the text fits with the overhang that any
// glyph of the face could have at either end; otherwise it scrolls to show the cursor.
int overhang(const QFontMetrics& metrics) {
    return std::max(0, -metrics.minLeftBearing()) + std::max(0, -metrics.minRightBearing());
}

} // namespace

TextFit::TextFit(QLineEdit* edit)
    : QObject(edit), m_edit(edit), m_largest(edit->font()),
      m_smallestStep(std::max(0, int(std::floor((m_largest.pointSizeF() - kSmallestPoints) * 4)))),
      m_room(textRoom(edit)), m_metrics(std::size_t(m_smallestStep + 1)) {
    connect(edit, &QLineEdit::textChanged, this, &TextFit::fit);
    edit->installEventFilter(this);
    fit();
}

QFont TextFit::font(int step) const {
    QFont font = m_largest;
    font.setPointSizeF(m_largest.pointSizeF() - 0.25 * step);
    return font;
}

const QFontMetrics& TextFit::metrics(int step) {
    std::optional<QFontMetrics>& known = m_metrics[std::size_t(step)];
    if (!known) {
        known.emplace(font(step));
    }
    return *known;
}

// One text shaping per call in the common case: the boxes are rewritten at every step.
void TextFit::fit() {
    const QString text = m_edit->text();
    // One pixel of the room is kept for the cursor.
    int step = 0;
    int width = metrics(0).horizontalAdvance(text);
    if (width + 1 > m_room) {
        // The width grows about in proportion to the size: start near the size that fits and
        // step down from there.
        const double fitting = m_largest.pointSizeF() * m_room / std::max(1, width);
        step =
            std::clamp(int(std::ceil((m_largest.pointSizeF() - fitting) * 4)), 1, m_smallestStep);
        width = metrics(step).horizontalAdvance(text);
        while (step < m_smallestStep && width + 1 > m_room) {
            width = metrics(++step).horizontalAdvance(text);
        }
    }
    if (step != m_step) {
        m_step = step;
        m_edit->setFont(font(step));
    }
    const bool whole = width + 1 <= m_room;
    const QString tip = whole ? QString() : text;
    if (m_edit->toolTip() != tip) {
        m_edit->setToolTip(tip);
    }
    // From the cursor at the start the line edit shows the start of the text.
    if (!m_edit->hasFocus() && width + 1 + overhang(metrics(step)) > m_room) {
        m_edit->setCursorPosition(0);
    }
}

bool TextFit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::StyleChange:
        case QEvent::Polish:
            m_room = textRoom(m_edit);
            fit();
            break;
        case QEvent::FocusOut:
            fit();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvane
