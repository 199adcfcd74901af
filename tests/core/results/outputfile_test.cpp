#include "core/results/OutputFile.h"
#include "core/results/OutputPolicy.h"
#include "support/FileBytes.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;
namespace fs = std::filesystem;

namespace {

class OutputDir : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-out-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
        m_cwd = fs::current_path();
        fs::current_path(m_dir);
    }
    void TearDown() override {
        fs::current_path(m_cwd);
        std::error_code ignored;
        fs::permissions(m_dir / "locked", fs::perms::owner_all, ignored);
        fs::remove_all(m_dir);
    }
    static void write(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(WriteWholeFile(name, bytes).ok());
    }

    fs::path m_dir;
    fs::path m_cwd;
};

struct PolicyCase {
    const char* name;
    std::vector<PolicyOutput> outputs;
    bool force;
    const char* refusal; // part of the message; empty: accepted
};

// The inputs are in.kvp (with the hard link hard.kvp and the symbolic link soft.kvp to it) and
// lab.csv; old.t-s exists; pipe is a named pipe; locked is a folder nobody may write.
TEST_F(OutputDir, PolicyRefusesBeforeAnyWork) {
    write("in.kvp", "parameters");
    write("lab.csv", "0,0\n");
    write("old.t-s", "an earlier run");
    ASSERT_EQ(::link("in.kvp", "hard.kvp"), 0);
    fs::create_symlink("in.kvp", "soft.kvp");
    fs::create_symlink("nowhere/new.csv", "dangling.csv");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    fs::create_directory("locked");
    fs::create_directory("sub");
    const bool root = ::geteuid() == 0; // root writes any folder
    fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
    const std::vector<PolicyInput> inputs = {{"in.kvp", "the parameter file"},
                                             {"lab.csv", "the measured file"}};
    const PolicyCase cases[] = {
        {"new names", {{"a.csv", "--csv"}, {"b.csv", "--jsonl"}}, false, ""},
        {"a typed name is replaced", {{"old.t-s", "-o"}}, false, ""},
        {"a derived name is kept",
         {{"old.t-s", "the result file", true}},
         false,
         "exists; give --force"},
        {"unless forced", {{"old.t-s", "the result file", true}}, true, ""},
        {"the input",
         {{"in.kvp", "--csv"}},
         false,
         "--csv \"in.kvp\" is the parameter file \"in.kvp\""},
        {"a hard link to it", {{"hard.kvp", "--csv"}}, false, "is the parameter file"},
        {"a symbolic link to it", {{"soft.kvp", "--figure"}}, false, "is the parameter file"},
        {"through another path", {{"sub/../in.kvp", "-o"}}, false, "is the parameter file"},
        {"the measured file", {{"lab.csv", "--output"}}, true, "is the measured file"},
        {"two outputs on one new name",
         {{"x.csv", "--csv"}, {"./x.csv", "--jsonl"}},
         false,
         "--jsonl \"./x.csv\" is the same file as --csv \"x.csv\""},
        {"two outputs on one old name",
         {{"old.t-s", "-o"}, {"old.t-s", "--csv"}},
         false,
         "the same file"},
        {"both on standard output",
         {{"-", "--csv"}, {"-", "--jsonl"}},
         false,
         "cannot both go to standard output"},
        {"devices take several", {{"/dev/null", "--csv"}, {"/dev/null", "-o"}}, false, ""},
        {"a named pipe", {{"pipe", "--csv"}}, false, "it is a named pipe"},
        {"a folder", {{"sub", "--csv"}}, false, "it is a directory"},
        {"a missing folder", {{"no/such.csv", "--csv"}}, false, "the folder \"no\" does not exist"},
        {"a dangling link's folder", {{"dangling.csv", "--csv"}}, false, "does not exist"},
        {"a folder not writable",
         {{"locked/x.csv", "--csv"}},
         false,
         root ? "" : "cannot be written"},
    };
    for (const PolicyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string refusal = CheckOutputs(inputs, c.outputs, c.force);
        if (std::string(c.refusal).empty()) {
            EXPECT_EQ(refusal, "");
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        }
    }
    EXPECT_EQ(readFile("in.kvp"), "parameters");
    EXPECT_TRUE(fs::is_fifo("pipe"));
}

// A limit on the file size for this process, SIGXFSZ ignored so that write(2) fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// A CSV record may hold a quoted line break; JSON lines never do. Past the file-size limit the
// stream is cut back to its last whole record and says what it holds.
TEST_F(OutputDir, StreamsAreCutBackToWholeRecords) {
    const struct {
        RecordStream::Ends ends;
        const char* record;
        std::size_t lineBreaksPerRecord;
    } kinds[] = {
        {RecordStream::Ends::CsvRecord, "1,\"two\r\nlines\",3\r\n", 2},
        {RecordStream::Ends::Line, "{\"point\":1,\"problem\":\"a \\\"b\\\"\"}\n", 1},
    };
    for (const auto& kind : kinds) {
        const std::string record = kind.record;
        RecordStream out(kind.ends);
        ASSERT_TRUE(out.open("table").ok());
        FileStatus closed;
        {
            const FileSizeLimit limit(100'000);
            for (int k = 0; k < 20'000 && out; ++k) {
                // In pieces, as a writer streams a row field by field.
                out << record.substr(0, 5);
                out.write(record.data() + 5, std::streamsize(record.size() - 5));
                out.flush();
            }
            closed = out.close();
        }
        EXPECT_EQ(closed.errorNumber, EFBIG);
        const std::string bytes = readFile("table");
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.size() % record.size(), 0u);
        EXPECT_EQ(bytes.substr(bytes.size() - record.size()), record);
        const std::size_t records = bytes.size() / record.size();
        EXPECT_NE(closed.message.find("Cannot write \"table\": File too large. The file holds "
                                      "lines 1 to " +
                                      std::to_string(records) + "."),
                  std::string::npos)
            << closed.message;
    }
}

// Opening a stream never waits for a pipe's reader, and never replaces the pipe; a whole-file
// write leaves a pipe without a reader as it was.
TEST_F(OutputDir, PipesAreNeitherWaitedForNorReplaced) {
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    EXPECT_EXIT(
        {
            alarm(5);
            RecordStream out(RecordStream::Ends::Line);
            const bool refused = !out.open("pipe").ok();
            const bool whole = WriteWholeFile("pipe", "figure").errorNumber == ENXIO;
            std::exit(refused && whole ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_fifo("pipe"));
}

// A full device: the whole-file write says the system's reason.
TEST_F(OutputDir, WholeFileFailuresSayTheReason) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const FileStatus full = WriteWholeFile("/dev/full", "figure bytes");
    EXPECT_EQ(full.message, "Cannot write \"/dev/full\": No space left on device");
    write("kept.png", "old figure");
    EXPECT_NE(WriteWholeFile("no/such/new.png", "x").message.find("No such file or directory"),
              std::string::npos);
    EXPECT_EQ(readFile("kept.png"), "old figure");
}

} // namespace
