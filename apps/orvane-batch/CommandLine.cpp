#include "apps/orvane-batch/CommandLine.h"

#include "core/numtext/NumberText.h"
#include "core/results/RunFigure.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <sstream>

namespace orvane {

namespace {

// A command line refused, with the message that names the option.
struct Refused {
    std::string message;
};

// An option given an empty text: the message names the option as the user spelled it.
struct EmptyValue {
    std::string name; // the option's first name, as CLI11 knows it
};

// An entry echoed in a message: as given when short, else quoted and cut.
std::string entry(const std::string& text) {
    return text.size() <= 80 ? text : QuotedEntry(text);
}

// An option that takes a value, given any number of times; apply reads each value in turn
// (so the last one counts) and throws Refused for one it cannot take.
CLI::Option* addValue(CLI::App& command, const std::string& names, const std::string& type,
                      const std::function<void(const std::string&)>& apply,
                      const std::string& description) {
    CLI::Option* option = command.add_option(names, description);
    const std::string name = option->get_name();
    return option->type_name(type)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->each([name, apply](const std::string& value) {
            if (value.empty()) {
                throw EmptyValue{name};
            }
            apply(value);
        });
}

// A switch; apply receives how often it was given.
void addSwitch(CLI::App& command, const std::string& names,
               const std::function<void(std::int64_t)>& apply, const std::string& description) {
    command.add_flag_function(names, apply, description);
}

void addHelp(CLI::App& command, bool& help) {
    addSwitch(
        command, "-h,--help", [&help](std::int64_t) { help = true; }, "show this text");
}

// The same --xlsx on every command that has results to tabulate: a workbook of its inputs,
// its steps or points and a chart.
void addXlsx(CLI::App& command, std::optional<std::string>& path, const std::string& what) {
    addValue(
        command, "--xlsx", "FILE",
        [&path](const std::string& value) {
            std::string extension = value.substr(std::min(value.size(), value.rfind('.')));
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            if (extension != ".xlsx") {
                throw Refused{"--xlsx takes a file name ending in .xlsx, not " +
                              QuotedEntry(value)};
            }
            path = value;
        },
        "write an Excel workbook: the inputs with their units, " + what);
}

// The same --quiet on every command, for cron jobs and scripts: what an option asks for
// (--json, an output given as -) and errors and warnings still appear.
void addQuiet(CLI::App& command, bool& quiet) {
    addSwitch(
        command, "-q,--quiet", [&quiet](std::int64_t) { quiet = true; },
        "no progress line, summary or notes; errors and warnings only");
}

// The file the command reads its data set from; one at most.
void addBaseFile(CLI::App& command, const std::string& name, std::optional<std::string>& file,
                 const std::string& noun, const std::string& description) {
    command.add_option(name, description)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args()
        ->each([&file, noun](const std::string& value) {
            if (file) {
                throw Refused{"only one " + noun + " can be given"};
            }
            if (value.empty()) {
                throw Refused{"the " + noun + " name is empty"};
            }
            file = value;
        });
}

BondModel modelNamed(const std::string& value) {
    if (value == "softening") {
        return BondModel::BilinearSoftening;
    }
    if (value == "bilinear") {
        return BondModel::PerfectlyBilinear;
    }
    throw Refused{"--model takes softening or bilinear, not " + QuotedEntry(value)};
}

void addModel(CLI::App& command, std::optional<BondModel>& model) {
    addValue(
        command, "-m,--model", "LAW",
        [&model](const std::string& value) { model = modelNamed(value); },
        "bond-slip law: softening (bi-linear softening) or bilinear\n"
        "(perfectly bi-linear); default: the data-set file's law, else\n"
        "softening");
}

void addInitialDs(CLI::App& command, std::optional<std::string>& text) {
    addValue(
        command, "--initial-ds", "TEXT",
        [&text](const std::string& value) {
            if (!ParseWholeNumber(value)) {
                throw Refused{"--initial-ds takes a number, not " + QuotedEntry(value)};
            }
            text = value;
        },
        "text of the initial ds field (default: the data-set file's, else\n"
        "1E-07); the run starts from its number / 100");
}

// A positive number, the whole text, for the concrete's strengths.
std::string strengthText(const std::string& option, const std::string& value) {
    if (const std::optional<double> number = ParseWholeNumber(value); !number || !(*number > 0)) {
        throw Refused{option + " takes a positive number (MPa), not " + QuotedEntry(value)};
    }
    return value;
}

void addConcrete(CLI::App& command, std::optional<std::string>& fc, std::optional<std::string>& ft,
                 const std::string& fcMeaning) {
    addValue(
        command, "--fc", "VALUE",
        [&fc](const std::string& value) { fc = strengthText("--fc", value); },
        "cylinder strength fc' (MPa); " + fcMeaning);
    addValue(
        command, "--ft", "VALUE",
        [&ft](const std::string& value) { ft = strengthText("--ft", value); },
        "tensile strength (MPa); without it, 0.30*fc'^(2/3) (EN 1992-1-1)");
}

// --law-from MODEL --fc VALUE [--ft VALUE]: the bond law derived from the concrete.
void addLawFrom(CLI::App& command, LawFromOptions& options) {
    std::string names;
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    addValue(
        command, "--law-from", "MODEL",
        [&options, names](const std::string& value) {
            if (!FindBondSlipModel(value)) {
                throw Refused{"--law-from takes " + names + ", not " + QuotedEntry(value)};
            }
            options.model = value;
        },
        "replace tau, smax and su by the bi-linear softening law the\n"
        "model derives from --fc (and --ft), the widths b and bc and,\n"
        "for lu2005-precise and monti2003, the adhesive and Ec: " +
            names);
    addConcrete(command, options.fc, options.ft,
                "the summary sets the law beside Lu et al. (2005)\n"
                "and warns at a factor of 2 in tau or Gf");
}

void refuseLawFromWithBilinear(const LawFromOptions& lawFrom, std::optional<BondModel> model) {
    if (lawFrom.model && model == BondModel::PerfectlyBilinear) {
        throw Refused{"--law-from gives a bi-linear softening law; it cannot go with --model "
                      "bilinear"};
    }
}

// A whole number from min to max, the whole text.
int wholeNumber(const std::string& option, const std::string& value, int min, int max) {
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || number < min ||
        number > max) {
        throw Refused{option + " takes a whole number from " + std::to_string(min) + " to " +
                      std::to_string(max) + ", not " + QuotedEntry(value)};
    }
    return number;
}

// The run: the command without a name, so its options are the program's own.
void AddRunOptions(CLI::App& app, BatchOptions& options) {
    app.description("Runs the pull-out analysis of FILE (or of the start-up data set) and "
                    "writes its t-s result\nfile.");
    addModel(app, options.model);
    addInitialDs(app, options.initialDsText);
    const auto detail = [&options](bool on, std::int64_t count) {
        if (options.detailOutput || count > 1) {
            throw Refused{"give --detail or --no-detail once"};
        }
        options.detailOutput = on;
    };
    addSwitch(
        app, "-d,--detail", [detail](std::int64_t count) { detail(true, count); },
        "write the distribution of every step");
    addSwitch(
        app, "--no-detail", [detail](std::int64_t count) { detail(false, count); },
        "leave it out (default: as line 7 of the file says)");
    addValue(
        app, "-o,--output", "PATH|-",
        [&options](const std::string& value) { options.outputPath = value; },
        "result file (default: the parameter file's name with .t-s, or\n"
        "default.t-s); - writes it to standard output and the summary to\n"
        "standard error");
    addSwitch(
        app, "--json", [&options](std::int64_t) { options.json = true; },
        "print the summary as one JSON object; its \"end\" is bond-failure\n"
        "(the average bond stress fell below a thousandth of its peak),\n"
        "step-limit (no bond failure within the step limit), stopped,\n"
        "non-finite (a value left the number range) or write-failed");
    addValue(
        app, "--csv", "FILE|-", [&options](const std::string& value) { options.csvPath = value; },
        "write one row per step (step,s0,ds0,sl,Pl,totalTau,Pbumax,slmax)\n"
        "to FILE, or to standard output for -");
    addValue(
        app, "--csv-distribution", "FILE|-",
        [&options](const std::string& value) { options.csvDistributionPath = value; },
        "write one row per element and step (step,i,x,s,P,tau)");
    addValue(
        app, "--figure", "FILE",
        [&options](const std::string& value) {
            if (!FigureFormatOf(value)) {
                throw Refused{"--figure takes a file name ending in .svg, .pdf or .png"};
            }
            options.figurePath = value;
        },
        "draw the tau-s, load-slip and distribution figures (the\n"
        "distribution at the peak load and at the last step): NAME.pdf\n"
        "holds them on three pages; NAME.svg or NAME.png stands for\n"
        "NAME-tau-slip, NAME-load-slip and NAME-distribution");
    addSwitch(
        app, "-f,--force", [&options](std::int64_t) { options.force = true; },
        "replace an existing result file whose name the run derived from\n"
        "FILE.kvp; a name given with an option is always replaced");
    addXlsx(app, options.xlsx, "every step\nand the load-slip curve as a chart");
    addLawFrom(app, options.lawFrom);
    addHelp(app, options.help);
    addQuiet(app, options.quiet);
    addSwitch(
        app, "-V,--version", [&options](std::int64_t) { options.version = true; },
        "show the program's version");
    addBaseFile(app, "FILE", options.parameterFile, "data-set file",
                "the data set to run: a data-set file (.orv) or a parameter\n"
                "file (.kvp); - reads it from standard input; default: the start-up\n"
                "data set");
    app.final_callback([&app, &options] {
        refuseLawFromWithBilinear(options.lawFrom, options.model);
        const auto toStandardOutput = [](const std::optional<std::string>& path) {
            return int(path == "-");
        };
        if (toStandardOutput(options.outputPath) + toStandardOutput(options.csvPath) +
                toStandardOutput(options.csvDistributionPath) >
            1) {
            throw Refused{"only one of --output, --csv and --csv-distribution can write to "
                          "standard output"};
        }
        for (const CLI::App* command : app.get_subcommands()) {
            for (const CLI::Option* option : app.get_options()) {
                if (option->count() > 0) {
                    throw Refused{command->get_name() + " must come first, before " +
                                  option->get_name()};
                }
            }
        }
    });
    app.footer("Long options may be written --option=value and shortened to a unique prefix.\n"
               "CSV files are UTF-8 with RFC 4180 quoting and shortest round-trip numbers; the\n"
               "inputs, the bond quantities and the end reason are on lines starting with \"# \":\n"
               "pandas.read_csv(FILE, comment='#', float_precision='round_trip') reads every\n"
               "number exactly. A CSV table on standard output sends the summary to standard\n"
               "error.\n"
               "No output may be the parameter file or another output; each is a regular file, a\n"
               "new name in a writable folder or a device such as /dev/null, checked before the\n"
               "run. Files hold whole steps and rows only: a failed write cuts the file back to\n"
               "them and says what it holds. Ctrl+C or SIGTERM stops the run between two steps\n"
               "and closes its files so (a CSV table ends with \"# end,stopped\").\n"
               "Exit status: 0 done (the bond failed), 1 the result file (or a CSV or figure\n"
               "file) could not be opened or written, standard output could not be written, or\n"
               "the analysis left the range of its numbers, 2 bad command line, unreadable\n"
               "parameter file, a data set that cannot be run, an output refused or a figure\n"
               "asked of a program without its figure module,\n"
               "3 the run reached the step limit of 10000 steps without a bond failure,\n"
               "130 stopped by Ctrl+C or SIGTERM.");
}

// --shard, common to the grid and the sampled study.
void addShard(CLI::App& command, std::optional<Shard>& shard) {
    addValue(
        command, "--shard", "K/N",
        [&shard](const std::string& value) {
            const ShardParse parse = ParseShard(value);
            if (!parse.error.empty()) {
                throw Refused{"--shard: " + parse.error};
            }
            shard = parse.shard;
        },
        "run only the K-th of N contiguous parts of the points (or\n"
        "samples, drawn whole from the seed first); study merge joins\n"
        "the shards' outputs into the file of the whole study");
}

// A positive finite number, the whole text.
double positiveNumber(const std::string& option, const std::string& value) {
    const std::optional<double> number = ParseWholeNumber(value);
    if (!number || !(*number > 0) || !std::isfinite(*number)) {
        throw Refused{option + " takes a positive number, not " + QuotedEntry(value)};
    }
    return *number;
}

void addSampleOptions(CLI::App& study, StudyOptions& options) {
    addValue(
        study, "--sample", "N",
        [&options](const std::string& value) {
            options.samples = wholeNumber("--sample", value, 2, int(kMaxStudyPoints));
        },
        "a probabilistic study of N samples of the inputs given\n"
        "distributions with --vary (2 <= N <= 1000000)");
    addValue(
        study, "--sampling", "lhs|mc",
        [&options](const std::string& value) {
            if (value != "lhs" && value != "mc") {
                throw Refused{"--sampling takes lhs or mc, not " + QuotedEntry(value)};
            }
            options.sampling =
                value == "mc" ? SamplingMethod::MonteCarlo : SamplingMethod::LatinHypercube;
        },
        "Latin hypercube (default) or plain Monte Carlo");
    addValue(
        study, "--seed", "S",
        [&options](const std::string& value) {
            std::uint64_t seed = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), seed);
            if (error != std::errc() || end != value.data() + value.size()) {
                throw Refused{"--seed takes a whole number from 0 to 18446744073709551615, not " +
                              QuotedEntry(value)};
            }
            options.seed = seed;
        },
        "the seed of the samples (default 1): the same seed gives the\n"
        "same samples, bit for bit, on any number of --jobs");
    addValue(
        study, "--model-factor", "FILE|MEAN:COV",
        [&options](const std::string& value) { options.modelFactor = value; },
        "the model factor theta = test/predicted, lognormal, from the file\n"
        "a validation writes or given as mean and coefficient of\n"
        "variation (1.17:0.27); each capacity is theta*Pbumax");
    addValue(
        study, "--partial-factor", "GAMMA",
        [&options](const std::string& value) {
            options.partialFactor = positiveNumber("--partial-factor", value);
        },
        "design value Rd = R5%/GAMMA (EN 1990 6.3.5)");
    addValue(
        study, "--target-beta", "BETA",
        [&options](const std::string& value) {
            options.targetBeta = positiveNumber("--target-beta", value);
        },
        "design value at a target reliability index (3.8: 50 years,\n"
        "RC2): Rd = exp(mean ln R - 0.8*BETA*sd ln R) (EN 1990 C.7)");
    addValue(
        study, "--summary", "FILE|-",
        [&options](const std::string& value) { options.summary = value; },
        "the summary of a sampled study as one JSON object, - for\n"
        "standard output");
    addShard(study, options.shard);
}

