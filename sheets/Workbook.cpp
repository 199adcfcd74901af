#include "sheets/Workbook.h"

#include "core/results/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <xlsxwriter.h>

namespace orvane {

namespace {

FileStatus failure(const std::string& path, const std::string& reason) {
    return {FileFailure::CannotWrite, EIO, "Cannot write \"" + path + "\": " + reason + "."};
}

// libxlsxwriter writes a workbook only to a named file, when it is closed; the file is made in
// the temporary folder and then written whole to its place like every other output.
class ScratchFile {
public:
    ScratchFile() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvane-xlsx-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd >= 0) {
            ::close(fd);
            m_path = pattern;
        }
    }
    ~ScratchFile() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

bool hasUnits(const Sheet& sheet) {
    for (const SheetColumn& column : sheet.columns) {
        if (!column.unit.empty()) {
            return true;
        }
    }
    return false;
}

// The first row of a sheet's cells: below the heading and, where any column has one, the
// units.
lxw_row_t firstCellRow(const Sheet& sheet) {
    return hasUnits(sheet) ? 2 : 1;
}

void writeSheet(lxw_workbook* book, const Sheet& sheet, lxw_format* heading) {
    lxw_worksheet* out = workbook_add_worksheet(book, sheet.name.c_str());
    const lxw_row_t first = firstCellRow(sheet);
    for (std::size_t c = 0; c < sheet.columns.size(); ++c) {
        const SheetColumn& column = sheet.columns[c];
        const auto col = lxw_col_t(c);
        worksheet_write_string(out, 0, col, column.name.c_str(), heading);
        if (!column.unit.empty()) {
            worksheet_write_string(out, 1, col, column.unit.c_str(), nullptr);
        }
        for (std::size_t r = 0; r < column.cells.size(); ++r) {
            const auto row = lxw_row_t(first + r);
            if (const double* number = std::get_if<double>(&column.cells[r])) {
                if (std::isfinite(*number)) {
                    worksheet_write_number(out, row, col, *number, nullptr);
                }
            } else if (const std::string* text = std::get_if<std::string>(&column.cells[r])) {
                worksheet_write_string(out, row, col, text->c_str(), nullptr);
            }
        }
        worksheet_set_column(out, col, col, std::max<double>(10, double(column.name.size()) + 2),
                             nullptr);
    }
    worksheet_freeze_panes(out, first, 0);
}

void writeChart(lxw_workbook* book, const Workbook& data, const SheetChart& chart) {
    lxw_chart* out = workbook_add_chart(book, LXW_CHART_SCATTER_STRAIGHT);
    for (const ChartSeries& series : chart.series) {
        const Sheet& sheet = data.sheets.at(series.sheet);
        const lxw_row_t first = firstCellRow(sheet);
        lxw_chart_series* line = chart_add_series(out, nullptr, nullptr);
        chart_series_set_categories(line, sheet.name.c_str(), lxw_row_t(first + series.firstRow),
                                    lxw_col_t(series.xColumn), lxw_row_t(first + series.lastRow),
                                    lxw_col_t(series.xColumn));
        chart_series_set_values(line, sheet.name.c_str(), lxw_row_t(first + series.firstRow),
                                lxw_col_t(series.yColumn), lxw_row_t(first + series.lastRow),
                                lxw_col_t(series.yColumn));
        chart_series_set_name(line, series.name.c_str());
        if (series.markersOnly) {
            lxw_chart_line noLine{};
            noLine.none = LXW_TRUE;
            chart_series_set_line(line, &noLine);
            chart_series_set_marker_type(line, LXW_CHART_MARKER_CIRCLE);
        } else {
            chart_series_set_marker_type(line, LXW_CHART_MARKER_NONE);
        }
    }
    chart_title_set_name(out, chart.title.c_str());
    chart_axis_set_name(out->x_axis, chart.xTitle.c_str());
    chart_axis_set_name(out->y_axis, chart.yTitle.c_str());
    if (chart.series.size() < 2) {
        chart_legend_set_position(out, LXW_CHART_LEGEND_NONE);
    } else {
        chart_legend_set_position(out, LXW_CHART_LEGEND_BOTTOM);
    }
    lxw_chartsheet* sheet = workbook_add_chartsheet(book, chart.sheetName.c_str());
    chartsheet_set_chart(sheet, out);
}

} // namespace

FileStatus WriteWorkbook(const std::string& path, const Workbook& book) {
    for (const Sheet& sheet : book.sheets) {
        for (const SheetColumn& column : sheet.columns) {
            if (column.cells.size() > kMaxSheetRows) {
                return failure(path, "the sheet \"" + sheet.name + "\" would have " +
                                         std::to_string(column.cells.size()) +
                                         " rows, more than a worksheet holds (" +
                                         std::to_string(kMaxSheetRows) + ")");
            }
        }
    }
    const ScratchFile scratch;
    if (scratch.path().empty()) {
        return failure(path, std::string("no scratch file in the temporary folder: ") +
                                 std::strerror(errno));
    }
    lxw_workbook* out = workbook_new(scratch.path().c_str());
    if (!out) {
        return failure(path, "the workbook could not be started");
    }
    lxw_format* heading = workbook_add_format(out);
    format_set_bold(heading);
    for (const Sheet& sheet : book.sheets) {
        writeSheet(out, sheet, heading);
    }
    for (const SheetChart& chart : book.charts) {
        writeChart(out, book, chart);
    }
    if (const lxw_error error = workbook_close(out); error != LXW_NO_ERROR) {
        return failure(path, lxw_strerror(error));
    }
    std::ifstream in(scratch.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        return failure(path, "the finished workbook could not be read back");
    }
    return WriteWholeFile(path, bytes);
}

} // namespace orvane
