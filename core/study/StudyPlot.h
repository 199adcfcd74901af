#pragma once

// What the figure of a study shows: Pbumax against the first numeric swept input (on a
// logarithmic axis when it is swept logarithmically), one curve per value of the other swept
// input, with the closed-form P∞ dashed and, when the axis is the bond length, the effective
// bond length Le as a dashed vertical line: one line per distinct value, so that series that
// share P∞ or Le share its line. More series than kMaxNamedSeries are told apart by a colour
// scale instead of a legend entry each, so the legend stays inside the frame. When only the
// law is swept, each law has its place on the axis. The points gather as they arrive; the
// window's live plot and the saved figures draw the same figure with the report figures'
// renderer.

#include "core/results/RunFigure.h"
#include "core/study/Study.h"

#include <string>
#include <vector>

namespace orvane {

// Singles, 16 bytes a point: a figure needs no more digits, and the swept fields are singles
// already. A long series is merged as its points come (StudyPlot::add), keeping the loads and
// P∞ the figure's envelope is drawn through, so a study of a million points keeps its plot in
// some 100 kB a series.
struct StudyPlotPoint {
    float x;
    float Pbumax; // N
    float Pinf;   // N
    float Le;     // mm
};

struct StudyPlotSeries {
    std::string label; // the other swept input's value ("law = bilinear"); empty for one input
    std::vector<StudyPlotPoint> points;
};

// Up to this many series have a legend entry each; more are shown by a colour scale.
inline constexpr std::size_t kMaxNamedSeries = 8;

struct StudyPlot {
    const StudyDefinition* study = nullptr;
    int xSweep = -1;         // which swept input is the axis: the first numeric one, else the law
    std::string xTitle;      // with its unit: "bond length lb (mm)"
    bool lengthAxis = false; // the axis is lb, so Le can be marked on it
    bool logAxis = false;    // the axis input is swept logarithmically
    bool lawAxis = false;    // only the law is swept: point k stands at k + 1 on the axis
    std::vector<StudyPlotSeries> series;

    bool plottable() const { return xSweep >= 0; }
    // Adds a run point; a refused point has no load and is left out. A series of more than
    // some thousands of points is merged to those its figure's envelope needs.
    void add(const StudyPointResult& result);
};

// A swept input's column title with its unit: "lb (mm)", "Ef (N/mm²)", "law".
std::string SweptColumnTitle(const Sweep& sweep);

// The data set a study starts from, in one line: the law and every input that is not swept,
// as typed ("bi-linear softening; τmax 3.5 N/mm², smax 0.05 mm, …, Δl 0.001 mm, …").
std::string DescribeStudyBase(const StudyDefinition& study);

// An empty plot for the study; study must outlive it.
StudyPlot MakeStudyPlot(const StudyDefinition& study);

// The figure of the points gathered so far.
FigureData MakeStudyFigure(const StudyPlot& plot);

} // namespace orvane
