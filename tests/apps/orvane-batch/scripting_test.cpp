// orvane-batch as scripts, cron jobs and pipes use it: short usage errors, help that fits a
// terminal, --quiet, and nothing on standard error that nobody asked for.

#include "apps/orvane-batch/CommandLine.h"
#include "apps/orvane-batch/FitCommand.h"
#include "support/BatchCommand.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

// Characters, not bytes: the help holds τ, Δ and ≤.
std::size_t columns(const std::string& line) {
    return std::size_t(std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

TEST(HelpText, EveryCommandFitsEightyColumns) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"study", "--help"},
                                               {"fit", "--help"},
                                               {"convert", "--help"},
                                               {"codes", "--help"}}) {
        std::istringstream help(ParseCommandLine(arguments).help);
        for (std::string line; std::getline(help, line);) {
            EXPECT_LE(columns(line), 80u) << arguments.front() << ": " << line;
        }
    }
}

// A mistake on the command line gets one line that names it, and where the help is.
TEST_F(BatchCommand, UsageErrorIsOneLineAndAPointerToTheHelp) {
    const struct {
        const char* arguments;
        const char* command;
        const char* message;
    } cases[] = {
        {"--bogus", "orvane-batch", "unknown option --bogus"},
        {"-o", "orvane-batch", "-o needs a value"},
        {"study --jobs 0", "orvane-batch study", "--jobs takes a whole number"},
        {"fit --law", "orvane-batch fit", "--law needs a value"},
        {"convert a.kvp", "orvane-batch convert", "convert takes two files"},
        {"codes --fc -3", "orvane-batch codes", "--fc takes a positive number"},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments;
        EXPECT_EQ(r.out, "") << c.arguments;
        const std::string first = std::string(c.command) + ": ";
        EXPECT_EQ(r.err.rfind(first, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        const std::size_t end = r.err.find('\n');
        EXPECT_EQ(r.err.substr(end + 1),
                  "Try '" + std::string(c.command) + " --help' for more information.\n")
            << r.err;
    }
}

// --quiet leaves what an option asked for (JSON, a table on standard output) and warnings,
// nothing else, on either stream.
TEST_F(BatchCommand, QuietLeavesOnlyWhatWasAskedFor) {
    saveParameterFile("beam.kvp", static_cast<int>(NumericField::Lb), "40");
    const struct {
        const char* arguments;
        const char* out; // the start of standard output; empty: nothing at all
        int exitCode;
        const char* err; // standard error
    } cases[] = {
        {"-q -o r.t-s beam.kvp", "", 0, ""},
        {"--quiet --json -o r.t-s beam.kvp", "{", 0, ""},
        {"study -q --vary lb=10,20 --jobs 2 --csv s.csv beam.kvp", "", 0, ""},
        {"study --quiet --vary lb=10,20 --jobs 1 beam.kvp", "# program,", 0, ""},
        {"study -q --vary lb=0,20 --jsonl s.jsonl beam.kvp", "", 0,
         "orvane-batch study: warning: the run checks refused 1 of 2 points (see the problem "
         "column)\n"},
        {"study -q --sample 80 --vary lb=normal:40:2 --csv p.csv --summary p.json beam.kvp", "", 0,
         ""},
        {"codes -q --fc 30 --csv c.csv", "", 0, ""},
        {"codes -q --fc 30 --csv c.csv beam.kvp", "", 4,
         "orvane-batch codes: warning: a code's scope excludes this case; its row says why\n"},
        {"convert -q beam.kvp beam.orv", "", 0, ""},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.err, c.err) << c.arguments;
        if (std::string(c.out).empty()) {
            EXPECT_EQ(r.out, "") << c.arguments;
        } else {
            EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.arguments << ": " << r.out.substr(0, 80);
        }
    }
}

#ifdef ORVANE_BATCH_FIGURES
// From cron, ssh or CI there is no desktop session and no XDG_RUNTIME_DIR: drawing a figure
// leaves standard error empty all the same.
TEST_F(BatchCommand, FigureWithoutADesktopSessionSaysNothing) {
    const BatchRun r =
        runProgram("env", "-u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY '" ORVANE_BATCH_COMMAND
                          "' -q --figure f.png -o r.t-s");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "f-load-slip.png"));
}
#endif

