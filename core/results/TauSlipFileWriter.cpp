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
// Longest element line: four numbers and their separators.
constexpr std::size_t kLongestLine = 4 * kNumberRoom + 64;
static_assert(kLongestLine <= RecordFile::kLongestReserve);

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

TauSlipFileWriter::TauSlipFileWriter() : m_file({"step", "steps"}) {
}

TauSlipFileWriter::~TauSlipFileWriter() = default;

bool TauSlipFileWriter::isOpen() const {
    return m_file.isOpen();
}

const FileStatus& TauSlipFileWriter::status() const {
    return m_file.status();
}

int TauSlipFileWriter::wholeSteps() const {
    return int(m_file.wholeRecords());
}

FileStatus TauSlipFileWriter::open(const std::string& path, const AnalysisParameters& params,
                                   const LocalDateTime& openedAt) {
    close();
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

    if (m_file.open(path).ok()) {
        m_file.append(encodedHeader.bytes);
    }
    return m_file.status();
}

FileStatus TauSlipFileWriter::close() {
    return m_file.close();
}

void TauSlipFileWriter::stepStarted(const StepStart& start) {
    if (!m_detail || !m_file.ok()) {
        return;
    }
    std::array<char, kNumberRoom + 16> line;
    char* end = append(line.data(), "step =");
    end = appendMasked(end, start.step, kStepMask);
    end = append(end, kLineEnd);
    m_file.append(std::string_view(line.data(), std::size_t(end - line.data())));
    m_file.append(m_distributionHeading);
}

void TauSlipFileWriter::elementsComputed(std::span<const ElementResult> elements) {
    for (const ElementResult& element : elements) {
        char* out = m_file.reserve(kLongestLine);
        if (!out) {
            return;
        }
        out = appendColumn8(out, element.x, kFixedMask);
        out = append(out, "  ");
        out = appendMasked(out, element.s, kScientificMask);
        out = append(out, "  ");
        out = appendMasked(out, element.P, kScientificMask);
        out = append(out, "  ");
        out = appendColumn8(out, element.tau, kFixedMask);
        m_file.commit(append(out, kLineEnd));
    }
}

void TauSlipFileWriter::stepFinished(const StepResult& result) {
    if (!m_file.ok()) {
        return;
    }
    if (m_detail) {
        m_file.append(m_columnHeading);
    }
    std::array<char, 4 * kNumberRoom> line;
    char* end = append(line.data(), "   ");
    end = appendMasked(end, result.sl, kScientificMask);
    end = append(end, "       ");
    end = appendMasked(end, result.Pl, kScientificMask);
    end = append(end, "        ");
    end = appendColumn8(end, result.totalTau, kFixedMask);
    end = append(end, kLineEnd);
    m_file.append(std::string_view(line.data(), std::size_t(end - line.data())));
    m_file.endRecord();
    if (!m_detail || result.step % kStepsBetweenWrites == 0) {
        m_file.flush();
    }
}

} // namespace orvane
