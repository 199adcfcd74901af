#include "core/codes/DesignCodes.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

namespace orvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr std::array<DesignFactorInfo, 14> kFactors{{
    {"chen-teng.design", "Chen & Teng design coefficient (mean 0.427)",
     &DesignFactors::chenTengDesign},
    {"fib.alpha", "fib 14 α, inclined cracks", &DesignFactors::fibAlpha},
    {"fib.kc", "fib 14 kc, compaction", &DesignFactors::fibKc},
    {"fib.gammaC", "fib 14 γc, concrete", &DesignFactors::fibGammaC},
    {"cnr.kGm", "CNR kG of the mean ΓF, mm", &DesignFactors::cnrKgMean},
    {"cnr.kG", "CNR kG of the design ΓFd, mm", &DesignFactors::cnrKgDesign},
    {"cnr.FC", "CNR confidence factor FC", &DesignFactors::cnrFC},
    {"cnr.gammaFd", "CNR γf,d, debonding", &DesignFactors::cnrGammaFd},
    {"cnr.gammaRd", "CNR γRd, bond length model", &DesignFactors::cnrGammaRd},
    {"jsce.Gf", "JSCE Gf, N/mm", &DesignFactors::jsceGf},
    {"jsce.gammaB", "JSCE γb, member", &DesignFactors::jsceGammaB},
    {"tr55.gammaMb", "TR55 γmb, bond", &DesignFactors::tr55GammaMb},
    {"aci.n", "ACI n, plies", &DesignFactors::aciN},
    {"aci.psiF", "ACI ψf, FRP reduction", &DesignFactors::aciPsiF},
}};

// What the codes share: the laminate's axial stiffness per width and the width ratio.
struct Joint {
    double bf;
    double tf;
    double Ef;
    double k; // Ef·tf, N/mm
    double L;
    double ratio; // bf/bc
};

// The parabolic reduction of fib 14, TR55 and CNR for a bond shorter than the code's length:
// (L/Le)·(2 − L/Le).
double shortBondFactor(double L, double Le) {
    if (L >= Le) {
        return 1;
    }
    const double r = L / Le;
    return r * (2 - r);
}

CodeCheck row(DesignCode code, std::string name, std::string title, std::string clause,
              std::string valueKind) {
    CodeCheck c;
    c.code = code;
    c.name = std::move(name);
    c.title = std::move(title);
    c.clause = std::move(clause);
    c.valueKind = std::move(valueKind);
    c.P = kNaN;
    c.Pd = kNaN;
    c.Le = kNaN;
    return c;
}

CodeCheck outOfScope(CodeCheck c, std::string reason) {
    c.inScope = false;
    c.scopeNote = std::move(reason);
    c.P = kNaN;
    c.Pd = kNaN;
    return c;
}

const char kWiderThanMember[] =
    "out of scope: the laminate is wider than the concrete (b/bc above 1)";

// Chen & Teng (2001), J. Struct. Eng. 127(7), the proposed model:
// Pu = 0.427·βp·βL·√fc′·bf·Le, Le = √(Ef·tf/√fc′), βp = √((2 − bf/bc)/(1 + bf/bc)),
// βL = 1 for L ≥ Le, sin(πL/(2Le)) below. Design: 0.315 in place of 0.427 (the 95 % fractile).
CodeCheck chenTeng(const Joint& j, double fc, const DesignFactors& f) {
    CodeCheck c =
        row(DesignCode::ChenTeng2001, "chen-teng-2001", "Chen & Teng (2001)",
            "J. Struct. Eng. 127(7), 2001: the proposed anchorage strength model", "mean");
    c.factors = {{"mean", 0.427}, {"chen-teng.design", f.chenTengDesign}};
    c.Le = std::sqrt(j.k / std::sqrt(fc));
    if (j.ratio > 1) {
        return outOfScope(c, kWiderThanMember);
    }
    const double betaP = std::sqrt((2 - j.ratio) / (1 + j.ratio));
    const double betaL = j.L >= c.Le ? 1 : std::sin(std::numbers::pi * j.L / (2 * c.Le));
    const double base = betaP * betaL * std::sqrt(fc) * j.bf * c.Le;
    c.inScope = true;
    c.P = 0.427 * base;
    c.Pd = f.chenTengDesign * base;
    return c;
}

