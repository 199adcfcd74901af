#include "core/engine/BondQuantities.h"

#include "core/engine/PulloutRun.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace orvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The law in double precision: τ (τmax or τy, N/mm²) reached at sm (smax or sy, mm), ending
// at su (mm, never below sm), on a laminate of stiffness k = Ef·tf (N/mm) and width b (mm).
struct Law {
    bool softening;
    double tau;
    double sm;
    double su;
    double k;
    double b;

    bool brittle() const { return su == sm; }
    double lambda1() const { return std::sqrt(tau / (sm * k)); }
    double lambda2() const { return std::sqrt(tau / ((su - sm) * k)); }
    double fractureEnergy() const { return softening ? tau * su / 2 : tau * (su - sm / 2); }
    double longBondLoad() const { return b * std::sqrt(2 * fractureEnergy() * k); }
};

bool usable(const Law& law, const AnalysisParameters& p) {
    return law.tau > 0 && p.su > 0 && law.sm >= 0 && law.k > 0 && law.b > 0 &&
           std::isfinite(law.tau * law.su * law.k * law.b);
}

Law lawOf(const AnalysisParameters& p) {
    const double sm = p.sMax;
    return {p.bondModel == BondModel::BilinearSoftening,
            p.tauMax,
            sm,
            std::max(double(p.su), sm),
            double(p.Ef) * double(p.tf),
            p.b};
}

// The root of f in [lo, hi], where f changes sign once, from f(lo) of sign positiveAtLo.
template <class F>
double bisect(F&& f, double lo, double hi, bool positiveAtLo) {
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double mid = lo + (hi - lo) / 2;
        if (mid == lo || mid == hi) {
            break;
        }
        ((f(mid) > 0) == positiveAtLo ? lo : hi) = mid;
    }
    return lo + (hi - lo) / 2;
}

// Elastic-brittle: the elastic zone alone carries, P = b·τ·tanh(λ1·L)/λ1.
double brittleLoad(const Law& law, double L) {
    const double l1 = law.lambda1();
    return law.b * law.tau * std::tanh(l1 * L) / l1;
}

double softeningLoad(const Law& law, double L) {
    const double l2 = law.lambda2();
    if (law.sm == 0) {
        // No elastic zone: the softening zone alone, P = b·τmax·sin(λ2·a)/λ2 up to λ2·a = π/2.
        return law.b * law.tau * std::sin(std::min(l2 * L, std::numbers::pi / 2)) / l2;
    }
    const double l1 = law.lambda1();
    // The softening length of the maximum lies below where the loaded end reaches su.
    const double aMax = std::min(L, std::atan(l1 / l2) / l2);
    const double a =
        bisect([&](double x) { return std::tanh(l1 * (L - x)) - l2 / l1 * std::tan(l2 * x); }, 0,
               aMax, true);
    return law.b * law.tau *
           (std::sin(l2 * a) / l2 + std::tanh(l1 * (L - a)) * std::cos(l2 * a) / l1);
}

double softeningEffectiveLength(const Law& law) {
    const double f = kEffectiveLengthFraction;
    const double l2 = law.lambda2();
    if (law.sm == 0) {
        return std::asin(f) / l2;
    }
    const double l1 = law.lambda1();
    const double a = std::asin(f * std::sqrt((law.su - law.sm) / law.su)) / l2;
    return a + std::atanh(l2 / l1 * std::tan(l2 * a)) / l1;
}

// The plastic length at which the loaded end reaches su behind an elastic zone of length e:
// the positive root of τy·a²/(2·Ef·tf) + λ1·sy·tanh(λ1e)·a − (su − sy) = 0.
double plasticLength(const Law& law, double e) {
    const double quadratic = law.tau / (2 * law.k);
    const double linear = law.lambda1() * law.sm * std::tanh(law.lambda1() * e);
    const double constant = law.su - law.sm;
    return 2 * constant / (linear + std::sqrt(linear * linear + 4 * quadratic * constant));
}

// The longest bond that turns plastic over its whole length before its loaded end reaches su.
double wholePlasticLength(const Law& law) {
    return std::sqrt(2 * law.k * (law.su - law.sm) / law.tau);
}

double elasticPlasticLoad(const Law& law, double L) {
    const double plastic = wholePlasticLength(law);
    if (law.sm == 0 || L <= plastic) {
        return law.b * law.tau * std::min(L, plastic);
    }
    // e + a(e) grows with e, from the whole-plastic length at e = 0.
    const double e = bisect([&](double x) { return x + plasticLength(law, x) - L; }, 0, L, false);
    const double l1 = law.lambda1();
    return law.b * law.tau * (std::tanh(l1 * e) / l1 + plasticLength(law, e));
}

double elasticPlasticEffectiveLength(const Law& law) {
    const double f = kEffectiveLengthFraction;
    // The free-end slip at which the energy balance gives f·P∞.
    const double sf = std::sqrt((1 - f * f) * 2 * law.sm * law.fractureEnergy() / law.tau);
    if (sf >= law.sm) {
        return f * law.longBondLoad() / (law.b * law.tau);
    }
    const double e = std::acosh(law.sm / sf) / law.lambda1();
    return e + plasticLength(law, e);
}

} // namespace

BondQuantities ComputeBondQuantities(const AnalysisParameters& params) {
    const ElementGrid grid = ElementCount(params.lb, params.dl);
    BondQuantities q{kNaN, kNaN, kNaN, params.lb, grid.n, double(grid.n) * double(params.dl)};
    const Law law = lawOf(params);
    if (!usable(law, params)) {
        return q;
    }
    q.Gf = law.fractureEnergy();
    q.Pinf = law.longBondLoad();
    if (law.brittle()) {
        q.Le = std::atanh(kEffectiveLengthFraction) / law.lambda1();
    } else {
        q.Le = law.softening ? softeningEffectiveLength(law) : elasticPlasticEffectiveLength(law);
    }
    return q;
}

double ClosedFormUltimateLoad(const AnalysisParameters& params, double L) {
    const Law law = lawOf(params);
    if (!usable(law, params) || !(L >= 0)) {
        return kNaN;
    }
    if (law.brittle()) {
        return brittleLoad(law, L);
    }
    return law.softening ? softeningLoad(law, L) : elasticPlasticLoad(law, L);
}

} // namespace orvane
