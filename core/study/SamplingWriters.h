#pragma once

// A sampled study's results: one record per sample in sample order, streamed as the samples
// arrive (the conventions of the study's CSV and JSON lines, StudyWriters.h), and a summary.
//
// CSV columns: sample, the sampled inputs by name (the value the field stores; fc′ as the
// model read it), theta (the model factor drawn), steps, Pbumax (N), capacity = theta·Pbumax
// (N; empty for a run that did not end in a bond failure), slmax (mm), end, Gf, Pinf, Le,
// PbumaxOverPinf, problem.
// JSON lines: one object per sample with the same names, program and version first; a
// missing number is null, end is "bond-failure", "step-limit", "stopped", "non-finite" or
// "refused", problem is null for a sample that was run.

#include "core/study/CapacityStatistics.h"
#include "core/study/Sampling.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The end of a sample as the JSON vocabulary names it.
std::string_view SampleEndName(const StudyPointResult& result);

class SampleCsvWriter {
public:
    // out, study and table must outlive the writer; the caller checks out's state.
    SampleCsvWriter(std::ostream& out, const SampledStudy& study, const SampleTable& table);

    // The metadata (base data set, distributions, samples, sampling, seed, model factor) and
    // the header row.
    void begin();
    void row(const StudyPointResult& result);

private:
    std::ostream& m_out;
    const SampledStudy& m_study;
    const SampleTable& m_table;
};

class SampleJsonLinesWriter {
public:
    SampleJsonLinesWriter(std::ostream& out, const SampledStudy& study, const SampleTable& table);
    void row(const StudyPointResult& result);

private:
    std::ostream& m_out;
    const SampledStudy& m_study;
    const SampleTable& m_table;
};

// The summary as one JSON object (one line): the study, the statistics of the capacity and
// the design values, with the warnings.
std::string SampleSummaryJson(const SampledStudy& study, const CapacitySummary& summary,
                              const DesignBasis& basis, std::int64_t samplesDone);
// The same as lines of text for a terminal.
std::string SampleSummaryText(const CapacitySummary& summary, const DesignBasis& basis);

// A sampled study's CSV read back (the whole study's, as one machine or a merge of shards
// wrote it): the study as its metadata describe it (the base's comment, the distributions,
// samples, sampling, seed and model factor; not the base's inputs) and the capacities of the
// samples that have one.
struct SampledCsv {
    SampledStudy study;
    std::vector<double> capacities; // N, in sample order
    std::int64_t excluded = 0;      // rows without a capacity
    std::string error;              // what is not as the writer writes it; empty when read
};
SampledCsv ReadSampledCsv(std::string_view text);

} // namespace orvane
