#include "gui/study/ParametricStudyWindow.h"

#include "core/numtext/NumberText.h"
#include "core/results/OutputFile.h"
#include "gui/forms/Placement.h"
#include "gui/study/StudyPlotView.h"
#include "gui/study/StudyTableModel.h"
#include "render/FigureRenderer.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
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

// A study that cannot start its threads (the system's limit of processes or memory) ends at
// once and says so; the threads already started are ended by RunStudy.
QString threadProblem(const std::system_error& error) {
    return QObject::tr("no thread could be started for the runs (%1).")
        .arg(QString::fromLocal8Bit(error.code().message()));
}

// The inputs and the size of the last study window, for the next one while the program runs.
struct LastInputs {
    bool kept = false;
    std::array<int, 2> inputs{};
    std::array<QString, 2> values;
    bool second = false;
    int jobs = 1;
    QSize size;
};

LastInputs& lastInputs() {
    static LastInputs last;
    return last;
}

QLabel* buddyLabel(const QString& caption, QWidget* buddy) {
    auto* label = new QLabel(caption);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ParametricStudyWindow::ParametricStudyWindow(StudyBaseSource base, QWidget* parent)
    : QWidget(parent), m_baseSource(std::move(base)) {
    setObjectName("ParametricStudy");
    setWindowTitle(tr("Parametric study"));
    qRegisterMetaType<orvane::StudyPointResult>();
    setProperty("workRunning", false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildInputs());
    layout->addLayout(buildButtons());
    m_base = new QLabel;
    m_base->setObjectName("base");
    m_base->setWordWrap(true);
    m_base->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_base);
    m_status = new QLabel(tr("Choose the swept input and its values, then Start."));
    m_status->setObjectName("status");
    layout->addWidget(m_status);
    m_plotView = new StudyPlotView;
    m_plotView->setObjectName("plot");
    layout->addWidget(m_plotView, 3);
    m_model = new StudyTableModel(this);
    m_model->setTable(&m_table);
    m_view = new QTableView;
    m_view->setObjectName("results");
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->verticalHeader()->hide();
    m_view->setWordWrap(false);
    m_view->horizontalHeader()->setDefaultSectionSize(110);
    // Columns fit their numbers, measured on the rows in view and a few around them.
    m_view->horizontalHeader()->setResizeContentsPrecision(50);
    layout->addWidget(m_view, 2);
    auto* copy = new QShortcut(QKeySequence::Copy, m_view, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &ParametricStudyWindow::copySelection);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &ParametricStudyWindow::escapePressed);

    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(100);
    connect(m_refresh, &QTimer::timeout, this, &ParametricStudyWindow::showNewPoints);
    connect(this, &ParametricStudyWindow::pointFinished, this, &ParametricStudyWindow::addPoint,
            Qt::QueuedConnection);
    connect(this, &ParametricStudyWindow::studyEnded, this, &ParametricStudyWindow::endStudy,
            Qt::QueuedConnection);
    connect(this, &ParametricStudyWindow::saveEnded, this, &ParametricStudyWindow::endSave,
            Qt::QueuedConnection);
    setRunning(false);

    // The base as it stands now; Start reads it again.
    StudyDefinition now;
    const StudyBase current = m_baseSource();
    now.base = current.params;
    now.baseTexts = current.texts;
    showBase(now, current.name);

    resize(fittedToScreen(this, lastInputs().size.isValid() ? lastInputs().size : QSize(900, 860)));
}

