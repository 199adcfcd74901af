#include "core/results/OutputFile.h"

#include "core/files/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {
namespace {

// The most of an old file kept to be put back should an in-place rewrite fail.
constexpr size_t kMaxRestoredBytes = 64 << 20;

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
    const bool oldKept = readWhole(fd.get(), kMaxRestoredBytes, old);
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

// Opens path for a stream without waiting: a named pipe without a reader would block open(2),
// and one with a reader, a socket or a block device would take the records somewhere no file
// keeps them. A regular file is emptied only once it is known to be one. Character devices
// pass, so that /dev/null keeps working as a sink. Returns the descriptor or -1 with status set.
int openStreamFile(const std::string& path, bool& regular, FileStatus& status) {
    auto notRegular = [&](mode_t mode) {
        const char* kind = S_ISFIFO(mode)   ? "a named pipe"
                           : S_ISSOCK(mode) ? "a socket"
                           : S_ISBLK(mode)  ? "a block device"
                           : S_ISDIR(mode)  ? "a directory"
                                            : "a special file";
        status = {FileFailure::CannotOpen, 0,
                  "Cannot open \"" + path + "\": it is not a regular file but " + kind + "."};
        return -1;
    };
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        struct stat named {};
        if ((error == ENXIO || error == EISDIR) && ::stat(path.c_str(), &named) == 0 &&
            !S_ISREG(named.st_mode)) {
            return notRegular(named.st_mode);
        }
        status = SystemFailure(FileFailure::CannotOpen, path, error);
        return -1;
    }
    struct stat opened {};
    int error = ::fstat(fd, &opened) == 0 ? 0 : errno;
    if (error == 0 && !S_ISREG(opened.st_mode) && !S_ISCHR(opened.st_mode)) {
        ::close(fd);
        return notRegular(opened.st_mode);
    }
    regular = S_ISREG(opened.st_mode);
    if (error == 0 && regular && ::ftruncate(fd, 0) != 0) {
        error = errno;
    }
    const int flags = error == 0 ? ::fcntl(fd, F_GETFL) : -1;
    if (error == 0 && (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        status = SystemFailure(FileFailure::CannotOpen, path, error);
        return -1;
    }
    return fd;
}

} // namespace

FileStatus WriteWholeFile(const std::string& path, std::string_view bytes) {
    return replaceFile(path, bytes);
}

// The file behind a RecordFile with a buffer of its own, which callers may format straight
// into. It knows where each record ends, so that it hands the system whole records and can cut
// the file back to the last whole one after a failed write.
class RecordFile::Output {
public:
    Output(int fd, std::string path, bool regular, bool owned)
        : m_fd(fd), m_path(std::move(path)), m_regular(regular), m_owned(owned) {}
    ~Output() {
        if (m_owned && m_fd >= 0) {
            ::close(m_fd);
        }
    }

    std::int64_t recordsOnDisk() const { return m_onDisk.records; }

    // Room for `bytes` more; nullptr when a write failed (errno set). A full buffer first hands
    // out its whole records and keeps the one begun; a record that does not fit into the buffer
    // goes out in parts.
    char* reserve(std::size_t bytes) {
        if (m_used + bytes > kCapacity) {
            int error = writeOut(bufferedWholeRecords());
            if (error == 0 && m_used + bytes > kCapacity) {
                error = writeOut(m_used);
            }
            if (error != 0) {
                errno = error;
                return nullptr;
            }
        }
        return m_buffer.data() + m_used;
    }
    void commit(const char* end) { m_used = std::size_t(end - m_buffer.data()); }

    // Marks the end of a whole record at the end of the buffered bytes.
    void endRecord() {
        ++m_records;
        m_recordEnds.push_back({m_written + m_used, m_records});
    }

    // Returns 0 or the errno of the failed write.
    int flushWholeRecords() { return writeOut(bufferedWholeRecords()); }
    int flushAll() { return writeOut(m_used); }

    // Returns 0 or the errno of close(2); standard output stays open.
    int closeFile() {
        if (!m_owned) {
            return 0;
        }
        const int error = ::close(m_fd) == 0 ? 0 : errno;
        m_fd = -1;
        return error;
    }

