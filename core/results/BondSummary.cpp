#include "core/results/BondSummary.h"

#include "core/numtext/NumberText.h"

#include <cmath>

namespace orvane {

namespace {

std::string masked(double value, std::string_view mask) {
    return std::isfinite(value) ? FormatMask(value, mask) : std::string("-");
}

} // namespace

std::vector<BondSummaryLine> BondSummaryLines(const BondQuantities& q, double Pbumax) {
    return {
        {"Gf", "Gf", "fracture energy", masked(q.Gf, "0.0000"), "N/mm"},
        {"P∞", "Pinf", "closed-form ultimate load of a long bond", masked(q.Pinf, "0.0"), "N"},
        {"Le", "Le", "effective bond length (97 % of P∞)", masked(q.Le, "0.0"), "mm"},
        {"lb", "lb", "bond length", masked(q.lb, "0.000"), "mm"},
        {"n·Δl", "n*dl", "analysed length, " + std::to_string(q.n) + " elements",
         masked(q.analysedLength, "0.000"), "mm"},
        {"Pbumax", "Pbumax", "largest load of the run", masked(Pbumax, "0.0"), "N"},
        {"Pbumax/P∞", "Pbumax/Pinf", "the run against the closed form",
         masked(LoadRatio(Pbumax, q), "0.0000"), ""},
    };
}

} // namespace orvane
