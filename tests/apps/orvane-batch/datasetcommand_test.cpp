// Data-set files in the batch program: runs, studies and the convert command.

#include "core/files/DataSetFile.h"
#include "support/BatchCommand.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

// orvane-batch in a temporary working directory that holds copies of the examples.
class DataSetCommand : public BatchCommand {
protected:
    void SetUp() override {
        BatchCommand::SetUp();
        for (const auto& entry : fs::directory_iterator(ORVANE_EXAMPLES_DIR)) {
            fs::copy_file(entry.path(), m_dir / entry.path().filename());
        }
    }

    // The run's JSON summary without the result file's name.
    std::string summary(const std::string& arguments) const {
        const BatchRun r = run("--json -o out.t-s " + arguments);
        EXPECT_EQ(r.exitCode, 0) << arguments << ": " << r.err;
        return r.out;
    }

    static std::vector<std::string> examples() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(ORVANE_EXAMPLES_DIR)) {
            if (entry.path().extension() == ".kvp") {
                names.push_back(entry.path().stem().string());
            }
        }
        return names;
    }
};

// Each shipped data-set file runs as its parameter file with the law it holds.
TEST_F(DataSetCommand, ExampleDataSetsRunAsTheirParameterFiles) {
    for (const std::string& name : examples()) {
        SCOPED_TRACE(name);
        const DataSetRead read = ReadDataSetFile((m_dir / (name + ".orv")).string());
        ASSERT_TRUE(read.status.ok()) << read.status.message;
        const std::string law =
            read.dataSet.law == BondModel::PerfectlyBilinear ? "bilinear" : "softening";
        EXPECT_EQ(summary(name + ".orv"), summary("-m " + law + " " + name + ".kvp"));
    }
    EXPECT_NE(summary("perfectly-bilinear.orv").find("\"Pbumax\":17092.5"), std::string::npos);
}

// A parameter file names no law: the summary says which one the run took.
TEST_F(DataSetCommand, SummarySaysWhichLawWasUsed) {
    const struct {
        const char* arguments;
        const char* law;
    } cases[] = {
        {"startup.kvp", "bi-linear softening (the parameter file names no law"},
        {"-m softening startup.kvp", "bi-linear softening\n"},
        {"perfectly-bilinear.orv", "perfectly bi-linear\n"},
        {"-m softening perfectly-bilinear.orv", "bi-linear softening\n"},
        {"", "bi-linear softening\n"},
    };
    for (const auto& c : cases) {
        const BatchRun r = run(std::string("-o out.t-s ") + c.arguments);
        EXPECT_EQ(r.exitCode, 0) << c.arguments << ": " << r.err;
        EXPECT_NE(r.out.find(std::string("law         ") + c.law), std::string::npos)
            << c.arguments << ":\n"
            << r.out;
    }
    EXPECT_NE(summary("startup.kvp").find("\"lawNamed\":false"), std::string::npos);
    EXPECT_NE(summary("startup.orv").find("\"lawNamed\":true"), std::string::npos);
}

// A data-set file's initial ds is used, and an option replaces it.
TEST_F(DataSetCommand, InitialDsFromTheFileOrTheOption) {
    ASSERT_EQ(run("convert --initial-ds 2E-07 startup.kvp ds.orv").exitCode, 0);
    EXPECT_EQ(summary("ds.orv"), summary("-m softening --initial-ds 2E-07 startup.kvp"));
    EXPECT_EQ(summary("--initial-ds 1E-07 ds.orv"), summary("startup.orv"));
}

TEST_F(DataSetCommand, StudyAndFitReadDataSetFiles) {
    ASSERT_EQ(run("convert -m bilinear startup.kvp pb.orv").exitCode, 0);
    const auto rows = [this](const std::string& arguments) {
        const BatchRun r = run("study --vary lb=40,80 --jobs 1 " + arguments);
        EXPECT_EQ(r.exitCode, 0) << arguments << ": " << r.err;
        std::istringstream lines(r.out);
        std::string kept;
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("#")) {
                kept += line + "\n";
            }
        }
        return kept;
    };
    EXPECT_EQ(rows("pb.orv"), rows("--model bilinear startup.kvp"));
    EXPECT_NE(rows("pb.orv"), rows("startup.kvp"));
    const BatchRun bad = run("study --vary lb=40,80 missing.orv");
    EXPECT_EQ(bad.exitCode, 2);
    // The fit reads its base before the measured curve.
    std::ofstream(m_dir / "bad.orv") << "format = 1\n[analysis]\nlaw = 3\n";
    const BatchRun badBase = run("fit --measured missing.csv bad.orv");
    EXPECT_EQ(badBase.exitCode, 2);
    EXPECT_NE(badBase.err.find("bad.orv"), std::string::npos) << badBase.err;
    const BatchRun goodBase = run("fit --measured missing.csv startup.orv");
    EXPECT_EQ(goodBase.exitCode, 2);
    EXPECT_EQ(goodBase.err.find("startup.orv"), std::string::npos) << goodBase.err;
    EXPECT_NE(goodBase.err.find("missing.csv"), std::string::npos) << goodBase.err;
}

// convert both ways: every example comes back byte for byte.
TEST_F(DataSetCommand, ConvertRoundTripsEveryExample) {
    for (const std::string& name : examples()) {
        SCOPED_TRACE(name);
        const BatchRun there = run("convert " + name + ".kvp there.orv");
        ASSERT_EQ(there.exitCode, 0) << there.err;
        EXPECT_NE(there.err.find("names no bond law"), std::string::npos) << there.err;
        const BatchRun back = run("convert there.orv back.kvp");
        ASSERT_EQ(back.exitCode, 0) << back.err;
        EXPECT_EQ(back.err, "");
        EXPECT_EQ(readFile(m_dir / "back.kvp"), readFile(m_dir / (name + ".kvp")));
    }
    const BatchRun lossy = run("convert perfectly-bilinear.orv lossy.kvp");
    EXPECT_EQ(lossy.exitCode, 0) << lossy.err;
    EXPECT_NE(lossy.err.find("warning: a parameter file does not keep the bond law "
                             "(perfectly-bilinear)"),
              std::string::npos)
        << lossy.err;
}

TEST_F(DataSetCommand, ConvertRefusals) {
    fs::create_symlink("startup.kvp", m_dir / "link.kvp");
    std::ofstream(m_dir / "bad.orv") << "format = 1\n[analysis]\nlaw = 3\n";
    const struct {
        const char* arguments;
        int exitCode;
        const char* message;
    } cases[] = {
        {"convert startup.kvp", 2, "convert takes two files"},
        {"convert a b c", 2, "convert takes two files"},
        {"convert startup.kvp out.txt", 2, "must end in .orv"},
        {"convert missing.kvp out.orv", 2, "missing.kvp"},
        {"convert bad.orv out.kvp", 2, "table [laminate] is missing"},
        {"convert startup.orv startup.orv", 2, "is the input file"},
        {"convert startup.kvp link.kvp", 2, "is the input file"},
        {"convert startup.kvp no/such/out.orv", 2, "the folder \"no/such\" does not exist"},
    };
    const std::string startup = readFile(m_dir / "startup.kvp");
    for (const auto& c : cases) {
        const BatchRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    EXPECT_EQ(readFile(m_dir / "startup.kvp"), startup);
    EXPECT_FALSE(fs::exists(m_dir / "out.orv"));
}

} // namespace
