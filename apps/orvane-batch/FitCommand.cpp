#include "apps/orvane-batch/FitCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "core/engine/RunChecks.h"
#include "core/files/Cp932.h"
#include "core/files/ParameterFile.h"
#include "core/numtext/NumberText.h"
#include "core/results/ExitStatus.h"
#include "core/results/JsonText.h"
#include "core/results/OutputFile.h"
#include "fit/BondLawFit.h"
#include "fit/FitFigure.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <getopt.h>
#include <iostream>
#include <mutex>
#include <unistd.h>

#ifdef ORVANE_FIGURES
#include "render/FitFigureFile.h"
#endif

namespace orvane {

const char* const kFitUsage =
    "usage: orvane-batch fit --measured FILE [--measured load|stress]\n"
    "                        [--law softening|bilinear|both] [--fix NAME[=TEXT]]...\n"
    "                        [--initial-ds TEXT] [--jobs N] [--output PREFIX]\n"
    "                        [--figure FILE.png|.svg|.pdf] [--json] [-f] [BASE.kvp]\n"
    "\n"
    "Finds the bond-slip law (tau, smax, su) with which the pull-out analysis of BASE.kvp\n"
    "(or of the start-up data set) reproduces a measured load against loaded-end slip\n"
    "curve best in the least-squares sense; geometry, stiffnesses and the element length\n"
    "are those of BASE.kvp.\n"
    "  --measured FILE   the measured curve: two numeric columns, slip (mm) and load (N),\n"
    "                    separated by commas, semicolons, tabs or blanks, with or without a\n"
    "                    header row, UTF-8 or Shift-JIS; rows in the order of the test\n"
    "  --measured stress the second column is the average bond stress (N/mm2) over the\n"
    "                    analysed length n*dl; --measured load (the default) is load\n"
    "                    (a file named load or stress is given as ./load or ./stress)\n"
    "  --law             softening (bi-linear softening, the default), bilinear\n"
    "                    (perfectly bi-linear) or both (each is fitted and reported)\n"
    "  --fix NAME[=TEXT] keeps tau, smax or su at TEXT (a field text, written to the\n"
    "                    fitted file as given) or, without TEXT, at the base file's value;\n"
    "                    may be repeated\n"
    "  --initial-ds      text of the initial ds field (default 1E-07)\n"
    "  --jobs            threads for the trial runs (default: every core)\n"
    "  --output PREFIX   writes PREFIX.kvp, the fitted parameter file, and PREFIX.csv,\n"
    "                    measured against model (PREFIX-softening.* and PREFIX-bilinear.*\n"
    "                    with --law both); default: FILE without its extension, plus -fit\n"
    "  --figure FILE     draws the measured points over the model curve, beside the\n"
    "                    fitted bond-slip law (FILE-softening.svg and FILE-bilinear.svg\n"
    "                    with --law both)\n"
    "  --json            print the results as one JSON object\n"
    "  -f, --force       replace existing FILE-fit.kvp and FILE-fit.csv, whose names the\n"
    "                    fit derived; names given with --output are always replaced\n"
    "The model load at a measured slip is the run's load-slip path interpolated linearly;\n"
    "the path follows the run's steps while the loaded-end slip grows, and beyond its\n"
    "largest slip the bond has failed and carries no load. The uncertainty is the standard\n"
    "error of each parameter from the curvature of the misfit (Gauss-Newton).\n"
    "No output may be the measured file, the base file or another output; each is a regular\n"
    "file or a new name in a writable folder, checked before the fit. Files are written whole\n"
    "or not at all. Ctrl+C or SIGTERM stops the fit and writes nothing.\n"
    "Exit status: 0 done, 1 a file could not be written, 2 bad command line, unreadable\n"
    "files, a data set that cannot be run, a fit that cannot start or an output refused,\n"
    "130 stopped by Ctrl+C or SIGTERM.\n";

namespace {

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

std::string lawName(BondModel model) {
    return model == BondModel::BilinearSoftening ? "softening" : "bilinear";
}

std::string lawTitle(BondModel model) {
    return model == BondModel::BilinearSoftening ? "bi-linear softening" : "perfectly bi-linear";
}

// The data set of the base file as the parameter window would hold it, with Execute's copy.
bool loadBase(const FitOptions& options, DataSet& base) {
    const FileStatus status = LoadDataSet(options.parameterFile, options.initialDsText, base);
    if (!status.ok()) {
        std::cerr << "orvane-batch fit: " << status.message << "\n";
        return false;
    }
    CopyFieldTexts(base.params, base.texts);
    return true;
}

// Shows the best misfit so far on a terminal.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : m_shown(shown) {}
    void show(const std::string& law, const FitProgress& progress) {
        if (!m_shown) {
            return;
        }
        const std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100)) {
            return;
        }
        m_last = now;
        std::cerr << "\rfit " << law << ": " << progress.modelRuns << " runs, RMSE "
                  << BriefText(progress.bestRmse) << " N  (" << BriefText(progress.best[0]) << ", "
                  << BriefText(progress.best[1]) << ", " << BriefText(progress.best[2]) << ")"
                  << "\033[K" << std::flush;
        m_dirty = true;
    }
    void clear() {
        if (m_dirty) {
            std::cerr << "\r\033[K" << std::flush;
            m_dirty = false;
        }
    }

