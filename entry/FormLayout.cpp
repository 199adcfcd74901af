#include "entry/FormLayout.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <cmath>

namespace orvane {

namespace {

double logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

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

} // namespace

int twipsToPixels(int twips) {
    return int(std::lround(twips * logicalDpi() / 1440.0));
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

void placeInTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height));
}

QFont formFont(double pointSize, bool bold) {
    QFont font(gothicFamily());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

namespace {
constexpr double kSmallestPoints = 6.0;
}

void fitLabelText(QLabel* label) {
    QFont font = label->font();
    while (label->heightForWidth(label->width()) > label->height() &&
           font.pointSizeF() > kSmallestPoints) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        label->setFont(font);
    }
}

void fitBoxFont(QLineEdit* box, const QString& widest) {
    // QLineEdit keeps two pixels on each side inside its frame, and one for the cursor.
    const int frame = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    const QMargins margins = box->textMargins();
    const int room = box->width() - 2 * frame - 4 - 1 - margins.left() - margins.right();
    QFont font = box->font();
    while (QFontMetrics(font).horizontalAdvance(widest) > room &&
           font.pointSizeF() > kSmallestPoints) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    box->setFont(font);
}

bool pressFocusedButton(const QWidget* window, const QKeyEvent* event) {
    auto* button = qobject_cast<QPushButton*>(window->focusWidget());
    if (!button || (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)) {
        return false;
    }
    button->click();
    return true;
}

} // namespace orvane