// A grid (--vary NAME=VALUES) and a sampled study (--sample, NAME=DISTRIBUTION) do not mix.
void refuseMixedStudy(const StudyOptions& options) {
    if (!options.samples) {
        if (!options.distributions.empty()) {
            throw Refused{"--vary " + options.distributions.front().definition() +
                          " gives a distribution; a sampled study needs --sample N"};
        }
        for (const bool given : {options.modelFactor.has_value(), options.partialFactor.has_value(),
                                 options.targetBeta.has_value(), options.summary.has_value()}) {
            if (given) {
                throw Refused{"--model-factor, --partial-factor, --target-beta and --summary "
                              "belong to a sampled study (--sample N)"};
            }
        }
        return;
    }
    if (!options.sweeps.empty()) {
        throw Refused{"--vary " + options.sweeps.front().definition() +
                      " is a sweep; a sampled study takes distributions (NAME=normal:MEAN:SD, …)"};
    }
    if (options.distributions.empty()) {
        throw Refused{"--sample needs at least one --vary NAME=DISTRIBUTION"};
    }
    const int toStandardOutput =
        (options.csv == "-") + (options.jsonl == "-") + (options.summary == "-");
    if (toStandardOutput > 1) {
        throw Refused{"only one of --csv, --jsonl and --summary can go to standard output"};
    }
}