private:
    bool m_shown;
    bool m_dirty = false;
    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_last{};
};

// The comment of the fitted file: what it was fitted to, then the base comment; shortened
// to what Shift-JIS can hold.
std::string fittedComment(const std::string& measuredFile, BondModel model,
                          const std::string& baseComment) {
    const std::string name = std::filesystem::path(measuredFile).filename().string();
    for (const std::string& comment :
         {"Fitted (" + lawTitle(model) + ") to " + name + ": " + baseComment,
          "Fitted (" + lawTitle(model) + ") to " + name,
          "Fitted (" + lawTitle(model) + "): " + baseComment, "Fitted (" + lawTitle(model) + ")"}) {
        if (EncodeCp932(comment).ok() && comment.find('\n') == std::string::npos) {
            return comment;
        }
    }
    return {};
}

// The files of one law: PREFIX.kvp and PREFIX.csv, or PREFIX-softening.* and so on when
// several laws are fitted; the figure likewise.
std::string stemOf(const std::string& prefix, std::size_t laws, BondModel model) {
    return laws > 1 ? prefix + "-" + lawName(model) : prefix;
}

std::string figureOf(std::string figure, std::size_t laws, BondModel model) {
    if (laws > 1) {
        figure.insert(figure.rfind('.'), "-" + lawName(model));
    }
    return figure;
}

struct Written {
    std::string kvp;
    std::string csv;
    std::string figure; // empty without one
};

void printFit(const BondLawFit& fit, const Written& written) {
    std::cout << FitSummary(fit) << "fitted file " << written.kvp << "\n"
              << "CSV         " << written.csv << "\n";
    if (!written.figure.empty()) {
        std::cout << "figure      " << written.figure << "\n";
    }
}

std::string fitJson(const BondLawFit& fit, const Written& written) {
    std::string json = "{\"law\":\"" + lawName(fit.model) + "\"";
    const char* keys[] = {"tauMax", "sMax", "su"};
    for (int j = 0; j < kLawParameterCount; ++j) {
        const ParameterEstimate& p = fit.parameters[std::size_t(j)];
        json += ",\"" + std::string(keys[j]) + "\":{\"text\":" + JsonString(p.text) +
                ",\"value\":" + JsonNumber(p.value) + ",\"fixed\":" + (p.fixed ? "true" : "false") +
                ",\"standardError\":" + (p.fixed ? "0" : JsonNumber(p.standardError)) + "}";
    }
    json += ",\"rmse\":" + JsonNumber(fit.rmse) + ",\"r2\":" + JsonNumber(fit.r2) +
            ",\"Gf\":" + JsonNumber(fit.quantities.Gf) +
            ",\"Pinf\":" + JsonNumber(fit.quantities.Pinf) +
            ",\"Le\":" + JsonNumber(fit.quantities.Le) +
            ",\"modelRuns\":" + std::to_string(fit.modelRuns) +
            ",\"kvp\":" + JsonString(written.kvp) + ",\"csv\":" + JsonString(written.csv) +
            (written.figure.empty() ? "" : ",\"figure\":" + JsonString(written.figure)) + "}";
    return json;
}

} // namespace

