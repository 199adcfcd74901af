#include "apps/orvane-batch/ConvertCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "core/files/ParameterFile.h"
#include "core/results/ExitStatus.h"

#include <algorithm>
#include <cctype>
#include <iostream>

namespace orvane {

namespace {

constexpr const char* kName = "orvane-batch convert: ";

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension;
}

} // namespace

int RunConvertCommand(const ConvertOptions& options) {
    const std::string& input = options.files.at(0);
    const std::string& output = options.files.at(1);
    const std::string extension = lowerExtension(output);
    const bool toDataSet = extension == kDataSetExtension;
    if (!toDataSet && extension != ".kvp") {
        std::cerr << kName << "\"" << output
                  << "\" must end in .orv (a data-set file) or .kvp (a parameter file).\n";
        return kExitRefused;
    }
    LoadedDataSet loaded;
    const FileStatus read = LoadDataSet(input, {options.model, options.initialDsText, {}}, loaded);
    if (!read.ok()) {
        std::cerr << kName << read.message << "\n";
        return kExitRefused;
    }
    if (const std::string refusal = CheckSingleOutput(input, "the input file", output, "OUT");
        !refusal.empty()) {
        std::cerr << kName << refusal << "\n";
        return kExitRefused;
    }
    const DataSet& data = loaded.data;
    if (toDataSet && loaded.lawAssumed && !options.quiet) {
        std::cerr << kName << "note: \"" << input << "\" names no bond law; \"" << output
                  << "\" holds " << BondLawName(data.law) << " (--model chooses another).\n";
    }
    const std::vector<std::string> lost =
        toDataSet ? std::vector<std::string>{} : NotKeptInParameterFile(data);
    if (!lost.empty()) {
        std::cerr << kName << "warning: a parameter file does not keep " << PhraseList(lost)
                  << "; \"" << output << "\" runs with " << BondLawName(kParameterFileLaw)
                  << " and initial ds " << kParameterFileInitialDs
                  << " unless the run names them.\n";
    }
    const FileStatus written = toDataSet ? WriteDataSetFile(output, data)
                                         : SaveParameterFile(output, ParameterFileTextsOf(data));
    if (!written.ok()) {
        std::cerr << kName << written.message << "\n";
        return kExitFailed;
    }
    return kExitDone;
}

} // namespace orvane
