#include "output/TauSlipFileWriter.h"

#include "files/Cp932.h"
#include "numtext/NumberText.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

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
// straight into it, and the system sees one write per 64 KiB.
class TauSlipFileWriter::Output {
public:
    static constexpr std::size_t kCapacity = 64 * 1024;
    static constexpr std::size_t kLongestLine = 4 * kNumberRoom + 64;

    Output(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~Output() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    const std::string& path() const { return m_path; }

    // Room for one line of at most kLongestLine bytes; 0 when a flush failed (errno set).
    char* reserveLine() {
        if (m_used + kLongestLine > kCapacity && flush() != 0) {
            return nullptr;
        }
        return m_buffer.data() + m_used;
    }
    void commit(const char* end) { m_used = std::size_t(end - m_buffer.data()); }

    // Returns 0 or the errno of the failed write.
    int flush() {
        std::size_t done = 0;
        while (done < m_used) {
            const ssize_t written = ::write(m_fd, m_buffer.data() + done, m_used - done);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                const int error = errno;
                m_used = 0;
                return error;
            }
            done += std::size_t(written);
        }
        m_used = 0;
        return 0;
    }

    int close() {
        int error = flush();
        if (::close(m_fd) != 0 && error == 0) {
            error = errno;
        }
        m_fd = -1;
        return error;
    }

private:
    int m_fd;
    std::string m_path;
    std::size_t m_used = 0;
    std::array<char, kCapacity> m_buffer;
};

TauSlipFileWriter::TauSlipFileWriter() = default;
TauSlipFileWriter::~TauSlipFileWriter() = default;

bool TauSlipFileWriter::isOpen() const {
    return m_output != nullptr;
}

FileStatus TauSlipFileWriter::open(const std::string& path, const AnalysisParameters& params,
                                   const LocalDateTime& openedAt) {
    close();
    m_status = {};
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

    const Cp932Text encodedHeader = EncodeCp932(header);
    if (!encodedHeader.ok()) {
        m_status = {FileFailure::Unencodable, 0,
                    "Cannot write \"" + path + "\": the parameter file name contains \"" +
                        encodedHeader.unencodable +
                        "\", which the Shift-JIS result file cannot hold."};
        return m_status;
    }
    m_columnHeading = EncodeCp932(columnHeading).bytes;
    m_distributionHeading = EncodeCp932("   x(mm)      s(mm)      P(N)    τ(MPa)\r\n").bytes;

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        m_status = SystemFailure(FileFailure::CannotOpen, path, errno);
        return m_status;
    }
    m_output = std::make_unique<Output>(fd, path);
    writeLine(encodedHeader.bytes);
    return m_status;
}

FileStatus TauSlipFileWriter::close() {
    if (!m_output) {
        return m_status;
    }
    const int error = m_output->close();
    if (error != 0 && m_status.ok()) {
        m_status = SystemFailure(FileFailure::CannotWrite, m_output->path(), error);
    }
    m_output.reset();
    return m_status;
}

// Writes bytes that may be longer than one buffered line (the header).
void TauSlipFileWriter::writeLine(std::string_view bytes) {
    while (!bytes.empty() && m_status.ok()) {
        char* out = m_output->reserveLine();
        if (!out) {
            m_status = SystemFailure(FileFailure::CannotWrite, m_output->path(), errno);
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
            m_status = SystemFailure(FileFailure::CannotWrite, m_output->path(), errno);
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
}

} // namespace orvane
