#include "core/results/TauSlipFileWriter.h"

#include "core/files/Cp932.h"
#include "core/numtext/NumberText.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {

namespace {

const NumberMask kStepMask("00000");
const NumberMask kScientificMask("0.000e+00");
const NumberMask kFixedMask("###0.000");

constexpr char kLineEnd[] = "\r\n";
// Longest text of one number: a fixed-point double can have 309 integer digits.
constexpr std::size_t kNumberRoom = 400;

char* append(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// A fixed separator: its length is known, so the copy compiles to a few moves.
template <std::size_t N>
char* append(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

char* appendMasked(char* out, double value, const NumberMask& mask) {
    assert(mask.maxLength() <= kNumberRoom);
    return formatMaskTo(out, value, mask);
}

// RightAlign8 of the masked text: a column eight characters wide.
char* appendColumn8(char* out, double value, const NumberMask& mask) {
    assert(mask.maxLength() <= kNumberRoom);
    return formatMaskAlign8To(out, value, mask);
}

std::string twoDigits(int value) {
    return std::string(1, char('0' + value / 10 % 10)) + char('0' + value % 10);
}

} // namespace

LocalDateTime CurrentLocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

// An output file with a buffer of its own: the element lines of a detail run are formatted
// straight into it. It knows where each step ends, so that it hands the system whole steps and
// can cut the file back to the last whole one after a failed write.
class TauSlipFileWriter::Output {
public:
    static constexpr std::size_t kCapacity = 64 * 1024;
    static constexpr std::size_t kLongestLine = 4 * kNumberRoom + 64;

    Output(int fd, std::string path, bool regular)
        : m_fd(fd), m_path(std::move(path)), m_regular(regular) {}
    ~Output() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    const std::string& path() const { return m_path; }
    int wholeStepsOnDisk() const { return m_onDisk.step; }

    // Room for one line of at most kLongestLine bytes; nullptr when a write failed (errno set).
    // A full buffer first hands out its whole steps and keeps the step begun; a step that does
    // not fit into the buffer goes out in parts.
    char* reserveLine() {
        if (m_used + kLongestLine > kCapacity) {
            const std::size_t whole = bufferedWholeSteps();
            int error = writeOut(whole);
            if (error == 0 && m_used + kLongestLine > kCapacity) {
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

    // Marks the end of the whole step `step` at the end of the buffered bytes.
    void endStep(int step) { m_stepEnds.push_back({m_written + m_used, step}); }

    // Returns 0 or the errno of the failed write.
    int flush() { return writeOut(m_used); }

    // Returns 0 or the errno of close(2).
    int closeFile() {
        const int error = ::close(m_fd) == 0 ? 0 : errno;
        m_fd = -1;
        return error;
    }

    // After a failed write: drops what is buffered and cuts the file back to its last whole
    // step, or removes it when it holds none. Returns the sentence that says what the file holds.
    std::string cutBackToWholeSteps() {
        m_used = 0;
        m_stepEnds.clear();
        const int steps = m_onDisk.step;
        const std::string held = steps == 1 ? "step 1" : "steps 1 to " + std::to_string(steps);
        if (!m_regular) {
            return steps > 0 ? " It took " + held + " whole." : " No whole step was written.";
        }
        if (steps == 0) {
            return removeFile();
        }
        if (::ftruncate(m_fd, static_cast<off_t>(m_onDisk.offset)) != 0) {
            return std::string(" The file could not be cut back to its last whole step: ") +
                   std::strerror(errno) + ".";
        }
        return " The file holds " + held + ".";
    }

private:
    struct StepEnd {
        std::uint64_t offset; // in the file
        int step;
    };

    // Bytes of the buffer that end with its last whole step.
    std::size_t bufferedWholeSteps() const {
        return m_stepEnds.empty() ? 0 : std::size_t(m_stepEnds.back().offset - m_written);
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
        while (!m_stepEnds.empty() && m_stepEnds.front().offset <= m_written) {
            m_onDisk = m_stepEnds.front();
            m_stepEnds.erase(m_stepEnds.begin());
        }
        if (done > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + done, m_used - done);
            m_used -= done;
        }
        return error;
    }

    // Removes a file without a whole step: by its name when that still is this file, else it
    // is emptied (the name is a symbolic link, or was replaced meanwhile).
    std::string removeFile() {
        struct stat opened {};
        struct stat named {};
        if (::fstat(m_fd, &opened) == 0 && ::lstat(m_path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
            ::unlink(m_path.c_str()) == 0) {
            return " The file held no whole step and has been removed.";
        }
        if (::ftruncate(m_fd, 0) == 0) {
            return " The file held no whole step and has been emptied.";
        }
        return std::string(" The file holds no whole step and could not be emptied: ") +
               std::strerror(errno) + ".";
    }

    int m_fd;
    std::string m_path;
    bool m_regular;
    std::size_t m_used = 0;
    std::uint64_t m_written = 0;     // bytes that reached the file
    StepEnd m_onDisk{0, 0};          // the last whole step that reached the file
    std::vector<StepEnd> m_stepEnds; // buffered step ends, in order; a few at most
    std::array<char, kCapacity> m_buffer;
};

namespace {

// Opens path for writing without waiting: a named pipe without a reader would block open(2),
// and one with a reader, a socket or a device would take the results somewhere no file keeps
// them. A regular file is emptied only once it is known to be one. Character devices pass, so
// that /dev/null keeps working as a sink. Returns the descriptor or -1 with status set.
int openResultFile(const std::string& path, bool& regular, FileStatus& status) {
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
        if (error == ENXIO && ::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
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

TauSlipFileWriter::TauSlipFileWriter() = default;
TauSlipFileWriter::~TauSlipFileWriter() = default;

bool TauSlipFileWriter::isOpen() const {
    return m_output != nullptr;
}

FileStatus TauSlipFileWriter::open(const std::string& path, const AnalysisParameters& params,
                                   const LocalDateTime& openedAt) {
    close();
    m_status = {};
    m_wholeSteps = 0;
    m_detail = params.detailOutput == 1;

    // The header in program text (UTF-8); one conversion to Shift-JIS before the file exists.
    std::string header =
        "τ-s relationship created by Orvane2, kvp file = " + params.chosenFilePath + ", at " +
        twoDigits(openedAt.month) + "-" + twoDigits(openedAt.day) + "-" +
        std::to_string(openedAt.year) + ", " + twoDigits(openedAt.hour) + ":" +
        twoDigits(openedAt.minute) + ":" + twoDigits(openedAt.second) + "\r\n";
    const bool softening = params.bondModel == BondModel::BilinearSoftening;
    if (softening || params.bondModel == BondModel::PerfectlyBilinear) {
        header += (softening ? "τmax =" : "τy =") + PlainNumberItem(params.tauMax) +
                  (softening ? " smax =" : " sy =") + PlainNumberItem(params.sMax) +
                  " su =" + PlainNumberItem(params.su) + " tf =" + PlainNumberItem(params.tf) +
                  " ef =" + PlainNumberItem(params.Ef) + " lb =" + PlainNumberItem(params.lb) +
                  "\r\n";
    }
    header += "τb.max =" + FormatMask(params.tauMax, "#0.000") + "MPa\r\n";
    const std::string columnHeading = "s.loaded end(mm) P.loaded end(N)   totalτ(MPa)\r\n";
    if (!m_detail) {
        header += columnHeading;
    }

    // Only the path is outside the program's own text; a character of it that Shift-JIS
    // cannot hold becomes "?", so that a folder such as "Café" does not refuse the run.
    const Cp932Replaced encodedHeader = EncodeCp932Replacing(header);
    m_headerPathReplaced = encodedHeader.replaced > 0;
    m_columnHeading = EncodeCp932(columnHeading).bytes;
    m_distributionHeading = EncodeCp932("   x(mm)      s(mm)      P(N)    τ(MPa)\r\n").bytes;

    bool regular = false;
    const int fd = openResultFile(path, regular, m_status);
    if (fd < 0) {
        return m_status;
    }
    m_output = std::make_unique<Output>(fd, path, regular);
    writeLine(encodedHeader.bytes);
    return m_status;
}

FileStatus TauSlipFileWriter::close() {
    if (!m_output) {
        return m_status;
    }
    if (m_status.ok()) {
        if (const int error = m_output->flush()) {
            writeFailed(error);
        } else {
            m_wholeSteps = m_output->wholeStepsOnDisk();
        }
    }
    if (const int error = m_output->closeFile(); error != 0 && m_status.ok()) {
        m_status = SystemFailure(FileFailure::CannotWrite, m_output->path(), error);
    }
    m_output.reset();
    return m_status;
}

// A failed write ends all writing; the file keeps its whole steps only.
void TauSlipFileWriter::writeFailed(int error) {
    m_status = SystemFailure(FileFailure::CannotWrite, m_output->path(), error);
    m_status.message += "." + m_output->cutBackToWholeSteps();
    m_wholeSteps = m_output->wholeStepsOnDisk();
}

// Writes bytes that may be longer than one buffered line (the header).
void TauSlipFileWriter::writeLine(std::string_view bytes) {
    while (!bytes.empty() && m_status.ok()) {
        char* out = m_output->reserveLine();
        if (!out) {
            writeFailed(errno);
            return;
        }
        const std::size_t chunk = std::min(bytes.size(), Output::kLongestLine);
        m_output->commit(append(out, bytes.substr(0, chunk)));
        bytes.remove_prefix(chunk);
    }
}

void TauSlipFileWriter::stepStarted(const StepStart& start) {
    if (!m_detail || !m_output || !m_status.ok()) {
        return;
    }
    std::array<char, kNumberRoom + 16> line;
    char* end = append(line.data(), "step =");
    end = appendMasked(end, start.step, kStepMask);
    end = append(end, kLineEnd);
    writeLine(std::string_view(line.data(), std::size_t(end - line.data())));
    writeLine(m_distributionHeading);
}

void TauSlipFileWriter::elementsComputed(std::span<const ElementResult> elements) {
    if (!m_output || !m_status.ok()) {
        return;
    }
    for (const ElementResult& element : elements) {
        char* out = m_output->reserveLine();
        if (!out) {
            writeFailed(errno);
            return;
        }
        out = appendColumn8(out, element.x, kFixedMask);
        out = append(out, "  ");
        out = appendMasked(out, element.s, kScientificMask);
        out = append(out, "  ");
        out = appendMasked(out, element.P, kScientificMask);
        out = append(out, "  ");
        out = appendColumn8(out, element.tau, kFixedMask);
        m_output->commit(append(out, kLineEnd));
    }
}

void TauSlipFileWriter::stepFinished(const StepResult& result) {
    if (!m_output || !m_status.ok()) {
        return;
    }
    if (m_detail) {
        writeLine(m_columnHeading);
    }
    std::array<char, 4 * kNumberRoom> line;
    char* end = append(line.data(), "   ");
    end = appendMasked(end, result.sl, kScientificMask);
    end = append(end, "       ");
    end = appendMasked(end, result.Pl, kScientificMask);
    end = append(end, "        ");
    end = appendColumn8(end, result.totalTau, kFixedMask);
    end = append(end, kLineEnd);
    writeLine(std::string_view(line.data(), std::size_t(end - line.data())));
    if (!m_status.ok()) {
        return;
    }
    m_output->endStep(result.step);
    if (!m_detail || result.step % kStepsBetweenWrites == 0) {
        if (const int error = m_output->flush()) {
            writeFailed(error);
            return;
        }
    }
    m_wholeSteps = m_output->wholeStepsOnDisk();
}

} // namespace orvane
