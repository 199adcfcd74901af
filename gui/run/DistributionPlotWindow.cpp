#include "gui/run/DistributionPlotWindow.h"

#include "gui/run/PlotCanvas.h"

#include <algorithm>
#include <array>

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
    // The axis captions in the palette's text colour, black in a light palette.
    const QColor text = palette().color(QPalette::WindowText);
    addLabel("Label4", QStringLiteral("x"), {2880, 2280, 255, 255}, text);
    addLabel("Label2", QStringLiteral("←Free end"), {0, 2640, 1215, 255}, text);
    addLabel("Label3", QStringLiteral("Loaded end→"), {2040, 2640, 1095, 255}, text);
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

namespace {

// The smallest and largest τ of elements. Four independent pairs of running extremes, so that
// the comparisons of neighbouring elements overlap instead of waiting on each other: on a fine
// mesh every element of every step passes through here. A τ that is not a number is passed
// over, as a comparison with it is false.
std::pair<double, double> tauRange(std::span<const ElementResult> elements) {
    constexpr std::size_t kLanes = 4;
    std::array<double, kLanes> low;
    low.fill(elements.front().tau);
    std::array<double, kLanes> high = low;
    std::size_t k = 0;
    for (; k + kLanes <= elements.size(); k += kLanes) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const double t = elements[k + lane].tau;
            low[lane] = t < low[lane] ? t : low[lane];
            high[lane] = t > high[lane] ? t : high[lane];
        }
    }
    for (; k < elements.size(); ++k) {
        const double t = elements[k].tau;
        low[0] = t < low[0] ? t : low[0];
        high[0] = t > high[0] ? t : high[0];
    }
    double lowest = low[0];
    double highest = high[0];
    for (std::size_t lane = 1; lane < kLanes; ++lane) {
        lowest = low[lane] < lowest ? low[lane] : lowest;
        highest = high[lane] > highest ? high[lane] : highest;
    }
    return {lowest, highest};
}

} // namespace

// The block is reduced to pixel columns over plain numbers: an element's image pixel is the
// canvas mapping of (i, baseline − τ), its column the floor of the abscissa. The abscissa
// grows with i, so the column's last element is found once per column; the ordinate falls
// as τ grows, so the column's lowest and highest ordinates are those of its largest and
// smallest τ.
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
    const auto ordinate = [&](double tau) { return surface.toDevice(0, baseline - tau).y(); };
    const double origin = surface.toDevice(0, 0).x();
    const double step = surface.toDevice(1, 0).x() - origin;
    const int firstI = elements.front().i;
    const int lastI = elements.back().i;
    Column column = m_column;
    for (int i = firstI; i <= lastI;) {
        const int x = columnOf(i);
        if (!column.open || x != column.x) {
            m_column = column;
            closeColumn();
            const double y = ordinate(elements[std::size_t(i - firstI)].tau);
            column = {true, x, i, i, y, y, y, y};
        }
        // The last element of this column within the block: a first guess from the scale,
        // then the exact mapping decides.
        int end = lastI;
        if (step > 0) {
            end = int(std::clamp((x + 1 - origin) / step, double(i), double(lastI)));
        }
        while (end < lastI && columnOf(end + 1) == x) {
            ++end;
        }
        while (end > i && columnOf(end) != x) {
            --end;
        }
        const std::size_t from = std::size_t(i - firstI);
        const auto [tauLow, tauHigh] = tauRange(elements.subspan(from, std::size_t(end - i + 1)));
        const double y1 = ordinate(tauLow);
        const double y2 = ordinate(tauHigh);
        column.lowY = std::min({column.lowY, y1, y2});
        column.highY = std::max({column.highY, y1, y2});
        column.lastY = ordinate(elements[std::size_t(end - firstI)].tau);
        column.lastI = end;
        i = end + 1;
    }
    m_column = column;
    if (lastI == m_n) {
        drawPending();
    }
}

// Hands the column's points on, each once, ending with the last, from which the line goes on
// to the next column. The lowest and highest points stand at the first one's abscissa: the
// lines between points of one column light the rows from the lowest to the highest there,
// wherever in the column they lie.
void DistributionPlotWindow::closeColumn() {
    if (!m_column.open) {
        return;
    }
    const Column& c = m_column;
    const double x = canvas().toDevice(c.firstI, 0).x();
    m_pending.emplace_back(x, c.firstY);
    if (c.lowY != c.firstY && c.lowY != c.lastY) {
        m_pending.emplace_back(x, c.lowY);
    }
    if (c.highY != c.firstY && c.highY != c.lastY) {
        m_pending.emplace_back(x, c.highY);
    }
    if (c.lastI != c.firstI) {
        m_pending.emplace_back(canvas().toDevice(c.lastI, 0).x(), c.lastY);
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
