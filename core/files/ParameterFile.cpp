#include "core/files/ParameterFile.h"

#include "core/files/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr int kLineCount = 17;
constexpr int kFieldsBeforeDetail = 5; // τmax … lb come before the detail-output line
constexpr size_t kMaxBytes = kMaxParameterFileBytes;

// Symbols as the parameter window labels them, indexed by NumericField.
constexpr std::array<std::string_view, kStoredFieldCount> kFieldSymbols = {
    "τmax", "smax", "su", "Δl", "lb", "b", "tf", "Ef", "tr", "Er", "bc", "dc", "Ec", "Ab", "Eb"};

FileStatus dataFailure(FileFailure failure, std::string message) {
    return {failure, 0, std::move(message)};
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// NUL and the C0 controls but tab: a text box shows them as nothing or a blank, so a field
// would look other than it reads.
bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t';
}

std::string hexByte(char c) {
    char shown[5];
    std::snprintf(shown, sizeof shown, "0x%02X", static_cast<unsigned char>(c));
    return shown;
}

FileStatus unstorable(const std::string& subject, const std::string& what) {
    return {FileFailure::Unencodable, EILSEQ,
            subject + " contains " + what + ", which a parameter file cannot store."};
}

// Appends text as one CR LF line; refuses what would not come back unchanged, so that the
// reader takes whatever the writer wrote.
FileStatus appendLine(std::string& bytes, std::string_view text, const std::string& subject) {
    const auto control = std::find_if(text.begin(), text.end(), isControl);
    if (control != text.end()) {
        return unstorable(subject, *control == '\n' || *control == '\r'
                                       ? std::string("a line break")
                                       : "the control character " + hexByte(*control));
    }
    Cp932Text encoded = EncodeCp932(text);
    if (!encoded.ok()) {
        return unstorable(subject, "\"" + encoded.unencodable + "\"");
    }
    bytes += encoded.bytes;
    bytes += "\r\n";
    return {};
}

FileStatus appendField(std::string& bytes, const ParameterFileTexts& texts, int field) {
    return appendLine(bytes, texts.fields[field],
                      "The " + std::string(kFieldSymbols[field]) + " field");
}

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    void reset(int fd) {
        close();
        m_fd = fd;
    }
    // 0, or the errno of a failed close. On Linux the descriptor is gone even then.
    int close() {
        if (m_fd < 0) {
            return 0;
        }
        const int result = ::close(m_fd);
        m_fd = -1;
        // EINTR leaves nothing unwritten once the data has been synced.
        return result == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string join(const std::string& directory, const std::string& name) {
    return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// umask can only be read by setting it; /proc reports it without that (Linux 4.7 on).
// The fallback sets and restores it, which is safe in this single-threaded program.
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// What a save replaces: path with the symbolic links of its last component followed, so
// that saving through a link rewrites the file it points to and the link stays.
struct SaveTarget {
    std::string path;
    bool exists = false;
    struct stat info {};
};

int resolveTarget(const std::string& path, SaveTarget& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                return errno;
            }
            target = {current, false, {}};
            return 0;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = {current, true, info};
            return 0;
        }
        std::error_code error;
        const std::string link = std::filesystem::read_symlink(current, error).string();
        if (error) {
            return error.value();
        }
        current = !link.empty() && link.front() == '/' ? link : join(directoryOf(current), link);
    }
    return ELOOP;
}

