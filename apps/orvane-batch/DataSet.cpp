#include "apps/orvane-batch/DataSet.h"

#include "core/files/ParameterFile.h"

namespace orvane {

FileStatus ReadEitherFile(const std::string& file, const DataSetChoices& choices, DataSet& data,
                          bool& lawAssumed) {
    if (ReadsAsDataSet(file)) {
        DataSetRead read = ReadDataSetFile(file);
        if (read.status.ok()) {
            data = std::move(read.dataSet);
            lawAssumed = false;
        }
        return read.status;
    }
    ParameterFileTexts texts;
    const FileStatus status = LoadParameterFile(file, texts);
    if (status.ok()) {
        data = DataSetFromParameterFile(
            texts, choices.law.value_or(kParameterFileLaw),
            choices.initialDsText.value_or(std::string(kParameterFileInitialDs)));
        lawAssumed = !choices.law;
    }
    return status;
}

FileStatus LoadDataSet(const std::optional<std::string>& file, const DataSetChoices& choices,
                       LoadedDataSet& loaded) {
    LoadedDataSet result;
    if (file) {
        if (FileStatus status = ReadEitherFile(*file, choices, result.data, result.lawAssumed);
            !status.ok()) {
            return status;
        }
    }
    if (choices.law) {
        result.data.law = *choices.law;
    }
    if (choices.initialDsText) {
        result.data.text(NumericField::InitialDs) = *choices.initialDsText;
    }
    if (choices.detailOutput) {
        result.data.detailOutput = *choices.detailOutput;
    }
    result.params = AnalysisParametersOf(result.data);
    loaded = std::move(result);
    return {};
}

} // namespace orvane
