#pragma once

#include "core/study/Study.h"
#include "core/study/StudyPlot.h"

#include <QElapsedTimer>
#include <QWidget>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace orvane {

class StudyPlotView;

// The parametric-study window: one or two swept inputs over the data set the parameter window
// held when it opened, run on worker threads; the points arrive through queued signals and
// appear in the table and on the live plot; the results save as CSV and the figure as PNG,
// SVG or PDF.
class ParametricStudyWindow : public QWidget {
    Q_OBJECT

public:
    ParametricStudyWindow(const AnalysisParameters& params, const FieldTexts& texts,
                          QWidget* parent = nullptr);
    ~ParametricStudyWindow() override;

    bool running() const { return m_worker.joinable() && !m_finished; }
    // Write the points shown so far; false (with a message box) when the file cannot be written.
    bool saveCsv(const QString& path);
    bool saveFigure(const QString& path);

signals:
    // From the worker thread, in point order; queued to the window.
    void pointFinished(const orvane::StudyPointResult& result);
    // problem: why the study could not go on (no thread could be started); empty otherwise.
    void studyEnded(qint64 pointsDone, const QString& problem);

private slots:
    void startClicked();
    void cancelClicked();
    void saveCsvClicked();
    void saveFigureClicked();
    void addPoint(const orvane::StudyPointResult& result);
    void endStudy(qint64 pointsDone, const QString& problem);

private:
    struct InputRow {
        QComboBox* name = nullptr;
        QLineEdit* values = nullptr;
    };
    bool readDefinition(StudyDefinition& study);
    void showProgress();
    void setRunning(bool running);

    AnalysisParameters m_baseParams;
    FieldTexts m_baseTexts;
    std::vector<InputRow> m_inputs;
    QCheckBox* m_secondInput = nullptr;
    QSpinBox* m_jobs = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_saveCsv = nullptr;
    QPushButton* m_saveFigure = nullptr;
    QLabel* m_status = nullptr;
    QTableWidget* m_table = nullptr;
    StudyPlotView* m_plotView = nullptr;

    // The study under way or last run: its definition, its points so far, its plot.
    std::unique_ptr<StudyDefinition> m_study;
    std::vector<StudyPointResult> m_results;
    StudyPlot m_plot;
    std::int64_t m_total = 0;
    bool m_finished = true;
    QElapsedTimer m_clock;
    // Points signalled but not yet shown: the worker waits while there are kMaxQueued, so a
    // fast study neither floods the event loop nor grows its queue without bound.
    static constexpr int kMaxQueued = 64;
    std::mutex m_queueMutex;
    std::condition_variable_any m_queueRoom;
    int m_queued = 0;
    QTimer* m_plotRefresh = nullptr;
    std::stop_source m_stop;
    std::jthread m_worker;
};

// Opens the study window over the data set the parameter window holds now (its field
// texts, the law and the comment). The window deletes itself when closed.
ParametricStudyWindow* openParametricStudy(const AnalysisParameters& params,
                                           const FieldTexts& texts, QWidget* parent = nullptr);

} // namespace orvane

Q_DECLARE_METATYPE(orvane::StudyPointResult)