QLayout* ParametricStudyWindow::buildInputs() {
    const FieldTexts texts = m_baseSource().texts;
    const LastInputs& last = lastInputs();
    auto* grid = new QGridLayout;
    const std::array<QString, 2> valueCaptions = {tr("Va&lues"), tr("Val&ues")};
    for (int k = 0; k < 2; ++k) {
        InputRow row;
        const QString name = QStringLiteral("input%1").arg(k + 1);
        row.name = new QComboBox;
        row.name->setObjectName(name + "Name");
        for (int f = 0; f < kNumericFieldCount; ++f) {
            row.name->addItem(text(FieldLabel(NumericField(f), m_baseSource().params.bondModel)));
        }
        row.name->addItem(tr("law : bond-slip law"));
        const int input = last.kept
                              ? last.inputs[std::size_t(k)]
                              : static_cast<int>(k == 0 ? NumericField::Lb : NumericField::Ef);
        row.name->setCurrentIndex(input);
        row.values =
            new QLineEdit(last.kept ? last.values[std::size_t(k)] : defaultValues(input, texts));
        row.values->setObjectName(name + "Values");
        row.values->setToolTip(tr("A list (150000,200000,230000), a range from:to:count "
                                  "(10:300:30) or a logarithmic range (10:300:30:log)"));
        grid->addWidget(row.name, k, 1);
        grid->addWidget(buddyLabel(valueCaptions[std::size_t(k)], row.values), k, 2);
        grid->addWidget(row.values, k, 3);
        m_inputs.push_back(row);
    }
    grid->setColumnStretch(3, 1);
    grid->addWidget(buddyLabel(tr("Swept &input"), m_inputs[0].name), 0, 0);
    m_secondInput = new QCheckBox(tr("Seco&nd input"));
    m_secondInput->setObjectName("secondInput");
    m_secondInput->setChecked(last.kept && last.second);
    grid->addWidget(m_secondInput, 1, 0);
    for (std::size_t k = 0; k < m_inputs.size(); ++k) {
        connect(m_inputs[k].name, &QComboBox::currentIndexChanged, this, [this, k](int input) {
            m_inputs[k].values->setText(defaultValues(input, m_baseSource().texts));
        });
    }
    connect(m_secondInput, &QCheckBox::toggled, this, [this] { setRunning(running()); });
    return grid;
}

QLayout* ParametricStudyWindow::buildButtons() {
    auto* buttons = new QHBoxLayout;
    m_jobs = new QSpinBox;
    m_jobs->setObjectName("jobs");
    m_jobs->setRange(1, 1024);
    m_jobs->setValue(lastInputs().kept ? lastInputs().jobs : DefaultJobs());
    buttons->addWidget(buddyLabel(tr("&Threads"), m_jobs));
    buttons->addWidget(m_jobs);
    const auto button = [&](const QString& name, const QString& caption,
                            void (ParametricStudyWindow::*slot)()) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    m_start = button("start", tr("&Start"), &ParametricStudyWindow::startClicked);
    m_cancel = button("cancel", tr("&Cancel"), &ParametricStudyWindow::cancelClicked);
    buttons->addStretch();
    m_saveCsv = button("saveCsv", tr("Save CS&V…"), &ParametricStudyWindow::saveCsvClicked);
    m_saveFigure =
        button("saveFigure", tr("Save &figure…"), &ParametricStudyWindow::saveFigureClicked);
    return buttons;
}

ParametricStudyWindow::~ParametricStudyWindow() {
    // The workers signal this window: stop and join them while the window still exists.
    m_stop.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_saver.joinable()) {
        m_saver.request_stop();
        m_saver.join();
    }
}

bool ParametricStudyWindow::readDefinition(StudyDefinition& study) {
    // The data set as the parameter window holds it now, not as it was when this window opened.
    const StudyBase base = m_baseSource();
    study.base = base.params;
    study.baseTexts = base.texts;
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
    showBase(study, base.name);
    return true;
}

void ParametricStudyWindow::showBase(const StudyDefinition& study, const QString& name) {
    const QString from = name.isEmpty() ? QString() : QFileInfo(name).fileName() + " — ";
    const QString comment = study.base.comment.empty()
                                ? QString()
                                : QStringLiteral("“%1”, ").arg(text(study.base.comment));
    m_base->setText(tr("Base: %1%2%3").arg(from, comment, text(DescribeStudyBase(study))));
}

