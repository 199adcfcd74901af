#include "apps/orvane-batch/CommandLine.h"
#include "core/Version.h"
#include "core/files/DataSetFile.h"
#include "core/files/ParameterFile.h"
#include "support/BatchCommand.h"
#include "support/FileBytes.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

TEST_F(BatchCommand, StartupDataSetAsJson) {
    const BatchRun r = run("--json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"program\":\"orvane-batch\",\"version\":\"" + std::string(kVersion) +
                              "\",\"steps\":",
                          0),
              0u)
        << r.out;
    for (const char* key :
         {"\"n\":1000,", "\"Pbumax\":", "\"slmax\":", "\"finalDs\":", "\"end\":\"bond-failure\"",
          "\"file\":\"default.t-s\"", "\"warnings\":[]}"}) {
        EXPECT_NE(r.out.find(key), std::string::npos) << key << " in " << r.out;
    }
    EXPECT_TRUE(fs::exists(m_dir / "default.t-s"));
}

TEST_F(BatchCommand, ResultFileBesideTheParameterFile) {
    saveParameterFile("beam.kvp", static_cast<int>(NumericField::Lb), "1.2");
    const BatchRun r = run("--no-detail beam.kvp");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string result = readFile(m_dir / "beam.t-s");
    const std::string chosen = "kvp file = " + (m_dir / "beam.kvp").string() + ", at ";
    EXPECT_NE(result.find(chosen), std::string::npos) << result.substr(0, 200);
    EXPECT_NE(r.out.find("bond failure"), std::string::npos) << r.out;
}

TEST_F(BatchCommand, RefusesADataSetThatCannotRun) {
    saveParameterFile("bad.kvp", static_cast<int>(NumericField::Lb), "0");
    const BatchRun r = run("--initial-ds 0 bad.kvp");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("lb : bond length"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("initial ds"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir / "bad.t-s"));
}