void AddStudyMergeCommand(CLI::App& study, StudyMergeOptions& options) {
    CLI::App& merge = *study.add_subcommand(
        "merge", "joins shard outputs into the whole study's file\n"
                 "Joins the CSV or JSON-lines outputs of the N shards of one study (--shard K/N, "
                 "in any\norder) into the file one machine would have written, byte for byte. "
                 "Every shard\nmust be there once and complete.");
    addValue(
        merge, "-o,--output", "OUT",
        [&options](const std::string& value) { options.output = value; },
        "the merged file (written whole; - for standard output)");
    addValue(
        merge, "--summary", "FILE|-",
        [&options](const std::string& value) { options.summary = value; },
        "of a sampled study's CSV: the summary of the merged samples as\n"
        "JSON, - for standard output (the text goes to standard error)");
    addValue(
        merge, "--figure", "FILE",
        [&options](const std::string& value) {
            if (!FigureFormatOf(value)) {
                throw Refused{"--figure " + QuotedEntry(value) +
                              ": the name must end in .png, .svg or .pdf"};
            }
            options.figure = value;
        },
        "of a sampled study's CSV: the histogram and the distribution");
    addValue(
        merge, "--partial-factor", "GAMMA",
        [&options](const std::string& value) {
            options.partialFactor = positiveNumber("--partial-factor", value);
        },
        "design value R5%/GAMMA, as study --partial-factor");
    addValue(
        merge, "--target-beta", "BETA",
        [&options](const std::string& value) {
            options.targetBeta = positiveNumber("--target-beta", value);
        },
        "design value at a reliability index, as study --target-beta");
    addHelp(merge, options.help);
    addQuiet(merge, options.quiet);
    merge.add_option("SHARD", "the shards' files, all CSV or all JSON lines")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args()
        ->each([&options](const std::string& value) {
            if (value.empty()) {
                throw Refused{"a shard file name is empty"};
            }
            options.shards.push_back(value);
        });
    merge.final_callback([&options] {
        if (!options.help && (options.shards.empty() || !options.output)) {
            throw Refused{"study merge needs the shard files and -o OUT"};
        }
        if ((options.output == "-") + (options.summary == "-") > 1) {
            throw Refused{"-o and --summary cannot both go to standard output"};
        }
    });
    merge.footer("With --summary, --figure or a design factor, the merged CSV of a sampled study\n"
                 "is summarized as the study itself summarizes it.\n"
                 "Exit status: 0 merged, 1 an output could not be written, 2 bad command line,\n"
                 "an unreadable shard, shards that do not make one whole study, or an output\n"
                 "refused (one of the shards, a folder that cannot be written), 5 merged and\n"
                 "summarized, with warnings.");
}