// fib bulletin 14 (2001), end anchorage after Neubauer & Rostásy:
// Nfa,max = α·c1·kc·kb·bf·√(Ef·tf·fctm), lb,max = √(Ef·tf/(c2·fctm)), c1 = 0.64, c2 = 2,
// kb = 1.06·√((2 − bf/b)/(1 + bf/400)) ≥ 1; a shorter bond: × (L/lb,max)·(2 − L/lb,max).
CodeCheck fib14(const Joint& j, double ft, const DesignFactors& f) {
    CodeCheck c = row(DesignCode::Fib14, "fib-14", "fib bulletin 14 (2001)",
                      "fib bulletin 14 (2001): end anchorage, after Neubauer & Rostásy", "mean");
    c.factors = {{"c1", 0.64},
                 {"c2", 2},
                 {"fib.alpha", f.fibAlpha},
                 {"fib.kc", f.fibKc},
                 {"fib.gammaC", f.fibGammaC}};
    c.Le = std::sqrt(j.k / (2 * ft));
    if (j.ratio > 1) {
        return outOfScope(c, kWiderThanMember);
    }
    const double kb = std::max(1.0, 1.06 * std::sqrt((2 - j.ratio) / (1 + j.bf / 400)));
    c.inScope = true;
    c.P =
        f.fibAlpha * 0.64 * f.fibKc * kb * j.bf * std::sqrt(j.k * ft) * shortBondFactor(j.L, c.Le);
    c.Pd = c.P / f.fibGammaC;
    return c;
}

// CNR-DT 200 R1/2013, 4.1 (end debonding): ΓF = (kb·kG/FC)·√(fcm·fctm),
// kb = √((2 − bf/b)/(1 + bf/b)) ≥ 1 with bf/b taken no smaller than 0.25,
// ffdd = √(2·Ef·ΓFd/tf)/γf,d, led = max{√(π²·Ef·tf·ΓFd/2)/(γRd·fbd), 200 mm}, fbd = 2·ΓFd/su,
// su = 0.25 mm; a shorter bond: × (L/led)·(2 − L/led). The mean value takes kG,m and no factors.
CodeCheck cnr(const Joint& j, double fc, double ft, const DesignFactors& f) {
    CodeCheck c = row(DesignCode::CnrDt200, "cnr-dt-200", "CNR-DT 200 R1/2013",
                      "CNR-DT 200 R1/2013, 4.1: end debonding, optimal bond length", "mean");
    c.factors = {{"cnr.kGm", f.cnrKgMean},      {"cnr.kG", f.cnrKgDesign},     {"cnr.FC", f.cnrFC},
                 {"cnr.gammaFd", f.cnrGammaFd}, {"cnr.gammaRd", f.cnrGammaRd}, {"su", 0.25}};
    const double kb =
        std::max(1.0, std::sqrt((2 - std::max(j.ratio, 0.25)) / (1 + std::max(j.ratio, 0.25))));
    const double strength = std::sqrt(fc * ft);
    const auto optimalLength = [&](double gamma, double gammaRd) {
        const double fbd = 2 * gamma / 0.25;
        return std::max(std::sqrt(std::numbers::pi * std::numbers::pi * j.k * gamma / 2) /
                            (gammaRd * fbd),
                        200.0);
    };
    const double gammaD = kb * f.cnrKgDesign / f.cnrFC * strength;
    c.Le = optimalLength(gammaD, f.cnrGammaRd);
    if (j.ratio > 1) {
        return outOfScope(c, kWiderThanMember);
    }
    c.inScope = true;
    const double gammaM = kb * f.cnrKgMean * strength;
    c.P = std::sqrt(2 * j.Ef * gammaM / j.tf) * j.tf * j.bf *
          shortBondFactor(j.L, optimalLength(gammaM, 1));
    c.Pd = std::sqrt(2 * j.Ef * gammaD / j.tf) / f.cnrGammaFd * j.tf * j.bf *
           shortBondFactor(j.L, c.Le);
    c.note = "kG for wet lay-up; use cnr.kGm=0.063, cnr.kG=0.023 for preformed laminates";
    return c;
}

// JSCE (2001), Recommendations for upgrading of concrete structures with use of continuous
// fiber sheets: the peeling load of a long bond, Pu = bf·√(2·Gf·Ef·tf), Gf = 0.5 N/mm
// where it is not tested; the design value divided by the member factor γb.
CodeCheck jsce(const Joint& j, const DesignFactors& f) {
    CodeCheck c = row(DesignCode::Jsce2001, "jsce-2001", "JSCE (2001)",
                      "JSCE Concrete Engineering Series 41 (2001): peeling of the sheet", "mean");
    c.factors = {{"jsce.Gf", f.jsceGf}, {"jsce.gammaB", f.jsceGammaB}};
    if (j.ratio > 1) {
        return outOfScope(c, kWiderThanMember);
    }
    c.inScope = true;
    c.P = j.bf * std::sqrt(2 * f.jsceGf * j.k);
    c.Pd = c.P / f.jsceGammaB;
    c.note = "the load of a long bond: a bond shorter than the recommendations' effective "
             "length holds less, and that length is not computed here";
    return c;
}