TEST_F(BatchCommand, ExitStatusOfFailures) {
    EXPECT_EQ(run("--model elastic").exitCode, 2);
    EXPECT_EQ(run("missing.kvp").exitCode, 2);
    const BatchRun full = run("--output /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("/dev/full"), std::string::npos) << full.err;
    EXPECT_EQ(run("--output no/such/dir.t-s").exitCode, 2); // refused before the run
}

// Past a file-size limit the write fails (EFBIG) rather than the signal killing the
// program; the result file is cut back to its last whole step.
TEST_F(BatchCommand, FileSizeLimitCutsTheResultFileAtAWholeStep) {
    // 2048 blocks of 512 bytes: a few of the start-up set's 8 MB of detail steps.
    const std::string command =
        "cd '" + m_dir.string() +
        "' && sh -c 'ulimit -f 2048; exec \"$0\" --detail --output big.t-s' '" ORVANE_BATCH_COMMAND
        "' 2>err.txt; echo $? >status";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string err = readFile(m_dir / "err.txt");
    EXPECT_EQ(readFile(m_dir / "status"), "1\n") << err;
    EXPECT_NE(err.find("big.t-s\": File too large. The file holds steps 1 to "), std::string::npos)
        << err;
    ASSERT_EQ(run("--detail --output full.t-s").exitCode, 0);
    const std::string cut = readFile(m_dir / "big.t-s");
    const std::string full = readFile(m_dir / "full.t-s");
    ASSERT_GT(cut.size(), 2u);
    EXPECT_LE(cut.size(), 2048u * 512u);
    EXPECT_EQ(cut.substr(cut.size() - 2), "\r\n");
    // The same lines as the whole run's file, past the first, which holds the time of the run.
    const std::size_t header = cut.find("\r\n");
    EXPECT_EQ(full.compare(header, cut.size() - header, cut, header), 0);
}

// Each way a run can end has its own exit status and a message naming the cause.
TEST_F(BatchCommand, ExitStatusOfEachEnd) {
    saveParameterFile("strong.kvp", static_cast<int>(NumericField::TauMax), "3E+38");
    saveParameterFile("x.kvp", static_cast<int>(NumericField::Lb), "1.2");
    saveParameterFile("in.t-s", static_cast<int>(NumericField::Lb), "1.2");
    saveParameterFile("short.kvp", static_cast<int>(NumericField::Lb), "1");
    const struct {
        std::string arguments;
        int exitCode;
        const char* message; // in stderr
    } cases[] = {
        {"strong.kvp", 2, "τmax / smax is beyond ±3.4E+38"},
        {"--initial-ds 3E+40", 2, "initial ds / 100 = 3.000e+38 mm) is not below su"},
        {"--initial-ds 1E+39", 2, "initial ds / 100 = 1.000e+37 mm) is not below su"},
        {"--initial-ds 100", 2, "the run could not follow the bond-slip law"},
        {"--output x.kvp x.kvp", 2, "-o \"x.kvp\" is the parameter file \"x.kvp\""},
        {"in.t-s", 2, "in.t-s\" is the parameter file \"in.t-s\""},
        // The smallest single increment never moves the free end: no bond failure ever.
        {"--initial-ds 1.4E-43 short.kvp", 3, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::string kept = readFile(m_dir / "x.kvp") + readFile(m_dir / "in.t-s");
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(m_dir / "x.kvp") + readFile(m_dir / "in.t-s"), kept);
    }
    // short.t-s is there from the case above: a derived name is replaced only with -f.
    const BatchRun limit = run("-f --json --initial-ds 1.4E-43 short.kvp");
    EXPECT_NE(limit.out.find("\"steps\":10000,"), std::string::npos) << limit.out;
    EXPECT_NE(limit.out.find("\"end\":\"step-limit\""), std::string::npos) << limit.out;
    EXPECT_NE(run("--help").out.find("3 the run reached the step limit"), std::string::npos);
}

TEST_F(BatchCommand, CsvTablesAndBondQuantities) {
    const BatchRun r = run("--csv - --csv-distribution field.csv --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The table takes standard output, so the summary goes to standard error.
    EXPECT_EQ(r.out.rfind("# program,Orvane ", 0), 0u) << r.out.substr(0, 100);
    EXPECT_NE(r.out.find("\r\nstep,s0,ds0,sl,Pl,totalTau,Pbumax,slmax\r\n1,1e-10,"),
              std::string::npos);
    EXPECT_NE(r.out.find("\r\n# end,bond failure\r\n# steps,188\r\n"), std::string::npos);
    for (const char* key : {"\"steps\":188,", "\"Gf\":1.14465", "\"Pinf\":14826.72", "\"Le\":69.92",
                            "\"analysedLength\":", "\"PbumaxOverPinf\":1.0005"}) {
        EXPECT_NE(r.err.find(key), std::string::npos) << key << " in " << r.err;
    }
    const std::string field = readFile(m_dir / "field.csv");
    EXPECT_NE(field.find("\r\nstep,i,x,s,P,tau\r\n1,1,0.11999999731779099,"), std::string::npos);
    EXPECT_NE(field.find("\r\n188,1000,"), std::string::npos);

    saveParameterFile("short.kvp", static_cast<int>(NumericField::Lb), "40");
    const BatchRun shortBond = run("short.kvp");
    ASSERT_EQ(shortBond.exitCode, 0) << shortBond.err;
    EXPECT_NE(shortBond.out.find("Le          69.9 mm\n"), std::string::npos) << shortBond.out;
    EXPECT_NE(shortBond.out.find("the bond is shorter than its effective length: the load could "
                                 "still grow with lb"),
              std::string::npos);
}

TEST_F(BatchCommand, ReportFailures) {
    EXPECT_EQ(run("--csv - --csv-distribution -").exitCode, 2);
    EXPECT_EQ(run("--figure run.jpg").exitCode, 2);
    const BatchRun missing = run("--csv no/such/dir.csv");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("no/such/dir.csv"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(m_dir / "default.t-s")); // refused before the run
    const BatchRun full = run("--csv-distribution /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Cannot write \"/dev/full\""), std::string::npos) << full.err;
    EXPECT_TRUE(fs::exists("/dev/full"));
}

// The figures come from a module of their own, which the program loads only when a figure
// is asked for. A program without it (built without Qt, or its module lost) refuses figures
// before any work, and runs without them as before.
TEST_F(BatchCommand, FiguresComeFromTheirModule) {
#ifdef ORVANE_BATCH_FIGURES
    ASSERT_EQ(run("--figure run.svg -o /dev/null").exitCode, 0);
    for (const char* name : {"run-tau-slip.svg", "run-load-slip.svg", "run-distribution.svg"}) {
        EXPECT_TRUE(readFile(m_dir / name).starts_with("<?xml")) << name;
    }
    ASSERT_EQ(run("study --vary lb=10,20 --figure plot.png --csv /dev/null").exitCode, 0);
    EXPECT_TRUE(readFile(m_dir / "plot.png").starts_with("\x89PNG")) << "plot.png";
    // The law alone has a figure too: each law's load at its own place.
    ASSERT_EQ(run("study --vary law=softening,bilinear --figure law.svg --csv /dev/null").exitCode,
              0);
    EXPECT_NE(readFile(m_dir / "law.svg").find("Ultimate load for each bond-slip law"),
              std::string::npos);
#endif
    const fs::path alone = m_dir / "alone";
    fs::create_directory(alone);
    fs::copy_file(ORVANE_BATCH_COMMAND, alone / "orvane-batch");
    std::ofstream(m_dir / "curve.csv") << "0.01,1000\n0.02,2000\n0.03,3000\n0.04,4000\n0.05,5000\n";
    for (const char* arguments : {"--figure f.svg", "study --vary lb=10,20 --figure f.png",
                                  "fit --measured curve.csv --figure f.pdf"}) {
        const BatchRun r = runProgram((alone / "orvane-batch").string(), arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments;
        EXPECT_NE(r.err.find("--figure: this orvane-batch draws no figures: its figure module "),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.out, "") << arguments;
    }
    EXPECT_FALSE(fs::exists(m_dir / "default.t-s"));
    EXPECT_FALSE(fs::exists(m_dir / "curve-fit.kvp"));
    EXPECT_EQ(runProgram((alone / "orvane-batch").string(), "-o /dev/null").exitCode, 0);
}

// Standard output is written where it stands, never reopened: what a script wrote before
// into the same file stays.
TEST_F(BatchCommand, DashAppendsToWhatStandardOutputHolds) {
    const std::string command = "cd '" + m_dir.string() +
                                "' && { echo before; '" ORVANE_BATCH_COMMAND
                                "' -o - --json 2>/dev/null; } >>kept.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string kept = readFile(m_dir / "kept.txt");
    EXPECT_EQ(kept.rfind("before\n", 0), 0u) << kept.substr(0, 100);
    EXPECT_GT(kept.size(), 1000u);
}

TEST_F(BatchCommand, VersionAndHelp) {
    const BatchRun version = run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("orvane-batch ") + kVersion + "\n");
    const BatchRun help = run("-h");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, ParseCommandLine({"--help"}).help);
    const BatchRun empty = run("--output ''");
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_NE(empty.err.find("--output needs a value"), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(m_dir / "default.t-s"));
}

} // namespace

namespace orvane {
void PrintTo(const BatchOptions& o, std::ostream* out) {
    *out << "{model " << (o.model ? static_cast<int>(*o.model) : 0) << ", initial ds \""
         << o.initialDsText.value_or("-") << "\", detail "
         << (o.detailOutput ? (*o.detailOutput ? "on" : "off") : "-") << ", output "
         << o.outputPath.value_or("-") << ", json " << o.json << ", help " << o.help << ", version "
         << o.version << ", force " << o.force << ", file " << o.parameterFile.value_or("-") << "}";
}
} // namespace orvane

