#include "core/study/Sampling.h"

#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/study/CapacityStatistics.h"

#include <array>
#include <cassert>
#include <cmath>
#include <numeric>
#include <utility>

namespace orvane {

namespace {

struct KindName {
    std::string_view name;
    Distribution::Kind kind;
};
constexpr std::array<KindName, 3> kKinds = {{
    {"normal", Distribution::Kind::Normal},
    {"lognormal", Distribution::Kind::Lognormal},
    {"uniform", Distribution::Kind::Uniform},
}};

std::string_view kindName(Distribution::Kind kind) {
    for (const KindName& entry : kKinds) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return {};
}

// SplitMix64 (Steele, Lea & Flood 2014): a small generator whose every seed gives a full,
// well-mixed stream, and whose output is the same on every machine.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform on (0, 1), never 0 or 1: the midpoints of 2⁵³ equal cells.
    double open01() { return (double(next() >> 11) + 0.5) * 0x1p-53; }
    // Uniform on 0 … bound − 1 without bias: draws that fall into the incomplete last block
    // are drawn again.
    std::uint64_t below(std::uint64_t bound) {
        const std::uint64_t limit = -bound % bound; // 2⁶⁴ mod bound
        for (;;) {
            const std::uint64_t draw = next();
            if (draw >= limit) {
                return draw % bound;
            }
        }
    }

private:
    std::uint64_t m_state;
};

// The stream of dimension j: the seed and the dimension mixed, so that neighbouring seeds and
// dimensions give unrelated streams.
SplitMix64 streamOf(std::uint64_t seed, std::size_t dimension) {
    SplitMix64 mixer(seed ^ (0xd1b54a32d192ed03ULL * (std::uint64_t(dimension) + 1)));
    return SplitMix64(mixer.next());
}

// The probabilities of one dimension for all samples.
std::vector<double> drawProbabilities(SamplingMethod method, std::int64_t count,
                                      SplitMix64 stream) {
    std::vector<double> u(static_cast<std::size_t>(count));
    if (method == SamplingMethod::MonteCarlo) {
        for (double& p : u) {
            p = stream.open01();
        }
        return u;
    }
    std::vector<std::int64_t> stratum(u.size());
    std::iota(stratum.begin(), stratum.end(), std::int64_t(0));
    // Fisher–Yates: every pairing of strata equally likely.
    for (std::size_t k = stratum.size(); k > 1; --k) {
        std::swap(stratum[k - 1], stratum[std::size_t(stream.below(k))]);
    }
    for (std::size_t k = 0; k < u.size(); ++k) {
        u[k] = (double(stratum[k]) + stream.open01()) / double(count);
    }
    return u;
}

std::string parseDistribution(std::string_view name, std::string_view values,
                              Distribution& distribution) {
    const std::string what = std::string(name) + ": ";
    const std::size_t first = values.find(':');
    const std::string_view kind = values.substr(0, first);
    bool known = false;
    for (const KindName& entry : kKinds) {
        if (kind == entry.name) {
            distribution.kind = entry.kind;
            known = true;
        }
    }
    const std::size_t second =
        first == std::string_view::npos ? first : values.find(':', first + 1);
    if (!known || second == std::string_view::npos ||
        values.find(':', second + 1) != std::string_view::npos) {
        return what + "a distribution is normal:MEAN:SD, lognormal:MEAN:COV or uniform:LO:HI";
    }
    distribution.aText = values.substr(first + 1, second - first - 1);
    distribution.bText = values.substr(second + 1);
    const std::optional<double> a = ParseWholeNumber(distribution.aText);
    const std::optional<double> b = ParseWholeNumber(distribution.bText);
    if (!a || !b) {
        return what + QuotedEntry(a ? distribution.bText : distribution.aText) + " is not a number";
    }
    distribution.a = *a;
    distribution.b = *b;
    switch (distribution.kind) {
    case Distribution::Kind::Normal:
        if (!(*a > 0) || !(*b > 0)) {
            return what + "a normal distribution needs a positive mean and standard deviation";
        }
        break;
    case Distribution::Kind::Lognormal:
        if (!(*a > 0) || !(*b > 0) || *b > 2) {
            return what + "a lognormal distribution needs a positive mean and a coefficient of "
                          "variation from 0 to 2 (0.15 for 15 %)";
        }
        break;
    case Distribution::Kind::Uniform:
        if (!(*a >= 0) || !(*b > *a)) {
            return what + "a uniform distribution needs 0 ≤ LO < HI";
        }
        break;
    }
    return {};
}

} // namespace

