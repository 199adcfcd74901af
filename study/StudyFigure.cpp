#include "study/StudyFigure.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>

namespace orvane {

namespace {

QColor seriesColour(std::size_t s) {
    static const QColor colours[] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),   QColor(148, 103, 189),
        QColor(255, 127, 14), QColor(140, 86, 75), QColor(227, 119, 194), QColor(23, 190, 207)};
    return colours[s % std::size(colours)];
}

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// The largest series count that gets a legend entry each.
constexpr std::size_t kLegendEntries = 8;

} // namespace

void DrawStudyPlot(QPainter& painter, const QRectF& area, const StudyPlot& plot) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, Qt::white);
    QFont font = painter.font();
    font.setPixelSize(std::max(10, int(area.height() / 48)));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();

    painter.setPen(Qt::black);
    const QRectF titleBox(area.left(), area.top() + line * 0.4, area.width(), line * 1.2);
    painter.drawText(titleBox, Qt::AlignCenter, text(plot.title));

    const QRectF frame(area.left() + line * 6, area.top() + line * 2.2, area.width() - line * 9,
                       area.height() - line * 5.6);
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    const bool any = plot.bounds(xMin, xMax, yMin, yMax);
    yMin = std::min(yMin, 0.0);   // loads are read from zero
    yMax += (yMax - yMin) * 0.06; // room for the P∞ label above the plateau
    const std::vector<double> xTicks = AxisTicks(xMin, xMax);
    const std::vector<double> yTicks = AxisTicks(yMin, yMax);
    const double x0 = xTicks.front(), x1 = xTicks.back();
    const double y0 = yTicks.front(), y1 = yTicks.back();
    const auto at = [&](double x, double y) {
        return QPointF(frame.left() + (x - x0) / (x1 - x0) * frame.width(),
                       frame.bottom() - (y - y0) / (y1 - y0) * frame.height());
    };

    // Grid, ticks and their texts.
    const QPen gridPen(QColor(225, 225, 225), 0);
    const QPen axisPen(Qt::black, 1);
    const double tick = line * 0.35;
    const double xStep = xTicks.size() > 1 ? xTicks[1] - xTicks[0] : 1;
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (const double x : xTicks) {
        const QPointF p = at(x, y0);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(p.x(), frame.top()), p);
        painter.setPen(axisPen);
        painter.drawLine(p, p + QPointF(0, tick));
        painter.drawText(QRectF(p.x() - line * 4, p.y() + tick, line * 8, line),
                         Qt::AlignHCenter | Qt::AlignTop, text(TickText(x, xStep)));
    }
    for (const double y : yTicks) {
        const QPointF p = at(x0, y);
        painter.setPen(gridPen);
        painter.drawLine(p, QPointF(frame.right(), p.y()));
        painter.setPen(axisPen);
        painter.drawLine(p, p - QPointF(tick, 0));
        painter.drawText(
            QRectF(frame.left() - line * 6, p.y() - line / 2, line * 6 - tick * 1.5, line),
            Qt::AlignRight | Qt::AlignVCenter, text(TickText(y, yStep)));
    }
    painter.setPen(axisPen);
    painter.drawRect(frame);
    painter.drawText(QRectF(frame.left(), frame.bottom() + tick + line * 1.1, frame.width(), line),
                     Qt::AlignCenter, text(plot.xTitle));
    painter.save();
    painter.translate(area.left() + line * 0.9, frame.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-frame.height() / 2, -line / 2, frame.height(), line), Qt::AlignCenter,
                     QStringLiteral("ultimate load Pbumax (N)"));
    painter.restore();

    if (!any) {
        painter.drawText(frame, Qt::AlignCenter, QStringLiteral("no points yet"));
        painter.restore();
        return;
    }
    painter.setClipRect(frame.adjusted(-tick, -tick, tick, tick));
    const double marker = line * 0.22;
    for (std::size_t s = 0; s < plot.series.size(); ++s) {
        const StudyPlotSeries& series = plot.series[s];
        if (series.points.empty()) {
            continue;
        }
        const QColor colour = seriesColour(s);
        QPainterPath load, limit;
        double LeMin = INFINITY, LeMax = -INFINITY;
        for (std::size_t k = 0; k < series.points.size(); ++k) {
            const StudyPlotPoint& p = series.points[k];
            k == 0 ? load.moveTo(at(p.x, p.Pbumax)) : load.lineTo(at(p.x, p.Pbumax));
            if (std::isfinite(p.Pinf)) {
                limit.elementCount() == 0 ? limit.moveTo(at(p.x, p.Pinf))
                                          : limit.lineTo(at(p.x, p.Pinf));
            }
            if (std::isfinite(p.Le)) {
                LeMin = std::min(LeMin, p.Le);
                LeMax = std::max(LeMax, p.Le);
            }
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, 1.4, Qt::DashLine));
        painter.drawPath(limit);
        painter.setPen(QPen(colour, 1.8));
        painter.drawPath(load);
        painter.setBrush(colour);
        for (const StudyPlotPoint& p : series.points) {
            painter.drawEllipse(at(p.x, p.Pbumax), marker, marker);
        }
        painter.setBrush(Qt::NoBrush);
        const StudyPlotPoint& last = series.points.back();
        if (std::isfinite(last.Pinf)) {
            painter.setPen(colour);
            painter.drawText(QRectF(frame.left(), at(0, last.Pinf).y() - line * 1.1,
                                    frame.width() - line * 0.3, line),
                             Qt::AlignRight | Qt::AlignBottom,
                             QStringLiteral("P∞ = %1 N").arg(last.Pinf, 0, 'f', 1));
        }
        if (plot.lengthAxis && LeMin <= LeMax) {
            // Le does not depend on lb; a second swept input can move it per series.
            painter.setPen(QPen(colour, 1.2, Qt::DotLine));
            const double Le = (LeMin + LeMax) / 2;
            const QPointF top = at(Le, y1);
            painter.drawLine(top, at(Le, y0));
            const double row = double(s % kLegendEntries);
            painter.drawText(
                QRectF(top.x() + line * 0.3, frame.bottom() - line * (1.3 + row), line * 10, line),
                Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Le = %1 mm").arg(Le, 0, 'f', 1));
        }
    }
    painter.setClipping(false);

    // Legend of the series, when there is more than one.
    if (plot.series.size() > 1) {
        const std::size_t shown = std::min(plot.series.size(), kLegendEntries);
        QPointF p = frame.bottomRight() + QPointF(-line * 11, -line * (double(shown) + 0.6));
        for (std::size_t s = 0; s < shown; ++s, p.ry() += line) {
            painter.setPen(QPen(seriesColour(s), 1.8));
            painter.drawLine(p + QPointF(0, line / 2), p + QPointF(line * 1.5, line / 2));
            painter.setPen(Qt::black);
            QString label = text(plot.series[s].label);
            if (s + 1 == shown && shown < plot.series.size()) {
                label = QStringLiteral("… %1 series").arg(plot.series.size());
            }
            painter.drawText(QRectF(p.x() + line * 2, p.y(), line * 9, line),
                             Qt::AlignLeft | Qt::AlignVCenter, label);
        }
    }
    painter.restore();
}

QString SaveStudyFigure(const StudyPlot& plot, const QString& path, QSize size) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "png" && suffix != "svg" && suffix != "pdf") {
        return QStringLiteral("%1: the figure's file name must end in .png, .svg or .pdf")
            .arg(path);
    }
    // Drawn into a temporary file renamed over the path: a failed save leaves nothing half-written.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    const QRectF area(QPointF(0, 0), QSizeF(size));
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        DrawStudyPlot(painter, area, plot);
        painter.end();
        image.save(&file, "PNG");
    } else if (suffix == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(text(plot.title));
        QPainter painter(&svg);
        DrawStudyPlot(painter, area, plot);
    } else {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QSizeF(size) * 0.75, QPageSize::Point));
        pdf.setPageMargins(QMarginsF());
        pdf.setResolution(96);
        pdf.setTitle(text(plot.title));
        QPainter painter(&pdf);
        DrawStudyPlot(painter, area, plot);
    }
    if (!file.commit()) {
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return {};
}

} // namespace orvane
