#pragma once

#include "gui/run/PlotWindow.h"

#include <QPointF>
#include <vector>

class QLineEdit;

namespace orvane {

// Form3, "τ-s relationship": the average bond stress totalτ (N/mm²) against the loaded-end
// slip sl (mm), one point per step. The plot grows its axes when the curve outgrows them
// and redraws the whole curve from the run's step history.
class TauSlipPlotWindow : public PlotWindow {
    Q_OBJECT

public:
    explicit TauSlipPlotWindow(QWidget* parent = nullptr);
    ~TauSlipPlotWindow() override;

    // Run set-up: resets the plot state and rescales with sl = 1000·ds and totalτ = τmax/100
    // (step 0), which sets the first axes and draws the origin. history must outlive the run.
    void startRun(const StepHistory& history, float ds, float tauMax);
    void curvePointAdded(int step, double sl, double totalTau) override;

    // The slip at the right edge (mm) and the stress at the top edge (N/mm²).
    double slipAxisMax() const { return m_slipAxisMax; }
    double tauAxisMax() const { return m_tauAxisMax; }

private:
    void rescale(int step, double sl, double totalTau);

    QLineEdit* m_tauText = nullptr;
    QLineEdit* m_slipText = nullptr;
    const StepHistory* m_history = nullptr;
    std::vector<QPointF> m_curve; // the history's points in image pixels, reused per redraw
    double m_slipAxisMax = 0;
    double m_tauAxisMax = 0;
    // A point with sl or totalτ strictly above these rescales the plot.
    double m_slipRescaleLimit = 0;
    double m_tauRescaleLimit = 0;
};

} // namespace orvane