    // After a failed write: drops what is buffered and cuts the file back to its last whole
    // record, or removes it when it holds none. Returns the sentence that says what it holds.
    std::string cutBackToWholeRecords(const Names& names) {
        m_used = 0;
        m_recordEnds.clear();
        const std::int64_t records = m_onDisk.records;
        const std::string held = records == 1
                                     ? std::string(names.one) + " 1"
                                     : std::string(names.many) + " 1 to " + std::to_string(records);
        if (!m_regular || !m_owned) {
            return records > 0 ? " It took " + held + " whole."
                               : " No whole " + std::string(names.one) + " was written.";
        }
        if (records == 0) {
            return removeFile(names);
        }
        if (::ftruncate(m_fd, static_cast<off_t>(m_onDisk.offset)) != 0) {
            return " The file could not be cut back to its last whole " + std::string(names.one) +
                   ": " + std::strerror(errno) + ".";
        }
        return " The file holds " + held + ".";
    }

private:
    struct RecordEnd {
        std::uint64_t offset; // in the file
        std::int64_t records;
    };

    // Bytes of the buffer that end with its last whole record.
    std::size_t bufferedWholeRecords() const {
        return m_recordEnds.empty() ? 0 : std::size_t(m_recordEnds.back().offset - m_written);
    }

    // Writes the first `count` buffered bytes and moves the rest to the front. Returns 0 or
    // the errno of the failed write; what did reach the file is counted either way.
    int writeOut(std::size_t count) {
        std::size_t done = 0;
        int error = 0;
        while (done < count) {
            const ssize_t written = ::write(m_fd, m_buffer.data() + done, count - done);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error = errno;
                break;
            }
            done += std::size_t(written);
        }
        m_written += done;
        const auto reached =
            std::find_if(m_recordEnds.begin(), m_recordEnds.end(),
                         [&](const RecordEnd& end) { return end.offset > m_written; });
        if (reached != m_recordEnds.begin()) {
            m_onDisk = *(reached - 1);
            m_recordEnds.erase(m_recordEnds.begin(), reached);
        }
        if (done > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + done, m_used - done);
            m_used -= done;
        }
        return error;
    }

    // Removes a file without a whole record: by its name when that still is this file, else it
    // is emptied (the name is a symbolic link, or was replaced meanwhile).
    std::string removeFile(const Names& names) {
        const std::string none = " The file held no whole " + std::string(names.one);
        struct stat opened {};
        struct stat named {};
        if (::fstat(m_fd, &opened) == 0 && ::lstat(m_path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
            ::unlink(m_path.c_str()) == 0) {
            return none + " and has been removed.";
        }
        if (::ftruncate(m_fd, 0) == 0) {
            return none + " and has been emptied.";
        }
        return " The file holds no whole " + std::string(names.one) +
               " and could not be emptied: " + std::strerror(errno) + ".";
    }

    int m_fd;
    std::string m_path;
    bool m_regular;
    bool m_owned;
    std::size_t m_used = 0;
    std::uint64_t m_written = 0;         // bytes that reached the file
    std::int64_t m_records = 0;          // records ended so far
    RecordEnd m_onDisk{0, 0};            // the last whole record that reached the file
    std::vector<RecordEnd> m_recordEnds; // buffered record ends, in order
    std::array<char, kCapacity> m_buffer;
};

RecordFile::RecordFile(Names names) : m_names(names) {
}

RecordFile::~RecordFile() = default;

FileStatus RecordFile::open(const std::string& path) {
    close();
    m_status = {};
    m_name = path;
    m_recordsOnDisk = 0;
    bool regular = false;
    const int fd = openStreamFile(path, regular, m_status);
    if (fd >= 0) {
        m_output = std::make_unique<Output>(fd, path, regular, true);
    }
    return m_status;
}

void RecordFile::openStandardOutput() {
    close();
    m_status = {};
    m_name = "standard output";
    m_recordsOnDisk = 0;
    m_output = std::make_unique<Output>(STDOUT_FILENO, m_name, false, false);
}

bool RecordFile::isOpen() const {
    return m_output != nullptr;
}

