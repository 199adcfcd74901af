#pragma once

// The study's figure for programs without windows; the header names no Qt type.

#include "core/study/StudyPlot.h"

#include <string>

namespace orvane {

// Writes the figure of the plot as PNG, SVG or PDF, chosen by the file's name, whole or not
// at all. Starts the offscreen platform when no Qt application runs yet, so no display is
// needed. Returns an empty text, or the message naming the file and the reason.
std::string SaveStudyFigure(const StudyPlot& plot, const std::string& path);

} // namespace orvane