double Distribution::quantile(double u) const {
    switch (kind) {
    case Kind::Normal: {
        // Truncated at zero: u is mapped onto the probabilities above zero.
        const double zero = NormalCdf(-a / b);
        return a + b * NormalQuantile(zero + u * (1 - zero));
    }
    case Kind::Lognormal: {
        const ModelFactor lognormal{a, b, {}, {}, {}};
        return std::exp(lognormal.logMean() + lognormal.logDeviation() * NormalQuantile(u));
    }
    case Kind::Uniform:
        return a + u * (b - a);
    }
    return a;
}

std::string Distribution::definition() const {
    return std::string(kindName(kind)) + ":" + aText + ":" + bText;
}

std::string_view SampledInput::name() const {
    return field ? kInputColumns[static_cast<int>(*field)].name : kConcreteStrengthName;
}

std::string SampledInput::definition() const {
    return std::string(name()) + "=" + distribution.definition();
}

bool NamesDistribution(std::string_view definition) {
    const std::string_view values = definition.substr(definition.find('=') + 1);
    for (const KindName& entry : kKinds) {
        if (values.starts_with(std::string(entry.name) + ":")) {
            return true;
        }
    }
    return false;
}

SampledInputParse ParseSampledInput(std::string_view definition) {
    SampledInputParse parse;
    const std::size_t equals = definition.find('=');
    if (equals == std::string_view::npos) {
        parse.error = QuotedEntry(definition) + " is not NAME=DISTRIBUTION";
        return parse;
    }
    const std::string_view name = definition.substr(0, equals);
    parse.input.field = StudyFieldNamed(name);
    if (!parse.input.field && name != kConcreteStrengthName) {
        parse.error = "unknown input " + QuotedEntry(name) +
                      "; a sampled input is one of the study's numeric inputs or fc";
        return parse;
    }
    parse.error = parseDistribution(parse.input.name(), definition.substr(equals + 1),
                                    parse.input.distribution);
    return parse;
}

std::string_view SamplingMethodName(SamplingMethod method) {
    return method == SamplingMethod::MonteCarlo ? "mc" : "lhs";
}

std::string CheckSampledStudy(const SampledStudy& study) {
    if (study.inputs.empty()) {
        return "a sampled study needs at least one input with a distribution";
    }
    if (study.count < 2 || study.count > kMaxStudyPoints) {
        return "the number of samples must be from 2 to " + std::to_string(kMaxStudyPoints);
    }
    bool fc = false;
    bool law = false;
    for (std::size_t j = 0; j < study.inputs.size(); ++j) {
        const SampledInput& input = study.inputs[j];
        for (std::size_t i = 0; i < j; ++i) {
            if (study.inputs[i].field == input.field) {
                return std::string(input.name()) + " is given a distribution twice";
            }
        }
        fc = fc || !input.field;
        law = law || input.field == NumericField::TauMax || input.field == NumericField::SMax ||
              input.field == NumericField::Su;
    }
    if (fc && !study.lawModel) {
        return "a sampled fc needs --law-from MODEL, the model that derives each sample's law";
    }
    if (fc && law) {
        return "a sampled fc derives tauMax, sMax and su; they cannot be sampled as well";
    }
    return {};
}

