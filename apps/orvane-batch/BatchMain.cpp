// orvane-batch: the pull-out analysis without windows, for scripted and repeated runs.

#include "apps/orvane-batch/BatchReport.h"
#include "apps/orvane-batch/CodesCommand.h"
#include "apps/orvane-batch/CommandLine.h"
#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/FigureModule.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "apps/orvane-batch/ResultToStandardOutput.h"
#include "apps/orvane-batch/StandardOutput.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "core/Version.h"
#include "core/engine/PulloutRun.h"
#include "core/engine/RunChecks.h"
#include "core/numtext/NumberText.h"
#include "core/results/BondSummary.h"
#include "core/results/ExitStatus.h"
#include "core/results/JsonText.h"
#include "core/results/ResultFileName.h"
#include "core/results/ResultFileRun.h"

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

using namespace orvane;

namespace {

constexpr const char* kHeaderPathReplaced =
    "the parameter file's path holds characters that Shift-JIS cannot hold; line 1 of the "
    "result file shows them as \"?\"";

// The step on the progress line.
class StepProgress : public RunObserver {
public:
    explicit StepProgress(ProgressLine& line) : m_line(line) {}
    void stepFinished(const StepResult& result) override {
        m_line.show([&result] {
            return "step " + std::to_string(result.step) + "  sl " +
                   FormatMask(result.sl, "0.000e+00") + " mm  Pl " +
                   FormatMask(result.Pl, "0.000e+00") + " N";
        });
    }

private:
    ProgressLine& m_line;
};

// The data set as the parameter window would hold it after loading FILE (or at start-up),
// with the command line's choices and Execute's copy of the texts.
bool loadDataSet(const BatchOptions& options, LoadedDataSet& data, LawFromConcrete& lawFrom) {
    const FileStatus status = LoadDataSet(
        options.parameterFile, {options.model, options.initialDsText, options.detailOutput}, data);
    if (!status.ok()) {
        std::cerr << "orvane-batch: " << status.message << "\n";
        return false;
    }
    lawFrom = ApplyLawFrom(options.lawFrom, data);
    if (!lawFrom.error.empty()) {
        std::cerr << "orvane-batch: " << lawFrom.error << "\n";
        return false;
    }
    if (options.parameterFile && *options.parameterFile != kStandardInput) {
        const std::string fullPath =
            std::filesystem::absolute(*options.parameterFile).lexically_normal().string();
        data.params.chosenFilePath = fullPath;
        data.params.parameterFilePath = fullPath;
    }
    return true;
}

// The law of the run. A parameter file holds none, so where neither it nor --model named one
// the summary says which was taken.
std::string lawLine(const LoadedDataSet& data) {
    std::string line = data.params.bondModel == BondModel::PerfectlyBilinear
                           ? "perfectly bi-linear"
                           : "bi-linear softening";
    if (data.lawAssumed) {
        line += " (the parameter file names no law; --model or a data-set file does)";
    }
    return line;
}

void printSummary(const BatchOptions& options, const LoadedDataSet& data, const RunSummary& run,
                  std::ostream& out, const BondQuantities& bond, const LawFromConcrete& lawFrom) {
    const bool softening = data.params.bondModel == BondModel::BilinearSoftening;
    if (options.json) {
        std::vector<std::string> warnings;
        if (run.end == RunEnd::StepLimit) {
            warnings.push_back("no bond failure within " + std::to_string(PulloutRun::kMaxSteps) +
                               " steps");
        }
        if (ShorterThanEffectiveLength(bond)) {
            warnings.emplace_back(kShortBondNote);
        }
        if (run.headerPathReplaced) {
            warnings.emplace_back(kHeaderPathReplaced);
        }
        out << "{" << JsonProgramKeys() << ",\"steps\":" << run.steps << ",\"n\":" << run.n
            << ",\"Pbumax\":" << JsonNumber(run.Pbumax) << ",\"slmax\":" << JsonNumber(run.slmax)
            << ",\"finalDs\":" << JsonNumber(run.ds) << ",\"law\":\""
            << (softening ? "softening" : "bilinear")
            << "\",\"lawNamed\":" << (data.lawAssumed ? "false" : "true")
            << BondSummaryJson(bond, run.Pbumax) << LawFromJson(lawFrom, data.params)
            << ",\"end\":\"" << RunEndJsonName(run.end) << "\",\"file\":" << JsonString(run.file)
            << ",\"warnings\":" << JsonStringList(warnings) << "}\n";
        return;
    }
    out << "law         " << lawLine(data) << "\n"
        << "steps       " << run.steps << "\n"
        << "elements    " << run.n << "\n"
        << "Pbumax      " << FormatMask(run.Pbumax, "0.000e+00") << " N\n"
        << "slmax       " << FormatMask(run.slmax, "0.000e+00") << " mm\n"
        << "final ds    " << SingleToText(run.ds) << " mm\n"
        << "end         "
        << (run.end == RunEnd::StepLimit ? "step limit: no bond failure within " +
                                               std::to_string(PulloutRun::kMaxSteps) + " steps"
                                         : std::string("bond failure"))
        << "\n"
        << "result file " << run.file << "\n"
        << BondSummaryText(bond, run.Pbumax) << LawFromText(lawFrom, data.params);
}

// The run: the command without a name.
int runCommand(const BatchOptions& options) {
    LoadedDataSet data;
    LawFromConcrete lawFrom;
    if (!loadDataSet(options, data, lawFrom)) {
        return kExitRefused;
    }
    const std::vector<std::string> problems = CheckRun(data.params, data.data.texts);
    if (!problems.empty()) {
        std::cerr << "orvane-batch: the data set cannot be run:\n";
        for (const std::string& problem : problems) {
            std::cerr << "  " << problem << "\n";
        }
        return kExitRefused;
    }

    const RunOutputNames outputs{options.parameterFile,
                                 options.outputPath,
                                 ResultFilePath(data.params.parameterFilePath),
                                 options.csvPath,
                                 options.csvDistributionPath,
                                 options.figurePath,
                                 options.xlsx};
    if (const std::string refusal = CheckRunOutputs(outputs, options.force); !refusal.empty()) {
        std::cerr << "orvane-batch: " << refusal << "\n";
        return kExitRefused;
    }

    const StopOnSignal stopOnSignal;
    BatchReport report(options);
    if (!report.begin(data.params)) {
        std::cerr << "orvane-batch: " << report.error() << "\n";
        return kExitFailed;
    }
    const BondQuantities bond = ComputeBondQuantities(data.params);
    // "-" sends the result file to standard output, and the summary to standard error.
    const bool resultToStdout = options.outputPath == "-";
    ProgressLine progress(options.quiet);
    StepProgress stepProgress(progress);
    RunObserver* const observer = report.observer(progress.onTerminal() ? &stepProgress : nullptr);
    const RunSummary run = resultToStdout
                               ? RunToStandardOutput(data.params, observer, stopOnSignal.token())
                               : RunToResultFile(data.params, options.outputPath.value_or(""),
                                                 observer, stopOnSignal.token());
    progress.clear();
    if (run.headerPathReplaced) {
        std::cerr << "orvane-batch: warning: " << kHeaderPathReplaced << " (" << run.file << ")\n";
    }
    if (!run.failureMessage.empty()) {
        std::cerr << "orvane-batch: " << run.failureMessage << "\n";
        return kExitFailed;
    }
    if (!report.finish(run)) {
        std::cerr << "orvane-batch: " << report.error() << "\n";
        return kExitFailed;
    }
    if (options.xlsx) {
        const Workbook book =
            RunWorkbook(data.params, data.data.texts, report.steps(), bond, run.end);
        if (const FileStatus status = WriteWorkbook(*options.xlsx, book); !status.ok()) {
            std::cerr << "orvane-batch: " << status.message << "\n";
            return kExitFailed;
        }
    }
    if (run.end == RunEnd::Stopped) {
        std::cerr << "orvane-batch: stopped by a signal after step " << run.steps << "; "
                  << run.file << " holds steps 1 to " << run.steps
                  << " and the CSV tables end with \"# end,stopped\"\n";
        return kExitStopped;
    }
    if (options.json || !options.quiet) {
        printSummary(options, data, run, resultToStdout ? std::cerr : report.summaryStream(), bond,
                     lawFrom);
    }
    return run.end == RunEnd::StepLimit ? kExitStepLimit : kExitDone;
}

// What the command line asks for; returns the exit status.
int runCommandLine(const CommandLine& line) {
    const std::string name = CommandName(line.command);
    if (!line.error.empty()) {
        // One line and where to read more: the whole help would bury the message.
        std::cerr << name << ": " << line.error << "\nTry '" << name
                  << " --help' for more information.\n";
        return kExitRefused;
    }
    if (line.helpAsked()) {
        std::cout << line.help;
        return kExitDone;
    }
    if (line.run.version) {
        std::cout << "orvane-batch " << kVersion << "\n";
        return kExitDone;
    }
    // The figure module is loaded before any work, so that a program without it refuses at once.
    if (std::string error; line.figureAsked() && !LoadFigureModule(error)) {
        std::cerr << name << ": --figure: " << error << "\n";
        return kExitRefused;
    }
    switch (line.command) {
    case Command::Study:
        return line.study.samples ? RunSampledStudyCommand(line.study)
                                  : RunStudyCommand(line.study);
    case Command::StudyMerge:
        return RunStudyMergeCommand(line.studyMerge);
    case Command::Fit:
        return RunFitCommand(line.fit);
    case Command::Codes:
        return RunCodesCommand(line.codes);
    case Command::Convert:
        return RunConvertCommand(line.convert);
    case Command::Validate:
        return RunValidateCommand(line.validate);
    case Command::Run:
        break;
    }
    return runCommand(line.run);
}

} // namespace

int main(int argc, char** argv) {
    GuardStandardOutput();
    // Past a file-size limit a write fails with EFBIG, and the writers cut the file back to
    // whole steps, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    const int status = runCommandLine(line);
    // What went to standard output (summary, JSON, table, help) must have arrived: a script
    // that reads it must not take a lost result for success, with warnings or without. A
    // command that failed, was refused or was stopped has told why.
    const bool reported = status == kExitDone || status == kExitStepLimit ||
                          status == kExitOutOfScope || status == kExitFitWarnings;
    const std::string failure = StandardOutputFailure();
    if (!failure.empty() && reported) {
        std::cerr << CommandName(line.command) << ": cannot write standard output: " << failure
                  << "\n";
        return kExitFailed;
    }
    return status;
}
