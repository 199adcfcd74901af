#pragma once

// The parameter (.kvp) file: seventeen CR LF lines of Shift-JIS text holding the
// parameter window's texts verbatim:
//   1 comment, 2-6 τmax smax su Δl lb, 7 "Y"/"N" detail output, 8-17 b tf Ef tr Er bc dc Ec Ab Eb.
// The bond model and the initial ds are not stored.

#include "engine/AnalysisParameters.h"
#include "files/FileStatus.h"

#include <array>
#include <string>
#include <string_view>

namespace orvane {

struct ParameterFileTexts {
    std::string comment;
    bool detailOutput = false;
    // Texts of τmax … Eb, indexed by NumericField.
    std::array<std::string, kStoredFieldCount> fields;
};

// The file's bytes for the texts; fails with Unencodable, naming the character and the
// field, when a text holds a character code page 932 cannot store or a line break. bytes is
// assigned only on success.
FileStatus FormatParameterFile(const ParameterFileTexts& texts, std::string& bytes);

// Reads the texts from the file's bytes: the first seventeen lines, each ended by CR LF or
// a bare LF (the last one may lack its end); later lines are ignored. Line 7 reads as set
// when it is exactly "Y" or "y". On failure (TooFewLines, NotCp932) texts is unchanged.
FileStatus ParseParameterFile(std::string_view bytes, const std::string& path,
                              ParameterFileTexts& texts);

// Writes the file through a temporary file in the same directory, renamed over path, so
// that a failed save leaves an existing file as it was. No extension is added. A symbolic
// link is followed and stays a link; an existing file keeps its permission bits, and one
// the user may not write is not replaced; a device or pipe is written in place.
FileStatus SaveParameterFile(const std::string& path, const ParameterFileTexts& texts);

// Writes any file whole the way SaveParameterFile writes a parameter file: bytes go to a
// temporary file renamed over path, so a failure leaves no half-written file.
FileStatus ReplaceFileBytes(const std::string& path, std::string_view bytes);

// Reads the file up to its seventeenth line end, at most 1 MiB; texts is assigned only
// when all seventeen lines were read.
FileStatus LoadParameterFile(const std::string& path, ParameterFileTexts& texts);

} // namespace orvane