namespace {

BatchOptions optionsWith(void (*change)(BatchOptions&)) {
    BatchOptions options;
    change(options);
    return options;
}

struct AcceptedLine {
    const char* name;
    std::vector<std::string> arguments;
    BatchOptions expected;
};

void PrintTo(const AcceptedLine& line, std::ostream* out) {
    *out << line.name;
}

class AcceptedCommandLine : public testing::TestWithParam<AcceptedLine> {};

TEST_P(AcceptedCommandLine, GivesTheOptions) {
    const BatchOptionsParse parse = ParseBatchOptions(GetParam().arguments);
    EXPECT_EQ(parse.error, "");
    EXPECT_EQ(parse.options, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    BatchOptions, AcceptedCommandLine,
    testing::Values(
        AcceptedLine{"None", {}, {}},
        AcceptedLine{"Everything",
                     {"--model", "bilinear", "--initial-ds", "2", "--detail", "--output", "r.t-s",
                      "--json", "beam.kvp"},
                     optionsWith([](BatchOptions& o) {
                         o.model = BondModel::PerfectlyBilinear;
                         o.initialDsText = "2";
                         o.detailOutput = true;
                         o.outputPath = "r.t-s";
                         o.json = true;
                         o.parameterFile = "beam.kvp";
                     })},
        AcceptedLine{"ValueAfterEquals", {"--model=bilinear"}, optionsWith([](BatchOptions& o) {
                         o.model = BondModel::PerfectlyBilinear;
                     })},
        AcceptedLine{"ShortModel", {"-m", "bilinear"}, optionsWith([](BatchOptions& o) {
                         o.model = BondModel::PerfectlyBilinear;
                     })},
        AcceptedLine{"ShortValueJoined", {"-msoftening"}, optionsWith([](BatchOptions& o) {
                         o.model = BondModel::BilinearSoftening;
                     })},
        AcceptedLine{"Force", {"-f", "beam.kvp"}, optionsWith([](BatchOptions& o) {
                         o.force = true;
                         o.parameterFile = "beam.kvp";
                     })},
        AcceptedLine{"ShortOutput", {"-o", "r.t-s"}, optionsWith([](BatchOptions& o) {
                         o.outputPath = "r.t-s";
                     })},
        AcceptedLine{"StandardOutput", {"--output", "-"}, optionsWith([](BatchOptions& o) {
                         o.outputPath = "-";
                     })},
        AcceptedLine{"UniquePrefix", {"--out=r.t-s", "--no"}, optionsWith([](BatchOptions& o) {
                         o.outputPath = "r.t-s";
                         o.detailOutput = false;
                     })},
        AcceptedLine{"GroupedShortOptions", {"-dm", "bilinear"}, optionsWith([](BatchOptions& o) {
                         o.detailOutput = true;
                         o.model = BondModel::PerfectlyBilinear;
                     })},
        AcceptedLine{"FileBeforeOptions", {"beam.kvp", "--json"}, optionsWith([](BatchOptions& o) {
                         o.parameterFile = "beam.kvp";
                         o.json = true;
                     })},
        AcceptedLine{"DashLedFileAfterDoubleDash",
                     {"--", "-beam.kvp"},
                     optionsWith([](BatchOptions& o) { o.parameterFile = "-beam.kvp"; })},
        AcceptedLine{"InitialDsKeepsItsText",
                     {"--initial-ds=1e-7"},
                     optionsWith([](BatchOptions& o) { o.initialDsText = "1e-7"; })},
        AcceptedLine{"ReportFiles",
                     {"--csv=-", "--csv-distribution", "field.csv", "--figure", "run.svg"},
                     optionsWith([](BatchOptions& o) {
                         o.csvPath = "-";
                         o.csvDistributionPath = "field.csv";
                         o.figurePath = "run.svg";
                     })},
        AcceptedLine{"Version", {"-V"}, optionsWith([](BatchOptions& o) { o.version = true; })},
        AcceptedLine{"Help", {"--help"}, optionsWith([](BatchOptions& o) { o.help = true; })}),
    [](const testing::TestParamInfo<AcceptedLine>& info) { return info.param.name; });

struct RefusedLine {
    const char* name;
    std::vector<std::string> arguments;
    const char* error;
};

void PrintTo(const RefusedLine& line, std::ostream* out) {
    *out << line.name;
}

class RefusedCommandLine : public testing::TestWithParam<RefusedLine> {};

TEST_P(RefusedCommandLine, SaysWhy) {
    EXPECT_EQ(ParseBatchOptions(GetParam().arguments).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    BatchOptions, RefusedCommandLine,
    testing::Values(
        RefusedLine{"ModelWithoutValue", {"--model"}, "--model needs a value"},
        RefusedLine{"ShortModelWithoutValue", {"-dm"}, "-m needs a value"},
        RefusedLine{"UnknownModel",
                    {"--model=elastic"},
                    "--model takes softening or bilinear, not \"elastic\""},
        RefusedLine{
            "DetailTwice", {"--detail", "--no-detail"}, "give --detail or --no-detail once"},
        RefusedLine{"ShortDetailTwice", {"-dd"}, "give --detail or --no-detail once"},
        RefusedLine{"TwoFiles", {"a.kvp", "b.kvp"}, "only one data-set file can be given"},
        RefusedLine{"UnknownLong", {"--frobnicate=3"}, "unknown option --frobnicate"},
        RefusedLine{"UnknownShort", {"-x"}, "unknown option -x"},
        RefusedLine{
            "AmbiguousPrefix", {"--", "x.kvp", "--json"}, "only one data-set file can be given"},
        RefusedLine{"SwitchWithValue", {"--json=yes"}, "--json takes no value"},
        RefusedLine{"EmptyFileName", {""}, "the data-set file name is empty"},
        RefusedLine{"EmptyOutput", {"--output", ""}, "--output needs a value, not an empty text"},
        RefusedLine{
            "EmptyOutputAfterEquals", {"--output="}, "--output needs a value, not an empty text"},
        RefusedLine{"EmptyShortOutput", {"-o", ""}, "-o needs a value, not an empty text"},
        RefusedLine{"TwoOnStandardOutput",
                    {"-o", "-", "--csv", "-"},
                    "only one of --output, --csv and --csv-distribution can write to standard "
                    "output"},
        RefusedLine{"FigureFormat",
                    {"--figure", "run.jpg"},
                    "--figure takes a file name ending in .svg, .pdf or .png"},
        RefusedLine{"EmptyInitialDs",
                    {"--initial-ds", ""},
                    "--initial-ds needs a value, not an empty text"},
        RefusedLine{"InitialDsNotANumber",
                    {"--initial-ds", "abc"},
                    "--initial-ds takes a number, not \"abc\""},
        RefusedLine{"InitialDsDecimalComma",
                    {"--initial-ds=1,5"},
                    "--initial-ds takes a number, not \"1,5\""},
        RefusedLine{"InitialDsWithUnit",
                    {"--initial-ds", "1E-07 mm"},
                    "--initial-ds takes a number, not \"1E-07 mm\""},
        RefusedLine{"InitialDsLineBreak",
                    {"--initial-ds", "1E-07\n"},
                    "--initial-ds takes a number, not \"1E-07\n\""}),
    [](const testing::TestParamInfo<RefusedLine>& info) { return info.param.name; });

// A huge entry is quoted by its first 80 characters, not echoed whole.
TEST(CommandLine, QuotesAtMost80CharactersOfAnEntry) {
    const std::string huge(10 << 20, 'x');
    const std::vector<std::string> lines[] = {
        {"--model", huge},
        {"--" + huge},
        {"--initial-ds", huge},
        {"study", "--vary", "lb=" + huge},
        {"study", "--vary", "lb=1:" + huge + ":3"},
        {"study", "--vary", huge + "=1,2"},
        {"study", "--jobs", huge},
        {"fit", "--measured", "t.csv", "--fix", "su=" + huge},
        {"fit", "--measured", "t.csv", "--law", huge},
    };
    for (const std::vector<std::string>& line : lines) {
        const std::string error = ParseCommandLine(line).error;
        SCOPED_TRACE(line[line.size() - 1].substr(0, 10));
        EXPECT_LT(error.size(), 400u);
        EXPECT_NE(error.find(std::string(78, 'x') + "…\" ("), std::string::npos) << error;
    }
}

TEST(BatchOptions, AParseStoppedInsideAGroupLeavesNothingForTheNext) {
    ASSERT_EQ(ParseBatchOptions({"-dxd", "a.kvp"}).error, "unknown option -x");
    const BatchOptionsParse next = ParseBatchOptions({"-o", "r.t-s"});
    EXPECT_EQ(next.error, "");
    EXPECT_EQ(next.options, optionsWith([](BatchOptions& o) { o.outputPath = "r.t-s"; }));
}

// The data sets shipped in examples/: each is exactly what the parameter-file writer writes
// and runs to a bond failure.
struct Example {
    const char* name;
    const char* file;
    const char* options;
};

void PrintTo(const Example& example, std::ostream* out) {
    *out << example.file;
}

class ExampleDataSet : public BatchCommand, public testing::WithParamInterface<Example> {
protected:
    static fs::path path(const char* file) { return fs::path(ORVANE_EXAMPLES_DIR) / file; }

    double maximumLoad(const char* file, const char* options = "") const {
        const BatchRun r =
            run(std::string(options) + " --json -o out.t-s '" + path(file).string() + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("\"end\":\"bond-failure\""), std::string::npos) << r.out;
        const std::size_t at = r.out.find("\"Pbumax\":");
        return at == std::string::npos ? 0 : std::strtod(r.out.c_str() + at + 9, nullptr);
    }
};

TEST_P(ExampleDataSet, IsWhatTheWriterWritesAndRuns) {
    const std::string bytes = readFile(path(GetParam().file));
    ParameterFileTexts texts;
    ASSERT_TRUE(ParseParameterFile(bytes, GetParam().file, texts).ok());
    std::string written;
    ASSERT_TRUE(FormatParameterFile(texts, written).ok());
    EXPECT_EQ(written, bytes);
    EXPECT_GT(maximumLoad(GetParam().file, GetParam().options), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleDataSet,
    testing::Values(Example{"Startup", "startup.kvp", ""},
                    Example{"ShortBond", "short-bond.kvp", ""},
                    Example{"LongBond", "long-bond.kvp", ""},
                    Example{"PerfectlyBilinear", "perfectly-bilinear.kvp", "--model bilinear"},
                    Example{"JapaneseComment", "japanese-comment.kvp", ""}),
    [](const testing::TestParamInfo<Example>& info) { return info.param.name; });

// Beyond the effective bond length (about 70 mm for the start-up materials) a longer bond
// carries no more load; below it the load falls.
TEST_F(ExampleDataSet, BondLengthAgainstTheEffectiveLength) {
    const double startup = maximumLoad("startup.kvp");
    EXPECT_LT(maximumLoad("short-bond.kvp"), 0.8 * startup);
    EXPECT_NEAR(maximumLoad("long-bond.kvp"), startup, 0.01 * startup);
    EXPECT_EQ(maximumLoad("japanese-comment.kvp"), startup);
}

} // namespace

TEST_F(BatchCommand, StudyWritesTheSameRowsOnAnyNumberOfThreads) {
    saveParameterFile("beam.kvp", static_cast<int>(NumericField::Lb), "80");
    const BatchRun serial = run("study --vary lb=20:80:4 --vary law=softening,bilinear --jobs 1 "
                                "--csv one.csv --jsonl one.jsonl beam.kvp");
    ASSERT_EQ(serial.exitCode, 0) << serial.err;
    const BatchRun parallel = run(
        "study --vary=lb=20:80:4 --vary law=softening,bilinear --jobs 3 --csv three.csv beam.kvp");
    ASSERT_EQ(parallel.exitCode, 0) << parallel.err;
    const std::string csv = readFile(m_dir / "one.csv");
    EXPECT_EQ(readFile(m_dir / "three.csv"), csv);
    EXPECT_NE(csv.find("# comment,beam\r\n"), std::string::npos) << csv.substr(0, 300);
    EXPECT_NE(csv.find("\r\npoint,lb,law,steps,Pbumax,"), std::string::npos);
    EXPECT_NE(csv.find("\r\n7,80,bilinear,"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 35), "# points done,8\r\n# study,complete\r\n");
    const std::string jsonl = readFile(m_dir / "one.jsonl");
    EXPECT_EQ(std::count(jsonl.begin(), jsonl.end(), '\n'), 8);
    EXPECT_NE(serial.err.find("8 of 8 points"), std::string::npos) << serial.err;
}

TEST_F(BatchCommand, StudyReportsARefusedPointAndGoesOn) {
    const BatchRun r = run("study --vary lb=0,60");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\r\n0,0,,,,refused,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("lb : bond length — must be at least 0.001 mm."), std::string::npos);
    EXPECT_NE(r.out.find("\r\n1,60,"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("warning: the run checks refused 1 of 2 points"), std::string::npos)
        << r.err;
}

TEST_F(BatchCommand, StudyRefusesBadDefinitions) {
    for (const char* arguments :
         {"study", "study --vary Lb=1:2:3", "study --vary lb=300:10:30", "study --vary lb=10:300:0",
          "study --vary lb=10:300:1000001", "study --vary lb=1,2 --vary lb=3,4",
          "study --vary lb=1,2 --jobs 0", "study --vary lb=1,2 --frobnicate",
          "study --vary lb=1,2 a.kvp b.kvp", "study --vary lb=1,2 missing.kvp",
          "study --vary lb=1,2 --figure plot.gif", "study --vary lb=1,5x", "study --vary lb=1:2:3x",
          "study --vary 'lb=1, 2'", "study --initial-ds abc --vary lb=1,2",
          "study --initial-ds 1,5 --vary lb=1,2"}) {
        const BatchRun r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << arguments;
        EXPECT_NE(r.err.find("orvane-batch"), std::string::npos) << arguments;
    }
    EXPECT_EQ(run("study --vary lb=1,2 --csv no/such/dir.csv").exitCode, 2);
    const BatchRun help = run("study --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("lb=10:300:30:log"), std::string::npos);
}

TEST_F(BatchCommand, StudyStoppedByASignalLeavesWholeRows) {
    // The study is far longer than the time the signal takes to come.
    const std::string command = "cd '" + m_dir.string() +
                                "' && ('" ORVANE_BATCH_COMMAND
                                "' study --vary lb=10:300:100000 --csv study.csv 2>err.txt & "
                                "while kill -0 $! 2>/dev/null && { [ ! -s study.csv ] || [ $(wc -l "
                                "<study.csv) -lt 40 ]; }; "
                                "do sleep 0.05; done; kill -INT $!; wait $!; echo $? >status)";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(m_dir / "status"), "130\n");
    const std::string csv = readFile(m_dir / "study.csv");
    ASSERT_EQ(csv.substr(csv.size() - 17), "# study,stopped\r\n");
    std::istringstream lines(csv);
    std::int64_t k = 0;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line.back(), '\r');
        if (line.rfind("# ", 0) == 0 || line.rfind("point,", 0) == 0) {
            continue;
        }
        EXPECT_EQ(line.rfind(std::to_string(k++) + ",", 0), 0u) << line;
    }
    EXPECT_GT(k, 0);
    EXPECT_LT(k, 100000);
}

// A value of a JSON summary or JSON line, as text: "14835.2…" of "Pbumax".
std::string jsonValue(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return "(no " + key + ")";
    }
    const std::size_t from = at + key.size() + 3;
    return json.substr(from, json.find_first_of(",}", from) - from);
}

