#pragma once

#include "core/codes/DesignCodes.h"

#include <optional>
#include <string>

namespace orvane {

// The options of orvane-batch codes: the design codes' single-joint checks of a data set.
struct CodesOptions {
    std::optional<std::string> fc; // fc′ text; none: estimated from the data set's Ec
    std::optional<std::string> ft; // ft text; none: from fc′
    DesignFactors factors;
    bool json = false;
    std::optional<std::string> csv; // "-": standard output
    std::optional<std::string> baseFile;
    bool help = false;
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
};

// Writes the table; returns the exit status.
int RunCodesCommand(const CodesOptions& options);

} // namespace orvane
