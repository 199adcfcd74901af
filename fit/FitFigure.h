#pragma once

// The figure of a fit, in two panels: the measured points over the fitted model's load-slip
// curve, and the fitted bond-slip law.

#include "core/results/RunFigure.h"
#include "fit/BondLawFit.h"

#include <array>
#include <string>

namespace orvane {

// measuredName names the measured curve in the caption (a file name). Before a fit (no model
// path, no parameter texts) the measured points stand alone beside the data set's law.
std::array<FigureData, 2> MakeFitFigures(const FitTarget& target, const BondLawFit& fit,
                                         const std::string& measuredName);

// The residuals, measured load − model load, against slip, with the zero line: scatter
// without a trend means the law's shape follows the record. Empty before a fit.
FigureData MakeResidualFigure(const FitTarget& target, const BondLawFit& fit);

} // namespace orvane
