#include "core/engine/PulloutRun.h"
#include "core/numtext/NumberText.h"
#include "core/results/ResultFileName.h"
#include "core/results/TauSlipFileWriter.h"
#include "support/FileBytes.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

constexpr LocalDateTime kOpenedAt{2026, 3, 7, 14, 5, 9};
const std::string kTau = "\x83\xD1"; // τ in Shift-JIS

std::vector<std::string> splitCrLf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "orvane-ts-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(m_path); }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

struct RunOutput {
    std::string bytes;
    int steps;
    int n;
};

RunOutput writeRun(AnalysisParameters p, const fs::path& path) {
    TauSlipFileWriter writer;
    EXPECT_TRUE(writer.open(path.string(), p, kOpenedAt).ok());
    PulloutRun run(p);
    run.addObserver(writer);
    while (run.step() == RunEnd::None) {
    }
    EXPECT_TRUE(writer.close().ok());
    return {readFile(path), run.stepNumber(), run.elementCount()};
}

AnalysisParameters startup(bool detail) {
    AnalysisParameters p = StartupParameters();
    p.detailOutput = detail ? 1 : 0;
    p.ds = InitialSlipIncrement("1E-07");
    return p;
}

// The lines every run file starts with, from the file's layout rules.
std::vector<std::string> expectedHeader(const std::string& chosen, const std::string& lawLine,
                                        const std::string& tauB) {
    return {kTau + "-s relationship created by Orvane2, kvp file = " + chosen +
                ", at 03-07-2026, 14:05:09",
            lawLine, kTau + "b.max =" + tauB + "MPa"};
}
const std::string kColumnHeading = "s.loaded end(mm) P.loaded end(N)   total" + kTau + "(MPa)";
const std::string kDistributionHeading = "   x(mm)      s(mm)      P(N)    " + kTau + "(MPa)";

TEST(TauSlipFile, StartupRunWithoutDetail) {
    TempDir dir;
    const RunOutput out = writeRun(startup(false), dir / "default.t-s");
    const std::vector<std::string> lines = splitCrLf(out.bytes);
    ASSERT_EQ(int(lines.size()), 4 + out.steps);
    const auto header = expectedHeader(
        "", kTau + "max = 6.467  smax = .065  su = .354  tf = .167  ef = 230000  lb = 120 ",
        "6.467");
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(lines[k], header[k]);
    }
    EXPECT_EQ(lines[3], kColumnHeading);
    // A data line: 3, 7 and 8 blanks before the scientific slip, force and the right-aligned
    // average bond stress.
    const std::string& first = lines[4];
    EXPECT_EQ(first.substr(0, 3), "   ");
    EXPECT_EQ(first.size(), 3 + 9 + 7 + 9 + 8 + 8u);
    EXPECT_EQ(first.substr(12, 7), "       ");
    EXPECT_EQ(first.substr(28, 8), "        ");
    EXPECT_EQ(first.substr(36), "   0.000");
}

TEST(TauSlipFile, DetailBlocksFrameEveryStep) {
    TempDir dir;
    AnalysisParameters p = startup(true);
    p.lb = 0.6f; // five elements of 0.12 mm
    const RunOutput out = writeRun(p, dir / "detail.t-s");
    const std::vector<std::string> lines = splitCrLf(out.bytes);
    ASSERT_EQ(out.n, 5);
    ASSERT_EQ(int(lines.size()), 3 + out.steps * (out.n + 4));
    for (int step = 1; step <= out.steps; ++step) {
        const std::size_t block = 3 + std::size_t(step - 1) * (out.n + 4);
        char stepText[16];
        std::snprintf(stepText, sizeof stepText, "%05d", step);
        EXPECT_EQ(lines[block], std::string("step =") + stepText);
        EXPECT_EQ(lines[block + 1], kDistributionHeading);
        EXPECT_EQ(lines[block + 2].substr(0, 8), "   0.120");
        EXPECT_EQ(lines[block + 6].substr(0, 8), "   0.600");
        EXPECT_EQ(lines[block + 7], kColumnHeading);
    }
}

