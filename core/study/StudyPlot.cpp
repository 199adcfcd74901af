#include "core/study/StudyPlot.h"

#include "core/numtext/NumberText.h"
#include "core/study/StudyTable.h"

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

std::string axisTitle(NumericField field) {
    const AxisName& axis = kAxisNames[static_cast<int>(field)];
    return std::string(axis.title) +
           (axis.unit.empty() ? std::string() : " (" + std::string(axis.unit) + ")");
}

// Decades around the data, with 2 and 5 between them when there are few.
FigureAxis logAxis(std::string title, double low, double high) {
    const int first = int(std::floor(std::log10(low) + 1e-9));
    const int last = std::max(first + 1, int(std::ceil(std::log10(high) - 1e-9)));
    FigureAxis axis{
        std::move(title), std::pow(10.0, first), std::pow(10.0, last), 10, {}, {}, true};
    for (int decade = first; decade <= last; ++decade) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double tick = mantissa * std::pow(10.0, decade);
            if ((mantissa == 1.0 || last - first <= 2) && tick <= axis.max) {
                axis.ticks.push_back(tick);
                axis.tickTexts.push_back(TableNumberText(tick));
            }
        }
    }
    return axis;
}

// One place per law, in the order of the sweep.
FigureAxis lawAxis(const Sweep& sweep) {
    const auto count = double(sweep.size());
    FigureAxis axis{"bond-slip law", 0.5, count + 0.5, 1, {}, {}};
    for (std::int64_t k = 0; k < sweep.size(); ++k) {
        axis.ticks.push_back(double(k + 1));
        axis.tickTexts.push_back(sweep.text(k));
    }
    return axis;
}

// The place a twenty-fifth of the axis before its right end.
double rightEdge(const FigureAxis& axis) {
    if (axis.logarithmic) {
        return axis.max * std::pow(axis.min / axis.max, 1.0 / 25);
    }
    return axis.max - (axis.max - axis.min) / 25;
}

// A figure is some 700 pixels wide: a curve of many more points keeps, of each run of
// consecutive points, the first and those with the least and the greatest load, in their order,
// so the envelope drawn stays as it was; a point between two of the same load is left out, so a
// constant P∞ is its two ends. A study of a million points then draws thousands, not millions.
constexpr std::size_t kRunsPerCurve = 1000;

// The curve of value(point) against x over the points where it is finite, thinned as above and
// formed run by run, so that a long study never holds its curve twice.
template <class Value>
std::vector<FigurePoint> curvePoints(const std::vector<StudyPlotPoint>& points, Value value) {
    const std::size_t run =
        points.size() > 4 * kRunsPerCurve ? (points.size() + kRunsPerCurve - 1) / kRunsPerCurve : 1;
    std::vector<FigurePoint> kept;
    for (std::size_t begin = 0; begin < points.size(); begin += run) {
        const std::size_t end = std::min(points.size(), begin + run);
        std::array<std::size_t, 4> chosen{}; // first, lowest, highest, last
        std::size_t found = 0;
        for (std::size_t k = begin; k < end; ++k) {
            const double y = value(points[k]);
            if (!std::isfinite(y)) {
                continue;
            }
            if (found++ == 0) {
                chosen = {k, k, k, k};
            }
            chosen[1] = y < value(points[chosen[1]]) ? k : chosen[1];
            chosen[2] = y > value(points[chosen[2]]) ? k : chosen[2];
            chosen[3] = k;
        }
        if (found == 0) {
            continue;
        }
        std::sort(chosen.begin(), chosen.end());
        for (std::size_t c = 0; c < chosen.size(); ++c) {
            if (c == 0 || chosen[c] != chosen[c - 1]) {
                kept.push_back({points[chosen[c]].x, value(points[chosen[c]])});
            }
        }
    }
    std::vector<FigurePoint> joined;
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const bool between = k > 0 && k + 1 < kept.size() && kept[k - 1].y == kept[k].y &&
                             kept[k + 1].y == kept[k].y;
        if (!between) {
            joined.push_back(kept[k]);
        }
    }
    return joined;
}

bool samePoints(const std::vector<FigurePoint>& a, const std::vector<FigurePoint>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](FigurePoint p, FigurePoint q) { return p.x == q.x && p.y == q.y; });
}

