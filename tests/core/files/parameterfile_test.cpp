#include "core/files/ParameterFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string Repeated(const std::string& line, int times) {
    std::string lines;
    for (int k = 0; k < times; ++k)
        lines += line;
    return lines;
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

// Permission bits do not bind root, as which CI runs: there the saves that test them run as
// the unprivileged user nobody.
constexpr uid_t kNobody = 65534;

bool AsRoot() {
    return ::geteuid() == 0;
}

// Gives a file or directory to whoever saves in the child below.
void GiveToSaver(const fs::path& file) {
    if (AsRoot()) {
        ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
    }
}

struct ChildOutcome {
    FileStatus status;
    int signal = 0; // the signal that ended the child, 0 when it returned
};

// Runs act in a child process, so that neither a change of user, a resource limit nor a
// kill touches the test process; asSaver drops to nobody first when run as root. An alarm
// ends a child that hangs.
ChildOutcome InChild(const std::function<FileStatus()>& act, bool asSaver = false) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {SystemFailure(FileFailure::CannotOpen, "pipe", errno)};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::alarm(30);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (asSaver && AsRoot() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(2);
        const FileStatus status = act();
        const std::string report = std::to_string(static_cast<int>(status.failure)) + " " +
                                   std::to_string(status.errorNumber) + " " + status.message;
        const bool sent =
            ::write(channel[1], report.data(), report.size()) == ssize_t(report.size());
        ::_exit(sent ? 0 : 3);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[4096];
    for (ssize_t got; (got = ::read(channel[0], chunk, sizeof chunk)) != 0;) {
        if (got > 0)
            report.append(chunk, size_t(got));
        else if (errno != EINTR)
            break;
    }
    ::close(channel[0]);
    int wait = 0;
    ::waitpid(child, &wait, 0);
    ChildOutcome outcome;
    if (WIFSIGNALED(wait))
        outcome.signal = WTERMSIG(wait);
    std::istringstream fields(report);
    int failure = -1;
    fields >> failure >> outcome.status.errorNumber;
    outcome.status.failure = static_cast<FileFailure>(failure);
    std::getline(fields >> std::ws, outcome.status.message);
    return outcome;
}

ChildOutcome SaveAsSaver(const std::string& file, const ParameterFileTexts& texts) {
    return InChild([&] { return SaveParameterFile(file, texts); }, true);
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
        // Such a field would show "5" and hold 0.
        {Repeated(std::string("\0\0\0"
                              "5\r\n",
                              6),
                  17),
         FileFailure::NotText,
         "Line 1 of \"" + file +
             "\" contains the control character 0x00; a parameter file holds text only."},
        {std::string(crlf).replace(crlf.find("230000"), 1, "\x1B"), FileFailure::NotText,
         "Line 10 of \"" + file +
             "\" contains the control character 0x1B; a parameter file holds text only."},
        {"a\rb\r\n" + crlf.substr(crlf.find('\n') + 1), FileFailure::NotText,
         "Line 1 of \"" + file +
             "\" contains the control character 0x0D; a parameter file holds text only."},
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
    // A tab is text, and what was loaded can be saved and loaded again unchanged.
    ParameterFileTexts texts;
    ASSERT_TRUE(ParseParameterFile("a\tb\r\n" + crlf.substr(crlf.find('\n') + 1), "", texts).ok());
    EXPECT_EQ(texts.comment, "a\tb");
    std::string bytes;
    ASSERT_TRUE(FormatParameterFile(texts, bytes).ok());
    ParameterFileTexts again;
    ASSERT_TRUE(ParseParameterFile(bytes, "", again).ok());
    EXPECT_EQ(Tie(again), Tie(texts));
}

