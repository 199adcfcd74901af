#include "core/study/CapacityStatistics.h"

#include "core/numtext/NumberText.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <numbers>

namespace orvane {

namespace {

// Acklam's coefficients: a rational function of q = p − ½ in the middle, of √(−2 ln p) in
// the tails, relative error below 1.15e-9 before the refinement.
constexpr std::array<double, 6> kA = {-3.969683028665376e+01, 2.209460984245205e+02,
                                      -2.759285104469687e+02, 1.383577518672690e+02,
                                      -3.066479806614716e+01, 2.506628277459239e+00};
constexpr std::array<double, 5> kB = {-5.447609879822406e+01, 1.615858368580409e+02,
                                      -1.556989798598866e+02, 6.680131188771972e+01,
                                      -1.328068155288572e+01};
constexpr std::array<double, 6> kC = {-7.784894002430293e-03, -3.223964580411365e-01,
                                      -2.400758277161838e+00, -2.549732539343734e+00,
                                      4.374664141464968e+00,  2.938163982698783e+00};
constexpr std::array<double, 4> kD = {7.784695709041462e-03, 3.224671290700398e-01,
                                      2.445134137142996e+00, 3.754408661907416e+00};
constexpr double kTail = 0.02425;

double tailQuantile(double p) {
    const double q = std::sqrt(-2 * std::log(p));
    return (((((kC[0] * q + kC[1]) * q + kC[2]) * q + kC[3]) * q + kC[4]) * q + kC[5]) /
           ((((kD[0] * q + kD[1]) * q + kD[2]) * q + kD[3]) * q + 1);
}

double sampleMean(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    return sum / double(values.size());
}

double sampleDeviation(const std::vector<double>& values, double mean) {
    double sum = 0;
    for (const double value : values) {
        sum += (value - mean) * (value - mean);
    }
    return std::sqrt(sum / double(values.size() - 1));
}

// P(B = k) in logarithms: (1 − p)^n alone underflows for the sample sizes of a study.
double binomialTerm(std::int64_t n, double p, std::int64_t k) {
    return std::exp(std::lgamma(double(n) + 1) - std::lgamma(double(k) + 1) -
                    std::lgamma(double(n - k) + 1) + double(k) * std::log(p) +
                    double(n - k) * std::log1p(-p));
}

} // namespace

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::numbers::sqrt2);
}

double NormalQuantile(double p) {
    assert(p > 0 && p < 1);
    double x = 0;
    if (p < kTail) {
        x = tailQuantile(p);
    } else if (p > 1 - kTail) {
        x = -tailQuantile(1 - p);
    } else {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((kA[0] * r + kA[1]) * r + kA[2]) * r + kA[3]) * r + kA[4]) * r + kA[5]) * q /
            (((((kB[0] * r + kB[1]) * r + kB[2]) * r + kB[3]) * r + kB[4]) * r + 1);
    }
    // One Halley step on Φ(x) − p brings the approximation to full double precision.
    const double e = NormalCdf(x) - p;
    const double u = e * std::sqrt(2 * std::numbers::pi) * std::exp(x * x / 2);
    return x - u / (1 + x * u / 2);
}

double BinomialCdf(std::int64_t n, double p, std::int64_t r) {
    if (r < 0) {
        return 0;
    }
    if (r >= n) {
        return 1;
    }
    double sum = 0;
    for (std::int64_t k = 0; k <= r; ++k) {
        sum += binomialTerm(n, p, k);
    }
    return std::min(sum, 1.0);
}

FractileEstimate EmpiricalFractile(const std::vector<double>& sorted, double p, double confidence) {
    assert(!sorted.empty());
    const auto n = std::int64_t(sorted.size());
    FractileEstimate estimate;
    estimate.rank = std::clamp<std::int64_t>(std::int64_t(std::ceil(double(n) * p)), 1, n);
    estimate.value = sorted[std::size_t(estimate.rank - 1)];
    // X(l) lies below the fractile unless fewer than l samples do: P = 1 − F(l − 1). The
    // largest l with F(l − 1) ≤ α/2 and the smallest u with F(u − 1) ≥ 1 − α/2.
    const double tail = (1 - confidence) / 2;
    double below = 0; // F(k − 1), grown term by term
    for (std::int64_t k = 1; k <= n; ++k) {
        below += binomialTerm(n, p, k - 1);
        if (below <= tail) {
            estimate.lowerRank = k;
        }
        if (below >= 1 - tail) {
            estimate.upperRank = k;
            break;
        }
    }
    if (estimate.lowerRank > 0) {
        estimate.lower = sorted[std::size_t(estimate.lowerRank - 1)];
    }
    if (estimate.upperRank > 0) {
        estimate.upper = sorted[std::size_t(estimate.upperRank - 1)];
    }
    return estimate;
}

CapacitySummary SummarizeCapacities(std::vector<double> capacities, std::int64_t excluded,
                                    const DesignBasis& basis) {
    assert(capacities.size() >= 2);
    CapacitySummary summary;
    summary.n = std::int64_t(capacities.size());
    summary.excluded = excluded;
    summary.mean = sampleMean(capacities);
    summary.cov = sampleDeviation(capacities, summary.mean) / summary.mean;
    std::vector<double> logs;
    logs.reserve(capacities.size());
    for (const double capacity : capacities) {
        logs.push_back(std::log(capacity));
    }
    summary.meanLn = sampleMean(logs);
    summary.sdLn = sampleDeviation(logs, summary.meanLn);
    std::sort(capacities.begin(), capacities.end());
    summary.min = capacities.front();
    summary.max = capacities.back();
    summary.fractile = EmpiricalFractile(capacities, kFractileProbability, kFractileConfidence);
    if (basis.partialFactor) {
        summary.designByPartialFactor = summary.fractile.value / *basis.partialFactor;
    }
    if (basis.targetBeta) {
        summary.designByReliability =
            std::exp(summary.meanLn - kResistanceSensitivity * *basis.targetBeta * summary.sdLn);
    }

    const std::string confidence = ShortestText(kFractileConfidence * 100) + " %";
    if (!summary.fractile.lower) {
        summary.warnings.push_back("too few samples for a lower bound of the 5 % fractile at " +
                                   confidence + " confidence (at least 72 are needed)");
    }
    if (!summary.fractile.upper) {
        summary.warnings.push_back("too few samples for an upper bound of the 5 % fractile at " +
                                   confidence + " confidence");
    }
    if (excluded > 0) {
        summary.warnings.push_back(std::to_string(excluded) +
                                   " samples without a capacity (refused by the run checks, at "
                                   "the step limit or stopped) are left out");
    }
    if (summary.fractile.lower && summary.fractile.upper &&
        *summary.fractile.upper - *summary.fractile.lower > 0.1 * summary.fractile.value) {
        summary.warnings.push_back("the 5 % fractile's interval is wider than 10 % of its value; "
                                   "more samples narrow it");
    }
    if (basis.targetBeta && summary.sdLn > 0.2) {
        summary.warnings.push_back("the lognormal design value for a target reliability is meant "
                                   "for a coefficient of variation below about 0.2");
    }
    return summary;
}

} // namespace orvane