SampleTable DrawSamples(const SampledStudy& study) {
    SampleTable table;
    table.inputCount = study.inputs.size();
    table.values.resize(std::size_t(study.count) * table.inputCount);
    for (std::size_t j = 0; j < table.inputCount; ++j) {
        const std::vector<double> u =
            drawProbabilities(study.method, study.count, streamOf(study.seed, j));
        for (std::size_t k = 0; k < u.size(); ++k) {
            table.values[k * table.inputCount + j] = study.inputs[j].distribution.quantile(u[k]);
        }
    }
    table.theta.assign(std::size_t(study.count), 1.0);
    if (study.modelFactor && study.modelFactor->cov > 0) {
        // θ is one more dimension of the sample, after the inputs.
        const std::vector<double> u =
            drawProbabilities(study.method, study.count, streamOf(study.seed, table.inputCount));
        const double mu = study.modelFactor->logMean();
        const double sigma = study.modelFactor->logDeviation();
        for (std::size_t k = 0; k < u.size(); ++k) {
            table.theta[k] = std::exp(mu + sigma * NormalQuantile(u[k]));
        }
    } else if (study.modelFactor) {
        table.theta.assign(std::size_t(study.count), study.modelFactor->mean);
    }
    return table;
}

std::string SampleText(const SampleTable& table, std::int64_t k, std::size_t j) {
    return ShortestText(table.value(k, j));
}

SamplePoint MakeSamplePoint(const SampledStudy& study, const SampleTable& table, std::int64_t k) {
    SamplePoint sample{{study.base.base, study.base.baseTexts}, {}};
    StudyPoint& point = sample.point;
    std::optional<std::string> fcText;
    for (std::size_t j = 0; j < study.inputs.size(); ++j) {
        if (const std::optional<NumericField> field = study.inputs[j].field) {
            point.texts[static_cast<int>(*field)] = SampleText(table, k, j);
        } else {
            fcText = SampleText(table, k, j);
        }
    }
    CopyFieldTexts(point.params, point.texts);
    if (!fcText) {
        return sample;
    }
    // As --law-from MODEL --fc TEXT on a single run: the law from the sample's concrete and
    // its own laminate, member and adhesive.
    ConcreteStrength concrete;
    if (const std::optional<std::string> problem =
            ReadConcrete({*fcText, study.ftText, {}}, concrete)) {
        sample.problem = *problem;
        return sample;
    }
    const DerivedBondLaw law = DeriveBondLaw(*study.lawModel, concrete, point.params);
    if (!law.ok) {
        sample.problem = law.problem;
        return sample;
    }
    point.texts[static_cast<int>(NumericField::TauMax)] = LawFieldText(law.tauMax);
    point.texts[static_cast<int>(NumericField::SMax)] = LawFieldText(law.sMax);
    point.texts[static_cast<int>(NumericField::Su)] = LawFieldText(law.su);
    point.params.bondModel = BondModel::BilinearSoftening;
    CopyFieldTexts(point.params, point.texts);
    return sample;
}

StudyPointResult RunSample(const SampledStudy& study, const SampleTable& table, std::int64_t k,
                           std::stop_token stop) {
    SamplePoint sample = MakeSamplePoint(study, table, k);
    StudyPointResult result;
    result.index = k;
    for (std::size_t j = 0; j < study.inputs.size(); ++j) {
        const std::optional<NumericField> field = study.inputs[j].field;
        // A field shows the value it stores; fc′ the number the model read.
        const double value = field
                                 ? double(FieldValue(sample.point.texts[static_cast<int>(*field)]))
                                 : table.value(k, j);
        result.sweptTexts.push_back(field ? ShortestText(float(value)) : SampleText(table, k, j));
        result.sweptValues.push_back(value);
    }
    if (!sample.problem.empty()) {
        result.quantities = ComputeBondQuantities(sample.point.params);
        result.problem = sample.problem;
        return result;
    }
    RunPointAnalysis(sample.point, result, stop);
    return result;
}

std::optional<double> SampleCapacity(const StudyPointResult& result, double theta) {
    if (result.refused() || result.end != RunEnd::BondFailure) {
        return std::nullopt;
    }
    return theta * result.Pbumax;
}

void CapacityTally::add(const StudyPointResult& result, const SampleTable& table) {
    if (const std::optional<double> capacity =
            SampleCapacity(result, table.theta[std::size_t(result.index)])) {
        capacities.push_back(*capacity);
    } else {
        ++excluded;
    }
}

} // namespace orvane
