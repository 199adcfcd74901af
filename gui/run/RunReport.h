#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/results/RunRecord.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace orvane {

class CalculationWindow;

// Keeps the last run of the windows for export and figures, and offers it where the user
// looks after the run: a tooltip over the calculation window's Results frame, its context
// menu with "Bond summary", and the graph windows' figure menus.
class RunReport : public QObject {
    Q_OBJECT

public:
    RunReport(AnalysisParameters& params, QObject* parent);
    ~RunReport() override;

    // Records the run the window is about to start and adds the menus to it and to its graph
    // windows. The record counts once the run has ended or its windows have closed.
    void attach(CalculationWindow& window);

    // The last run, or null before the first one.
    const RunRecord* lastRun() const { return m_last ? &*m_last : nullptr; }

    // The last run's step table as CSV to path, whole or not at all; an empty text, or the
    // message naming the file and the reason.
    QString exportLastRun(const QString& path) const;

    // Opens a Bond summary of the last run beside the calculation window, or beside the
    // parameter window once that has closed. The summary belongs to the parameter window, so
    // it stays open when the run's windows close.
    void showBondSummary();

signals:
    void lastRunChanged();

private:
    void keep(RunEnd end);

    AnalysisParameters& m_params;
    std::unique_ptr<RunRecorder> m_recorder; // the run going on
    std::optional<RunRecord> m_last;
    QPointer<CalculationWindow> m_window; // the run windows last attached
};

// The text of the Results frame's tooltip: the bond quantities beside the run's Pbumax.
QString BondSummaryTooltip(const RunRecord& record);

} // namespace orvane