// A series keeps at most this many points: a long study's points are merged as they come, so
// that its plot holds some 100 kB, not 16 bytes a point (16 MB for a million).
constexpr std::size_t kKeptPerSeries = 8 * kRunsPerCurve;

// Of each run of 16 consecutive points, keeps in their order the first, the last and those
// with the least and the greatest load and P∞ (the first and last where P∞ is finite as
// well): every load and P∞ the figure's thinning could choose stays, so its envelope is the
// one all the points draw. At most half the points are kept.
void mergeRuns(std::vector<StudyPlotPoint>& points) {
    constexpr std::size_t kRun = 16;
    std::size_t kept = 0;
    for (std::size_t begin = 0; begin < points.size(); begin += kRun) {
        const std::size_t end = std::min(points.size(), begin + kRun);
        std::array<std::size_t, 8> chosen{begin, end - 1, begin, begin, end, end, end, end};
        for (std::size_t k = begin; k < end; ++k) {
            const StudyPlotPoint& p = points[k];
            chosen[2] = p.Pbumax < points[chosen[2]].Pbumax ? k : chosen[2];
            chosen[3] = p.Pbumax > points[chosen[3]].Pbumax ? k : chosen[3];
            if (std::isfinite(p.Pinf)) {
                chosen[4] = chosen[4] == end ? k : chosen[4];
                chosen[5] = chosen[5] == end || p.Pinf < points[chosen[5]].Pinf ? k : chosen[5];
                chosen[6] = chosen[6] == end || p.Pinf > points[chosen[6]].Pinf ? k : chosen[6];
                chosen[7] = k;
            }
        }
        std::sort(chosen.begin(), chosen.end());
        for (std::size_t c = 0; c < chosen.size() && chosen[c] < end; ++c) {
            if (c == 0 || chosen[c] != chosen[c - 1]) {
                points[kept++] = points[chosen[c]];
            }
        }
    }
    points.resize(kept);
}

bool constantY(const std::vector<FigurePoint>& points) {
    return std::all_of(points.begin(), points.end(),
                       [&](const FigurePoint& p) { return p.y == points.front().y; });
}

} // namespace

std::string SweptColumnTitle(const Sweep& sweep) {
    if (!sweep.field) {
        return std::string(sweep.name());
    }
    const std::string_view unit = kAxisNames[static_cast<int>(*sweep.field)].unit;
    return std::string(sweep.name()) + (unit.empty() ? "" : " (" + std::string(unit) + ")");
}

std::string DescribeStudyBase(const StudyDefinition& study) {
    const bool yield = study.base.bondModel == BondModel::PerfectlyBilinear;
    std::string line = yield ? "perfectly bi-linear" : "bi-linear softening";
    std::string separator = "; ";
    for (int f = 0; f < kNumericFieldCount; ++f) {
        const auto swept = [f](const Sweep& sweep) {
            return sweep.field && static_cast<int>(*sweep.field) == f;
        };
        if (std::any_of(study.sweeps.begin(), study.sweeps.end(), swept)) {
            continue;
        }
        // The symbol ends the axis title: "max bond stress τmax".
        const AxisName& name = kAxisNames[std::size_t(f)];
        std::string symbol(name.title.substr(name.title.rfind(' ') + 1));
        if (yield && (f == 0 || f == 1)) {
            symbol = f == 0 ? "τy" : "sy";
        }
        line += separator + symbol + " " + study.baseTexts[std::size_t(f)] +
                (name.unit.empty() ? "" : " " + std::string(name.unit));
        separator = ", ";
    }
    return line;
}

