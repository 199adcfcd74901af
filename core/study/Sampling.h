#pragma once

// A probabilistic study: inputs given distributions, N samples drawn from a seed, one run of
// the analysis per sample, each capacity multiplied by a draw of the model factor θ.
//
// A sampled value enters its field as the shortest text of the double drawn, read as the
// parameter window reads it, so a sample's run equals, bit for bit, a single run of the base
// set with that text in that field (the study's rule, Study.h). A sampled concrete strength
// fc′ derives the law of the sample (τmax, smax, su) by the study's model, as --law-from with
// --fc of that text does for a single run.
//
// The whole sample list is drawn from the seed before any run, so it does not depend on the
// number of threads, and a shard of the list (Shard.h) holds the same samples as the same
// rows of one machine's list.

#include "core/codes/BondModels.h"
#include "core/engine/ConcreteInput.h"
#include "core/study/ModelFactor.h"
#include "core/study/Study.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The distribution of one input. Every input of the analysis is a length, a modulus or a
// strength, so a value must stay positive:
//   normal:MEAN:SD      the normal distribution truncated at zero: values are drawn from the
//                       part above zero by the inverse of its own distribution function
//                       (no resampling, so a Latin hypercube keeps its strata)
//   lognormal:MEAN:COV  the lognormal distribution of the given mean and coefficient of
//                       variation of the variable itself (not of its logarithm)
//   uniform:LO:HI       uniform between LO ≥ 0 and HI > LO
struct Distribution {
    enum class Kind { Normal, Lognormal, Uniform };
    Kind kind = Kind::Normal;
    double a = 0; // mean (normal, lognormal) or LO
    double b = 0; // SD (normal), COV (lognormal) or HI
    std::string aText;
    std::string bText;

    // The value at probability u of the distribution (0 < u < 1).
    double quantile(double u) const;
    // KIND:A:B as typed.
    std::string definition() const;
};

inline constexpr std::string_view kConcreteStrengthName = "fc";

struct SampledInput {
    std::optional<NumericField> field; // empty: the concrete strength fc′
    Distribution distribution;

    std::string_view name() const;
    std::string definition() const; // NAME=KIND:A:B
};

struct SampledInputParse {
    SampledInput input;
    std::string error; // empty when the definition is valid
};

// Whether the values of NAME=VALUES name a distribution (normal:, lognormal:, uniform:).
bool NamesDistribution(std::string_view definition);
// Reads NAME=KIND:A:B; NAME is a study input name or fc.
SampledInputParse ParseSampledInput(std::string_view definition);

enum class SamplingMethod { LatinHypercube, MonteCarlo };
std::string_view SamplingMethodName(SamplingMethod method); // "lhs", "mc"

struct SampledStudy {
    StudyDefinition base;             // the base data set; no sweeps
    std::vector<SampledInput> inputs; // one or more
    std::int64_t count = 0;           // N
    std::uint64_t seed = 1;
    SamplingMethod method = SamplingMethod::LatinHypercube;
    std::optional<ModelFactor> modelFactor; // none: θ = 1
    std::optional<BondSlipModel> lawModel;  // derives each sample's law from a sampled fc
    std::string ftText;                     // the concrete's ft with a sampled fc; empty: derived
};

// Why the study cannot start; empty when it can.
std::string CheckSampledStudy(const SampledStudy& study);

// The drawn samples: value j of sample k, and θ of each sample.
struct SampleTable {
    std::size_t inputCount = 0;
    std::vector<double> values; // k · inputCount + j
    std::vector<double> theta;

    double value(std::int64_t k, std::size_t j) const {
        return values[std::size_t(k) * inputCount + j];
    }
};

// Draws the whole list. Each input (and θ) has its own stream of a SplitMix64 generator
// seeded from the seed and the input's position. A Latin hypercube divides each input's
// probability range into N equal strata, puts one sample in each at a uniform place within
// it and pairs the strata of different inputs by independent random permutations; Monte
// Carlo draws every probability independently.
SampleTable DrawSamples(const SampledStudy& study);

// The text that enters sample k's field j: the shortest text of the drawn value.
std::string SampleText(const SampleTable& table, std::int64_t k, std::size_t j);

// The data set of sample k, or the reason there is none (a sampled fc whose law the model
// cannot derive).
struct SamplePoint {
    StudyPoint point;
    std::string problem;
};
SamplePoint MakeSamplePoint(const SampledStudy& study, const SampleTable& table, std::int64_t k);

// Runs sample k as RunStudyPoint runs a point: sweptTexts hold the sampled values as the run
// used them.
StudyPointResult RunSample(const SampledStudy& study, const SampleTable& table, std::int64_t k,
                           std::stop_token stop = {});

// The capacity of a sample, θ·Pbumax (N), or none for a run that did not end in a bond
// failure.
std::optional<double> SampleCapacity(const StudyPointResult& result, double theta);

// The capacities of the samples taken so far, and how many samples had none.
struct CapacityTally {
    std::vector<double> capacities; // N
    std::int64_t excluded = 0;

    // Takes sample result.index's capacity with its θ from the table, or counts it out.
    void add(const StudyPointResult& result, const SampleTable& table);
};

} // namespace orvane
