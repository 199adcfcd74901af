#pragma once

#include "apps/orvane-batch/LawFromConcrete.h"
// orvane-batch fit: calibrates the bond-slip law of a base parameter file to a measured
// load-slip curve and writes the fitted parameter file and a CSV of measured against model.

#include "core/engine/AnalysisParameters.h"
#include "fit/MeasuredCurve.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// One specimen of a series: its measured file and its own base file (none: the command's).
struct FitSpecimenFiles {
    std::string measuredFile;
    std::optional<std::string> baseFile;
};

struct FitOptions {
    std::string measuredFile;
    std::vector<FitSpecimenFiles> specimens; // --specimen: a series, instead of --measured FILE
    MeasuredQuantity quantity = MeasuredQuantity::Load;
    MeasuredFileLayout layout;     // --columns, --units, --decimal, --slip-scatter
    FitRange range;                // --range
    bool fitSeatingOffset = false; // --offset
    std::vector<BondModel> laws = {BondModel::BilinearSoftening};
    // "τmax", "smax" or "su" fixed at a text; an empty text keeps the base file's.
    std::array<std::optional<std::string>, 3> fixed;
    std::optional<std::string> initialDsText; // none: the data-set file's, else "1E-07"
    int jobs = 0;
    std::optional<std::string> outputPrefix;
    std::optional<std::string> figureFile;
    bool json = false;
    bool force = false; // replace existing files whose names were derived from the measured file
    bool help = false;
    std::optional<std::string> xlsx; // --xlsx: the results as an Excel workbook
    bool quiet = false; // no progress line, no summary or notes: errors and warnings only
    LawFromOptions lawFrom;
    std::optional<std::string> parameterFile;
};

struct FitOptionsParse {
    FitOptions options;
    std::string error; // empty when the command line is valid
};

// arguments: what follows "fit" on the command line, read as ParseCommandLine reads it.
FitOptionsParse ParseFitOptions(const std::vector<std::string>& arguments);

// Runs the command; returns the exit status.
int RunFitCommand(const FitOptions& options);

} // namespace orvane
