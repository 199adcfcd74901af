#include "gui/forms/FormLook.h"

#include <QFontDatabase>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

QString gothicFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate : {"MS PGothic", "MS P Gothic", "IPAPGothic", "IPA Pゴシック",
                                      "Noto Sans CJK JP", "IPAGothic", "VL PGothic"}) {
            if (installed.contains(QString::fromUtf8(candidate))) {
                return QString::fromUtf8(candidate);
            }
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

// The WCAG 2 relative luminance of an sRGB colour.
double luminance(const QColor& colour) {
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// Below this contrast a text is mixed toward the palette's text colour, up to the second.
constexpr double kLegibleContrast = 3.0;
constexpr double kMixedContrast = 4.5;

// Black or white, whichever reads better on the background.
QColor textFor(const QColor& background) {
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background)
               ? QColor(Qt::black)
               : QColor(Qt::white);
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor legibleOn(const QColor& colour, const QColor& background, const QColor& textColour) {
    if (contrastRatio(colour, background) >= kLegibleContrast) {
        return colour;
    }
    QColor mixed = colour;
    for (int tenth = 1; tenth <= 10 && contrastRatio(mixed, background) < kMixedContrast; ++tenth) {
        const double t = tenth / 10.0;
        mixed = QColor::fromRgbF(float((1 - t) * colour.redF() + t * textColour.redF()),
                                 float((1 - t) * colour.greenF() + t * textColour.greenF()),
                                 float((1 - t) * colour.blueF() + t * textColour.blueF()));
    }
    return mixed;
}

QFont formFont(double pointSize, bool bold) {
    QFont font(gothicFamily());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void paintBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    const QColor text = textFor(colour);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void fixTextOn(QWidget* widget, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, textFor(background));
    widget->setPalette(palette);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    const QColor shown = legibleOn(colour, palette.color(widget->backgroundRole()),
                                   palette.color(widget->foregroundRole()));
    palette.setColor(QPalette::WindowText, shown);
    palette.setColor(QPalette::Text, shown);
    widget->setPalette(palette);
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace orvane