FitOptionsParse ParseFitOptions(const std::vector<std::string>& arguments) {
    FitOptionsParse parse;
    FitOptions& options = parse.options;
    std::vector<std::string> storage = {"fit"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    enum { Measured = 1000, Law, Fix, InitialDs, Jobs, Output, Figure, Json, Force, Help };
    static const option longOptions[] = {
        {"measured", required_argument, nullptr, Measured},
        {"law", required_argument, nullptr, Law},
        {"fix", required_argument, nullptr, Fix},
        {"initial-ds", required_argument, nullptr, InitialDs},
        {"jobs", required_argument, nullptr, Jobs},
        {"output", required_argument, nullptr, Output},
        {"figure", required_argument, nullptr, Figure},
        {"json", no_argument, nullptr, Json},
        {"force", no_argument, nullptr, Force},
        {"help", no_argument, nullptr, Help},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0; // a fresh scan, also when called again
    opterr = 0;
    const auto fail = [&](std::string message) {
        if (parse.error.empty()) {
            parse.error = std::move(message);
        }
    };
    for (int option; (option = getopt_long(int(argv.size()) - 1, argv.data(), ":hf", longOptions,
                                           nullptr)) != -1;) {
        const std::string value = optarg ? optarg : "";
        switch (option) {
        case Measured:
            if (value == "load" || value == "stress") {
                options.quantity =
                    value == "load" ? MeasuredQuantity::Load : MeasuredQuantity::AverageStress;
            } else if (!options.measuredFile.empty()) {
                fail("only one measured file can be given");
            } else {
                options.measuredFile = value;
            }
            break;
        case Law:
            if (value == "softening") {
                options.laws = {BondModel::BilinearSoftening};
            } else if (value == "bilinear") {
                options.laws = {BondModel::PerfectlyBilinear};
            } else if (value == "both") {
                options.laws = {BondModel::BilinearSoftening, BondModel::PerfectlyBilinear};
            } else {
                fail("--law takes softening, bilinear or both, not \"" + value + "\"");
            }
            break;
        case Fix: {
            const std::size_t equals = value.find('=');
            const std::optional<int> j = lawParameter(value.substr(0, equals));
            if (!j) {
                fail("--fix takes tau, smax or su, not \"" + value.substr(0, equals) + "\"");
            } else if (options.fixed[std::size_t(*j)]) {
                fail("--fix " + value.substr(0, equals) + " is given twice");
            } else {
                options.fixed[std::size_t(*j)] =
                    equals == std::string::npos ? "" : value.substr(equals + 1);
                if (equals != std::string::npos && value.size() == equals + 1) {
                    fail("--fix " + value + " needs a value after \"=\"");
                }
            }
            break;
        }
        case InitialDs:
            options.initialDsText = value;
            break;
        case Jobs: {
            int jobs = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), jobs);
            if (error != std::errc() || end != value.data() + value.size() || jobs < 1 ||
                jobs > 256) {
                fail("--jobs takes a whole number from 1 to 256, not \"" + value + "\"");
            }
            options.jobs = jobs;
            break;
        }
        case Output:
            options.outputPrefix = value;
            break;
        case Figure:
            if (!FigureFormatOf(value)) {
                fail("--figure needs a name ending in .png, .svg or .pdf, not \"" + value + "\"");
            }
            options.figureFile = value;
            break;
        case Json:
            options.json = true;
            break;
        case 'f':
        case Force:
            options.force = true;
            break;
        case 'h':
        case Help:
            options.help = true;
            break;
        case ':':
            fail(std::string(argv[std::size_t(optind - 1)]) + " needs a value");
            break;
        default:
            fail("unknown option " + std::string(argv[std::size_t(optind - 1)]));
            break;
        }
    }
    for (int k = optind; k < int(argv.size()) - 1; ++k) {
        if (options.parameterFile) {
            fail("only one base parameter file can be given");
        }
        options.parameterFile = argv[std::size_t(k)];
    }
#ifndef ORVANE_FIGURES
    if (options.figureFile) {
        fail("this build of orvane-batch draws no figures (it was built without Qt)");
    }
#endif
    if (!options.help && options.measuredFile.empty()) {
        fail("--measured FILE is needed");
    }
    return parse;
}

