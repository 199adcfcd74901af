// Arbitrary bytes as a parameter file. Whatever the reader accepts must be fifteen fields of
// one-line text that the writer stores and the reader gives back unchanged; the load
// from disk must agree with the parse of the same bytes.

#include "bench/fuzz/FuzzCheck.h"
#include "core/files/ParameterFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <tuple>
#include <unistd.h>

namespace {

using orvane::FileStatus;
using orvane::ParameterFileTexts;

// τmax … Eb: the seventeen lines less the comment and the detail-output line.
static_assert(std::tuple_size_v<decltype(ParameterFileTexts::fields)> == 15);

// Tab is the only control character a text may hold. That every text is well-formed UTF-8
// follows from the writer storing it below.
bool isOneLineText(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
}

bool sameTexts(const ParameterFileTexts& a, const ParameterFileTexts& b) {
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
        FUZZ_CHECK(sameTexts(loaded, texts));
    }

    if (!status.ok()) {
        FUZZ_CHECK(status.failure == orvane::FileFailure::TooFewLines ||
                   status.failure == orvane::FileFailure::NotText ||
                   status.failure == orvane::FileFailure::NotCp932);
        FUZZ_CHECK(sameTexts(texts, untouched));
        return 0;
    }

    FUZZ_CHECK(isOneLineText(texts.comment));
    for (const std::string& field : texts.fields)
        FUZZ_CHECK(isOneLineText(field));

    // What was read can be saved and reads back the same.
    std::string written;
    const FileStatus formatStatus = orvane::FormatParameterFile(texts, written);
    FUZZ_CHECK(formatStatus.ok());
    ParameterFileTexts reread;
    FUZZ_CHECK(orvane::ParseParameterFile(written, path, reread).ok());
    FUZZ_CHECK(sameTexts(reread, texts));
    return 0;
}
