#pragma once

#include "engine/PulloutRun.h"
#include "files/FileStatus.h"
#include "output/TauSlipFileWriter.h"

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
    FileStatus status; // the first failure of the result file; the run stopped there
};

// Opens a run's result file: derives its name from params.parameterFilePath and stores it back
// there, then opens the writer on it, or on overridePath when one is given, stamped with the
// current date and time. Returns the file's name through `file`.
FileStatus OpenResultFile(TauSlipFileWriter& writer, AnalysisParameters& params,
                          const std::string& overridePath, std::string& file);

// A whole run without windows: derives the result-file name from params.parameterFilePath
// (stored back there) unless a path is given, writes the t-s file, and steps until the bond
// fails or the step limit is reached. params must pass CheckRun. observer, when given, sees
// every step too.
RunSummary RunToResultFile(AnalysisParameters& params, const std::string& overridePath = {},
                           RunObserver* observer = nullptr);

} // namespace orvane
