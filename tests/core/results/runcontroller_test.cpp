#include "core/results/RunController.h"
#include "support/FileBytes.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

int lineCount(const fs::path& path) {
    const std::string bytes = readFile(path);
    return int(std::count(bytes.begin(), bytes.end(), '\n'));
}

class RunControllerTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-run-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    AnalysisParameters executed(const std::string& parameterFile = "beam.kvp") const {
        AnalysisParameters p = StartupParameters();
        p.ds = InitialSlipIncrement("1E-07");
        p.parameterFilePath = (m_dir / parameterFile).string();
        p.chosenFilePath = p.parameterFilePath;
        return p;
    }

    fs::path m_dir;
};

TEST_F(RunControllerTest, RunWithoutAResultFile) {
    AnalysisParameters p = executed();
    RunController run(p);
    EXPECT_EQ(run.runToEnd(), RunEnd::BondFailure);
    EXPECT_EQ(run.run().stepNumber(), 188);
    EXPECT_EQ(run.run().Pbumax(), 14835.224786086339);
    EXPECT_TRUE(run.resultFile().empty());
    EXPECT_TRUE(run.failureMessage().empty());
    EXPECT_EQ(p.parameterFilePath, (m_dir / "beam.kvp").string()); // no name is derived
    EXPECT_TRUE(fs::is_empty(m_dir));
}

TEST_F(RunControllerTest, WholeRunNamesAndClosesTheResultFile) {
    AnalysisParameters p = executed();
    RunController run(p);
    ASSERT_TRUE(run.openResultFile().ok());
    EXPECT_EQ(run.resultFile(), (m_dir / "beam.t-s").string());
    EXPECT_EQ(p.parameterFilePath, run.resultFile());
    EXPECT_EQ(run.runToEnd(), RunEnd::BondFailure);
    EXPECT_EQ(lineCount(run.resultFile()), 4 + 188);
}

// Stopping between steps, or dropping a controller whose run goes on, leaves the header and
// every step completed, written out of the buffer.
TEST_F(RunControllerTest, StopBetweenStepsKeepsWholeSteps) {
    for (const bool dropInstead : {false, true}) {
        SCOPED_TRACE(dropInstead ? "dropped" : "stopped");
        AnalysisParameters p = executed();
        p.detailOutput = 1;
        {
            RunController run(p);
            ASSERT_TRUE(run.openResultFile().ok());
            for (int k = 0; k < 7; ++k) {
                ASSERT_EQ(run.step(), RunEnd::None);
            }
            const float ds = p.ds;
            if (!dropInstead) {
                run.stop();
                EXPECT_EQ(run.end(), RunEnd::Stopped);
                run.stop(); // a second stop changes nothing
                EXPECT_EQ(run.end(), RunEnd::Stopped);
                EXPECT_EQ(run.run().stepNumber(), 7);
                EXPECT_EQ(p.ds, ds);
                EXPECT_TRUE(run.failureMessage().empty());
            }
        }
        EXPECT_EQ(lineCount(m_dir / "beam.t-s"), 3 + 7 * (1000 + 4));
    }
}

TEST_F(RunControllerTest, StepLimit) {
    // The smallest single increment never moves s0 = 1e-10 mm.
    AnalysisParameters p = executed();
    p.lb = 1.0f;
    p.dl = 1.0f;
    p.ds = std::numeric_limits<float>::denorm_min();
    RunController run(p);
    ASSERT_TRUE(run.openResultFile().ok());
    EXPECT_EQ(run.runToEnd(), RunEnd::StepLimit);
    EXPECT_EQ(run.run().stepNumber(), PulloutRun::kMaxSteps);
    EXPECT_EQ(lineCount(run.resultFile()), 4 + PulloutRun::kMaxSteps);
}

TEST_F(RunControllerTest, NonFiniteValuesEndTheRunWithAMessage) {
    AnalysisParameters p = executed();
    p.tauMax = 3e38f; // refused by the run checks; the march overflows at once
    RunController run(p);
    ASSERT_TRUE(run.openResultFile().ok());
    EXPECT_EQ(run.step(), RunEnd::NonFinite);
    EXPECT_EQ(run.end(), RunEnd::NonFinite);
    const std::string message = run.failureMessage();
    EXPECT_NE(message.find("At step 1 "), std::string::npos) << message;
    EXPECT_NE(message.find("not finite"), std::string::npos) << message;
    EXPECT_EQ(lineCount(run.resultFile()), 4); // the header only: no "inf" line
}