// A distribution line built from its rules: x and τ right-aligned in eight, slip and force in
// scientific form, two blanks between columns.
TEST(TauSlipFile, DistributionLineLayout) {
    TempDir dir;
    AnalysisParameters p = startup(true);
    p.lb = 300.0f;
    p.dl = 1.0f;
    p.ds = 0.05f;
    TauSlipFileWriter writer;
    ASSERT_TRUE(writer.open((dir / "x.t-s").string(), p, kOpenedAt).ok());
    writer.stepStarted({12, 1e-10, 0.05f});
    const std::array<ElementResult, 2> elements{
        {{1, 1.0, 0.0125, 1500.0, 6.467}, {300, 300.0, 0.0, -2.5, 12345.5}}};
    writer.elementsComputed(elements);
    writer.stepFinished({12, 1e-10, 0.05f, 0.0125, 1500.0, 12.5, 1500.0, 0.0125});
    ASSERT_TRUE(writer.close().ok());
    const std::vector<std::string> lines = splitCrLf(readFile(dir / "x.t-s"));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[3], "step =00012");
    EXPECT_EQ(lines[5], "   1.000  1.250e-02  1.500e+03     6.467");
    EXPECT_EQ(lines[6], " 300.000  0.000e+00  -2.500e+00  2345.500");
    EXPECT_EQ(lines[7], kColumnHeading);
    EXPECT_EQ(lines[8], "   1.250e-02       1.500e+03          12.500");
}

TEST(TauSlipFile, PerfectlyBilinearHeaderAndChosenFile) {
    TempDir dir;
    AnalysisParameters p = startup(false);
    p.bondModel = BondModel::PerfectlyBilinear;
    p.tauMax = 3.5f;
    p.chosenFilePath = "/data/試験/beam.kvp";
    TauSlipFileWriter writer;
    ASSERT_TRUE(writer.open((dir / "beam.t-s").string(), p, kOpenedAt).ok());
    ASSERT_TRUE(writer.close().ok());
    const auto header = expectedHeader(
        "/data/\x8E\x8E\x8C\xB1/beam.kvp",
        kTau + "y = 3.5  sy = .065  su = .354  tf = .167  ef = 230000  lb = 120 ", "3.500");
    const std::vector<std::string> lines = splitCrLf(readFile(dir / "beam.t-s"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), header);
}

TEST(TauSlipFile, FailuresAreReported) {
    TempDir dir;
    const AnalysisParameters p = startup(false);
    TauSlipFileWriter writer;
    const FileStatus missing = writer.open((dir / "no/such/dir.t-s").string(), p, kOpenedAt);
    EXPECT_EQ(missing.failure, FileFailure::CannotOpen);
    EXPECT_NE(missing.message.find("dir.t-s"), std::string::npos);
}

// Only the path in line 1 comes from outside the program; what Shift-JIS cannot hold of it is
// written as one "?" per character, and nothing else of the file changes.
TEST(TauSlipFile, PathCharactersShiftJisCannotHoldBecomeQuestionMarks) {
    const struct {
        const char* chosen;
        const char* written;
        bool replaced;
    } cases[] = {
        {"/home/émile/beam.kvp", "/home/?mile/beam.kvp", true},
        {"/data/Prüfung/Café/beam.kvp", "/data/Pr?fung/Caf?/beam.kvp", true},
        {"/data/😀/beam.kvp", "/data/?/beam.kvp", true},
        {"/data/\xFF\xFE/beam.kvp",
         "/data/?"
         "?/beam.kvp",
         true},
        {"/data/試験/beam.kvp", "/data/\x8E\x8E\x8C\xB1/beam.kvp", false},
    };
    TempDir dir;
    const std::vector<std::string> plain = splitCrLf(writeRun(startup(false), dir / "p.t-s").bytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        AnalysisParameters p = startup(false);
        p.chosenFilePath = c.chosen;
        TauSlipFileWriter writer;
        ASSERT_TRUE(writer.open((dir / "r.t-s").string(), p, kOpenedAt).ok());
        EXPECT_EQ(writer.headerPathReplaced(), c.replaced);
        PulloutRun run(p);
        run.addObserver(writer);
        while (run.step() == RunEnd::None) {
        }
        ASSERT_TRUE(writer.close().ok());
        std::vector<std::string> lines = splitCrLf(readFile(dir / "r.t-s"));
        ASSERT_EQ(lines.size(), plain.size());
        EXPECT_EQ(lines[0], expectedHeader(c.written, "", "")[0]);
        lines[0] = plain[0];
        EXPECT_EQ(lines, plain);
    }
}

// Steps wholly in a file's bytes, or -1 when they end inside a step. Nothing (not yet written)
// counts as no step.
int wholeStepsIn(const std::string& bytes, bool detail, int n) {
    if (bytes.empty()) {
        return 0;
    }
    if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) {
        return -1;
    }
    const auto lines = int(std::count(bytes.begin(), bytes.end(), '\n'));
    const int header = detail ? 3 : 4;
    const int perStep = detail ? n + 4 : 1;
    return lines < header || (lines - header) % perStep != 0 ? -1 : (lines - header) / perStep;
}

