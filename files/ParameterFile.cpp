#include "files/ParameterFile.h"

#include "files/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr int kLineCount = 17;
constexpr int kFieldsBeforeDetail = 5; // τmax … lb come before the detail-output line
// A parameter file is a few hundred bytes; the reader stops here rather than swallow
// whatever large file it was pointed at.
constexpr size_t kMaxReadBytes = size_t{1} << 20;

// Symbols as the parameter window labels them, indexed by NumericField.
constexpr std::array<std::string_view, kStoredFieldCount> kFieldSymbols = {
    "τmax", "smax", "su", "Δl", "lb", "b", "tf", "Ef", "tr", "Er", "bc", "dc", "Ec", "Ab", "Eb"};

FileStatus dataFailure(FileFailure failure, std::string message) {
    return {failure, 0, std::move(message)};
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Appends text as one CR LF line; refuses what would not come back unchanged.
FileStatus appendLine(std::string& bytes, std::string_view text, const std::string& subject) {
    // Only a line feed ends a line on reading; a carriage return inside a text, which a loaded
    // file may hold, reads back unchanged and is kept.
    if (text.find('\n') != std::string_view::npos)
        return dataFailure(FileFailure::Unencodable,
                           subject +
                               " contains a line break, which a parameter file cannot store.");
    Cp932Text encoded = EncodeCp932(text);
    if (!encoded.ok())
        return dataFailure(FileFailure::Unencodable,
                           subject + " contains \"" + encoded.unencodable +
                               "\", which a parameter file cannot store.");
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
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        // EINTR leaves nothing unwritten once the data has been synced.
        return result == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd;
};

// The temporary file a save writes first; removed unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pathTemplate) : m_path(std::move(pathTemplate)) {}
    ~TemporaryFile() {
        m_fd.close();
        if (m_created && !m_renamed)
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int create() {
        const int fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        m_fd.reset(fd);
        m_created = true;
        return 0;
    }
    int fd() const { return m_fd.get(); }
    int close() { return m_fd.close(); }
    int renameTo(const std::string& target) {
        if (::rename(m_path.c_str(), target.c_str()) != 0)
            return errno;
        m_renamed = true;
        return 0;
    }

private:
    std::string m_path;
    UniqueFd m_fd{-1};
    bool m_created = false;
    bool m_renamed = false;
};

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
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
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
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
            if (errno != ENOENT)
                return errno;
            target = {current, false, {}};
            return 0;
        }
        if (!S_ISLNK(info.st_mode)) {
            target = {current, true, info};
            return 0;
        }
        std::error_code error;
        const std::string link = std::filesystem::read_symlink(current, error).string();
        if (error)
            return error.value();
        current = !link.empty() && link.front() == '/' ? link : join(directoryOf(current), link);
    }
    return ELOOP;
}

// A device or pipe cannot be replaced by renaming, so it is written where it is.
FileStatus writeInPlace(const std::string& path, const std::string& target,
                        std::string_view bytes) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    if (int error = writeAll(fd.get(), bytes))
        return SystemFailure(FileFailure::CannotWrite, path, error);
    // EINVAL: a special file that has nothing to sync.
    if (::fsync(fd.get()) != 0 && errno != EINVAL)
        return SystemFailure(FileFailure::CannotWrite, path, errno);
    if (int error = fd.close())
        return SystemFailure(FileFailure::CannotWrite, path, error);
    return {};
}

