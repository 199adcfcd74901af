#pragma once

#include "gui/run/PlotWindow.h"

#include <QPointF>
#include <vector>

namespace orvane {

// Form4, "distribution of τ": the bond stress τ (N/mm²) of every element along the bond
// length, one polyline per step from the free end (element 1, left) to the loaded end
// (element n, right); cleared every fifth step.
class DistributionPlotWindow : public PlotWindow {
    Q_OBJECT

public:
    explicit DistributionPlotWindow(QWidget* parent = nullptr);
    ~DistributionPlotWindow() override;

    // Run set-up: sets the scale (1, −0.12·τmax)–(n, 1.2·τmax) at once, so steps 1 to 4 are
    // visible.
    void startRun(int n, float tauMax);
    bool wantsElements() const override { return true; }
    void elementsComputed(std::span<const ElementResult> elements) override;
    // After every fifth step: clear, draw the zero-stress axis twice as wide as the curves.
    void redraw();

protected:
    void surfaceChanged() override;

private:
    // One pixel column of the polyline being received: of the elements that fall into it,
    // the first and the last (index and image ordinate) and the lowest and highest ordinate.
    // Drawn through from the first over the lowest and highest to the last, they light the
    // same pixels as all the elements of the column.
    struct Column {
        bool open = false;
        int x = 0;
        int firstI = 0, lastI = 0;
        double firstY = 0, lowY = 0, highY = 0, lastY = 0;
    };
    void closeColumn();
    void drawPending();
    void reserveForWidth();

    int m_n = 0;
    float m_tauMax = 0;    // N/mm²
    double m_baseline = 0; // ordinate of zero stress, 1.08·τmax
    Column m_column;
    std::vector<QPointF> m_pending; // reduced points of the current step, image pixels
    bool m_pendingStartsWithDot = false;
};

} // namespace orvane
