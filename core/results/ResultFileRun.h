#pragma once

#include "core/engine/PulloutRun.h"
#include "core/files/FileStatus.h"

#include <stop_token>
#include <string>

namespace orvane {

struct RunSummary {
    int steps = 0;
    int n = 0;
    double Pbumax = 0; // N
    double slmax = 0;  // mm
    float ds = 0;      // the last slip increment, mm
    RunEnd end = RunEnd::None;
    std::string file;
    FileStatus status;               // the first failure of the result file; the run stopped there
    std::string failureMessage;      // for the ends ResultFileFailed and NonFinite
    bool headerPathReplaced = false; // line 1 shows "?" for characters Shift-JIS cannot hold
};

// A whole run without windows: derives the result-file name from params.parameterFilePath
// (stored back there) unless a path is given, writes the t-s file, and steps until the run
// ends or stop is requested, which ends it between two steps as Stopped, the file holding the
// steps done. params must pass CheckRun. observer, when given, sees every step too.
RunSummary RunToResultFile(AnalysisParameters& params, const std::string& overridePath = {},
                           RunObserver* observer = nullptr, std::stop_token stop = {});

} // namespace orvane