// A pipe, a device or a socket is never read as a parameter file, and a pipe nobody reads is
// not waited on when saving. The children end by an alarm should an open wait.
TEST_F(ParameterFileTest, PipesAndDevicesAreRefusedWithoutWaiting) {
    const std::string fifo = path("fifo.kvp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string refused = "\"" + fifo + "\" is a pipe, not a parameter file.";
    ParameterFileTexts texts;
    texts.comment = "unchanged";
    // With a writer and a whole file in the pipe, a reader that does not check would load it.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string file = FileOf(StartupTexts());
    ASSERT_EQ(::write(writer, file.data(), file.size()), ssize_t(file.size()));
    FileStatus status = LoadParameterFile(fifo, texts);
    ::close(writer);
    EXPECT_EQ(status.failure, FileFailure::NotRegularFile);
    EXPECT_EQ(status.message, refused);
    EXPECT_EQ(texts.comment, "unchanged");

    status = InChild([&] { return LoadParameterFile(fifo, texts); }).status;
    EXPECT_EQ(status.failure, FileFailure::NotRegularFile);
    EXPECT_EQ(status.message, refused);
    EXPECT_EQ(LoadParameterFile("/dev/null", texts).message,
              "\"/dev/null\" is a device, not a parameter file.");

    const ChildOutcome saved = InChild([&] { return SaveParameterFile(fifo, StartupTexts()); });
    EXPECT_EQ(saved.signal, 0);
    EXPECT_EQ(saved.status.errorNumber, ENXIO) << saved.status.message;
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
        {old, "caf\xC3\xA9", "2.3", FileFailure::Unencodable, EILSEQ,
         "The comment contains \"é\"," + cannot},
        {old, "ok 😀", "2.3", FileFailure::Unencodable, EILSEQ,
         "The comment contains \"😀\"," + cannot},
        {old, "a\nb", "2.3", FileFailure::Unencodable, EILSEQ,
         "The comment contains a line break," + cannot},
        {old, "a\rb", "2.3", FileFailure::Unencodable, EILSEQ,
         "The comment contains a line break," + cannot},
        {old, "a\x01", "2.3", FileFailure::Unencodable, EILSEQ,
         "The comment contains the control character 0x01," + cannot},
        {old, "ok", "2.3é", FileFailure::Unencodable, EILSEQ,
         "The Ef field contains \"é\"," + cannot},
        // What the reader would refuse as too large.
        {old, std::string(kMaxParameterFileBytes, 'x'), "2.3", FileFailure::Unencodable, EFBIG,
         "The texts make a file of " +
             std::to_string(kMaxParameterFileBytes + FileOf(StartupTexts()).size() -
                            StartupTexts().comment.size() - 3) + // "2.3" for "230000"
             " bytes; a parameter file holds at most 1 MiB (1048576 bytes)."},
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

// A save killed halfway (here by the kernel, at a file-size limit) leaves the old file and
// nothing else: the temporary file has no name until it is complete.
TEST_F(ParameterFileTest, KilledSaveLeavesNoTemporaryFile) {
    Write(path("old.kvp"), "old\r\n");
    const ChildOutcome outcome = InChild([&] {
        const rlimit small{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &small);
        return SaveParameterFile(path("old.kvp"), StartupTexts());
    });
    EXPECT_EQ(outcome.signal, SIGXFSZ) << outcome.status.message;
    EXPECT_EQ(Read(path("old.kvp")), "old\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"old.kvp"});
}

// The saves run in a child as the file's owner (nobody when the tests run as root, for whom
// permission bits do not bind).
TEST_F(ParameterFileTest, ReadOnlyFileOrDirectoryIsNotReplaced) {
    GiveToSaver(m_dir);
    Write(path("old.kvp"), "old\r\n");
    GiveToSaver(path("old.kvp"));
    fs::permissions(path("old.kvp"), fs::perms(0444));
    EXPECT_EQ(SaveAsSaver(path("old.kvp"), StartupTexts()).status.errorNumber, EACCES);
    fs::permissions(m_dir, fs::perms(0555));
    EXPECT_EQ(SaveAsSaver(path("old.kvp"), StartupTexts()).status.errorNumber, EACCES);
    const FileStatus created = SaveAsSaver(path("new.kvp"), StartupTexts()).status;
    EXPECT_EQ(created.errorNumber, EACCES);
    EXPECT_EQ(created.message, "Cannot open \"" + path("new.kvp") + "\": Permission denied");
    EXPECT_EQ(Read(path("old.kvp")), "old\r\n");
    EXPECT_EQ(entries(), std::vector<std::string>{"old.kvp"});
}

// A directory that takes no temporary file: a writable file in it is rewritten where it is,
// keeping its inode and mode; a failed write puts the old bytes back or says it could not.
TEST_F(ParameterFileTest, WritableFileInAClosedDirectoryIsRewrittenInPlace) {
    GiveToSaver(m_dir);
    const std::string file = path("old.kvp");
    const std::string refused = ". The directory refused a temporary file (Permission denied) "
                                "and writing the file in place failed; ";
    const std::string longOld(100, 'x');
    const struct {
        const char* name;
        std::string old;
        rlim_t sizeLimit; // 0: none
        std::string message;
        std::string after;
    } cases[] = {
        {"longer old file", FileOf(StartupTexts()) + std::string(1000, 'x'), 0, "",
         FileOf(StartupTexts())},
        {"write fails, old bytes put back", "old\r\n", 64,
         "Cannot write \"" + file + "\": File too large" + refused +
             "its old contents were put back.",
         "old\r\n"},
        // Putting them back stops at the limit too: the file cannot be vouched for.
        {"write fails, old bytes cannot be put back", longOld, 64,
         "Cannot write \"" + file + "\": File too large" + refused +
             "the file may now be incomplete.",
         longOld},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::permissions(m_dir, fs::perms(0755));
        Write(file, c.old);
        GiveToSaver(file);
        fs::permissions(file, fs::perms(0620));
        fs::permissions(m_dir, fs::perms(0555));
        struct stat before {};
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        const FileStatus status = InChild(
                                      [&] {
                                          if (c.sizeLimit) {
                                              std::signal(SIGXFSZ, SIG_IGN);
                                              const rlimit small{c.sizeLimit, c.sizeLimit};
                                              ::setrlimit(RLIMIT_FSIZE, &small);
                                          }
                                          return SaveParameterFile(file, StartupTexts());
                                      },
                                      true)
                                      .status;
        EXPECT_EQ(status.message, c.message);
        EXPECT_EQ(status.errorNumber, c.sizeLimit ? EFBIG : 0);
        EXPECT_EQ(Read(file), c.after);
        struct stat after {};
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & 0777, 0620u);
        EXPECT_EQ(entries(), std::vector<std::string>{"old.kvp"});
    }
}

// In a directory with the sticky bit (as /tmp) only a file's owner may replace it; another
// user who may write it gets it rewritten in place.
TEST_F(ParameterFileTest, OtherUsersWritableFileInAStickyDirectoryIsRewrittenInPlace) {
    if (!AsRoot())
        GTEST_SKIP() << "a file of another user needs root to set up";
    fs::permissions(m_dir, fs::perms(01777));
    Write(path("old.kvp"), "old\r\n");
    fs::permissions(path("old.kvp"), fs::perms(0666));
    struct stat before {};
    ASSERT_EQ(::stat(path("old.kvp").c_str(), &before), 0);
    const FileStatus status = SaveAsSaver(path("old.kvp"), StartupTexts()).status;
    EXPECT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(Read(path("old.kvp")), FileOf(StartupTexts()));
    struct stat after {};
    ASSERT_EQ(::stat(path("old.kvp").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(entries(), std::vector<std::string>{"old.kvp"});
}

} // namespace
} // namespace orvane
