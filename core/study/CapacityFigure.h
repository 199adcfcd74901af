#pragma once

// The figures of a sampled study: the histogram of the capacities and their empirical
// distribution beside the fitted lognormal, each with the 5 % fractile and the design values
// marked. Drawn as the other figures are (FigureData): side by side in a window, one above
// the other in a file.

#include "core/results/RunFigure.h"
#include "core/study/CapacityStatistics.h"
#include "core/study/Sampling.h"

#include <array>
#include <string>
#include <vector>

namespace orvane {

// The points an empirical distribution keeps at most: more cannot be told apart on a page.
inline constexpr std::size_t kMaxDistributionSteps = 2000;

// The caption of the study's figures: the comment, then the distributions, θ and the
// sampling.
std::vector<std::string> CapacityCaption(const SampledStudy& study);

// The capacities (N, any order, at least two), their summary, the design basis it was made
// with and the caption's lines.
std::array<FigureData, 2> MakeCapacityFigures(std::vector<double> capacities,
                                              const CapacitySummary& summary,
                                              const DesignBasis& basis,
                                              const std::vector<std::string>& caption);

} // namespace orvane
