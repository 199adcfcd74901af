#include "apps/orvane-batch/StudyCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"
#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"

#ifdef ORVANE_FIGURES
#include "render/StudyFigureFile.h"
#endif

#include <chrono>
#include <getopt.h>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace orvane {

const char* const kStudyUsage =
    "usage: orvane-batch study --vary NAME=VALUES [--vary NAME=VALUES] [--jobs N]\n"
    "                          [--csv FILE] [--jsonl FILE] [--figure FILE]\n"
    "                          [--model softening|bilinear] [--initial-ds TEXT] [BASE.kvp]\n"
    "\n"
    "Runs the pull-out analysis for every combination of the swept values on the data set\n"
    "of BASE.kvp (or the start-up set), without result files, and writes one row per point\n"
    "in point order as the points finish.\n"
    "  --vary NAME=VALUES   a swept input, once or twice (the first is the outer loop).\n"
    "      NAME: tauMax (τmax, τy), sMax (smax, sy), su, dl (Δl), lb, b, tf, Ef, tr, Er,\n"
    "            bc, dc, Ec, Ab, Eb, ds (the initial ds field: the run starts from its\n"
    "            number / 100) or law.\n"
    "      VALUES: a list             Ef=150000,200000,230000   law=softening,bilinear\n"
    "              a linear range     lb=10:300:30   (from:to:count, from < to, both ends\n"
    "                                 included, 2 ≤ count ≤ 1000000)\n"
    "              a logarithmic one  lb=10:300:30:log\n"
    "      Each value enters its field as text, read as the parameter window reads it, so a\n"
    "      point equals a single run of the base file with that text in that field. At most\n"
    "      1000000 points.\n"
    "  --jobs N      runs at once (default: the number of processors)\n"
    "  --csv FILE    the rows as CSV, - for standard output (the default when neither\n"
    "                --csv nor --jsonl is given); metadata on lines starting with \"# \"\n"
    "  --jsonl FILE  the rows as JSON lines, - for standard output\n"
    "  --figure FILE Pbumax against the first numeric swept input, with P∞ and, on a bond-\n"
    "                length axis, Le marked (.png, .svg or .pdf)\n"
    "  --model, --initial-ds   the base law and initial ds, as for a single run\n"
    "Columns: point, the swept inputs, steps, Pbumax (N), slmax (mm), end (bond failure, step\n"
    "limit or refused), Gf (N/mm), Pinf = b·√(2·Gf·Ef·tf) (N), Le (mm; the bond length whose\n"
    "closed-form load is 97 % of Pinf), Pbumax/Pinf, problem (why the run checks refused the\n"
    "point; the study goes on). A terminal shows the progress on standard error; Ctrl+C stops\n"
    "the study, leaving the rows of the points finished so far.\n"
    "Exit status: 0 done, 1 an output could not be written, 2 bad command line, unreadable\n"
    "base file or a study that cannot start, 130 stopped.\n";

