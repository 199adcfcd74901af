#pragma once

// A spreadsheet as plain data, and its writer: sheets of named columns with units, and native
// charts of those columns. Engineers open results in Excel first, so numbers go into cells as
// numbers, never as text, and a chart is one Excel draws itself from the cells.

#include "core/files/FileStatus.h"

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace orvane {

// A cell: empty, a number or a text. A number that is not finite is written as an empty cell.
using SheetCell = std::variant<std::monostate, double, std::string>;

struct SheetColumn {
    std::string name; // the heading
    std::string unit; // under the heading; empty for none
    std::vector<SheetCell> cells;
};

struct Sheet {
    std::string name; // at most 31 characters, none of []:*?/\ (Excel's rule)
    std::vector<SheetColumn> columns;
};

// One line of a chart: column y against column x of a sheet, over the rows first to last
// (0-based, of the columns' cells).
struct ChartSeries {
    std::string name;
    std::size_t sheet = 0;
    std::size_t xColumn = 0;
    std::size_t yColumn = 0;
    std::size_t firstRow = 0;
    std::size_t lastRow = 0;
    bool markersOnly = false; // measured points; otherwise a line through the points
};

// A chart on a sheet of its own.
struct SheetChart {
    std::string sheetName;
    std::string title;
    std::string xTitle;
    std::string yTitle;
    std::vector<ChartSeries> series;
};

struct Workbook {
    std::vector<Sheet> sheets;
    std::vector<SheetChart> charts;
};

// Rows a worksheet holds below its two heading rows.
inline constexpr std::size_t kMaxSheetRows = 1048576 - 2;

// Writes the workbook as an Office Open XML file (.xlsx), whole: through a temporary file and
// a rename, as every output. The message names path and the reason on failure.
FileStatus WriteWorkbook(const std::string& path, const Workbook& book);

} // namespace orvane
