#include "core/study/SamplingWriters.h"

#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <array>
#include <charconv>
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
    std::string text = "{" + JsonProgramKeys() + ",\"sample\":" + std::to_string(result.index);
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
    std::string text = "{" + JsonProgramKeys() + ",\"samples\":" + std::to_string(study.count) +
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
    text += ",\"n\":" + std::to_string(summary.n) +
            ",\"excluded\":" + std::to_string(summary.excluded) +
            ",\"mean\":" + JsonNumber(summary.mean) + ",\"cov\":" + JsonNumber(summary.cov) +
            ",\"min\":" + JsonNumber(summary.min) + ",\"max\":" + JsonNumber(summary.max) +
            ",\"fractile\":{\"probability\":" + JsonNumber(kFractileProbability) +
            ",\"value\":" + JsonNumber(fractile.value) +
            ",\"rank\":" + std::to_string(fractile.rank) +
            ",\"confidence\":" + JsonNumber(kFractileConfidence) +
            ",\"lower\":" + optionalJson(fractile.lower) +
            ",\"upper\":" + optionalJson(fractile.upper) +
            ",\"method\":\"order-statistics\"},\"meanLn\":" + JsonNumber(summary.meanLn) +
            ",\"sdLn\":" + JsonNumber(summary.sdLn) +
            ",\"partialFactor\":" + optionalJson(basis.partialFactor) +
            ",\"designByPartialFactor\":" + optionalJson(summary.designByPartialFactor) +
            ",\"targetBeta\":" + optionalJson(basis.targetBeta) +
            ",\"alphaR\":" + JsonNumber(kResistanceSensitivity) +
            ",\"designByReliability\":" + optionalJson(summary.designByReliability) +
            ",\"warnings\":" + JsonStringList(summary.warnings);
    return text + "}\n";
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

namespace {

// One CSV record of the writer's: fields split at commas, a quoted field unquoted ("" → ").
std::vector<std::string> csvFields(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
            fields.back() += '"';
            ++k;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

} // namespace

SampledCsv ReadSampledCsv(std::string_view text) {
    SampledCsv read;
    SampledStudy& study = read.study;
    std::optional<std::size_t> capacityColumn;
    std::int64_t line = 0;
    while (!text.empty() && read.error.empty()) {
        const std::size_t end = text.find(kLineEnd);
        const std::string_view record = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + kLineEnd.size());
        ++line;
        const std::string where = "line " + std::to_string(line) + ": ";
        if (record.starts_with("# ")) {
            const std::vector<std::string> fields = csvFields(record.substr(2));
            const std::string& name = fields[0];
            const std::string value = fields.size() > 1 ? fields[1] : std::string();
            if (name == "comment") {
                study.base.base.comment = value;
            } else if (name == "vary") {
                const SampledInputParse parse = ParseSampledInput(value);
                read.error = parse.error.empty() ? "" : where + parse.error;
                study.inputs.push_back(parse.input);
            } else if (name == "samples") {
                study.count = std::int64_t(ParseWholeNumber(value).value_or(0));
            } else if (name == "sampling") {
                study.method =
                    value == "mc" ? SamplingMethod::MonteCarlo : SamplingMethod::LatinHypercube;
            } else if (name == "seed") {
                const auto [last, error] =
                    std::from_chars(value.data(), value.data() + value.size(), study.seed);
                read.error = error == std::errc() ? "" : where + "the seed is not a number";
            } else if (name == "modelFactor") {
                const std::size_t colon = value.find(':');
                const ModelFactorRead factor = ParseModelFactorValues(
                    colon == std::string::npos ? value : value.substr(colon + 1));
                read.error = factor.error.empty() ? "" : where + factor.error;
                study.modelFactor = factor.factor;
                study.modelFactor->source = fields.size() > 2 ? fields[2] : std::string();
            }
            continue;
        }
        const std::vector<std::string> fields = csvFields(record);
        if (!capacityColumn) {
            const auto column = std::find(fields.begin(), fields.end(), "capacity");
            if (fields.front() != "sample" || column == fields.end()) {
                read.error = where + "not the header of a sampled study's table";
            }
            capacityColumn = std::size_t(column - fields.begin());
            continue;
        }
        if (fields.size() <= *capacityColumn) {
            read.error = where + "the row is cut short";
        } else if (const std::optional<double> capacity =
                       ParseWholeNumber(fields[*capacityColumn])) {
            read.capacities.push_back(*capacity);
        } else if (fields[*capacityColumn].empty()) {
            ++read.excluded;
        } else {
            read.error =
                where + "the capacity " + QuotedEntry(fields[*capacityColumn]) + " is not a number";
        }
    }
    if (read.error.empty() && !capacityColumn) {
        read.error = "no table of samples";
    }
    if (read.error.empty() && std::int64_t(read.capacities.size()) + read.excluded != study.count) {
        read.error = "the table holds " +
                     std::to_string(std::int64_t(read.capacities.size()) + read.excluded) +
                     " of the " + std::to_string(study.count) + " samples";
    }
    return read;
}

} // namespace orvane
