#include "apps/orvane-batch/FitCommand.h"
#include "core/files/DataSetFile.h"
#include "core/files/ParameterFile.h"
#include "fit/ModelCurve.h"
#include "support/FileBytes.h"

#include <algorithm>
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

TEST(FitOptions, ReadsTheLabFileOptions) {
    const FitOptionsParse parse = ParseFitOptions(
        {"--measured", "t.csv", "--columns", "slip=LVDT 1,load=5", "--units", "slip=um,load=kN",
         "--decimal", "comma", "--range", "0.01:1.5", "--slip-scatter", "0.002"});
    ASSERT_EQ(parse.error, "");
    const MeasuredFileLayout& layout = parse.options.layout;
    EXPECT_EQ(layout.slipColumn, "LVDT 1");
    EXPECT_EQ(layout.valueColumn, "5");
    EXPECT_EQ(layout.slipUnit, "um");
    EXPECT_EQ(layout.valueUnit, "kN");
    EXPECT_EQ(layout.decimal, DecimalMark::Comma);
    EXPECT_EQ(layout.slipFallBack, 0.002);
    EXPECT_EQ(parse.options.range.kind, FitRange::Kind::Slips);
    EXPECT_EQ(parse.options.range.from, 0.01);
    EXPECT_EQ(parse.options.range.to, 1.5);
    EXPECT_EQ(ParseFitOptions({"--measured", "t.csv", "--range", "failure"}).options.range.kind,
              FitRange::Kind::UpToFailure);
}

TEST(FitOptions, ReadsASeries) {
    const FitOptionsParse parse =
        ParseFitOptions({"--specimen", "a.csv,a.orv", "--specimen", "b.csv", "--measured", "stress",
                         "--specimen", "c,d.csv,c.kvp", "base.kvp", "--offset"});
    ASSERT_EQ(parse.error, "");
    const std::vector<FitSpecimenFiles>& specimens = parse.options.specimens;
    ASSERT_EQ(specimens.size(), 3u);
    EXPECT_EQ(specimens[0].measuredFile, "a.csv");
    EXPECT_EQ(specimens[0].baseFile, "a.orv");
    EXPECT_EQ(specimens[1].measuredFile, "b.csv");
    EXPECT_EQ(specimens[1].baseFile, std::nullopt);
    EXPECT_EQ(specimens[2].measuredFile, "c,d.csv");
    EXPECT_EQ(specimens[2].baseFile, "c.kvp");
    EXPECT_EQ(parse.options.quantity, MeasuredQuantity::AverageStress);
    EXPECT_EQ(parse.options.parameterFile, "base.kvp");
    EXPECT_EQ(parse.options.measuredFile, "");
    EXPECT_TRUE(parse.options.fitSeatingOffset); // one offset for each specimen
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
        {{"--measured", "a.csv", "--measured", "b.csv"},
         "only one measured file can be given (a series: --specimen)"},
        {{"--specimen", ",b.kvp"}, "--specimen takes FILE or FILE,BASE, not \",b.kvp\""},
        {{"--specimen", "a.csv,"}, "--specimen takes FILE or FILE,BASE, not \"a.csv,\""},
        {{"--measured", "a.csv", "--specimen", "b.csv"},
         "--measured FILE and --specimen do not go together: give each curve of a series with "
         "--specimen"},
        {{"--measured", "t.csv", "a.kvp", "b.kvp"}, "only one base file can be given"},
        {{"--measured", "t.csv", "--fix", "su=1,5"}, "--fix su takes a number, not \"1,5\""},
        {{"--measured", "t.csv", "--fix", "smax=0.05\n"},
         "--fix smax takes a number, not \"0.05\n\""},
        {{"--measured", "t.csv", "--fix", "tau=6.4 N/mm2"},
         "--fix tau takes a number, not \"6.4 N/mm2\""},
        {{"--measured", "t.csv", "--initial-ds", "x"}, "--initial-ds takes a number, not \"x\""},
        {{"--measured", "t.csv", "--columns", "x=3"},
         "--columns takes slip=…,load=… (or stress=…), not \"x=3\""},
        {{"--measured", "t.csv", "--units", "slip="},
         "--units takes slip=…,load=… (or stress=…), not \"slip=\""},
        {{"--measured", "t.csv", "--decimal", "dot"},
         "--decimal takes point or comma, not \"dot\""},
        {{"--measured", "t.csv", "--range", "2:1"}, "--range needs FROM below TO, not \"2:1\""},
        {{"--measured", "t.csv", "--range", "0,1:2"}, "--range needs a number, not \"0,1\""},
        {{"--measured", "t.csv", "--range", "top"},
         "--range takes FROM:TO (mm), peak or failure, not \"top\""},
        {{"--measured", "t.csv", "--slip-scatter", "-1"},
         "--slip-scatter cannot be negative, not \"-1\""},
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
                run(std::string("-f --measured test.csv --measured stress --fix smax=0.0650") +
                        json,
                    output),
                1)
                << output << json;
            EXPECT_NE(m_err.find("cannot write standard output"), std::string::npos) << m_err;
        }
    }
}

