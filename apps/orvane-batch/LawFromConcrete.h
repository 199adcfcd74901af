#pragma once

// --law-from MODEL --fc VALUE [--ft VALUE] on the run, study and fit: the data set's bond law
// replaced by the law a bond-slip model derives from the concrete, and, wherever fc′ is given,
// the law set beside the default model's.

#include "apps/orvane-batch/DataSet.h"
#include "core/codes/BondModels.h"

#include <optional>
#include <string>

namespace orvane {

struct LawFromOptions {
    std::optional<std::string> model; // --law-from: a model name ("lu2005")
    std::optional<std::string> fc;    // --fc, MPa
    std::optional<std::string> ft;    // --ft, MPa

    bool operator==(const LawFromOptions&) const = default;
};

// What the options made of the data set.
struct LawFromConcrete {
    std::string error;                  // why the options cannot be applied; empty if they can
    std::optional<BondSlipModel> model; // the law was derived by this model
    std::optional<ConcreteStrength> concrete; // fc′ was given
};

// Reads the concrete, --fc and --ft over the data-set file's, and, with --law-from, puts the
// derived law into the data set's τmax, smax and su texts as bi-linear softening, records the
// model in its concrete input and makes Execute's copy again.
LawFromConcrete ApplyLawFrom(const LawFromOptions& options, LoadedDataSet& loaded);

// The concrete inputs a command works with: --fc (with its --ft, or none) over the data-set
// file's, --ft alone over the file's ft.
ConcreteInput ConcreteFromCommandLine(const ConcreteInput& file,
                                      const std::optional<std::string>& fc,
                                      const std::optional<std::string>& ft);

// The summary's lines: the law's source and three values, and the plausibility of the law
// against the default model; empty without fc′.
std::string LawFromText(const LawFromConcrete& law, const AnalysisParameters& params);
// The same as JSON members, each with a leading comma.
std::string LawFromJson(const LawFromConcrete& law, const AnalysisParameters& params);

} // namespace orvane
