#pragma once

#include "core/results/ResultFileRun.h"

namespace orvane {

// RunToResultFile with the result file going to standard output. The run writes a temporary
// file, copied out when the run has ended, so that the writer never reopens standard output:
// reopening would cut a file that standard output appends to, and a writer that replaces its
// file would replace the device. The summary names the file "-".
RunSummary RunToStandardOutput(AnalysisParameters& params, RunObserver* observer = nullptr,
                               std::stop_token stop = {});

} // namespace orvane
