#pragma once

// "Fit bond law to a test": loads a measured load-slip curve, shows it, fits the bond-slip law
// of the parameter window's data set to it on a worker thread, shows the model curve as the
// fit improves, and puts the fitted values into the parameter window's fields.

#include "core/engine/AnalysisParameters.h"
#include "fit/BondLawFit.h"
#include "fit/MeasuredCurve.h"

#include <QElapsedTimer>
#include <QWidget>
#include <array>
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

signals:
    // The fit ended: finished, cancelled or refused.
    void fitFinished();

private slots:
    void chooseCurve();
    void startFit();
    void cancelFit();
    void useFittedValues();

private:
    void progressed(BondModel model, std::array<double, kLawParameterCount> law);
    void lawFitted(BondLawFit fit);
    void workerDone();
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
    QPlainTextEdit* m_results = nullptr;
    QLabel* m_status = nullptr;
    QListWidget* m_messages = nullptr; // the rows of the measured file left out

    std::optional<MeasuredCurve> m_curve;
    QString m_curvePath;
    AnalysisParameters m_base;
    FieldTexts m_baseTexts;
    std::vector<BondLawFit> m_fits;
    QElapsedTimer m_sinceShown;
    bool m_finished = true;
    std::jthread m_worker;
};

// Adds "Study > Fit bond law to a test…" to the parameter window's menu bar.
void InstallFitMenu(QWidget& window, AnalysisParameters& params);

} // namespace orvane