std::int64_t RecordFile::wholeRecords() const {
    return m_output ? m_output->recordsOnDisk() : m_recordsOnDisk;
}

char* RecordFile::reserve(std::size_t bytes) {
    if (!m_output || !m_status.ok()) {
        return nullptr;
    }
    char* room = m_output->reserve(std::min(bytes, kLongestReserve));
    if (!room) {
        writeFailed(errno);
    }
    return room;
}

void RecordFile::commit(const char* end) {
    m_output->commit(end);
}

void RecordFile::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t chunk = std::min(bytes.size(), kLongestReserve);
        char* out = reserve(chunk);
        if (!out) {
            return;
        }
        std::memcpy(out, bytes.data(), chunk);
        commit(out + chunk);
        bytes.remove_prefix(chunk);
    }
}

void RecordFile::endRecord() {
    if (m_output && m_status.ok()) {
        m_output->endRecord();
    }
}

bool RecordFile::flush() {
    if (!m_output || !m_status.ok()) {
        return m_status.ok();
    }
    if (const int error = m_output->flushWholeRecords()) {
        writeFailed(error);
    }
    return m_status.ok();
}

FileStatus RecordFile::close() {
    if (!m_output) {
        return m_status;
    }
    if (m_status.ok()) {
        if (const int error = m_output->flushAll()) {
            writeFailed(error);
        }
    }
    if (const int error = m_output->closeFile(); error != 0 && m_status.ok()) {
        m_status = SystemFailure(FileFailure::CannotWrite, m_name, error);
    }
    m_recordsOnDisk = m_output->recordsOnDisk();
    m_output.reset();
    return m_status;
}

// A failed write ends all writing; the file keeps its whole records only.
void RecordFile::writeFailed(int error) {
    m_status = SystemFailure(FileFailure::CannotWrite, m_name, error);
    m_status.message += "." + m_output->cutBackToWholeRecords(m_names);
}

// The stream buffer holds nothing itself: every character goes straight into the record
// file's buffer, and a record ends at a line break outside a quoted CSV field.
class RecordStream::Buffer : public std::streambuf {
public:
    explicit Buffer(Ends ends) : m_file({"line", "lines"}), m_ends(ends) {}
    RecordFile& file() { return m_file; }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        std::string_view rest(text, std::size_t(count));
        while (!rest.empty() && m_file.ok()) {
            const std::size_t end = recordEnd(rest);
            const bool whole = end != std::string_view::npos;
            const std::size_t length = whole ? end : rest.size();
            m_file.append(rest.substr(0, length));
            if (whole) {
                m_file.endRecord();
            }
            rest.remove_prefix(length);
        }
        return m_file.ok() ? count : 0;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    int sync() override { return m_file.flush() ? 0 : -1; }

private:
    // The length of the text up to and with the first record end; npos when the record goes on.
    std::size_t recordEnd(std::string_view text) {
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (m_ends == Ends::CsvRecord && text[k] == '"') {
                m_quoted = !m_quoted;
            } else if (text[k] == '\n' && !m_quoted) {
                return k + 1;
            }
        }
        return std::string_view::npos;
    }

    RecordFile m_file;
    Ends m_ends;
    bool m_quoted = false;
};

RecordStream::RecordStream(Ends ends)
    : std::ostream(nullptr), m_buffer(std::make_unique<Buffer>(ends)) {
    rdbuf(m_buffer.get());
}

RecordStream::~RecordStream() = default;

FileStatus RecordStream::open(const std::string& path) {
    clear();
    if (path == "-") {
        m_buffer->file().openStandardOutput();
        return {};
    }
    const FileStatus status = m_buffer->file().open(path);
    if (!status.ok()) {
        setstate(std::ios::badbit);
    }
    return status;
}

FileStatus RecordStream::close() {
    const FileStatus status = m_buffer->file().close();
    if (!status.ok()) {
        setstate(std::ios::badbit);
    }
    return status;
}

const FileStatus& RecordStream::status() const {
    return m_buffer->file().status();
}

const std::string& RecordStream::name() const {
    return m_buffer->file().name();
}

} // namespace orvane
