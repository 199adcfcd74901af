#pragma once

// The data-set (.orv) file: one analysis whole, as TOML in UTF-8. Beside what a parameter
// (.kvp) file holds (the comment, the detail flag and the texts of τmax … Eb) it keeps the bond
// law, the initial ds and what is known of the concrete, with the unit in every key's name.
// Field values are the texts typed on the parameter window, so a data set reloads to the same
// texts and therefore to the same single-precision numbers. docs/data-set-file.md describes
// every key.

#include "core/engine/AnalysisParameters.h"
#include "core/engine/ConcreteInput.h"
#include "core/files/FileStatus.h"
#include "core/files/ParameterFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The format version written into every file; a file of a later version is refused rather
// than read in part.
inline constexpr int kDataSetFormat = 1;
// The largest file the reader takes. A data set is a few hundred bytes.
inline constexpr int kMaxDataSetFileBytes = 1 << 20;
// What a parameter file stands for when it is run without naming a law or initial ds: the
// parameter window's start-up choices, which the batch program takes as well.
inline constexpr BondModel kParameterFileLaw = BondModel::BilinearSoftening;
inline constexpr std::string_view kParameterFileInitialDs = "1E-07";

struct DataSet {
    std::string comment = std::string(kStartupComment); // UTF-8, one line
    FieldTexts texts = StartupFieldTexts();             // τmax … Eb and the initial ds, as typed
    BondModel law = BondModel::BilinearSoftening;
    bool detailOutput = false;
    ConcreteInput concrete; // empty texts: not given, and not written

    const std::string& text(NumericField field) const { return texts[std::size_t(field)]; }
    std::string& text(NumericField field) { return texts[std::size_t(field)]; }

    bool operator==(const DataSet&) const = default;
};

// The law's name in a data-set file: "bilinear-softening" or "perfectly-bilinear".
std::string_view BondLawName(BondModel law);
std::optional<BondModel> BondLawFromName(std::string_view name);

// The data set a parameter file's texts make with the law and initial ds the file cannot hold.
DataSet DataSetFromParameterFile(const ParameterFileTexts& texts, BondModel law = kParameterFileLaw,
                                 std::string_view initialDsText = kParameterFileInitialDs);
ParameterFileTexts ParameterFileTextsOf(const DataSet& data);

// What a parameter file written from data loses, one phrase each ("the bond law
// (perfectly bi-linear)"); empty when reading the parameter file back with its defaults gives
// the same run: the law and initial ds are the defaults and no concrete input is given.
std::vector<std::string> NotKeptInParameterFile(const DataSet& data);
// Phrases as a sentence lists them: "a", "a and b", "a, b and c".
std::string PhraseList(const std::vector<std::string>& phrases);

// The parameter set Execute makes of the data set: every numeric field parsed from its text,
// ds from the initial-ds text / 100, the law, the detail flag and the comment.
AnalysisParameters AnalysisParametersOf(const DataSet& data);

// The file's text for data. Fails with Unencodable, naming the key, when a text holds a line
// break or another control character but tab, or is not UTF-8; text is assigned only on
// success.
FileStatus FormatDataSetFile(const DataSet& data, std::string& text);

// Reads a data set from the file's text. Failures (NotDataSet) name path, the line and the
// key: TOML that does not parse (a duplicate key among them), a missing or unknown key, a
// value of the wrong type, an unknown law, a text with a control character, a later format.
// data is assigned only on success.
FileStatus ParseDataSetFile(std::string_view text, const std::string& path, DataSet& data);

struct DataSetRead {
    DataSet dataSet; // the file's data set when status.ok()
    FileStatus status;
};

// Reads the file, at most kMaxDataSetFileBytes; a pipe, device or socket is refused
// (NotRegularFile) without waiting for a writer.
DataSetRead ReadDataSetFile(const std::string& path);

// Writes the file whole the way a parameter file is saved: a temporary file in the same
// directory renamed into place, so a failed save leaves an existing file as it was.
FileStatus WriteDataSetFile(const std::string& path, const DataSet& data);

// Whether bytes look like a data-set file rather than a parameter file: TOML whose first
// key that is not a comment or blank line is "format". The extension decides first where
// there is one (IsDataSetPath).
bool LooksLikeDataSetFile(std::string_view bytes);
// Whether path ends in the data-set extension ".orv", in any letter case.
bool IsDataSetPath(std::string_view path);
inline constexpr std::string_view kDataSetExtension = ".orv";
// Whether the file at path is read as a data set: by its extension (.orv yes, .kvp no), else
// by its first bytes. A file that cannot be read counts as a parameter file, whose reader
// reports why.
bool ReadsAsDataSet(const std::string& path);

} // namespace orvane