// Every option a single run and a study share means the same in both: the study point that
// keeps the base's own width is the single run.
TEST_F(BatchCommand, StudyOptionsMeanWhatTheRunsMean) {
    saveParameterFile("beam.kvp", static_cast<int>(NumericField::Lb), "80");
    for (const char* options :
         {"", "--model bilinear", "-m bilinear", "--mod=softening", "--initial-ds 2E-07",
          "--initial-ds=5E-07 -m bilinear", "beam.kvp", "-m bilinear beam.kvp"}) {
        SCOPED_TRACE(options);
        const BatchRun single = run(std::string("--json -o r.t-s ") + options);
        ASSERT_EQ(single.exitCode, 0) << single.err;
        const BatchRun study = run(std::string("study --vary b=50.00 --jsonl - ") + options);
        ASSERT_EQ(study.exitCode, 0) << study.err;
        for (const char* key : {"steps", "Pbumax", "slmax"}) {
            EXPECT_EQ(jsonValue(study.out, key), jsonValue(single.out, key)) << key;
        }
    }
}

// A study whose every point the run checks refused has analysed nothing, as a single run of
// such a data set, and says so by its exit status.
TEST_F(BatchCommand, StudyOfRefusedPointsOnlyIsRefused) {
    const struct {
        const char* arguments;
        int exitCode;
    } cases[] = {
        {"study --vary lb=0,-5", 2},
        {"study --vary tf=0 --vary lb=10,20", 2},
        {"study --vary lb=0,60", 0},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << ": " << r.err;
        EXPECT_NE(r.out.find("# study,complete"), std::string::npos) << c.arguments;
    }
    EXPECT_NE(run("study --vary lb=0,-5").err.find("the run checks refused every point"),
              std::string::npos);
}

