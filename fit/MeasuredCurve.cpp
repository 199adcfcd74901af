#include "fit/MeasuredCurve.h"

#include "core/files/Cp932.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// A measured curve of a few thousand rows is a few hundred kilobytes; a larger file is not
// a test record.
constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

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

// Splits a row into its entries: a comma or semicolon with blanks around it separates two
// entries, as does a run of blanks and tabs. "1,,2" has an empty middle entry.
std::vector<std::string_view> splitRow(std::string_view row) {
    std::vector<std::string_view> entries;
    std::size_t i = 0;
    while (i < row.size() && isBlank(row[i])) {
        ++i;
    }
    while (i < row.size()) {
        const std::size_t start = i;
        while (i < row.size() && !isBlank(row[i]) && row[i] != ',' && row[i] != ';') {
            ++i;
        }
        entries.push_back(row.substr(start, i - start));
        while (i < row.size() && isBlank(row[i])) {
            ++i;
        }
        if (i < row.size() && (row[i] == ',' || row[i] == ';')) {
            ++i;
            while (i < row.size() && isBlank(row[i])) {
                ++i;
            }
            if (i == row.size()) {
                entries.push_back({}); // "1,2," ends with an empty entry
            }
        }
    }
    return entries;
}

// The whole entry as a finite number, or nothing.
std::optional<double> number(std::string_view entry) {
    if (!entry.empty() && entry.front() == '+') {
        entry.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), value);
    if (error != std::errc() || end != entry.data() + entry.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
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

MeasuredCurveRead ParseMeasuredCurve(std::string_view bytes) {
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

    MeasuredCurve& curve = read.curve;
    bool headerPossible = true;
    int dataRows = 0;
    int numericSlips = 0;
    int numericValues = 0;
    std::string_view lastSlipText;
    int lastSlipLine = 0;
    std::size_t pos = 0;
    for (int line = 1; pos < text.size(); ++line) {
        // A line ends with LF, CR LF or a lone CR.
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string_view row(text.data() + pos, end - pos);
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);

        const std::vector<std::string_view> entries = splitRow(row);
        if (entries.empty() || entries.front().starts_with("#")) {
            continue;
        }
        const std::optional<double> slip = number(entries[0]);
        if (headerPossible && !slip) {
            headerPossible = false;
            continue; // the header row
        }
        headerPossible = false;
        ++dataRows;
        const std::optional<double> value = entries.size() > 1 ? number(entries[1]) : std::nullopt;
        numericSlips += slip ? 1 : 0;
        numericValues += value ? 1 : 0;
        if (entries.size() != 2) {
            skipRow(curve, [&] {
                return lineTag(line) + std::to_string(entries.size()) +
                       (entries.size() == 1 ? " entry" : " entries") +
                       "; a row holds two numbers, slip and load. Left out.";
            });
            continue;
        }
        if (!slip || !value) {
            const int column = slip ? 2 : 1;
            skipRow(curve, [&] {
                return lineTag(line) + quoted(entries[column - 1]) + " in column " +
                       std::to_string(column) + " is not a number. Left out.";
            });
            continue;
        }
        if (*slip < 0) {
            skipRow(curve, [&] {
                return lineTag(line) + "the slip " + quoted(entries[0]) + " is negative. Left out.";
            });
            continue;
        }
        if (!curve.points.empty() && *slip < curve.points.back().slip) {
            read.error = lineTag(line) + "the slip " + quoted(entries[0]) + " is smaller than " +
                         quoted(lastSlipText) + " on line " + std::to_string(lastSlipLine) +
                         ". The slip must not decrease: give the rows in the order of the test.";
            return read;
        }
        lastSlipText = entries[0];
        lastSlipLine = line;
        curve.points.push_back({line, *slip, *value});
    }

    if (dataRows > 0 && numericSlips == 0) {
        read.error = "Column 1 (slip) holds no number on any row.";
    } else if (dataRows > 0 && numericValues == 0) {
        read.error = "Column 2 (load) holds no number on any row.";
    } else if (curve.points.size() < std::size_t(kMinMeasuredPoints)) {
        read.error = "The file holds " + std::to_string(curve.points.size()) +
                     (curve.points.size() == 1 ? " usable point" : " usable points") +
                     "; a fit needs at least " + std::to_string(kMinMeasuredPoints) + ".";
    }
    return read;
}

std::string MoreSkippedRows(const MeasuredCurve& curve) {
    const std::size_t more = curve.skippedCount - curve.skippedRows.size();
    if (more == 0) {
        return {};
    }
    return std::to_string(more) + (more == 1 ? " more row was" : " more rows were") + " left out.";
}

MeasuredCurveRead ReadMeasuredCurve(const std::string& path) {
    MeasuredCurveRead failed;
    // Opened without waiting, so that a pipe without a writer cannot hang the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        failed.error = "\"" + path + "\" cannot be opened: " + std::strerror(errno) + ".";
        return failed;
    }
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failed.error = "\"" + path + "\" is not a regular file; a measured curve is read from one.";
        return failed;
    }
    char chunk[65536];
    ssize_t got = 0;
    while (bytes.size() <= kMaxFileBytes &&
           ((got = ::read(fd, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR))) {
        if (got > 0) {
            bytes.append(chunk, std::size_t(got));
        }
    }
    const int readError = got < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0) {
        failed.error = "\"" + path + "\" cannot be read: " + std::strerror(readError) + ".";
        return failed;
    }
    if (bytes.size() > kMaxFileBytes) {
        failed.error = "\"" + path + "\" is larger than 64 MiB; it is not a measured curve.";
        return failed;
    }
    MeasuredCurveRead read = ParseMeasuredCurve(bytes);
    if (!read.error.empty()) {
        read.error = "\"" + path + "\": " + read.error;
    }
    return read;
}

} // namespace orvane
