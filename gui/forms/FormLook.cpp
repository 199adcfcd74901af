#include "gui/forms/FormLook.h"

#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

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

} // namespace

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

} // namespace orvane