// What a command writes to standard output (summary, JSON, CSV, help, version) must arrive:
// into a full device or a closed standard output each exits 1 and says so.
TEST_F(BatchCommand, LostStandardOutputIsAFailure) {
    for (const char* redirection : {">/dev/full", ">&-"}) {
        for (const char* arguments :
             {"-o r.t-s", "-o r.t-s --json", "--help", "--version", "study --help", "fit --help",
              "study --vary lb=10,20 --jobs 1", "study --vary lb=10,20 --jsonl -",
              "--csv - -o r.t-s", "-o -", "codes --fc 30", "codes --fc 30 --json"}) {
            SCOPED_TRACE(std::string(arguments) + " " + redirection);
            const std::string command = "cd '" + m_dir.string() +
                                        "' && '" ORVANE_BATCH_COMMAND "' " + arguments + " " +
                                        redirection + " 2>err.txt";
            const int status = std::system(command.c_str());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
            EXPECT_NE(readFile(m_dir / "err.txt").find("standard output"), std::string::npos)
                << readFile(m_dir / "err.txt");
        }
    }
    // Closed at the start, standard output's descriptor is not handed to the result file.
    const std::string command =
        "cd '" + m_dir.string() + "' && '" ORVANE_BATCH_COMMAND "' -o r.t-s >&- 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(m_dir / "r.t-s").find("steps "), std::string::npos);
}

