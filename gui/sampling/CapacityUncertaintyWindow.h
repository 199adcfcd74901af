#pragma once

// "Capacity with uncertainty": a probabilistic study of the data set the parameter window held
// when the window opened. The inputs are given distributions in the command line's syntax,
// one per line (fc=normal:30:4), sampled N times from a seed; each sample is run on worker
// threads and its capacity multiplied by a draw of the model factor. The window shows the
// summary (mean, CoV, 5 % fractile with its interval, design values, warnings) and the
// histogram beside the empirical distribution.
//
// While the study runs the window's workRunning property is true; Cancel, closing the window
// or Escape (after asking) stop it between two steps of the runs under way.

#include "core/engine/AnalysisParameters.h"
#include "core/results/RunFigure.h"
#include "core/study/CapacityStatistics.h"
#include "core/study/Sampling.h"

#include <QWidget>
#include <array>
#include <optional>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace orvane {

class FigurePanels;

class CapacityUncertaintyWindow : public QWidget {
    Q_OBJECT

public:
    CapacityUncertaintyWindow(const AnalysisParameters& params, const FieldTexts& texts,
                              const std::string& fcText, QWidget* parent = nullptr);
    ~CapacityUncertaintyWindow() override;

    bool running() const { return m_worker.joinable() && !m_finished; }

signals:
    // The study ended: done, cancelled or refused.
    void studyFinished();

private slots:
    void runClicked();
    void cancelClicked();
    void chooseModelFactorFile();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // What the worker hands back at its end.
    struct Outcome {
        std::int64_t done = 0;
        std::int64_t total = 0;
        std::string problem; // why there is no summary
        std::optional<CapacitySummary> summary;
        DesignBasis basis;
        std::array<FigureData, 2> panels;
    };
    // The study the inputs describe, or the message naming the field and the fault.
    std::string readStudy(SampledStudy& study, DesignBasis& basis) const;
    void showProgress(std::int64_t done, std::int64_t total);
    void studyEnded(const Outcome& outcome);
    void setRunning(bool running);
    void stopWorker();

    AnalysisParameters m_baseParams;
    FieldTexts m_baseTexts;
    QPlainTextEdit* m_inputs = nullptr;
    QComboBox* m_lawModel = nullptr;
    QSpinBox* m_samples = nullptr;
    QLineEdit* m_seed = nullptr;
    QComboBox* m_sampling = nullptr;
    QLineEdit* m_modelFactor = nullptr;
    QLineEdit* m_partialFactor = nullptr;
    QLineEdit* m_targetBeta = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    FigurePanels* m_figures = nullptr;

    bool m_finished = true;
    std::jthread m_worker; // last: stopped and joined first
};

// Opens the window on the parameter window's data set and concrete strength fc′ (MPa text,
// may be empty).
CapacityUncertaintyWindow* openCapacityUncertainty(const AnalysisParameters& params,
                                                   const FieldTexts& texts,
                                                   const std::string& fcText, QWidget* parent);

} // namespace orvane
