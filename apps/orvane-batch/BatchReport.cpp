#include "apps/orvane-batch/BatchReport.h"

#include "apps/orvane-batch/FigureModule.h"
#include "core/results/BondSummary.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/JsonText.h"
#include "core/results/RunRecord.h"

#include <algorithm>
#include <iostream>

namespace orvane {

// Hands each event to every report and to the next observer; element blocks only to those
// that want them.
class BatchReport::Fanout : public RunObserver {
public:
    void add(RunObserver* observer) {
        if (observer) {
            m_observers.push_back(observer);
        }
    }
    bool wantsElements() const override {
        for (const RunObserver* observer : m_observers) {
            if (observer->wantsElements()) {
                return true;
            }
        }
        return false;
    }
    void stepStarted(const StepStart& start) override {
        for (RunObserver* observer : m_observers) {
            observer->stepStarted(start);
        }
    }
    void elementsComputed(std::span<const ElementResult> elements) override {
        for (RunObserver* observer : m_observers) {
            if (observer->wantsElements()) {
                observer->elementsComputed(elements);
            }
        }
    }
    void stepFinished(const StepResult& result) override {
        for (RunObserver* observer : m_observers) {
            observer->stepFinished(result);
        }
    }
    void curvePointAdded(int step, double sl, double totalTau) override {
        for (RunObserver* observer : m_observers) {
            observer->curvePointAdded(step, sl, totalTau);
        }
    }

private:
    std::vector<RunObserver*> m_observers;
};

BatchReport::BatchReport(const BatchOptions& options) : m_options(options) {
}

BatchReport::~BatchReport() = default;

bool BatchReport::openTable(const std::string& path, CsvTable kind) {
    Table table{std::make_unique<RecordStream>(RecordStream::Ends::CsvRecord), nullptr};
    if (const FileStatus status = table.out->open(path); !status.ok()) {
        m_error = status.message;
        return false;
    }
    table.writer = std::make_unique<CsvRunWriter>(*table.out, kind);
    m_tables.push_back(std::move(table));
    return true;
}

bool BatchReport::begin(const AnalysisParameters& params) {
    if ((m_options.csvPath && !openTable(*m_options.csvPath, CsvTable::Steps)) ||
        (m_options.csvDistributionPath &&
         !openTable(*m_options.csvDistributionPath, CsvTable::Distribution))) {
        return false;
    }
    for (Table& table : m_tables) {
        table.writer->begin(params);
    }
    if (m_options.figurePath) {
        m_recorder =
            std::make_unique<RunRecorder>(params, int(ElementCount(params.lb, params.dl).n));
    }
    return true;
}

RunObserver* BatchReport::observer(RunObserver* next) {
    if (m_tables.empty() && !m_recorder && !m_options.xlsx) {
        return next;
    }
    m_fanout = std::make_unique<Fanout>();
    for (Table& table : m_tables) {
        m_fanout->add(table.writer.get());
    }
    m_fanout->add(m_recorder.get());
    if (m_options.xlsx) {
        m_fanout->add(&m_steps);
    }
    m_fanout->add(next);
    return m_fanout.get();
}

bool BatchReport::finish(const RunSummary& run) {
    for (Table& table : m_tables) {
        table.writer->finish(run.end);
        if (const FileStatus status = table.out->close(); !status.ok() && m_error.empty()) {
            m_error = status.message;
        }
    }
    if (m_recorder && m_error.empty()) {
        m_recorder->setEnd(run.end);
        const FigureFunctions* const figures = LoadFigureModule(m_error);
        if (figures) {
            m_error = figures->saveRunFigures(m_recorder->record(), *m_options.figurePath);
        }
    }
    return m_error.empty();
}

std::ostream& BatchReport::summaryStream() const {
    const bool csvOnStandardOutput =
        m_options.csvPath == "-" || m_options.csvDistributionPath == "-";
    return csvOnStandardOutput ? std::cerr : std::cout;
}

std::string BondSummaryText(const BondQuantities& q, double Pbumax) {
    std::string text;
    for (const BondSummaryLine& line : BondSummaryLines(q, Pbumax)) {
        text += line.name + std::string(12 - std::min<std::size_t>(line.name.size(), 11), ' ') +
                line.value + (line.unit.empty() ? "" : " " + line.unit) + "\n";
    }
    if (ShorterThanEffectiveLength(q)) {
        text += "note        " + std::string(kShortBondNote) + "\n";
    }
    return text;
}

std::string BondSummaryJson(const BondQuantities& q, double Pbumax) {
    return ",\"Gf\":" + JsonNumber(q.Gf) + ",\"Pinf\":" + JsonNumber(q.Pinf) +
           ",\"Le\":" + JsonNumber(q.Le) + ",\"lb\":" + JsonNumber(q.lb) +
           ",\"analysedLength\":" + JsonNumber(q.analysedLength) +
           ",\"PbumaxOverPinf\":" + JsonNumber(LoadRatio(Pbumax, q));
}

} // namespace orvane