// A logger's export: decimal commas, semicolons, five columns, kN in the header. Read with its
// columns it fits without warning; read as if in N (the units overridden) it warns that the
// loads look like kN and exits with the warning status, its files written.
TEST_F(FitCommand, ReadsALoggerFileAndWarnsOfLoadsInKilonewtons) {
    AnalysisParameters truth = StartupParameters();
    truth.ds = InitialSlipIncrement("1E-07");
    const LoadSlipPath path(RunModelCurve(truth).steps);
    std::string csv = "Zeit (s);Weg (mm);LVDT1 (mm);LVDT2 (mm);Kraft (kN)\n";
    for (int i = 1; i <= 20; ++i) {
        const double s = 0.9 * path.failureSlip() * i / 20;
        std::string row = std::to_string(i) + ";" + std::to_string(2 * s) + ";" +
                          std::to_string(s) + ";" + std::to_string(s) + ";" +
                          std::to_string(path.loadAt(s) / 1000) + "\n";
        std::replace(row.begin(), row.end(), '.', ',');
        csv += row;
    }
    write("logger.csv", csv);
    ASSERT_EQ(run("--measured logger.csv --columns slip=LVDT1,load=5"), 0) << m_err << m_out;
    EXPECT_NE(m_out.find("measured    20 points, slip in mm (from the header), load in kN (from "
                         "the header)\n"),
              std::string::npos)
        << m_out;
    EXPECT_EQ(m_out.find("warning"), std::string::npos) << m_out;

    EXPECT_EQ(run("-f --measured logger.csv --columns slip=3,load=5 --units load=N --json"), 5)
        << m_err;
    EXPECT_NE(m_out.find("\"The loads look like kN: the largest is 14.83"), std::string::npos)
        << m_out;
    EXPECT_TRUE(fs::exists(m_dir / "logger-fit.kvp"));
}

// A perfectly bi-linear fit keeps its law: the data set runs perfectly bi-linear with the
// fitted texts, and no parameter file is written that would run as bi-linear softening.
TEST_F(FitCommand, TheFittedDataSetKeepsItsLaw) {
    AnalysisParameters truth = StartupParameters();
    truth.ds = InitialSlipIncrement("1E-07");
    truth.bondModel = BondModel::PerfectlyBilinear;
    truth.tauMax = 5.2f;
    truth.sMax = 0.04f;
    truth.su = 0.3f;
    const LoadSlipPath path(RunModelCurve(truth).steps);
    std::string csv = "slip,load\n";
    for (int i = 1; i <= 20; ++i) {
        const double s = 0.95 * path.failureSlip() * i / 20;
        csv += std::to_string(s) + "," + std::to_string(path.loadAt(s)) + "\n";
    }
    write("pb.csv", csv);
    ASSERT_EQ(run("--measured pb.csv --law bilinear --json"), 0) << m_err << m_out;
    EXPECT_FALSE(fs::exists(m_dir / "pb-fit.kvp"));
    EXPECT_NE(m_out.find("\"kvp\":null"), std::string::npos) << m_out;
    const DataSetRead read = ReadDataSetFile((m_dir / "pb-fit.orv").string());
    ASSERT_TRUE(read.status.ok()) << read.status.message;
    EXPECT_EQ(read.dataSet.law, BondModel::PerfectlyBilinear);
    const AnalysisParameters fitted = AnalysisParametersOf(read.dataSet);
    EXPECT_EQ(fitted.bondModel, BondModel::PerfectlyBilinear);
    EXPECT_NEAR(fitted.tauMax, 5.2, 0.01 * 5.2);
    EXPECT_NEAR(fitted.su, 0.3, 0.01 * 0.3);
    // Run as written, it fails where the measured test failed.
    const LoadSlipPath rerun(RunModelCurve(fitted).steps);
    EXPECT_NEAR(rerun.failureSlip(), path.failureSlip(), 0.01 * path.failureSlip());
}

