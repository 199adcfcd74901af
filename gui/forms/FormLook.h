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

void paintBackground(QWidget* widget, const QColor& colour);
void setTextColour(QWidget* widget, const QColor& colour);

QString fromUtf8(std::string_view text);

} // namespace orvane
