#include "core/results/ResultFileRun.h"

#include "core/results/RunController.h"

namespace orvane {

RunSummary RunToResultFile(AnalysisParameters& params, const std::string& overridePath,
                           RunObserver* observer, std::stop_token stop) {
    RunController controller(params);
    if (observer) {
        controller.addObserver(*observer);
    }
    if (controller.openResultFile(overridePath).ok()) {
        while (!stop.stop_requested() && controller.step() == RunEnd::None) {
        }
        controller.stop(); // ends a run that the stop request left under way
    }
    const PulloutRun& run = controller.run();
    RunSummary summary;
    summary.steps = run.stepNumber();
    summary.n = run.elementCount();
    summary.Pbumax = run.Pbumax();
    summary.slmax = run.slmax();
    summary.ds = params.ds;
    summary.end = controller.end();
    summary.file = controller.resultFile();
    summary.status = controller.fileStatus();
    summary.failureMessage = controller.failureMessage();
    summary.headerPathReplaced = controller.headerPathReplaced();
    return summary;
}

} // namespace orvane
