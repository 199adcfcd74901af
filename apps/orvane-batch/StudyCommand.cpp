#include "apps/orvane-batch/StudyCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/FigureModule.h"
#include "apps/orvane-batch/OutputChecks.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "apps/orvane-batch/StopOnSignal.h"
#include "apps/orvane-batch/Workbooks.h"
#include "core/results/ExitStatus.h"
#include "core/results/OutputFile.h"
#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
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
    StudyPlot plot = MakeStudyPlot(study);
    if (options.figure) {
        if (!plot.plottable()) {
            std::cerr << "orvane-batch study: --figure needs a numeric swept input\n";
            return kExitRefused;
        }
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
    ProgressLine progress(options.quiet);
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::int64_t refused = 0;
    std::vector<StudyPointResult> points; // for --xlsx
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
                if (options.xlsx) {
                    points.push_back(result);
                }
                const std::int64_t done = result.index + 1;
                progress.show(
                    [&] {
                        const double elapsed = seconds();
                        const double left = elapsed / double(done) * double(total - done);
                        return "points " + std::to_string(done) + "/" + std::to_string(total) +
                               "  elapsed " + clock(elapsed) + "  left ~" + clock(left);
                    },
                    done == total);
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
    if (!options.quiet) {
        std::cerr << "orvane-batch study: " << done << " of " << total << " points in "
                  << clock(seconds()) << " on " << std::min<std::int64_t>(options.jobs, total)
                  << " threads\n";
    }
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

} // namespace orvane