// The file a save writes before it takes the target's place. Where the file system offers it
// (O_TMPFILE), the file has no name until it is complete, so a save killed on the way leaves
// nothing behind; elsewhere it is a hidden file beside the target, removed on failure.
class TemporaryFile {
public:
    TemporaryFile(std::string directory, const std::string& targetName)
        : m_directory(std::move(directory)),
          // The name is shortened so that the temporary name stays within NAME_MAX.
          m_prefix("." + targetName.substr(0, 200) + ".") {}
    ~TemporaryFile() {
        m_fd.close();
        if (!m_name.empty() && !m_placed) {
            ::unlink(m_name.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // 0, or the errno of the failure to create a file in the directory.
    int create() {
        const int fd = ::open(m_directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd.reset(fd);
            return 0;
        }
        // EISDIR: a kernel older than O_TMPFILE; EOPNOTSUPP, EINVAL: a file system without it.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;
        }
        std::string name = join(m_directory, m_prefix + "XXXXXX");
        const int named = ::mkostemp(name.data(), O_CLOEXEC);
        if (named < 0) {
            return errno;
        }
        m_fd.reset(named);
        m_name = std::move(name);
        return 0;
    }
    int fd() const { return m_fd.get(); }

    // Puts the written and synced file in the target's place. An unnamed file becomes the
    // target directly where that does not exist; a link cannot replace a name, so otherwise
    // it is linked under a hidden name and renamed over the target at once. A kill between
    // those two calls is the one moment that leaves a hidden file behind.
    int placeAt(const std::string& target) {
        if (m_name.empty()) {
            if (linkAs(target) == 0) {
                m_placed = true;
                m_fd.close(); // the data is synced: a late close error loses nothing
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
            if (int error = linkUnderFreeName()) {
                return error;
            }
        }
        if (int error = m_fd.close()) {
            return error;
        }
        if (::rename(m_name.c_str(), target.c_str()) != 0) {
            return errno;
        }
        m_placed = true;
        return 0;
    }

private:
    // Gives the unnamed file a name: through /proc, which any user may, else by the
    // descriptor itself, which needs CAP_DAC_READ_SEARCH. 0, or -1 with errno set.
    int linkAs(const std::string& name) const {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        if (errno != ENOENT) {
            return -1;
        }
        return ::linkat(m_fd.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
    }

    int linkUnderFreeName() {
        constexpr std::string_view kLetters =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device random;
        std::uniform_int_distribution<size_t> pick(0, kLetters.size() - 1);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = join(m_directory, m_prefix);
            for (int k = 0; k < 6; ++k) {
                name += kLetters[pick(random)];
            }
            if (linkAs(name) == 0) {
                m_name = std::move(name);
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }

    std::string m_directory;
    std::string m_prefix;
    std::string m_name; // empty while the file has no name
    UniqueFd m_fd{-1};
    bool m_placed = false;
};

// A device or pipe cannot be replaced by renaming, so it is written where it is. A pipe that
// nobody reads is refused at once (ENXIO) instead of being waited on.
FileStatus writeToDevice(const std::string& path, const std::string& target,
                         std::string_view bytes) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    }
    // Once open, the writes wait for a slow device as usual.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (int error = writeAll(fd.get(), bytes)) {
        return SystemFailure(FileFailure::CannotWrite, path, error);
    }
    // EINVAL: a special file that has nothing to sync.
    if (::fsync(fd.get()) != 0 && errno != EINVAL) {
        return SystemFailure(FileFailure::CannotWrite, path, errno);
    }
    if (int error = fd.close()) {
        return SystemFailure(FileFailure::CannotWrite, path, error);
    }
    return {};
}

// The whole file from its start into bytes; false when it cannot be read or holds more than
// limit bytes.
bool readWhole(int fd, size_t limit, std::string& bytes) {
    bytes.clear();
    char chunk[4096];
    while (bytes.size() <= limit) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(bytes.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return false;
}

// Makes the file hold bytes and nothing else, synced; 0 or the errno of the first failure.
int rewrite(int fd, std::string_view bytes) {
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        return errno;
    }
    if (int error = writeAll(fd, bytes)) {
        return error;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        return errno;
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

// A directory that takes no new file, or lets no other user's file be replaced (the sticky
// bit), need not keep a writable file in it from being saved: the file is rewritten where it
// is. Its space is reserved first, so that a full disk changes nothing; should a write fail
// even so, the old bytes are put back, and the message says whether that worked. Only a kill
// halfway can leave a torn file unreported.
FileStatus overwriteInPlace(const std::string& path, const std::string& target,
                            std::string_view bytes, const char* refusal, int directoryError) {
    auto failure = [&](FileFailure kind, int error, const char* outcome) {
        FileStatus status = SystemFailure(kind, path, error);
        status.message += ". The directory refused " + std::string(refusal) + " (" +
                          std::strerror(directoryError) +
                          ") and writing the file in place failed; " + outcome;
        return status;
    };
    constexpr int kFlags = O_CLOEXEC | O_NOCTTY;
    UniqueFd fd(::open(target.c_str(), O_RDWR | kFlags));
    if (fd.get() < 0 && errno == EACCES) { // a file the user may write but not read
        fd.reset(::open(target.c_str(), O_WRONLY | kFlags));
    }
    if (fd.get() < 0) {
        return failure(FileFailure::CannotOpen, errno, "the file is unchanged.");
    }
    std::string old;
    const bool oldKept = readWhole(fd.get(), kMaxBytes, old);
    if (::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        return failure(FileFailure::CannotWrite, errno, "the file is unchanged.");
    }
    if (int error = rewrite(fd.get(), bytes)) {
        const bool restored = oldKept && rewrite(fd.get(), old) == 0;
        return failure(FileFailure::CannotWrite, error,
                       restored ? "its old contents were put back."
                                : "the file may now be incomplete.");
    }
    fd.close(); // the data is synced: a late close error loses nothing
    return {};
}

// Writes bytes to a temporary file beside the target and puts it in the target's place, so
// a failure at any point leaves the old file as it was and no partial file behind.
FileStatus replaceFile(const std::string& path, std::string_view bytes) {
    SaveTarget target;
    if (path.empty()) {
        return SystemFailure(FileFailure::CannotOpen, path, ENOENT);
    }
    if (int error = resolveTarget(path, target)) {
        return SystemFailure(FileFailure::CannotOpen, path, error);
    }
    const std::string name = nameOf(target.path);
    if (name.empty() || (target.exists && S_ISDIR(target.info.st_mode))) {
        return SystemFailure(FileFailure::CannotOpen, path, EISDIR);
    }
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        return writeToDevice(path, target.path, bytes);
    }
    // A file the user may not write is not replaced behind its back.
    if (target.exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    }

    TemporaryFile temp(directoryOf(target.path), name);
    if (int error = temp.create()) {
        if (target.exists && (error == EACCES || error == EPERM)) {
            return overwriteInPlace(path, target.path, bytes, "a temporary file", error);
        }
        return SystemFailure(FileFailure::CannotOpen, path, error);
    }
    mode_t mode = 0666 & ~currentUmask();
    if (target.exists) {
        mode = target.info.st_mode & 0777;
        // Keep the owner where the system allows it; a user who may not is no failure.
        [[maybe_unused]] int ignored = ::fchown(temp.fd(), target.info.st_uid, target.info.st_gid);
    }
    if (::fchmod(temp.fd(), mode) != 0) {
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    }
    if (int error = writeAll(temp.fd(), bytes)) {
        return SystemFailure(FileFailure::CannotWrite, path, error);
    }
    if (::fsync(temp.fd()) != 0) {
        return SystemFailure(FileFailure::CannotWrite, path, errno);
    }
    if (int error = temp.placeAt(target.path)) {
        if (target.exists && (error == EACCES || error == EPERM)) {
            return overwriteInPlace(path, target.path, bytes, "to replace the file", error);
        }
        return SystemFailure(FileFailure::CannotWrite, path, error);
    }

    // Make the new name itself durable; the new file is already in place if this fails.
    UniqueFd directory(
        ::open(directoryOf(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
    return {};
}

} // namespace

FileStatus FormatParameterFile(const ParameterFileTexts& texts, std::string& bytes) {
    std::string file;
    if (FileStatus status = appendLine(file, texts.comment, "The comment"); !status.ok()) {
        return status;
    }
    for (int field = 0; field < kStoredFieldCount; ++field) {
        if (field == kFieldsBeforeDetail) {
            file += texts.detailOutput ? "Y\r\n" : "N\r\n";
        }
        if (FileStatus status = appendField(file, texts, field); !status.ok()) {
            return status;
        }
    }
    // What the reader would refuse is not written.
    if (file.size() > kMaxBytes) {
        return {FileFailure::Unencodable, EFBIG,
                "The texts make a file of " + std::to_string(file.size()) +
                    " bytes; a parameter file holds at most 1 MiB (" + std::to_string(kMaxBytes) +
                    " bytes)."};
    }
    bytes = std::move(file);
    return {};
}

FileStatus ParseParameterFile(std::string_view bytes, const std::string& path,
                              ParameterFileTexts& texts) {
    // Only LF ends a line; one CR before it belongs to the line end.
    std::array<std::string_view, kLineCount> lines;
    int count = 0;
    for (size_t pos = 0; count < kLineCount && pos < bytes.size(); ++count) {
        const size_t end = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines[count] = line;
        pos = end + 1;
    }
    if (count == 0) {
        return dataFailure(FileFailure::TooFewLines,
                           quoted(path) + " is empty; a parameter file has 17 lines.");
    }
    if (count < kLineCount) {
        return dataFailure(FileFailure::TooFewLines,
                           quoted(path) + " has only " + std::to_string(count) +
                               (count == 1 ? " line" : " lines") + "; a parameter file has 17.");
    }

    std::array<std::string, kLineCount> decoded;
    for (int line = 0; line < kLineCount; ++line) {
        const std::string where = "Line " + std::to_string(line + 1) + " of " + quoted(path);
        // A control byte is never part of a two-byte Shift-JIS character.
        const auto control = std::find_if(lines[line].begin(), lines[line].end(), isControl);
        if (control != lines[line].end()) {
            return dataFailure(FileFailure::NotText, where + " contains the control character " +
                                                         hexByte(*control) +
                                                         "; a parameter file holds text only.");
        }
        std::optional<std::string> text = DecodeCp932(lines[line]);
        if (!text) {
            return dataFailure(FileFailure::NotCp932, where + " is not Shift-JIS text.");
        }
        decoded[line] = std::move(*text);
    }

    ParameterFileTexts result;
    result.comment = std::move(decoded[0]);
    const std::string& detail = decoded[1 + kFieldsBeforeDetail];
    result.detailOutput = detail == "Y" || detail == "y";
    for (int field = 0; field < kStoredFieldCount; ++field) {
        const int line = field < kFieldsBeforeDetail ? 1 + field : 2 + field;
        result.fields[field] = std::move(decoded[line]);
    }
    texts = std::move(result);
    return {};
}

FileStatus SaveParameterFile(const std::string& path, const ParameterFileTexts& texts) {
    std::string bytes;
    if (FileStatus status = FormatParameterFile(texts, bytes); !status.ok()) {
        return status;
    }
    return replaceFile(path, bytes);
}

FileStatus ReplaceFileBytes(const std::string& path, std::string_view bytes) {
    return replaceFile(path, bytes);
}

FileStatus LoadParameterFile(const std::string& path, ParameterFileTexts& texts) {
    // Opened without waiting, so that a pipe without a writer cannot hang the reader.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return SystemFailure(FileFailure::CannotOpen, path, EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        const char* kind = S_ISFIFO(info.st_mode)   ? "a pipe"
                           : S_ISSOCK(info.st_mode) ? "a socket"
                                                    : "a device";
        return dataFailure(FileFailure::NotRegularFile,
                           quoted(path) + " is " + kind + ", not a parameter file.");
    }
    // Read until the seventeenth line end; what follows is never needed.
    std::string bytes;
    int lineEnds = 0;
    while (lineEnds < kLineCount) {
        if (bytes.size() >= kMaxBytes) {
            return dataFailure(FileFailure::TooFewLines,
                               quoted(path) +
                                   " is not a parameter file: its first 17 lines exceed 1 MiB.");
        }
        char chunk[4096];
        const ssize_t got =
            ::read(fd.get(), chunk, std::min(sizeof chunk, kMaxBytes - bytes.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return SystemFailure(FileFailure::CannotOpen, path, errno);
        }
        if (got == 0) {
            break;
        }
        lineEnds += static_cast<int>(std::count(chunk, chunk + got, '\n'));
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return ParseParameterFile(bytes, path, texts);
}

} // namespace orvane
