#include "gui/run/PlotCanvas.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

QSize deviceSize(QSize size, qreal dpr) {
    return {int(std::ceil(size.width() * dpr)), int(std::ceil(size.height() * dpr))};
}

// Liang–Barsky: cuts the segment a–b to the rectangle, or reports that none of it lies
// inside. A segment with a non-finite end is dropped: there is no sensible piece to draw.
bool clipSegment(QPointF& a, QPointF& b, const QRectF& rect) {
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    if (!std::isfinite(dx) || !std::isfinite(dy)) {
        return false;
    }
    double t0 = 0;
    double t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                         rect.bottom() - a.y()};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) {
                return false; // parallel to this edge and outside it
            }
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return false;
        }
    }
    const QPointF start = a;
    if (t1 < 1) {
        b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
    }
    if (t0 > 0) {
        a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
    }
    return true;
}

} // namespace

PlotCanvas::PlotCanvas(QSize size, qreal devicePixelRatio, QColor foreground, QColor background)
    : m_image(deviceSize(size, devicePixelRatio), QImage::Format_RGB32), m_dpr(devicePixelRatio),
      m_size(size), m_foreground(foreground), m_background(background) {
    m_image.fill(m_background);
    updateMapping();
}

void PlotCanvas::setDevicePixelRatio(qreal devicePixelRatio) {
    if (devicePixelRatio == m_dpr || !(devicePixelRatio > 0)) {
        return;
    }
    QImage resampled(deviceSize(m_size, devicePixelRatio), QImage::Format_RGB32);
    resampled.fill(m_background);
    {
        QPainter painter(&resampled);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(m_size) * devicePixelRatio), m_image,
                          QRectF(QPointF(0, 0), QSizeF(m_size) * m_dpr));
    }
    m_current *= devicePixelRatio / m_dpr;
    m_image = std::move(resampled);
    m_dpr = devicePixelRatio;
    updateMapping();
}

void PlotCanvas::setScale(double left, double top, double right, double bottom) {
    m_left = left;
    m_top = top;
    m_right = right;
    m_bottom = bottom;
    updateMapping();
}

void PlotCanvas::updateMapping() {
    // The corners map to the edges of the surface, which need not fall on a whole device
    // pixel (213 px at 1.5x are 319.5 device pixels). The far edge maps just inside the last
    // pixel, so that a value on the right or bottom edge (the loaded end, zero stress) shows.
    constexpr double kInsideTheEdge = 1e-6;
    const double width = m_size.width() * m_dpr - kInsideTheEdge;
    const double height = m_size.height() * m_dpr - kInsideTheEdge;
    const auto axis = [](double from, double to, double pixels, double& origin, double& scale) {
        scale = pixels / (to - from);
        if (std::isfinite(scale) && scale != 0) {
            origin = -from * scale;
        } else {
            // Zero (or unusable) extent: nothing to tell apart along this axis.
            scale = 0;
            origin = pixels / 2;
        }
    };
    axis(m_left, m_right, width, m_x0, m_sx);
    axis(m_top, m_bottom, height, m_y0, m_sy);
}

// The image's pixels and the pen, fetched once per drawing call: bits() detaches the image.
struct PlotCanvas::Pixels {
    QRgb* bits;
    qsizetype stride; // pixels per image line
    int width;
    int height;
    QRgb colour;
    int before; // a w-pixel pen covers w/2 pixels before the line's own and (w-1)/2 after
    int after;
};

int PlotCanvas::devicePenWidth() const {
    return std::max(1, int(std::lround(m_penWidth * m_dpr)));
}

void PlotCanvas::fillBlock(Pixels& pixels, int column, int top, int bottom) const {
    const int left = std::max(column - pixels.before, 0);
    const int right = std::min(column + pixels.after, pixels.width - 1);
    top = std::max(top - pixels.before, 0);
    bottom = std::min(bottom + pixels.after, pixels.height - 1);
    if (left > right) {
        return; // beside the image, within the clipping margin
    }
    for (int row = top; row <= bottom; ++row) {
        QRgb* line = pixels.bits + row * pixels.stride;
        std::fill(line + left, line + right + 1, pixels.colour);
    }
}

void PlotCanvas::drawSegment(Pixels& pixels, QPointF from, QPointF to) const {
    // Points far outside (a step-1 point beyond the first axes, a huge value) are cut to a
    // rectangle a little larger than the image; inside it the pixels stay the same.
    const double margin = devicePenWidth() + 2;
    const QRectF bounds =
        QRectF(QPointF(0, 0), QSizeF(m_image.size())).adjusted(-margin, -margin, margin, margin);
    if (!bounds.contains(from) || !bounds.contains(to)) {
        if (!clipSegment(from, to, bounds)) {
            return;
        }
    }
    if (from.x() > to.x()) {
        std::swap(from, to);
    }
    const int first = int(std::floor(from.x()));
    const int last = int(std::floor(to.x()));
    const double slope = first < last ? (to.y() - from.y()) / (to.x() - from.x()) : 0;
    for (int column = first; column <= last; ++column) {
        // Where the line enters and leaves the column; its own ends exactly as given, so that
        // a line inside one column covers precisely the rows between its ends.
        const double enter = column == first ? from.y() : from.y() + (column - from.x()) * slope;
        const double leave = column == last ? to.y() : from.y() + (column + 1 - from.x()) * slope;
        fillBlock(pixels, column, int(std::floor(std::min(enter, leave))),
                  int(std::floor(std::max(enter, leave))));
    }
}

void PlotCanvas::clear() {
    m_image.fill(m_background);
    m_current = toDevice(0, 0);
}

void PlotCanvas::setPoint(double x, double y) {
    const QPointF point = toDevice(x, y);
    drawThrough(std::span(&point, 1), true);
}

void PlotCanvas::lineTo(double x, double y) {
    const QPointF point = toDevice(x, y);
    drawThrough(std::span(&point, 1), false);
}

void PlotCanvas::line(double x1, double y1, double x2, double y2) {
    m_current = toDevice(x1, y1);
    lineTo(x2, y2);
}

void PlotCanvas::drawThrough(std::span<const QPointF> devicePoints, bool startWithDot) {
    if (devicePoints.empty()) {
        return;
    }
    const int width = devicePenWidth();
    Pixels pixels{reinterpret_cast<QRgb*>(m_image.bits()),
                  m_image.bytesPerLine() / qsizetype(sizeof(QRgb)),
                  m_image.width(),
                  m_image.height(),
                  m_foreground.rgb(),
                  width / 2,
                  (width - 1) / 2};
    const QRectF inside(QPointF(0, 0), QSizeF(m_image.size()));
    for (const QPointF& point : devicePoints) {
        if (startWithDot) {
            if (inside.contains(point)) {
                const int row = int(std::floor(point.y()));
                fillBlock(pixels, int(std::floor(point.x())), row, row);
            }
            startWithDot = false;
        } else {
            drawSegment(pixels, m_current, point);
        }
        m_current = point;
    }
}

void PlotCanvas::blit(QPainter& painter) const {
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(m_image.size()) / m_dpr), m_image);
}

} // namespace orvane
