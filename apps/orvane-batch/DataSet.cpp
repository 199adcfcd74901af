#include "apps/orvane-batch/DataSet.h"

#include "core/files/ParameterFile.h"

#include <cerrno>
#include <unistd.h>

namespace orvane {

FileStatus ReadStandardInput(std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return SystemFailure(FileFailure::CannotOpen, kStandardInputName, errno);
        }
        if (got == 0) {
            return {};
        }
        bytes.append(chunk, std::size_t(got));
        if (bytes.size() > maxBytes) {
            return {FileFailure::NotText, 0,
                    std::string(kStandardInputName) + " holds more than " +
                        std::to_string(maxBytes) + " bytes; that is not the file expected."};
        }
    }
}

FileStatus ReadEitherFile(const std::string& file, const DataSetChoices& choices, DataSet& data,
                          bool& lawAssumed) {
    std::string bytes;
    if (file == kStandardInput) {
        if (FileStatus status = ReadStandardInput(bytes, std::size_t(kMaxDataSetFileBytes));
            !status.ok()) {
            return status;
        }
    }
    if (file == kStandardInput ? LooksLikeDataSetFile(bytes) : ReadsAsDataSet(file)) {
        DataSetRead read;
        if (file == kStandardInput) {
            read.status = ParseDataSetFile(bytes, kStandardInputName, read.dataSet);
        } else {
            read = ReadDataSetFile(file);
        }
        if (read.status.ok()) {
            data = std::move(read.dataSet);
            lawAssumed = false;
        }
        return read.status;
    }
    ParameterFileTexts texts;
    const FileStatus status = file == kStandardInput
                                  ? ParseParameterFile(bytes, kStandardInputName, texts)
                                  : LoadParameterFile(file, texts);
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
