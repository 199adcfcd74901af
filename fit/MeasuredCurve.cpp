#include "fit/MeasuredCurve.h"

#include "core/files/Cp932.h"
#include "core/files/InputFile.h"
#include "core/numtext/NumberText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <span>

namespace orvane {

namespace {

bool validUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits a row into its entries. A row that holds a separator (a comma, semicolon or tab;
// with the decimal comma a semicolon or tab) is split there, with blanks around an entry
// trimmed, so that "load (kN)" stays one entry; a row without one is split at runs of
// blanks. A quoted entry holds whatever it quotes. "1,,2" has an empty middle entry;
// separators at the end of the row are ignored.
std::vector<std::string_view> splitRow(std::string_view row, bool decimalComma) {
    const auto separates = [&](char c) {
        return c == ';' || c == '\t' || (c == ',' && !decimalComma);
    };
    bool separated = false;
    for (std::size_t i = 0; i < row.size() && !separated; ++i) {
        if (row[i] == '"') {
            const std::size_t close = row.find('"', i + 1);
            i = close == std::string_view::npos ? row.size() : close;
        } else {
            separated = separates(row[i]);
        }
    }
    const auto separator = [&](char c) { return separated ? separates(c) : isBlank(c); };
    std::vector<std::string_view> entries;
    std::size_t i = 0;
    while (i < row.size() && isBlank(row[i])) {
        ++i;
    }
    while (i < row.size()) {
        const std::size_t start = i;
        if (row[i] == '"') {
            const std::size_t close = row.find('"', i + 1);
            i = close == std::string_view::npos ? row.size() : close + 1;
        }
        while (i < row.size() && !separator(row[i])) {
            ++i;
        }
        std::size_t stop = i;
        while (stop > start && isBlank(row[stop - 1])) {
            --stop;
        }
        entries.push_back(row.substr(start, stop - start));
        if (i < row.size()) {
            // The separator, and the blanks after it; a run of tabs (or, without separators,
            // of blanks) is one separator.
            const char used = row[i++];
            while (i < row.size() && (separated ? row[i] == ' ' || (used == '\t' && row[i] == '\t')
                                                : isBlank(row[i]))) {
                ++i;
            }
            if (i == row.size() && separated) {
                entries.push_back({});
            }
        }
    }
    while (entries.size() > 1 && entries.back().empty()) {
        entries.pop_back(); // "1,2," and "1;2;;" hold two entries
    }
    return entries;
}

// The entry without its quotes.
std::string_view unquoted(std::string_view entry) {
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
        entry = entry.substr(1, entry.size() - 2);
    }
    while (!entry.empty() && isBlank(entry.front())) {
        entry.remove_prefix(1);
    }
    while (!entry.empty() && isBlank(entry.back())) {
        entry.remove_suffix(1);
    }
    return entry;
}

// The entry as a number in C notation: the decimal mark made ".", thousands groups
// ("12,345.6", or "12.345,6" with the decimal comma) joined; nothing when the groups are
// not groups of three digits.
std::optional<std::string> plainNumber(std::string_view entry, bool decimalComma) {
    const char group = decimalComma ? '.' : ',';
    const char mark = decimalComma ? ',' : '.';
    const std::size_t markAt = entry.find(mark);
    const std::string_view whole = entry.substr(0, markAt);
    std::string plain;
    if (whole.find(group) != std::string_view::npos) {
        std::size_t digits = 0;
        bool first = true;
        for (const char c : whole) {
            if (c == group) {
                if (digits == 0 || digits > 3 || (!first && digits != 3)) {
                    return std::nullopt;
                }
                first = false;
                digits = 0;
                continue;
            }
            digits += std::isdigit(static_cast<unsigned char>(c)) ? 1 : 0;
            plain += c;
        }
        if (digits != 3) {
            return std::nullopt;
        }
    } else {
        plain = whole;
    }
    if (markAt != std::string_view::npos) {
        plain += '.';
        plain += entry.substr(markAt + 1);
    }
    return plain;
}

// The whole entry as a finite number, or nothing.
std::optional<double> number(std::string_view entry, bool decimalComma = false) {
    const std::optional<std::string> plain = plainNumber(unquoted(entry), decimalComma);
    if (!plain) {
        return std::nullopt;
    }
    std::string_view text = *plain;
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// A unit the reader knows, with its factor to mm (slip) or N and N/mm² (value).
struct Unit {
    std::string_view name;
    double factor;
};
constexpr Unit kSlipUnits[] = {{"mm", 1},     {"µm", 0.001},     {"μm", 0.001},
                               {"um", 0.001}, {"micron", 0.001}, {"m", 1000}};
constexpr Unit kValueUnits[] = {{"N", 1},     {"kN", 1000}, {"MN", 1e6},
                                {"N/mm²", 1}, {"N/mm2", 1}, {"MPa", 1}};

std::optional<Unit> findUnit(std::span<const Unit> units, std::string_view name) {
    for (const Unit& unit : units) {
        if (unit.name == name) {
            return unit;
        }
    }
    return std::nullopt;
}

// The unit a header entry names: in brackets at its end, "load (kN)", "slip [µm]", or as its
// last word, "slip mm"; with the name before it.
std::pair<std::string_view, std::string_view> nameAndUnit(std::string_view header) {
    header = unquoted(header);
    if (!header.empty() && (header.back() == ')' || header.back() == ']')) {
        const char open = header.back() == ')' ? '(' : '[';
        const std::size_t at = header.rfind(open);
        if (at != std::string_view::npos) {
            return {unquoted(header.substr(0, at)), header.substr(at + 1, header.size() - at - 2)};
        }
    }
    const std::size_t blank = header.find_last_of(" \t");
    if (blank != std::string_view::npos) {
        return {unquoted(header.substr(0, blank)), header.substr(blank + 1)};
    }
    return {header, {}};
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A file whose rows with commas all hold semicolons too, and which writes a digit, a comma
// and a digit, uses the decimal comma.
bool detectDecimalComma(std::string_view text) {
    bool digitCommaDigit = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("#") || line.find(',') == std::string_view::npos) {
            continue;
        }
        if (line.find(';') == std::string_view::npos) {
            return false;
        }
        for (std::size_t i = 1; i + 1 < line.size(); ++i) {
            digitCommaDigit =
                digitCommaDigit ||
                (line[i] == ',' && std::isdigit(static_cast<unsigned char>(line[i - 1])) &&
                 std::isdigit(static_cast<unsigned char>(line[i + 1])));
        }
    }
    return digitCommaDigit;
}

// Keeps the message of a row left out while few are told; counts it always.
void skipRow(MeasuredCurve& curve, const std::function<std::string()>& message) {
    if (curve.skippedRows.size() < kToldSkippedRows) {
        curve.skippedRows.push_back(message());
    }
    ++curve.skippedCount;
}

std::string lineTag(int line) {
    return "line " + std::to_string(line) + ": ";
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace

MeasuredCurveRead ParseMeasuredCurve(std::string_view bytes, const MeasuredFileLayout& layout) {
    MeasuredCurveRead read;
    std::string text;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (validUtf8(bytes)) {
        text = bytes;
    } else if (std::optional<std::string> decoded = DecodeCp932(bytes)) {
        text = std::move(*decoded);
    } else {
        read.error = "The file is neither UTF-8 nor Shift-JIS text.";
        return read;
    }

    const bool decimalComma = layout.decimal == DecimalMark::Comma ||
                              (layout.decimal == DecimalMark::Detect && detectDecimalComma(text));
    const bool chosen = !layout.slipColumn.empty() || !layout.valueColumn.empty();

    // The columns: a number is resolved now, a name when the header row comes.
    struct Column {
        std::string given; // the name or number given; empty for the default
        int index = -1;    // from 0; -1 until resolved
        std::string_view headerUnit;
    };
    std::array<Column, 2> columns = {Column{layout.slipColumn, 0, {}},
                                     Column{layout.valueColumn, 1, {}}};
    for (Column& column : columns) {
        if (column.given.empty()) {
            continue;
        }
        int number = 0;
        const auto [end, error] =
            std::from_chars(column.given.data(), column.given.data() + column.given.size(), number);
        column.index =
            error == std::errc() && end == column.given.data() + column.given.size() && number >= 1
                ? number - 1
                : -1;
    }
    const char* roles[] = {"slip", "load"};

    MeasuredCurve& curve = read.curve;
    bool headerPossible = true;
    bool unitsSet = false;
    std::array<double, 2> factors = {1, 1};
    int dataRows = 0;
    std::array<int, 2> numeric = {0, 0};
    double largestSlip = -1;
    std::string largestSlipText;
    int largestSlipLine = 0;
    std::size_t pos = 0;
    for (int line = 1; pos < text.size(); ++line) {
        // A line ends with LF, CR LF or a lone CR.
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view row(text.data() + pos, end - pos);
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);

        const std::vector<std::string_view> entries = splitRow(row, decimalComma);
        if (entries.empty() || entries.front().starts_with("#")) {
            continue;
        }
        if (headerPossible && !number(entries[0], decimalComma)) {
            headerPossible = false;
            // The header row: it names the columns and may give their units.
            for (Column& column : columns) {
                for (std::size_t e = 0; column.index < 0 && e < entries.size(); ++e) {
                    const auto [name, unit] = nameAndUnit(entries[e]);
                    if (sameName(name, column.given) ||
                        sameName(unquoted(entries[e]), column.given)) {
                        column.index = int(e);
                    }
                }
                if (column.index >= 0 && std::size_t(column.index) < entries.size()) {
                    column.headerUnit = nameAndUnit(entries[std::size_t(column.index)]).second;
                }
            }
            continue;
        }
        headerPossible = false;
        if (!unitsSet) {
            unitsSet = true;
            for (std::size_t c = 0; c < 2; ++c) {
                if (columns[c].index < 0) {
                    read.error =
                        "No column is named " + quoted(columns[c].given) +
                        (line > 1 ? " in the header row." : ": the file has no header row.");
                    return read;
                }
                const std::span<const Unit> known =
                    c == 0 ? std::span<const Unit>(kSlipUnits) : std::span<const Unit>(kValueUnits);
                const std::string& option = c == 0 ? layout.slipUnit : layout.valueUnit;
                std::string& told = c == 0 ? curve.slipUnit : curve.valueUnit;
                if (!option.empty()) {
                    const std::optional<Unit> unit = findUnit(known, option);
                    if (!unit) {
                        read.error = "The " + std::string(roles[c]) + " unit " + quoted(option) +
                                     " is not one the reader knows.";
                        return read;
                    }
                    factors[c] = unit->factor;
                    told = std::string(unit->name);
                } else if (const std::optional<Unit> unit =
                               findUnit(known, columns[c].headerUnit)) {
                    factors[c] = unit->factor;
                    told = std::string(unit->name) + " (from the header)";
                }
            }
        }
        ++dataRows;
        const std::size_t slipAt = std::size_t(columns[0].index);
        const std::size_t valueAt = std::size_t(columns[1].index);
        const std::optional<double> slip =
            slipAt < entries.size() ? number(entries[slipAt], decimalComma) : std::nullopt;
        const std::optional<double> value =
            valueAt < entries.size() ? number(entries[valueAt], decimalComma) : std::nullopt;
        numeric[0] += slip ? 1 : 0;
        numeric[1] += value ? 1 : 0;
        const std::size_t needed = std::max(slipAt, valueAt) + 1;
        if (chosen ? entries.size() < needed : entries.size() != 2) {
            skipRow(curve, [&] {
                return lineTag(line) + std::to_string(entries.size()) +
                       (entries.size() == 1 ? " entry" : " entries") +
                       (chosen ? "; the chosen columns need " + std::to_string(needed) + "."
                               : "; a row holds two numbers, slip and load.") +
                       " Left out.";
            });
            continue;
        }
        if (!slip || !value) {
            const std::size_t at = slip ? valueAt : slipAt;
            skipRow(curve, [&] {
                return lineTag(line) + quoted(entries[at]) + " in column " +
                       std::to_string(at + 1) + " is not a number. Left out.";
            });
            continue;
        }
        const double slipMm = *slip * factors[0];
        if (slipMm < 0) {
            skipRow(curve, [&] {
                return lineTag(line) + "the slip " + quoted(entries[slipAt]) +
                       " is negative. Left out.";
            });
            continue;
        }
        if (slipMm < largestSlip - layout.slipFallBack) {
            skipRow(curve, [&] {
                return lineTag(line) + "the slip " + quoted(entries[slipAt]) +
                       " falls back below " + quoted(largestSlipText) + " on line " +
                       std::to_string(largestSlipLine) +
                       " (unloading, or rows out of the order of the test). Left out.";
            });
            continue;
        }
        if (slipMm > largestSlip) {
            largestSlip = slipMm;
            largestSlipText = entries[slipAt];
            largestSlipLine = line;
        }
        curve.points.push_back({line, slipMm, *value * factors[1]});
    }

    for (std::size_t c = 0; c < 2 && read.error.empty(); ++c) {
        if (dataRows > 0 && numeric[c] == 0) {
            read.error = "Column " + std::to_string(columns[c].index + 1) + " (" + roles[c] +
                         ") holds no number on any row.";
        }
    }
    if (read.error.empty() && curve.points.size() < std::size_t(kMinMeasuredPoints)) {
        read.error = "The file holds " + std::to_string(curve.points.size()) +
                     (curve.points.size() == 1 ? " usable point" : " usable points") +
                     "; a fit needs at least " + std::to_string(kMinMeasuredPoints) + ".";
    }
    return read;
}

MeasuredCurveRead WithinRange(const MeasuredCurve& curve, const FitRange& range) {
    MeasuredCurveRead read;
    read.curve = curve;
    std::vector<MeasuredPoint>& points = read.curve.points;
    const auto peak = std::max_element(
        points.begin(), points.end(),
        [](const MeasuredPoint& a, const MeasuredPoint& b) { return a.value < b.value; });
    switch (range.kind) {
    case FitRange::Kind::All:
        break;
    case FitRange::Kind::Slips:
        std::erase_if(points, [&](const MeasuredPoint& p) {
            return p.slip < range.from || p.slip > range.to;
        });
        break;
    case FitRange::Kind::UpToPeak:
        points.erase(peak + 1, points.end());
        break;
    case FitRange::Kind::UpToFailure: {
        auto failure = peak + 1;
        while (failure != points.end() && !(failure->value < 0.5 * (failure - 1)->value)) {
            ++failure;
        }
        points.erase(failure, points.end());
        break;
    }
    }
    if (points.size() < std::size_t(kMinMeasuredPoints)) {
        read.error = "The fit range holds " + std::to_string(points.size()) +
                     (points.size() == 1 ? " point" : " points") + "; a fit needs at least " +
                     std::to_string(kMinMeasuredPoints) + ".";
    }
    return read;
}

std::string ParseFitRange(std::string_view text, FitRange& range) {
    if (text == "peak" || text == "failure") {
        range = {text == "peak" ? FitRange::Kind::UpToPeak : FitRange::Kind::UpToFailure, 0, 0};
        return {};
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return "takes FROM:TO (mm), peak or failure, not " + QuotedEntry(text);
    }
    const auto number = [](std::string_view part, double& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return error == std::errc() && end == part.data() + part.size() && std::isfinite(value);
    };
    FitRange slips{FitRange::Kind::Slips, 0, 0};
    for (const auto& [part, value] : {std::pair{text.substr(0, colon), &slips.from},
                                      std::pair{text.substr(colon + 1), &slips.to}}) {
        if (!number(part, *value)) {
            return "needs a number, not " + QuotedEntry(part);
        }
    }
    if (!(slips.from < slips.to)) {
        return "needs FROM below TO, not " + QuotedEntry(text);
    }
    range = slips;
    return {};
}

std::string MoreSkippedRows(const MeasuredCurve& curve) {
    const std::size_t more = curve.skippedCount - curve.skippedRows.size();
    if (more == 0) {
        return {};
    }
    return std::to_string(more) + (more == 1 ? " more row was" : " more rows were") + " left out.";
}

MeasuredCurveRead ReadMeasuredCurve(const std::string& path, const MeasuredFileLayout& layout) {
    MeasuredCurveRead failed;
    const InputFile file = ReadInputFile(path, kMaxMeasuredFileBytes);
    switch (file.problem) {
    case InputFileProblem::None:
        break;
    case InputFileProblem::CannotRead:
        if (file.errorNumber != EISDIR) {
            failed.error =
                "\"" + path + "\" cannot be opened: " + std::strerror(file.errorNumber) + ".";
            return failed;
        }
        [[fallthrough]];
    case InputFileProblem::NotRegularFile:
        failed.error = "\"" + path + "\" is not a regular file; a measured curve is read from one.";
        return failed;
    case InputFileProblem::TooLarge:
        failed.error = "\"" + path + "\" is larger than 64 MiB; it is not a measured curve.";
        return failed;
    }
    const std::string& bytes = file.bytes;
    MeasuredCurveRead read = ParseMeasuredCurve(bytes, layout);
    if (!read.error.empty()) {
        read.error = "\"" + path + "\": " + read.error;
    }
    return read;
}

} // namespace orvane
