#include "core/study/StudyTable.h"

#include "core/numtext/NumberText.h"
#include "core/study/StudyWriters.h"

#include <cassert>
#include <charconv>
#include <cmath>

namespace orvane {

StudyTable::StudyTable(std::shared_ptr<const StudyDefinition> study) : m_study(std::move(study)) {
    const auto total = std::size_t(PointCount(*m_study));
    m_end.reserve(total);
    m_steps.reserve(total);
    m_Pbumax.reserve(total);
    m_slmax.reserve(total);
}

void StudyTable::add(const StudyPointResult& result) {
    assert(result.index == size());
    m_end.push_back(std::uint8_t(result.end));
    m_steps.push_back(std::int32_t(result.steps));
    m_Pbumax.push_back(result.Pbumax);
    m_slmax.push_back(result.slmax);
    // The run checks' reasons come back with the point; only another one is kept.
    if (result.refused() && DescribeStudyPoint(*m_study, result.index).problem != result.problem) {
        m_runProblems.emplace(result.index, result.problem);
    }
}

StudyPointResult StudyTable::point(std::int64_t k) const {
    assert(k >= 0 && k < size());
    StudyPointResult result = DescribeStudyPoint(*m_study, k);
    const auto row = std::size_t(k);
    result.end = RunEnd(m_end[row]);
    result.steps = m_steps[row];
    result.Pbumax = m_Pbumax[row];
    result.slmax = m_slmax[row];
    if (const auto found = m_runProblems.find(k); found != m_runProblems.end()) {
        result.problem = found->second;
    }
    return result;
}

bool WriteStudyCsv(std::ostream& out, const StudyTable& table, std::stop_token stop) {
    StudyCsvWriter writer(out, *table.study());
    writer.begin();
    for (std::int64_t k = 0; k < table.size() && out; ++k) {
        if (stop.stop_requested()) {
            return false;
        }
        writer.row(table.point(k));
    }
    writer.finish(table.size());
    return bool(out);
}

namespace {

template <typename Number>
std::string tableText(Number value) {
    const Number magnitude = std::fabs(value);
    if (magnitude != 0 && std::isfinite(magnitude) &&
        (magnitude < Number(1e-5) || magnitude >= Number(1e15))) {
        return ShortestText(value);
    }
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, end.ptr);
}

} // namespace

std::string TableNumberText(double value) {
    return tableText(value);
}

std::string TableNumberText(float value) {
    return tableText(value);
}

} // namespace orvane
