#include "files/ParameterFile.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orvane {
namespace {

ParameterFileTexts StartupTexts() {
    ParameterFileTexts texts;
    texts.comment = "Please input the comment.";
    texts.fields = {"6.467", "0.0650", "0.3540", "0.120", "120.0", "50.00", "0.167", "230000",
                    "0.300", "2450",   "50.0",   "100.0", "24000", "193.5", "206000"};
    return texts;
}

// The seventeen lines of an ASCII text set, each followed by end.
std::string FileOf(const ParameterFileTexts& texts, const std::string& end = "\r\n") {
    std::string file = texts.comment + end;
    for (int field = 0; field < kStoredFieldCount; ++field)
        file +=
            (field == 5 ? (texts.detailOutput ? "Y" : "N") + end : "") + texts.fields[field] + end;
    return file;
}

auto Tie(const ParameterFileTexts& texts) {
    return std::tie(texts.comment, texts.detailOutput, texts.fields);
}

std::string Read(const fs::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

class ParameterFileTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("orvane-kvp-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_dir);
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    // What the directory holds: a leftover temporary file shows here.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path m_dir;
};

TEST_F(ParameterFileTest, StartupTextsGiveSeventeenCrLfLinesAndLoadBack) {
    // A relative name without an extension is used as it is, from the current directory.
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir);
    const FileStatus saved = SaveParameterFile("startup", StartupTexts());
    fs::current_path(previous);
    ASSERT_TRUE(saved.ok()) << saved.message;
    EXPECT_EQ(entries(), std::vector<std::string>{"startup"});

    const std::string expected = FileOf(StartupTexts()), actual = Read(path("startup"));
    const auto differ =
        std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first;
    EXPECT_EQ(expected, actual) << "first difference on line "
                                << std::count(expected.begin(), differ, '\n') + 1;

    ParameterFileTexts loaded;
    ASSERT_TRUE(LoadParameterFile(path("startup"), loaded).ok());
    EXPECT_EQ(Tie(StartupTexts()), Tie(loaded));
}

TEST_F(ParameterFileTest, CommentsRoundTripVerbatimAsShiftJis) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\r\n"},
        {"  lead, \"quoted\", trail  ", "  lead, \"quoted\", trail  \r\n"},
        {" 試験体 τ=1,\"ｱ\" ", " \x8E\x8E\x8C\xB1\x91\xCC \x83\xD1=1,\"\xB1\" \r\n"},
    };
    for (const auto& [comment, firstLine] : cases) {
        ParameterFileTexts texts = StartupTexts();
        texts.comment = comment;
        texts.detailOutput = true;
        texts.fields[3] = " 0.1 ";
        ASSERT_TRUE(SaveParameterFile(path("c.kvp"), texts).ok());
        EXPECT_EQ(Read(path("c.kvp")).substr(0, firstLine.size()), firstLine);
        ParameterFileTexts loaded;
        ASSERT_TRUE(LoadParameterFile(path("c.kvp"), loaded).ok());
        EXPECT_EQ(Tie(texts), Tie(loaded));
    }
}

TEST_F(ParameterFileTest, ReadsSeventeenLinesAndChangesNothingOnFailure) {
    const std::string crlf = FileOf(StartupTexts());
    const std::string sixteen = crlf.substr(0, crlf.rfind("206000"));
    const std::string large(2 << 20, 'x'), file = path("f.kvp");
    // Line 7 is set by "Y" or "y" alone.
    auto detail = [&](const std::string& line) {
        return std::string(crlf).replace(crlf.find("\r\nN\r\n") + 2, 1, line);
    };
    const struct {
        std::string bytes;
        FileFailure failure;
        std::string message;
        bool detailOutput = false;
    } cases[] = {
        {detail("Y"), FileFailure::None, "", true},
        {detail("y"), FileFailure::None, "", true},
        {detail("n"), FileFailure::None, ""},
        {detail(""), FileFailure::None, ""},
        {detail("yes"), FileFailure::None, ""},
        {detail("YES"), FileFailure::None, ""},
        {FileOf(StartupTexts(), "\n"), FileFailure::None, ""},
        {crlf.substr(0, crlf.size() - 2), FileFailure::None, ""},
        {crlf + "extra\r\n\x83\r\n" + large, FileFailure::None, ""},
        {sixteen, FileFailure::TooFewLines,
         "\"" + file + "\" has only 16 lines; a parameter file has 17."},
        {"", FileFailure::TooFewLines, "\"" + file + "\" is empty; a parameter file has 17 lines."},
        {"\x83" + crlf.substr(crlf.find('\r')), FileFailure::NotCp932,
         "Line 1 of \"" + file + "\" is not Shift-JIS text."},
        // Not cut short to a seventeenth line that merely looks complete.
        {sixteen + large, FileFailure::TooFewLines,
         "\"" + file + "\" is not a parameter file: its first 17 lines exceed 1 MiB."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases));
        Write(file, c.bytes);
        ParameterFileTexts texts, expected = StartupTexts();
        texts.comment = "unchanged";
        texts.detailOutput = !c.detailOutput;
        expected.detailOutput = c.detailOutput;
        const FileStatus status = LoadParameterFile(file, texts);
        EXPECT_EQ(status.failure, c.failure) << status.message;
        EXPECT_EQ(status.message, c.message);
        if (status.ok())
            EXPECT_EQ(Tie(expected), Tie(texts));
        else
            EXPECT_EQ(texts.comment, "unchanged");
    }
    // A CR that does not end a line is text.
    ParameterFileTexts texts;
    ASSERT_TRUE(ParseParameterFile("a\rb\r\n" + crlf.substr(crlf.find('\n') + 1), "", texts).ok());
    EXPECT_EQ(texts.comment, "a\rb");
    // ... and what was loaded can be saved and loaded again unchanged.
    std::string bytes;
    ASSERT_TRUE(FormatParameterFile(texts, bytes).ok());
    ParameterFileTexts again;
    ASSERT_TRUE(ParseParameterFile(bytes, "", again).ok());
    EXPECT_EQ(Tie(again), Tie(texts));
}

