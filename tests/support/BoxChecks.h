#pragma once

// For window tests: what the user sees of a form's geometry and of a text box's text.

#include <QGuiApplication>
#include <QLineEdit>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <cmath>

// Twips to pixels at the screen's logical DPI.
inline int pixels(int twips) {
    return int(std::lround(twips * QGuiApplication::primaryScreen()->logicalDotsPerInch() / 1440));
}

inline QRect pixelRect(int left, int top, int width, int height) {
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

// Whether the box's whole text fits inside its frame, less the two pixels a line edit keeps
// free on either side and one for the cursor.
inline bool showsWholeText(const QLineEdit* edit) {
    const int frame = edit->hasFrame()
                          ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit)
                          : 0;
    const int room = edit->width() - 2 * frame - 2 * 2 - 1;
    return QFontMetrics(edit->font()).horizontalAdvance(edit->text()) <= room;
}
