#pragma once

// The bond's own quantities: what the closed-form theory of a bonded joint says about a
// parameter set, to set beside a run's result.
//
// The closed forms take the substrate as rigid: the laminate alone stretches, so the relative
// slip obeys Ef·tf·s'' = τ(s). The march also adds the member's compliance 1/EAm (about 1 % of
// the laminate's 1/(Ef·Af) for the start-up set), and it marches in elements of finite length,
// so a run's Pbumax lies within a few tenths of a percent of these loads for usual meshes.
//
// Effective bond length Le: the bond length whose closed-form ultimate load is 97 % of P∞,
// the ultimate load of an infinitely long bond. With λ1² = τmax/(smax·Ef·tf):
// - bi-linear softening, λ2² = τmax/((su−smax)·Ef·tf): a bond of length L holds an elastic
//   zone and a softening zone of length a at the loaded end, P = b·τmax·(sin λ2a / λ2 +
//   tanh λ1(L−a) · cos λ2a / λ1); the ultimate load is the maximum over a, where
//   tanh λ1(L−a) = (λ2/λ1)·tan λ2a, and P/P∞ = sin λ2a · √(su/(su−smax)). At 97 %:
//     sin λ2a = 0.97·√((su−smax)/su),  Le = a + atanh((λ2/λ1)·tan λ2a) / λ1.
//   Without an ascending branch (smax = 0) this is λ2·Le = asin 0.97; for long bonds the
//   maximum comes at λ2a = π/2.
// - perfectly bi-linear (elastic-plastic, τy over sy … su): an elastic zone of length e and a
//   plastic zone of length a; the ultimate load comes when the loaded-end slip reaches su,
//   P = b·τy·(tanh λ1e / λ1 + a), with τy·a²/(2·Ef·tf) + λ1·sy·tanh(λ1e)·a = su − sy. By the
//   energy balance P² = 2·b²·Ef·tf·(Gf − τy·sf²/(2·sy)), sf = sy / cosh λ1e the free-end slip,
//   97 % fixes sf and with it e and a: Le = e + a. A bond short enough to turn plastic over its
//   whole length holds P = b·τy·L.
// Past su the bond carries nothing; where su ≤ smax both laws are elastic-brittle at smax.

#include "core/engine/AnalysisParameters.h"

#include <cstdint>

namespace orvane {

// The fraction of P∞ that defines the effective bond length.
inline constexpr double kEffectiveLengthFraction = 0.97;

// Every value is NaN where the law gives none (a non-positive τmax, su, b, tf or Ef, a
// negative smax).
struct BondQuantities {
    double Gf;             // fracture energy, the area under the bond-slip law, N/mm
    double Pinf;           // closed-form ultimate load of a long bond, b·√(2·Gf·Ef·tf), N
    double Le;             // effective bond length, mm
    double lb;             // bond length, mm
    std::int64_t n;        // element count
    double analysedLength; // n·Δl: longer than lb when Δl does not divide lb, mm
};

BondQuantities ComputeBondQuantities(const AnalysisParameters& params);

// The closed-form ultimate load of a bond of length L (mm) on a rigid substrate, N.
double ClosedFormUltimateLoad(const AnalysisParameters& params, double L);

// A run's largest load against the long bond's, Pbumax / P∞.
inline double LoadRatio(double Pbumax, const BondQuantities& quantities) {
    return Pbumax / quantities.Pinf;
}

// The bond is shorter than its effective length: the load could still grow with lb.
inline bool ShorterThanEffectiveLength(const BondQuantities& quantities) {
    return quantities.lb < quantities.Le;
}

} // namespace orvane