void AddStudyCommand(CLI::App& app, StudyOptions& options, StudyMergeOptions& merge) {
    CLI::App& study = *app.add_subcommand(
        "study", "one run for each combination of swept values\n"
                 "Runs the pull-out analysis for every combination of the swept values on the "
                 "data set\nof BASE (or the start-up set), without result files, and writes "
                 "one row per point\nin point order as the points finish.");
    addValue(
        study, "--vary", "NAME=VALUES",
        [&options](const std::string& value) {
            if (NamesDistribution(value)) {
                SampledInputParse parse = ParseSampledInput(value);
                if (!parse.error.empty()) {
                    throw Refused{"--vary " + parse.error};
                }
                options.distributions.push_back(std::move(parse.input));
                return;
            }
            SweepParse parse = ParseSweep(value);
            if (!parse.error.empty()) {
                throw Refused{"--vary " + parse.error};
            }
            options.sweeps.push_back(std::move(parse.sweep));
        },
        "a swept input, once or twice (the first is the outer loop).\n"
        "NAME: tauMax (τmax, τy), sMax (smax, sy), su, dl (Δl), lb, b,\n"
        "tf, Ef, tr, Er, bc, dc, Ec, Ab, Eb, ds (the initial ds field:\n"
        "the run starts from its number / 100) or law.\n"
        "VALUES: a list, a linear range from:to:count (from < to,\n"
        "both ends included, 2 ≤ count ≤ 1000000) or a logarithmic one:\n"
        "  Ef=150000,200000,230000   law=softening,bilinear\n"
        "  lb=10:300:30              lb=10:300:30:log\n"
        "Each value enters its field as text, read as the parameter\n"
        "window reads it, so a point equals a single run of the base file\n"
        "with that text in that field. At most 1000000 points.\n"
        "With --sample: NAME=DISTRIBUTION, NAME also fc (the law of each\n"
        "sample from its fc' by --law-from MODEL), any number of inputs:\n"
        "  normal:MEAN:SD      truncated at 0 (drawn\n"
        "                      from the part above)\n"
        "  lognormal:MEAN:COV  mean and CoV of the value\n"
        "                      itself (COV 0.1 for 10 %)\n"
        "  uniform:LO:HI       0 <= LO < HI");
    addValue(
        study, "--jobs", "N",
        [&options](const std::string& value) {
            options.jobs = wholeNumber("--jobs", value, 1, 1024);
        },
        "runs at once (default: the number of processors)");
    addValue(
        study, "--csv", "FILE|-", [&options](const std::string& value) { options.csv = value; },
        "the rows as CSV, - for standard output (the default when neither\n"
        "--csv nor --jsonl is given); metadata on lines starting with \"# \"");
    addValue(
        study, "--jsonl", "FILE|-", [&options](const std::string& value) { options.jsonl = value; },
        "the rows as JSON lines, - for standard output");
    addValue(
        study, "--figure", "FILE",
        [&options](const std::string& value) {
            if (!FigureFormatOf(value)) {
                throw Refused{"--figure " + QuotedEntry(value) +
                              ": the name must end in .png, .svg or .pdf"};
            }
            options.figure = value;
        },
        "Pbumax against the first numeric swept input, with P∞ and, on a\n"
        "bond-length axis, Le marked (.png, .svg or .pdf); a log range on a\n"
        "log axis, more than 8 series by a colour scale");
    addSampleOptions(study, options);
    addModel(study, options.model);
    addInitialDs(study, options.initialDsText);
    addLawFrom(study, options.lawFrom);
    addXlsx(study, options.xlsx,
            "one row per point\nand a chart of Pbumax against a numeric swept input");
    addHelp(study, options.help);
    addQuiet(study, options.quiet);
    addBaseFile(study, "BASE", options.baseFile, "base file",
                "the base data set, a data-set (.orv) or parameter (.kvp)\n"
                "file (- for standard input; default: the start-up data set)");
    study.final_callback([&options, &study] {
        if (study.got_subcommand("merge")) {
            return;
        }
        refuseLawFromWithBilinear(options.lawFrom, options.model);
        refuseMixedStudy(options);
        if (options.csv == "-" && options.jsonl == "-") {
            throw Refused{"--csv and --jsonl cannot both go to standard output"};
        }
    });
    study.footer(
        "Columns: point, the swept inputs, steps, Pbumax (N), slmax (mm), end (bond failure, "
        "step\nlimit or refused), Gf (N/mm), Pinf = b·√(2·Gf·Ef·tf) (N), Le (mm; the bond "
        "length whose\nclosed-form load is 97 % of Pinf), Pbumax/Pinf, problem (why the run "
        "checks refused the\npoint; the study goes on). A terminal shows the progress on "
        "standard error; Ctrl+C stops\nthe study, leaving the rows of the points finished so "
        "far.\n"
        "No output may be the base file or another output (checked before the study); a\n"
        "failed write cuts a table back to its whole rows and says what it holds.\n"
        "Exit status: 0 done, 1 an output (standard output too) could not be written or no\n"
        "thread could be started, 2 bad command line, unreadable base file, an output\n"
        "refused, a study that cannot start or one whose every point was refused by the run\n"
        "checks, a figure asked of a program without its figure module, 130 stopped.\n"
        "A sampled study (--sample) has the columns sample, the sampled inputs, theta,\n"
        "steps, Pbumax, capacity = theta*Pbumax (N), slmax, end, Gf, Pinf, Le,\n"
        "PbumaxOverPinf, problem, and prints the summary of the capacities on standard\n"
        "error: mean, CoV, the 5 % fractile (order statistic) with its 95 % interval\n"
        "(binomial, distribution-free) and the design values asked for; it exits 5 when\n"
        "the summary carries warnings on how far it can be trusted.\n"
        "study merge SHARD... -o OUT joins the outputs of the shards of one study.");
    AddStudyMergeCommand(study, merge);
}

std::optional<int> lawParameter(std::string_view name) {
    if (name == "tau" || name == "taumax" || name == "tauy" || name == "τmax" || name == "τy") {
        return 0;
    }
    if (name == "smax" || name == "sy") {
        return 1;
    }
    if (name == "su") {
        return 2;
    }
    return std::nullopt;
}

// A finite number, the whole text.
double decimalNumber(const std::string& option, std::string_view value) {
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(number)) {
        throw Refused{option + " needs a number, not " + QuotedEntry(value)};
    }
    return number;
}

// "slip=A,load=B": the slip's and the value's setting (load= or stress=); either may be left
// out.
void readSlipAndValue(const std::string& option, const std::string& value, std::string& slip,
                      std::string& load) {
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(',', start);
        if (end == std::string::npos) {
            end = value.size();
        }
        const std::string pair = value.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        if (equals == std::string::npos || equals + 1 == pair.size() ||
            (key != "slip" && key != "load" && key != "stress")) {
            throw Refused{option + " takes slip=…,load=… (or stress=…), not " + QuotedEntry(value)};
        }
        (key == "slip" ? slip : load) = pair.substr(equals + 1);
        start = end + 1;
    }
}

