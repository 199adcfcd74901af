#pragma once

// Bond-slip laws derived from the concrete: the published models that give τmax, the slip at
// the peak and the fracture energy from the concrete's strength, the laminate's width against
// the member's and, for some, the adhesive's stiffness. Each is turned into one of Orvane's two
// laws (τmax, smax, su): a bi-linear softening law, which a linear-brittle law is when su = smax.
// Models whose published curve is not bi-linear (the Lu et al. simplified and precise laws) are
// given as the bi-linear law of the same τmax, peak slip and Gf, and say so.
//
// Units: N, mm, MPa (N/mm²).

#include "core/engine/AnalysisParameters.h"
#include "core/engine/BondQuantities.h"
#include "core/engine/ConcreteInput.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

enum class BondSlipModel {
    Lu2005Bilinear,   // the default
    Lu2005Simplified, // as a bi-linear law of the same τmax, s0 and Gf
    Lu2005Precise,    // as a bi-linear law of the same τmax, s0 and Gf
    NeubauerRostasy,  // linear-brittle, as fib bulletin 14 takes it over
    Monti2003,
};

struct BondSlipModelInfo {
    BondSlipModel model;
    std::string_view name;      // on the command line and in files: "lu2005"
    std::string_view title;     // in a window: "Lu, Teng, Ye & Jiang (2005), bi-linear"
    std::string_view reference; // the publication
    std::string_view note;      // how the law stands in for the published curve; may be empty
};

// Every model, the default first.
std::span<const BondSlipModelInfo> BondSlipModels();
const BondSlipModelInfo& ModelInfo(BondSlipModel model);
std::optional<BondSlipModel> FindBondSlipModel(std::string_view name);

// The mean axial tensile strength from the cylinder strength, EN 1992-1-1 Table 3.1,
// fctm = 0.30·fck^(2/3) (for classes up to C50/60), with fc′ in the place of fck: a test joint's
// concrete is known by its measured strength.
double TensileStrengthFromFc(double fc);

// A cylinder strength estimated from the member's modulus where none is given, by ACI 318's
// Ec = 4700·√fc′ (MPa) read backwards: fc′ = (Ec/4700)². Only an estimate: the modulus varies
// with the aggregate as much as with the strength.
double CylinderStrengthFromEc(double Ec);

// The concrete's strengths as the models use them, MPa.
struct ConcreteStrength {
    double fc = 0;
    double ft = 0;
    bool ftDerived = false; // ft from fc′ by TensileStrengthFromFc
};

// The concrete input's texts read as numbers: fc′ must be a positive number, ft empty (then
// derived) or a positive number. Returns the first problem, naming the field, or nothing.
std::optional<std::string> ReadConcrete(const ConcreteInput& input, ConcreteStrength& strength);

// A law derived from the concrete, or the reason there is none.
struct DerivedBondLaw {
    bool ok = false;
    std::string problem; // why the model does not apply to this data set
    double betaW = 0;    // the model's width factor
    double tauMax = 0;   // N/mm²
    double sMax = 0;     // slip at τmax, mm
    double su = 0;       // slip at which the bond carries nothing, mm
    double Gf = 0;       // the area under the law, N/mm
};

// The law of model for the concrete and the data set's laminate (b, tf, Ef), member (bc, Ec)
// and adhesive (tr, Er).
DerivedBondLaw DeriveBondLaw(BondSlipModel model, const ConcreteStrength& concrete,
                             const AnalysisParameters& params);

// The data set with the derived law in place of its own: bi-linear softening, the three values
// rounded to single precision as the parameter fields hold them.
AnalysisParameters WithDerivedLaw(const AnalysisParameters& params, const DerivedBondLaw& law);

// A derived value as the parameter window's field takes it: four significant digits, as the
// models' coefficients carry no more ("3.238", "0.0421").
std::string LawFieldText(double value);

// The entered law beside the default model's for the same concrete. Bond tests on one concrete
// scatter by some ±20 % about these models; a law whose τmax or Gf lies more than a factor of 2
// from the model's cannot be right for the concrete stated, and is flagged.
inline constexpr double kPlausibilityFactor = 2.0;

struct LawPlausibility {
    bool compared = false;    // the model gives a law for this data set
    std::string modelProblem; // why it does not, where it does not
    double tauMaxEntered = 0;
    double GfEntered = 0;
    double tauMaxModel = 0;
    double GfModel = 0;
    bool differs = false; // τmax or Gf more than kPlausibilityFactor apart
};

LawPlausibility CheckLawPlausibility(const AnalysisParameters& params,
                                     const ConcreteStrength& concrete);

// The warning a summary shows when the law differs, or empty.
std::string PlausibilityWarning(const LawPlausibility& plausibility);

} // namespace orvane