StudyPlot MakeStudyPlot(const StudyDefinition& study) {
    StudyPlot plot;
    plot.study = &study;
    for (std::size_t s = 0; s < study.sweeps.size() && plot.xSweep < 0; ++s) {
        if (study.sweeps[s].field) {
            plot.xSweep = int(s);
        }
    }
    if (plot.xSweep < 0 && !study.sweeps.empty()) {
        plot.xSweep = 0;
        plot.lawAxis = true;
        plot.xTitle = "bond-slip law";
    }
    if (!plot.plottable()) {
        return plot;
    }
    const Sweep& x = study.sweeps[std::size_t(plot.xSweep)];
    if (x.field) {
        plot.xTitle = axisTitle(*x.field);
        plot.lengthAxis = *x.field == NumericField::Lb;
        plot.logAxis = x.spacing == Sweep::Spacing::Log;
    }
    const std::int64_t seriesCount =
        study.sweeps.size() == 2 ? study.sweeps[std::size_t(1 - plot.xSweep)].size() : 1;
    plot.series.resize(std::size_t(seriesCount));
    // Every series gets one point per value of the axis input: room for them at once.
    for (StudyPlotSeries& series : plot.series) {
        series.points.reserve(std::size_t(x.size()));
    }
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
    const double x = lawAxis ? double(result.index + 1) : result.sweptValues[std::size_t(xSweep)];
    std::vector<StudyPlotPoint>& points = series[s].points;
    points.push_back({float(x), float(result.Pbumax), float(result.quantities.Pinf),
                      float(result.quantities.Le)});
    if (points.size() >= kKeptPerSeries) {
        mergeRuns(points);
    }
}