void AddFitCommand(CLI::App& app, FitOptions& options) {
    CLI::App& fit = *app.add_subcommand(
        "fit", "calibrates the bond-slip law to a measured curve\n"
               "Finds the bond-slip law (tau, smax, su) with which the pull-out analysis of "
               "BASE\n(or of the start-up data set) reproduces a measured load against "
               "loaded-end slip\ncurve best in the least-squares sense; geometry, stiffnesses "
               "and the element length\nare those of BASE.");
    addValue(
        fit, "--measured", "FILE|load|stress",
        [&options](const std::string& value) {
            if (value == "load" || value == "stress") {
                options.quantity =
                    value == "load" ? MeasuredQuantity::Load : MeasuredQuantity::AverageStress;
            } else if (!options.measuredFile.empty()) {
                throw Refused{"only one measured file can be given (a series: --specimen)"};
            } else {
                options.measuredFile = value;
            }
        },
        "the measured curve (- for standard input): two numeric columns,\n"
        "slip (mm) and load (N),\n"
        "separated by commas, semicolons, tabs or blanks, with or without\n"
        "a header row, UTF-8 or Shift-JIS; rows in the order of the test.\n"
        "--measured stress: the second column is the average bond stress\n"
        "(N/mm2) over the analysed length n*dl; --measured load (the\n"
        "default) is load (a file named load or stress is given as ./load\n"
        "or ./stress)");
    addValue(
        fit, "--specimen", "FILE[,BASE]",
        [&options](const std::string& value) {
            // The base is after the last comma, so that a measured file whose name holds a
            // comma can still be given with its base.
            const std::size_t comma = value.rfind(',');
            FitSpecimenFiles specimen{value.substr(0, comma), std::nullopt};
            if (comma != std::string::npos) {
                specimen.baseFile = value.substr(comma + 1);
            }
            if (specimen.measuredFile.empty() ||
                (specimen.baseFile && specimen.baseFile->empty())) {
                throw Refused{"--specimen takes FILE or FILE,BASE, not " + QuotedEntry(value)};
            }
            options.specimens.push_back(std::move(specimen));
        },
        "one specimen of a series, fitted with the others to one shared\n"
        "law: its measured FILE (read as --measured FILE is) and its own\n"
        "BASE data set for its geometry (default: the command's BASE);\n"
        "repeat it for each specimen, in place of --measured FILE");
    addValue(
        fit, "--law", "LAW",
        [&options](const std::string& value) {
            if (value == "softening") {
                options.laws = {BondModel::BilinearSoftening};
            } else if (value == "bilinear") {
                options.laws = {BondModel::PerfectlyBilinear};
            } else if (value == "both") {
                options.laws = {BondModel::BilinearSoftening, BondModel::PerfectlyBilinear};
            } else {
                throw Refused{"--law takes softening, bilinear or both, not " + QuotedEntry(value)};
            }
        },
        "softening (bi-linear softening, the default), bilinear (perfectly\n"
        "bi-linear) or both (each is fitted and reported)");
    addValue(
        fit, "--fix", "NAME[=TEXT]",
        [&options](const std::string& value) {
            const std::size_t equals = value.find('=');
            const std::string name = value.substr(0, equals);
            const std::optional<int> j = lawParameter(name);
            if (!j) {
                throw Refused{"--fix takes tau, smax or su, not " + QuotedEntry(name)};
            }
            if (options.fixed[std::size_t(*j)]) {
                throw Refused{"--fix " + name + " is given twice"};
            }
            if (equals != std::string::npos && value.size() == equals + 1) {
                throw Refused{"--fix " + value + " needs a value after \"=\""};
            }
            if (equals != std::string::npos && !ParseWholeNumber(value.substr(equals + 1))) {
                throw Refused{"--fix " + name + " takes a number, not " +
                              QuotedEntry(value.substr(equals + 1))};
            }
            options.fixed[std::size_t(*j)] =
                equals == std::string::npos ? "" : value.substr(equals + 1);
        },
        "keeps tau, smax or su at TEXT (a field text, written to the\n"
        "fitted file as given) or, without TEXT, at the base file's value;\n"
        "may be repeated");
    addValue(
        fit, "--columns", "slip=COL,load=COL",
        [&options](const std::string& value) {
            readSlipAndValue("--columns", value, options.layout.slipColumn,
                             options.layout.valueColumn);
        },
        "the columns of a wider file (a logger's time, stroke, LVDTs, load),\n"
        "by number from 1 or by header name: --columns slip=3,load=5 or\n"
        "--columns \"slip=LVDT1,load=Load (kN)\"; further columns are ignored");
    addValue(
        fit, "--units", "slip=UNIT,load=UNIT",
        [&options](const std::string& value) {
            readSlipAndValue("--units", value, options.layout.slipUnit, options.layout.valueUnit);
        },
        "the units of the columns: mm, um (µm) or m for the slip; N, kN or\n"
        "MN for a load, N/mm2 or MPa for a stress (default: the header's,\n"
        "\"load (kN)\", \"slip [µm]\", else mm and N)");
    addValue(
        fit, "--decimal", "point|comma",
        [&options](const std::string& value) {
            if (value != "point" && value != "comma") {
                throw Refused{"--decimal takes point or comma, not " + QuotedEntry(value)};
            }
            options.layout.decimal = value == "point" ? DecimalMark::Point : DecimalMark::Comma;
        },
        "the decimal mark (default: a comma in a file separated by\n"
        "semicolons that writes digits around commas, else a point)");
    addValue(
        fit, "--slip-scatter", "MM",
        [&options](const std::string& value) {
            const double mm = decimalNumber("--slip-scatter", value);
            if (mm < 0) {
                throw Refused{"--slip-scatter cannot be negative, not " + QuotedEntry(value)};
            }
            options.layout.slipFallBack = mm;
        },
        "how far a slip may fall back below the largest before it and still\n"
        "count (default 0.001 mm); a row further back (unloading) is left out");
    addValue(
        fit, "--range", "FROM:TO|peak|failure",
        [&options](const std::string& value) {
            if (const std::string error = ParseFitRange(value, options.range); !error.empty()) {
                throw Refused{"--range " + error};
            }
        },
        "the part of the record to fit: the slips FROM:TO (mm), the rows up\n"
        "to the peak load, or those before failure (after the peak, the\n"
        "first row whose load falls below half of the row before it)");
    addSwitch(
        fit, "--offset", [&options](std::int64_t) { options.fitSeatingOffset = true; },
        "fit a seating offset as well: the slip the record shows before the\n"
        "bond takes load, taken off every measured slip; of a series, one for\n"
        "each specimen");
    addInitialDs(fit, options.initialDsText);
    addValue(
        fit, "--jobs", "N",
        [&options](const std::string& value) {
            options.jobs = wholeNumber("--jobs", value, 1, 256);
        },
        "threads for the trial runs (default: every core)");
    addValue(
        fit, "--output", "PREFIX",
        [&options](const std::string& value) {
            if (value == "-") {
                throw Refused{"--output takes the prefix of the fitted files (PREFIX.orv, "
                              "PREFIX.kvp, PREFIX.csv), which standard output cannot hold; "
                              "--json prints the fit there"};
            }
            options.outputPrefix = value;
        },
        "writes PREFIX.kvp, the fitted parameter file, and PREFIX.csv,\n"
        "measured against model (PREFIX-softening.* and PREFIX-bilinear.*\n"
        "with --law both); default: FILE without its extension, plus -fit\n"
        "(with --measured -, --output is needed)");
    addValue(
        fit, "--figure", "FILE",
        [&options](const std::string& value) {
            if (!FigureFormatOf(value)) {
                throw Refused{"--figure needs a name ending in .png, .svg or .pdf, not " +
                              QuotedEntry(value)};
            }
            options.figureFile = value;
        },
        "draws the measured points over the model curve, above the fitted\n"
        "bond-slip law (FILE-softening.svg and FILE-bilinear.svg with\n"
        "--law both)");
    addSwitch(
        fit, "--json", [&options](std::int64_t) { options.json = true; },
        "print the results as one JSON object");
    addSwitch(
        fit, "-f,--force", [&options](std::int64_t) { options.force = true; },
        "replace existing FILE-fit.kvp and FILE-fit.csv, whose names the\n"
        "fit derived; names given with --output are always replaced");
    addLawFrom(fit, options.lawFrom);
    addXlsx(fit, options.xlsx,
            "the fitted\nparameters, the measured points beside each model's loads and a\nchart of "
            "both");
    addHelp(fit, options.help);
    addQuiet(fit, options.quiet);
    addBaseFile(fit, "BASE", options.parameterFile, "base file",
                "the base data set, a data-set (.orv) or parameter (.kvp)\n"
                "file (- for standard input; default: the start-up data set)");
    fit.final_callback([&options] {
        if (!options.help && options.measuredFile.empty() && options.specimens.empty()) {
            throw Refused{"--measured FILE is needed"};
        }
        if (!options.measuredFile.empty() && !options.specimens.empty()) {
            throw Refused{"--measured FILE and --specimen do not go together: give each curve "
                          "of a series with --specimen"};
        }
        // Standard input holds one file, and the fitted files' names cannot come from it.
        int fromStandardInput =
            int(options.measuredFile == "-") + int(options.parameterFile == "-");
        for (const FitSpecimenFiles& specimen : options.specimens) {
            fromStandardInput += int(specimen.measuredFile == "-") + int(specimen.baseFile == "-");
        }
        if (fromStandardInput > 1) {
            throw Refused{"standard input can hold one file, the measured curve or the base file, "
                          "not both"};
        }
        const bool firstCurveFromStandardInput =
            options.measuredFile == "-" ||
            (!options.specimens.empty() && options.specimens.front().measuredFile == "-");
        if (firstCurveFromStandardInput && !options.outputPrefix && !options.help) {
            throw Refused{"--measured - needs --output PREFIX: there is no file name to derive "
                          "the fitted files' names from"};
        }
    });
    fit.footer("The model load at a measured slip is the run's load-slip path interpolated "
               "linearly;\nthe path follows the run's steps while the loaded-end slip grows, and "
               "beyond its\nlargest slip the bond has failed and carries no load. The "
               "uncertainty is the standard\nerror of each parameter from the curvature of the "
               "misfit (Gauss-Newton), with those of Gf and Pinf by the delta method.\n"
               "A fit warns (a \"warning\" line, the \"warnings\" list in JSON) of a parameter\n"
               "at or near a bound of the search, a misfit that is not a number, R² below\n"
               "0.95, another law that fits within 1 % of the sum of squares, a parameter the\n"
               "curve does not determine (Gf, Pinf, Le that depend on it are then not given),\n"
               "and loads or slips whose size suggests kN, µm or m.\n"
               "No output may be the measured file, the base file or another output (checked\n"
               "before the fit); files are written whole or not at all. Ctrl+C or SIGTERM stops\n"
               "the fit and writes nothing.\n"
               "Exit status: 0 done without warnings, 5 done with warnings (the files are\n"
               "written), 1 a file or standard output could not be written, 2 bad command\n"
               "line, unreadable files, a data set that cannot be run, an output refused, a\n"
               "fit that cannot start or a figure asked of a program without its figure\n"
               "module, 130 stopped.");
}

