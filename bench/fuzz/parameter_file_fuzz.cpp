// Arbitrary bytes as a parameter file. Whatever the reader accepts must be fifteen fields of
// one-line UTF-8 text that the writer stores and the reader gives back unchanged; the load
// from disk must agree with the parse of the same bytes.

#include "files/ParameterFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <tuple>
#include <unistd.h>

// Names the broken invariant, then aborts so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant failed: %s (line %d)\n", #condition, __LINE__);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace {

using orvane::FileStatus;
using orvane::ParameterFileTexts;

// τmax … Eb: the seventeen lines less the comment and the detail-output line.
static_assert(std::tuple_size_v<decltype(ParameterFileTexts::fields)> == 15);

// Well-formed UTF-8 (RFC 3629): no overlong forms, surrogates or code points above U+10FFFF.
bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        size_t length = 1;
        unsigned low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        } else if (lead >= 0x80) {
            return false;
        }
        if (length > s.size() - i)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

bool IsOneLineText(const std::string& text) {
    return IsUtf8(text) && text.find_first_of("\r\n") == std::string::npos;
}

bool SameTexts(const ParameterFileTexts& a, const ParameterFileTexts& b) {
    return a.comment == b.comment && a.detailOutput == b.detailOutput && a.fields == b.fields;
}

// The file the real load path reads: created once per process in $TMPDIR and unlinked at
// once, so that even a crashing run leaves nothing behind; the load opens it by its /proc name.
class ScratchFile {
public:
    ScratchFile() {
        const char* directory = std::getenv("TMPDIR");
        std::string name =
            std::string(directory && *directory ? directory : "/tmp") + "/orvane-fuzz-XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        FUZZ_CHECK(m_fd >= 0 && ::unlink(name.c_str()) == 0);
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~ScratchFile() { ::close(m_fd); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return m_path; }
    // Overwrites, then cuts the old tail: cheaper than emptying the file first.
    void write(std::string_view bytes) {
        FUZZ_CHECK(::pwrite(m_fd, bytes.data(), bytes.size(), 0) ==
                   static_cast<ssize_t>(bytes.size()));
        FUZZ_CHECK(::ftruncate(m_fd, static_cast<off_t>(bytes.size())) == 0);
    }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = "fuzz.kvp";

    ParameterFileTexts untouched;
    untouched.comment = "untouched";
    ParameterFileTexts texts = untouched;
    const FileStatus status = orvane::ParseParameterFile(bytes, path, texts);

    // Half of the inputs also go through the file: reading stops after the seventeenth line
    // end, which must not change the result.
    if (size > 0 && data[0] % 2 == 0) {
        static ScratchFile scratch;
        scratch.write(bytes);
        ParameterFileTexts loaded = untouched;
        const FileStatus loadStatus = orvane::LoadParameterFile(scratch.path(), loaded);
        FUZZ_CHECK(loadStatus.failure == status.failure);
        FUZZ_CHECK(SameTexts(loaded, texts));
    }

    if (!status.ok()) {
        FUZZ_CHECK(status.failure == orvane::FileFailure::TooFewLines ||
                   status.failure == orvane::FileFailure::NotCp932);
        FUZZ_CHECK(SameTexts(texts, untouched));
        return 0;
    }

    FUZZ_CHECK(IsOneLineText(texts.comment));
    for (const std::string& field : texts.fields)
        FUZZ_CHECK(IsOneLineText(field));

    // What was read can be saved and reads back the same.
    std::string written;
    const FileStatus formatStatus = orvane::FormatParameterFile(texts, written);
    FUZZ_CHECK(formatStatus.ok());
    ParameterFileTexts reread;
    FUZZ_CHECK(orvane::ParseParameterFile(written, path, reread).ok());
    FUZZ_CHECK(SameTexts(reread, texts));
    return 0;
}
