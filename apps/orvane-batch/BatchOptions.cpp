#include "apps/orvane-batch/BatchOptions.h"

#include "core/results/RunFigure.h"

#include <getopt.h>
#include <iterator>

namespace orvane {

const char* const kBatchUsage =
    "usage: orvane-batch [-m softening|bilinear] [--initial-ds TEXT] [-d | --no-detail]\n"
    "                    [-o PATH|-] [--json] [--csv FILE|-] [--csv-distribution FILE|-]\n"
    "                    [--figure FILE.svg|.pdf|.png] [-f] [FILE.kvp]\n"
    "       orvane-batch study --help\n"
    "       orvane-batch fit --help\n"
    "       orvane-batch --help | --version\n"
    "\n"
    "Runs the pull-out analysis of FILE.kvp (or of the start-up data set) and writes its\n"
    "t-s result file.\n"
    "  -m, --model        bond-slip law: softening (bi-linear softening, the default) or\n"
    "                     bilinear (perfectly bi-linear)\n"
    "      --initial-ds   text of the initial ds field (default 1E-07); the run starts from\n"
    "                     its number / 100\n"
    "  -d, --detail, --no-detail\n"
    "                     write, or leave out, the distribution of every step\n"
    "  -o, --output       result file (default: the parameter file's name with .t-s, or\n"
    "                     default.t-s); - writes it to standard output and the summary to\n"
    "                     standard error\n"
    "      --json         print the summary as one JSON object; its \"end\" is bond-failure\n"
    "                     (the average bond stress fell below a thousandth of its peak),\n"
    "                     step-limit (no bond failure within the step limit), stopped,\n"
    "                     non-finite (a value left the number range) or write-failed\n"
    "      --csv          write one row per step (step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax)\n"
    "                     to FILE, or to standard output for -\n"
    "      --csv-distribution\n"
    "                     write one row per element and step (step,i,x,s,P,tau)\n"
    "                     CSV files are UTF-8 with RFC 4180 quoting and shortest round-trip\n"
    "                     numbers; the inputs, the bond quantities and the end reason are on\n"
    "                     lines starting with \"# \": pandas.read_csv(FILE, comment='#',\n"
    "                     float_precision='round_trip') reads it, every number exactly\n"
    "      --figure       draw the tau-s, load-slip and distribution figures (the\n"
    "                     distribution at the peak load and at the last step): NAME.pdf holds\n"
    "                     them on three pages; NAME.svg or NAME.png stands for NAME-tau-slip,\n"
    "                     NAME-load-slip and NAME-distribution\n"
    "  -f, --force        replace an existing result file whose name the run derived from\n"
    "                     FILE.kvp; a name given with an option is always replaced\n"
    "  -h, --help         show this text\n"
    "  -V, --version      show the program's version\n"
    "Long options may be written --option=value. A CSV table on standard output sends the\n"
    "summary to standard error. No output may be the parameter file or another output, and\n"
    "each is a regular file, a new name in a writable folder, or a device such as /dev/null;\n"
    "this is checked before the run. Files are written with whole steps and rows only: a\n"
    "failed write cuts the file back to them and says what it holds. Ctrl+C or SIGTERM stops\n"
    "the run between two steps, closing its files with the steps done (the CSV ends with\n"
    "\"# end,stopped\").\n"
    "Exit status: 0 done (the bond failed), 1 the result file (or a CSV or figure file)\n"
    "could not be opened or written or the analysis left the range of its numbers, 2 bad\n"
    "command line, unreadable parameter file, a data set that cannot be run or an output\n"
    "refused (the parameter file, another output, an existing derived name without -f, a\n"
    "missing folder, a pipe), 3 the run reached the step limit of 10000 steps without a\n"
    "bond failure, 130 stopped by Ctrl+C or SIGTERM.\n";

namespace {

// One option of the command line. apply stores the value (empty for a switch) and returns an
// error text, or an empty text when it accepts the value. To add an option, add a row.
struct OptionRow {
    const char* name;
    char shortName; // 0: long form only
    bool takesValue;
    std::string (*apply)(BatchOptions& options, const std::string& value);
};

std::string setDetail(BatchOptions& options, bool detail) {
    if (options.detailOutput) {
        return "give --detail or --no-detail once";
    }
    options.detailOutput = detail;
    return {};
}

const OptionRow kOptionRows[] = {
    {"model", 'm', true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         if (value == "softening") {
             options.model = BondModel::BilinearSoftening;
         } else if (value == "bilinear") {
             options.model = BondModel::PerfectlyBilinear;
         } else {
             return "--model takes softening or bilinear, not \"" + value + "\"";
         }
         return {};
     }},
    {"initial-ds", 0, true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         options.initialDsText = value;
         return {};
     }},
    {"detail", 'd', false,
     [](BatchOptions& options, const std::string&) { return setDetail(options, true); }},
    {"no-detail", 0, false,
     [](BatchOptions& options, const std::string&) { return setDetail(options, false); }},
    {"output", 'o', true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         options.outputPath = value;
         return {};
     }},
    {"json", 0, false,
     [](BatchOptions& options, const std::string&) -> std::string {
         options.json = true;
         return {};
     }},
    {"csv", 0, true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         options.csvPath = value;
         return {};
     }},
    {"csv-distribution", 0, true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         options.csvDistributionPath = value;
         return {};
     }},
    {"figure", 0, true,
     [](BatchOptions& options, const std::string& value) -> std::string {
         if (!FigureFormatOf(value)) {
             return "--figure takes a file name ending in .svg, .pdf or .png";
         }
         options.figurePath = value;
         return {};
     }},
    {"force", 'f', false,
     [](BatchOptions& options, const std::string&) -> std::string {
         options.force = true;
         return {};
     }},
    {"help", 'h', false,
     [](BatchOptions& options, const std::string&) -> std::string {
         options.help = true;
         return {};
     }},
    {"version", 'V', false,
     [](BatchOptions& options, const std::string&) -> std::string {
         options.version = true;
         return {};
     }},
};
constexpr int kRowCount = static_cast<int>(std::size(kOptionRows));

