#pragma once

// A database of single-lap shear tests, one test a row of a CSV table (RFC 4180, comma
// separated, UTF-8). A header row names the columns in any order and letter case: bc, fc, Ef,
// tf, bf, L and Pu, with id and source optional; other columns are passed over. A name may
// carry its unit in parentheses or brackets, "Ef (GPa)", "Pu [kN]": lengths in mm, m or in,
// stresses in MPa, GPa, psi or ksi, forces in N, kN, lbf or kip; without one, the N-mm unit.
// Every value is converted to N, mm and MPa as it is read. Blank lines and lines starting with
// # are skipped.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The measured inputs of one test, in the order of kTestInputNames.
enum class TestInput { Bc, Fc, Ef, Tf, Bf, L, Pu };
inline constexpr int kTestInputCount = 7;
// The column names: member width bc (mm), cylinder strength fc (MPa), laminate modulus Ef
// (MPa) and thickness tf (mm), laminate width bf (mm), bond length L (mm), ultimate load Pu (N).
inline constexpr std::array<std::string_view, kTestInputCount> kTestInputNames = {
    "bc", "fc", "Ef", "tf", "bf", "L", "Pu"};

struct TestRow {
    int line = 0;       // the row's line in the file, from 1, for messages
    std::string id;     // the id column, else "line N"
    std::string source; // the source column; empty without one
    std::array<double, kTestInputCount> values{}; // N, mm, MPa
    std::string problem;                          // why the row cannot be read; empty when it can

    double value(TestInput input) const { return values[static_cast<int>(input)]; }
};

struct TestDatabase {
    std::string error; // why the file as a whole cannot be read (its header); empty if it can
    std::vector<std::string> ignoredColumns; // header names that are none of ours
    std::vector<TestRow> rows;
    bool hasSource = false;
};

// Reads the text of a test database. A row whose value is missing, not a number or not
// positive is kept with the reason, naming its line and column.
TestDatabase ReadTestDatabase(std::string_view text);
// The same from a file; error names the file and why it cannot be read.
TestDatabase ReadTestDatabaseFile(const std::string& path);

} // namespace orvane
