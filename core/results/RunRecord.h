#pragma once

// What is kept of a finished run for export and figures: the parameter set as the run began,
// every step's result, and the distributions of the last step and of the step that set
// Pbumax (after a bond failure the last step carries almost nothing).

#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"
#include "core/results/CsvRunWriter.h"

#include <ostream>
#include <vector>

namespace orvane {

// One step's elements, every stride-th of them and the last one: a figure or a table of a mesh
// of millions needs no more than some thousands of points.
struct RecordedDistribution {
    int step = 0; // 0: none recorded
    std::vector<ElementResult> elements;
};

struct RunRecord {
    AnalysisParameters params; // as the run began, with its first slip increment
    std::vector<StepResult> steps;
    RecordedDistribution last;
    RecordedDistribution peak; // the step that last set Pbumax
    int distributionStride = 1;
    int n = 0;
    RunEnd end = RunEnd::None;
};

// Records a run as it goes. A step's result costs a few dozen bytes (at most kMaxSteps of
// them); the distribution is overwritten each step.
class RunRecorder : public RunObserver {
public:
    static constexpr int kMaxDistributionPoints = 20000;

    RunRecorder(const AnalysisParameters& params, int elementCount);

    void setEnd(RunEnd end) { m_record.end = end; }
    const RunRecord& record() const { return m_record; }

    bool wantsElements() const override { return true; }
    void stepStarted(const StepStart& start) override;
    void elementsComputed(std::span<const ElementResult> elements) override;
    void stepFinished(const StepResult& result) override;

private:
    RunRecord m_record;
};

// The record as the CSV writer would have written it during the run; for the distribution
// table, the recorded elements of the peak step and of the last step.
void WriteRecordCsv(std::ostream& out, const RunRecord& record, CsvTable table);

} // namespace orvane