FigureData MakeStudyFigure(const StudyPlot& plot) {
    FigureData figure;
    figure.title = plot.lawAxis
                       ? "Ultimate load for each bond-slip law"
                       : "Ultimate load against " + plot.xTitle.substr(0, plot.xTitle.find(" ("));
    if (plot.study) {
        figure.caption.push_back(plot.study->base.comment);
        std::string swept;
        for (const Sweep& sweep : plot.study->sweeps) {
            swept += (swept.empty() ? "" : ", ") + sweep.definition();
        }
        // A swept law is named by the sweep, not by the base.
        const bool lawSwept = std::any_of(plot.study->sweeps.begin(), plot.study->sweeps.end(),
                                          [](const Sweep& sweep) { return !sweep.field; });
        const std::string law = lawSwept ? std::string()
                                : plot.study->base.bondModel == BondModel::PerfectlyBilinear
                                    ? "perfectly bi-linear; "
                                    : "bi-linear softening; ";
        figure.caption.push_back(law + (swept.empty() ? "" : swept + "; ") +
                                 "P∞ = b·√(2·Gf·Ef·tf), Le at 97 % of P∞ (closed form)");
    }
    if (!plot.plottable()) {
        figure.title = "Ultimate load";
        figure.message = "No input is swept: there is nothing to plot.";
        figure.x = MakeFigureAxis("", 0, 1);
        figure.y = MakeFigureAxis("ultimate load Pbumax (N)", 0, 1);
        return figure;
    }
    const bool oneSeries = plot.series.size() == 1;
    const bool scaled = plot.series.size() > kMaxNamedSeries;
    const Sweep* other = oneSeries ? nullptr : &plot.study->sweeps[std::size_t(1 - plot.xSweep)];
    if (scaled) {
        figure.colourScale =
            FigureColourScale{other->field ? axisTitle(*other->field) : std::string(other->name()),
                              other->text(0), other->text(other->size() - 1)};
    }
    double xLow = INFINITY, xHigh = -INFINITY, yHigh = -INFINITY;
    // P∞ and Le, each line once however many series share it; a line of one series takes its
    // colour, a shared one the run figures' colours and a legend entry.
    struct Limit {
        FigureCurve curve;
        int sharedBy = 0;
    };
    std::vector<Limit> limits;
    std::vector<std::pair<double, FigureCurve>> effectiveLengths;
    for (std::size_t s = 0; s < plot.series.size(); ++s) {
        const StudyPlotSeries& series = plot.series[s];
        if (series.points.empty()) {
            continue;
        }
        // Colours from the palette, except for a lone series, which keeps the run figures'.
        const int colour = oneSeries || scaled ? 0 : int(s) + 1;
        const double shade = scaled ? double(s) / double(plot.series.size() - 1) : -1;
        FigureCurve load{oneSeries ? "Pbumax"
                         : scaled  ? std::string()
                                   : series.label,
                         false,
                         plot.lawAxis,
                         colour,
                         {},
                         shade};
        FigureCurve limit{{}, true, false, colour, {}, shade};
        limit.reference = true;
        double LeLow = INFINITY, LeHigh = -INFINITY;
        for (const StudyPlotPoint& p : series.points) {
            xLow = std::min(xLow, double(p.x));
            xHigh = std::max(xHigh, double(p.x));
            yHigh = std::max(yHigh, double(p.Pbumax));
            if (std::isfinite(p.Pinf)) {
                yHigh = std::max(yHigh, double(p.Pinf));
            }
            if (std::isfinite(p.Le)) {
                LeLow = std::min(LeLow, double(p.Le));
                LeHigh = std::max(LeHigh, double(p.Le));
            }
        }
        const auto Pbumax = [](const StudyPlotPoint& p) { return p.Pbumax; };
        if (load.markers) {
            for (const StudyPlotPoint& p : series.points) {
                load.points.push_back({p.x, p.Pbumax});
            }
        } else {
            load.points = curvePoints(series.points, Pbumax);
        }
        limit.points = curvePoints(series.points, [](const StudyPlotPoint& p) { return p.Pinf; });
        figure.curves.push_back(std::move(load));
        const auto same = std::find_if(limits.begin(), limits.end(), [&](const Limit& known) {
            return samePoints(known.curve.points, limit.points);
        });
        if (same != limits.end()) {
            ++same->sharedBy;
        } else if (!limit.points.empty()) {
            limits.push_back({std::move(limit), 1});
        }
        if (plot.lengthAxis && LeLow <= LeHigh) {
            // Le does not depend on lb; with a second swept input it may differ per series.
            const double Le = (LeLow + LeHigh) / 2;
            xHigh = std::max(xHigh, Le);
            if (std::none_of(effectiveLengths.begin(), effectiveLengths.end(),
                             [&](const auto& known) { return known.first == Le; })) {
                FigureCurve length{{}, true, false, colour, {{Le, 0}, {Le, 0}}, shade};
                length.reference = true;
                effectiveLengths.push_back({Le, std::move(length)});
            }
        }
    }
    if (!(xLow <= xHigh)) {
        xLow = xHigh = 0;
        yHigh = 0;
    }
    const std::string& xTitle = plot.xTitle;
    figure.x = plot.lawAxis               ? lawAxis(plot.study->sweeps.front())
               : plot.logAxis && xLow > 0 ? logAxis(xTitle, xLow, xHigh)
                                          : MakeFigureAxis(xTitle, xLow, xHigh);
    // Room above the plateau for the legend.
    figure.y = MakeFigureAxis("ultimate load Pbumax (N)", 0, yHigh * 1.25);
    bool namedMark = false;
    for (Limit& limit : limits) {
        FigureCurve& curve = limit.curve;
        if (oneSeries || limit.sharedBy > 1) {
            curve.colour = 0;
            curve.shade = -1;
            curve.label = constantY(curve.points)
                              ? "P∞ = " + oneDecimal(curve.points.front().y) + " N"
                              : "P∞";
        }
        if (plot.lawAxis) {
            // A law is a place, not a range: its P∞ a short dash across its place.
            for (const FigurePoint& p : curve.points) {
                FigureCurve dash = curve;
                dash.points = {{p.x - 0.3, p.y}, {p.x + 0.3, p.y}};
                figure.curves.push_back(std::move(dash));
                curve.label.clear();
            }
            continue;
        }
        if (scaled && limit.sharedBy == 1 && constantY(curve.points)) {
            // Many series: a constant P∞ is a short dash at the right edge, where its series
            // ends, not a line across the curves; the first one is named for them all.
            curve.points = {{rightEdge(figure.x), curve.points.front().y},
                            {figure.x.max, curve.points.front().y}};
            curve.label = namedMark ? std::string() : "P∞ of each series";
            namedMark = true;
        }
        figure.curves.push_back(std::move(curve));
    }
    bool namedLength = false;
    for (auto& [Le, curve] : effectiveLengths) {
        curve.points[1].y = figure.y.max;
        if (effectiveLengths.size() == 1) {
            curve.label = "Le = " + oneDecimal(Le) + " mm";
            curve.colour = 3;
            curve.shade = -1;
        } else if (scaled) {
            // Many series: each Le a tick on the axis, the first one named for them all.
            curve.points[1].y = figure.y.max / 20;
            curve.label = namedLength ? std::string() : "Le of each series";
            namedLength = true;
        }
        figure.curves.push_back(std::move(curve));
    }
    return figure;
}

} // namespace orvane
