#include "core/validation/TestDatabase.h"

#include "core/files/InputFile.h"
#include "core/numtext/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

namespace orvane {

namespace {

// Far more rows than any collection of pull-out tests; a larger file is not one.
constexpr std::size_t kMaxTestDatabaseBytes = std::size_t{256} << 20;

} // namespace

namespace {

struct Record {
    int line = 0;
    std::vector<std::string> fields;
};

// The records of an RFC 4180 text: quoted fields may hold commas, doubled quotes and line ends.
// A record is numbered by the line it starts on.
std::vector<Record> readRecords(std::string_view text) {
    std::vector<Record> records;
    Record record;
    std::string field;
    bool quoted = false;
    bool fieldStarted = false;
    int line = 1;
    record.line = line;
    const auto endRecord = [&] {
        if (fieldStarted || !record.fields.empty() || !field.empty()) {
            record.fields.push_back(field);
            records.push_back(record);
        }
        record = Record{};
        field.clear();
        fieldStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                line += c == '\n' ? 1 : 0;
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
            fieldStarted = true;
        } else if (c == ',') {
            record.fields.push_back(field);
            field.clear();
            fieldStarted = true;
        } else if (c == '\n') {
            endRecord();
            record.line = ++line;
        } else if (c != '\r') {
            field += c;
        }
    }
    endRecord();
    return records;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

enum class Dimension { Length, Stress, Force };

Dimension dimensionOf(TestInput input) {
    switch (input) {
    case TestInput::Fc:
    case TestInput::Ef:
        return Dimension::Stress;
    case TestInput::Pu:
        return Dimension::Force;
    default:
        return Dimension::Length;
    }
}

struct Unit {
    std::string_view name; // lower case
    Dimension dimension;
    double factor; // to N, mm, MPa
};
// The inch is 25.4 mm exactly; the pound-force 4.4482216152605 N exactly (the standard pound
// times the standard gravity); psi = lbf/in² = 6.894757293168… kPa.
constexpr double kInch = 25.4;
constexpr double kPoundForce = 4.4482216152605;
constexpr double kPsi = kPoundForce / (kInch * kInch);
constexpr std::array<Unit, 12> kUnits = {{
    {"mm", Dimension::Length, 1},
    {"m", Dimension::Length, 1000},
    {"in", Dimension::Length, kInch},
    {"mpa", Dimension::Stress, 1},
    {"n/mm2", Dimension::Stress, 1},
    {"gpa", Dimension::Stress, 1000},
    {"psi", Dimension::Stress, kPsi},
    {"ksi", Dimension::Stress, 1000 * kPsi},
    {"n", Dimension::Force, 1},
    {"kn", Dimension::Force, 1000},
    {"lbf", Dimension::Force, kPoundForce},
    {"kip", Dimension::Force, 1000 * kPoundForce},
}};

std::string_view unitNames(Dimension dimension) {
    switch (dimension) {
    case Dimension::Length:
        return "mm, m or in";
    case Dimension::Stress:
        return "MPa, GPa, psi or ksi";
    case Dimension::Force:
        return "N, kN, lbf or kip";
    }
    return {};
}

// A header cell: its name and the unit in parentheses or brackets, if any.
struct HeaderCell {
    std::string name; // lower case
    std::optional<std::string> unit;
    bool malformed = false;
};

HeaderCell readHeaderCell(std::string_view cell) {
    HeaderCell header;
    cell = trimmed(cell);
    const std::size_t open = cell.find_first_of("([");
    if (open == std::string_view::npos) {
        header.name = lowered(cell);
        return header;
    }
    const char close = cell[open] == '(' ? ')' : ']';
    header.name = lowered(trimmed(cell.substr(0, open)));
    if (cell.back() != close) {
        header.malformed = true;
        return header;
    }
    header.unit = lowered(trimmed(cell.substr(open + 1, cell.size() - open - 2)));
    return header;
}

struct Column {
    int field = -1;    // index in the record
    double factor = 1; // to N, mm, MPa
};

} // namespace

TestDatabase ReadTestDatabase(std::string_view text) {
    TestDatabase database;
    // A spreadsheet's UTF-8 export may begin with a byte-order mark.
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::vector<Record> records = readRecords(text);
    std::erase_if(records, [](const Record& record) {
        const std::string_view first = trimmed(record.fields.front());
        return (record.fields.size() == 1 && first.empty()) ||
               (!first.empty() && first.front() == '#');
    });
    if (records.empty()) {
        database.error = "no header row: the file holds no records";
        return database;
    }
    // Header: which field holds which column, and the factor of its unit.
    std::array<Column, kTestInputCount> columns{};
    int idField = -1;
    int sourceField = -1;
    const Record& header = records.front();
    for (int f = 0; f < int(header.fields.size()); ++f) {
        const HeaderCell cell = readHeaderCell(header.fields[std::size_t(f)]);
        const std::string where = "header, column " + std::to_string(f + 1) + " \"" +
                                  std::string(trimmed(header.fields[std::size_t(f)])) + "\"";
        if (cell.malformed) {
            database.error = where + ": the unit's parenthesis or bracket is not closed at the end";
            return database;
        }
        const auto known =
            std::find_if(kTestInputNames.begin(), kTestInputNames.end(),
                         [&](std::string_view n) { return lowered(n) == cell.name; });
        if (cell.name == "id" || cell.name == "source") {
            int& field = cell.name == "id" ? idField : sourceField;
            if (field >= 0) {
                database.error = where + ": " + cell.name + " is named twice";
                return database;
            }
            field = f;
            continue;
        }
        if (known == kTestInputNames.end()) {
            database.ignoredColumns.push_back(std::string(trimmed(header.fields[std::size_t(f)])));
            continue;
        }
        const auto input = static_cast<TestInput>(known - kTestInputNames.begin());
        Column& column = columns[std::size_t(known - kTestInputNames.begin())];
        if (column.field >= 0) {
            database.error = where + ": " + std::string(*known) + " is named twice";
            return database;
        }
        column.field = f;
        if (cell.unit) {
            const Dimension dimension = dimensionOf(input);
            const auto unit = std::find_if(kUnits.begin(), kUnits.end(), [&](const Unit& u) {
                return u.name == *cell.unit && u.dimension == dimension;
            });
            if (unit == kUnits.end()) {
                database.error = where + ": unknown unit \"" + *cell.unit + "\" for " +
                                 std::string(*known) + " (use " +
                                 std::string(unitNames(dimension)) + ")";
                return database;
            }
            column.factor = unit->factor;
        }
    }
    std::string missing;
    for (int i = 0; i < kTestInputCount; ++i) {
        if (columns[std::size_t(i)].field < 0) {
            missing += (missing.empty() ? "" : ", ") + std::string(kTestInputNames[std::size_t(i)]);
        }
    }
    if (!missing.empty()) {
        database.error = "header: no column for " + missing +
                         " (the header must name bc, fc, Ef, tf, bf, L and Pu)";
        return database;
    }
    database.hasSource = sourceField >= 0;

    for (std::size_t r = 1; r < records.size(); ++r) {
        const Record& record = records[r];
        TestRow row;
        row.line = record.line;
        const auto fieldText = [&](int f) -> std::string_view {
            return f >= 0 && f < int(record.fields.size()) ? trimmed(record.fields[std::size_t(f)])
                                                           : std::string_view();
        };
        row.id = idField >= 0 && !fieldText(idField).empty() ? std::string(fieldText(idField))
                                                             : "line " + std::to_string(row.line);
        row.source = std::string(fieldText(sourceField));
        for (int i = 0; i < kTestInputCount && row.problem.empty(); ++i) {
            const Column& column = columns[std::size_t(i)];
            const std::string name(kTestInputNames[std::size_t(i)]);
            const std::string_view cell = fieldText(column.field);
            const std::optional<double> number = ParseWholeNumber(trimmed(cell));
            if (cell.empty()) {
                row.problem = name + " is missing";
            } else if (!number || !std::isfinite(*number)) {
                row.problem = name + ": \"" + std::string(cell) + "\" is not a number";
            } else if (!(*number > 0)) {
                row.problem = name + ": " + std::string(cell) + " is not positive";
            } else {
                row.values[std::size_t(i)] = *number * column.factor;
            }
        }
        if (!row.problem.empty()) {
            row.problem = "line " + std::to_string(row.line) + ": " + row.problem;
        }
        database.rows.push_back(std::move(row));
    }
    return database;
}

TestDatabase ReadTestDatabaseFile(const std::string& path) {
    const InputFile file = ReadInputFile(path, kMaxTestDatabaseBytes);
    if (file.problem != InputFileProblem::None) {
        TestDatabase database;
        switch (file.problem) {
        case InputFileProblem::NotRegularFile:
            database.error = "\"" + path + "\" is a pipe, device or socket, not a test database";
            break;
        case InputFileProblem::TooLarge:
            database.error =
                "\"" + path + "\" is larger than 256 MiB, more than a test database holds";
            break;
        default:
            database.error = "cannot read \"" + path + "\": " + std::strerror(file.errorNumber);
            break;
        }
        return database;
    }
    TestDatabase database = ReadTestDatabase(file.bytes);
    if (!database.error.empty()) {
        database.error = path + ": " + database.error;
    }
    return database;
}

} // namespace orvane
