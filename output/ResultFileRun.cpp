#include "output/ResultFileRun.h"

#include "output/ResultFileName.h"

namespace orvane {

RunSummary RunToResultFile(AnalysisParameters& params, const std::string& overridePath,
                           RunObserver* observer) {
    RunSummary summary;
    params.parameterFilePath = ResultFilePath(params.parameterFilePath);
    summary.file = overridePath.empty() ? params.parameterFilePath : overridePath;

    TauSlipFileWriter writer;
    summary.status = writer.open(summary.file, params, CurrentLocalDateTime());
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