namespace {

// Each command's outputs are checked before any work: an output that is an input, another
// output, a pipe or a derived name already there is refused with exit 2, and every file in
// the folder keeps its bytes.
TEST_F(BatchCommand, OutputsThatWouldReplaceInputsOrEachOtherAreRefused) {
    saveParameterFile("s.kvp", static_cast<int>(NumericField::Lb), "40");
    saveParameterFile("lab-fit.kvp", static_cast<int>(NumericField::Lb), "40");
    std::ofstream(m_dir / "lab.csv") << "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n";
    std::ofstream(m_dir / "m.csv") << "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n";
    std::ofstream(m_dir / "old-fit.kvp") << "an earlier fit";
    std::ofstream(m_dir / "old.csv") << "0,0\n0.1,1000\n0.2,2000\n0.3,3000\n0.4,4000\n";
    std::ofstream(m_dir / "s.t-s") << "an earlier run";
    ASSERT_EQ(mkfifo((m_dir / "pipe.csv").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((m_dir / "pipe.pdf").c_str(), 0600), 0);
    fs::create_symlink("s.kvp", m_dir / "link.csv");
    const struct {
        const char* arguments;
        std::string message;
        bool figure = false; // needs the figure module
    } cases[] = {
        {"-o /dev/null --csv s.kvp s.kvp", "--csv \"s.kvp\" is the parameter file \"s.kvp\""},
        {"-o /dev/null --csv-distribution s.kvp s.kvp", "--csv-distribution \"s.kvp\" is the"},
        {"-o /dev/null --csv link.csv s.kvp", "--csv \"link.csv\" is the parameter file"},
        {"-o x.t-s --figure s.kvp.pdf s.kvp", "", true}, // a new name: accepted
        {"study --vary lb=1,2 --csv s.kvp s.kvp", "--csv \"s.kvp\" is the base file"},
        {"study --vary lb=1,2 --jsonl s.kvp s.kvp", "--jsonl \"s.kvp\" is the base file"},
        {"study --vary lb=1,2 --csv X --jsonl X", "--jsonl \"X\" is the same file as --csv"},
        {"--csv X --csv-distribution X", "--csv-distribution \"X\" is the same file as --csv"},
        {"--csv X -o X", "--csv \"X\" is the same file as -o \"X\""},
        {"fit --measured m.csv --output m", "--output \"m.csv\" is the measured file"},
        {"fit --measured lab.csv --output s s.kvp", "--output \"s.kvp\" is the base file"},
        {"fit --measured lab.csv lab-fit.kvp", "\"lab-fit.kvp\" is the base file"},
        {"fit --measured old.csv", "the fitted file \"old-fit.kvp\" exists; give --force"},
        {"s.kvp", "the result file \"" + (m_dir / "s.t-s").string() + "\" exists; give --force"},
        {"-o /dev/null --csv pipe.csv", "--csv \"pipe.csv\": it is a named pipe"},
        {"study --vary lb=1,2 --jsonl pipe.csv", "--jsonl \"pipe.csv\": it is a named pipe"},
        {"-o /dev/null --figure pipe.pdf", "--figure \"pipe.pdf\": it is a named pipe", true},
        {"fit --measured pipe.csv --output f", "is not a regular file"},
    };
    const auto snapshot = [&] {
        std::string bytes;
        for (const char* name :
             {"s.kvp", "lab-fit.kvp", "lab.csv", "m.csv", "old-fit.kvp", "old.csv", "s.t-s"}) {
            bytes += std::string(name) + ":" + readFile(m_dir / name) + "\n";
        }
        return bytes;
    };
    const std::string before = snapshot();
#ifdef ORVANE_BATCH_FIGURES
    constexpr bool kFigures = true;
#else
    constexpr bool kFigures = false;
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        if (c.figure && !kFigures) {
            continue;
        }
        const BatchRun r = run(c.arguments);
        if (c.message.empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            continue;
        }
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(snapshot(), before);
        EXPECT_TRUE(fs::is_fifo(m_dir / "pipe.csv") && fs::is_fifo(m_dir / "pipe.pdf"));
        EXPECT_FALSE(fs::exists(m_dir / "X"));
    }
    // A derived name is replaced when forced, a typed one always.
    EXPECT_EQ(run("-f s.kvp").exitCode, 0);
    EXPECT_NE(readFile(m_dir / "s.t-s"), "an earlier run");
    EXPECT_EQ(run("-o s.t-s s.kvp").exitCode, 0);
}

// Ctrl+C or SIGTERM stops a single run between two steps: the t-s file and the CSV tables
// hold whole steps, the CSV says it stopped, and the exit status is 130. The signal is made
// pending before the program starts, so that it comes before the run ends however fast the
// machine is.
TEST_F(BatchCommand, RunStoppedByASignalClosesItsFilesWhole) {
    saveParameterFile("long.kvp", static_cast<int>(NumericField::Lb), "1");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, signal);
            sigprocmask(SIG_BLOCK, &blocked, nullptr);
            kill(getpid(), signal); // to the process, as Ctrl+C sends it
            if (chdir(m_dir.c_str()) != 0 || !freopen("err.txt", "w", stderr) ||
                !freopen("out.txt", "w", stdout)) {
                _exit(99);
            }
            execl(ORVANE_BATCH_COMMAND, ORVANE_BATCH_COMMAND, "-f", "--detail", "--initial-ds",
                  "1.4E-43", "--csv", "steps.csv", "--csv-distribution", "field.csv", "long.kvp",
                  static_cast<char*>(nullptr));
            _exit(98);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string err = readFile(m_dir / "err.txt");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130) << err;
        EXPECT_NE(err.find("orvane-batch: stopped by a signal after step "), std::string::npos)
            << err;
        const std::string steps = readFile(m_dir / "steps.csv");
        EXPECT_NE(steps.find("\r\n# end,stopped\r\n# steps,"), std::string::npos);
        const std::string field = readFile(m_dir / "field.csv");
        EXPECT_NE(field.find("\r\n# end,stopped\r\n# steps,"), std::string::npos);
        const std::string ts = readFile(m_dir / "long.t-s");
        ASSERT_GE(ts.size(), 2u);
        EXPECT_EQ(ts.substr(ts.size() - 2), "\r\n");
        // Each whole detail step ends with its data line after the column heading.
        const std::size_t headings = [&] {
            std::size_t count = 0;
            for (std::size_t at = 0; (at = ts.find("P.loaded end(N)", at)) != std::string::npos;
                 ++at) {
                ++count;
            }
            return count;
        }();
        const std::size_t stepLines = [&] {
            std::size_t count = 0;
            for (std::size_t at = 0; (at = ts.find("step =", at)) != std::string::npos; ++at) {
                ++count;
            }
            return count;
        }();
        EXPECT_EQ(headings, stepLines);
        EXPECT_EQ(err.find("after step " + std::to_string(stepLines) + ";") != std::string::npos,
                  true)
            << err;
    }
}

