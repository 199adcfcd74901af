#include "core/study/SamplingWriters.h"

#include "core/Version.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/study/StudyWriters.h"

#include <array>
#include <limits>
#include <utility>

namespace orvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::string_view unitOf(const SampledInput& input) {
    if (!input.field) {
        return "MPa";
    }
    if (*input.field == NumericField::InitialDs) {
        return {};
    }
    return kInputColumns[static_cast<int>(*input.field)].unit;
}

// The run's numbers of a sample; NaN (empty, null) where there are none.
struct SampleColumns {
    std::string steps;
    double Pbumax = kNone;
    double capacity = kNone;
    double slmax = kNone;
    double ratio = kNone;
};
SampleColumns columnsOf(const StudyPointResult& result, double theta) {
    SampleColumns columns;
    if (!result.refused()) {
        columns.steps = std::to_string(result.steps);
        columns.Pbumax = result.Pbumax;
        columns.slmax = result.slmax;
        columns.ratio = LoadRatio(result.Pbumax, result.quantities);
        columns.capacity = SampleCapacity(result, theta).value_or(kNone);
    }
    return columns;
}

std::string optionalJson(const std::optional<double>& value) {
    return value ? JsonNumber(*value) : "null";
}

} // namespace

std::string_view SampleEndName(const StudyPointResult& result) {
    if (result.refused()) {
        return "refused";
    }
    switch (result.end) {
    case RunEnd::BondFailure:
        return "bond-failure";
    case RunEnd::StepLimit:
        return "step-limit";
    case RunEnd::NonFinite:
        return "non-finite";
    case RunEnd::None:
    case RunEnd::Stopped:
    case RunEnd::ResultFileFailed:
        break;
    }
    return "stopped";
}

SampleCsvWriter::SampleCsvWriter(std::ostream& out, const SampledStudy& study,
                                 const SampleTable& table)
    : m_out(out), m_study(study), m_table(table) {
}

void SampleCsvWriter::begin() {
    std::string text = StudyBaseMetadata(m_study.base);
    for (const SampledInput& input : m_study.inputs) {
        text += CsvMetadataLine("vary", input.definition(), unitOf(input));
    }
    text += CsvMetadataLine("samples", std::to_string(m_study.count));
    text += CsvMetadataLine("sampling", SamplingMethodName(m_study.method));
    text += CsvMetadataLine("seed", std::to_string(m_study.seed));
    if (m_study.modelFactor) {
        text += CsvMetadataLine("modelFactor", m_study.modelFactor->definition(),
                                m_study.modelFactor->source);
    }
    for (const auto& [column, unit] :
         std::array<std::pair<std::string_view, std::string_view>, 6>{{{"Pbumax", "N"},
                                                                       {"capacity", "N"},
                                                                       {"slmax", "mm"},
                                                                       {"Gf", "N/mm"},
                                                                       {"Pinf", "N"},
                                                                       {"Le", "mm"}}}) {
        text += CsvMetadataLine("unit", column, unit);
    }
    text += "sample";
    for (const SampledInput& input : m_study.inputs) {
        text += "," + CsvField(input.name());
    }
    text += ",theta,steps,Pbumax,capacity,slmax,end,Gf,Pinf,Le,PbumaxOverPinf,problem";
    text += kLineEnd;
    m_out << text;
}

void SampleCsvWriter::row(const StudyPointResult& result) {
    const double theta = m_table.theta[std::size_t(result.index)];
    const SampleColumns run = columnsOf(result, theta);
    const BondQuantities& q = result.quantities;
    std::string text = std::to_string(result.index);
    for (const std::string& value : result.sweptTexts) {
        text += "," + CsvField(value);
    }
    text += "," + ShortestText(theta) + "," + run.steps + "," + ShortestText(run.Pbumax) + "," +
            ShortestText(run.capacity) + "," + ShortestText(run.slmax) + "," +
            std::string(SampleEndName(result)) + "," + ShortestText(q.Gf) + "," +
            ShortestText(q.Pinf) + "," + ShortestText(q.Le) + "," + ShortestText(run.ratio) + "," +
            CsvField(result.problem);
    text += kLineEnd;
    m_out.write(text.data(), std::streamsize(text.size()));
}

SampleJsonLinesWriter::SampleJsonLinesWriter(std::ostream& out, const SampledStudy& study,
                                             const SampleTable& table)
    : m_out(out), m_study(study), m_table(table) {
}

