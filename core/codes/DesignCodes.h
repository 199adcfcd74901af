#pragma once

// The design codes' single-joint checks: each code's debonding load of the pull-out joint
// (a mean or characteristic value as the code gives it, and the design value) and its effective
// bond length, for the data set's laminate and bond length and the concrete's strengths. The
// ACI row is a debonding-strain limit calibrated on flexural members, not a joint model, and
// says so.
//
// Units: N, mm, MPa.

#include "core/codes/BondModels.h"
#include "core/engine/AnalysisParameters.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class DesignCode { ChenTeng2001, Fib14, CnrDt200, Jsce2001, Tr55, Aci440 };

// The partial and model factors the engineer may change, with the codes' values as defaults.
struct DesignFactors {
    double chenTengDesign = 0.315; // Chen & Teng: design coefficient in place of the mean 0.427
    double fibAlpha = 0.9;         // fib 14: reduction for inclined cracks
    double fibKc = 1.0;            // fib 14: compaction (0.67 for poorly compacted concrete)
    double fibGammaC = 1.5;        // fib 14: concrete partial factor on the bond force
    double cnrKgMean = 0.077;      // CNR: kG of the mean fracture energy, mm (wet lay-up)
    double cnrKgDesign = 0.037;    // CNR: kG of the design fracture energy, mm (wet lay-up)
    double cnrFC = 1.0;            // CNR: confidence factor of the concrete's strength
    double cnrGammaFd = 1.2;       // CNR: partial factor for debonding (application type A)
    double cnrGammaRd = 1.25;      // CNR: model factor of the optimal bond length
    double jsceGf = 0.5;           // JSCE: interfacial fracture energy without tests, N/mm
    double jsceGammaB = 1.3;       // JSCE: member factor
    double tr55GammaMb = 1.5;      // TR55: partial factor on the bond
    double aciN = 1;               // ACI: number of plies
    double aciPsiF = 0.85;         // ACI: FRP strength reduction factor
};

// One settable factor: its name on the command line ("fib.alpha"), its meaning and its place.
struct DesignFactorInfo {
    std::string_view name;
    std::string_view meaning;
    double DesignFactors::*field;
};
std::span<const DesignFactorInfo> DesignFactorTable();

// Sets "NAME=VALUE"; returns the problem (unknown name, not a positive number) or empty.
std::string SetDesignFactor(DesignFactors& factors, std::string_view assignment);

struct NamedFactor {
    std::string name;
    double value;
};

struct CodeCheck {
    DesignCode code;
    std::string name;      // "chen-teng-2001"
    std::string title;     // "Chen & Teng (2001)"
    std::string clause;    // the document and clause behind the numbers
    std::string valueKind; // what P is: "mean", "characteristic", "flexural limit"
    bool inScope = false;
    std::string scopeNote; // why the code gives no number here; empty when in scope
    std::string note;      // what to keep in mind even in scope
    double P = 0;          // N
    double Pd = 0;         // N
    double Le = 0;         // the code's effective bond length, mm; NaN where it gives none
    std::vector<NamedFactor> factors;
};

// Every code's row for the data set (b, tf, Ef, lb, bc) and the concrete. A row out of its
// code's scope carries the reason instead of numbers.
std::vector<CodeCheck> CheckDesignCodes(const AnalysisParameters& params,
                                        const ConcreteStrength& concrete,
                                        const DesignFactors& factors = {});

} // namespace orvane