// A full disk or a file-size limit ends the study's tables with whole rows and the reason.
TEST_F(BatchCommand, StudyTablesStayWholeOnAFullDisk) {
    const BatchRun full = run("study --vary lb=10:300:5 --csv /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Cannot write \"/dev/full\": No space left on device"),
              std::string::npos)
        << full.err;
    const std::string command = "cd '" + m_dir.string() +
                                "' && sh -c 'ulimit -f 8; exec \"$0\" study --vary lb=10:300:400 "
                                "--jsonl rows.jsonl' '" ORVANE_BATCH_COMMAND
                                "' 2>err.txt; echo $? >status";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string err = readFile(m_dir / "err.txt");
    EXPECT_EQ(readFile(m_dir / "status"), "1\n") << err;
    const std::string rows = readFile(m_dir / "rows.jsonl");
    ASSERT_FALSE(rows.empty());
    EXPECT_LE(rows.size(), 8u * 1024u);
    EXPECT_EQ(rows.back(), '\n');
    const auto lines = std::count(rows.begin(), rows.end(), '\n');
    EXPECT_NE(err.find("rows.jsonl\": File too large. The file holds lines 1 to " +
                       std::to_string(lines) + "."),
              std::string::npos)
        << err;
}

} // namespace

TEST_F(BatchCommand, CodesGivesEveryRowAsTextJsonAndCsv) {
    const BatchRun text = run("codes --fc 30");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* row : {"\nchen-teng-2001  mean                6924.5    5108.2     83.7",
                            "\nfib-14", "\ncnr-dt-200", "\njsce-2001", "\ntr55",
                            "\naci-440.2r-17   flexural limit", "\norvane          closed form"}) {
        EXPECT_NE(text.out.find(row), std::string::npos) << row << " in " << text.out;
    }
    const BatchRun json = run("codes --fc 30 --factor fib.gammaC=2 --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"program\":\"orvane-batch\",", 0), 0u) << json.out;
    EXPECT_NE(json.out.find(",\"fc\":30,\"fcFrom\":\"given\","), std::string::npos) << json.out;
    for (const char* key :
         {"\"code\":\"chen-teng-2001\"", "\"P\":6924.45", "\"Pd\":5108.2", "\"Le\":83.74",
          "\"fib.gammaC\":2", "\"outOfScope\":false,\"warnings\":[]}\n"}) {
        EXPECT_NE(json.out.find(key), std::string::npos) << key << " in " << json.out;
    }
    const BatchRun csv = run("codes --fc 30 --csv codes.csv");
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const std::string table = readFile(m_dir / "codes.csv");
    EXPECT_NE(table.find("\r\ncode,value,P,Pd,Le,inScope,scope,clause,factors\r\n"),
              std::string::npos);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 10) << table;
    // Without fc′ the strength is estimated from Ec, and says so.
    const BatchRun estimated = run("codes");
    EXPECT_EQ(estimated.exitCode, 0) << estimated.err;
    EXPECT_NE(estimated.out.find("estimated from Ec = 24000"), std::string::npos);
}

TEST_F(BatchCommand, CodesSaysWhenACodesScopeExcludesTheCase) {
    // 40 mm of bond is shorter than ACI's development length.
    saveParameterFile("short.kvp", static_cast<int>(NumericField::Lb), "40");
    const BatchRun r = run("codes --fc 30 short.kvp");
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.out.find("aci-440.2r-17   out of scope             -         -"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("shorter than the development length"), std::string::npos);
    const BatchRun json = run("codes --fc 30 --json short.kvp");
    EXPECT_EQ(json.exitCode, 4);
    EXPECT_NE(json.out.find("\"P\":null,\"Pd\":null"), std::string::npos) << json.out;
}

TEST_F(BatchCommand, CodesRefusesBadInputs) {
    saveParameterFile("base.kvp", static_cast<int>(NumericField::Lb), "120");
    for (const char* arguments :
         {"codes --fc 30x", "codes --fc -5", "codes --fc 30 --ft abc", "codes --factor fib=1",
          "codes --factor fib.alpha=0", "codes --json --csv -", "codes a.kvp b.kvp",
          "codes missing.kvp", "codes --fc 30 --csv base.kvp base.kvp"}) {
        const BatchRun r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << arguments;
    }
    EXPECT_NE(readFile(m_dir / "base.kvp").size(), 0u);
    EXPECT_EQ(run("codes --fc 30 --csv no/such/dir.csv").exitCode, 2);
}

TEST_F(BatchCommand, LawFromTheConcreteReplacesTheLaw) {
    const BatchRun json = run("--law-from lu2005 --fc 30 --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    for (const char* key :
         {"\"lawFrom\":\"lu2005\",\"tauMax\":3.238,\"sMax\":0.0421,\"su\":0.1799", "\"fc\":30,",
          "\"plausibility\":{\"model\":\"lu2005\",", "\"differs\":false}"}) {
        EXPECT_NE(json.out.find(key), std::string::npos) << key << " in " << json.out;
    }
    // fc′ alone keeps the law and sets it beside the model: the start-up law is 4× its Gf.
    const BatchRun text = run("-f --fc 30");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.find("lawFrom"), std::string::npos);
    EXPECT_NE(text.out.find("\nwarning     the law's tauMax or Gf lies more than a factor of 2"),
              std::string::npos)
        << text.out;
    const BatchRun study = run("study --law-from neubauer-rostasy --fc 30 --vary lb=60,120");
    ASSERT_EQ(study.exitCode, 0) << study.err;
    EXPECT_NE(study.out.find(",10056.65"), std::string::npos) << study.out; // P∞ of the law
    EXPECT_NE(study.out.find("# lawFrom,neubauer-rostasy\r\n# tauMax,5.214,"), std::string::npos);
}

