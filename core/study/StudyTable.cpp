#include "core/study/StudyTable.h"

#include "core/numtext/NumberText.h"
#include "core/study/StudyWriters.h"

#include <cassert>
#include <charconv>
#include <cmath>

namespace orvane {

StudyTable::StudyTable(std::shared_ptr<const StudyDefinition> study)
    : m_study(std::move(study)), m_columns(std::make_shared<Columns>()),
      m_capacity(PointCount(*m_study)) {
    // Left unset: the pages of a column are taken as its rows fill them.
    const auto total = std::size_t(m_capacity);
    m_columns->end = std::make_unique_for_overwrite<std::uint8_t[]>(total);
    m_columns->steps = std::make_unique_for_overwrite<std::int32_t[]>(total);
    m_columns->Pbumax = std::make_unique_for_overwrite<double[]>(total);
    m_columns->slmax = std::make_unique_for_overwrite<double[]>(total);
}

void StudyTable::add(const StudyPointResult& result) {
    assert(result.index == size() && size() < m_capacity);
    const auto row = std::size_t(m_size);
    m_columns->end[row] = std::uint8_t(result.end);
    m_columns->steps[row] = std::int32_t(result.steps);
    m_columns->Pbumax[row] = result.Pbumax;
    m_columns->slmax[row] = result.slmax;
    // The run checks' reasons come back with the point; only another one is kept.
    if (result.refused() && DescribeStudyPoint(*m_study, result.index).problem != result.problem) {
        m_runProblems.emplace(result.index, result.problem);
    }
    ++m_size;
}

StudyPointResult StudyTable::point(std::int64_t k) const {
    assert(k >= 0 && k < size());
    StudyPointResult result = DescribeStudyPoint(*m_study, k);
    const auto row = std::size_t(k);
    result.end = RunEnd(m_columns->end[row]);
    result.steps = m_columns->steps[row];
    result.Pbumax = m_columns->Pbumax[row];
    result.slmax = m_columns->slmax[row];
    if (const auto found = m_runProblems.find(k); found != m_runProblems.end()) {
        result.problem = found->second;
    }
    return result;
}

StudyTable StudyTable::snapshot() const {
    StudyTable rows;
    rows.m_study = m_study;
    rows.m_columns = m_columns;
    rows.m_size = m_size;
    rows.m_runProblems = m_runProblems;
    return rows;
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
