#pragma once

// The parameter (.kvp) file: seventeen CR LF lines of Shift-JIS text holding the
// parameter window's texts verbatim:
//   1 comment, 2-6 τmax smax su Δl lb, 7 "Y"/"N" detail output, 8-17 b tf Ef tr Er bc dc Ec Ab Eb.
// The bond model and the initial ds are not stored.

#include "core/engine/AnalysisParameters.h"
#include "core/files/FileStatus.h"

#include <array>
#include <string>
#include <string_view>

namespace orvane {

// The largest file the reader takes and the writer writes. A parameter file is a few hundred
// bytes; the reader stops here rather than swallow whatever large file it was pointed at.
constexpr int kMaxParameterFileBytes = 1 << 20;

struct ParameterFileTexts {
    std::string comment;
    bool detailOutput = false;
    // Texts of τmax … Eb, indexed by NumericField.
    std::array<std::string, kStoredFieldCount> fields;
};

// The file's bytes for the texts; fails with Unencodable, naming the character and the
// field, when a text holds a character code page 932 cannot store or a control character
// other than tab, or when the file would exceed kMaxParameterFileBytes. bytes is assigned
// only on success.
FileStatus FormatParameterFile(const ParameterFileTexts& texts, std::string& bytes);

// Reads the texts from the file's bytes: the first seventeen lines, each ended by CR LF or
// a bare LF (the last one may lack its end); later lines are ignored. Line 7 reads as set
// when it is exactly "Y" or "y". A line holding NUL or a control character other than tab
// fails with NotText, naming the line. On failure (TooFewLines, NotText, NotCp932) texts is
// unchanged.
FileStatus ParseParameterFile(std::string_view bytes, const std::string& path,
                              ParameterFileTexts& texts);

// Writes the file whole or not at all, through WriteWholeFile (core/results/OutputFile.h).
// No extension is added.
FileStatus SaveParameterFile(const std::string& path, const ParameterFileTexts& texts);

// Reads the file up to its seventeenth line end, at most kMaxParameterFileBytes; texts is
// assigned only when all seventeen lines were read. A pipe, device or socket is refused
// (NotRegularFile) without waiting for a writer.
FileStatus LoadParameterFile(const std::string& path, ParameterFileTexts& texts);

} // namespace orvane
