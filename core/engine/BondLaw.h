#pragma once

#include "core/engine/AnalysisParameters.h"

namespace orvane {

// A bond stress (N/mm²) together with its precision. The march keeps a force single
// precision while every bond stress that entered it was single: the plateau of the perfectly
// bi-linear law gives the single τy itself, and the zero past su is exact. The ascending and
// softening branches give double products.
struct BondStressValue {
    double tau;
    bool single;
};

// The bond-slip law of a run: τ(s) for the local slip s (mm). Both laws rise linearly to
// (smax, τmax); the perfectly bi-linear law then stays at τmax (read as τy) up to su, the
// softening law falls linearly to 0 at su. Past su the bond carries nothing. Each branch
// includes its upper end.
class BondLaw {
public:
    BondLaw(BondModel model, float tauMax, float sMax, float su)
        : m_model(model), m_tauMax(tauMax), m_sMax(sMax), m_su(su) {
        // The slopes are single precision. They are formed only when their branch exists,
        // so smax = 0 or su = smax never divides by zero.
        if (sMax != 0) {
            m_ascendingSlope = tauMax / sMax;
        }
        if (su != sMax) {
            m_softeningSlope = (-1 * tauMax) / (su - sMax);
        }
    }

    explicit BondLaw(const AnalysisParameters& params)
        : BondLaw(params.bondModel, params.tauMax, params.sMax, params.su) {}

    BondStressValue operator()(double s) const {
        if (s <= double(m_sMax)) {
            return {m_ascendingSlope * s, false};
        }
        if (s <= double(m_su)) {
            if (m_model == BondModel::PerfectlyBilinear) {
                return {m_tauMax, true};
            }
            return {m_softeningSlope * (s - double(m_su)), false};
        }
        return {0, true};
    }

    BondModel model() const { return m_model; }
    float tauMax() const { return m_tauMax; }
    float sMax() const { return m_sMax; }
    float su() const { return m_su; }

private:
    BondModel m_model;
    float m_tauMax;
    float m_sMax;
    float m_su;
    float m_ascendingSlope = 0;
    float m_softeningSlope = 0;
};

// The bond stress of the law at slip s (mm), in N/mm².
inline double BondStress(double s, const BondLaw& law) {
    return law(s).tau;
}

} // namespace orvane
