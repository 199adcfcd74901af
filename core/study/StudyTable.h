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
    // Room for every point of the study, taken at once: the columns never move, so a snapshot
    // can read its rows while the table goes on taking points.
    explicit StudyTable(std::shared_ptr<const StudyDefinition> study);
    // A table is not copied: 21 bytes a point add up. Its rows are shared through snapshot().
    StudyTable(const StudyTable&) = delete;
    StudyTable& operator=(const StudyTable&) = delete;
    StudyTable(StudyTable&&) = default;
    StudyTable& operator=(StudyTable&&) = default;

    const StudyDefinition* study() const { return m_study.get(); }
    std::int64_t size() const { return m_size; }
    // Appends the next point; points come in order, from 0. Not on a snapshot.
    void add(const StudyPointResult& result);
    // Point k as the run handed it out.
    StudyPointResult point(std::int64_t k) const;
    // The rows so far, sharing this table's columns rather than copying them; rows added
    // later stay outside it. It may be read on another thread while this table takes points.
    StudyTable snapshot() const;

private:
    // Each column holds every point of the study; only the first `size` are set.
    struct Columns {
        std::unique_ptr<std::uint8_t[]> end; // RunEnd
        std::unique_ptr<std::int32_t[]> steps;
        std::unique_ptr<double[]> Pbumax; // N
        std::unique_ptr<double[]> slmax;  // mm
    };

    std::shared_ptr<const StudyDefinition> m_study;
    std::shared_ptr<Columns> m_columns;
    std::int64_t m_size = 0;
    std::int64_t m_capacity = 0; // zero on a snapshot, which takes no points
    // Reasons the run gave beyond the run checks' (no memory for the elements): rare, and
    // copied into a snapshot.
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
