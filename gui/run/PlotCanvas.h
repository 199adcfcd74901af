#pragma once

// The drawing surface of a graph window: an image kept at device-pixel resolution, a user
// coordinate scale given by the corners of the surface, a current position, and the drawing
// operations the plots are made of (clear, set point, line to, line from–to, drawing width).
// The owning window blits the image in its paintEvent, so the drawing survives covering.
//
// Lines are rasterised here, not by QPainter, with one rule: in every pixel column a line
// passes through, it lights the rows of the y-range it covers within that column (image pixel
// (c, r) is the square [c, c+1) × [r, r+1)); a width of w pixels widens that to a w × w
// block. The pixels of a polyline in a column therefore depend only on the lowest and highest
// point of its path there, which is what lets a fine mesh be reduced to the first, lowest,
// highest and last point of each column and still give exactly the same picture.

#include <QColor>
#include <QImage>
#include <QPointF>
#include <span>

class QPainter;

namespace orvane {

class PlotCanvas {
public:
    // size in device-independent pixels; devicePixelRatio of the window's screen.
    PlotCanvas(QSize size, qreal devicePixelRatio, QColor foreground, QColor background);

    // Follows a change of screen: the image is resampled to the new resolution so the
    // drawing so far stays; what is drawn afterwards is sharp again.
    void setDevicePixelRatio(qreal devicePixelRatio);
    qreal devicePixelRatio() const { return m_dpr; }

    // User coordinates of the top-left and bottom-right corners; ordinates grow downwards
    // when top < bottom. An axis of zero extent maps every value to its middle.
    void setScale(double left, double top, double right, double bottom);

    // Image pixel of a user point; inline, as a fine mesh maps every element through it.
    QPointF toDevice(double x, double y) const { return {m_x0 + x * m_sx, m_y0 + y * m_sy}; }

    // Width of the lines and points in device-independent pixels.
    void setPenWidth(int pixels) { m_penWidth = pixels; }
    int penWidth() const { return m_penWidth; }

    void clear();
    void setPoint(double x, double y);
    void lineTo(double x, double y);
    void line(double x1, double y1, double x2, double y2);

    // Draws through points already in image pixels: a dot at the first and lines on from it,
    // or (startWithDot false) a line from the current position to the first. For callers
    // that map many points themselves or reduce a fine mesh first.
    void drawThrough(std::span<const QPointF> devicePoints, bool startWithDot);

    // Image width in device pixels.
    int deviceWidth() const { return m_image.width(); }
    const QImage& image() const { return m_image; }
    // Blits the image 1:1 onto a window painter whose origin is the surface's top-left.
    void blit(QPainter& painter) const;

private:
    struct Pixels;
    void drawSegment(Pixels& pixels, QPointF from, QPointF to) const;
    void fillBlock(Pixels& pixels, int column, int top, int bottom) const;
    int devicePenWidth() const;
    void updateMapping();

    QImage m_image;
    qreal m_dpr;
    QSize m_size;
    QColor m_foreground;
    QColor m_background;
    int m_penWidth = 1;
    double m_left = 0, m_top = 0, m_right = 1, m_bottom = 1;
    // device = m_x0 + x·m_sx, m_y0 + y·m_sy
    double m_x0 = 0, m_sx = 1, m_y0 = 0, m_sy = 1;
    QPointF m_current; // image pixels
};

} // namespace orvane