int RunFitCommand(int argc, char** argv) {
    const FitOptionsParse parse = ParseFitOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parse.error.empty()) {
        std::cerr << "orvane-batch fit: " << parse.error << "\n\n" << kFitUsage;
        return kExitRefused;
    }
    const FitOptions& options = parse.options;
    if (options.help) {
        std::cout << kFitUsage;
        return kExitDone;
    }

    const std::string prefix = options.outputPrefix.value_or(
        (std::filesystem::path(options.measuredFile).replace_extension()).string() + "-fit");
    FitOutputNames outputs{
        options.parameterFile, options.measuredFile, {}, {}, !options.outputPrefix};
    for (const BondModel model : options.laws) {
        outputs.stems.push_back(stemOf(prefix, options.laws.size(), model));
        if (options.figureFile) {
            outputs.figures.push_back(figureOf(*options.figureFile, options.laws.size(), model));
        }
    }
    if (const std::string refusal = CheckFitOutputs(outputs, options.force); !refusal.empty()) {
        std::cerr << "orvane-batch fit: " << refusal << "\n";
        return kExitRefused;
    }

    DataSet base;
    if (!loadBase(options, base)) {
        return kExitRefused;
    }
    const MeasuredCurveRead read = ReadMeasuredCurve(options.measuredFile);
    for (const std::string& skipped : read.curve.skippedRows) {
        std::cerr << "orvane-batch fit: " << options.measuredFile << ": " << skipped << "\n";
    }
    if (const std::string more = MoreSkippedRows(read.curve); !more.empty()) {
        std::cerr << "orvane-batch fit: " << options.measuredFile << ": " << more << "\n";
    }
    if (!read.error.empty()) {
        std::cerr << "orvane-batch fit: " << read.error << "\n";
        return kExitRefused;
    }
    const FitTarget target = MeasuredLoads(read.curve, options.quantity, base.params);

    const StopOnSignal stopOnSignal;
    ProgressLine progress(isatty(STDERR_FILENO));
    std::string json = "{\"measured\":" + JsonString(options.measuredFile) +
                       ",\"points\":" + std::to_string(target.slip.size()) + ",\"fits\":[";
    const BondLawFit* better = nullptr;
    std::vector<BondLawFit> fits;
    fits.reserve(options.laws.size());
    for (const BondModel model : options.laws) {
        FitSettings settings;
        settings.base = base.params;
        settings.baseTexts = base.texts;
        settings.model = model;
        settings.jobs = options.jobs;
        for (int j = 0; j < kLawParameterCount; ++j) {
            if (const auto& text = options.fixed[std::size_t(j)]) {
                settings.fixedTexts[std::size_t(j)] =
                    text->empty() ? base.texts[std::size_t(kLawFields[std::size_t(j)])] : *text;
            }
        }
        settings.progress = [&, model](const FitProgress& p) { progress.show(lawName(model), p); };
        settings.stop = stopOnSignal.token();
        fits.push_back(FitBondLaw(target, settings));
        progress.clear();
        const BondLawFit& fit = fits.back();
        if (fit.cancelled || stopOnSignal.stopped()) {
            std::cerr << "orvane-batch fit: stopped by a signal; the " << lawTitle(model)
                      << " fit was not finished and nothing more is written\n";
            return kExitStopped;
        }
        if (!fit.problems.empty()) {
            std::cerr << "orvane-batch fit: the " << lawTitle(model) << " law cannot be fitted:\n";
            for (const std::string& problem : fit.problems) {
                std::cerr << "  " << problem << "\n";
            }
            return kExitRefused;
        }

        Written written;
        const std::string stem = stemOf(prefix, options.laws.size(), model);
        written.kvp = stem + ".kvp";
        written.csv = stem + ".csv";
        FileStatus status = SaveParameterFile(
            written.kvp, FittedParameterFile(
                             fit, fittedComment(options.measuredFile, model, base.params.comment),
                             base.params.detailOutput != 0));
        if (status.ok()) {
            status = WriteWholeFile(written.csv, MeasuredAgainstModelCsv(target, fit));
        }
        if (!status.ok()) {
            std::cerr << "orvane-batch fit: " << status.message << "\n";
            return kExitFailed;
        }
#ifdef ORVANE_FIGURES
        if (options.figureFile) {
            const std::string figure = figureOf(*options.figureFile, options.laws.size(), model);
            const std::string error = SaveFitFigure(
                MakeFitFigures(target, fit,
                               std::filesystem::path(options.measuredFile).filename().string()),
                figure);
            if (!error.empty()) {
                std::cerr << "orvane-batch fit: " << error << "\n";
                return kExitFailed;
            }
            written.figure = figure;
        }
#endif
        if (options.json) {
            json += (fits.size() > 1 ? "," : "") + fitJson(fit, written);
        } else {
            if (fits.size() > 1) {
                std::cout << "\n";
            }
            printFit(fit, written);
        }
        if (!better || fit.ssr < better->ssr) {
            better = &fit;
        }
    }
    if (options.json) {
        std::cout << json << "],\"better\":\"" << lawName(better->model) << "\"}\n";
    } else if (fits.size() > 1) {
        std::cout << "\nthe " << lawTitle(better->model) << " law fits better\n";
    }
    return kExitDone;
}

} // namespace orvane
