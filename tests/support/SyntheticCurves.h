#pragma once

// Measured curves made with the program's own runs, for checking the fit: laws of both kinds,
// three extents of the test record (up to the peak load, up to just before failure, and past
// failure with zero-load rows), several point counts, normal scatter and a seating offset.
// Everything is deterministic: the same case gives the same curve on every machine.

#include "core/engine/AnalysisParameters.h"
#include "fit/BondLawFit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// A deterministic standard normal sequence (splitmix64 and Box-Muller).
class PseudoNoise {
public:
    explicit PseudoNoise(std::uint64_t seed = 2026) : m_state(seed) {}
    double next() {
        const double u1 = (double(bits() >> 11) + 1) / 9007199254740993.0;
        const double u2 = double(bits() >> 11) / 9007199254740992.0;
        return std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    // Uniform in [0, 1).
    double uniform() { return double(bits() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t bits() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::uint64_t m_state;
};

enum class CurveExtent {
    PrePeak,     // up to the slip of the peak load
    Full,        // up to 0.98 of the failure slip
    PostFailure, // up to 0.99 of the failure slip, then three rows of zero load after it
};

struct SyntheticCase {
    BondModel model = BondModel::BilinearSoftening;
    // τmax (τy), smax (sy), su on the field masks' grid, so that the truth can be written.
    std::array<float, kLawParameterCount> law{};
    CurveExtent extent = CurveExtent::Full;
    int points = 50;
    double noise = 0;  // standard deviation of the scatter, a fraction of the peak load
    double offset = 0; // seating slip added to every measured slip, mm
    std::uint64_t seed = 1;
};

struct SyntheticCurve {
    AnalysisParameters truth;
    FitTarget target;
    double peak = 0; // the largest model load, N
};

// The start-up set (1000 elements of 0.12 mm) with the slip increment of Execute.
inline AnalysisParameters SyntheticBase(BondModel model) {
    AnalysisParameters params = StartupParameters();
    params.bondModel = model;
    params.ds = InitialSlipIncrement("1E-07");
    return params;
}

// The fit of a synthetic case as an engineer would set it up: the case's law on the start-up
// geometry, on two threads.
inline FitSettings SyntheticFitSettings(const SyntheticCase& c) {
    FitSettings settings;
    settings.base = SyntheticBase(c.model);
    settings.baseTexts = StartupFieldTexts();
    settings.model = c.model;
    settings.jobs = 2;
    return settings;
}

inline SyntheticCurve MakeSyntheticCurve(const SyntheticCase& c) {
    SyntheticCurve curve;
    curve.truth = SyntheticBase(c.model);
    for (int j = 0; j < kLawParameterCount; ++j) {
        curve.truth.value(kLawFields[j]) = c.law[std::size_t(j)];
    }
    const LoadSlipPath path(RunModelCurve(curve.truth).steps);
    double peakSlip = 0;
    for (const CurvePoint& point : path.points()) {
        if (point.Pl > curve.peak) {
            curve.peak = point.Pl;
            peakSlip = point.sl;
        }
    }
    const double last = c.extent == CurveExtent::PrePeak ? peakSlip
                        : c.extent == CurveExtent::Full  ? 0.98 * path.failureSlip()
                                                         : 0.99 * path.failureSlip();
    const int afterFailure = c.extent == CurveExtent::PostFailure ? 3 : 0;
    PseudoNoise scatter(c.seed);
    for (int i = 1; i <= c.points; ++i) {
        const double s = i <= c.points - afterFailure
                             ? last * i / (c.points - afterFailure)
                             : path.failureSlip() * (1 + 0.02 * (i - c.points + afterFailure));
        curve.target.slip.push_back(s + c.offset);
        curve.target.load.push_back(path.loadAt(s) + c.noise * curve.peak * scatter.next());
    }
    return curve;
}

// count cases spread over the laws, extents, point counts and scatter; laws drawn on the
// field masks' grid from the ranges of FRP-to-concrete tests (τmax 3-9 N/mm², smax
// 0.01-0.1 mm, su 0.15-0.6 mm).
inline std::vector<SyntheticCase> SyntheticSuite(int count, std::uint64_t seed = 7) {
    PseudoNoise draw(seed);
    const auto on = [](double value, double step) {
        return float(std::round(value / step) * step);
    };
    const int pointCounts[] = {20, 50, 150, 500};
    const double noises[] = {0, 0.01, 0.03};
    std::vector<SyntheticCase> cases;
    for (int k = 0; k < count; ++k) {
        SyntheticCase c;
        c.model = k % 2 == 0 ? BondModel::BilinearSoftening : BondModel::PerfectlyBilinear;
        const double smax = 0.01 + 0.09 * draw.uniform();
        const double su = std::max(0.15 + 0.45 * draw.uniform(), 2.5 * smax);
        c.law = {on(3 + 6 * draw.uniform(), 0.001), on(smax, 0.0001), on(su, 0.0001)};
        c.extent = CurveExtent((k / 2) % 3);
        c.points = pointCounts[(k / 6) % 4];
        c.noise = noises[(k / 24 + k) % 3];
        c.seed = seed * 1000 + std::uint64_t(k);
        cases.push_back(c);
    }
    return cases;
}

} // namespace orvane
