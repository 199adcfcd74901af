#include "apps/orvane/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace orvane {

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

} // namespace orvane
