#include "apps/orvane-batch/CodesCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/LawFromConcrete.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "core/codes/DesignCodeTable.h"
#include "core/numtext/NumberText.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"

#include <iostream>
#include <optional>

namespace orvane {

int RunCodesCommand(const CodesOptions& options) {
    LoadedDataSet data;
    if (const FileStatus status = LoadDataSet(options.baseFile, {}, data); !status.ok()) {
        std::cerr << "orvane-batch codes: " << status.message << "\n";
        return kExitRefused;
    }
    if (options.csv && *options.csv != "-") {
        const std::string refusal =
            CheckSingleOutput(options.baseFile, "the base file", *options.csv, "--csv");
        if (!refusal.empty()) {
            std::cerr << "orvane-batch codes: " << refusal << "\n";
            return kExitRefused;
        }
    }

    // fc′ and ft from the command line, else from the data-set file, else fc′ from Ec.
    ConcreteInput input = ConcreteFromCommandLine(data.data.concrete, options.fc, options.ft);
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
        } else if (const FileStatus written = WriteWholeFile(*options.csv, csv); !written.ok()) {
            std::cerr << "orvane-batch codes: " << written.message << "\n";
            return kExitFailed;
        }
    }
    if (options.csv != "-" && (options.json || !options.quiet)) {
        std::cout << (options.json ? DesignCodeJson(table) : DesignCodeText(table));
    }
    if (AnyOutOfScope(table)) {
        std::cerr << "orvane-batch codes: warning: " << kOutOfScopeWarning << "\n";
        return kExitOutOfScope;
    }
    return kExitDone;
}

} // namespace orvane