// Reads the file from disk at every step end, after the writer has seen the step; only a
// changed size needs a new count.
class DiskWatcher : public RunObserver {
public:
    DiskWatcher(fs::path path, bool detail, int n)
        : m_path(std::move(path)), m_detail(detail), m_n(n) {}
    void stepFinished(const StepResult& result) override {
        const std::uintmax_t size = fs::file_size(m_path);
        if (size != m_size) {
            m_size = size;
            m_steps = wholeStepsIn(readFile(m_path), m_detail, m_n);
        }
        EXPECT_GE(m_steps, 0) << "step " << result.step << " left a part of a step on disk";
        if (!m_detail || result.step % TauSlipFileWriter::kStepsBetweenWrites == 0) {
            EXPECT_EQ(m_steps, result.step);
        }
    }

private:
    fs::path m_path;
    bool m_detail;
    int m_n;
    std::uintmax_t m_size = 0;
    int m_steps = 0;
};

// A killed run leaves what is on disk: whole steps only, and every step without detail output
// and every fifth with it. Detail steps of 21 kB overflow the buffer between those writes.
TEST(TauSlipFile, WholeStepsOnDiskAtEveryWrite) {
    for (const bool detail : {false, true}) {
        SCOPED_TRACE(detail ? "detail" : "no detail");
        TempDir dir;
        AnalysisParameters p = startup(detail);
        p.lb = 60.0f;
        TauSlipFileWriter writer;
        ASSERT_TRUE(writer.open((dir / "w.t-s").string(), p, kOpenedAt).ok());
        PulloutRun run(p);
        DiskWatcher watcher(dir / "w.t-s", detail, run.elementCount());
        run.addObserver(writer);
        run.addObserver(watcher);
        while (run.step() == RunEnd::None) {
        }
        ASSERT_TRUE(writer.close().ok());
        EXPECT_EQ(writer.wholeSteps(), run.stepNumber());
    }
}

// A detail run hands its buffered steps to the system at least at every fifth step end, so a
// killed run loses at most the last few steps; a short bond keeps them all in the buffer
// otherwise.
TEST(TauSlipFile, DetailStepsReachTheFileAtLeastEveryFifthStep) {
    TempDir dir;
    AnalysisParameters p = startup(true);
    p.lb = 1.2f;
    TauSlipFileWriter writer;
    ASSERT_TRUE(writer.open((dir / "short.t-s").string(), p, kOpenedAt).ok());
    PulloutRun run(p);
    run.addObserver(writer);
    while (run.step() == RunEnd::None) {
        EXPECT_GT(writer.wholeSteps(), run.stepNumber() - TauSlipFileWriter::kStepsBetweenWrites)
            << "step " << run.stepNumber();
    }
    EXPECT_GT(run.stepNumber(), 2 * TauSlipFileWriter::kStepsBetweenWrites);
    ASSERT_TRUE(writer.close().ok());
}

// A file-size limit for the test process, with SIGXFSZ ignored so that write(2) fails with
// EFBIG instead of ending the process; both restored at the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};

struct FullDiskCase {
    const char* name;
    bool detail;
    rlim_t limit;
};

class FileSizeLimitPartWay : public testing::TestWithParam<FullDiskCase> {};

// A full disk part-way: the file is cut back to its last whole step, or removed when it holds
// none, and the message says which steps it holds.
TEST_P(FileSizeLimitPartWay, LeavesWholeStepsOnly) {
    const FullDiskCase& c = GetParam();
    TempDir dir;
    const fs::path path = dir / "full.t-s";
    AnalysisParameters p = startup(c.detail);
    TauSlipFileWriter writer;
    PulloutRun run(p);
    FileStatus closed;
    {
        const FileSizeLimit limit(c.limit);
        ASSERT_TRUE(writer.open(path.string(), p, kOpenedAt).ok());
        run.addObserver(writer);
        while (run.step() == RunEnd::None && writer.status().ok()) {
        }
        closed = writer.close();
    }
    EXPECT_EQ(closed.failure, FileFailure::CannotWrite);
    EXPECT_EQ(closed.errorNumber, EFBIG);
    const int steps = writer.wholeSteps();
    if (steps == 0) {
        EXPECT_FALSE(fs::exists(path));
        EXPECT_NE(closed.message.find("held no whole step and has been removed."),
                  std::string::npos)
            << closed.message;
        return;
    }
    const std::string bytes = readFile(path);
    EXPECT_LE(bytes.size(), c.limit);
    EXPECT_EQ(wholeStepsIn(bytes, c.detail, run.elementCount()), steps);
    EXPECT_LT(steps, run.stepNumber() + (c.detail ? 0 : 1));
    const std::string held = steps == 1 ? "step 1" : "steps 1 to " + std::to_string(steps);
    EXPECT_NE(closed.message.find(" The file holds " + held + "."), std::string::npos)
        << closed.message;
}

