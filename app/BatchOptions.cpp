#include "app/BatchOptions.h"

namespace orvane {

const char* const kBatchUsage =
    "usage: orvane-batch [--model softening|bilinear] [--initial-ds TEXT]\n"
    "                    [--detail | --no-detail] [--output PATH] [--json] [FILE.kvp]\n"
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
    "Exit status: 0 done (the bond failed), 1 the result file could not be opened or\n"
    "written (or is the parameter file itself) or the analysis left the range of its\n"
    "numbers, 2 bad command line, unreadable parameter file or a data set that cannot be\n"
    "run, 3 the run reached the step limit of 10000 steps without a bond failure.\n";

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
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else {
            parse.error = "unknown option " + argument;
        }
    }
    return parse;
}

} // namespace orvane
