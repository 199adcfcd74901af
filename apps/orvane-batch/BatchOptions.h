#pragma once

#include "apps/orvane-batch/LawFromConcrete.h"
#include "core/engine/AnalysisParameters.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The options of a run, the command of orvane-batch that has no name (CommandLine.h).
struct BatchOptions {
    std::optional<BondModel> model;           // none: the data-set file's, else softening
    std::optional<std::string> initialDsText; // none: the data-set file's, else "1E-07"
    std::optional<bool> detailOutput;         // overrides line 7 of the file when given
    std::optional<std::string> outputPath;    // "-" is standard output
    bool json = false;
    std::optional<std::string> csvPath;             // "-": standard output
    std::optional<std::string> csvDistributionPath; // "-": standard output
    std::optional<std::string> figurePath;
    bool force = false; // replace an existing result file whose name the run derived
    bool help = false;
    std::optional<std::string> xlsx; // --xlsx: the results as an Excel workbook
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
    bool version = false;
    LawFromOptions lawFrom;
    std::optional<std::string> parameterFile;

    bool operator==(const BatchOptions&) const = default;
};

struct BatchOptionsParse {
    BatchOptions options;
    std::string error; // empty when the command line is valid
};

// The run's options alone, read as ParseCommandLine reads them.
BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments);

} // namespace orvane
