#include "apps/orvane-batch/FitCommand.h"
#include "core/files/ParameterFile.h"
#include "fit/ModelCurve.h"
#include "support/FileBytes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

struct GoodLine {
    std::vector<std::string> arguments;
    MeasuredQuantity quantity;
    std::size_t laws;
    std::array<std::optional<std::string>, 3> fixed;
    std::optional<std::string> parameterFile;
};

TEST(FitOptions, ReadsTheCommandLine) {
    const GoodLine lines[] = {
        {{"--measured", "t.csv"}, MeasuredQuantity::Load, 1, {}, std::nullopt},
        {{"--measured", "stress", "--measured", "t.csv", "base.kvp"},
         MeasuredQuantity::AverageStress,
         1,
         {},
         "base.kvp"},
        {{"base.kvp", "--measured=t.csv", "--law", "both", "--fix", "su=0.354", "--fix", "tau"},
         MeasuredQuantity::Load,
         2,
         {"", std::nullopt, "0.354"},
         "base.kvp"},
        {{"--fix", "sy", "--measured", "t.csv", "--", "-odd.kvp"},
         MeasuredQuantity::Load,
         1,
         {std::nullopt, "", std::nullopt},
         "-odd.kvp"},
    };
    for (const GoodLine& line : lines) {
        const FitOptionsParse parse = ParseFitOptions(line.arguments);
        ASSERT_EQ(parse.error, "") << line.arguments[0];
        EXPECT_EQ(parse.options.measuredFile, "t.csv");
        EXPECT_EQ(parse.options.quantity, line.quantity);
        EXPECT_EQ(parse.options.laws.size(), line.laws);
        EXPECT_EQ(parse.options.fixed, line.fixed);
        EXPECT_EQ(parse.options.parameterFile, line.parameterFile);
    }
}

TEST(FitOptions, RefusesWhatItCannotRead) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } lines[] = {
        {{}, "--measured FILE is needed"},
        {{"--measured", "t.csv", "--law", "linear"},
         "--law takes softening, bilinear or both, not \"linear\""},
        {{"--measured", "t.csv", "--fix", "Ef=1"}, "--fix takes tau, smax or su, not \"Ef\""},
        {{"--measured", "t.csv", "--fix", "su", "--fix", "su=1"}, "--fix su is given twice"},
        {{"--measured", "t.csv", "--fix", "su="}, "--fix su= needs a value after \"=\""},
        {{"--measured", "t.csv", "--jobs", "0"},
         "--jobs takes a whole number from 1 to 256, not \"0\""},
        {{"--measured", "t.csv", "--verbose"}, "unknown option --verbose"},
        {{"--measured", "t.csv", "--output"}, "--output needs a value"},
        {{"--measured", "a.csv", "--measured", "b.csv"}, "only one measured file can be given"},
        {{"--measured", "t.csv", "a.kvp", "b.kvp"}, "only one base file can be given"},
        {{"--measured", "t.csv", "--fix", "su=1,5"}, "--fix su takes a number, not \"1,5\""},
        {{"--measured", "t.csv", "--fix", "smax=0.05\n"},
         "--fix smax takes a number, not \"0.05\n\""},
        {{"--measured", "t.csv", "--fix", "tau=6.4 N/mm2"},
         "--fix tau takes a number, not \"6.4 N/mm2\""},
        {{"--measured", "t.csv", "--initial-ds", "x"}, "--initial-ds takes a number, not \"x\""},
    };
    for (const auto& line : lines) {
        EXPECT_EQ(ParseFitOptions(line.arguments).error, line.error);
    }
}

