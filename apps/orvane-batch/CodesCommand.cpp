#include "apps/orvane-batch/CodesCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "core/codes/DesignCodeTable.h"
#include "core/numtext/NumberText.h"
#include "core/results/ExitStatus.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace orvane {

const char* const kCodesUsage =
    "usage: orvane-batch codes [--fc VALUE] [--ft VALUE] [--factor NAME=VALUE]...\n"
    "                          [--json] [--csv FILE] [BASE.kvp]\n"
    "\n"
    "The design codes' debonding load of the pull-out joint of BASE.kvp (or the start-up set)\n"
    "beside the closed form of its own bond law: Chen & Teng (2001), fib bulletin 14 (2001),\n"
    "CNR-DT 200 R1/2013, JSCE (2001), Concrete Society TR55 and the ACI 440.2R-17 debonding\n"
    "strain (a limit calibrated on flexural members, not a joint model). Per code: P (N, the\n"
    "mean or characteristic value the code gives), Pd (N, the design value), Le (mm, the\n"
    "code's effective bond length), the clause and the factors. A row whose code excludes the\n"
    "case says why instead of giving numbers.\n"
    "  --fc VALUE           cylinder strength fc' (MPa); without it, estimated from the data\n"
    "                       set's Ec by Ec = 4700*sqrt(fc'), and the output says so\n"
    "  --ft VALUE           tensile strength (MPa); without it, 0.30*fc'^(2/3) (EN 1992-1-1)\n"
    "  --factor NAME=VALUE  a partial or model factor, once per factor: chen-teng.design,\n"
    "                       fib.alpha, fib.kc, fib.gammaC, cnr.kGm, cnr.kG, cnr.FC,\n"
    "                       cnr.gammaFd, cnr.gammaRd, jsce.Gf, jsce.gammaB, tr55.gammaMb,\n"
    "                       aci.n, aci.psiF\n"
    "  --json               the table as one JSON object on standard output\n"
    "  --csv FILE           the table as CSV (- for standard output)\n"
    "Exit status: 0 done, 1 an output could not be written, 2 bad command line or unreadable\n"
    "base file, 4 done, but a code's scope excludes the case (its row says why).\n";

namespace {

struct CodesOptions {
    std::optional<std::string> fc;
    std::optional<std::string> ft;
    DesignFactors factors;
    bool json = false;
    std::optional<std::string> csv;
    std::optional<std::string> baseFile;
    bool help = false;
};

std::string parseOptions(int argc, char** argv, CodesOptions& options) {
    enum { kFc = 1, kFt, kFactor, kJson, kCsv, kHelp };
    static const option kOptions[] = {
        {"fc", required_argument, nullptr, kFc},
        {"ft", required_argument, nullptr, kFt},
        {"factor", required_argument, nullptr, kFactor},
        {"json", no_argument, nullptr, kJson},
        {"csv", required_argument, nullptr, kCsv},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1;) {
        const std::string value = optarg ? optarg : "";
        switch (option) {
        case kFc:
            options.fc = value;
            break;
        case kFt:
            options.ft = value;
            break;
        case kFactor:
            if (const std::string problem = SetDesignFactor(options.factors, value);
                !problem.empty()) {
                return "--factor: " + problem;
            }
            break;
        case kJson:
            options.json = true;
            break;
        case kCsv:
            options.csv = value;
            break;
        case 'h':
        case kHelp:
            options.help = true;
            break;
        default:
            return optopt ? std::string("option -") + char(optopt) + " is unknown or needs a value"
                          : std::string("unknown option or missing value: ") + argv[optind - 1];
        }
    }
    if (optind < argc) {
        options.baseFile = argv[optind++];
    }
    if (optind < argc) {
        return "only one base file can be given";
    }
    if (options.json && options.csv == "-") {
        return "--json and --csv - cannot both go to standard output";
    }
    return {};
}

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

int RunCodesCommand(int argc, char** argv) {
    CodesOptions options;
    if (const std::string error = parseOptions(argc, argv, options); !error.empty()) {
        std::cerr << "orvane-batch codes: " << error << "\n\n" << kCodesUsage;
        return kExitRefused;
    }
    if (options.help) {
        std::cout << kCodesUsage;
        return kExitDone;
    }
    DataSet data;
    if (const FileStatus status = LoadDataSet(options.baseFile, "1E-07", data); !status.ok()) {
        std::cerr << "orvane-batch codes: " << status.message << "\n";
        return kExitRefused;
    }
    CopyFieldTexts(data.params, data.texts);
    if (options.csv && options.baseFile && sameFile(*options.csv, *options.baseFile)) {
        std::cerr << "orvane-batch codes: --csv " << *options.csv << " is the base file\n";
        return kExitRefused;
    }

    const FcSource fcSource = options.fc ? FcSource::Given : FcSource::EstimatedFromEc;
    if (!options.fc && !(data.params.Ec > 0)) {
        std::cerr << "orvane-batch codes: no --fc, and Ec is not positive to estimate it from\n";
        return kExitRefused;
    }
    const ConcreteInput input{
        options.fc.value_or(ShortestText(CylinderStrengthFromEc(double(data.params.Ec)))),
        options.ft.value_or(""), ""};
    ConcreteStrength concrete;
    if (const std::optional<std::string> problem = ReadConcrete(input, concrete)) {
        std::cerr << "orvane-batch codes: " << *problem << "\n";
        return kExitRefused;
    }

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
