#include "output/DistributionPlotWindow.h"

#include "output/PlotCanvas.h"

#include <cmath>

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

void DistributionPlotWindow::elementsComputed(std::span<const ElementResult> elements) {
    for (const ElementResult& element : elements) {
        addElement(element.i, element.tau);
    }
}

void DistributionPlotWindow::addElement(int i, double tau) {
    if (i == 1) {
        drawPending();
        m_pendingStartsWithDot = true;
    }
    const QPointF point = canvas().toDevice(i, m_baseline - tau);
    const int x = int(std::floor(point.x()));
    Column& column = m_column;
    if (!column.open || x != column.x) {
        closeColumn();
        column = {true, x, point, point, point, point, i, i, i, i};
    } else {
        if (point.y() < column.low.y()) {
            column.low = point;
            column.lowI = i;
        }
        if (point.y() > column.high.y()) {
            column.high = point;
            column.highI = i;
        }
        column.last = point;
        column.lastI = i;
    }
    if (i == m_n) {
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
    m_pending.push_back(c.first);
    if (c.lowI != c.firstI && c.lowI != c.lastI) {
        m_pending.push_back(c.low);
    }
    if (c.highI != c.firstI && c.highI != c.lastI && c.highI != c.lowI) {
        m_pending.push_back(c.high);
    }
    if (c.lastI != c.firstI) {
        m_pending.push_back(c.last);
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
