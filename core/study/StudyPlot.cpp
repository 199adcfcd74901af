#include "core/study/StudyPlot.h"

#include "core/numtext/NumberText.h"

#include <algorithm>
#include <array>
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

std::string oneDecimal(double value) {
    return FormatMask(value, "0.0");
}

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

FigureData MakeStudyFigure(const StudyPlot& plot) {
    FigureData figure;
    figure.title = "Ultimate load against " + plot.xTitle.substr(0, plot.xTitle.find(" ("));
    if (plot.study) {
        figure.caption.push_back(plot.study->base.comment);
        std::string swept;
        for (const Sweep& sweep : plot.study->sweeps) {
            swept += (swept.empty() ? "" : ", ") + sweep.definition();
        }
        figure.caption.push_back(
            std::string(plot.study->base.bondModel == BondModel::PerfectlyBilinear
                            ? "perfectly bi-linear"
                            : "bi-linear softening") +
            "; " + swept + "; P∞ = b·√(2·Gf·Ef·tf), Le at 97 % of P∞ (closed form)");
    }
    double xLow = INFINITY, xHigh = -INFINITY, yHigh = -INFINITY;
    const bool oneSeries = plot.series.size() == 1;
    std::vector<std::size_t> LeLines; // drawn up to the top of the axis once it is known
    for (std::size_t s = 0; s < plot.series.size(); ++s) {
        const StudyPlotSeries& series = plot.series[s];
        if (series.points.empty()) {
            continue;
        }
        // Colours from the palette, except for a lone series, which keeps the run figures'.
        const int colour = oneSeries ? 0 : int(s) + 1;
        FigureCurve load{oneSeries ? "Pbumax" : series.label, false, false, colour, {}};
        FigureCurve limit{{}, true, false, colour, {}};
        double LeLow = INFINITY, LeHigh = -INFINITY;
        for (const StudyPlotPoint& p : series.points) {
            load.points.push_back({p.x, p.Pbumax});
            xLow = std::min(xLow, p.x);
            xHigh = std::max(xHigh, p.x);
            yHigh = std::max(yHigh, p.Pbumax);
            if (std::isfinite(p.Pinf)) {
                limit.points.push_back({p.x, p.Pinf});
                yHigh = std::max(yHigh, p.Pinf);
            }
            if (std::isfinite(p.Le)) {
                LeLow = std::min(LeLow, p.Le);
                LeHigh = std::max(LeHigh, p.Le);
            }
        }
        if (oneSeries && !limit.points.empty()) {
            const double first = limit.points.front().y;
            const bool constant = std::all_of(limit.points.begin(), limit.points.end(),
                                              [&](const FigurePoint& p) { return p.y == first; });
            limit.label = constant ? "P∞ = " + oneDecimal(first) + " N" : "P∞";
        }
        figure.curves.push_back(std::move(load));
        figure.curves.push_back(std::move(limit));
        if (plot.lengthAxis && LeLow <= LeHigh) {
            // Le does not depend on lb; with a second swept input it may differ per series.
            const double Le = (LeLow + LeHigh) / 2;
            xHigh = std::max(xHigh, Le);
            FigureCurve effective{oneSeries ? "Le = " + oneDecimal(Le) + " mm" : std::string(),
                                  true,
                                  false,
                                  oneSeries ? 3 : colour,
                                  {{Le, 0}, {Le, 0}}};
            LeLines.push_back(figure.curves.size());
            figure.curves.push_back(std::move(effective));
        }
    }
    if (!(xLow <= xHigh)) {
        xLow = xHigh = 0;
        yHigh = 0;
    }
    figure.x = MakeFigureAxis(plot.xTitle, xLow, xHigh);
    // Room above the plateau for the legend.
    figure.y = MakeFigureAxis("ultimate load Pbumax (N)", 0, yHigh * 1.25);
    for (const std::size_t line : LeLines) {
        figure.curves[line].points[1].y = figure.y.max;
    }
    return figure;
}

} // namespace orvane
