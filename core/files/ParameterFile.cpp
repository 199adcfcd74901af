#include "core/files/ParameterFile.h"

#include "core/files/Cp932.h"
#include "core/files/UniqueFd.h"
#include "core/results/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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
    return WriteWholeFile(path, bytes);
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