// The Concrete Society, TR55, anchorage of bonded FRP: Tk,max = 0.5·kb·bf·√(Ef·tf·fctm),
// lt,max = 0.7·√(Ef·tf/fctm), kb as fib 14; a shorter bond: × (L/lt,max)·(2 − L/lt,max).
CodeCheck tr55(const Joint& j, double ft, const DesignFactors& f) {
    CodeCheck c = row(DesignCode::Tr55, "tr55", "Concrete Society TR55",
                      "Concrete Society TR55: anchorage of bonded FRP", "characteristic");
    c.factors = {{"tr55.gammaMb", f.tr55GammaMb}};
    c.Le = 0.7 * std::sqrt(j.k / ft);
    if (j.ratio > 1) {
        return outOfScope(c, kWiderThanMember);
    }
    const double kb = std::max(1.0, 1.06 * std::sqrt((2 - j.ratio) / (1 + j.bf / 400)));
    c.inScope = true;
    c.P = 0.5 * kb * j.bf * std::sqrt(j.k * ft) * shortBondFactor(j.L, c.Le);
    c.Pd = c.P / f.tr55GammaMb;
    return c;
}

// ACI 440.2R-17, 10.1.1, Eq. (10.1.1) in SI units: εfd = 0.41·√(fc′/(n·Ef·tf)) (≤ 0.9·εfu),
// and 14.1.3, Eq. (14.1.3): ldf = √(n·Ef·tf/√fc′) mm (0.057 is the inch-pound coefficient).
// The strain limit was calibrated on flexural members with intermediate-crack debonding.
CodeCheck aci(const Joint& j, double fc, const DesignFactors& f) {
    CodeCheck c = row(DesignCode::Aci440, "aci-440.2r-17", "ACI 440.2R-17 (flexural limit)",
                      "ACI 440.2R-17, Eqs. 10.1.1 and 14.1.3 (SI)", "flexural limit");
    c.factors = {{"aci.n", f.aciN}, {"aci.psiF", f.aciPsiF}};
    c.note = "a debonding strain calibrated on flexural members, not a joint model; the cap "
             "0.9·εfu is not checked";
    c.Le = std::sqrt(f.aciN * j.k / std::sqrt(fc));
    if (j.L < c.Le) {
        return outOfScope(c, "out of scope: the bond is shorter than the development length "
                             "ldf, which the strain limit presumes");
    }
    c.inScope = true;
    const double strain = 0.41 * std::sqrt(fc / (f.aciN * j.k));
    c.P = strain * j.k * j.bf;
    c.Pd = f.aciPsiF * c.P;
    return c;
}

std::optional<double> positiveNumber(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value <= 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::span<const DesignFactorInfo> DesignFactorTable() {
    return kFactors;
}

std::string SetDesignFactor(DesignFactors& factors, std::string_view assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        return "a factor is NAME=VALUE, not \"" + std::string(assignment) + "\"";
    }
    const std::string_view name = assignment.substr(0, equals);
    for (const DesignFactorInfo& info : kFactors) {
        if (info.name == name) {
            const std::optional<double> value = positiveNumber(assignment.substr(equals + 1));
            if (!value) {
                return "the factor " + std::string(name) + " must be a positive number, not \"" +
                       std::string(assignment.substr(equals + 1)) + "\"";
            }
            factors.*info.field = *value;
            return {};
        }
    }
    return "unknown factor \"" + std::string(name) + "\"";
}

std::vector<CodeCheck> CheckDesignCodes(const AnalysisParameters& params,
                                        const ConcreteStrength& concrete,
                                        const DesignFactors& factors) {
    const Joint j{params.b,  params.tf,
                  params.Ef, double(params.Ef) * double(params.tf),
                  params.lb, double(params.b) / double(params.bc)};
    std::vector<CodeCheck> rows{chenTeng(j, concrete.fc, factors),
                                fib14(j, concrete.ft, factors),
                                cnr(j, concrete.fc, concrete.ft, factors),
                                jsce(j, factors),
                                tr55(j, concrete.ft, factors),
                                aci(j, concrete.fc, factors)};
    // A data set the formulas cannot take gives no row a number.
    if (!(j.bf > 0) || !(j.tf > 0) || !(j.Ef > 0) || !(params.bc > 0) || !(j.L > 0) ||
        !(concrete.fc > 0) || !(concrete.ft > 0)) {
        for (CodeCheck& c : rows) {
            c = outOfScope(c, "no value: b, tf, Ef, bc, lb, fc′ and ft must all be positive");
            c.Le = kNaN;
        }
    }
    return rows;
}

} // namespace orvane
