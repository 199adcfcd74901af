#pragma once

// "Fit bond law to a test": loads a measured load-slip curve, or a series of specimens each with
// its own base data set, shows them, fits one bond-slip law to them on a worker thread, shows
// the model curves as the fit improves, each specimen's misfit, and puts the fitted values into
// the parameter window's fields.
//
// Nothing is computed on the user-interface thread: the fit runs on a worker, and the model
// curve of the best law so far is run on a preview thread of its own, which takes only the
// latest law and hands the finished figures back. Each fit and each reset carries a
// generation number, so that a late result of a cancelled or replaced fit is dropped.

#include "core/engine/AnalysisParameters.h"
#include "core/files/DataSetFile.h"
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

    // Reads the measured curve, which replaces the series; a file that cannot be used is
    // reported in the window.
    bool loadCurve(const QString& path);
    // Adds a specimen to the series, on the parameter window's data set until it is given a
    // base of its own.
    bool addSpecimen(const QString& path);
    void removeSpecimen(int row);
    // The specimen's own base data set (.orv or .kvp) for its geometry; empty on success, else
    // why the file cannot be used.
    QString setSpecimenBase(int row, const QString& path);
    int specimenCount() const { return int(m_specimens.size()); }
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
    void chooseSpecimen();
    void chooseSpecimenBase();
    void removeSelectedSpecimen();
    void startFit();
    void cancelFit();
    void useFittedValues();
    void saveClicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The open-file dialog for a measured curve, starting in folder; empty when cancelled.
    QString askForCurve(const QString& title, const QString& folder);
    void setWorkRunning(bool running);
    QString refusedOutput(const QString& path) const;
    void previewLoop(std::stop_token stop);
    void showPreview(int generation, std::array<FigureData, 2> panels, FigureData residuals);
    void lawFitted(int generation, BondLawFit fit);
    void workerDone(int generation);
    void resetResults();
    FieldTexts parameterTexts() const;
    // The series as the fit takes it: each specimen's loads on its own base set.
    std::vector<FitSpecimen> specimens() const;
    bool readCurve(const QString& path, MeasuredCurve& curve);
    // How the files are read, from the reading controls.
    MeasuredFileLayout layout() const;
    // The fit range chosen; empty, else why the typed slips cannot be used.
    QString range(FitRange& range) const;
    void rangeChanged();
    void readingChanged();
    void specimensChanged();
    void showOverlay(const BondLawFit& fit);
    const BondLawFit* betterFit() const;

    QWidget& m_parameterWindow;
    AnalysisParameters& m_params;
    QPushButton* m_load = nullptr;
    QLabel* m_curveName = nullptr;
    QListWidget* m_specimenList = nullptr;
    QPushButton* m_addSpecimen = nullptr;
    QPushButton* m_removeSpecimen = nullptr;
    QPushButton* m_specimenBase = nullptr;
    QComboBox* m_law = nullptr;
    QComboBox* m_quantity = nullptr;
    // How a lab file is read: columns by number or header name, units, decimal mark, range.
    QLineEdit* m_slipColumn = nullptr;
    QLineEdit* m_valueColumn = nullptr;
    QComboBox* m_slipUnit = nullptr;
    QComboBox* m_valueUnit = nullptr;
    QComboBox* m_decimal = nullptr;
    QComboBox* m_range = nullptr;
    QLineEdit* m_slipRange = nullptr; // FROM:TO, when the range is typed slips
    QCheckBox* m_offset = nullptr;
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

    // One specimen of the series: its measured curve and, when it has one, its own base data
    // set (else the parameter window's).
    struct Specimen {
        QString path;
        MeasuredCurve curve;
        QString basePath;
        std::optional<DataSet> base;
    };
    std::vector<Specimen> m_specimens;
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
        std::vector<FitSpecimen> specimens;
    };
    std::mutex m_previewMutex;
    std::condition_variable_any m_previewReady;
    std::optional<Preview> m_previewPending;
    std::jthread m_preview; // last: stopped and joined first
};

// Adds "Study > Fit bond law to a test…" to the parameter window's menu bar.
void InstallFitMenu(QWidget& window, AnalysisParameters& params);

} // namespace orvane
