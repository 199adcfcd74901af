#pragma once

// orvane-batch convert: a parameter file (.kvp) to a data-set file (.orv) and back, so that
// scripts can move their files over.

#include "core/engine/AnalysisParameters.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct ConvertOptions {
    std::vector<std::string> files;           // IN and OUT
    std::optional<BondModel> model;           // replaces IN's law; a .kvp has none
    std::optional<std::string> initialDsText; // replaces IN's initial ds
    bool help = false;
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
};

// Reads IN (a data-set or parameter file, by extension or contents) and writes OUT in the
// form its extension names, whole or not at all; returns the exit status. Warns on standard
// error when OUT is a parameter file that cannot keep the law, the initial ds or the concrete
// inputs, and when IN is a parameter file whose law no option named.
int RunConvertCommand(const ConvertOptions& options);

} // namespace orvane
