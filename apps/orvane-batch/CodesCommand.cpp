#include "apps/orvane-batch/CodesCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "core/codes/DesignCodeTable.h"
#include "core/numtext/NumberText.h"
#include "core/results/ExitStatus.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace orvane {

namespace {

// Writes text to path whole or not at all: a temporary file beside it, renamed over it.
std::string writeWhole(const std::string& path, const std::string& text) {
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return "cannot write " + path;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return "cannot write " + path + ": " + error.message();
    }
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

} // namespace

int RunCodesCommand(const CodesOptions& options) {
    LoadedDataSet data;
    if (const FileStatus status = LoadDataSet(options.baseFile, {}, data); !status.ok()) {
        std::cerr << "orvane-batch codes: " << status.message << "\n";
        return kExitRefused;
    }
    if (options.csv && options.baseFile && sameFile(*options.csv, *options.baseFile)) {
        std::cerr << "orvane-batch codes: --csv " << *options.csv << " is the base file\n";
        return kExitRefused;
    }

    // fc′ and ft from the command line, else from the data-set file, else fc′ from Ec.
    ConcreteInput input = data.data.concrete;
    if (options.fc) {
        input.fcText = *options.fc;
        input.ftText = options.ft.value_or("");
    } else if (options.ft) {
        input.ftText = *options.ft;
    }
    const bool estimated = input.fcText.find_first_not_of(' ') == std::string::npos;
    if (estimated) {
        if (!(data.params.Ec > 0)) {
            std::cerr << "orvane-batch codes: no --fc, and Ec is not positive to estimate it "
                         "from\n";
            return kExitRefused;
        }
        input.fcText = ShortestText(CylinderStrengthFromEc(double(data.params.Ec)));
    }
    ConcreteStrength concrete;
    if (const std::optional<std::string> problem = ReadConcrete(input, concrete)) {
        std::cerr << "orvane-batch codes: " << *problem << "\n";
        return kExitRefused;
    }
    const FcSource fcSource = estimated ? FcSource::EstimatedFromEc : FcSource::Given;

    const DesignCodeTable table =
        MakeDesignCodeTable(data.params, concrete, fcSource, options.factors);
    if (options.csv) {
        const std::string csv = DesignCodeCsv(table);
        if (*options.csv == "-") {
            std::cout << csv;
        } else if (const std::string error = writeWhole(*options.csv, csv); !error.empty()) {
            std::cerr << "orvane-batch codes: " << error << "\n";
            return kExitFailed;
        }
    }
    if (options.csv != "-") {
        std::cout << (options.json ? DesignCodeJson(table) : DesignCodeText(table));
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "orvane-batch codes: cannot write standard output\n";
        return kExitFailed;
    }
    if (AnyOutOfScope(table)) {
        std::cerr << "orvane-batch codes: a code's scope excludes this case; its row says why\n";
        return kExitOutOfScope;
    }
    return kExitDone;
}

} // namespace orvane
