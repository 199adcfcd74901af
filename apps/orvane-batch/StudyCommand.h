#pragma once

#include "apps/orvane-batch/LawFromConcrete.h"
#include "core/engine/AnalysisParameters.h"
#include "core/study/Sampling.h"
#include "core/study/SamplingWriters.h"
#include "core/study/Shard.h"
#include "core/study/Study.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The options of orvane-batch study: a parametric study of a base data set.
struct StudyOptions {
    std::vector<Sweep> sweeps;
    std::optional<BondModel> model;           // none: the data-set file's, else softening
    std::optional<std::string> initialDsText; // none: the data-set file's, else "1E-07"
    int jobs = 0;                             // 0: DefaultJobs()
    std::optional<std::string> csv;
    std::optional<std::string> jsonl;
    std::optional<std::string> figure;
    LawFromOptions lawFrom;
    std::optional<std::string> baseFile;
    bool help = false;
    std::optional<Shard> shard; // --shard K/N: only the K-th of N parts of the points

    // A sampled study: --sample N with --vary NAME=DISTRIBUTION.
    std::vector<SampledInput> distributions;
    std::optional<std::int64_t> samples;
    SamplingMethod sampling = SamplingMethod::LatinHypercube;
    std::uint64_t seed = 1;
    std::optional<std::string> modelFactor; // a file, or MEAN:COV
    std::optional<double> partialFactor;
    std::optional<double> targetBeta;
    std::optional<std::string> summary; // the summary as JSON; "-": standard output
    std::optional<std::string> xlsx;    // --xlsx: the results as an Excel workbook
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
};

// orvane-batch study merge SHARD... -o OUT [--summary FILE|-] [--figure FILE]
struct StudyMergeOptions {
    std::vector<std::string> shards;
    std::optional<std::string> output;
    // For a sampled study's CSV: the summary and figure of the merged samples.
    std::optional<std::string> summary;
    std::optional<std::string> figure;
    std::optional<double> partialFactor;
    std::optional<double> targetBeta;
    bool help = false;
    bool quiet = false;
};

// Runs the study; returns the exit status.
int RunStudyCommand(const StudyOptions& options);
// A sampled study (options.samples is set); returns the exit status.
int RunSampledStudyCommand(const StudyOptions& options);
// Joins shard outputs into the whole study's file.
int RunStudyMergeCommand(const StudyMergeOptions& options);
// The summary of a sampled study's capacities on standard error, as JSON to summaryPath and
// as a figure, as both the study and the merge of its shards give them; returns the exit
// status. command begins the messages; quiet leaves only the summary's warnings on standard
// error.
int ReportCapacities(const SampledCsv& sampled, const DesignBasis& basis,
                     const std::optional<std::string>& summaryPath,
                     const std::optional<std::string>& figurePath, const std::string& command,
                     bool quiet);

} // namespace orvane
