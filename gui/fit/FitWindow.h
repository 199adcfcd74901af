#pragma once

// "Fit bond law to a test": loads a measured load-slip curve, shows it, fits the bond-slip law
// of the parameter window's data set to it on a worker thread, shows the model curve as the
// fit improves, and puts the fitted values into the parameter window's fields.
//
// Nothing is computed on the user-interface thread: the fit runs on a worker, and the model
// curve of the best law so far is run on a preview thread of its own, which takes only the
// latest law and hands the finished figures back. Each fit and each reset carries a
// generation number, so that a late result of a cancelled or replaced fit is dropped.

#include "core/engine/AnalysisParameters.h"
#include "core/results/RunFigure.h"
#include "fit/BondLawFit.h"
#include "fit/MeasuredCurve.h"

#include <QWidget>
#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace orvane {

class FitPlot;

class FitWindow : public QWidget {
    Q_OBJECT

public:
    // `parameterWindow` is Form1: the fitted values go into its fields, found by their names.
    FitWindow(QWidget& parameterWindow, AnalysisParameters& params, QWidget* parent = nullptr);
    ~FitWindow() override;

    // Reads the measured curve; a file that cannot be used is reported in the window.
    bool loadCurve(const QString& path);
    bool fitting() const { return m_worker.joinable() && !m_finished; }
    const std::vector<BondLawFit>& fits() const { return m_fits; }
    // The outputs of the better fit; each returns the reason it failed, empty on success.
    QString saveFittedDataSet(const QString& path) const;
    QString saveCsv(const QString& path) const;
    QString saveFigure(const QString& path) const;

signals:
    // The fit ended: finished, cancelled or refused.
    void fitFinished();

private slots:
    void chooseCurve();
    void startFit();
    void cancelFit();
    void useFittedValues();
    void saveClicked();

private:
    QString refusedOutput(const QString& path) const;
    void previewLoop(std::stop_token stop);
    void showPreview(int generation, std::array<FigureData, 2> panels, FigureData residuals);
    void lawFitted(int generation, BondLawFit fit);
    void workerDone(int generation);
    void resetResults();
    FieldTexts parameterTexts() const;
    FitTarget target() const;
    void showOverlay(const BondLawFit& fit);
    const BondLawFit* betterFit() const;

    QWidget& m_parameterWindow;
    AnalysisParameters& m_params;
    QPushButton* m_load = nullptr;
    QLabel* m_curveName = nullptr;
    QComboBox* m_law = nullptr;
    QComboBox* m_quantity = nullptr;
    std::array<QCheckBox*, kLawParameterCount> m_fix{};
    std::array<QLineEdit*, kLawParameterCount> m_fixText{};
    QPushButton* m_fit = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_use = nullptr;
    FitPlot* m_plot = nullptr;
    std::array<QPlainTextEdit*, 2> m_results{}; // one per law, side by side
    std::array<QPushButton*, 3> m_save{};       // data set, CSV, figure
    QLabel* m_status = nullptr;
    QListWidget* m_messages = nullptr; // the rows of the measured file left out

    std::optional<MeasuredCurve> m_curve;
    QString m_curvePath;
    AnalysisParameters m_base;
    FieldTexts m_baseTexts;
    std::vector<BondLawFit> m_fits;
    bool m_finished = true;
    int m_generation = 0;
    std::jthread m_worker;

    // The preview thread's mailbox: the latest law to show, with the fit it belongs to.
    struct Preview {
        int generation;
        BondModel model;
        std::array<double, kLawParameterCount> law;
        AnalysisParameters base;
        FitTarget target;
        std::string measuredName;
    };
    std::mutex m_previewMutex;
    std::condition_variable_any m_previewReady;
    std::optional<Preview> m_previewPending;
    std::jthread m_preview; // last: stopped and joined first
};

// Adds "Study > Fit bond law to a test…" to the parameter window's menu bar.
void InstallFitMenu(QWidget& window, AnalysisParameters& params);

} // namespace orvane
