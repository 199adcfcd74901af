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

// The same for a series: each specimen's points, model curve and residuals in a colour of its
// own, named in the legend. The model of specimen k is fit.specimens[k]'s, or for the first
// one fit.modelPath and fit.modelLoad when the fit holds no specimens (a preview).
std::array<FigureData, 2> MakeFitFigures(const std::vector<FitSpecimen>& specimens,
                                         const BondLawFit& fit);
FigureData MakeResidualFigure(const std::vector<FitSpecimen>& specimens, const BondLawFit& fit);

} // namespace orvane
