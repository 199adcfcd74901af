#pragma once

// Form geometry is given in twips (1/1440 inch), as the forms were drawn, and converted at the
// screen's logical DPI: 15 twips make one pixel at 96 DPI.

#include <QRect>

class QWidget;

namespace orvane {

struct TwipsBox {
    int left, top, width, height;
};

int twipsToPixels(int twips);
QRect twipsRect(const TwipsBox& box);
void placeInTwips(QWidget* widget, const TwipsBox& box);

} // namespace orvane
