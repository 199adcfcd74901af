#include "gui/validate/ValidationWindow.h"

#include "core/results/OutputFile.h"
#include "core/results/OutputPolicy.h"
#include "core/study/Study.h"
#include "core/validation/ValidationWriters.h"
#include "gui/forms/MessageBoxes.h"
#include "gui/forms/RunningWork.h"
#include "render/FigureRenderer.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace orvane {

// Draws the figure of predicted against measured loads, scaled to the widget.
class ValidationPlot : public QWidget {
public:
    explicit ValidationPlot(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("ValidationPlot"));
        setMinimumSize(kFigureWidth / 2, kFigureHeight / 2);
    }
    QSize sizeHint() const override { return {kFigureWidth * 3 / 4, kFigureHeight * 3 / 4}; }
    void show(std::optional<FigureData> figure) {
        m_figure = std::move(figure);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white); // the figures are drawn for white paper
        if (!m_figure) {
            return;
        }
        const qreal scale =
            std::min(width() / double(kFigureWidth), height() / double(kFigureHeight));
        painter.scale(scale, scale);
        painter.setRenderHint(QPainter::TextAntialiasing);
        DrawFigure(painter, *m_figure);
    }

private:
    std::optional<FigureData> m_figure;
};

namespace {

QString number(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("–");
}

QString groupTitle(const ValidationGroup& group) {
    const QString value = QString::fromStdString(group.value);
    if (group.kind == "all") {
        return QStringLiteral("All tests");
    }
    if (group.kind == "source") {
        return QStringLiteral("Source %1").arg(value);
    }
    if (group.kind == "ef-tf") {
        return QStringLiteral("Ef·tf %1 kN/mm").arg(value);
    }
    return QStringLiteral("bf/bc %1").arg(value);
}

} // namespace

ValidationWindow::ValidationWindow(const AnalysisParameters& params, const FieldTexts& texts,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ValidationWindow"));
    setWindowTitle(QStringLiteral("Validate against tests"));
    m_setup.base = params;
    m_setup.baseTexts = texts;
    setProperty("workRunning", false);

    auto* layout = new QVBoxLayout(this);
    auto* fileRow = new QHBoxLayout;
    m_choose = new QPushButton(QStringLiteral("&Test database…"), this);
    m_choose->setObjectName(QStringLiteral("ChooseTests"));
    m_file = new QLabel(QStringLiteral("no database loaded"), this);
    m_file->setObjectName(QStringLiteral("TestsFile"));
    m_law = new QComboBox(this);
    m_law->setObjectName(QStringLiteral("LawFrom"));
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        m_law->addItem(QString::fromUtf8(info.title.data(), qsizetype(info.title.size())),
                       QString::fromUtf8(info.name.data(), qsizetype(info.name.size())));
    }
    fileRow->addWidget(m_choose);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(new QLabel(QStringLiteral("Law from fc′:"), this));
    fileRow->addWidget(m_law);
    layout->addLayout(fileRow);

    auto* runRow = new QHBoxLayout;
    m_run = new QPushButton(QStringLiteral("&Run"), this);
    m_run->setObjectName(QStringLiteral("RunValidation"));
    m_run->setEnabled(false);
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelValidation"));
    m_cancel->setEnabled(false);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setValue(0);
    runRow->addWidget(m_run);
    runRow->addWidget(m_cancel);
    runRow->addWidget(m_progress, 1);
    layout->addLayout(runRow);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    // How far to trust the statistics, in full view above them.
    m_warnings = new QLabel(this);
    m_warnings->setObjectName(QStringLiteral("Warnings"));
    // One warning a line, unwrapped: a wrapped label is given too little height by the layout.
    m_warnings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_warnings);

    auto* resultRow = new QHBoxLayout;
    auto* tableColumn = new QVBoxLayout;
    m_group = new QComboBox(this);
    m_group->setObjectName(QStringLiteral("Group"));
    tableColumn->addWidget(m_group);
    m_table = new QTableWidget(0, 7, this);
    m_table->setObjectName(QStringLiteral("Statistics"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("model"), QStringLiteral("n"),
                                        QStringLiteral("mean"), QStringLiteral("CoV"),
                                        QStringLiteral("R²"), QStringLiteral("MAPE %"),
                                        QStringLiteral("below %")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setToolTip(QStringLiteral(
        "test/predicted θ = Pu/P: its mean and coefficient of variation; R² of the prediction; "
        "mean absolute percentage error; the share of tests below the prediction"));
    tableColumn->addWidget(m_table, 1);
    resultRow->addLayout(tableColumn, 1);
    m_plot = new ValidationPlot(this);
    resultRow->addWidget(m_plot, 1);
    layout->addLayout(resultRow, 1);

    auto* saveRow = new QHBoxLayout;
    m_saveCsv = new QPushButton(QStringLiteral("Save &table…"), this);
    m_saveCsv->setObjectName(QStringLiteral("SaveCsv"));
    m_saveFigure = new QPushButton(QStringLiteral("Save &figure…"), this);
    m_saveFigure->setObjectName(QStringLiteral("SaveFigure"));
    m_saveModelFactor = new QPushButton(QStringLiteral("Save &model factor…"), this);
    m_saveModelFactor->setObjectName(QStringLiteral("SaveModelFactor"));
    saveRow->addStretch(1);
    for (QPushButton* save : {m_saveCsv, m_saveFigure, m_saveModelFactor}) {
        save->setEnabled(false);
        saveRow->addWidget(save);
        connect(save, &QPushButton::clicked, this, &ValidationWindow::saveClicked);
    }
    layout->addLayout(saveRow);

    connect(m_choose, &QPushButton::clicked, this, &ValidationWindow::chooseTests);
    connect(m_run, &QPushButton::clicked, this, &ValidationWindow::start);
    connect(m_cancel, &QPushButton::clicked, this, &ValidationWindow::cancel);
    connect(m_group, &QComboBox::currentIndexChanged, this, &ValidationWindow::showGroup);
}

ValidationWindow::~ValidationWindow() {
    stopWorker();
}

void ValidationWindow::stopWorker() {
    m_worker.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

bool ValidationWindow::loadTests(const QString& path) {
    TestDatabase database = ReadTestDatabaseFile(path.toStdString());
    if (!database.error.empty() || database.rows.empty()) {
        m_status->setText(database.error.empty()
                              ? QStringLiteral("%1: the header is followed by no tests").arg(path)
                              : QString::fromStdString(database.error));
        return false;
    }
    m_path = path;
    m_file->setText(QFileInfo(path).fileName());
    m_file->setToolTip(path);
    QString text = QStringLiteral("%1 tests read.").arg(database.rows.size());
    for (const std::string& column : database.ignoredColumns) {
        text += QStringLiteral(" Column \"%1\" is not one of ours; passed over.")
                    .arg(QString::fromStdString(column));
    }
    m_status->setText(text);
    m_database = std::move(database);
    m_run->setEnabled(!running());
    return true;
}

void ValidationWindow::chooseTests() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Test database"), QFileInfo(m_path).path(),
        QStringLiteral("CSV tables (*.csv *.txt);;All files (*)"));
    if (!path.isEmpty()) {
        loadTests(path);
    }
}

