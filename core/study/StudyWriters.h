#pragma once

// A study's results, one record per point in point order, streamed as the points arrive:
// nothing is kept between rows, and each row goes out in one write, so a study stopped
// half-way leaves whole rows.
//
// CSV (the conventions of the run CSV): UTF-8, RFC 4180 with CR LF, lines starting with "# "
// that pandas.read_csv(comment='#') skips hold the metadata (after "# " each is a record
// name,value[,unit]), then a header row and the rows:
//   point, the swept inputs by name, steps, Pbumax, slmax, end, Gf, Pinf, Le, Pbumax/Pinf,
//   problem
// end is "bond failure", "step limit" or "refused" (the run checks refused the point; problem
// says why and the run's columns are empty). A swept input shows the value its field stores;
// for ds that is the initial ds field's number, of which the run starts from / 100. Numbers
// are the shortest text that reads back as the same value; a missing number is empty.
//
// JSON lines: one object per point with the same names; a missing number is null.

#include "core/study/Study.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace orvane {

// One metadata line, "# name,value[,unit]" with CR LF.
std::string CsvMetadataLine(std::string_view name, std::string_view value,
                            std::string_view unit = {});
// The metadata of a study's base data set: program, comment, law, lawFrom, the inputs.
std::string StudyBaseMetadata(const StudyDefinition& study);
// The closing metadata of a study's CSV: how many points were done of total and whether the
// study was complete.
std::string StudyClosingLines(std::int64_t pointsDone, std::int64_t total);

// The end of a point as its row gives it.
std::string_view PointEndText(const StudyPointResult& result);

class StudyCsvWriter {
public:
    // out and study must outlive the writer; the caller checks out's state.
    StudyCsvWriter(std::ostream& out, const StudyDefinition& study);

    // The metadata of the study and the header row.
    void begin();
    void row(const StudyPointResult& result);
    // The closing metadata: how many points were done and whether the study was complete.
    void finish(std::int64_t pointsDone);

private:
    std::ostream& m_out;
    const StudyDefinition& m_study;
};

class StudyJsonLinesWriter {
public:
    StudyJsonLinesWriter(std::ostream& out, const StudyDefinition& study);
    void row(const StudyPointResult& result);

private:
    std::ostream& m_out;
    const StudyDefinition& m_study;
};

} // namespace orvane
