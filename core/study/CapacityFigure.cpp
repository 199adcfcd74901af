#include "core/study/CapacityFigure.h"

#include "core/numtext/NumberText.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace orvane {

namespace {

constexpr std::string_view kCapacityTitle = "capacity θ·Pbumax (N)";

std::string newton(double value) {
    return FormatMask(value, "0") + " N";
}

// The vertical marks shared by both panels, up to the axis top: references, drawn under the
// samples.
void addMarks(FigureData& figure, const CapacitySummary& summary, const DesignBasis& basis,
              double top) {
    const std::size_t first = figure.curves.size();
    const double fractile = summary.fractile.value;
    figure.curves.push_back(
        {"5 % fractile " + newton(fractile), true, false, 2, {{fractile, 0}, {fractile, top}}});
    if (const std::optional<double> design = summary.designByPartialFactor) {
        figure.curves.push_back(
            {"Rd = R5%/γM (γM " + ShortestText(*basis.partialFactor) + ") " + newton(*design),
             true,
             false,
             3,
             {{*design, 0}, {*design, top}}});
    }
    if (const std::optional<double> design = summary.designByReliability) {
        figure.curves.push_back(
            {"Rd at β " + ShortestText(*basis.targetBeta) + " (lognormal) " + newton(*design),
             true,
             false,
             5,
             {{*design, 0}, {*design, top}}});
    }
    for (std::size_t k = first; k < figure.curves.size(); ++k) {
        figure.curves[k].reference = true;
    }
}

double lowestMark(const CapacitySummary& summary) {
    double low = summary.min;
    for (const std::optional<double>& design :
         {summary.designByPartialFactor, summary.designByReliability}) {
        if (design) {
            low = std::min(low, *design);
        }
    }
    return low;
}

} // namespace

std::vector<std::string> CapacityCaption(const SampledStudy& study) {
    std::string vary;
    for (const SampledInput& input : study.inputs) {
        vary += (vary.empty() ? "" : ", ") + input.definition();
    }
    if (study.modelFactor) {
        vary += "; θ " + study.modelFactor->definition();
    }
    return {study.base.base.comment, vary + "; " + std::string(SamplingMethodName(study.method)) +
                                         ", seed " + std::to_string(study.seed)};
}

std::array<FigureData, 2> MakeCapacityFigures(std::vector<double> capacities,
                                              const CapacitySummary& summary,
                                              const DesignBasis& basis,
                                              const std::vector<std::string>& caption) {
    assert(capacities.size() >= 2);
    std::sort(capacities.begin(), capacities.end());
    const auto n = capacities.size();
    const double low = lowestMark(summary);
    const double high = capacities.back();

    // Rice's rule, 2·n^(1/3) bins, between 5 and 60: fine enough to show the shape, coarse
    // enough that each bin holds several samples.
    FigureData histogram;
    histogram.title = "Capacity: histogram of " + std::to_string(n) + " samples";
    histogram.caption = caption;
    const auto bins = std::size_t(std::clamp(std::round(2 * std::cbrt(double(n))), 5.0, 60.0));
    const double width = (high - capacities.front()) / double(bins);
    std::vector<std::int64_t> counts(bins, 0);
    for (const double capacity : capacities) {
        const auto bin =
            width > 0 ? std::min(bins - 1, std::size_t((capacity - capacities.front()) / width))
                      : 0;
        ++counts[bin];
    }
    FigureCurve bars{"samples", false, false, 1, {}};
    std::int64_t most = 0;
    for (std::size_t b = 0; b < bins; ++b) {
        const double left = capacities.front() + width * double(b);
        const double right = b + 1 == bins ? high : left + width;
        const auto height = double(counts[b]);
        bars.points.insert(bars.points.end(),
                           {{left, 0}, {left, height}, {right, height}, {right, 0}});
        most = std::max(most, counts[b]);
    }
    histogram.x = MakeFigureAxis(std::string(kCapacityTitle), low, high);
    // Room above the highest bar for the legend.
    histogram.y = MakeFigureAxis("samples", 0, double(most) * 1.4);
    histogram.curves.push_back(std::move(bars));
    addMarks(histogram, summary, basis, histogram.y.max);

    FigureData distribution;
    distribution.title = "Capacity: empirical distribution";
    distribution.caption = caption;
    distribution.x = histogram.x;
    distribution.y = MakeFigureAxis("probability of a capacity below", 0, 1);
    // A step at every order statistic; beyond kMaxDistributionSteps samples, at evenly spaced
    // ranks, which a page cannot tell from all of them.
    FigureCurve steps{"samples", false, false, 1, {}};
    const std::size_t stride = (n + kMaxDistributionSteps - 1) / kMaxDistributionSteps;
    for (std::size_t i = 0; i < n; i += stride) {
        steps.points.push_back({capacities[i], double(i) / double(n)});
        steps.points.push_back({capacities[i], double(i + 1) / double(n)});
    }
    steps.points.push_back({high, 1});
    FigureCurve lognormal{"lognormal fit", true, false, 4, {}};
    if (summary.sdLn > 0) {
        constexpr int kPoints = 100;
        for (int k = 0; k <= kPoints; ++k) {
            const double x = low + (high - low) * k / kPoints;
            if (x > 0) {
                lognormal.points.push_back(
                    {x, NormalCdf((std::log(x) - summary.meanLn) / summary.sdLn)});
            }
        }
    }
    distribution.curves.push_back(std::move(steps));
    distribution.curves.push_back(std::move(lognormal));
    addMarks(distribution, summary, basis, distribution.y.max);
    return {histogram, distribution};
}

} // namespace orvane