// "-" for a file to read is standard input, in either file form; the results are those of
// the same file named on the command line.
TEST_F(BatchCommand, DashReadsTheDataSetFromStandardInput) {
    saveParameterFile("beam.kvp", static_cast<int>(NumericField::Lb), "40");
    ASSERT_EQ(run("convert -q --model bilinear beam.kvp beam.orv").exitCode, 0);
    const auto afterFirstLine = [](const std::string& text) {
        return text.substr(std::min(text.size(), text.find('\n')));
    };
    for (const char* file : {"beam.kvp", "beam.orv"}) {
        SCOPED_TRACE(file);
        const std::string given = std::string(" ") + file;
        const std::string piped = std::string(" - < ") + file;
        for (const std::string& command :
             {std::string("-o r.t-s --json"), std::string("study --vary lb=10,20 --jobs 1 -q"),
              std::string("codes --fc 30 --json")}) {
            const BatchRun named = run(command + given);
            std::filesystem::remove(m_dir / "r.t-s");
            const BatchRun read = run(command + piped);
            std::filesystem::remove(m_dir / "r.t-s");
            EXPECT_EQ(read.exitCode, named.exitCode) << command << ": " << read.err;
            EXPECT_EQ(afterFirstLine(read.out), afterFirstLine(named.out)) << command;
        }
        const BatchRun named = run("-q -o a.t-s" + given);
        const BatchRun read = run("-q -o b.t-s" + piped);
        ASSERT_EQ(read.exitCode, 0) << read.err;
        EXPECT_EQ(afterFirstLine(readFile(m_dir / "b.t-s")),
                  afterFirstLine(readFile(m_dir / "a.t-s")));
        std::filesystem::remove(m_dir / "a.t-s");
        std::filesystem::remove(m_dir / "b.t-s");
    }
    const BatchRun empty = run("-o r.t-s - < /dev/null");
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_NE(empty.err.find("standard input"), std::string::npos) << empty.err;
}

// The fit reads its measured curve from standard input; its files need a name then, and
// standard output cannot take them.
TEST(FitOptions, StandardInputAndOutput) {
    const struct {
        std::vector<std::string> arguments;
        const char* error; // empty: accepted
    } lines[] = {
        {{"--measured", "-", "--output", "lab"}, ""},
        {{"--measured", "-", "--output", "lab", "base.kvp"}, ""},
        {{"--measured", "lab.csv", "-"}, ""},
        {{"--measured", "-"}, "--measured - needs --output PREFIX"},
        {{"--measured", "-", "--output", "lab", "-"}, "not both"},
        {{"--measured", "lab.csv", "--output", "-"}, "standard output cannot hold"},
    };
    for (const auto& line : lines) {
        const std::string error = ParseFitOptions(line.arguments).error;
        if (std::string(line.error).empty()) {
            EXPECT_EQ(error, "") << line.arguments.back();
        } else {
            EXPECT_NE(error.find(line.error), std::string::npos) << error;
        }
    }
}

} // namespace

namespace {

// An example in a folder its user cannot write (installed in /usr/share/doc) is refused before
// the run with the way out, -o, and runs with it.
TEST_F(BatchCommand, UnwritableFolderOfTheResultFileNamesDashO) {
    const fs::path examples = m_dir / "examples";
    fs::create_directory(examples);
    saveParameterFile("examples/beam.kvp", static_cast<int>(NumericField::Lb), "40");
    fs::permissions(examples, fs::perms::owner_write | fs::perms::group_write,
                    fs::perm_options::remove);
    fs::permissions(m_dir, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(examples, fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(examples / "beam.kvp", fs::perms::others_read, fs::perm_options::add);
    // Root writes any folder: the run is then made as an ordinary user.
    const std::string program = geteuid() == 0 ? "setpriv" : ORVANE_BATCH_COMMAND;
    const std::string asUser =
        geteuid() == 0 ? "--reuid=65534 --regid=65534 --clear-groups '" ORVANE_BATCH_COMMAND "' "
                       : "";
    const BatchRun refused = runProgram(program, asUser + "examples/beam.kvp");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("cannot be written"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("-o PATH writes the result file elsewhere"), std::string::npos)
        << refused.err;
    fs::permissions(m_dir, fs::perms::others_write, fs::perm_options::add);
    const BatchRun elsewhere = runProgram(program, asUser + "-q -o beam.t-s examples/beam.kvp");
    EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.err;
    EXPECT_TRUE(fs::exists(m_dir / "beam.t-s"));
    fs::permissions(examples, fs::perms::owner_all, fs::perm_options::add);
}

} // namespace

namespace {

// The README's fit: the measured curve shipped with the examples, made from the start-up set
// with a test's scatter, fits back to the start-up law (τmax 6.467 N/mm², smax 0.065 mm,
// su 0.354 mm) within 5 %, read here from standard input.
TEST_F(BatchCommand, ShippedMeasuredCurveFitsBackToTheStartupLaw) {
    const std::string examples = ORVANE_EXAMPLES_DIR;
    const BatchRun r = run("fit -q --json --measured - --output fitted '" + examples +
                           "/startup.orv' < '" + examples + "/measured-curve.csv'");
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 5) << r.err;
    for (const auto& [key, value] :
         {std::pair{"\"tauMax\":{", 6.467}, {"\"sMax\":{", 0.065}, {"\"su\":{", 0.354}}) {
        const std::size_t at = r.out.find(std::string(key));
        ASSERT_NE(at, std::string::npos) << key;
        const std::size_t number = r.out.find("\"value\":", at) + 8;
        EXPECT_NEAR(std::strtod(r.out.c_str() + number, nullptr), value, 0.05 * value) << key;
    }
    EXPECT_NE(r.out.find("\"measured\":\"-\""), std::string::npos);
    EXPECT_NE(readFile(m_dir / "fitted.orv").find("to standard input"), std::string::npos);
}

} // namespace
