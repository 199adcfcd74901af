#pragma once

// What orvane-batch writes beside the t-s file: the CSV tables and the figures, and the bond
// quantities of its summary.

#include "apps/orvane-batch/BatchOptions.h"
#include "apps/orvane-batch/Workbooks.h"
#include "core/engine/BondQuantities.h"
#include "core/results/CsvRunWriter.h"
#include "core/results/OutputFile.h"
#include "core/results/ResultFileRun.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace orvane {

class RunRecorder;

class BatchReport {
public:
    explicit BatchReport(const BatchOptions& options);
    ~BatchReport();
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    // Creates the CSV files and writes their opening block, for the run of params (before it
    // starts). false, with the message in error(), when a file cannot be created.
    bool begin(const AnalysisParameters& params);
    // The observer to hand the run: the reports, then next. When nothing is asked, next
    // itself, so that the run costs what it cost without reports.
    RunObserver* observer(RunObserver* next);
    // Writes the closing metadata and the figures. false, with the message in error(), on
    // the first failure; a CSV file that could not be written whole keeps its whole records.
    bool finish(const RunSummary& run);
    const std::string& error() const { return m_error; }
    // Every step of the run, kept for --xlsx; empty without it.
    const std::vector<StepResult>& steps() const { return m_steps.steps(); }

    // Where the summary goes: standard error while a CSV table takes standard output.
    std::ostream& summaryStream() const;

private:
    class Fanout;
    struct Table {
        std::unique_ptr<RecordStream> out;
        std::unique_ptr<CsvRunWriter> writer;
    };
    bool openTable(const std::string& path, CsvTable kind);

    const BatchOptions& m_options;
    std::vector<Table> m_tables;
    std::unique_ptr<RunRecorder> m_recorder;
    StepTable m_steps;
    std::unique_ptr<Fanout> m_fanout;
    std::string m_error;
};

// The bond quantities as summary lines ("Gf          1.1447 N/mm") and as members of the JSON
// summary (",\"Gf\":1.144659...").
std::string BondSummaryText(const BondQuantities& quantities, double Pbumax);
std::string BondSummaryJson(const BondQuantities& quantities, double Pbumax);

} // namespace orvane
