#pragma once

#include "apps/orvane-batch/LawFromConcrete.h"
#include "core/engine/AnalysisParameters.h"
#include "core/study/Study.h"

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
    std::optional<std::string> xlsx; // --xlsx: the results as an Excel workbook
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
};

// Runs the study; returns the exit status.
int RunStudyCommand(const StudyOptions& options);

} // namespace orvane