TEST_F(ParameterFileTest, ReplacesTheWholeFileKeepingModeAndLinks) {
    Write(path("old.kvp"), FileOf(StartupTexts()) + std::string(1000, 'x'));
    fs::permissions(path("old.kvp"), fs::perms(0640));
    fs::create_symlink("old.kvp", path("link.kvp"));
    ASSERT_TRUE(SaveParameterFile(path("link.kvp"), StartupTexts()).ok());
    EXPECT_EQ(Read(path("old.kvp")), FileOf(StartupTexts()));
    EXPECT_TRUE(fs::is_symlink(path("link.kvp")));
    EXPECT_EQ(fs::status(path("old.kvp")).permissions(), fs::perms(0640));

    const mode_t mask = ::umask(027);
    const FileStatus status = SaveParameterFile(path("new.kvp"), StartupTexts());
    ::umask(mask);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(fs::status(path("new.kvp")).permissions(), fs::perms(0640));
}

// A refused save writes nothing and leaves the old file and no temporary file behind.
TEST_F(ParameterFileTest, RefusedSavesNameTheFileOrTextAndTheReason) {
    Write(path("plain"), "");
    Write(path("old.kvp"), "old\r\n");
    const std::string old = path("old.kvp");
    const std::string cannot = " which a parameter file cannot store.";
    struct Case {
        std::string file, comment, ef;
        FileFailure failure;
        int error;
        std::string message;
    };
    std::vector<Case> cases = {
        {old, "caf\xC3\xA9", "2.3", FileFailure::Unencodable, 0,
         "The comment contains \"é\"," + cannot},
        {old, "ok 😀", "2.3", FileFailure::Unencodable, 0, "The comment contains \"😀\"," + cannot},
        {old, "a\nb", "2.3", FileFailure::Unencodable, 0,
         "The comment contains a line break," + cannot},
        {old, "ok", "2.3é", FileFailure::Unencodable, 0, "The Ef field contains \"é\"," + cannot},
        {path("missing/x.kvp"), "ok", "2.3", FileFailure::CannotOpen, ENOENT,
         "Cannot open \"" + path("missing/x.kvp") + "\": No such file or directory"},
        {path("plain/x.kvp"), "ok", "2.3", FileFailure::CannotOpen, ENOTDIR,
         "Cannot open \"" + path("plain/x.kvp") + "\": Not a directory"},
        {m_dir.string(), "ok", "2.3", FileFailure::CannotOpen, EISDIR,
         "Cannot open \"" + m_dir.string() + "\": Is a directory"},
    };
    if (fs::exists("/dev/full"))
        cases.push_back({"/dev/full", "ok", "2.3", FileFailure::CannotWrite, ENOSPC,
                         "Cannot write \"/dev/full\": No space left on device"});
    for (const Case& c : cases) {
        ParameterFileTexts texts = StartupTexts();
        texts.comment = c.comment;
        texts.fields[static_cast<int>(NumericField::Ef)] = c.ef;
        const FileStatus status = SaveParameterFile(c.file, texts);
        EXPECT_EQ(status.failure, c.failure) << c.message;
        EXPECT_EQ(status.errorNumber, c.error) << c.message;
        EXPECT_EQ(status.message, c.message);
    }
    EXPECT_EQ(Read(old), "old\r\n");
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"old.kvp", "plain"}));

    ParameterFileTexts texts;
    texts.comment = "unchanged";
    EXPECT_EQ(LoadParameterFile(path("missing.kvp"), texts).errorNumber, ENOENT);
    EXPECT_EQ(LoadParameterFile(m_dir.string(), texts).errorNumber, EISDIR);
    EXPECT_EQ(texts.comment, "unchanged");
}

// A write that fails halfway (at a file-size limit, which binds root too) leaves the old
// file as it was and no temporary file behind.
TEST_F(ParameterFileTest, FailedWriteKeepsTheOldFile) {
    Write(path("old.kvp"), "old\r\n");
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 64;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const FileStatus status = SaveParameterFile(path("old.kvp"), StartupTexts());
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);

    EXPECT_EQ(status.failure, FileFailure::CannotWrite);
    EXPECT_EQ(status.errorNumber, EFBIG);
    EXPECT_EQ(Read(path("old.kvp")), "old\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"old.kvp"});
}

TEST_F(ParameterFileTest, ReadOnlyFileOrDirectoryIsNotReplaced) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not bind root";
    Write(path("old.kvp"), "old\r\n");
    fs::permissions(path("old.kvp"), fs::perms(0444));
    EXPECT_EQ(SaveParameterFile(path("old.kvp"), StartupTexts()).errorNumber, EACCES);
    fs::permissions(path("old.kvp"), fs::perms(0644));
    fs::permissions(m_dir, fs::perms(0555));
    EXPECT_EQ(SaveParameterFile(path("old.kvp"), StartupTexts()).errorNumber, EACCES);
    EXPECT_EQ(Read(path("old.kvp")), "old\r\n");
}

} // namespace
} // namespace orvane
