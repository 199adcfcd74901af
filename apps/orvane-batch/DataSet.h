#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/files/DataSetFile.h"
#include "core/files/FileStatus.h"

#include <optional>
#include <string>

namespace orvane {

// What the command line chooses over the file: each given one replaces the file's.
struct DataSetChoices {
    std::optional<BondModel> law;
    std::optional<std::string> initialDsText;
    std::optional<bool> detailOutput;
};

// The data set a run, study or fit starts from, as the parameter window holds it after
// loading the file and Execute.
struct LoadedDataSet {
    DataSet data;              // the file's, with the command line's choices
    AnalysisParameters params; // Execute's copy of data
    // Neither the file nor the command line named the law: a parameter file holds none, so
    // bi-linear softening was taken, as the parameter window starts with it.
    bool lawAssumed = false;
};

// "-" for a file to read names standard input, as in other Unix tools: `orvane-batch - < a.kvp`.
inline constexpr char kStandardInput[] = "-";
// How messages name it.
inline constexpr char kStandardInputName[] = "standard input";

// The whole of standard input, up to maxBytes; a larger input is refused, not cut.
FileStatus ReadStandardInput(std::string& bytes, std::size_t maxBytes);

// Loads file, a data-set file (.orv, or by its contents) or a parameter file (none: the
// start-up set), and applies the choices.
FileStatus LoadDataSet(const std::optional<std::string>& file, const DataSetChoices& choices,
                       LoadedDataSet& loaded);

// The file's data set alone: a data-set file as it stands, a parameter file with the law and
// initial ds the command line chose or their defaults (lawAssumed then tells). From standard
// input ("-") the form is told by the contents.
FileStatus ReadEitherFile(const std::string& file, const DataSetChoices& choices, DataSet& data,
                          bool& lawAssumed);

} // namespace orvane
