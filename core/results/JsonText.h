#pragma once

// Texts of JSON outputs: strings escaped, numbers as ShortestText (numtext/NumberText.h).

#include "core/engine/PulloutRun.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// A JSON string literal; control characters as \u00XX, the rest of UTF-8 as it is.
std::string JsonString(std::string_view text);

// ShortestText for JSON, where a value without a number is null.
std::string JsonNumber(double value);
std::string JsonNumber(float value);

// The keys every top-level JSON object (and every JSON line) of orvane-batch begins with, so
// that a stored output says what wrote it: "program":"orvane-batch","version":"…".
std::string JsonProgramKeys();

// A JSON list of strings: the "warnings" of an output, [] when there are none.
std::string JsonStringList(std::span<const std::string> texts);

// How a run ended, as every JSON output spells it: "bond-failure", "step-limit", "stopped",
// "non-finite" or "write-failed".
std::string_view RunEndJsonName(RunEnd end);

} // namespace orvane