void SampleJsonLinesWriter::row(const StudyPointResult& result) {
    const double theta = m_table.theta[std::size_t(result.index)];
    const SampleColumns run = columnsOf(result, theta);
    const BondQuantities& q = result.quantities;
    std::string text = "{\"program\":\"orvane-batch\",\"version\":" + JsonString(kVersion) +
                       ",\"sample\":" + std::to_string(result.index);
    for (std::size_t j = 0; j < m_study.inputs.size(); ++j) {
        text += "," + JsonString(m_study.inputs[j].name()) + ":" + result.sweptTexts[j];
    }
    text += ",\"theta\":" + JsonNumber(theta) +
            ",\"steps\":" + (run.steps.empty() ? std::string("null") : run.steps) +
            ",\"Pbumax\":" + JsonNumber(run.Pbumax) + ",\"capacity\":" + JsonNumber(run.capacity) +
            ",\"slmax\":" + JsonNumber(run.slmax) +
            ",\"end\":" + JsonString(SampleEndName(result)) + ",\"Gf\":" + JsonNumber(q.Gf) +
            ",\"Pinf\":" + JsonNumber(q.Pinf) + ",\"Le\":" + JsonNumber(q.Le) +
            ",\"PbumaxOverPinf\":" + JsonNumber(run.ratio) +
            ",\"problem\":" + (result.refused() ? JsonString(result.problem) : "null") + "}\n";
    m_out.write(text.data(), std::streamsize(text.size()));
}

std::string SampleSummaryJson(const SampledStudy& study, const CapacitySummary& summary,
                              const DesignBasis& basis, std::int64_t samplesDone) {
    std::string text = "{\"program\":\"orvane-batch\",\"version\":" + JsonString(kVersion) +
                       ",\"samples\":" + std::to_string(study.count) +
                       ",\"samplesDone\":" + std::to_string(samplesDone) +
                       ",\"sampling\":" + JsonString(SamplingMethodName(study.method)) +
                       ",\"seed\":" + std::to_string(study.seed) + ",\"vary\":[";
    for (std::size_t j = 0; j < study.inputs.size(); ++j) {
        text += (j ? "," : "") + JsonString(study.inputs[j].definition());
    }
    text += "],\"modelFactor\":";
    if (study.modelFactor) {
        text +=
            "{\"distribution\":\"lognormal\",\"mean\":" + JsonNumber(study.modelFactor->mean) +
            ",\"cov\":" + JsonNumber(study.modelFactor->cov) + ",\"source\":" +
            (study.modelFactor->source.empty() ? "null" : JsonString(study.modelFactor->source)) +
            "}";
    } else {
        text += "null";
    }
    const FractileEstimate& fractile = summary.fractile;
    text +=
        ",\"n\":" + std::to_string(summary.n) +
        ",\"excluded\":" + std::to_string(summary.excluded) +
        ",\"mean\":" + JsonNumber(summary.mean) + ",\"cov\":" + JsonNumber(summary.cov) +
        ",\"min\":" + JsonNumber(summary.min) + ",\"max\":" + JsonNumber(summary.max) +
        ",\"fractile\":{\"probability\":" + JsonNumber(kFractileProbability) +
        ",\"value\":" + JsonNumber(fractile.value) + ",\"rank\":" + std::to_string(fractile.rank) +
        ",\"confidence\":" + JsonNumber(kFractileConfidence) +
        ",\"lower\":" + optionalJson(fractile.lower) +
        ",\"upper\":" + optionalJson(fractile.upper) +
        ",\"method\":\"order-statistics\"},\"meanLn\":" + JsonNumber(summary.meanLn) +
        ",\"sdLn\":" + JsonNumber(summary.sdLn) +
        ",\"partialFactor\":" + optionalJson(basis.partialFactor) +
        ",\"designByPartialFactor\":" + optionalJson(summary.designByPartialFactor) +
        ",\"targetBeta\":" + optionalJson(basis.targetBeta) +
        ",\"alphaR\":" + JsonNumber(kResistanceSensitivity) +
        ",\"designByReliability\":" + optionalJson(summary.designByReliability) + ",\"warnings\":[";
    for (std::size_t w = 0; w < summary.warnings.size(); ++w) {
        text += (w ? "," : "") + JsonString(summary.warnings[w]);
    }
    return text + "]}\n";
}

std::string SampleSummaryText(const CapacitySummary& summary, const DesignBasis& basis) {
    const auto newton = [](const std::optional<double>& value) {
        return value ? FormatMask(*value, "0.0") + " N" : std::string("not determined");
    };
    const FractileEstimate& fractile = summary.fractile;
    std::string text = "capacities  " + std::to_string(summary.n) + " (" +
                       std::to_string(summary.excluded) + " left out)\n";
    text += "mean        " + newton(summary.mean) + "\n";
    text += "CoV         " + FormatMask(summary.cov, "0.0000") + "\n";
    text += "5% fractile " + newton(fractile.value) + " (order statistic " +
            std::to_string(fractile.rank) + "; " + ShortestText(kFractileConfidence * 100) +
            " % interval " + newton(fractile.lower) + " to " + newton(fractile.upper) + ")\n";
    if (basis.partialFactor) {
        text += "Rd          " + newton(summary.designByPartialFactor) +
                " (5 % fractile / gammaM " + ShortestText(*basis.partialFactor) + ")\n";
    }
    if (basis.targetBeta) {
        text += "Rd          " + newton(summary.designByReliability) + " (lognormal, beta " +
                ShortestText(*basis.targetBeta) + ", alphaR " +
                ShortestText(kResistanceSensitivity) + ")\n";
    }
    for (const std::string& warning : summary.warnings) {
        text += "warning     " + warning + "\n";
    }
    return text;
}

} // namespace orvane
