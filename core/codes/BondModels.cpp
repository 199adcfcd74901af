#include "core/codes/BondModels.h"

#include "core/numtext/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace orvane {

namespace {

constexpr std::array<BondSlipModelInfo, 5> kModels{{
    {BondSlipModel::Lu2005Bilinear, "lu2005", "Lu, Teng, Ye & Jiang (2005), bi-linear",
     "X.Z. Lu, J.G. Teng, L.P. Ye, J.J. Jiang, Bond-slip models for FRP sheets/plates bonded "
     "to concrete, Engineering Structures 27 (2005) 920-937, bi-linear model",
     ""},
    {BondSlipModel::Lu2005Simplified, "lu2005-simplified",
     "Lu et al. (2005) simplified, as bi-linear",
     "Lu, Teng, Ye & Jiang, Engineering Structures 27 (2005) 920-937, simplified model",
     "bi-linear law of the simplified model's τmax, s0 and Gf: the published curve rises as "
     "√(s/s0) and falls exponentially; these are the values of the bi-linear model"},
    {BondSlipModel::Lu2005Precise, "lu2005-precise", "Lu et al. (2005) precise, as bi-linear",
     "Lu, Teng, Ye & Jiang, Engineering Structures 27 (2005) 920-937, precise model",
     "bi-linear law of the precise model's τmax, s0 and Gf: the published curve is curved "
     "and ends in an exponential tail; s0 includes the adhesive's and the concrete's elastic "
     "slip"},
    {BondSlipModel::NeubauerRostasy, "neubauer-rostasy",
     "Neubauer & Rostásy (1999) / fib 14, linear-brittle",
     "U. Neubauer, F.S. Rostásy, Bond failure of concrete fiber reinforced polymer plates at "
     "inclined cracks, ACI SP-188 (1999); fib bulletin 14 (2001)",
     "linear-brittle: a softening law with su = smax"},
    {BondSlipModel::Monti2003, "monti2003", "Monti, Renzelli & Luciani (2003), bi-linear",
     "G. Monti, M. Renzelli, P. Luciani, FRP adhesion in uncracked and cracked concrete zones, "
     "FRPRCS-6, Singapore (2003)",
     ""},
}};

// A number typed into a concrete field: the whole text, finite, blanks around it allowed.
std::optional<double> strictNumber(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    return ParseWholeNumber(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

DerivedBondLaw refused(std::string problem) {
    DerivedBondLaw law;
    law.problem = std::move(problem);
    return law;
}

// The bi-linear law through (s0, τmax) enclosing Gf: su = 2·Gf/τmax.
DerivedBondLaw bilinear(double betaW, double tauMax, double s0, double Gf) {
    DerivedBondLaw law;
    law.ok = true;
    law.betaW = betaW;
    law.tauMax = tauMax;
    law.sMax = s0;
    law.su = 2 * Gf / tauMax;
    law.Gf = Gf;
    if (law.su <= s0) {
        return refused("the model's Gf is too small for a softening branch past its peak slip");
    }
    return law;
}

// Lu et al. (2005), Eqs. for the width factor and the bi-linear model:
// βw = √((2.25 − bf/bc)/(1.25 + bf/bc)), τmax = 1.5·βw·ft, s0 = 0.0195·βw·ft,
// Gf = 0.308·βw²·√ft.
struct LuValues {
    double betaW;
    double tauMax;
    double s0;
    double Gf;
};
LuValues luValues(double ratio, double ft) {
    const double betaW = std::sqrt((2.25 - ratio) / (1.25 + ratio));
    return {betaW, 1.5 * betaW * ft, 0.0195 * betaW * ft, 0.308 * betaW * betaW * std::sqrt(ft)};
}

// The precise model's elastic slip se = τmax/K0 with K0 = Ka·Kc/(Ka + Kc), Ka = Ga/ta of the
// adhesive and Kc = Gc/tc of a 5 mm layer of concrete (Lu et al. 2005). The shear moduli from
// the Young's moduli with Poisson's ratios 0.35 (epoxy) and 0.2 (concrete).
double elasticSlip(double tauMax, const AnalysisParameters& p) {
    const double Ga = double(p.Er) / (2 * (1 + 0.35));
    const double Gc = double(p.Ec) / (2 * (1 + 0.2));
    const double Ka = Ga / double(p.tr);
    const double Kc = Gc / 5.0;
    return tauMax / (Ka * Kc / (Ka + Kc));
}

} // namespace

std::span<const BondSlipModelInfo> BondSlipModels() {
    return kModels;
}

const BondSlipModelInfo& ModelInfo(BondSlipModel model) {
    for (const BondSlipModelInfo& info : kModels) {
        if (info.model == model) {
            return info;
        }
    }
    return kModels.front();
}

std::optional<BondSlipModel> FindBondSlipModel(std::string_view name) {
    for (const BondSlipModelInfo& info : kModels) {
        if (info.name == name) {
            return info.model;
        }
    }
    return std::nullopt;
}

double TensileStrengthFromFc(double fc) {
    return 0.30 * std::cbrt(fc * fc);
}

double CylinderStrengthFromEc(double Ec) {
    return (Ec / 4700) * (Ec / 4700);
}

std::optional<std::string> ReadConcrete(const ConcreteInput& input, ConcreteStrength& strength) {
    const std::optional<double> fc = strictNumber(input.fcText);
    if (!fc || *fc <= 0) {
        return "fc′ (cylinder strength, MPa) must be a positive number, not \"" + input.fcText +
               "\"";
    }
    strength.fc = *fc;
    if (input.ftText.find_first_not_of(' ') == std::string::npos) {
        strength.ft = TensileStrengthFromFc(*fc);
        strength.ftDerived = true;
        return std::nullopt;
    }
    const std::optional<double> ft = strictNumber(input.ftText);
    if (!ft || *ft <= 0) {
        return "ft (tensile strength, MPa) must be a positive number or empty, not \"" +
               input.ftText + "\"";
    }
    strength.ft = *ft;
    strength.ftDerived = false;
    return std::nullopt;
}

DerivedBondLaw DeriveBondLaw(BondSlipModel model, const ConcreteStrength& concrete,
                             const AnalysisParameters& p) {
    if (!(concrete.fc > 0) || !(concrete.ft > 0)) {
        return refused("fc′ and ft must be positive");
    }
    if (!(p.b > 0) || !(p.bc > 0)) {
        return refused("the laminate width b and the concrete width bc must be positive");
    }
    const double ratio = double(p.b) / double(p.bc);
    // Every model was calibrated on laminates no wider than the concrete block.
    if (ratio > 1) {
        return refused("the width ratio b/bc is above 1: the laminate is wider than the "
                       "concrete, outside every model's calibration");
    }
    const double ft = concrete.ft;
    switch (model) {
    case BondSlipModel::Lu2005Bilinear:
    case BondSlipModel::Lu2005Simplified: {
        const LuValues lu = luValues(ratio, ft);
        return bilinear(lu.betaW, lu.tauMax, lu.s0, lu.Gf);
    }
    case BondSlipModel::Lu2005Precise: {
        if (!(p.tr > 0) || !(p.Er > 0) || !(p.Ec > 0)) {
            return refused("the precise model needs positive tr, Er and Ec");
        }
        // s0 = 0.0195·βw·ft + 2·se.
        const LuValues lu = luValues(ratio, ft);
        return bilinear(lu.betaW, lu.tauMax, lu.s0 + 2 * elasticSlip(lu.tauMax, p), lu.Gf);
    }
    case BondSlipModel::NeubauerRostasy: {
        // fib bulletin 14 (2001) after Neubauer & Rostásy (1999): τmax = 1.8·kb·fctm,
        // s0 = 0.202·kb, kb = 1.06·√((2 − b/bc)/(1 + b/400)) ≥ 1 (b in mm); the bond then
        // fails at s0.
        const double kb = std::max(1.0, 1.06 * std::sqrt((2 - ratio) / (1 + double(p.b) / 400)));
        DerivedBondLaw law;
        law.ok = true;
        law.betaW = kb;
        law.tauMax = 1.8 * kb * ft;
        law.sMax = 0.202 * kb;
        law.su = law.sMax;
        law.Gf = law.tauMax * law.sMax / 2;
        return law;
    }
    case BondSlipModel::Monti2003: {
        // Monti et al. (2003): βw = √((1.5 − b/bc)/(1 + b/100)), τmax = 1.8·βw·fctm,
        // s0 = 2.5·τmax·(ta/Ea + 50/Ec), sf = 0.33·βw.
        if (!(p.tr > 0) || !(p.Er > 0) || !(p.Ec > 0)) {
            return refused("Monti's law needs positive tr, Er and Ec");
        }
        const double betaW = std::sqrt((1.5 - ratio) / (1 + double(p.b) / 100));
        const double tauMax = 1.8 * betaW * ft;
        const double s0 = 2.5 * tauMax * (double(p.tr) / double(p.Er) + 50 / double(p.Ec));
        const double sf = 0.33 * betaW;
        return bilinear(betaW, tauMax, s0, tauMax * sf / 2);
    }
    }
    return refused("unknown model");
}

AnalysisParameters WithDerivedLaw(const AnalysisParameters& params, const DerivedBondLaw& law) {
    AnalysisParameters derived = params;
    derived.bondModel = BondModel::BilinearSoftening;
    derived.tauMax = static_cast<float>(law.tauMax);
    derived.sMax = static_cast<float>(law.sMax);
    derived.su = static_cast<float>(law.su);
    return derived;
}

std::string LawFieldText(double value) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
    return std::string(text, result.ptr);
}

LawPlausibility CheckLawPlausibility(const AnalysisParameters& params,
                                     const ConcreteStrength& concrete) {
    LawPlausibility check;
    check.tauMaxEntered = params.tauMax;
    check.GfEntered = ComputeBondQuantities(params).Gf;
    const DerivedBondLaw model = DeriveBondLaw(BondSlipModel::Lu2005Bilinear, concrete, params);
    if (!model.ok) {
        check.modelProblem = model.problem;
        return check;
    }
    check.compared = true;
    check.tauMaxModel = model.tauMax;
    check.GfModel = model.Gf;
    const auto apart = [](double a, double b) {
        return !(a <= kPlausibilityFactor * b && b <= kPlausibilityFactor * a);
    };
    check.differs =
        apart(check.tauMaxEntered, check.tauMaxModel) || apart(check.GfEntered, check.GfModel);
    return check;
}

std::string PlausibilityWarning(const LawPlausibility& p) {
    if (!p.compared || !p.differs) {
        return {};
    }
    return "the law's tauMax or Gf lies more than a factor of 2 from Lu et al. (2005) for this "
           "concrete: check the law against fc'";
}

} // namespace orvane
