#include "apps/orvane-batch/DataSet.h"

#include "core/files/ParameterFile.h"

namespace orvane {

FileStatus LoadDataSet(const std::optional<std::string>& file, const std::string& initialDsText,
                       DataSet& data) {
    if (file) {
        ParameterFileTexts loaded;
        const FileStatus status = LoadParameterFile(*file, loaded);
        if (!status.ok()) {
            return status;
        }
        data.params.comment = loaded.comment;
        data.params.detailOutput = loaded.detailOutput ? 1 : 0;
        for (int f = 0; f < kStoredFieldCount; ++f) {
            data.texts[std::size_t(f)] = loaded.fields[std::size_t(f)];
        }
    }
    data.texts[std::size_t(NumericField::InitialDs)] = initialDsText;
    return {};
}

} // namespace orvane
