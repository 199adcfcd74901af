#pragma once

#include "core/study/Study.h"
#include "core/study/StudyPlot.h"
#include "core/study/StudyTable.h"

#include <QElapsedTimer>
#include <QWidget>
#include <condition_variable>
#include <functional>
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
class QTableView;
class QTimer;

namespace orvane {

class StudyPlotView;
class StudyTableModel;

// The data set a study starts from: the parameter window's fields, law and comment as they
// stand when Start is pressed, and the name of its file (empty when it has none).
struct StudyBase {
    AnalysisParameters params;
    FieldTexts texts;
    QString name;
};
using StudyBaseSource = std::function<StudyBase()>;

// The parametric-study window: one or two swept inputs over the parameter window's data set
// as it stands at Start, run on worker threads; the points arrive through queued signals and
// appear in the table and on the live plot; the results save as CSV (on a worker thread, while
// the study runs too) and the figure as PNG, SVG or PDF. While a study runs the window's
// dynamic property workRunning is true, so that quitting the program asks first.
class ParametricStudyWindow : public QWidget {
    Q_OBJECT

public:
    explicit ParametricStudyWindow(StudyBaseSource base, QWidget* parent = nullptr);
    ~ParametricStudyWindow() override;

    bool running() const { return m_worker.joinable() && !m_finished; }
    bool saving() const { return m_saving; }
    // Starts writing the points shown so far to path on a worker thread; saveEnded tells the
    // outcome, and a failure is shown in a message box.
    void saveCsv(const QString& path);
    bool saveFigure(const QString& path);

signals:
    // From the worker thread, in point order; queued to the window.
    void pointFinished(const orvane::StudyPointResult& result);
    // problem: why the study could not go on (no thread could be started); empty otherwise.
    void studyEnded(const QString& problem);
    // A CSV save is over: problem empty when the file holds every row it was given.
    void saveEnded(const QString& problem);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void startClicked();
    void cancelClicked();
    void saveCsvClicked();
    void saveFigureClicked();
    void escapePressed();
    void addPoint(const orvane::StudyPointResult& result);
    void endStudy(const QString& problem);
    void endSave(const QString& problem);
    void copySelection();

private:
    struct InputRow {
        QComboBox* name = nullptr;
        QLineEdit* values = nullptr;
    };
    QLayout* buildInputs();
    QLayout* buildButtons();
    bool readDefinition(StudyDefinition& study);
    void showBase(const StudyDefinition& study, const QString& name);
    void showNewPoints();
    void showProgress();
    void setRunning(bool running);
    void rememberInputs() const;
    bool stopAfterAsking();

    StudyBaseSource m_baseSource;
    std::vector<InputRow> m_inputs;
    QCheckBox* m_secondInput = nullptr;
    QSpinBox* m_jobs = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_saveCsv = nullptr;
    QPushButton* m_saveFigure = nullptr;
    QLabel* m_base = nullptr;
    QLabel* m_status = nullptr;
    QTableView* m_view = nullptr;
    StudyTableModel* m_model = nullptr;
    StudyPlotView* m_plotView = nullptr;

    // The study under way or last run: its definition, its points so far, its plot.
    std::shared_ptr<const StudyDefinition> m_study;
    StudyTable m_table;
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
    // The table, the plot and the progress line follow the points at most ten times a second.
    QTimer* m_refresh = nullptr;
    std::stop_source m_stop;
    std::jthread m_worker;
    // A CSV save under way writes a copy of the rows, so the study may go on meanwhile.
    bool m_saving = false;
    bool m_closeWhenSaved = false;
    std::jthread m_saver;
};

// Opens the study window over the data set base gives when Start is pressed. The window
// deletes itself when closed.
ParametricStudyWindow* openParametricStudy(StudyBaseSource base, QWidget* parent = nullptr);

} // namespace orvane

Q_DECLARE_METATYPE(orvane::StudyPointResult)
