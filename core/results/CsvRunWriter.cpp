#include "core/results/CsvRunWriter.h"

#include "core/Version.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cmath>

namespace orvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Room for the shortest text of any double or int and its separator.
constexpr std::size_t kFieldRoom = 32;

// The shortest text that reads back as the same value of its own type; NaN as an empty field.
template <class Number>
char* appendNumber(char* out, Number value) {
    if constexpr (std::is_floating_point_v<Number>) {
        if (std::isnan(value)) {
            return out;
        }
    }
    return std::to_chars(out, out + kFieldRoom, value).ptr;
}

// One record of numbers, written with a single call on the stream.
template <class... Numbers>
void writeRecord(std::ostream& out, Numbers... values) {
    std::array<char, kFieldRoom * sizeof...(Numbers) + 2> line;
    char* end = line.data();
    bool first = true;
    const auto add = [&](auto value) {
        if (!first) {
            *end++ = ',';
        }
        first = false;
        end = appendNumber(end, value);
    };
    (add(values), ...);
    *end++ = '\r';
    *end++ = '\n';
    out.write(line.data(), end - line.data());
}

template <class Number>
std::string numberText(Number value) {
    std::array<char, kFieldRoom> text;
    return std::string(text.data(), appendNumber(text.data(), value));
}

} // namespace

std::string_view RunEndText(RunEnd end) {
    switch (end) {
    case RunEnd::BondFailure:
        return "bond failure";
    case RunEnd::StepLimit:
        return "step limit";
    case RunEnd::Stopped:
        return "stopped";
    case RunEnd::NonFinite:
        return "non-finite values";
    case RunEnd::ResultFileFailed:
        return "result file failed";
    case RunEnd::None:
        break;
    }
    return "running";
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

CsvRunWriter::CsvRunWriter(std::ostream& out, CsvTable table) : m_out(out), m_table(table) {
}

void CsvRunWriter::metadata(std::string_view name, std::string_view value, std::string_view unit) {
    std::string line = "# " + CsvField(name) + ',' + CsvField(value);
    if (!unit.empty()) {
        line += ',' + CsvField(unit);
    }
    // A line break, even quoted, would end the comment line for a reader that skips them.
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    m_out << line << kLineEnd;
}

void CsvRunWriter::begin(const AnalysisParameters& params) {
    m_quantities = ComputeBondQuantities(params);
    metadata("program", "Orvane " + std::string(kVersion));
    metadata("comment", params.comment);
    metadata("law", params.bondModel == BondModel::PerfectlyBilinear ? "perfectly bi-linear"
                                                                     : "bi-linear softening");
    // The sixteen inputs in window order; ds is the run's first slip increment, the initial
    // ds field's number / 100.
    for (const InputColumn& input : kInputColumns) {
        const float value =
            input.field == NumericField::InitialDs ? params.ds : params.value(input.field);
        metadata(input.name, numberText(value), input.unit);
    }
    metadata("Gf", numberText(m_quantities.Gf), "N/mm");
    metadata("Pinf", numberText(m_quantities.Pinf), "N");
    metadata("Le", numberText(m_quantities.Le), "mm");
    metadata("n", numberText(m_quantities.n));
    metadata("analysedLength", numberText(m_quantities.analysedLength), "mm");
    m_out << (m_table == CsvTable::Steps ? "step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax"
                                         : "step,i,x,s,P,tau")
          << kLineEnd;
}

void CsvRunWriter::finish(RunEnd end) {
    metadata("end", RunEndText(end));
    metadata("steps", numberText(m_step));
    metadata("Pbumax", numberText(m_Pbumax), "N");
    metadata("slmax", numberText(m_slmax), "mm");
    metadata("PbumaxOverPinf", numberText(LoadRatio(m_Pbumax, m_quantities)));
}

void CsvRunWriter::stepStarted(const StepStart& start) {
    m_step = start.step;
}

void CsvRunWriter::elementsComputed(std::span<const ElementResult> elements) {
    for (const ElementResult& e : elements) {
        writeRecord(m_out, m_step, e.i, e.x, e.s, e.P, e.tau);
    }
}

void CsvRunWriter::stepFinished(const StepResult& r) {
    m_step = r.step;
    m_Pbumax = r.Pbumax;
    m_slmax = r.slmax;
    if (m_table == CsvTable::Steps) {
        writeRecord(m_out, r.step, r.s0, r.ds, r.sl, r.Pl, r.totalTau, r.Pbumax, r.slmax);
    }
}

} // namespace orvane
