#pragma once

// The figures of a sampled study: the histogram of the capacities and their empirical
// distribution beside the fitted lognormal, each with the 5 % fractile and the design values
// marked. Drawn as the other figures are (FigureData), side by side.

#include "core/results/RunFigure.h"
#include "core/study/CapacityStatistics.h"

#include <array>
#include <string>
#include <vector>

namespace orvane {

// The points an empirical distribution keeps at most: more cannot be told apart on a page.
inline constexpr std::size_t kMaxDistributionSteps = 2000;

// The capacities (N, any order, at least two), their summary and the caption's lines.
std::array<FigureData, 2> MakeCapacityFigures(std::vector<double> capacities,
                                              const CapacitySummary& summary,
                                              const std::vector<std::string>& caption);

} // namespace orvane