TEST_F(BatchCommand, LawFromRefusesWhatItCannotDerive) {
    saveParameterFile("narrow.kvp", static_cast<int>(NumericField::Bc), "40");
    for (const char* arguments :
         {"--law-from lu2005", "--law-from lu2006 --fc 30", "--ft 3", "--fc abc",
          "--law-from lu2005 --fc 30 --model bilinear", "--law-from monti2003 --fc 30 narrow.kvp",
          "study --law-from lu2005 --vary lb=60,120",
          "fit --measured curve.csv --law-from lu2005"}) {
        const BatchRun r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << arguments;
    }
    EXPECT_NE(run("--law-from monti2003 --fc 30 narrow.kvp").err.find("b/bc"), std::string::npos);
}

TEST_F(BatchCommand, TheDataSetFilesConcreteServesTheCodesAndTheLaw) {
    DataSet joint;
    joint.concrete.fcText = "30";
    ASSERT_TRUE(WriteDataSetFile((m_dir / "joint.orv").string(), joint).ok());
    const BatchRun codes = run("codes joint.orv");
    ASSERT_EQ(codes.exitCode, 0) << codes.err;
    EXPECT_NE(codes.out.find("fc' 30.0 MPa (given)"), std::string::npos) << codes.out;
    EXPECT_NE(codes.out.find("6924.5"), std::string::npos);
    const BatchRun law = run("--law-from monti2003 --json joint.orv");
    ASSERT_EQ(law.exitCode, 0) << law.err;
    EXPECT_NE(law.out.find("\"lawFrom\":\"monti2003\",\"tauMax\":3.01,"), std::string::npos)
        << law.out;
    // --fc overrides the file's.
    EXPECT_NE(run("codes --fc 40 joint.orv").out.find("fc' 40.0 MPa"), std::string::npos);
}

namespace {

// Four tests of two sources, units in the header.
constexpr const char* kTestDatabase = "id,source,bc,fc,Ef (GPa),tf,bf,L,Pu [kN]\n"
                                      "S1,alpha,150,30,230,0.167,50,100,9\n"
                                      "S2,alpha,150,35,230,0.334,60,200,14\n"
                                      "P1,beta,200,40,200,1.2,40,300,25\n"
                                      "P2,beta,200,40,200,1.2,40,250,not measured\n";

// The table's rows without its metadata lines.
std::string csvRows(const std::string& table) {
    std::string rows;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("# ") && !line.starts_with("line,")) {
            rows += line + "\n";
        }
    }
    return rows;
}

} // namespace

TEST_F(BatchCommand, ValidateWritesStatisticsTableAndModelFactor) {
    std::ofstream(m_dir / "tests.csv") << kTestDatabase;
    const BatchRun r =
        run("validate --tests tests.csv --json --csv one.csv --model-factor theta.toml --jobs 1");
    // Done, with warnings: a row left out, and too few tests for a CoV to design with.
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_EQ(r.out.rfind("{\"program\":\"orvane-batch\",\"version\":\"" + std::string(kVersion) +
                              "\",\"command\":\"validate\",\"lawFrom\":\"lu2005\",\"tests\":4,"
                              "\"refused\":1,\"warnings\":[\"1 of 4 tests left out",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\"models\":[{\"model\":\"orvane\",\"n\":3,\"mean\":"), std::string::npos);
    EXPECT_NE(r.out.find("{\"kind\":\"source\",\"value\":\"beta\",\"tests\":1,"),
              std::string::npos);
    EXPECT_NE(r.err.find("warning: 1 of 4 tests left out"), std::string::npos) << r.err;
    const std::string table = readFile(m_dir / "one.csv");
    EXPECT_NE(table.find("\r\n5,P2,beta,,,,,,,,,,0,,,,,,,\"line 5: Pu: \"\"not measured\"\" is not "
                         "a number\"\r\n"),
              std::string::npos)
        << table;
    EXPECT_EQ(readFile(m_dir / "theta.toml").rfind("# Orvane model factor", 0), 0u);
    EXPECT_NE(readFile(m_dir / "theta.toml").find("\ntests = 3\nmodel = \"lu2005\"\n"),
              std::string::npos);

    // The same rows on two threads, and the rows of two shards joined.
    ASSERT_EQ(run("validate --tests tests.csv --csv two.csv --jobs 2").exitCode, 5);
    EXPECT_EQ(readFile(m_dir / "two.csv"), table);
    ASSERT_EQ(run("validate --tests tests.csv --csv a.csv --shard 1/2").exitCode, 5);
    ASSERT_EQ(run("validate --tests tests.csv --csv b.csv --shard 2/2").exitCode, 5);
    EXPECT_EQ(csvRows(readFile(m_dir / "a.csv")) + csvRows(readFile(m_dir / "b.csv")),
              csvRows(table));
}

TEST_F(BatchCommand, ValidateRefusesBadInputs) {
    std::ofstream(m_dir / "tests.csv") << kTestDatabase;
    std::ofstream(m_dir / "noload.csv") << "bc,fc,Ef,tf,bf,L\n150,30,230000,0.167,50,100\n";
    std::ofstream(m_dir / "bad.csv") << "bc,fc,Ef,tf,bf,L,Pu\n150,30,230000,0.167,50,100,x\n";
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {"validate", "validate needs --tests FILE"},
        {"validate --tests missing.csv", "cannot read \"missing.csv\""},
        {"validate --tests noload.csv", "noload.csv: header: no column for Pu"},
        {"validate --tests bad.csv", "no test could be run"},
        {"validate --tests tests.csv --csv tests.csv", "--csv"},
        {"validate --tests tests.csv --shard 3/2", "--shard K takes a whole number from 1 to 2"},
        {"validate --tests tests.csv --law-from fib", "--law-from takes lu2005"},
        {"validate --tests tests.csv --json --csv -", "cannot both go to standard output"},
        {"validate --tests tests.csv --figure f.jpg", "must end in .png, .svg or .pdf"},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
    }
    EXPECT_EQ(readFile(m_dir / "tests.csv"), kTestDatabase);
}
