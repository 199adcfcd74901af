#pragma once

// A measured load-slip curve of a pull-out test, read from a text file of two numeric
// columns: the loaded-end slip (mm) and the load (N), or the average bond stress (N/mm²).
//
// Columns are separated by a comma or a semicolon (blanks around it are allowed), a tab, or
// blanks. The first row may be a header (a row whose first entry is not a number); lines
// that are empty or begin with "#" are skipped. The text is UTF-8 (with or without a byte
// order mark) or Shift-JIS. Numbers use "." as the decimal point.

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class MeasuredQuantity {
    Load,          // N
    AverageStress, // average bond stress over the analysed length, N/mm²
};

struct MeasuredPoint {
    int line; // line number in the file, from 1
    double slip;
    double value; // load or average bond stress, as in the file
};

// The rows left out that are told one by one; the rest are counted, so that a file of bad
// rows costs no more to report than to read.
inline constexpr std::size_t kToldSkippedRows = 20;

struct MeasuredCurve {
    std::vector<MeasuredPoint> points;
    // The first kToldSkippedRows rows that were left out, one message each, beginning with
    // "line N: ".
    std::vector<std::string> skippedRows;
    // Every row left out, told or not.
    std::size_t skippedCount = 0;
};

// "1234 more rows were left out." for the rows left out beyond those told; empty when none.
std::string MoreSkippedRows(const MeasuredCurve& curve);

struct MeasuredCurveRead {
    MeasuredCurve curve;
    std::string error; // empty when the curve can be fitted
};

// The fewest usable points a curve must hold.
inline constexpr int kMinMeasuredPoints = 5;

// Reads the file's bytes. A row with a text that is not a number, with other than two
// columns or with a negative slip is left out and reported. It is an error when the text is
// neither UTF-8 nor Shift-JIS, when a column holds no number at all, when the slip ever
// decreases (a test's slip grows; the rows must be in test order) or when fewer than
// kMinMeasuredPoints usable rows remain.
MeasuredCurveRead ParseMeasuredCurve(std::string_view bytes);

// Reads the file at path; an unreadable file is an error naming the path, and so is a named
// pipe, device or socket, which is refused without waiting for a writer.
MeasuredCurveRead ReadMeasuredCurve(const std::string& path);

} // namespace orvane
