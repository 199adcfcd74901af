#pragma once

// The look the forms share: the Japanese Gothic face, the form colours, and the program's
// UTF-8 texts as Qt strings.

#include <QColor>
#include <QFont>
#include <QString>
#include <string_view>

class QWidget;

namespace orvane {

inline const QColor kLightGrey(192, 192, 192);
inline const QColor kGrey(128, 128, 128);

// The smallest size a caption or value box is shrunk to so that its text fits.
inline constexpr double kSmallestPoints = 6.0;

// The proportional Japanese Gothic face where installed, otherwise a face that carries Greek
// and Japanese; the captions hold τ and Δ.
QFont formFont(double pointSize, bool bold = false);

// The contrast of two colours as WCAG 2 defines it, from 1 (the same) to 21 (black on white):
// the ratio of their relative luminances, each plus 0.05.
double contrastRatio(const QColor& a, const QColor& b);

// The colour itself where it reads well on the background (a contrast of 3 or more, which
// every colour of the forms has in a light palette), otherwise the colour mixed with the
// palette's text colour until it does: blue stays blue, only lighter on a dark background.
QColor legibleOn(const QColor& colour, const QColor& background, const QColor& textColour);

// Fills the widget with a fixed colour, and fixes its text with it: black on a light fill, white
// on a dark one, whatever the palette (white text on a forced white box cannot be read).
void paintBackground(QWidget* widget, const QColor& colour);
// The text colour (WindowText) of captions that lie on a fixed-colour panel drawn under them, or
// of a whole window whose background is fixed; fields keep the palette's text on its base.
void fixTextOn(QWidget* widget, const QColor& background);
// A coloured text, kept legible on the widget's own background, fixed or the palette's.
void setTextColour(QWidget* widget, const QColor& colour);

QString fromUtf8(std::string_view text);

} // namespace orvane