// Two specimens, the second on a narrower laminate of its own base file: one shared law, each
// specimen's misfit in the text and the JSON, the rows of both in the CSV, named.
TEST_F(FitCommand, FitsASeriesOfSpecimens) {
    writeStartUpCurve();
    FieldTexts narrow = StartupFieldTexts();
    narrow[std::size_t(NumericField::B)] = "40";
    ParameterFileTexts file;
    file.comment = "narrow";
    for (int f = 0; f < kStoredFieldCount; ++f) {
        file.fields[std::size_t(f)] = narrow[std::size_t(f)];
    }
    ASSERT_TRUE(SaveParameterFile((m_dir / "narrow.kvp").string(), file).ok());
    AnalysisParameters truth = StartupParameters();
    CopyFieldTexts(truth, narrow);
    truth.ds = InitialSlipIncrement("1E-07");
    const LoadSlipPath path(RunModelCurve(truth).steps);
    std::string csv = "slip;tau\n";
    const double area = 1000 * double(0.12f) * 40;
    for (int i = 1; i <= 20; ++i) {
        const double s = 0.9 * path.failureSlip() * i / 20;
        csv += std::to_string(s) + ";" + std::to_string(path.loadAt(s) / area) + "\n";
    }
    write("narrow.csv", csv);

    const std::string series =
        "--measured stress --fix smax=0.0650 --specimen test.csv --specimen narrow.csv,narrow.kvp";
    ASSERT_EQ(run(series), 0) << m_err << m_out;
    EXPECT_NE(m_out.find("specimen    narrow.csv: 20 points, slip in mm, average bond stress in "
                         "N/mm2, base narrow.kvp\n"),
              std::string::npos)
        << m_out;
    EXPECT_NE(m_out.find("specimens   2, one law"), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("  narrow.csv: 20 points, RMSE "), std::string::npos) << m_out;
    const std::string rows = readFile(m_dir / "test-fit.csv");
    EXPECT_TRUE(rows.starts_with("specimen,slip (mm),")) << rows.substr(0, 40);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 41);
    ParameterFileTexts fitted;
    ASSERT_TRUE(LoadParameterFile((m_dir / "test-fit.kvp").string(), fitted).ok());
    EXPECT_EQ(fitted.comment,
              "Fitted (bi-linear softening) to test.csv and 1 more: Please input the comment.");
    EXPECT_NEAR(FieldValue(fitted.fields[0]), 6.467, 0.01 * 6.467);

    ASSERT_EQ(run("-f --json " + series), 0) << m_err;
    EXPECT_NE(m_out.find("\"specimens\":[{\"measured\":\"test.csv\",\"base\":null,\"points\":20"),
              std::string::npos)
        << m_out;
    EXPECT_NE(m_out.find("{\"measured\":\"narrow.csv\",\"points\":20,\"rmse\":"), std::string::npos)
        << m_out;
    // No output may be a file of the series.
    EXPECT_EQ(run(series + " --output narrow"), 2);
    EXPECT_NE(m_err.find("is an input of the series"), std::string::npos) << m_err;
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
