#include "gui/study/ParametricStudyWindow.h"

#include "core/numtext/NumberText.h"
#include "core/results/OutputFile.h"
#include "core/study/StudyWriters.h"
#include "gui/study/StudyPlotView.h"
#include "render/FigureRenderer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <sstream>
#include <system_error>

namespace orvane {

namespace {

constexpr int kLawInput = kNumericFieldCount; // the entry after the sixteen fields

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// A range around the field's current value, for the user to edit.
QString defaultValues(int input, const FieldTexts& texts) {
    if (input == kLawInput) {
        return QStringLiteral("softening,bilinear");
    }
    const double value = FieldValue(texts[std::size_t(input)]);
    if (!(value > 0)) {
        return QStringLiteral("0:1:11");
    }
    return text(ShortestText(value / 4) + ":" + ShortestText(value * 2.5) + ":20");
}

const QStringList kColumns = {"point", "",          "",       "steps",   "Pbumax (N)", "slmax (mm)",
                              "end",   "Gf (N/mm)", "P∞ (N)", "Le (mm)", "Pbumax/P∞",  "problem"};

// A study that cannot start its threads (the system's limit of processes or memory) ends at
// once and says so; the threads already started are ended by RunStudy.
QString threadProblem(const std::system_error& error) {
    return QObject::tr("no thread could be started for the runs (%1).")
        .arg(QString::fromLocal8Bit(error.code().message()));
}

} // namespace

ParametricStudyWindow::ParametricStudyWindow(const AnalysisParameters& params,
                                             const FieldTexts& texts, QWidget* parent)
    : QWidget(parent), m_baseParams(params), m_baseTexts(texts) {
    setObjectName("ParametricStudy");
    setWindowTitle(tr("Parametric study"));
    qRegisterMetaType<orvane::StudyPointResult>();

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const auto inputRow = [&](const QString& name, int defaultInput) {
        InputRow row;
        row.name = new QComboBox;
        row.name->setObjectName(name + "Name");
        for (int f = 0; f < kNumericFieldCount; ++f) {
            row.name->addItem(text(FieldLabel(NumericField(f), params.bondModel)));
        }
        row.name->addItem(tr("law : bond-slip law"));
        row.name->setCurrentIndex(defaultInput);
        row.values = new QLineEdit(defaultValues(defaultInput, texts));
        row.values->setObjectName(name + "Values");
        row.values->setToolTip(tr("A list (150000,200000,230000), a range from:to:count "
                                  "(10:300:30) or a logarithmic range (10:300:30:log)"));
        auto* line = new QHBoxLayout;
        line->addWidget(row.name);
        line->addWidget(row.values, 1);
        m_inputs.push_back(row);
        return line;
    };
    form->addRow(tr("Swept input"), inputRow("input1", static_cast<int>(NumericField::Lb)));
    m_secondInput = new QCheckBox(tr("Second input"));
    m_secondInput->setObjectName("secondInput");
    form->addRow(m_secondInput, inputRow("input2", static_cast<int>(NumericField::Ef)));
    for (std::size_t k = 0; k < m_inputs.size(); ++k) {
        connect(m_inputs[k].name, &QComboBox::currentIndexChanged, this, [this, k](int input) {
            m_inputs[k].values->setText(defaultValues(input, m_baseTexts));
        });
    }
    const auto enableSecond = [this](bool on) {
        m_inputs[1].name->setEnabled(on);
        m_inputs[1].values->setEnabled(on);
    };
    connect(m_secondInput, &QCheckBox::toggled, this, enableSecond);
    enableSecond(false);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    m_jobs = new QSpinBox;
    m_jobs->setObjectName("jobs");
    m_jobs->setRange(1, 1024);
    m_jobs->setValue(DefaultJobs());
    m_jobs->setPrefix(tr("threads "));
    const auto button = [&](const QString& name, const QString& caption,
                            void (ParametricStudyWindow::*slot)()) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    buttons->addWidget(m_jobs);
    m_start = button("start", tr("Start"), &ParametricStudyWindow::startClicked);
    m_cancel = button("cancel", tr("Cancel"), &ParametricStudyWindow::cancelClicked);
    buttons->addStretch();
    m_saveCsv = button("saveCsv", tr("Save CSV…"), &ParametricStudyWindow::saveCsvClicked);
    m_saveFigure =
        button("saveFigure", tr("Save figure…"), &ParametricStudyWindow::saveFigureClicked);

    m_status = new QLabel(tr("Choose the swept input and its values, then Start."));
    m_status->setObjectName("status");
    layout->addWidget(m_status);
    m_plotView = new StudyPlotView;
    m_plotView->setObjectName("plot");
    layout->addWidget(m_plotView, 3);
    m_table = new QTableWidget(0, int(kColumns.size()));
    m_table->setObjectName("results");
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setDefaultSectionSize(140);
    // The plot is redrawn at most ten times a second while points arrive.
    m_plotRefresh = new QTimer(this);
    m_plotRefresh->setSingleShot(true);
    m_plotRefresh->setInterval(100);
    connect(m_plotRefresh, &QTimer::timeout, m_plotView, &StudyPlotView::refresh);
    layout->addWidget(m_table, 2);

    connect(this, &ParametricStudyWindow::pointFinished, this, &ParametricStudyWindow::addPoint,
            Qt::QueuedConnection);
    connect(this, &ParametricStudyWindow::studyEnded, this, &ParametricStudyWindow::endStudy,
            Qt::QueuedConnection);
    setRunning(false);
    m_saveCsv->setEnabled(false);
    m_saveFigure->setEnabled(false);
    resize(900, 860);
}

ParametricStudyWindow::~ParametricStudyWindow() {
    // The worker's sink signals this window: stop and join it while the window still exists.
    m_stop.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

bool ParametricStudyWindow::readDefinition(StudyDefinition& study) {
    study.base = m_baseParams;
    study.baseTexts = m_baseTexts;
    CopyFieldTexts(study.base, study.baseTexts);
    const std::size_t count = m_secondInput->isChecked() ? 2 : 1;
    static constexpr std::string_view kNames[] = {"tauMax", "sMax", "su", "dl", "lb", "b",
                                                  "tf",     "Ef",   "tr", "Er", "bc", "dc",
                                                  "Ec",     "Ab",   "Eb", "ds", "law"};
    for (std::size_t k = 0; k < count; ++k) {
        const std::string definition = std::string(kNames[m_inputs[k].name->currentIndex()]) + "=" +
                                       m_inputs[k].values->text().trimmed().toStdString();
        SweepParse parse = ParseSweep(definition);
        if (!parse.error.empty()) {
            QMessageBox::warning(this, windowTitle(), text(parse.error));
            m_inputs[k].values->setFocus();
            return false;
        }
        study.sweeps.push_back(std::move(parse.sweep));
    }
    if (const std::string problem = CheckStudy(study); !problem.empty()) {
        QMessageBox::warning(this, windowTitle(), text(problem));
        return false;
    }
    return true;
}

void ParametricStudyWindow::startClicked() {
    if (running()) {
        return;
    }
    auto study = std::make_unique<StudyDefinition>();
    if (!readDefinition(*study)) {
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_study = std::move(study);
    m_results.clear();
    m_plot = MakeStudyPlot(*m_study);
    m_plotView->setPlot(&m_plot);
    m_total = PointCount(*m_study);
    QStringList columns = kColumns;
    columns.removeAt(1);
    columns.removeAt(1);
    for (std::size_t s = m_study->sweeps.size(); s-- > 0;) {
        columns.insert(1, text(m_study->sweeps[s].name()));
    }
    m_table->setRowCount(0);
    m_table->setColumnCount(int(columns.size()));
    m_table->setHorizontalHeaderLabels(columns);
    m_stop = std::stop_source();
    m_queued = 0;
    m_finished = false;
    m_clock.start();
    setRunning(true);
    showProgress();
    try {
        m_worker = std::jthread(
            [this, jobs = m_jobs->value(), study = m_study.get(), stop = m_stop.get_token()] {
                std::int64_t done = 0;
                QString problem;
                try {
                    done = RunStudy(
                        *study, jobs,
                        [this, stop, &done](const StudyPointResult& result) {
                            {
                                std::unique_lock lock(m_queueMutex);
                                if (!m_queueRoom.wait(lock, stop,
                                                      [this] { return m_queued < kMaxQueued; })) {
                                    return false;
                                }
                                ++m_queued;
                            }
                            emit pointFinished(result);
                            done = result.index + 1;
                            return true;
                        },
                        stop);
                } catch (const std::system_error& error) {
                    problem = threadProblem(error);
                }
                emit studyEnded(done, problem);
            });
    } catch (const std::system_error& error) {
        endStudy(0, threadProblem(error));
    }
}

void ParametricStudyWindow::cancelClicked() {
    m_stop.request_stop();
    m_status->setText(tr("Stopping…"));
}

void ParametricStudyWindow::addPoint(const StudyPointResult& result) {
    {
        const std::lock_guard lock(m_queueMutex);
        --m_queued;
    }
    m_queueRoom.notify_one();
    if (m_finished || result.index != std::int64_t(m_results.size())) {
        return; // a point of a study that has ended
    }
    m_results.push_back(result);
    m_plot.add(result);
    if (!m_plotRefresh->isActive()) {
        m_plotRefresh->start();
    }
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    QStringList cells = {QString::number(result.index)};
    for (const std::string& swept : result.sweptTexts) {
        cells << text(swept);
    }
    const auto number = [](double value) { return text(ShortestText(value)); };
    const BondQuantities& q = result.quantities;
    const bool run = !result.refused();
    cells << (run ? QString::number(result.steps) : QString())
          << (run ? number(result.Pbumax) : QString()) << (run ? number(result.slmax) : QString())
          << text(PointEndText(result)) << number(q.Gf) << number(q.Pinf) << number(q.Le)
          << (run ? number(LoadRatio(result.Pbumax, q)) : QString()) << text(result.problem);
    for (int c = 0; c < int(cells.size()); ++c) {
        m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    m_table->scrollToBottom();
    showProgress();
}

void ParametricStudyWindow::endStudy(qint64 pointsDone, const QString& problem) {
    m_finished = true;
    m_plotRefresh->stop();
    m_plotView->refresh();
    setRunning(false);
    const double seconds = double(m_clock.elapsed()) / 1000;
    if (!problem.isEmpty()) {
        m_status->setText(
            tr("Stopped after %1 of %2 points: %3").arg(pointsDone).arg(m_total).arg(problem));
        return;
    }
    m_status->setText(pointsDone == m_total
                          ? tr("%1 points done in %2 s.").arg(m_total).arg(seconds, 0, 'f', 1)
                          : tr("Cancelled: %1 of %2 points done in %3 s.")
                                .arg(pointsDone)
                                .arg(m_total)
                                .arg(seconds, 0, 'f', 1));
}

void ParametricStudyWindow::showProgress() {
    const auto done = std::int64_t(m_results.size());
    const double seconds = double(m_clock.elapsed()) / 1000;
    QString line = tr("%1 of %2 points, %3 s").arg(done).arg(m_total).arg(seconds, 0, 'f', 1);
    if (done > 0) {
        line +=
            tr(", about %1 s left").arg(seconds / double(done) * double(m_total - done), 0, 'f', 0);
    }
    m_status->setText(line);
}

void ParametricStudyWindow::setRunning(bool running) {
    m_start->setEnabled(!running);
    m_cancel->setEnabled(running);
    for (QWidget* input : {static_cast<QWidget*>(m_secondInput), static_cast<QWidget*>(m_jobs)}) {
        input->setEnabled(!running);
    }
    m_inputs[0].name->setEnabled(!running);
    m_inputs[0].values->setEnabled(!running);
    m_inputs[1].name->setEnabled(!running && m_secondInput->isChecked());
    m_inputs[1].values->setEnabled(!running && m_secondInput->isChecked());
    const bool anything = !m_results.empty();
    m_saveCsv->setEnabled(anything);
    m_saveFigure->setEnabled(anything && m_plot.plottable());
}

bool ParametricStudyWindow::saveCsv(const QString& path) {
    std::ostringstream out;
    StudyCsvWriter writer(out, *m_study);
    writer.begin();
    for (const StudyPointResult& result : m_results) {
        writer.row(result);
    }
    writer.finish(std::int64_t(m_results.size()));
    const FileStatus status = WriteWholeFile(path.toStdString(), out.str());
    if (!status.ok()) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(status.message));
        return false;
    }
    return true;
}

bool ParametricStudyWindow::saveFigure(const QString& path) {
    const FigureData figure = MakeStudyFigure(m_plot);
    const QString problem = SaveFigureFile(path, {&figure, 1});
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), problem);
        return false;
    }
    return true;
}

void ParametricStudyWindow::saveCsvClicked() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save CSV"), QStringLiteral("study.csv"), tr("CSV files (*.csv)"));
    if (!path.isEmpty()) {
        saveCsv(path);
    }
}

void ParametricStudyWindow::saveFigureClicked() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save figure"), QStringLiteral("study.png"),
        tr("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    if (!path.isEmpty()) {
        saveFigure(path);
    }
}

ParametricStudyWindow* openParametricStudy(const AnalysisParameters& params,
                                           const FieldTexts& texts, QWidget* parent) {
    auto* window = new ParametricStudyWindow(params, texts, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowFlag(Qt::Window);
    window->show();
    return window;
}

} // namespace orvane
