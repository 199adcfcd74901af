#pragma once

// The design codes' rows beside Orvane's own closed forms for one data set, as a terminal text,
// JSON and CSV: what `orvane-batch codes` writes and the "Design codes" window shows.

#include "core/codes/DesignCodes.h"
#include "core/engine/BondQuantities.h"

#include <string>
#include <vector>

namespace orvane {

// Where fc′ came from.
enum class FcSource { Given, EstimatedFromEc };

struct DesignCodeTable {
    AnalysisParameters params;
    ConcreteStrength concrete;
    FcSource fcSource = FcSource::Given;
    DesignFactors factors;
    std::vector<CodeCheck> rows;
    BondQuantities bond;       // of the data set's own law
    double closedFormLoad = 0; // the data set's law on a rigid substrate at its lb, N
};

DesignCodeTable MakeDesignCodeTable(const AnalysisParameters& params,
                                    const ConcreteStrength& concrete, FcSource fcSource,
                                    const DesignFactors& factors = {});

// Some row lies outside its code's scope.
bool AnyOutOfScope(const DesignCodeTable& table);

// What the outputs warn when a code's scope excludes the case.
inline constexpr char kOutOfScopeWarning[] = "a code's scope excludes this case; its row says why";

// How the concrete's strengths were found, one line: "fc' 30 MPa (given), ft 2.896 MPa (…)".
std::string ConcreteLine(const DesignCodeTable& table);

// The value of a row as a window or terminal shows it: "6924.5", or "-" where it has none.
std::string CodeValueText(double value);

std::string DesignCodeText(const DesignCodeTable& table);
// One JSON object and a line end.
std::string DesignCodeJson(const DesignCodeTable& table);
// RFC 4180 with CR LF, metadata on "# " lines.
std::string DesignCodeCsv(const DesignCodeTable& table);

} // namespace orvane
