#include "gui/run/TauSlipPlotWindow.h"

#include "core/numtext/NumberText.h"
#include "gui/forms/FormLook.h"
#include "gui/run/PlotCanvas.h"

#include <QLineEdit>
#include <algorithm>
#include <cassert>

namespace orvane {

namespace {

constexpr int kClientWidth = 3195; // twips
constexpr int kClientHeight = 2970;
const QColor kGreen(0x00, 0x80, 0x00);

} // namespace

TauSlipPlotWindow::TauSlipPlotWindow(QWidget* parent)
    : PlotWindow(QStringLiteral("Form3"), QStringLiteral("τ-s relationship"), kClientWidth,
                 kClientHeight, parent) {
    addLabel("Label1", QStringLiteral("τbu(MPa)"), {0, 0, 1455, 255}, Qt::blue);
    m_tauText = addValueBox("Text1", {120, 240, 1575, 375}, Qt::blue);
    addLabel("Label2", QStringLiteral("Slip(mm)"), {2400, 2400, 735, 255}, kGreen);
    m_slipText = addValueBox("Text2", {2160, 2640, 975, 405}, kGreen);
}

TauSlipPlotWindow::~TauSlipPlotWindow() = default;

void TauSlipPlotWindow::startRun(const StepHistory& history, float ds, float tauMax) {
    m_history = &history;
    m_slipAxisMax = 0;
    m_tauAxisMax = 0;
    m_slipRescaleLimit = 0;
    m_tauRescaleLimit = 0;
    // The first axes: 1.5 × 1000·ds mm of slip (ds is the first slip increment) and
    // 1.5 × τmax/100 N/mm² of stress. Both products are formed in single precision.
    const float firstSlip = 1000 * ds;
    const float firstTau = tauMax / 100;
    rescale(0, firstSlip, firstTau);
}

void TauSlipPlotWindow::curvePointAdded(int step, double sl, double totalTau) {
    if (sl > m_slipRescaleLimit || totalTau > m_tauRescaleLimit) {
        rescale(step, sl, totalTau);
    }
    // Zero stress lies on the bottom edge.
    canvas().lineTo(sl, m_tauAxisMax - totalTau);
    update();
}

// Moves the limits to 1.5 times the point that passed them, grows the axes to the limits
// (they never shrink) and redraws the curve of the steps before this one. After step 1 the
// plot is never rescaled: its point is drawn in the first axes, even outside them.
void TauSlipPlotWindow::rescale(int step, double sl, double totalTau) {
    if (step == 1) {
        return;
    }
    m_slipRescaleLimit = 1.5 * sl;
    m_tauRescaleLimit = 1.5 * totalTau;
    m_slipAxisMax = std::max(m_slipAxisMax, m_slipRescaleLimit);
    m_tauAxisMax = std::max(m_tauAxisMax, m_tauRescaleLimit);

    canvas().clear();
    m_tauText->setText(fromUtf8(FormatMask(m_tauAxisMax, "##0.0")));
    m_slipText->setText(fromUtf8(FormatMask(m_slipAxisMax, "0.0E+00")));
    canvas().setScale(0, 0, m_slipAxisMax, m_tauAxisMax);
    canvas().setPoint(0, m_tauAxisMax);

    assert(m_history);
    if (m_history) {
        const int last = std::min<int>(step - 1, int(m_history->sl.size()) - 1);
        m_curve.clear();
        for (int j = 1; j <= last; ++j) {
            m_curve.push_back(
                canvas().toDevice(m_history->sl[j], m_tauAxisMax - m_history->totalTau[j]));
        }
        canvas().drawThrough(m_curve, false);
    }
    update();
}

} // namespace orvane
