#include "app/BatchOptions.h"
#include "files/ParameterFile.h"

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

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

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
                            "\"end\":\"failure\"", "\"file\":\"default.t-s\"}"}) {
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

TEST(BatchOptions, CommandLines) {
    const auto parse = [](std::vector<std::string> arguments) {
        return ParseBatchOptions(arguments);
    };
    const BatchOptionsParse full = parse({"--model", "bilinear", "--initial-ds", "2", "--detail",
                                          "--output", "r.t-s", "--json", "beam.kvp"});
    EXPECT_TRUE(full.error.empty());
    EXPECT_EQ(full.options.model, BondModel::PerfectlyBilinear);
    EXPECT_EQ(full.options.initialDsText, "2");
    EXPECT_EQ(full.options.detailOutput, true);
    EXPECT_EQ(full.options.outputPath, "r.t-s");
    EXPECT_TRUE(full.options.json);
    EXPECT_EQ(full.options.parameterFile, "beam.kvp");

    const BatchOptionsParse none = parse({});
    EXPECT_EQ(none.options.model, BondModel::BilinearSoftening);
    EXPECT_EQ(none.options.initialDsText, "1E-07");
    EXPECT_FALSE(none.options.detailOutput.has_value());

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--model"},
                                                                 {"--model", "x"},
                                                                 {"--detail", "--no-detail"},
                                                                 {"a.kvp", "b.kvp"},
                                                                 {"--frobnicate"}}) {
        EXPECT_FALSE(parse(bad).error.empty()) << bad[0];
    }
}

} // namespace