INSTANTIATE_TEST_SUITE_P(Limits, FileSizeLimitPartWay,
                         testing::Values(FullDiskCase{"DataLines", false, 3000},
                                         FullDiskCase{"DetailBlocks", true, 150'000},
                                         FullDiskCase{"WithinTheFirstDetailStep", true, 30'000},
                                         FullDiskCase{"WithinTheHeader", false, 100}),
                         [](const testing::TestParamInfo<FullDiskCase>& info) {
                             return info.param.name;
                         });

// A device that fails every write: nothing to cut back, the message says no step got through.
TEST(TauSlipFile, DevFullReportsNoWholeStep) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const bool detail : {false, true}) {
        SCOPED_TRACE(detail ? "detail" : "no detail");
        AnalysisParameters p = startup(detail);
        TauSlipFileWriter writer;
        ASSERT_TRUE(writer.open("/dev/full", p, kOpenedAt).ok());
        PulloutRun run(p);
        run.addObserver(writer);
        while (run.step() == RunEnd::None && writer.status().ok()) {
        }
        EXPECT_EQ(writer.status().failure, FileFailure::CannotWrite);
        EXPECT_EQ(writer.status().errorNumber, ENOSPC);
        // Without detail the first step end writes; a detail step overflows the buffer.
        EXPECT_EQ(run.stepNumber(), detail ? 2 : 1);
        EXPECT_EQ(writer.wholeSteps(), 0);
        const FileStatus closed = writer.close();
        EXPECT_EQ(closed.failure, FileFailure::CannotWrite);
        EXPECT_NE(closed.message.find("No whole step was written."), std::string::npos)
            << closed.message;
    }
}