// getopt_long reports an option by its short letter, or by 256 + its row for a long-only one.
int optionCode(int row) {
    return kOptionRows[row].shortName ? kOptionRows[row].shortName : 256 + row;
}

int rowOfCode(int code) {
    for (int row = 0; row < kRowCount; ++row) {
        if (optionCode(row) == code) {
            return row;
        }
    }
    return -1;
}

// The option as the user wrote it, -o or --output.
std::string spelledName(int row, bool longForm) {
    return longForm ? std::string("--") + kOptionRows[row].name
                    : std::string("-") + kOptionRows[row].shortName;
}

} // namespace

BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments) {
    // getopt_long takes writable texts.
    std::vector<std::string> texts{"orvane-batch"};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    std::vector<option> longOptions;
    // '-' hands over file names in their place (whatever POSIXLY_CORRECT says), ':' reports a
    // missing value apart from an unknown option.
    std::string shortOptions = "-:";
    for (int row = 0; row < kRowCount; ++row) {
        const OptionRow& entry = kOptionRows[row];
        longOptions.push_back({entry.name, entry.takesValue ? required_argument : no_argument,
                               nullptr, optionCode(row)});
        if (entry.shortName) {
            shortOptions += entry.shortName;
            if (entry.takesValue) {
                shortOptions += ':';
            }
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    BatchOptionsParse parse;
    const auto addFile = [&parse](const char* name) {
        if (parse.options.parameterFile) {
            parse.error = "only one parameter file can be given";
        } else if (!*name) {
            parse.error = "the parameter file name is empty";
        } else {
            parse.options.parameterFile = name;
        }
    };
    optind = 0; // 0 makes glibc start afresh, also when an earlier parse stopped half-way
    opterr = 0;
    int code;
    int longIndex = -1; // set by getopt_long when it accepts a long option
    while (parse.error.empty() && (code = getopt_long(argc, argv.data(), shortOptions.c_str(),
                                                      longOptions.data(), &longIndex)) != -1) {
        // After an error, optind has passed the offending argument.
        const std::string argument = argv[optind - 1];
        if (code == 1) {
            addFile(optarg);
        } else if (code == ':') {
            const int row = rowOfCode(optopt);
            parse.error = spelledName(row, argument.starts_with("--")) + " needs a value";
        } else if (code == '?' && rowOfCode(optopt) >= 0) {
            parse.error =
                "--" + std::string(kOptionRows[rowOfCode(optopt)].name) + " takes no value";
        } else if (code == '?') {
            parse.error = optopt ? std::string("unknown option -") + char(optopt)
                                 : "unknown option " + argument.substr(0, argument.find('='));
        } else if (const int row = rowOfCode(code); kOptionRows[row].takesValue && !*optarg) {
            parse.error = spelledName(row, longIndex >= 0) + " needs a value, not an empty text";
        } else {
            parse.error = kOptionRows[row].apply(parse.options, optarg ? optarg : "");
        }
        longIndex = -1;
    }
    // The names after "--".
    for (int k = optind; k < argc && parse.error.empty(); ++k) {
        addFile(argv[k]);
    }
    const BatchOptions& options = parse.options;
    const auto toStandardOutput = [](const std::optional<std::string>& path) {
        return path == "-";
    };
    if (parse.error.empty() && int(toStandardOutput(options.outputPath)) +
                                       int(toStandardOutput(options.csvPath)) +
                                       int(toStandardOutput(options.csvDistributionPath)) >
                                   1) {
        parse.error = "only one of --output, --csv and --csv-distribution can write to "
                      "standard output";
    }
    return parse;
}

} // namespace orvane
