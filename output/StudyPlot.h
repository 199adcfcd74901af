#pragma once

// What the figure of a study shows: Pbumax against the first numeric swept input, one series
// per value of the other swept input, with each point's closed-form P∞ (dashed) and, when the
// axis is the bond length, each series' effective bond length Le as a vertical line. The
// window's live plot and the saved figures draw this same state.

#include "engine/Study.h"

#include <string>
#include <vector>

namespace orvane {

struct StudyPlotPoint {
    double x;
    double Pbumax; // N
    double Pinf;   // N
    double Le;     // mm
};

struct StudyPlotSeries {
    std::string label; // the other swept input's value ("Ef = 150000"); empty for one input
    std::vector<StudyPlotPoint> points;
};

struct StudyPlot {
    std::string title;
    std::string xTitle;      // with its unit: "bond length lb (mm)"
    bool lengthAxis = false; // the axis is lb, so Le can be marked on it
    std::vector<StudyPlotSeries> series;
    int xSweep = -1; // which swept input is the axis; -1 when none is numeric

    bool plottable() const { return xSweep >= 0; }
    // Adds a run point; a refused point has no load and is left out.
    void add(const StudyPointResult& result);
    // The value range of the points (x, and the loads with P∞); false when there are none.
    bool bounds(double& xMin, double& xMax, double& yMin, double& yMax) const;

    const StudyDefinition* study = nullptr;
};

// An empty plot for the study, with its titles; study must outlive it.
StudyPlot MakeStudyPlot(const StudyDefinition& study);

// Tick values at 1, 2 or 5 times a power of ten, between about four and ten of them, covering
// [lo, hi]; lo == hi is widened around the value.
std::vector<double> AxisTicks(double lo, double hi);

// A tick's text: no more decimals than the step between ticks needs.
std::string TickText(double value, double step);

} // namespace orvane
