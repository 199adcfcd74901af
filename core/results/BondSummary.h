#pragma once

// The bond quantities beside a run's largest load, as the lines a summary shows them.

#include "core/codes/BondModels.h"
#include "core/engine/BondQuantities.h"

#include <string>
#include <vector>

namespace orvane {

struct BondSummaryLine {
    std::string symbol;  // as a window shows it: "P∞", "n·Δl"
    std::string name;    // in plain letters, for a terminal: "Pinf", "n*dl"
    std::string meaning; // "closed-form ultimate load of a long bond"
    std::string value;   // the number, "-" where the law gives none
    std::string unit;    // "N"; empty for a ratio
};

std::vector<BondSummaryLine> BondSummaryLines(const BondQuantities& quantities, double Pbumax);

// The law's τmax and Gf beside those of the default model (Lu et al. 2005) for the concrete,
// when the model gives a law for the data set; the warning, if any, is PlausibilityWarning.
std::vector<BondSummaryLine> PlausibilityLines(const LawPlausibility& plausibility);

// The plain note when lb < Le.
inline constexpr char kShortBondNote[] =
    "the bond is shorter than its effective length: the load could still grow with lb";

} // namespace orvane
