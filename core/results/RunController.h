#pragma once

#include "core/engine/PulloutRun.h"
#include "core/files/FileStatus.h"
#include "core/results/TauSlipFileWriter.h"

#include <memory>
#include <string>

namespace orvane {

// One run's life: the solver, its t-s result file when it writes one, the steps and the
// reason the run ended. Whoever drives it decides only when to step: the batch command steps
// to the end, the calculation window returns to its event loop between stretches of steps,
// a study or a fit runs one point after another without a file.
//
//   RunController run(params);              // params must pass CheckRun
//   run.addObserver(display);               // optional, before the first step
//   FileStatus opened = run.openResultFile(); // optional: without it, results only
//   while (run.step() == RunEnd::None) {}
//
// The run ends at a bond failure, at the step limit, at stop(), at the first failure of the
// result file, or when the march leaves the finite range. At the end the result file is
// closed, holding its header and the steps completed.
class RunController {
public:
    // The run grows params.ds in place and openResultFile stores the result-file name in
    // params.parameterFilePath, as a run from the windows always has.
    explicit RunController(AnalysisParameters& params);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Observers see every step in the order they were added; add them before the first step.
    void addObserver(RunObserver& observer);

    // Opens the t-s file, before the first step: named from params.parameterFilePath by the
    // result-file rule (stored back there), or overridePath when given. A file that is the
    // parameter file itself (params.chosenFilePath, or the path the name was derived from,
    // compared as the same file on disk) is refused and nothing is written. On a failure
    // the run has ended with ResultFileFailed.
    FileStatus openResultFile(const std::string& overridePath = {});

    // One step; returns how the run ended, or None while it goes on. Call only while
    // end() is None.
    RunEnd step();
    // Steps until the run ends.
    RunEnd runToEnd();
    // Ends a run that goes on, between two steps, as Stopped; nothing more is computed.
    void stop();

    RunEnd end() const { return m_end; }
    const PulloutRun& run() const { return m_run; }
    // The result file's path; empty for a run without one.
    const std::string& resultFile() const { return m_file; }
    // The result file's first failure, which ended the run.
    const FileStatus& fileStatus() const { return m_fileStatus; }
    // The header's line 1 shows the parameter file's path with "?" for characters that
    // Shift-JIS cannot hold.
    bool headerPathReplaced() const;
    // What went wrong, ready to show: for ResultFileFailed and NonFinite; empty otherwise.
    std::string failureMessage() const;

private:
    RunEnd finish(RunEnd end);

    AnalysisParameters& m_params;
    PulloutRun m_run;
    std::unique_ptr<TauSlipFileWriter> m_writer;
    std::string m_file;
    FileStatus m_fileStatus;
    RunEnd m_end = RunEnd::None;
};

} // namespace orvane
