#pragma once

// A measured load-slip curve of a pull-out test, read from a text file of numeric columns:
// the loaded-end slip and the load, or the average bond stress. Without a layout the file
// holds two columns, slip (mm) and load (N); a layout chooses two columns of a wider file
// (a logger's time, stroke, LVDTs, load), by number or by header name, and their units.
//
// Columns are separated by a comma or a semicolon (blanks around it are allowed), a tab, or
// blanks; separators at the end of a row are ignored. An entry may be quoted ("1,234.5").
// The first row may be a header (a row whose first entry is not a number); its entries may
// name a unit, "load (kN)", "slip [µm]", "slip mm". Lines that are empty or begin with "#"
// are skipped. The text is UTF-8 (with or without a byte order mark) or Shift-JIS.
// Numbers use "." as the decimal point, or "," in a file separated by semicolons (the
// European spreadsheet export: "0,125;1.234,5"), with thousands grouped by "," (or by "."
// with the decimal comma).

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class MeasuredQuantity {
    Load,          // N
    AverageStress, // average bond stress over the analysed length, N/mm²
};

struct MeasuredPoint {
    int line;     // line number in the file, from 1
    double slip;  // mm
    double value; // load (N) or average bond stress (N/mm²)
};

enum class DecimalMark {
    Detect, // "," when the file is separated by semicolons and writes digits around a comma
    Point,
    Comma,
};

// How to read a lab file.
struct MeasuredFileLayout {
    // The slip and value columns: a number from 1 or a header name (case does not matter; the
    // unit in brackets may be left off). Empty: columns 1 and 2, and then a row holds exactly
    // two entries; with a column chosen, further entries are ignored.
    std::string slipColumn;
    std::string valueColumn;
    // Units: "mm", "µm" (or "um"), "m" for the slip; "N", "kN", "MN" for a load, "N/mm²"
    // ("N/mm2", "MPa") for a stress. Empty: the header's, else mm and N.
    std::string slipUnit;
    std::string valueUnit;
    DecimalMark decimal = DecimalMark::Detect;
    // How far (mm) a slip may fall back below the largest before it and still count: the
    // scatter of a displacement transducer. A row further back (unloading) is left out.
    double slipFallBack = 0.001;
};

// The part of the curve to fit.
struct FitRange {
    enum class Kind {
        All,
        Slips,       // from ≤ slip ≤ to
        UpToPeak,    // the rows up to the largest value
        UpToFailure, // the rows before the failure: after the peak, the first row whose value
                     // falls below half the value of the row before it
    };
    Kind kind = Kind::All;
    double from = 0, to = 0; // mm
};

// Reads a fit range as the batch's --range and the window's range box take it: "FROM:TO"
// (slips in mm, FROM below TO), "peak" or "failure". Empty on success, else what is wrong,
// to follow the name of the field or option: "needs FROM below TO, not \"2:1\"".
std::string ParseFitRange(std::string_view text, FitRange& range);

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
    // The units the values were read in, and where they came from ("kN (from the header)").
    std::string slipUnit = "mm";
    std::string valueUnit = "N";
};

// "1234 more rows were left out." for the rows left out beyond those told; empty when none.
std::string MoreSkippedRows(const MeasuredCurve& curve);

struct MeasuredCurveRead {
    MeasuredCurve curve;
    std::string error; // empty when the curve can be fitted
};

// The fewest usable points a curve must hold.
inline constexpr int kMinMeasuredPoints = 5;

// A measured curve of a few thousand rows is a few hundred kilobytes; a larger file is not
// a test record.
inline constexpr std::size_t kMaxMeasuredFileBytes = std::size_t{64} << 20;

// Reads the file's bytes. A row with a text that is not a number, with other than two
// columns (too few for the chosen ones), with a negative slip or with a slip that falls
// back more than layout.slipFallBack below the largest before it is left out and reported.
// It is an error when the text is neither UTF-8 nor Shift-JIS, when a column holds no
// number at all, when a column name or a unit is not found, or when fewer than
// kMinMeasuredPoints usable rows remain. Time and memory grow linearly with the file.
MeasuredCurveRead ParseMeasuredCurve(std::string_view bytes, const MeasuredFileLayout& layout = {});

// The points of curve within range; an error when fewer than kMinMeasuredPoints remain.
MeasuredCurveRead WithinRange(const MeasuredCurve& curve, const FitRange& range);

// Reads the file at path; an unreadable file is an error naming the path, and so is a named
// pipe, device or socket, which is refused without waiting for a writer.
MeasuredCurveRead ReadMeasuredCurve(const std::string& path, const MeasuredFileLayout& layout = {});

} // namespace orvane
