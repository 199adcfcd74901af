#include "app/BatchOptions.h"

#include "output/RunFigure.h"

namespace orvane {

const char* const kBatchUsage =
    "usage: orvane-batch [--model softening|bilinear] [--initial-ds TEXT]\n"
    "                    [--detail | --no-detail] [--output PATH] [--json]\n"
    "                    [--csv FILE|-] [--csv-distribution FILE|-]\n"
    "                    [--figure FILE.svg|.pdf|.png] [FILE.kvp]\n"
    "\n"
    "Runs the pull-out analysis of FILE.kvp (or of the start-up data set) and writes its\n"
    "t-s result file.\n"
    "  --model        bond-slip law: softening (bi-linear softening, the default) or\n"
    "                 bilinear (perfectly bi-linear)\n"
    "  --initial-ds   text of the initial ds field (default 1E-07); the run starts from\n"
    "                 its number / 100\n"
    "  --detail, --no-detail\n"
    "                 write, or leave out, the distribution of every step\n"
    "  --output       result file (default: the parameter file's name with .t-s, or\n"
    "                 default.t-s)\n"
    "  --json         print the summary as one JSON object\n"
    "  --csv          write one row per step (step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax)\n"
    "                 to FILE, or to standard output for -\n"
    "  --csv-distribution\n"
    "                 write one row per element and step (step,i,x,s,P,tau)\n"
    "                 CSV files are UTF-8 with RFC 4180 quoting and shortest round-trip\n"
    "                 numbers; the inputs, the bond quantities and the end reason are on\n"
    "                 lines starting with \"# \": pandas.read_csv(FILE, comment='#',\n"
    "                 float_precision='round_trip') reads it, every number exactly\n"
    "  --figure       draw the tau-s, load-slip and distribution figures (the distribution\n"
    "                 at the peak load and at the last step): NAME.pdf holds them on three\n"
    "                 pages; NAME.svg or NAME.png stands for NAME-tau-slip, NAME-load-slip\n"
    "                 and NAME-distribution\n"
    "A CSV table on standard output sends the summary to standard error.\n"
    "Exit status: 0 done, 1 the result file (or a CSV or figure file) could not be written,\n"
    "2 bad command line, unreadable parameter file or a data set that cannot be run.\n";

BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments) {
    BatchOptionsParse parse;
    BatchOptions& options = parse.options;
    bool detailGiven = false;
    bool endOfOptions = false;
    for (std::size_t k = 0; k < arguments.size() && parse.error.empty(); ++k) {
        const std::string& argument = arguments[k];
        const auto value = [&](const char* name) -> std::optional<std::string> {
            if (k + 1 >= arguments.size()) {
                parse.error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return arguments[++k];
        };
        if (endOfOptions || argument.empty() || argument[0] != '-' || argument == "-") {
            if (options.parameterFile) {
                parse.error = "only one parameter file can be given";
            }
            options.parameterFile = argument;
        } else if (argument == "--") {
            endOfOptions = true;
        } else if (argument == "--model") {
            if (const auto model = value("--model")) {
                if (*model == "softening") {
                    options.model = BondModel::BilinearSoftening;
                } else if (*model == "bilinear") {
                    options.model = BondModel::PerfectlyBilinear;
                } else {
                    parse.error = "--model takes softening or bilinear, not \"" + *model + "\"";
                }
            }
        } else if (argument == "--initial-ds") {
            if (const auto text = value("--initial-ds")) {
                options.initialDsText = *text;
            }
        } else if (argument == "--detail" || argument == "--no-detail") {
            if (detailGiven) {
                parse.error = "give --detail or --no-detail once";
            }
            detailGiven = true;
            options.detailOutput = argument == "--detail";
        } else if (argument == "--output") {
            if (const auto path = value("--output")) {
                options.outputPath = *path;
            }
        } else if (argument == "--csv") {
            options.csvPath = value("--csv");
        } else if (argument == "--csv-distribution") {
            options.csvDistributionPath = value("--csv-distribution");
        } else if (argument == "--figure") {
            options.figurePath = value("--figure");
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else {
            parse.error = "unknown option " + argument;
        }
    }
    if (parse.error.empty() && options.csvPath == "-" && options.csvDistributionPath == "-") {
        parse.error = "--csv and --csv-distribution cannot both write to standard output";
    }
    if (parse.error.empty() && options.figurePath && !FigureFormatOf(*options.figurePath)) {
        parse.error = "--figure takes a file name ending in .svg, .pdf or .png";
    }
    return parse;
}

} // namespace orvane
