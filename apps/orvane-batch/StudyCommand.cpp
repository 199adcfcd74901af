#include "apps/orvane-batch/StudyCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/FigureModule.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "apps/orvane-batch/Workbooks.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"
#include "core/study/CapacityFigure.h"
#include "core/study/SamplingWriters.h"
#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

namespace orvane {

namespace {

// The base data set as the parameter window holds it after loading the file and Execute.
bool loadBase(const StudyOptions& options, StudyDefinition& study) {
    LoadedDataSet base;
    const FileStatus status =
        LoadDataSet(options.baseFile, {options.model, options.initialDsText, {}}, base);
    if (!status.ok()) {
        std::cerr << "orvane-batch: " << status.message << "\n";
        return false;
    }
    const LawFromConcrete law = ApplyLawFrom(options.lawFrom, base);
    if (!law.error.empty()) {
        std::cerr << "orvane-batch study: " << law.error << "\n";
        return false;
    }
    study.lawFrom = law.model ? std::string(ModelInfo(*law.model).name) : std::string();
    study.base = std::move(base.params);
    study.baseTexts = std::move(base.data.texts);
    study.sweeps = options.sweeps;
    return true;
}

std::string clock(double seconds) {
    const long whole = long(seconds + 0.5);
    const long minutes = whole / 60;
    std::string text = std::to_string(minutes) + ":";
    const long rest = whole % 60;
    return text + (rest < 10 ? "0" : "") + std::to_string(rest);
}

// The progress line's text: points done of those this run makes, time taken and left.
std::string progressText(std::string_view noun, std::int64_t done, std::int64_t total,
                         double elapsed) {
    const double left = elapsed / double(done) * double(total - done);
    return std::string(noun) + " " + std::to_string(done) + "/" + std::to_string(total) +
           "  elapsed " + clock(elapsed) + "  left ~" + clock(left);
}

// The tables' outputs, opened before the runs. Returns false after saying why one cannot be.
bool openTables(const StudyOptions& options, RecordStream& csvOut, RecordStream& jsonOut) {
    for (auto [path, out] :
         {std::pair{&options.csv, &csvOut}, std::pair{&options.jsonl, &jsonOut}}) {
        if (*path) {
            if (const FileStatus status = out->open(**path); !status.ok()) {
                std::cerr << "orvane-batch study: " << status.message << "\n";
                return false;
            }
        }
    }
    return true;
}

// The tables' closing records: the study's closing metadata, or a shard's with its own record
// after it (Shard.h). Returns false when a table could not be written whole.
bool closeTables(const StudyOptions& options, RecordStream& csvOut, RecordStream& jsonOut,
                 std::string_view csvHead, std::int64_t done, std::int64_t total) {
    if (options.csv) {
        csvOut << StudyClosingLines(done, total);
        if (options.shard) {
            csvOut << ShardCsvLine(*options.shard);
        }
    }
    if (options.jsonl && options.shard) {
        jsonOut << ShardJsonLine(*options.shard, StudyFingerprint(csvHead), done, done == total);
    }
    bool written = true;
    for (RecordStream* out : {&csvOut, &jsonOut}) {
        if (const FileStatus status = out->close(); !status.ok()) {
            std::cerr << "orvane-batch study: " << status.message << "\n";
            written = false;
        }
    }
    return written;
}

// The sampled study the options describe, its base loaded; false after saying why not.
bool makeSampledStudy(const StudyOptions& options, SampledStudy& study) {
    study.inputs = options.distributions;
    study.count = *options.samples;
    study.seed = options.seed;
    study.method = options.sampling;
    const bool fcSampled = std::any_of(study.inputs.begin(), study.inputs.end(),
                                       [](const SampledInput& input) { return !input.field; });
    StudyOptions baseOptions = options;
    if (fcSampled) {
        // Each sample derives its own law from its fc'; the base keeps the file's.
        if (options.lawFrom.fc) {
            std::cerr << "orvane-batch study: --fc cannot go with a sampled fc\n";
            return false;
        }
        if (options.lawFrom.model) {
            study.lawModel = FindBondSlipModel(*options.lawFrom.model);
        }
        study.ftText = options.lawFrom.ft.value_or("");
        baseOptions.lawFrom = {};
    }
    if (!loadBase(baseOptions, study.base)) {
        return false;
    }
    if (fcSampled && study.lawModel) {
        study.base.lawFrom = ModelInfo(*study.lawModel).name;
    }
    if (options.modelFactor) {
        const ModelFactorRead read = ReadModelFactor(*options.modelFactor);
        if (!read.error.empty()) {
            std::cerr << "orvane-batch study: --model-factor: " << read.error << "\n";
            return false;
        }
        study.modelFactor = read.factor;
    }
    if (const std::string problem = CheckSampledStudy(study); !problem.empty()) {
        std::cerr << "orvane-batch study: " << problem << "\n";
        return false;
    }
    return true;
}

// Writes the summary as JSON to a file, whole, or to standard output.
bool writeSummary(const std::string& path, const std::string& json) {
    if (path == "-") {
        std::cout << json << std::flush;
        return true;
    }
    if (const FileStatus status = WriteWholeFile(path, json); !status.ok()) {
        std::cerr << "orvane-batch: " << status.message << "\n";
        return false;
    }
    return true;
}

// What a study's runs left: the points handed out, the time they took, and why the threads
// could not start (empty when they could).
struct TableRun {
    std::int64_t done = 0;
    double seconds = 0;
    std::string threadProblem;
};

// Runs the points of range on the pool with the progress line, and writes each row whole to
// the tables asked for before the next point is taken; take sees each result after its rows.
template <typename CsvWriter, typename JsonWriter>
TableRun runIntoTables(const StudyOptions& options, PointRange range, const PointRunner& runPoint,
                       std::optional<CsvWriter>& csv, std::optional<JsonWriter>& jsonl,
                       RecordStream& csvOut, RecordStream& jsonOut, std::string_view noun,
                       const std::function<void(const StudyPointResult&)>& take,
                       std::stop_token stop) {
    const std::int64_t total = range.size();
    ProgressLine progress(options.quiet);
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    TableRun run;
    try {
        run.done = RunPoints(
            range, options.jobs, runPoint,
            [&](const StudyPointResult& result) {
                if (csv) {
                    csv->row(result);
                }
                if (jsonl) {
                    jsonl->row(result);
                }
                take(result);
                const std::int64_t done = result.index - range.first + 1;
                progress.show([&] { return progressText(noun, done, total, seconds()); },
                              done == total);
                // Every row reaches its file whole before the next point is taken.
                return !(csv && !csvOut.flush()) && !(jsonl && !jsonOut.flush());
            },
            std::move(stop));
    } catch (const std::system_error& error) {
        run.done = 0;
        run.threadProblem = "cannot start the threads for the runs: " + error.code().message();
    }
    progress.clear();
    run.seconds = seconds();
    return run;
}

// The closing line of a study's pace ("12 of 12 points in 0:03 on 2 threads"); --quiet
// leaves it out, as it leaves out the progress line.
void reportPace(const StudyOptions& options, const TableRun& run, std::string_view noun,
                std::int64_t total) {
    if (!options.quiet) {
        std::cerr << "orvane-batch study: " << run.done << " of " << total << " " << noun << " in "
                  << clock(run.seconds) << " on " << std::min<std::int64_t>(options.jobs, total)
                  << " threads\n";
    }
}

} // namespace

int RunStudyCommand(const StudyOptions& given) {
    StudyOptions options = given;
    StudyDefinition study;
    if (!loadBase(options, study)) {
        return kExitRefused;
    }
    if (options.jobs == 0) {
        options.jobs = DefaultJobs();
    }
    if (const std::string problem = CheckStudy(study); !problem.empty()) {
        std::cerr << "orvane-batch study: " << problem << " (give --vary NAME=VALUES)\n";
        return kExitRefused;
    }
    // Every study that can start has a figure: a numeric axis, or the law's places.
    StudyPlot plot = MakeStudyPlot(study);
    if (options.figure && options.shard) {
        std::cerr << "orvane-batch study: --figure draws the whole study; a shard cannot\n";
        return kExitRefused;
    }
    if (!options.csv && !options.jsonl) {
        options.csv = "-";
    }
    if (const std::string refusal = CheckStudyOutputs(options.baseFile, options.csv, options.jsonl,
                                                      options.figure, options.xlsx);
        !refusal.empty()) {
        std::cerr << "orvane-batch study: " << refusal << "\n";
        return kExitRefused;
    }
    const StopOnSignal stopOnSignal;
    RecordStream csvOut(RecordStream::Ends::CsvRecord);
    RecordStream jsonOut(RecordStream::Ends::Line);
    std::optional<StudyCsvWriter> csv;
    std::optional<StudyJsonLinesWriter> jsonl;
    if (!openTables(options, csvOut, jsonOut)) {
        return kExitFailed;
    }
    if (options.csv) {
        csv.emplace(csvOut, study);
        csv->begin();
    }
    if (options.jsonl) {
        jsonl.emplace(jsonOut, study);
    }

    const PointRange range = options.shard ? ShardRange(PointCount(study), *options.shard)
                                           : PointRange{0, PointCount(study)};
    const std::int64_t total = range.size();
    std::int64_t refused = 0;
    std::vector<StudyPointResult> points; // for --xlsx
    const TableRun run = runIntoTables(
        options, range,
        [&study](std::int64_t k, std::stop_token stop) { return RunStudyPoint(study, k, stop); },
        csv, jsonl, csvOut, jsonOut, "points",
        [&](const StudyPointResult& result) {
            refused += result.refused() ? 1 : 0;
            if (options.figure) {
                plot.add(result);
            }
            if (options.xlsx) {
                points.push_back(result);
            }
        },
        stopOnSignal.token());
    const std::int64_t done = run.done;
    std::ostringstream head;
    StudyCsvWriter(head, study).begin();
    const bool writeFailed = !closeTables(options, csvOut, jsonOut, head.str(), done, total);
    if (!run.threadProblem.empty()) {
        std::cerr << "orvane-batch study: " << run.threadProblem << "\n";
        return kExitFailed;
    }
    reportPace(options, run, "points", total);
    if (refused > 0) {
        std::cerr << "orvane-batch study: warning: the run checks refused " << refused << " of "
                  << total << " points (see the problem column)\n";
    }
    if (options.figure) {
        std::string problem;
        const FigureFunctions* const figures = LoadFigureModule(problem);
        if (figures) {
            problem = figures->saveStudyFigure(plot, *options.figure);
        }
        if (!problem.empty()) {
            std::cerr << "orvane-batch study: " << problem << "\n";
            return kExitFailed;
        }
    }
    if (options.xlsx) {
        if (const FileStatus status = WriteWorkbook(*options.xlsx, StudyWorkbook(study, points));
            !status.ok()) {
            std::cerr << "orvane-batch study: " << status.message << "\n";
            return kExitFailed;
        }
    }
    if (writeFailed) {
        return kExitFailed;
    }
    if (done < total) {
        return kExitStopped;
    }
    // As a single run of a data set the run checks refuse: nothing was analysed.
    if (refused == total) {
        std::cerr << "orvane-batch study: the run checks refused every point\n";
        return kExitRefused;
    }
    return kExitDone;
}

int RunSampledStudyCommand(const StudyOptions& given) {
    StudyOptions options = given;
    SampledStudy study;
    if (!makeSampledStudy(options, study)) {
        return kExitRefused;
    }
    if (options.jobs == 0) {
        options.jobs = DefaultJobs();
    }
    if (options.shard && (options.figure || options.summary)) {
        std::cerr << "orvane-batch study: a shard holds part of the samples; its summary and "
                     "figure come from the merged file\n";
        return kExitRefused;
    }
    if (!options.csv && !options.jsonl && options.summary != "-") {
        options.csv = "-";
    }
    const bool modelFactorFile = study.modelFactor && !study.modelFactor->source.empty();
    if (const std::string refusal = CheckSampledStudyOutputs(
            {options.baseFile, modelFactorFile ? options.modelFactor : std::nullopt, options.csv,
             options.jsonl, options.summary, options.figure});
        !refusal.empty()) {
        std::cerr << "orvane-batch study: " << refusal << "\n";
        return kExitRefused;
    }
    // The whole list first, from the seed alone: a shard takes its part of the same list.
    const SampleTable table = DrawSamples(study);
    const StopOnSignal stopOnSignal;
    RecordStream csvOut(RecordStream::Ends::CsvRecord);
    RecordStream jsonOut(RecordStream::Ends::Line);
    std::optional<SampleCsvWriter> csv;
    std::optional<SampleJsonLinesWriter> jsonl;
    if (!openTables(options, csvOut, jsonOut)) {
        return kExitFailed;
    }
    if (options.csv) {
        csv.emplace(csvOut, study, table);
        csv->begin();
    }
    if (options.jsonl) {
        jsonl.emplace(jsonOut, study, table);
    }

    const PointRange range =
        options.shard ? ShardRange(study.count, *options.shard) : PointRange{0, study.count};
    const std::int64_t total = range.size();
    CapacityTally tally;
    const TableRun run = runIntoTables(
        options, range,
        [&](std::int64_t k, std::stop_token stop) { return RunSample(study, table, k, stop); }, csv,
        jsonl, csvOut, jsonOut, "samples",
        [&](const StudyPointResult& result) { tally.add(result, table); }, stopOnSignal.token());
    const std::int64_t done = run.done;
    std::ostringstream head;
    SampleCsvWriter(head, study, table).begin();
    const bool writeFailed = !closeTables(options, csvOut, jsonOut, head.str(), done, total);
    if (!run.threadProblem.empty()) {
        std::cerr << "orvane-batch study: " << run.threadProblem << "\n";
        return kExitFailed;
    }
    reportPace(options, run, "samples", total);
    if (writeFailed) {
        return kExitFailed;
    }
    if (done < total) {
        std::cerr << "orvane-batch study: stopped; no summary of part of the samples\n";
        return kExitStopped;
    }
    if (options.shard) {
        return kExitDone;
    }
    return ReportCapacities({study, tally.capacities, tally.excluded, {}},
                            {options.partialFactor, options.targetBeta}, options.summary,
                            options.figure, "orvane-batch study", options.quiet);
}

int ReportCapacities(const SampledCsv& sampled, const DesignBasis& basis,
                     const std::optional<std::string>& summaryPath,
                     const std::optional<std::string>& figurePath, const std::string& command,
                     bool quiet) {
    if (sampled.capacities.size() < 2) {
        std::cerr << command
                  << ": fewer than two samples have a capacity (the run "
                     "checks refused them or they reached the step limit; see the problem "
                     "column)\n";
        return kExitRefused;
    }
    const CapacitySummary summary =
        SummarizeCapacities(sampled.capacities, sampled.excluded, basis);
    if (quiet) {
        for (const std::string& warning : summary.warnings) {
            std::cerr << command << ": warning: " << warning << "\n";
        }
    } else {
        std::cerr << SampleSummaryText(summary, basis);
    }
    const std::int64_t done = std::int64_t(sampled.capacities.size()) + sampled.excluded;
    if (summaryPath &&
        !writeSummary(*summaryPath, SampleSummaryJson(sampled.study, summary, basis, done))) {
        return kExitFailed;
    }
    if (figurePath) {
        std::string problem;
        const FigureFunctions* const figures = LoadFigureModule(problem);
        if (figures) {
            // Two panels one above the other, as the fit's figure.
            problem = figures->saveFitFigure(MakeCapacityFigures(sampled.capacities, summary, basis,
                                                                 CapacityCaption(sampled.study)),
                                             *figurePath);
        }
        if (!problem.empty()) {
            std::cerr << command << ": " << problem << "\n";
            return kExitFailed;
        }
    }
    return summary.warnings.empty() ? kExitDone : kExitSampleWarnings;
}

} // namespace orvane
