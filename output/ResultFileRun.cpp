#include "output/ResultFileRun.h"

#include "output/ResultFileName.h"

namespace orvane {

FileStatus OpenResultFile(TauSlipFileWriter& writer, AnalysisParameters& params,
                          const std::string& overridePath, std::string& file) {
    params.parameterFilePath = ResultFilePath(params.parameterFilePath);
    file = overridePath.empty() ? params.parameterFilePath : overridePath;
    return writer.open(file, params, CurrentLocalDateTime());
}

RunSummary RunToResultFile(AnalysisParameters& params, const std::string& overridePath,
                           RunObserver* observer) {
    RunSummary summary;
    TauSlipFileWriter writer;
    summary.status = OpenResultFile(writer, params, overridePath, summary.file);
    if (!summary.status.ok()) {
        return summary;
    }
    PulloutRun run(params);
    run.addObserver(writer);
    if (observer) {
        run.addObserver(*observer);
    }
    while (run.step() == RunEnd::None && writer.status().ok()) {
    }
    summary.status = writer.close();
    summary.steps = run.stepNumber();
    summary.n = run.elementCount();
    summary.Pbumax = run.Pbumax();
    summary.slmax = run.slmax();
    summary.ds = params.ds;
    summary.end = run.end();
    return summary;
}

} // namespace orvane