// Named pipes and sockets are refused at once, without waiting for a reader (the case without
// a reader runs in a child with an alarm, so that a blocking open fails instead of hanging);
// /dev/null, a symbolic link to a regular file and an existing file are written.
TEST(TauSlipFile, OnlyRegularFilesAndCharacterDevicesAreOpened) {
    TempDir dir;
    const AnalysisParameters p = startup(false);
    const std::string fifo = (dir / "pipe.t-s").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            alarm(5);
            TauSlipFileWriter writer;
            const FileStatus refused = writer.open(fifo, p, kOpenedAt);
            const bool named = refused.message == "Cannot open \"" + fifo +
                                                      "\": it is not a regular file but a "
                                                      "named pipe.";
            std::exit(refused.failure == FileFailure::CannotOpen && named ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    TauSlipFileWriter writer;
    EXPECT_NE(writer.open(fifo, p, kOpenedAt).message.find("not a regular file but a named pipe"),
              std::string::npos);
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "the refused pipe got data";
    ::close(reader);

    const std::string socketPath = (dir / "socket.t-s").string();
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_NE(writer.open(socketPath, p, kOpenedAt).message.find("not a regular file but a socket"),
              std::string::npos);
    ::close(listening);

    EXPECT_TRUE(writer.open("/dev/null", p, kOpenedAt).ok());
    EXPECT_TRUE(writer.close().ok());

    const fs::path target = dir / "target.t-s";
    std::ofstream(target, std::ios::binary) << std::string(100000, 'x');
    fs::create_symlink(target, dir / "link.t-s");
    ASSERT_TRUE(writer.open((dir / "link.t-s").string(), p, kOpenedAt).ok());
    ASSERT_TRUE(writer.close().ok());
    EXPECT_TRUE(fs::is_symlink(dir / "link.t-s"));
    EXPECT_EQ(splitCrLf(readFile(target)).size(), 4u) << "the old bytes are gone";
}

// Whole runs against checked-in files. ORVANE_UPDATE_EXPECTED=1 rewrites them; a rewritten
// file is checked by eye against the layout rules above before it is committed.
void expectMatchesFile(const std::string& actual, const std::string& name) {
    const fs::path expectedPath = fs::path(ORVANE_TEST_DATA_DIR) / name;
    if (std::getenv("ORVANE_UPDATE_EXPECTED")) {
        std::ofstream(expectedPath, std::ios::binary) << actual;
    }
    const std::vector<std::string> expected = splitCrLf(readFile(expectedPath));
    const std::vector<std::string> lines = splitCrLf(actual);
    ASSERT_FALSE(expected.empty()) << "missing " << expectedPath;
    for (std::size_t k = 0; k < std::min(expected.size(), lines.size()); ++k) {
        ASSERT_EQ(lines[k], expected[k]) << name << ": first difference in line " << k + 1;
    }
    ASSERT_EQ(lines.size(), expected.size()) << name;
    EXPECT_EQ(actual, readFile(expectedPath)) << name;
}

// FNV-1a, to pin a file too large to check in.
std::uint64_t fingerprint(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    return hash;
}

struct WholeRunCase {
    const char* file;
    BondModel model;
    float lb;
    float dl;
    bool detail;
};

class WholeRunFiles : public testing::TestWithParam<WholeRunCase> {};

TEST_P(WholeRunFiles, MatchExpectedBytes) {
    const WholeRunCase& c = GetParam();
    AnalysisParameters p = startup(c.detail);
    p.bondModel = c.model;
    p.lb = c.lb;
    p.dl = c.dl;
    p.chosenFilePath = "/home/eng/beam.kvp";
    TempDir dir;
    expectMatchesFile(writeRun(p, dir / "run.t-s").bytes, c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, WholeRunFiles,
    testing::Values(
        WholeRunCase{"startup.t-s", BondModel::BilinearSoftening, 120.0f, 0.12f, false},
        WholeRunCase{"bilinear-detail.t-s", BondModel::PerfectlyBilinear, 2.0f, 1.0f, true},
        // 30 mm elements over 100 mm: the last element overhangs the bond.
        WholeRunCase{"overhang-detail.t-s", BondModel::BilinearSoftening, 100.0f, 30.0f, true},
        // Long elements on the plateau: the half-step term of each is a large share of the
        // slip, so its single-precision rounding shows in the printed digits.
        WholeRunCase{"bilinear-long-elements.t-s", BondModel::PerfectlyBilinear, 300.0f, 30.0f,
                     false}),
    [](const testing::TestParamInfo<WholeRunCase>& info) {
        std::string name = info.param.file;
        name.erase(name.find('.'));
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

TEST(TauSlipFile, StartupRunWithDetail) {
    TempDir dir;
    const RunOutput plain = writeRun(startup(false), dir / "plain.t-s");
    const RunOutput detail = writeRun(startup(true), dir / "detail.t-s");
    const std::vector<std::string> plainLines = splitCrLf(plain.bytes);
    const std::vector<std::string> detailLines = splitCrLf(detail.bytes);
    ASSERT_EQ(detail.steps, plain.steps);
    ASSERT_EQ(int(detailLines.size()), 3 + detail.steps * (1000 + 4));
    // The same data lines, each closing its step's block.
    for (int step = 1; step <= detail.steps; ++step) {
        const std::size_t blockEnd = 3 + std::size_t(step) * 1004 - 1;
        ASSERT_EQ(detailLines[blockEnd], plainLines[3 + step]) << "step " << step;
    }
    EXPECT_EQ(detailLines[5], "   0.120  1.000e-10  5.970e-08     0.000");
    EXPECT_EQ(fingerprint(detail.bytes), 8096290011866402699u);
}

TEST(ResultFileName, FromTheParameterFilePath) {
    const struct {
        const char* parameterFile;
        const char* resultFile;
    } cases[] = {
        {"", "default.t-s"},
        {"/home/eng/beam.kvp", "/home/eng/beam.t-s"},
        {"beam.kvp", "beam.t-s"},
        {"default.t-s", "default.t-s"},
        {"/home/eng/beam.t-s", "/home/eng/beam.t-s"},
        {"試験体.kvp", "試験体.t-s"},
        {"beam.τσψ", "beam.t-s"}, // characters, not bytes
        {"beam", "beam.t-s"},
        {"ab", "ab.t-s"},
        {"beam.data", "beam.data.t-s"},
        {"dir.kvp/beam", "dir.kvp/beam.t-s"},
        {"/home/eng/.kvp", "/home/eng/.t-s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResultFilePath(c.parameterFile), c.resultFile) << c.parameterFile;
        EXPECT_EQ(ResultFilePath(ResultFilePath(c.parameterFile)), c.resultFile);
    }
}

} // namespace
