#pragma once

// The figure of a fit for programs without windows; the header names no Qt type.

#include "core/results/RunFigure.h"

#include <array>
#include <string>

namespace orvane {

// Draws the two panels one above the other into one PNG, SVG or PDF file, as the name's extension
// asks, whole or not at all. Starts the offscreen platform when no Qt application runs yet.
// Returns an empty text, or the message naming the file and the reason.
std::string SaveFitFigure(const std::array<FigureData, 2>& panels, const std::string& path);

} // namespace orvane
