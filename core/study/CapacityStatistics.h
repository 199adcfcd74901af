#pragma once

// What a sample of capacities (N) says about the joint: the mean, the coefficient of variation,
// the 5 % fractile with a distribution-free confidence interval, and a design value.
//
// The fractile is the order statistic X(r), r = ⌈n·p⌉ (the inverse of the empirical
// distribution). Its interval takes the order statistics X(l) and X(u) whose ranks bracket
// the population fractile with at least the stated confidence, from the binomial distribution
// of the number of samples below it (Hahn & Meeker 1991, Statistical Intervals, 5.2; Conover,
// Practical Nonparametric Statistics, 3rd ed., 3.2). No shape of the distribution is assumed;
// too few samples leave a bound undetermined rather than guessed.
//
// A design value is either the fractile divided by a partial factor, Rd = Rk/γM (EN 1990:2002,
// 6.3.5, the simplified form), or the resistance at a target reliability index β with the
// resistance's sensitivity factor αR = 0.8 (EN 1990:2002, C.7), P(R ≤ Rd) = Φ(−αR·β), taken from
// the lognormal fitted to the sample: Rd = exp(mY − αR·β·sY), mY and sY the mean and standard
// deviation of ln R (EN 1990:2002, D.7.3 and Table C.3's lognormal form).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The standard normal distribution function Φ and its inverse (for 0 < p < 1). The inverse is
// P. J. Acklam's rational approximation refined by one Halley step against std::erfc, close
// to the last bit over the whole range.
double NormalCdf(double x);
double NormalQuantile(double p);

// The probability that a binomial variable of n trials with probability p is at most r.
double BinomialCdf(std::int64_t n, double p, std::int64_t r);

inline constexpr double kFractileProbability = 0.05;
inline constexpr double kFractileConfidence = 0.95;   // two-sided, 2.5 % beyond each bound
inline constexpr double kResistanceSensitivity = 0.8; // αR, EN 1990 C.7

struct FractileEstimate {
    double value = 0;            // X(r)
    std::int64_t rank = 0;       // r, 1-based
    std::optional<double> lower; // X(l); none when the sample is too small to bound it
    std::optional<double> upper; // X(u)
    std::int64_t lowerRank = 0;  // 0 when none
    std::int64_t upperRank = 0;
};

// The p-fractile of sorted (ascending, not empty) with its two-sided confidence interval.
FractileEstimate EmpiricalFractile(const std::vector<double>& sorted, double p, double confidence);

// The design basis given: a partial factor γM, a target reliability β, both or neither.
struct DesignBasis {
    std::optional<double> partialFactor;
    std::optional<double> targetBeta;
};

struct CapacitySummary {
    std::int64_t n = 0;        // capacities summarized
    std::int64_t excluded = 0; // samples without a capacity (refused, step limit, stopped)
    double mean = 0;           // N
    double cov = 0;            // standard deviation (n − 1) / mean
    double min = 0;
    double max = 0;
    FractileEstimate fractile;                   // the 5 % fractile, N
    double meanLn = 0;                           // mean of ln R
    double sdLn = 0;                             // standard deviation of ln R (n − 1)
    std::optional<double> designByPartialFactor; // Rk/γM, N
    std::optional<double> designByReliability;   // exp(mY − αR·β·sY), N
    std::vector<std::string> warnings;           // how far the numbers can be trusted
};

// Summarizes the capacities (any order); n must be at least 2. excluded only enters the
// warnings.
CapacitySummary SummarizeCapacities(std::vector<double> capacities, std::int64_t excluded,
                                    const DesignBasis& basis);

} // namespace orvane
