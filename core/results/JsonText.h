#pragma once

// Texts of JSON outputs: strings escaped, numbers as ShortestText (numtext/NumberText.h).

#include <string>
#include <string_view>

namespace orvane {

// A JSON string literal; control characters as \u00XX, the rest of UTF-8 as it is.
std::string JsonString(std::string_view text);

// ShortestText for JSON, where a value without a number is null.
std::string JsonNumber(double value);
std::string JsonNumber(float value);

} // namespace orvane