// Writes bytes to a temporary file beside the target and renames it over the target, so a
// failure at any point leaves the old file as it was and no partial file behind.
FileStatus replaceFile(const std::string& path, std::string_view bytes) {
    SaveTarget target;
    if (path.empty())
        return SystemFailure(FileFailure::CannotOpen, path, ENOENT);
    if (int error = resolveTarget(path, target))
        return SystemFailure(FileFailure::CannotOpen, path, error);
    const std::string name = nameOf(target.path);
    if (name.empty() || (target.exists && S_ISDIR(target.info.st_mode)))
        return SystemFailure(FileFailure::CannotOpen, path, EISDIR);
    if (target.exists && !S_ISREG(target.info.st_mode))
        return writeInPlace(path, target.path, bytes);
    // A file the user may not write is not replaced behind its back.
    if (target.exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
        return SystemFailure(FileFailure::CannotOpen, path, errno);

    // The name is shortened so that the temporary name stays within NAME_MAX.
    std::string tempName = ".";
    tempName.append(name, 0, 200).append(".XXXXXX");
    TemporaryFile temp(join(directoryOf(target.path), tempName));
    if (int error = temp.create())
        return SystemFailure(FileFailure::CannotOpen, path, error);
    mode_t mode = 0666 & ~currentUmask();
    if (target.exists) {
        mode = target.info.st_mode & 0777;
        // Keep the owner where the system allows it; a user who may not is no failure.
        [[maybe_unused]] int ignored = ::fchown(temp.fd(), target.info.st_uid, target.info.st_gid);
    }
    if (::fchmod(temp.fd(), mode) != 0)
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    if (int error = writeAll(temp.fd(), bytes))
        return SystemFailure(FileFailure::CannotWrite, path, error);
    if (::fsync(temp.fd()) != 0)
        return SystemFailure(FileFailure::CannotWrite, path, errno);
    if (int error = temp.close())
        return SystemFailure(FileFailure::CannotWrite, path, error);
    if (int error = temp.renameTo(target.path))
        return SystemFailure(FileFailure::CannotWrite, path, error);

    // Make the rename itself durable; the new file is already in place if this fails.
    UniqueFd directory(
        ::open(directoryOf(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get());
    return {};
}

} // namespace

FileStatus FormatParameterFile(const ParameterFileTexts& texts, std::string& bytes) {
    std::string file;
    if (FileStatus status = appendLine(file, texts.comment, "The comment"); !status.ok())
        return status;
    for (int field = 0; field < kStoredFieldCount; ++field) {
        if (field == kFieldsBeforeDetail)
            file += texts.detailOutput ? "Y\r\n" : "N\r\n";
        if (FileStatus status = appendField(file, texts, field); !status.ok())
            return status;
    }
    bytes = std::move(file);
    return {};
}

FileStatus ParseParameterFile(std::string_view bytes, const std::string& path,
                              ParameterFileTexts& texts) {
    // Only LF ends a line; one CR before it belongs to the line end. A CR anywhere else is
    // part of the text.
    std::array<std::string_view, kLineCount> lines;
    int count = 0;
    for (size_t pos = 0; count < kLineCount && pos < bytes.size(); ++count) {
        const size_t end = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines[count] = line;
        pos = end + 1;
    }
    if (count == 0)
        return dataFailure(FileFailure::TooFewLines,
                           quoted(path) + " is empty; a parameter file has 17 lines.");
    if (count < kLineCount)
        return dataFailure(FileFailure::TooFewLines,
                           quoted(path) + " has only " + std::to_string(count) +
                               (count == 1 ? " line" : " lines") + "; a parameter file has 17.");

    std::array<std::string, kLineCount> decoded;
    for (int line = 0; line < kLineCount; ++line) {
        std::optional<std::string> text = DecodeCp932(lines[line]);
        if (!text)
            return dataFailure(FileFailure::NotCp932, "Line " + std::to_string(line + 1) + " of " +
                                                          quoted(path) + " is not Shift-JIS text.");
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
    if (FileStatus status = FormatParameterFile(texts, bytes); !status.ok())
        return status;
    return replaceFile(path, bytes);
}

FileStatus ReplaceFileBytes(const std::string& path, std::string_view bytes) {
    return replaceFile(path, bytes);
}

FileStatus LoadParameterFile(const std::string& path, ParameterFileTexts& texts) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return SystemFailure(FileFailure::CannotOpen, path, errno);
    // Read until the seventeenth line end; what follows is never needed.
    std::string bytes;
    int lineEnds = 0;
    while (lineEnds < kLineCount) {
        if (bytes.size() >= kMaxReadBytes)
            return dataFailure(FileFailure::TooFewLines,
                               quoted(path) +
                                   " is not a parameter file: its first 17 lines exceed 1 MiB.");
        char chunk[4096];
        const ssize_t got =
            ::read(fd.get(), chunk, std::min(sizeof chunk, kMaxReadBytes - bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return SystemFailure(FileFailure::CannotOpen, path, errno);
        if (got == 0)
            break;
        lineEnds += static_cast<int>(std::count(chunk, chunk + got, '\n'));
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return ParseParameterFile(bytes, path, texts);
}

} // namespace orvane
