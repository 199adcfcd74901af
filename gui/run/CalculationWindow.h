#pragma once

#include "core/engine/AnalysisParameters.h"
#include "core/engine/PulloutRun.h"

#include <QWidget>
#include <array>
#include <memory>
#include <string>

class QLineEdit;
class QPushButton;

namespace orvane {

class DistributionPlotWindow;
class RunController;
class TauSlipPlotWindow;

// The run state, shown as the caption of the calculation window's button.
enum class RunState {
    NotStarted, // "Command"
    Running,    // "Cancel"
    Finished,   // "OK"
};

// Form2, "K-Varo Calculating": runs the analysis step by step on the user-interface thread and
// shows the current step, a ten-row sample of the distribution and the running maxima, with
// the two graph windows beside it. The run starts once, after the window has first painted,
// and returns to the event loop every fifth step so that the windows repaint and the button
// answers. The button, or closing any of the three windows, stops the run and closes them.
class CalculationWindow : public QWidget, private RunObserver {
    Q_OBJECT

public:
    explicit CalculationWindow(AnalysisParameters& params, QWidget* parent = nullptr);
    ~CalculationWindow() override;

    // Places the three windows by their frames (this and the τ-s plot centred as a pair, the
    // distribution plot under the τ-s plot), again once their frames are known, and shows the
    // distribution plot, the τ-s plot and this window.
    void showRunWindows();

    RunState state() const { return m_state; }
    int stepNumber() const;
    TauSlipPlotWindow* tauSlipPlot() const { return m_tauSlipPlot; }
    DistributionPlotWindow* distributionPlot() const { return m_distributionPlot; }

signals:
    // The three windows have closed; the parameter window is due again.
    void closed();
    // The run is formed and about to take its first step: observers may join it now.
    void runStarted(RunController& run);
    // The run has ended by itself (bond failure or step limit) and its file is closed.
    void runFinished(RunEnd end);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void commandClicked();

private:
    void buildControls();
    void placeRunWindows();
    void startRun();
    bool chooseResultFile(std::string& path);
    void continueRun();
    void finishRun(RunEnd end);
    void failRun(const QString& message);
    void closeRunWindows();
    void setState(RunState state);
    void showStep();

    bool wantsElements() const override { return true; }
    void stepStarted(const StepStart& start) override;
    void elementsComputed(std::span<const ElementResult> elements) override;
    void stepFinished(const StepResult& result) override;

    AnalysisParameters& m_params;
    TauSlipPlotWindow* m_tauSlipPlot;
    DistributionPlotWindow* m_distributionPlot;
    QPushButton* m_command = nullptr;
    std::array<QLineEdit*, 3> m_stepFields{};            // Step, s0, Δs0
    std::array<QLineEdit*, 3> m_maximaFields{};          // τbmax, Pbumax, slmax
    std::array<std::array<QLineEdit*, 10>, 3> m_table{}; // x, s, τ columns of ten rows

    RunState m_state = RunState::NotStarted;
    bool m_runStarted = false;
    bool m_closing = false;
    std::unique_ptr<RunController> m_run;
    int m_rowStride = 1;
    // The latest step as the run reported it; the boxes show it when the window system gets its
    // turn, which is the only time the screen can show it.
    StepStart m_start{};
    std::array<ElementResult, 10> m_rows{};
    double m_Pbumax = 0;
    double m_slmax = 0;
    bool m_maximaKnown = false; // a step has finished
    bool m_stepShown = true;
    int m_nextRow = 0;
    int m_nextSampledElement = 1;
    bool m_redrawDue = false;
    RunEnd m_pendingEnd = RunEnd::None;
};

} // namespace orvane