void AddCodesCommand(CLI::App& app, CodesOptions& options) {
    CLI::App& codes = *app.add_subcommand(
        "codes", "the design codes' debonding loads of the joint\n"
                 "The design codes' debonding load of the pull-out joint of BASE.kvp (or the "
                 "start-up\nset) beside the closed form of its own bond law: Chen & Teng (2001), "
                 "fib bulletin 14\n(2001), CNR-DT 200 R1/2013, JSCE (2001), Concrete Society TR55 "
                 "and the ACI 440.2R-17\ndebonding strain (a limit calibrated on flexural "
                 "members, not a joint model). Per\ncode: P (N, the mean or characteristic value "
                 "the code gives), Pd (N, the design\nvalue), Le (mm, the code's effective bond "
                 "length), the clause and the factors. A row\nwhose code excludes the case says "
                 "why instead of giving numbers.");
    addConcrete(codes, options.fc, options.ft,
                "without it, estimated from the data set's Ec\n"
                "by Ec = 4700*sqrt(fc'), and the output says so");
    addValue(
        codes, "--factor", "NAME=VALUE",
        [&options](const std::string& value) {
            if (const std::string problem = SetDesignFactor(options.factors, value);
                !problem.empty()) {
                throw Refused{"--factor: " + problem};
            }
        },
        "a partial or model factor, once per factor: chen-teng.design,\n"
        "fib.alpha, fib.kc, fib.gammaC, cnr.kGm, cnr.kG, cnr.FC,\n"
        "cnr.gammaFd, cnr.gammaRd, jsce.Gf, jsce.gammaB, tr55.gammaMb,\n"
        "aci.n, aci.psiF");
    addSwitch(
        codes, "--json", [&options](std::int64_t) { options.json = true; },
        "print the table as one JSON object: per code code, P, Pd, Le,\n"
        "factors, with null for a value the code does not give");
    addValue(
        codes, "--csv", "FILE|-", [&options](const std::string& value) { options.csv = value; },
        "the table as CSV, written whole; - for standard output");
    addHelp(codes, options.help);
    addQuiet(codes, options.quiet);
    addBaseFile(codes, "BASE.kvp", options.baseFile, "base file",
                "the data set (- for standard input; default: the start-up data set)");
    codes.final_callback([&options] {
        if (options.json && options.csv == "-") {
            throw Refused{"--json and --csv - cannot both go to standard output"};
        }
    });
    codes.footer("Exit status: 0 done, 1 an output could not be written, 2 bad command line or\n"
                 "unreadable base file, 4 done, but a code's scope excludes the case (its row\n"
                 "says why).");
}

void AddConvertCommand(CLI::App& app, ConvertOptions& options) {
    CLI::App& convert = *app.add_subcommand(
        "convert", "a parameter file to a data-set file and back\n"
                   "Reads IN, a data-set file (.orv) or a parameter file (.kvp), and writes OUT "
                   "in the form\nits extension names. A parameter file holds neither the bond "
                   "law nor the initial ds:\nconverting one takes them from --model and "
                   "--initial-ds, else bi-linear softening and\n1E-07; writing one warns when "
                   "the data set's law, initial ds or concrete inputs are lost.");
    addModel(convert, options.model);
    addInitialDs(convert, options.initialDsText);
    addHelp(convert, options.help);
    addQuiet(convert, options.quiet);
    convert.add_option("IN OUT", "the file to read (- for standard input) and the file to write")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args()
        ->each([&options](const std::string& value) {
            if (options.files.size() == 2) {
                throw Refused{"convert takes two files, IN and OUT"};
            }
            if (value.empty()) {
                throw Refused{"a file name is empty"};
            }
            options.files.push_back(value);
        });
    convert.final_callback([&options] {
        if (!options.help && options.files.size() != 2) {
            throw Refused{"convert takes two files, IN and OUT"};
        }
    });
    convert.footer("OUT is written whole through a temporary file, never over IN.\n"
                   "Exit status: 0 done, 1 OUT could not be written, 2 bad command line, an\n"
                   "unreadable IN, an OUT refused (IN itself, a pipe, a folder that cannot be\n"
                   "written) or one that ends in neither .orv nor .kvp.");
}

