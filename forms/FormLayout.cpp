#include "forms/FormLayout.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <cmath>

namespace orvane {

namespace {

constexpr double kSmallestPoints = 6.0;

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

QRect twipsRect(const TwipsBox& box) {
    return QRect(twipsToPixels(box.left), twipsToPixels(box.top), twipsToPixels(box.width),
                 twipsToPixels(box.height));
}

void placeInTwips(QWidget* widget, const TwipsBox& box) {
    widget->setGeometry(twipsRect(box));
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
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, const TwipsBox& box,
                  const QFont& font) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setFont(font);
    placeInTwips(label, box);
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

QLineEdit* makeValueBox(QWidget* parent, const QString& name, const TwipsBox& box,
                        const QFont& font, const QString& widest, bool framed) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setFrame(framed);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAlignment(Qt::AlignRight);
    placeInTwips(edit, box);
    // QLineEdit keeps two pixels on each side inside its frame, and one for the cursor.
    const int frame =
        framed ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
    const int room = edit->width() - 2 * frame - 4 - 1;
    QFont fitted = font;
    while (QFontMetrics(fitted).horizontalAdvance(widest) > room &&
           fitted.pointSizeF() > kSmallestPoints) {
        fitted.setPointSizeF(fitted.pointSizeF() - 0.25);
    }
    edit->setFont(fitted);
    return edit;
}

QIcon programIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(2, 16, 28, 14, Qt::gray);    // concrete
    painter.fillRect(2, 13, 20, 3, Qt::darkBlue); // bonded laminate
    painter.setPen(QPen(Qt::red, 2));             // the pull at the loaded end
    painter.drawLine(22, 14, 30, 14);
    painter.drawLine(26, 10, 30, 14);
    painter.drawLine(26, 18, 30, 14);
    return QIcon(pixmap);
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
