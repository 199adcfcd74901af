#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/files/FileStatus.h"

#include <optional>
#include <string>

namespace orvane {

// A data set as the parameter window holds it: the field texts and the values Execute
// copies from them, the law, the comment and the detail flag.
struct DataSet {
    AnalysisParameters params = StartupParameters();
    FieldTexts texts = StartupFieldTexts();
};

// The parameter window's data set after loading file (none: the start-up set) with
// initialDsText in the initial ds field; the values are not yet copied from the texts.
FileStatus LoadDataSet(const std::optional<std::string>& file, const std::string& initialDsText,
                       DataSet& data);

} // namespace orvane