namespace {

struct StudyOptions {
    StudyDefinition study;
    std::string initialDsText = "1E-07";
    int jobs = DefaultJobs();
    std::optional<std::string> csv;
    std::optional<std::string> jsonl;
    std::optional<std::string> figure;
    std::optional<std::string> baseFile;
    bool help = false;
};

// Reads the command line; returns the error, or an empty text.
std::string parseOptions(int argc, char** argv, StudyOptions& options) {
    enum { kVary = 1, kJobs, kCsv, kJsonl, kFigure, kModel, kInitialDs, kHelp };
    static const option kOptions[] = {
        {"vary", required_argument, nullptr, kVary},
        {"jobs", required_argument, nullptr, kJobs},
        {"csv", required_argument, nullptr, kCsv},
        {"jsonl", required_argument, nullptr, kJsonl},
        {"figure", required_argument, nullptr, kFigure},
        {"model", required_argument, nullptr, kModel},
        {"initial-ds", required_argument, nullptr, kInitialDs},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0; // a fresh scan, also when called again
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1;) {
        const std::string value = optarg ? optarg : "";
        switch (option) {
        case kVary: {
            SweepParse parse = ParseSweep(value);
            if (!parse.error.empty()) {
                return "--vary " + parse.error;
            }
            options.study.sweeps.push_back(std::move(parse.sweep));
            break;
        }
        case kJobs: {
            char* end = nullptr;
            const long jobs = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || jobs < 1 || jobs > 1024) {
                return "--jobs takes a whole number from 1 to 1024, not \"" + value + "\"";
            }
            options.jobs = int(jobs);
            break;
        }
        case kCsv:
            options.csv = value;
            break;
        case kJsonl:
            options.jsonl = value;
            break;
        case kFigure:
            options.figure = value;
            break;
        case kModel:
            if (value == "softening" || value == "bilinear") {
                options.study.base.bondModel = value == "bilinear" ? BondModel::PerfectlyBilinear
                                                                   : BondModel::BilinearSoftening;
            } else {
                return "--model takes softening or bilinear, not \"" + value + "\"";
            }
            break;
        case kInitialDs:
            options.initialDsText = value;
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
    if (options.csv && options.jsonl && *options.csv == "-" && *options.jsonl == "-") {
        return "--csv and --jsonl cannot both go to standard output";
    }
    return {};
}

// The base data set as the parameter window holds it after loading the file and Execute.
bool loadBase(StudyOptions& options) {
    DataSet base;
    const FileStatus status = LoadDataSet(options.baseFile, options.initialDsText, base);
    if (!status.ok()) {
        std::cerr << "orvane-batch: " << status.message << "\n";
        return false;
    }
    CopyFieldTexts(base.params, base.texts);
    options.study.base = std::move(base.params);
    options.study.baseTexts = std::move(base.texts);
    return true;
}

std::string clock(double seconds) {
    const long whole = long(seconds + 0.5);
    const long minutes = whole / 60;
    std::string text = std::to_string(minutes) + ":";
    const long rest = whole % 60;
    return text + (rest < 10 ? "0" : "") + std::to_string(rest);
}

// Points done / total, elapsed and the estimated time left, on a terminal now and then.
class StudyProgress {
public:
    explicit StudyProgress(std::int64_t total) : m_total(total), m_shown(isatty(STDERR_FILENO)) {}

    void pointDone(std::int64_t done) {
        const auto now = std::chrono::steady_clock::now();
        if (!m_shown || (now - m_lastShown < std::chrono::milliseconds(250) && done < m_total)) {
            return;
        }
        m_lastShown = now;
        const double elapsed = seconds();
        const double left = elapsed / double(done) * double(m_total - done);
        std::cerr << "\r\033[Kpoints " << done << "/" << m_total << "  elapsed " << clock(elapsed)
                  << "  left ~" << clock(left) << std::flush;
    }
    void clear() const {
        if (m_shown) {
            std::cerr << "\r\033[K" << std::flush;
        }
    }
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::int64_t m_total;
    bool m_shown;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastShown = m_start;
};

} // namespace

int RunStudyCommand(int argc, char** argv) {
    StudyOptions options;
    const std::string error = parseOptions(argc, argv, options);
    if (!error.empty()) {
        std::cerr << "orvane-batch study: " << error << "\n\n" << kStudyUsage;
        return kExitRefused;
    }
    if (options.help) {
        std::cout << kStudyUsage;
        return kExitDone;
    }
    if (!loadBase(options)) {
        return kExitRefused;
    }
    const StudyDefinition& study = options.study;
    if (const std::string problem = CheckStudy(study); !problem.empty()) {
        std::cerr << "orvane-batch study: " << problem << " (give --vary NAME=VALUES)\n";
        return kExitRefused;
    }
    StudyPlot plot = MakeStudyPlot(study);
    if (options.figure) {
#ifdef ORVANE_FIGURES
        if (!FigureFormatOf(*options.figure)) {
            std::cerr << "orvane-batch study: --figure " << *options.figure
                      << ": the name must end in .png, .svg or .pdf\n";
            return kExitRefused;
        }
        if (!plot.plottable()) {
            std::cerr << "orvane-batch study: --figure needs a numeric swept input\n";
            return kExitRefused;
        }
#else
        std::cerr << "orvane-batch study: this build draws no figures (built without Qt)\n";
        return kExitRefused;
#endif
    }
    if (!options.csv && !options.jsonl) {
        options.csv = "-";
    }
    if (const std::string refusal =
            CheckStudyOutputs(options.baseFile, options.csv, options.jsonl, options.figure);
        !refusal.empty()) {
        std::cerr << "orvane-batch study: " << refusal << "\n";
        return kExitRefused;
    }
    const StopOnSignal stopOnSignal;
    RecordStream csvOut(RecordStream::Ends::CsvRecord);
    RecordStream jsonOut(RecordStream::Ends::Line);
    std::optional<StudyCsvWriter> csv;
    std::optional<StudyJsonLinesWriter> jsonl;
    for (auto [path, out] :
         {std::pair{&options.csv, &csvOut}, std::pair{&options.jsonl, &jsonOut}}) {
        if (*path) {
            if (const FileStatus status = out->open(**path); !status.ok()) {
                std::cerr << "orvane-batch study: " << status.message << "\n";
                return kExitFailed;
            }
        }
    }
    if (options.csv) {
        csv.emplace(csvOut, study);
        csv->begin();
    }
    if (options.jsonl) {
        jsonl.emplace(jsonOut, study);
    }

    const std::int64_t total = PointCount(study);
    StudyProgress progress(total);
    std::int64_t refused = 0;
    std::int64_t done = 0;
    std::string threadProblem;
    try {
        done = RunStudy(
            study, options.jobs,
            [&](const StudyPointResult& result) {
                if (csv) {
                    csv->row(result);
                }
                if (jsonl) {
                    jsonl->row(result);
                }
                refused += result.refused() ? 1 : 0;
                if (options.figure) {
                    plot.add(result);
                }
                progress.pointDone(result.index + 1);
                // Every row reaches its file whole before the next point is taken.
                return !(csv && !csvOut.flush()) && !(jsonl && !jsonOut.flush());
            },
            stopOnSignal.token());
    } catch (const std::system_error& error) {
        done = 0;
        threadProblem = "cannot start the threads for the runs: " + error.code().message();
    }
    progress.clear();
    if (csv) {
        csv->finish(done);
    }
    bool writeFailed = false;
    for (RecordStream* out : {&csvOut, &jsonOut}) {
        if (const FileStatus status = out->close(); !status.ok()) {
            std::cerr << "orvane-batch study: " << status.message << "\n";
            writeFailed = true;
        }
    }
    if (!threadProblem.empty()) {
        std::cerr << "orvane-batch study: " << threadProblem << "\n";
        return kExitFailed;
    }
    std::cerr << "orvane-batch study: " << done << " of " << total << " points in "
              << clock(progress.seconds()) << " on " << std::min<std::int64_t>(options.jobs, total)
              << " threads";
    if (refused > 0) {
        std::cerr << "; " << refused << " refused by the run checks (see the problem column)";
    }
    std::cerr << "\n";
#ifdef ORVANE_FIGURES
    if (options.figure) {
        if (const std::string problem = SaveStudyFigure(plot, *options.figure); !problem.empty()) {
            std::cerr << "orvane-batch study: " << problem << "\n";
            return kExitFailed;
        }
    }
#endif
    if (writeFailed) {
        return kExitFailed;
    }
    return done < total ? kExitStopped : kExitDone;
}

} // namespace orvane
