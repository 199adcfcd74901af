#include "output/DistributionPlotWindow.h"

#include "forms/FormLayout.h"
#include "output/PlotCanvas.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr int kClientWidth = 3195; // twips
constexpr int kClientHeight = 2910;
// The curves are drawn one pixel wide, the zero-stress axis twice as wide.
constexpr int kCurveWidth = 1;
constexpr int kAxisWidth = 2 * kCurveWidth;

} // namespace

DistributionPlotWindow::DistributionPlotWindow(QWidget* parent)
    : PlotWindow(QStringLiteral("Form4"), QStringLiteral("distribution of τ"), kClientWidth,
                 kClientHeight, parent) {
    canvas().setPenWidth(kCurveWidth);
    reserveForWidth();
    addLabel("Label1", QStringLiteral("τb(local)"), {120, 120, 1095, 255}, Qt::blue);
    addLabel("Label4", QStringLiteral("x"), {2880, 2280, 255, 255}, Qt::black);
    addLabel("Label2", QStringLiteral("←Free end"), {0, 2640, 1215, 255}, Qt::black);
    addLabel("Label3", QStringLiteral("Loaded end→"), {2040, 2640, 1095, 255}, Qt::black);
}

DistributionPlotWindow::~DistributionPlotWindow() = default;

void DistributionPlotWindow::startRun(int n, float tauMax) {
    m_n = n;
    m_tauMax = tauMax;
    // Zero stress at 1.08·τmax, so that the window shows −0.12·τmax (bottom edge) to
    // 1.2·τmax (top edge).
    m_baseline = 1.2 * double(tauMax) + (-0.12 * double(tauMax));
    canvas().setScale(1, -0.12 * double(tauMax), n, 1.2 * double(tauMax));
    m_pending.clear();
    m_column.open = false;
}

// The block is reduced to pixel columns over plain numbers: an element's image pixel is the
// canvas mapping of (i, baseline − τ), its column the floor of the abscissa. The abscissa
// grows with i, so the column's last element is found once per column, and the loop over
// the column's elements only compares ordinates.
void DistributionPlotWindow::elementsComputed(std::span<const ElementResult> elements) {
    if (elements.front().i == 1) {
        drawPending();
        m_pendingStartsWithDot = true;
    }
    const PlotCanvas& surface = canvas();
    const auto columnOf = [&surface](int i) {
        const double x = surface.toDevice(i, 0).x();
        const int column = int(x);
        return double(column) > x ? column - 1 : column; // floor
    };
    const double baseline = m_baseline;
    const int firstI = elements.front().i;
    const int lastI = elements.back().i;
    Column column = m_column;
    for (int i = firstI; i <= lastI;) {
        const int x = columnOf(i);
        if (!column.open || x != column.x) {
            m_column = column;
            closeColumn();
            const double y = surface.toDevice(i, baseline - elements[i - firstI].tau).y();
            column = {true, x, i, i, i, i, y, y, y, y};
            ++i;
        }
        // The last element of this column within the block: a first guess from the scale,
        // then the exact mapping decides.
        int end = lastI;
        const double step = surface.toDevice(1, 0).x() - surface.toDevice(0, 0).x();
        if (step > 0) {
            const double guess = (x + 1 - surface.toDevice(0, 0).x()) / step;
            end = int(std::clamp(guess, double(i - 1), double(lastI)));
        }
        while (end < lastI && columnOf(end + 1) == x) {
            ++end;
        }
        while (end >= i && columnOf(end) != x) {
            --end;
        }
        for (; i <= end; ++i) {
            const double y = surface.toDevice(i, baseline - elements[i - firstI].tau).y();
            if (y < column.lowY) {
                column.lowY = y;
                column.lowI = i;
            }
            if (y > column.highY) {
                column.highY = y;
                column.highI = i;
            }
            column.lastY = y;
            column.lastI = i;
        }
    }
    m_column = column;
    if (lastI == m_n) {
        drawPending();
    }
}

// Hands the column's points on, each once, ending with the last, from which the line goes on
// to the next column. The order of the lowest and highest does not change the pixels: the
// lines between the column's points cover the same rows, from the lowest to the highest.
void DistributionPlotWindow::closeColumn() {
    if (!m_column.open) {
        return;
    }
    const Column& c = m_column;
    const PlotCanvas& surface = canvas();
    const auto point = [&](int i, double y) { return QPointF(surface.toDevice(i, 0).x(), y); };
    m_pending.push_back(point(c.firstI, c.firstY));
    if (c.lowI != c.firstI && c.lowI != c.lastI) {
        m_pending.push_back(point(c.lowI, c.lowY));
    }
    if (c.highI != c.firstI && c.highI != c.lastI && c.highI != c.lowI) {
        m_pending.push_back(point(c.highI, c.highY));
    }
    if (c.lastI != c.firstI) {
        m_pending.push_back(point(c.lastI, c.lastY));
    }
    m_column.open = false;
}

void DistributionPlotWindow::drawPending() {
    closeColumn();
    if (m_pending.empty()) {
        return;
    }
    canvas().drawThrough(m_pending, m_pendingStartsWithDot);
    m_pending.clear();
    m_pendingStartsWithDot = false;
    update();
}

void DistributionPlotWindow::redraw() {
    m_pending.clear();
    m_column.open = false;
    canvas().clear();
    canvas().setPenWidth(kAxisWidth);
    canvas().setScale(1, -0.12 * double(m_tauMax), m_n, 1.2 * double(m_tauMax));
    canvas().line(1, m_baseline, m_n, m_baseline);
    canvas().setPenWidth(kCurveWidth);
    update();
}

// At most four points per pixel column, with a column to spare at either end, so that the
// march never allocates.
void DistributionPlotWindow::reserveForWidth() {
    m_pending.reserve(4 * std::size_t(canvas().deviceWidth() + 2));
}

void DistributionPlotWindow::surfaceChanged() {
    reserveForWidth();
}

} // namespace orvane
