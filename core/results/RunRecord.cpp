#include "core/results/RunRecord.h"

#include <algorithm>

namespace orvane {

RunRecorder::RunRecorder(const AnalysisParameters& params, int elementCount) {
    m_record.params = params;
    m_record.n = elementCount;
    m_record.distributionStride =
        std::max(1, (elementCount + kMaxDistributionPoints - 1) / kMaxDistributionPoints);
    const std::size_t points = std::size_t(elementCount / m_record.distributionStride + 1);
    m_record.last.elements.reserve(points);
    m_record.peak.elements.reserve(points);
}

void RunRecorder::stepStarted(const StepStart& start) {
    m_record.last.step = start.step;
    m_record.last.elements.clear();
}

void RunRecorder::elementsComputed(std::span<const ElementResult> elements) {
    const int stride = m_record.distributionStride;
    for (const ElementResult& e : elements) {
        if (e.i % stride == 0 || e.i == m_record.n) {
            m_record.last.elements.push_back(e);
        }
    }
}

void RunRecorder::stepFinished(const StepResult& result) {
    m_record.steps.push_back(result);
    if (result.Pl == result.Pbumax && result.Pl > 0) {
        m_record.peak.step = m_record.last.step;
        m_record.peak.elements = m_record.last.elements;
    }
}

void WriteRecordCsv(std::ostream& out, const RunRecord& record, CsvTable table) {
    CsvRunWriter writer(out, table);
    writer.begin(record.params);
    for (const StepResult& result : record.steps) {
        for (const RecordedDistribution* d : {&record.peak, &record.last}) {
            if (table == CsvTable::Distribution && d->step == result.step) {
                writer.stepStarted({result.step, result.s0, result.ds});
                writer.elementsComputed(d->elements);
                break;
            }
        }
        writer.stepFinished(result);
    }
    writer.finish(record.end);
}

} // namespace orvane
