#pragma once

// Texts of the comma-separated and JSON outputs: UTF-8 fields quoted by RFC 4180, strings
// escaped for JSON. Numbers are ShortestText (numtext/NumberText.h).

#include <string>
#include <string_view>

namespace orvane {

// One CSV field: quoted when it holds a comma, a quote, CR or LF, its quotes doubled.
std::string CsvField(std::string_view text);

// A JSON string literal; control characters as \u00XX, the rest of UTF-8 as it is.
std::string JsonString(std::string_view text);

// ShortestText for JSON, where a value without a number is null.
std::string JsonNumber(double value);

} // namespace orvane
