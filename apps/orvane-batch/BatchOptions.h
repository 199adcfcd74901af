#pragma once

#include "core/engine/AnalysisParameters.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The command line of orvane-batch:
//   orvane-batch [-m|--model softening|bilinear] [--initial-ds TEXT] [-d|--detail | --no-detail]
//                [-o|--output PATH|-] [--json] [--csv FILE|-] [--csv-distribution FILE|-]
//                [--figure FILE.svg|.pdf|.png] [-f|--force] [-h|--help] [-V|--version]
//                [FILE.kvp]
struct BatchOptions {
    BondModel model = BondModel::BilinearSoftening;
    std::string initialDsText = "1E-07";
    std::optional<bool> detailOutput;      // overrides line 7 of the file when given
    std::optional<std::string> outputPath; // "-" is standard output
    bool json = false;
    std::optional<std::string> csvPath;             // "-": standard output
    std::optional<std::string> csvDistributionPath; // "-": standard output
    std::optional<std::string> figurePath;
    bool force = false; // replace an existing result file whose name the run derived
    bool help = false;
    bool version = false;
    std::optional<std::string> parameterFile;

    bool operator==(const BatchOptions&) const = default;
};

struct BatchOptionsParse {
    BatchOptions options;
    std::string error; // empty when the command line is valid
};

// Reads the arguments after the program name with getopt_long: long options take their value
// as the next argument or after '=' and may be shortened to a unique prefix, short options may
// be grouped, "--" ends the options, and options and the file may come in any order. An empty
// value or file name is refused. Uses getopt's global state, so one thread at a time.
BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments);

extern const char* const kBatchUsage;

} // namespace orvane
