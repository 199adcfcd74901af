#pragma once

// What a report figure of a run shows, independent of how it is drawn: the axes with their
// round-number ticks and titles, the curve and a caption with the comment and main inputs.
// The window layer draws it onto an image, an SVG or a PDF page.

#include "core/results/RunRecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class FigureKind {
    TauSlip,      // average bond stress totalτ against the loaded-end slip sl
    LoadSlip,     // loaded-end force Pl against sl, as test reports plot it
    Distribution, // bond stress τ along the bond, at the peak load and at the last step
};
inline constexpr FigureKind kFigureKinds[] = {FigureKind::TauSlip, FigureKind::LoadSlip,
                                              FigureKind::Distribution};

enum class FigureFormat { Png, Svg, Pdf };

// The format a file name asks for by its extension (any letter case); none for another one.
std::optional<FigureFormat> FigureFormatOf(std::string_view path);

// NAME.ext → NAME-tau-slip.ext, NAME-load-slip.ext, NAME-distribution.ext.
std::string FigureFileName(std::string_view path, FigureKind kind);

struct FigureAxis {
    std::string title; // with its unit: "slip s (mm)"
    double min;        // a tick, at or below the data
    double max;        // a tick, at or above the data
    double step;       // 1, 2 or 5 times a power of ten
    std::vector<double> ticks;
    std::vector<std::string> tickTexts; // as many decimals as the step needs
    bool logarithmic = false;           // positions by log10: min, max and ticks above 0
};

// An axis over [low, high] (data may be empty: low > high), always including 0, in the finest
// steps of 1, 2 or 5 times a power of ten that take at most maxIntervals.
FigureAxis MakeFigureAxis(std::string title, double low, double high, int maxIntervals = 8);

struct FigurePoint {
    double x;
    double y;
};

struct FigureCurve {
    std::string label; // for the legend; empty for the only curve of a figure
    bool dashed = false;
    bool markers = false; // each point a small circle, not joined: measured data
    // 0: the run figures' colours (blue, dashed red); k > 0: the k-th of a palette, for
    // figures with several families of curves.
    int colour = 0;
    std::vector<FigurePoint> points;
    // From 0 to 1: the place on the figure's colour scale, which then gives the colour; below
    // 0: none.
    double shade = -1;
    // A mark of a value the results are read against (P∞, Le, a fractile, the line of equal
    // values): drawn thin and before every result curve, so that the results lie over it.
    bool reference = false;
    // A short text written just above the left end of a horizontal reference line, for a mark
    // that a figure without a legend names where it stands: "P∞ = 12 345.6 N".
    std::string note = {};
};

// Many curves of one family are told apart by a colour scale, not by a legend entry each:
// the legend shows the scale from the first value's colour to the last's.
struct FigureColourScale {
    std::string title; // the input the colours stand for: "Ef (N/mm²)"
    std::string first; // its values at the ends of the scale
    std::string last;
};

struct FigureData {
    std::string title;
    std::vector<std::string> caption; // the comment, then the law and main inputs
    FigureAxis x;
    FigureAxis y;
    std::vector<FigureCurve> curves;
    std::optional<FigureColourScale> colourScale;
    // Said in the middle of the frame instead of curves: why there is nothing to draw.
    std::string message;
};

FigureData MakeFigure(const RunRecord& record, FigureKind kind);

} // namespace orvane