TEST_F(RunControllerTest, ResultFileFailures) {
    AnalysisParameters missing = executed("no/such/dir/beam.kvp");
    RunController unopened(missing);
    EXPECT_EQ(unopened.openResultFile().failure, FileFailure::CannotOpen);
    EXPECT_EQ(unopened.end(), RunEnd::ResultFileFailed);
    EXPECT_NE(unopened.failureMessage().find("no/such/dir/beam.t-s"), std::string::npos);
    EXPECT_EQ(unopened.run().stepNumber(), 0);

    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const int detail : {0, 1}) {
        SCOPED_TRACE(detail);
        AnalysisParameters p = executed();
        p.detailOutput = std::int16_t(detail);
        RunController run(p);
        ASSERT_TRUE(run.openResultFile("/dev/full").ok());
        EXPECT_EQ(run.runToEnd(), RunEnd::ResultFileFailed);
        // The run ends at the step whose write failed: a step end without detail, the full
        // buffer inside the second step with it.
        EXPECT_EQ(run.run().stepNumber(), detail ? 2 : 1);
        EXPECT_EQ(run.fileStatus().errorNumber, ENOSPC);
        EXPECT_NE(run.failureMessage().find("/dev/full"), std::string::npos);
    }
}

// Steps still buffered when the run is stopped go out at the close; a failure there ends the
// run as a file failure, not as a stop, and the message says so.
TEST_F(RunControllerTest, AFailedCloseEndsTheRunAsAFileFailure) {
    AnalysisParameters p = executed();
    p.detailOutput = 1;
    p.lb = 1.2f; // ten elements: five detail steps fit the buffer, nothing is written before
    RunController run(p);
    ASSERT_TRUE(run.openResultFile().ok());
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(run.step(), RunEnd::None);
    }
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100; // less than the header
    setrlimit(RLIMIT_FSIZE, &limited);
    run.stop();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(run.end(), RunEnd::ResultFileFailed);
    EXPECT_EQ(run.fileStatus().errorNumber, EFBIG);
    EXPECT_NE(run.failureMessage().find("File too large"), std::string::npos)
        << run.failureMessage();
}

// The parameter file is never the result file, whatever names lead to it.
TEST_F(RunControllerTest, RefusesToWriteOverTheParameterFile) {
    const std::string kvp = (m_dir / "beam.kvp").string();
    std::ofstream(kvp) << "parameters";
    fs::create_hard_link(kvp, m_dir / "hard.kvp");
    fs::create_symlink(kvp, m_dir / "soft.t-s");
    fs::copy_file(kvp, m_dir / "in.t-s");
    const struct {
        const char* name;
        std::string parameterFile; // as loaded
        std::string overridePath;
    } cases[] = {
        {"output given as the input", kvp, kvp},
        {"a hard link to it", kvp, (m_dir / "hard.kvp").string()},
        {"a symbolic link to it", kvp, (m_dir / "soft.t-s").string()},
        {"input named like a result", (m_dir / "in.t-s").string(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisParameters p = executed();
        p.parameterFilePath = c.parameterFile;
        p.chosenFilePath = c.parameterFile;
        const std::string before = readFile(c.parameterFile);
        RunController run(p);
        const FileStatus opened = run.openResultFile(c.overridePath);
        EXPECT_FALSE(opened.ok());
        EXPECT_NE(opened.message.find("is the parameter file itself"), std::string::npos)
            << opened.message;
        EXPECT_EQ(run.end(), RunEnd::ResultFileFailed);
        EXPECT_EQ(readFile(c.parameterFile), before);
    }

    // A second run from the windows writes over the first run's result, whose name the
    // parameter path now holds.
    AnalysisParameters again = executed();
    again.parameterFilePath = (m_dir / "in.t-s").string();
    again.chosenFilePath = kvp;
    RunController run(again);
    EXPECT_TRUE(run.openResultFile().ok());
}

} // namespace
