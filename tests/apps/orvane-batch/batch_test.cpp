#include "apps/orvane-batch/CommandLine.h"
#include "core/Version.h"
#include "core/files/ParameterFile.h"
#include "support/FileBytes.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

struct BatchRun {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs orvane-batch in its own temporary working directory.
class BatchCommand : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-batch-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    BatchRun run(const std::string& arguments) const {
        const std::string command = "cd '" + m_dir.string() + "' && '" ORVANE_BATCH_COMMAND "' " +
                                    arguments + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(m_dir / "out.txt"),
                readFile(m_dir / "err.txt")};
    }

    void saveParameterFile(const std::string& name, int field, const std::string& text) const {
        ParameterFileTexts texts;
        texts.comment = "beam";
        for (int f = 0; f < kStoredFieldCount; ++f) {
            texts.fields[f] = StartupFieldTexts()[f];
        }
        texts.fields[field] = text;
        ASSERT_TRUE(SaveParameterFile((m_dir / name).string(), texts).ok());
    }

    fs::path m_dir;
};

TEST_F(BatchCommand, StartupDataSetAsJson) {
    const BatchRun r = run("--json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"steps\":", 0), 0u) << r.out;
    for (const char* key : {"\"n\":1000,", "\"Pbumax\":", "\"slmax\":", "\"ds\":",
                            "\"end\":\"bond-failure\"", "\"file\":\"default.t-s\"}"}) {
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
    EXPECT_EQ(run("--output no/such/dir.t-s").exitCode, 1);
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
        {"--output x.kvp x.kvp", 1, "is the parameter file itself"},
        {"in.t-s", 1, "is the parameter file itself"},
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
    const BatchRun limit = run("--json --initial-ds 1.4E-43 short.kvp");
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
    for (const char* key : {"{\"steps\":188,", "\"Gf\":1.14465", "\"Pinf\":14826.72",
                            "\"Le\":69.92", "\"analysedLength\":", "\"PbumaxOverPinf\":1.0005"}) {
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
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("no/such/dir.csv"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(m_dir / "default.t-s")); // refused before the run
    const BatchRun full = run("--csv-distribution /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Cannot write \"/dev/full\""), std::string::npos) << full.err;
    EXPECT_TRUE(fs::exists("/dev/full"));
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
         << o.version << ", file " << o.parameterFile.value_or("-") << "}";
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
                    "--initial-ds needs a value, not an empty text"}),
    [](const testing::TestParamInfo<RefusedLine>& info) { return info.param.name; });

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
    EXPECT_NE(r.err.find("1 refused"), std::string::npos) << r.err;
}

TEST_F(BatchCommand, StudyRefusesBadDefinitions) {
    for (const char* arguments :
         {"study", "study --vary Lb=1:2:3", "study --vary lb=300:10:30", "study --vary lb=10:300:0",
          "study --vary lb=10:300:1000001", "study --vary lb=1,2 --vary lb=3,4",
          "study --vary lb=1,2 --jobs 0", "study --vary lb=1,2 --frobnicate",
          "study --vary lb=1,2 a.kvp b.kvp", "study --vary lb=1,2 missing.kvp",
          "study --vary lb=1,2 --figure plot.gif",
          "study --vary law=softening --figure plot.png"}) {
        const BatchRun r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << arguments;
        EXPECT_NE(r.err.find("orvane-batch"), std::string::npos) << arguments;
    }
    EXPECT_EQ(run("study --vary lb=1,2 --csv no/such/dir.csv").exitCode, 1);
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
