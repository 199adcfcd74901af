#pragma once

// "Validate against tests": runs every test of a test database as a single analysis on worker
// threads, and shows the statistics of test/predicted of Orvane and the design codes for all
// tests, per source and per band, with the figure of predicted against measured loads. The
// table, the figure and the model factor are saved from here.
//
// Nothing is computed on the user-interface thread: the runs go through RunValidation on a
// worker, which hands each result back as a queued call. Each run carries a generation number,
// so that a late result of a cancelled run is dropped.

#include "core/engine/AnalysisParameters.h"
#include "core/validation/TestDatabase.h"
#include "core/validation/Validation.h"

#include <QWidget>
#include <optional>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace orvane {

class ValidationPlot;

class ValidationWindow : public QWidget {
    Q_OBJECT

public:
    // The tests start from this data set, as Form1 holds it.
    ValidationWindow(const AnalysisParameters& params, const FieldTexts& texts,
                     QWidget* parent = nullptr);
    ~ValidationWindow() override;

    // Reads the database; a file that cannot be used is reported in the window.
    bool loadTests(const QString& path);
    void start();
    void cancel();
    bool running() const { return m_worker.joinable() && !m_finished; }
    const std::vector<TestResult>& results() const { return m_results; }
    // The outputs; each returns the reason it failed, empty on success.
    QString saveCsv(const QString& path) const;
    QString saveFigure(const QString& path) const;
    QString saveModelFactor(const QString& path) const;

signals:
    // The run ended: finished or cancelled.
    void validationFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void chooseTests();
    void showGroup();
    void saveClicked();

private:
    void testDone(int generation, TestResult result);
    void workerDone(int generation);
    void setRunning(bool running);
    void stopWorker();
    QString refusedOutput(const QString& path) const;
    std::string chosenLaw() const;

    ValidationSetup m_setup;
    QPushButton* m_choose = nullptr;
    QLabel* m_file = nullptr;
    QComboBox* m_law = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QComboBox* m_group = nullptr;
    QTableWidget* m_table = nullptr;
    ValidationPlot* m_plot = nullptr;
    QLabel* m_warnings = nullptr;
    QPushButton* m_saveCsv = nullptr;
    QPushButton* m_saveFigure = nullptr;
    QPushButton* m_saveModelFactor = nullptr;

    QString m_path;
    std::string m_lawName; // the model of the last run's laws
    std::optional<TestDatabase> m_database;
    std::vector<TestResult> m_results;
    std::optional<ValidationSummary> m_summary;
    bool m_finished = true;
    int m_generation = 0;
    std::jthread m_worker;
};

// Opens the window over the parameter window, with Form1's data set as the tests' base.
ValidationWindow* openValidation(const AnalysisParameters& params, const FieldTexts& texts,
                                 QWidget* parent);

} // namespace orvane
