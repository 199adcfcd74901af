#pragma once

// The report figures of a run for programs without windows; the header names no Qt type.

#include "core/results/RunRecord.h"

#include <string>

namespace orvane {

// Draws the τ-s, load-slip and distribution figures of the record: NAME.pdf holds them on
// three pages; for NAME.svg or NAME.png they go to NAME-tau-slip.svg and so on. Starts the
// offscreen platform when no Qt application runs yet, so no display is needed. Returns an
// empty text, or the message of the first failure.
std::string SaveRunFigures(const RunRecord& record, const std::string& path);

} // namespace orvane
