#include "apps/orvane-batch/ResultToStandardOutput.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace orvane {

RunSummary RunToStandardOutput(AnalysisParameters& params, RunObserver* observer,
                               std::stop_token stop) {
    std::string path = (std::filesystem::temp_directory_path() / "orvane-XXXXXX.t-s").string();
    const int fd = mkstemps(path.data(), 4);
    if (fd < 0) {
        RunSummary failed;
        failed.file = "-";
        failed.status = SystemFailure(FileFailure::CannotOpen, path, errno);
        failed.end = RunEnd::ResultFileFailed;
        failed.failureMessage = failed.status.message;
        return failed;
    }
    ::close(fd);
    RunSummary summary = RunToResultFile(params, path, observer, stop);
    // A run that failed leaves nothing on standard output: a reader gets whole files only.
    if (summary.failureMessage.empty()) {
        std::ifstream result(path, std::ios::binary);
        std::cout << result.rdbuf() << std::flush;
        if (!result || !std::cout) {
            summary.status = {FileFailure::CannotWrite, 0,
                              "Cannot write the result file to standard output."};
            summary.end = RunEnd::ResultFileFailed;
            summary.failureMessage = summary.status.message;
        }
    }
    std::filesystem::remove(path);
    summary.file = "-";
    return summary;
}

} // namespace orvane
