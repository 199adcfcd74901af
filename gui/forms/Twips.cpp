#include "gui/forms/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace orvane {

namespace {

double logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

int twipsToPixels(int twips) {
    return int(std::lround(twips * logicalDpi() / 1440.0));
}

QRect twipsRect(const TwipsBox& box) {
    return QRect(twipsToPixels(box.left), twipsToPixels(box.top), twipsToPixels(box.width),
                 twipsToPixels(box.height));
}

void placeInTwips(QWidget* widget, const TwipsBox& box) {
    widget->setGeometry(twipsRect(box));
}

} // namespace orvane