class FitCommand : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-fit-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // output: where standard output goes.
    int run(const std::string& arguments, const std::string& output = ">out.txt") {
        const std::string command = "cd '" + m_dir.string() +
                                    "' && '" ORVANE_BATCH_COMMAND "' fit " + arguments + " " +
                                    output + " 2>err.txt";
        const int status = std::system(command.c_str());
        m_out = readFile(m_dir / "out.txt");
        m_err = readFile(m_dir / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }

    // The start-up run's own curve, 20 points, as average bond stress, in test.csv.
    void writeStartUpCurve() const {
        AnalysisParameters truth = StartupParameters();
        truth.ds = InitialSlipIncrement("1E-07");
        const LoadSlipPath path(RunModelCurve(truth).steps);
        std::string csv = "slip;tau\n";
        const double area = 1000 * double(0.12f) * 50;
        for (int i = 1; i <= 20; ++i) {
            const double s = 0.9 * path.failureSlip() * i / 20;
            csv += std::to_string(s) + ";" + std::to_string(path.loadAt(s) / area) + "\n";
        }
        write("test.csv", csv);
    }

    fs::path m_dir;
    std::string m_out;
    std::string m_err;
};

TEST_F(FitCommand, FitsTheStartUpCurveAndWritesTheFittedFiles) {
    writeStartUpCurve();
    ASSERT_EQ(run("--measured test.csv --measured stress --fix smax=0.0650"), 0) << m_err;
    EXPECT_NE(m_out.find("law         bi-linear softening\n"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("smax        0.0650 mm  fixed\n"), std::string::npos) << m_out;
    ParameterFileTexts fitted;
    ASSERT_TRUE(LoadParameterFile((m_dir / "test-fit.kvp").string(), fitted).ok());
    EXPECT_EQ(fitted.comment,
              "Fitted (bi-linear softening) to test.csv: Please input the comment.");
    EXPECT_NEAR(FieldValue(fitted.fields[0]), 6.467, 0.01 * 6.467);
    EXPECT_EQ(fitted.fields[1], "0.0650");
    EXPECT_NEAR(FieldValue(fitted.fields[2]), 0.354, 0.01 * 0.354);
    for (int f = 3; f < kStoredFieldCount; ++f) {
        EXPECT_EQ(fitted.fields[f], StartupFieldTexts()[f]);
    }
    const std::string rows = readFile(m_dir / "test-fit.csv");
    EXPECT_TRUE(rows.starts_with("slip (mm),measured load (N),model load (N),residual (N)\r\n"));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 21);
}

// The law rises to smax and ends at su: fixed both, with the base file's su too, smax must
// stay below su; refused before the measured file is read.
TEST_F(FitCommand, RefusesAFixedSmaxNotBelowSu) {
    for (const char* fixed :
         {"--fix smax=0.5 --fix su=0.4", "--fix smax=0.354 --fix su", "--fix su=0.06 --fix smax"}) {
        EXPECT_EQ(run(std::string("--measured none.csv ") + fixed), 2) << fixed;
        EXPECT_NE(m_err.find("smax must stay below su"), std::string::npos) << m_err;
    }
}

// The fit's text or JSON lost on its way to standard output is a failure, not a result.
TEST_F(FitCommand, LostStandardOutputIsAFailure) {
    writeStartUpCurve();
    for (const char* output : {">/dev/full", ">&-"}) {
        for (const char* json : {"", " --json"}) {
            EXPECT_EQ(
                run(std::string("--measured test.csv --measured stress --fix smax=0.0650") + json,
                    output),
                1)
                << output << json;
            EXPECT_NE(m_err.find("cannot write standard output"), std::string::npos) << m_err;
        }
    }
}

TEST_F(FitCommand, ReportsBadRowsAndRefusesABadCurve) {
    write("bad.csv", "s,P\n0.1,100\n0.2,oops\n0.3,300\n");
    EXPECT_EQ(run("--measured bad.csv"), 2);
    EXPECT_EQ(m_err, "orvane-batch fit: bad.csv: line 3: \"oops\" in column 2 is not a number. "
                     "Left out.\n"
                     "orvane-batch fit: \"bad.csv\": The file holds 2 usable points; a fit needs "
                     "at least 5.\n");
    EXPECT_FALSE(fs::exists(m_dir / "bad-fit.kvp"));
}

} // namespace
} // namespace orvane
