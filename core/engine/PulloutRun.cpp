#include "core/engine/PulloutRun.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace orvane {

namespace {

// A length in whole micrometres: the product is formed in double from the single value, then
// rounded to the nearest integer, halves to even (the default rounding mode).
std::int64_t micrometres(float length) {
    // Saturates far beyond any length the run checks accept, so a huge length is reported
    // as too long rather than wrapping.
    constexpr double kSaturation = 9.0e18;
    const double product = double(length) * 1000;
    if (std::isnan(product)) {
        return 0;
    }
    return std::int64_t(std::nearbyint(std::clamp(product, -kSaturation, kSaturation)));
}

} // namespace

ElementGrid ElementCount(float lb, float dl) {
    ElementGrid grid{micrometres(lb), micrometres(dl), 0};
    if (grid.L > 0 && grid.D > 0) {
        grid.n = grid.L / grid.D + (grid.L % grid.D == 0 ? 0 : 1);
    }
    return grid;
}

PulloutRun::PulloutRun(AnalysisParameters& params)
    : m_params(params), m_law(params), m_dl(params.dl), m_b(params.b) {
    // Each product and partial sum is rounded to single precision, as the constants have
    // always been formed; the printed digits depend on it.
    m_Af = params.tf * params.b;
    m_Ar = params.tr * params.b;
    m_Ac = params.bc * params.dc - params.Ab;
    m_EAm = params.Er * m_Ar + params.Ec * m_Ac + params.Eb * params.Ab;
    m_laminateStiffness = params.Ef * m_Af;
    m_compliance = 1 / m_laminateStiffness + 1 / m_EAm;

    const ElementGrid grid = ElementCount(params.lb, params.dl);
    assert(grid.n > 0 && grid.n <= kMaxElements);
    m_n = int(grid.n);

    m_history.sl.assign(kMaxSteps + 1, 0.0);
    m_history.totalTau.assign(kMaxSteps + 1, 0.0);
}

void PulloutRun::addObserver(RunObserver& observer) {
    m_observers.push_back(&observer);
    if (observer.wantsElements()) {
        m_elementObservers.push_back(&observer);
        m_elementBlock.resize(kElementBlock);
    }
}

void PulloutRun::handOutElements(int count) {
    if (count == 0) {
        return;
    }
    const std::span<const ElementResult> block(m_elementBlock.data(), std::size_t(count));
    for (RunObserver* observer : m_elementObservers) {
        observer->elementsComputed(block);
    }
}

// One march from the free end (s = s0, P = 0) to the loaded end. For each element:
//   τ  = law(s) at the element's free-end side
//   ΔP = (τ·b)·Δl
//   sn = s + P·Δl/(Ef·Af) + (ΔP·Δl/2)·(1/(Ef·Af) + 1/EAm)
//   Pn = P + ΔP
// The force P stays single precision while every ΔP so far was single, and becomes double
// with the first double term; the march therefore runs in two phases. The expressions are
// written in the order the analysis has always evaluated them, so each rounding is the same.
template <class OnElement>
PulloutRun::MarchEnd PulloutRun::march(OnElement&& onElement) {
    const float dl = m_dl;
    const float b = m_b;
    const float stiffness = m_laminateStiffness;
    const float compliance = m_compliance;
    const int n = m_n;
    // A copy of the law, so that its constants stay in registers: the element blocks the march
    // writes could otherwise, as far as the compiler knows, overwrite them, and each element
    // would read them from memory again.
    const BondLaw law = m_law;

    double s = m_s0;
    float singleP = 0;
    int i = 1;
    for (; i <= n; ++i) {
        const BondStressValue tau = law(s);
        if (!tau.single) {
            break;
        }
        const float dP = float(tau.tau) * b * dl;
        const float stretch = singleP * dl / stiffness;
        const float halfStep = dP * dl / 2 * compliance;
        const double sn = s + stretch + halfStep;
        singleP = singleP + dP;
        onElement(i, sn, double(singleP), tau.tau);
        s = sn;
    }

    double P = singleP;
    for (; i <= n; ++i) {
        const BondStressValue tau = law(s);
        double dP;
        double halfStep;
        if (tau.single) {
            const float singleDP = float(tau.tau) * b * dl;
            dP = singleDP;
            halfStep = singleDP * dl / 2 * compliance;
        } else {
            dP = tau.tau * b * dl;
            halfStep = dP * dl / 2 * compliance;
        }
        const double sn = s + P * dl / stiffness + halfStep;
        P = P + dP;
        onElement(i, sn, P, tau.tau);
        s = sn;
    }
    return {s, P};
}

RunEnd PulloutRun::step() {
    assert(m_end == RunEnd::None);
    ++m_step;
    if (m_stopRequested) {
        m_end = RunEnd::Stopped;
        return m_end;
    }

    const StepStart start{m_step, m_s0, m_params.ds};
    for (RunObserver* observer : m_observers) {
        observer->stepStarted(start);
    }

    MarchEnd loaded;
    if (m_elementObservers.empty()) {
        loaded = march([](int, double, double, double) {});
    } else {
        // The block and its fill are locals, so that the march keeps them in registers.
        ElementResult* const block = m_elementBlock.data();
        const double dl = m_dl;
        int used = 0;
        loaded = march([&](int i, double s, double P, double tau) {
            block[used] = {i, i * dl, s, P, tau};
            if (++used == kElementBlock) {
                handOutElements(used);
                used = 0;
            }
        });
        handOutElements(used);
    }
    const double totalTau = loaded.Pl / ((m_n * double(m_dl)) * m_b);
    // The run checks refuse every set that could overflow; should a value still leave the
    // finite range, the step is not handed out as a result.
    if (!std::isfinite(loaded.sl) || !std::isfinite(loaded.Pl) || !std::isfinite(totalTau)) {
        m_end = RunEnd::NonFinite;
        return m_end;
    }

    applyStepSizeRule(totalTau, loaded.sl);
    if (loaded.Pl >= m_Pbumax) {
        m_Pbumax = loaded.Pl;
        m_slmax = loaded.sl;
    }
    if (totalTau > m_totalTauPeak) {
        m_totalTauPeak = totalTau;
    }

    const StepResult result{m_step,    start.s0, start.ds, loaded.sl,
                            loaded.Pl, totalTau, m_Pbumax, m_slmax};
    for (RunObserver* observer : m_observers) {
        observer->stepFinished(result);
    }
    m_history.sl[m_step] = loaded.sl;
    m_history.totalTau[m_step] = totalTau;
    for (RunObserver* observer : m_observers) {
        observer->curvePointAdded(m_step, loaded.sl, totalTau);
    }

    m_s0 = m_s0 + m_params.ds;
    m_totalTauPrev = totalTau;
    if (totalTau < m_totalTauPeak / 1000) {
        m_end = RunEnd::BondFailure;
    } else if (m_step == kMaxSteps) {
        m_end = RunEnd::StepLimit;
    }
    return m_end;
}

// The increment grows by 10 % while the response is flat and low (the start of the run),
// and at every step once the loaded end has passed smax, so the softening branch is crossed
// quickly. It never shrinks.
void PulloutRun::applyStepSizeRule(double totalTau, double sl) {
    const float flatBelow = m_law.tauMax() / 100;
    const bool flatAndLow =
        std::abs(totalTau - m_totalTauPrev) < flatBelow && totalTau < 0.3 * m_law.tauMax();
    if (flatAndLow || sl > m_law.sMax()) {
        m_params.ds = float(m_params.ds * 1.1);
    }
}

} // namespace orvane
