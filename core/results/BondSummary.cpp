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

std::vector<BondSummaryLine> PlausibilityLines(const LawPlausibility& p) {
    if (!p.compared) {
        return {};
    }
    return {
        {"τmax (Lu 2005)", "lu2005.tau", "Lu et al. (2005) for this concrete",
         masked(p.tauMaxModel, "0.000"), "N/mm²"},
        {"Gf (Lu 2005)", "lu2005.Gf", "Lu et al. (2005) for this concrete",
         masked(p.GfModel, "0.0000"), "N/mm"},
        {"τmax/τmax (Lu)", "tau/lu2005", "the law against the model (warning beyond 2 or 1/2)",
         masked(p.tauMaxEntered / p.tauMaxModel, "0.00"), ""},
        {"Gf/Gf (Lu)", "Gf/lu2005", "the law against the model (warning beyond 2 or 1/2)",
         masked(p.GfEntered / p.GfModel, "0.00"), ""},
    };
}

} // namespace orvane
