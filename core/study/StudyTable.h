#pragma once

// The points of a study as a window keeps them while it runs and after: only what a run gives
// (its end, steps, Pbumax and slmax, 21 bytes a point, so a million points take about 21 MB),
// column by column. The swept values, the closed forms and a refusal's reason follow from the
// definition and are formed again when a row is shown or saved, so the rebuilt point is the
// one the run handed out.

#include "core/study/Study.h"

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

namespace orvane {

class StudyTable {
public:
    StudyTable() = default;
    // Room for every point of the study, taken at once so that the columns never double.
    explicit StudyTable(std::shared_ptr<const StudyDefinition> study);

    const StudyDefinition* study() const { return m_study.get(); }
    std::int64_t size() const { return std::int64_t(m_steps.size()); }
    // Appends the next point; points come in order, from 0.
    void add(const StudyPointResult& result);
    // Point k as the run handed it out.
    StudyPointResult point(std::int64_t k) const;

private:
    std::shared_ptr<const StudyDefinition> m_study;
    std::vector<std::uint8_t> m_end; // RunEnd
    std::vector<std::int32_t> m_steps;
    std::vector<double> m_Pbumax; // N
    std::vector<double> m_slmax;  // mm
    // Reasons the run gave beyond the run checks' (no memory for the elements): rare.
    std::map<std::int64_t, std::string> m_runProblems;
};

// Writes the table as the study CSV (StudyWriters.h): the study's metadata, every row and the
// closing metadata, which says how many points of the study the rows hold. A stop request
// ends the writing between two rows; false then, or when out fails.
bool WriteStudyCsv(std::ostream& out, const StudyTable& table, std::stop_token stop = {});

// A number as the study table shows it: the shortest text that reads back as the value, in
// plain decimals from 1E-05 to below 1E+15 ("300000", not "3e+05"), the exponent form
// outside that range.
std::string TableNumberText(double value);
std::string TableNumberText(float value);

} // namespace orvane