void ParametricStudyWindow::startClicked() {
    if (running()) {
        return;
    }
    auto study = std::make_shared<StudyDefinition>();
    if (!readDefinition(*study)) {
        return;
    }
    rememberInputs();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_study = study;
    m_table = StudyTable(m_study);
    m_model->setTable(&m_table);
    m_plot = MakeStudyPlot(*m_study);
    m_plotView->setPlot(&m_plot);
    m_total = PointCount(*m_study);
    m_stop = std::stop_source();
    m_queued = 0;
    m_finished = false;
    m_clock.start();
    setRunning(true);
    showProgress();
    try {
        m_worker = std::jthread(
            [this, jobs = m_jobs->value(), study = m_study, stop = m_stop.get_token()] {
                QString problem;
                try {
                    RunStudy(
                        *study, jobs,
                        [this, stop](const StudyPointResult& result) {
                            {
                                std::unique_lock lock(m_queueMutex);
                                if (!m_queueRoom.wait(lock, stop,
                                                      [this] { return m_queued < kMaxQueued; })) {
                                    return false;
                                }
                                ++m_queued;
                            }
                            emit pointFinished(result);
                            return true;
                        },
                        stop);
                } catch (const std::system_error& error) {
                    problem = threadProblem(error);
                }
                emit studyEnded(problem);
            });
    } catch (const std::system_error& error) {
        endStudy(threadProblem(error));
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
    if (m_finished || result.index != m_table.size()) {
        return; // a point of a study that has ended
    }
    m_table.add(result);
    m_plot.add(result);
    if (!m_refresh->isActive()) {
        m_refresh->start();
    }
}

void ParametricStudyWindow::showNewPoints() {
    const bool first = m_model->rowCount() == 0;
    m_model->showNewRows();
    if (first || m_finished) {
        m_view->resizeColumnsToContents(); // whole numbers, never cut with "…"
    }
    m_view->scrollToBottom();
    m_plotView->refresh();
    m_saveCsv->setEnabled(m_table.size() > 0 && !m_saving);
    if (!m_finished) {
        showProgress();
    }
}

void ParametricStudyWindow::endStudy(const QString& problem) {
    m_finished = true;
    m_refresh->stop();
    showNewPoints();
    setRunning(false);
    // The rows shown, not the points the study handed out: a point handed out while the
    // study was stopping never reaches the table.
    const std::int64_t rows = m_table.size();
    const double seconds = double(m_clock.elapsed()) / 1000;
    if (!problem.isEmpty()) {
        m_status->setText(
            tr("Stopped after %1 of %2 points: %3").arg(rows).arg(m_total).arg(problem));
        return;
    }
    m_status->setText(rows == m_total
                          ? tr("%1 points done in %2 s.").arg(m_total).arg(seconds, 0, 'f', 1)
                          : tr("Cancelled: %1 of %2 points done in %3 s.")
                                .arg(rows)
                                .arg(m_total)
                                .arg(seconds, 0, 'f', 1));
}

void ParametricStudyWindow::showProgress() {
    const std::int64_t done = m_table.size();
    const double seconds = double(m_clock.elapsed()) / 1000;
    QString line = tr("%1 of %2 points, %3 s").arg(done).arg(m_total).arg(seconds, 0, 'f', 1);
    if (done > 0) {
        line +=
            tr(", about %1 s left").arg(seconds / double(done) * double(m_total - done), 0, 'f', 0);
    }
    m_status->setText(line);
}

void ParametricStudyWindow::setRunning(bool running) {
    setProperty("workRunning", running);
    m_start->setEnabled(!running);
    m_cancel->setEnabled(running);
    for (QWidget* input : {static_cast<QWidget*>(m_secondInput), static_cast<QWidget*>(m_jobs)}) {
        input->setEnabled(!running);
    }
    m_inputs[0].name->setEnabled(!running);
    m_inputs[0].values->setEnabled(!running);
    m_inputs[1].name->setEnabled(!running && m_secondInput->isChecked());
    m_inputs[1].values->setEnabled(!running && m_secondInput->isChecked());
    m_saveCsv->setEnabled(m_table.size() > 0 && !m_saving);
    m_saveFigure->setEnabled(m_table.size() > 0 && m_plot.plottable());
}

void ParametricStudyWindow::rememberInputs() const {
    LastInputs& last = lastInputs();
    last.kept = true;
    for (std::size_t k = 0; k < 2; ++k) {
        last.inputs[k] = m_inputs[k].name->currentIndex();
        last.values[k] = m_inputs[k].values->text();
    }
    last.second = m_secondInput->isChecked();
    last.jobs = m_jobs->value();
    last.size = size();
}

void ParametricStudyWindow::saveCsv(const QString& path) {
    if (m_saving || m_table.size() == 0) {
        return;
    }
    if (m_saver.joinable()) {
        m_saver.join();
    }
    m_saving = true;
    m_saveCsv->setEnabled(false);
    const std::int64_t rows = m_table.size();
    m_status->setText(tr("Saving %1 rows to %2…").arg(rows).arg(QFileInfo(path).fileName()));
    // The rows so far, shared rather than copied: the study goes on while they are written.
    m_saver = std::jthread(
        [this, table = m_table.snapshot(), path = path.toStdString()](std::stop_token stop) {
            RecordStream out(RecordStream::Ends::CsvRecord);
            FileStatus status = out.open(path);
            if (status.ok()) {
                const bool whole = WriteStudyCsv(out, table, stop);
                status = out.close();
                if (status.ok() && !whole) {
                    // Only when the window is deleted while it saves: whole rows, no closing lines.
                    status = {FileFailure::CannotWrite, 0,
                              "\"" + path + "\" holds only the first rows: the save was stopped"};
                }
            }
            emit saveEnded(QString::fromStdString(status.message));
        });
}

void ParametricStudyWindow::endSave(const QString& problem) {
    m_saving = false;
    m_saveCsv->setEnabled(m_table.size() > 0);
    if (m_closeWhenSaved) {
        close();
        return;
    }
    if (!problem.isEmpty()) {
        m_status->setText(tr("The CSV file was not saved."));
        QMessageBox::warning(this, windowTitle(), problem);
        return;
    }
    if (m_finished) {
        endStudy(QString());
    }
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

void ParametricStudyWindow::copySelection() {
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    int top = selected.front().row(), bottom = top;
    int left = selected.front().column(), right = left;
    for (const QModelIndex& index : selected) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        left = std::min(left, index.column());
        right = std::max(right, index.column());
    }
    // The cells as shown, a tab between them and a line for each row, as spreadsheets paste.
    QString copied;
    for (int row = top; row <= bottom; ++row) {
        const QStringList cells = m_model->rowTexts(row);
        for (int column = left; column <= right; ++column) {
            const bool chosen = m_view->selectionModel()->isSelected(m_model->index(row, column));
            copied += (column > left ? QStringLiteral("\t") : QString()) +
                      (chosen ? cells.value(column) : QString());
        }
        copied += QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(copied);
}

bool ParametricStudyWindow::stopAfterAsking() {
    if (!running()) {
        return true;
    }
    const auto answer = QMessageBox::question(
        this, windowTitle(), tr("A study is running. Stop it and close the window?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        return false;
    }
    m_stop.request_stop();
    return true;
}

void ParametricStudyWindow::escapePressed() {
    if (stopAfterAsking()) {
        close();
    }
}

void ParametricStudyWindow::closeEvent(QCloseEvent* event) {
    // A file half-written is worse than a window that stays a moment longer.
    if (m_saving) {
        m_closeWhenSaved = true;
        m_status->setText(tr("Closing once the CSV file is saved…"));
        event->ignore();
        return;
    }
    // The window's own close button asks; a close the program asked for (Escape, which has
    // asked, or quitting, which asks for every window) does not ask again.
    if (event->spontaneous() && !stopAfterAsking()) {
        event->ignore();
        return;
    }
    m_stop.request_stop();
    rememberInputs();
    event->accept();
}

ParametricStudyWindow* openParametricStudy(StudyBaseSource base, QWidget* parent) {
    auto* window = new ParametricStudyWindow(std::move(base), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowFlag(Qt::Window);
    window->show();
    return window;
}

} // namespace orvane
