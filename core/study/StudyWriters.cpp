#include "core/study/StudyWriters.h"

#include "core/Version.h"
#include "core/numtext/NumberText.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"

#include <array>
#include <limits>
#include <span>
#include <string>
#include <utility>

namespace orvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string_view unitOf(const Sweep& sweep) {
    if (!sweep.field || *sweep.field == NumericField::InitialDs) {
        return {};
    }
    return kInputColumns[static_cast<int>(*sweep.field)].unit;
}

std::string lawName(BondModel model) {
    return model == BondModel::PerfectlyBilinear ? "bilinear" : "softening";
}

// The run's numbers of a point; empty for a refused point.
struct RunColumns {
    std::string steps;
    double Pbumax;
    double slmax;
    double ratio;
};
RunColumns runColumns(const StudyPointResult& result) {
    if (result.refused()) {
        constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
        return {{}, kNone, kNone, kNone};
    }
    return {std::to_string(result.steps), result.Pbumax, result.slmax,
            LoadRatio(result.Pbumax, result.quantities)};
}

} // namespace

std::string_view PointEndText(const StudyPointResult& result) {
    return result.refused() ? "refused" : RunEndText(result.end);
}

StudyCsvWriter::StudyCsvWriter(std::ostream& out, const StudyDefinition& study)
    : m_out(out), m_study(study) {
}

std::string CsvMetadataLine(std::string_view name, std::string_view value, std::string_view unit) {
    std::string text = "# " + CsvField(name) + "," + CsvField(value);
    if (!unit.empty()) {
        text += "," + CsvField(unit);
    }
    return text + std::string(kLineEnd);
}

std::string StudyBaseMetadata(const StudyDefinition& study) {
    std::string text = CsvMetadataLine("program", "Orvane " + std::string(kVersion));
    text += CsvMetadataLine("comment", study.base.comment);
    text += CsvMetadataLine("law", lawName(study.base.bondModel));
    if (!study.lawFrom.empty()) {
        text += CsvMetadataLine("lawFrom", study.lawFrom);
    }
    for (const InputColumn& input : std::span(kInputColumns).first<kStoredFieldCount>()) {
        text +=
            CsvMetadataLine(input.name, ShortestText(study.base.value(input.field)), input.unit);
    }
    text += CsvMetadataLine(
        "initial ds",
        ShortestText(FieldValue(study.baseTexts[static_cast<int>(NumericField::InitialDs)])));
    return text;
}

std::string StudyClosingLines(std::int64_t pointsDone, std::int64_t total) {
    std::string text = "# points done," + std::to_string(pointsDone) + std::string(kLineEnd);
    return text + std::string("# study,") + (pointsDone == total ? "complete" : "stopped") +
           std::string(kLineEnd);
}

void StudyCsvWriter::begin() {
    std::string text = StudyBaseMetadata(m_study);
    for (const Sweep& sweep : m_study.sweeps) {
        text += CsvMetadataLine("vary", sweep.definition(), unitOf(sweep));
    }
    text += CsvMetadataLine("points", std::to_string(PointCount(m_study)));
    for (const auto& [column, unit] : std::array<std::pair<std::string_view, std::string_view>, 5>{
             {{"Pbumax", "N"}, {"slmax", "mm"}, {"Gf", "N/mm"}, {"Pinf", "N"}, {"Le", "mm"}}}) {
        text += CsvMetadataLine("unit", column, unit);
    }
    text += "point";
    for (const Sweep& sweep : m_study.sweeps) {
        text += "," + CsvField(sweep.name());
    }
    text += ",steps,Pbumax,slmax,end,Gf,Pinf,Le,Pbumax/Pinf,problem";
    text += kLineEnd;
    m_out << text;
}

void StudyCsvWriter::row(const StudyPointResult& result) {
    const RunColumns run = runColumns(result);
    const BondQuantities& q = result.quantities;
    std::string text = std::to_string(result.index);
    for (const std::string& swept : result.sweptTexts) {
        text += "," + CsvField(swept);
    }
    text += "," + run.steps + "," + ShortestText(run.Pbumax) + "," + ShortestText(run.slmax) + "," +
            CsvField(PointEndText(result)) + "," + ShortestText(q.Gf) + "," + ShortestText(q.Pinf) +
            "," + ShortestText(q.Le) + "," + ShortestText(run.ratio) + "," +
            CsvField(result.problem);
    text += kLineEnd;
    m_out.write(text.data(), std::streamsize(text.size()));
}

void StudyCsvWriter::finish(std::int64_t pointsDone) {
    m_out << StudyClosingLines(pointsDone, PointCount(m_study));
}

StudyJsonLinesWriter::StudyJsonLinesWriter(std::ostream& out, const StudyDefinition& study)
    : m_out(out), m_study(study) {
}

void StudyJsonLinesWriter::row(const StudyPointResult& result) {
    const RunColumns run = runColumns(result);
    const BondQuantities& q = result.quantities;
    std::string text = "{" + JsonProgramKeys() + ",\"point\":" + std::to_string(result.index);
    for (std::size_t s = 0; s < m_study.sweeps.size(); ++s) {
        const Sweep& sweep = m_study.sweeps[s];
        text += "," + JsonString(sweep.name()) + ":" +
                (sweep.field ? result.sweptTexts[s] : JsonString(result.sweptTexts[s]));
    }
    text += ",\"steps\":" + (run.steps.empty() ? std::string("null") : run.steps) +
            ",\"Pbumax\":" + JsonNumber(run.Pbumax) + ",\"slmax\":" + JsonNumber(run.slmax) +
            ",\"end\":" + JsonString(result.refused() ? "refused" : RunEndJsonName(result.end)) +
            ",\"Gf\":" + JsonNumber(q.Gf) + ",\"Pinf\":" + JsonNumber(q.Pinf) +
            ",\"Le\":" + JsonNumber(q.Le) + ",\"PbumaxOverPinf\":" + JsonNumber(run.ratio) +
            ",\"problem\":" + JsonString(result.problem) + ",\"warnings\":[]}\n";
    m_out.write(text.data(), std::streamsize(text.size()));
}

} // namespace orvane