std::string ValidationWindow::chosenLaw() const {
    return m_law->currentData().toString().toStdString();
}

void ValidationWindow::setRunning(bool running) {
    setProperty("workRunning", running);
    m_run->setEnabled(!running && m_database);
    m_choose->setEnabled(!running);
    m_law->setEnabled(!running);
    m_cancel->setEnabled(running);
    const bool results = !running && m_summary.has_value();
    for (QPushButton* save : {m_saveCsv, m_saveFigure, m_saveModelFactor}) {
        save->setEnabled(results);
    }
}

void ValidationWindow::start() {
    if (!m_database || running()) {
        return;
    }
    stopWorker();
    ++m_generation;
    m_results.clear();
    m_summary.reset();
    m_group->clear();
    m_table->setRowCount(0);
    m_plot->show(std::nullopt);
    m_warnings->clear();
    // The results and their files name the law they were run with, whatever is chosen later.
    m_lawName = chosenLaw();
    m_setup.law = *FindBondSlipModel(m_lawName);
    m_progress->setRange(0, int(m_database->rows.size()));
    m_progress->setValue(0);
    m_status->setText(QStringLiteral("Running…"));
    m_finished = false;
    setRunning(true);
    m_worker = std::jthread([this, setup = m_setup, rows = m_database->rows,
                             generation = m_generation](std::stop_token stop) {
        try {
            RunValidation(
                setup, rows, DefaultJobs(),
                [this, generation](const TestResult& result) {
                    QMetaObject::invokeMethod(
                        this, [this, generation, result] { testDone(generation, result); },
                        Qt::QueuedConnection);
                    return true;
                },
                stop);
        } catch (const std::system_error&) {
            // No thread could start: the run ends with what it has, which the window says.
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { workerDone(generation); }, Qt::QueuedConnection);
    });
}

void ValidationWindow::cancel() {
    m_worker.request_stop();
    m_cancel->setEnabled(false);
    m_status->setText(QStringLiteral("Cancelling…"));
}

