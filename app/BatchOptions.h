#pragma once

#include "engine/AnalysisParameters.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The command line of orvane-batch:
//   orvane-batch [--model softening|bilinear] [--initial-ds TEXT] [--detail | --no-detail]
//                [--output PATH] [--json] [--csv FILE|-] [--csv-distribution FILE|-]
//                [--figure FILE.svg|.pdf|.png] [FILE.kvp]
struct BatchOptions {
    BondModel model = BondModel::BilinearSoftening;
    std::string initialDsText = "1E-07";
    std::optional<bool> detailOutput; // overrides line 7 of the file when given
    std::optional<std::string> outputPath;
    bool json = false;
    std::optional<std::string> csvPath;             // "-": standard output
    std::optional<std::string> csvDistributionPath; // "-": standard output
    std::optional<std::string> figurePath;
    bool help = false;
    std::optional<std::string> parameterFile;
};

struct BatchOptionsParse {
    BatchOptions options;
    std::string error; // empty when the command line is valid
};

BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments);

extern const char* const kBatchUsage;

} // namespace orvane
