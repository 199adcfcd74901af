#include "output/StudyPlot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace orvane {

namespace {

struct AxisName {
    std::string_view title;
    std::string_view unit;
};

// Indexed by NumericField.
constexpr std::array<AxisName, kNumericFieldCount> kAxisNames = {{
    {"max bond stress τmax", "N/mm²"},
    {"slip at τmax smax", "mm"},
    {"slip at ultimate su", "mm"},
    {"element length Δl", "mm"},
    {"bond length lb", "mm"},
    {"laminate width b", "mm"},
    {"laminate thickness tf", "mm"},
    {"laminate modulus Ef", "N/mm²"},
    {"resin thickness tr", "mm"},
    {"resin modulus Er", "N/mm²"},
    {"concrete effect width bc", "mm"},
    {"concrete depth dc", "mm"},
    {"concrete modulus Ec", "N/mm²"},
    {"re-bar area Ab", "mm²"},
    {"re-bar modulus Eb", "N/mm²"},
    {"initial ds", ""},
}};

} // namespace

StudyPlot MakeStudyPlot(const StudyDefinition& study) {
    StudyPlot plot;
    plot.study = &study;
    for (std::size_t s = 0; s < study.sweeps.size() && plot.xSweep < 0; ++s) {
        if (study.sweeps[s].field) {
            plot.xSweep = int(s);
        }
    }
    if (!plot.plottable()) {
        return plot;
    }
    const NumericField field = *study.sweeps[std::size_t(plot.xSweep)].field;
    const AxisName& axis = kAxisNames[static_cast<int>(field)];
    plot.xTitle = std::string(axis.title) +
                  (axis.unit.empty() ? std::string() : " (" + std::string(axis.unit) + ")");
    plot.lengthAxis = field == NumericField::Lb;
    plot.title = "Ultimate load Pbumax against " + std::string(axis.title);
    const std::int64_t seriesCount =
        study.sweeps.size() == 2 ? study.sweeps[std::size_t(1 - plot.xSweep)].size() : 1;
    plot.series.resize(std::size_t(seriesCount));
    return plot;
}

void StudyPlot::add(const StudyPointResult& result) {
    if (!plottable() || result.refused()) {
        return;
    }
    std::size_t s = 0;
    if (series.size() > 1) {
        const std::size_t other = std::size_t(1 - xSweep);
        const std::int64_t inner = study->sweeps[1].size();
        s = std::size_t(xSweep == 0 ? result.index % inner : result.index / inner);
        if (series[s].label.empty()) {
            series[s].label =
                std::string(study->sweeps[other].name()) + " = " + result.sweptTexts[other];
        }
    }
    series[s].points.push_back({result.sweptValues[std::size_t(xSweep)], result.Pbumax,
                                result.quantities.Pinf, result.quantities.Le});
}

bool StudyPlot::bounds(double& xMin, double& xMax, double& yMin, double& yMax) const {
    bool any = false;
    for (const StudyPlotSeries& line : series) {
        for (const StudyPlotPoint& p : line.points) {
            const double yLow = std::isfinite(p.Pinf) ? std::min(p.Pbumax, p.Pinf) : p.Pbumax;
            const double yHigh = std::isfinite(p.Pinf) ? std::max(p.Pbumax, p.Pinf) : p.Pbumax;
            if (!any) {
                xMin = xMax = p.x;
                yMin = yLow;
                yMax = yHigh;
                any = true;
            }
            xMin = std::min(xMin, p.x);
            xMax = std::max(xMax, p.x);
            yMin = std::min(yMin, yLow);
            yMax = std::max(yMax, yHigh);
        }
    }
    return any;
}

std::vector<double> AxisTicks(double lo, double hi) {
    if (!(hi > lo)) {
        const double half = lo == 0 ? 1 : std::abs(lo) / 2;
        lo -= half;
        hi += half;
    }
    const double rough = (hi - lo) / 5;
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * decade;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * decade >= rough) {
            step = factor * decade;
            break;
        }
    }
    std::vector<double> ticks;
    for (double k = std::floor(lo / step); k * step <= hi + step * 1e-9; ++k) {
        ticks.push_back(k * step == 0 ? 0.0 : k * step);
    }
    if (ticks.back() < hi) {
        ticks.push_back(ticks.back() + step);
    }
    return ticks;
}

std::string TickText(double value, double step) {
    const int decimals = std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
    std::array<char, 400> text;
    return std::string(text.data(), std::to_chars(text.data(), text.data() + text.size(), value,
                                                  std::chars_format::fixed, decimals)
                                        .ptr);
}

} // namespace orvane
