#include "apps/orvane-batch/StudyCommand.h"

#include "apps/orvane-batch/DataSet.h"
#include "apps/orvane-batch/ProgressLine.h"
#include "core/results/ExitStatus.h"
#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyWriters.h"

#ifdef ORVANE_FIGURES
#include "render/StudyFigureFile.h"
#endif

#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <pthread.h>
#include <thread>

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
    study.base = std::move(base.params);
    study.baseTexts = std::move(base.data.texts);
    study.sweeps = options.sweeps;
    return true;
}

// One output stream: standard output for "-", else the file.
struct Output {
    std::string name;
    std::unique_ptr<std::ofstream> file;
    std::ostream* stream = nullptr;

    bool open(const std::string& path) {
        name = path == "-" ? "standard output" : path;
        if (path == "-") {
            stream = &std::cout;
            return true;
        }
        file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
        stream = file.get();
        return bool(*file);
    }
};

std::string clock(double seconds) {
    const long whole = long(seconds + 0.5);
    const long minutes = whole / 60;
    std::string text = std::to_string(minutes) + ":";
    const long rest = whole % 60;
    return text + (rest < 10 ? "0" : "") + std::to_string(rest);
}

// Ctrl+C and a termination request stop the study: the signals are blocked in every thread
// and taken by one watcher, which may then use the stop source (a handler could not).
class StopOnSignal {
public:
    StopOnSignal() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        m_watcher = std::jthread([this](std::stop_token ending) {
            const timespec wait{0, 100'000'000};
            while (!ending.stop_requested()) {
                if (sigtimedwait(&m_signals, nullptr, &wait) > 0) {
                    m_stop.request_stop();
                    return;
                }
            }
        });
    }
    std::stop_token token() const { return m_stop.get_token(); }

private:
    sigset_t m_signals;
    std::stop_source m_stop;
    std::jthread m_watcher;
};

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
#ifdef ORVANE_FIGURES
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
    Output csvOut, jsonOut;
    std::optional<StudyCsvWriter> csv;
    std::optional<StudyJsonLinesWriter> jsonl;
    for (auto [path, out] :
         {std::pair{&options.csv, &csvOut}, std::pair{&options.jsonl, &jsonOut}}) {
        if (*path && !out->open(**path)) {
            std::cerr << "orvane-batch study: cannot write " << out->name << "\n";
            return kExitFailed;
        }
    }
    if (options.csv) {
        csv.emplace(*csvOut.stream, study);
        csv->begin();
    }
    if (options.jsonl) {
        jsonl.emplace(*jsonOut.stream, study);
    }

    const std::int64_t total = PointCount(study);
    ProgressLine progress;
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::int64_t refused = 0;
    bool writeFailed = false;
    std::int64_t done = 0;
    {
        const StopOnSignal stopOnSignal;
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
                const std::int64_t done = result.index + 1;
                progress.show(
                    [&] {
                        const double elapsed = seconds();
                        const double left = elapsed / double(done) * double(total - done);
                        return "points " + std::to_string(done) + "/" + std::to_string(total) +
                               "  elapsed " + clock(elapsed) + "  left ~" + clock(left);
                    },
                    done == total);
                writeFailed =
                    (csv && !csvOut.stream->flush()) || (jsonl && !jsonOut.stream->flush());
                return !writeFailed;
            },
            stopOnSignal.token());
    }
    progress.clear();
    if (csv) {
        csv->finish(done);
    }
    for (const Output* out : {&csvOut, &jsonOut}) {
        if (out->stream && !out->stream->flush()) {
            std::cerr << "orvane-batch study: cannot write " << out->name << "\n";
            return kExitFailed;
        }
    }
    std::cerr << "orvane-batch study: " << done << " of " << total << " points in "
              << clock(seconds()) << " on " << std::min<std::int64_t>(options.jobs, total)
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