void AddValidateCommand(CLI::App& app, ValidateOptions& options) {
    CLI::App& validate = *app.add_subcommand(
        "validate", "Orvane and the design codes against pull-out tests\n"
                    "Runs every test of a database as a single analysis and sets the predicted "
                    "ultimate\nloads of Orvane and of each design code against the measured "
                    "ones: count, mean and\nCoV of test/predicted, R2, mean absolute percentage "
                    "error and the share of tests\nbelow the prediction, for all tests, per "
                    "source and per band of Ef*tf and bf/bc.\nEach test is BASE (or the start-up "
                    "set) with its bond length, laminate and member\nwidth, with the law "
                    "--law-from derives from its fc', and an element length halved\nuntil the "
                    "load changes by less than 0.1 %.");
    addValue(
        validate, "--tests", "FILE",
        [&options](const std::string& value) { options.tests = value; },
        "the test database, CSV with a header naming bc, fc, Ef, tf, bf, L\n"
        "and Pu (any order and letter case; id and source optional), each\n"
        "with its unit in parentheses or brackets: mm, m, in; MPa, GPa,\n"
        "psi, ksi; N, kN, lbf, kip; without one the N-mm unit");
    std::string names;
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    addValue(
        validate, "--law-from", "MODEL",
        [&options, names](const std::string& value) {
            if (!FindBondSlipModel(value)) {
                throw Refused{"--law-from takes " + names + ", not " + QuotedEntry(value)};
            }
            options.lawFrom = value;
        },
        "the model that derives each test's law from its fc' (default\nlu2005): " + names);
    addValue(
        validate, "--jobs", "N",
        [&options](const std::string& value) {
            options.jobs = wholeNumber("--jobs", value, 1, 1024);
        },
        "runs at once (default: the number of processors)");
    addValue(
        validate, "--csv", "FILE|-", [&options](const std::string& value) { options.csv = value; },
        "one row per test with every prediction (N) and the reason a row\n"
        "was left out, - for standard output");
    addSwitch(
        validate, "--json", [&options](std::int64_t) { options.json = true; },
        "print the statistics as one JSON object: models, a list of\n"
        "{model, n, mean, cov, r2, mape, below} (mape and below as\n"
        "fractions), and groups, each with kind, value, tests and models");
    addValue(
        validate, "--figure", "FILE",
        [&options](const std::string& value) {
            if (!FigureFormatOf(value)) {
                throw Refused{"--figure " + QuotedEntry(value) +
                              ": the name must end in .png, .svg or .pdf"};
            }
            options.figure = value;
        },
        "predicted against measured load, log axes, with the line of\nequality");
    addValue(
        validate, "--model-factor", "FILE",
        [&options](const std::string& value) { options.modelFactor = value; },
        "writes the model factor, test/predicted of Orvane as a lognormal\n"
        "variable (mean, CoV, tests, model), as TOML");
    addValue(
        validate, "--shard", "K/N",
        [&options](const std::string& value) {
            const std::size_t slash = value.find('/');
            if (slash == std::string::npos) {
                throw Refused{"--shard takes K/N, not " + QuotedEntry(value)};
            }
            options.shards = wholeNumber("--shard N", value.substr(slash + 1), 1, 1'000'000);
            options.shard = wholeNumber("--shard K", value.substr(0, slash), 1, options.shards);
        },
        "run only the K-th of N consecutive, disjoint parts of the tests");
    addXlsx(validate, options.xlsx,
            "one row per test with every model's prediction\nand a chart of "
            "Orvane's predictions against the tests");
    addQuiet(validate, options.quiet);
    addHelp(validate, options.help);
    addBaseFile(validate, "BASE.kvp", options.baseFile, "base file",
                "the data set the tests start from (default: the start-up data\nset)");
    validate.final_callback([&options] {
        if (!options.help && options.tests.empty()) {
            throw Refused{"validate needs --tests FILE"};
        }
        if (options.json && options.csv == "-") {
            throw Refused{"--json and --csv - cannot both go to standard output"};
        }
    });
    validate.footer("Exit status: 0 done, 5 done with warnings (tests left out of the statistics,\n"
                    "fewer than 30 tests), 1 an output could not be written, 2 bad command line,\n"
                    "an unreadable database or base file, an output refused, or no test could be\n"
                    "run, 130 stopped (nothing is written).");
}

// getopt's habits for long options, which scripts may rely on: a unique prefix stands for the
// whole name (--out for --output), and a switch refuses a value (--json=yes). Rewrites the
// arguments of command with whole names; unknown names are refused here.
void completeLongNames(const CLI::App& command, std::vector<std::string>& arguments,
                       std::size_t first) {
    for (std::size_t k = first; k < arguments.size() && arguments[k] != "--"; ++k) {
        std::string& argument = arguments[k];
        if (!argument.starts_with("--")) {
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name =
            argument.substr(2, equals == std::string::npos ? equals : equals - 2);
        std::vector<std::pair<const CLI::Option*, std::string>> matches;
        for (const CLI::Option* option : command.get_options()) {
            for (const std::string& longName : option->get_lnames()) {
                if (longName == name) {
                    matches = {{option, longName}};
                    break;
                }
                if (longName.starts_with(name)) {
                    matches.emplace_back(option, longName);
                }
            }
            if (matches.size() == 1 && matches.front().second == name) {
                break;
            }
        }
        if (matches.empty()) {
            throw Refused{"unknown option " + entry("--" + name)};
        }
        // A name that extends another (--model-factor, --model) does not take the shorter
        // one's prefixes from it: --mod stays --model, as scripts written before wrote it.
        const auto shortest =
            std::min_element(matches.begin(), matches.end(), [](const auto& a, const auto& b) {
                return a.second.size() < b.second.size();
            });
        if (std::all_of(matches.begin(), matches.end(), [&](const auto& match) {
                return match.second.starts_with(shortest->second);
            })) {
            matches = {*shortest};
        }
        if (matches.size() > 1) {
            std::string names;
            for (const auto& match : matches) {
                names += (names.empty() ? "--" : ", --") + match.second;
            }
            throw Refused{entry("--" + name) + " is short for more than one option: " + names};
        }
        const auto& [option, longName] = matches.front();
        if (equals != std::string::npos && option->get_expected_min() == 0) {
            throw Refused{"--" + longName + " takes no value"};
        }
        if (equals + 1 == argument.size()) {
            throw EmptyValue{option->get_name()};
        }
        argument = "--" + longName + (equals == std::string::npos ? "" : argument.substr(equals));
    }
}

// The option as the user wrote it, -o or --output, from the last argument that names it.
std::string spelledName(const CLI::Option& option, const std::vector<std::string>& arguments) {
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) {
        if (argument->starts_with("--")) {
            const std::string name = argument->substr(2, argument->find('=') - 2);
            for (const std::string& longName : option.get_lnames()) {
                if (longName == name) {
                    return "--" + longName;
                }
            }
        } else if (argument->starts_with("-")) {
            for (const std::string& shortName : option.get_snames()) {
                if (argument->find(shortName, 1) != std::string::npos) {
                    return "-" + shortName;
                }
            }
        }
    }
    return option.get_name();
}