void ValidationWindow::testDone(int generation, TestResult result) {
    if (generation != m_generation) {
        return;
    }
    m_results.push_back(std::move(result));
    m_progress->setValue(int(m_results.size()));
}

void ValidationWindow::workerDone(int generation) {
    if (generation != m_generation) {
        return;
    }
    m_finished = true;
    const std::size_t total = m_database ? m_database->rows.size() : 0;
    if (m_results.size() < total) {
        m_status->setText(QStringLiteral("Cancelled after %1 of %2 tests; no statistics.")
                              .arg(m_results.size())
                              .arg(total));
        m_results.clear();
        setRunning(false);
        emit validationFinished();
        return;
    }
    m_summary = SummarizeValidation(m_results);
    m_status->setText(QStringLiteral("%1 tests, %2 left out (the saved table says why).")
                          .arg(m_summary->tests)
                          .arg(m_summary->refused));
    QStringList warnings;
    for (const std::string& warning : ValidationWarnings(*m_summary)) {
        warnings << QStringLiteral("⚠ ") + QString::fromStdString(warning);
    }
    m_warnings->setText(warnings.join(QStringLiteral("\n")));
    for (const ValidationGroup& group : m_summary->groups) {
        m_group->addItem(QStringLiteral("%1 (%2 tests)").arg(groupTitle(group)).arg(group.tests));
    }
    m_plot->show(MakeValidationFigure(m_results, m_lawName));
    setRunning(false);
    emit validationFinished();
}

void ValidationWindow::showGroup() {
    const int index = m_group->currentIndex();
    if (!m_summary || index < 0 || index >= int(m_summary->groups.size())) {
        return;
    }
    const std::vector<ModelStatistics>& models = m_summary->groups[std::size_t(index)].models;
    m_table->setRowCount(int(models.size()));
    for (int row = 0; row < int(models.size()); ++row) {
        const ModelStatistics& m = models[std::size_t(row)];
        const QString cells[] = {QString::fromStdString(m.model),
                                 QString::number(m.n),
                                 number(m.mean, 3),
                                 number(m.cov, 3),
                                 number(m.r2, 3),
                                 number(m.mape * 100, 1),
                                 number(m.below * 100, 1)};
        for (int column = 0; column < 7; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                               : Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
}

QString ValidationWindow::refusedOutput(const QString& path) const {
    return QString::fromStdString(CheckOutputs({{m_path.toStdString(), "the test database"}},
                                               {{path.toStdString(), "the file chosen", false}},
                                               false));
}

QString ValidationWindow::saveCsv(const QString& path) const {
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    return QString::fromStdString(
        WriteWholeFile(path.toStdString(), ValidationCsv(m_results, m_lawName)).message);
}

QString ValidationWindow::saveFigure(const QString& path) const {
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    const FigureData figure = MakeValidationFigure(m_results, m_lawName);
    return SaveFigureFile(path, std::span(&figure, 1));
}

QString ValidationWindow::saveModelFactor(const QString& path) const {
    if (!m_summary || m_summary->groups.front().models.front().n < 2) {
        return QStringLiteral("Fewer than two tests were run: no model factor.");
    }
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    return QString::fromStdString(
        WriteWholeFile(path.toStdString(),
                       ModelFactorText(m_summary->groups.front().models.front(), m_lawName))
            .message);
}

void ValidationWindow::saveClicked() {
    const QObject* button = sender();
    const bool csv = button == m_saveCsv;
    const bool figure = button == m_saveFigure;
    const QString filter = csv      ? QStringLiteral("CSV table (*.csv)")
                           : figure ? QStringLiteral("Figure (*.png *.svg *.pdf)")
                                    : QStringLiteral("Model factor (*.toml)");
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), {}, filter);
    if (path.isEmpty()) {
        return;
    }
    const QString problem = csv ? saveCsv(path) : figure ? saveFigure(path) : saveModelFactor(path);
    if (!problem.isEmpty()) {
        showMessage(this, QMessageBox::Warning, windowTitle(), problem);
    }
}

void ValidationWindow::closeEvent(QCloseEvent* event) {
    // A close that is accepted stops the runs cleanly: they end between two steps.
    stopWorker();
    setProperty("workRunning", false);
    event->accept();
}

void ValidationWindow::keyPressEvent(QKeyEvent* event) {
    if (!CloseOnEscape(this, event,
                       QStringLiteral("A validation is running. Stop it and close?"))) {
        QWidget::keyPressEvent(event);
    }
}

ValidationWindow* openValidation(const AnalysisParameters& params, const FieldTexts& texts,
                                 QWidget* parent) {
    auto* window = new ValidationWindow(params, texts, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

} // namespace orvane
