#pragma once

// What the figure of a study shows: Pbumax against the first numeric swept input, one curve
// per value of the other swept input, with each point's closed-form P∞ dashed and, when the
// axis is the bond length, the effective bond length Le as a dashed vertical line. The points
// gather as they arrive; the window's live plot and the saved figures draw the same figure
// with the report figures' renderer.

#include "core/results/RunFigure.h"
#include "core/study/Study.h"

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
    std::string label; // the other swept input's value ("law = bilinear"); empty for one input
    std::vector<StudyPlotPoint> points;
};

struct StudyPlot {
    const StudyDefinition* study = nullptr;
    int xSweep = -1;         // which swept input is the axis; -1 when none is numeric
    std::string xTitle;      // with its unit: "bond length lb (mm)"
    bool lengthAxis = false; // the axis is lb, so Le can be marked on it
    std::vector<StudyPlotSeries> series;

    bool plottable() const { return xSweep >= 0; }
    // Adds a run point; a refused point has no load and is left out.
    void add(const StudyPointResult& result);
};

// An empty plot for the study; study must outlive it.
StudyPlot MakeStudyPlot(const StudyDefinition& study);

// The figure of the points gathered so far.
FigureData MakeStudyFigure(const StudyPlot& plot);

} // namespace orvane