// The first argument that CLI11 left over: an unknown short option (long ones are refused
// before).
void refuseLeftOver(const CLI::App& command) {
    for (const std::string& argument : command.remaining()) {
        if (argument != "--") {
            throw Refused{argument.starts_with("-") && argument.size() > 1
                              ? "unknown option -" + argument.substr(1, 1)
                              : "unexpected " + QuotedEntry(argument)};
        }
    }
}

// The help fits a terminal of this many columns.
constexpr std::size_t kHelpWidth = 80;
// The column where an option's description starts.
constexpr std::size_t kHelpNameWidth = 28;

// Columns a text takes on a terminal: its characters, not its bytes (τ, Δ, ≤, ∞).
std::size_t columnsOf(std::string_view text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// A help text flowed to width columns, so that no text has to be broken by hand: the lines of
// a paragraph are joined and broken again between words. A line that ends a sentence (with
// '.') keeps its break, and a line that starts with a blank (a row of a table of
// examples) is kept as it is.
std::string flowed(std::string_view text, std::size_t width) {
    std::string out;
    std::string line;
    const auto endLine = [&] {
        if (!line.empty()) {
            out += line + "\n";
            line.clear();
        }
    };
    std::istringstream in{std::string(text)};
    for (std::string given; std::getline(in, given);) {
        if (given.empty() || given.starts_with(' ')) {
            endLine();
            out += given + "\n";
            continue;
        }
        std::istringstream words(given);
        for (std::string word; words >> word;) {
            if (!line.empty() && columnsOf(line) + 1 + columnsOf(word) > width) {
                endLine();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        if (given.ends_with('.')) {
            endLine();
        }
    }
    endLine();
    if (!text.ends_with('\n') && !out.empty()) {
        out.pop_back();
    }
    return out;
}

// CLI11's help with a blank line before the usage line, every text flowed to the terminal's
// width. A command's description starts with a line that lists it in the program's help; its
// own help leaves that line out.
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter() { column_width(kHelpNameWidth); }
    std::string make_description(const CLI::App* app) const override {
        const std::string& description = app->get_description();
        return flowed(description.substr(app->get_parent() ? description.find('\n') + 1 : 0),
                      kHelpWidth) +
               "\n\n";
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        return flowed(option->get_description(), kHelpWidth - kHelpNameWidth);
    }
    std::string make_footer(const CLI::App* app) const override {
        const std::string footer = app->get_footer();
        return footer.empty() ? footer : flowed(footer, kHelpWidth) + "\n";
    }
    std::string make_subcommand(const CLI::App* command) const override {
        const std::string& description = command->get_description();
        std::stringstream out;
        CLI::detail::format_help(out, command->get_name(),
                                 description.substr(0, description.find('\n')), column_width_);
        return out.str();
    }
};

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    CLI::App app("", "orvane-batch");
    app.set_help_flag();
    app.allow_extras();
    app.require_subcommand(0, 1);
    const auto formatter = std::make_shared<HelpFormatter>();
    formatter->label("SUBCOMMAND", "COMMAND");
    app.formatter(formatter);
    AddRunOptions(app, line.run);
    AddStudyCommand(app, line.study, line.studyMerge);
    AddFitCommand(app, line.fit);
    AddConvertCommand(app, line.convert);
    AddCodesCommand(app, line.codes);
    AddValidateCommand(app, line.validate);

    CLI::App* command = &app;
    for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        sub->allow_extras();
        sub->group("Commands");
        if (!arguments.empty() && arguments.front() == sub->get_name()) {
            command = sub;
        }
    }
    if (command != &app) {
        const std::string& name = command->get_name();
        line.command = name == "study"      ? Command::Study
                       : name == "fit"      ? Command::Fit
                       : name == "codes"    ? Command::Codes
                       : name == "validate" ? Command::Validate
                                            : Command::Convert;
    }
    std::size_t firstOption = command == &app ? 0 : 1;
    if (line.command == Command::Study && arguments.size() > 1 && arguments[1] == "merge") {
        command = command->get_subcommand("merge");
        line.command = Command::StudyMerge;
        firstOption = 2;
    }
    std::vector<std::string> read = arguments;
    try {
        completeLongNames(*command, read, firstOption);
        std::vector<std::string> reversed(read.rbegin(), read.rend());
        app.parse(reversed);
        refuseLeftOver(app);
        refuseLeftOver(*command);
    } catch (const Refused& refused) {
        line.error = refused.message;
    } catch (const EmptyValue& empty) {
        const CLI::Option* option = command->get_option_no_throw(empty.name);
        line.error = (option ? spelledName(*option, read) : empty.name) +
                     " needs a value, not an empty text";
    } catch (const CLI::ArgumentMismatch& mismatch) {
        const std::string what = mismatch.what();
        const CLI::Option* option = command->get_option_no_throw(what.substr(0, what.find(':')));
        line.error = option ? spelledName(*option, read) + " needs a value" : what;
    } catch (const CLI::ParseError& error) {
        line.error = error.what();
    }
    if (!line.error.empty() || line.helpAsked()) {
        line.help = command->help(command == &app                       ? ""
                                  : line.command == Command::StudyMerge ? "orvane-batch study"
                                                                        : "orvane-batch");
    }
    return line;
}

std::string CommandName(Command command) {
    switch (command) {
    case Command::Study:
        return "orvane-batch study";
    case Command::StudyMerge:
        return "orvane-batch study merge";
    case Command::Fit:
        return "orvane-batch fit";
    case Command::Codes:
        return "orvane-batch codes";
    case Command::Convert:
        return "orvane-batch convert";
    case Command::Validate:
        return "orvane-batch validate";
    case Command::Run:
        break;
    }
    return "orvane-batch";
}

BatchOptionsParse ParseBatchOptions(const std::vector<std::string>& arguments) {
    CommandLine line = ParseCommandLine(arguments);
    return {std::move(line.run), std::move(line.error)};
}

FitOptionsParse ParseFitOptions(const std::vector<std::string>& arguments) {
    std::vector<std::string> line = {"fit"};
    line.insert(line.end(), arguments.begin(), arguments.end());
    CommandLine read = ParseCommandLine(line);
    return {std::move(read.fit), std::move(read.error)};
}

} // namespace orvane
