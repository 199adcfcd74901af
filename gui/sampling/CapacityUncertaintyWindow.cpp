#include "gui/sampling/CapacityUncertaintyWindow.h"

#include "core/codes/BondModels.h"
#include "core/numtext/NumberText.h"
#include "core/study/CapacityFigure.h"
#include "core/study/SamplingWriters.h"
#include "gui/forms/FigurePanels.h"
#include "gui/forms/FormLook.h"
#include "gui/forms/Placement.h"
#include "gui/forms/RunningWork.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace orvane {

namespace {

constexpr int kDefaultSamples = 1000;

// A starting point the engineer edits: the concrete's strength and the laminate's stiffness,
// the inputs whose scatter governs the bond, at typical coefficients of variation.
QString startingInputs(const FieldTexts& texts, const std::string& fcText) {
    QString lines;
    const std::optional<double> fc = ParseWholeNumber(fcText);
    if (fc && *fc > 0) {
        lines += fromUtf8("fc=normal:" + ShortestText(*fc) + ":" + ShortestText(*fc * 0.15) + "\n");
    }
    // The fields are singles: their shortest texts are the typed ones ("0.167", not the
    // widened 0.16699999570846558), and read back they give the same singles.
    const float Ef = FieldValue(texts[static_cast<int>(NumericField::Ef)]);
    const float tf = FieldValue(texts[static_cast<int>(NumericField::Tf)]);
    lines += fromUtf8("Ef=lognormal:" + ShortestText(Ef) + ":0.05\n");
    lines += fromUtf8("tf=normal:" + ShortestText(tf) + ":" + ShortestText(tf * 0.05f) + "\n");
    return lines;
}

// An optional positive number from a field; "" when the field is empty.
std::optional<double> positiveField(const QLineEdit* field, const QString& name,
                                    std::string& problem) {
    const std::string text = field->text().trimmed().toStdString();
    if (text.empty()) {
        return std::nullopt;
    }
    const std::optional<double> number = ParseWholeNumber(text);
    if (!number || !(*number > 0) || !std::isfinite(*number)) {
        problem = name.toStdString() + ": " + QuotedEntry(text) + " is not a positive number";
        return std::nullopt;
    }
    return number;
}

} // namespace

CapacityUncertaintyWindow::CapacityUncertaintyWindow(const AnalysisParameters& params,
                                                     const FieldTexts& texts,
                                                     const std::string& fcText, QWidget* parent)
    : QWidget(parent), m_baseParams(params), m_baseTexts(texts) {
    setObjectName(QStringLiteral("CapacityUncertainty"));
    setWindowTitle(QStringLiteral("Capacity with uncertainty"));
    setProperty("workRunning", false);

    m_inputs = new QPlainTextEdit(startingInputs(texts, fcText), this);
    m_inputs->setObjectName(QStringLiteral("Inputs"));
    m_inputs->setToolTip(QStringLiteral(
        "One input a line: NAME=normal:MEAN:SD (truncated at 0), NAME=lognormal:MEAN:COV "
        "(COV 0.1 for 10 %) or NAME=uniform:LO:HI. NAME is a field's name (tauMax, sMax, su, "
        "lb, b, tf, Ef, tr, Er, bc, dc, Ec, Ab, Eb, dl) or fc, whose law each sample derives."));
    m_inputs->setMaximumHeight(80);
    m_lawModel = new QComboBox(this);
    m_lawModel->setObjectName(QStringLiteral("LawModel"));
    for (const BondSlipModelInfo& info : BondSlipModels()) {
        m_lawModel->addItem(fromUtf8(info.name));
    }
    m_samples = new QSpinBox(this);
    m_samples->setObjectName(QStringLiteral("Samples"));
    m_samples->setRange(2, int(kMaxStudyPoints));
    m_samples->setValue(kDefaultSamples);
    m_seed = new QLineEdit(QStringLiteral("1"), this);
    m_seed->setObjectName(QStringLiteral("Seed"));
    m_sampling = new QComboBox(this);
    m_sampling->setObjectName(QStringLiteral("Sampling"));
    m_sampling->addItems({QStringLiteral("Latin hypercube"), QStringLiteral("Monte Carlo")});
    m_modelFactor = new QLineEdit(this);
    m_modelFactor->setObjectName(QStringLiteral("ModelFactor"));
    m_modelFactor->setPlaceholderText(QStringLiteral("MEAN:COV, a model factor file, or none"));
    auto* browse = new QPushButton(QStringLiteral("Browse…"), this);
    connect(browse, &QPushButton::clicked, this, &CapacityUncertaintyWindow::chooseModelFactorFile);
    m_partialFactor = new QLineEdit(this);
    m_partialFactor->setObjectName(QStringLiteral("PartialFactor"));
    m_partialFactor->setPlaceholderText(QStringLiteral("γM, e.g. 1.5; empty: none"));
    m_targetBeta = new QLineEdit(this);
    m_targetBeta->setObjectName(QStringLiteral("TargetBeta"));
    m_targetBeta->setPlaceholderText(QStringLiteral("β, e.g. 3.8; empty: none"));

    auto* modelFactorRow = new QHBoxLayout;
    modelFactorRow->addWidget(m_modelFactor, 1);
    modelFactorRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Inputs with distributions"), m_inputs);
    form->addRow(QStringLiteral("Law from fc′ by"), m_lawModel);
    form->addRow(QStringLiteral("Samples N"), m_samples);
    form->addRow(QStringLiteral("Seed"), m_seed);
    form->addRow(QStringLiteral("Sampling"), m_sampling);
    form->addRow(QStringLiteral("Model factor θ"), modelFactorRow);
    form->addRow(QStringLiteral("Partial factor γM"), m_partialFactor);
    form->addRow(QStringLiteral("Target reliability β"), m_targetBeta);

    m_run = new QPushButton(QStringLiteral("&Run"), this);
    m_run->setObjectName(QStringLiteral("Run"));
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cancel->setEnabled(false);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    connect(m_run, &QPushButton::clicked, this, &CapacityUncertaintyWindow::runClicked);
    connect(m_cancel, &QPushButton::clicked, this, &CapacityUncertaintyWindow::cancelClicked);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_run);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_progress, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setWordWrap(true);
    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_summary->setReadOnly(true);
    m_summary->setFont(QFont(QStringLiteral("Monospace")));
    m_summary->setMinimumHeight(100); // with the figures, within a 1366 × 768 screen
    m_summary->setMaximumHeight(170);
    m_figures = new FigurePanels(2, this);
    m_figures->setObjectName(QStringLiteral("CapacityFigures"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->addWidget(m_summary);
    layout->addWidget(m_figures, 1);
    resize(fittedToScreen(this, QSize(1100, 860)));
}

CapacityUncertaintyWindow::~CapacityUncertaintyWindow() {
    stopWorker();
}

void CapacityUncertaintyWindow::stopWorker() {
    // The worker posts to this window: stop and join it while the window still exists.
    m_worker.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string CapacityUncertaintyWindow::readStudy(SampledStudy& study, DesignBasis& basis) const {
    const QStringList lines = m_inputs->toPlainText().split(QLatin1Char('\n'));
    for (int k = 0; k < lines.size(); ++k) {
        const std::string line = lines[k].trimmed().toStdString();
        if (line.empty()) {
            continue;
        }
        const SampledInputParse parse = ParseSampledInput(line);
        if (!parse.error.empty()) {
            return "Inputs, line " + std::to_string(k + 1) + ": " + parse.error;
        }
        study.inputs.push_back(parse.input);
    }
    study.base.base = m_baseParams;
    study.base.baseTexts = m_baseTexts;
    study.count = m_samples->value();
    study.method = m_sampling->currentIndex() == 1 ? SamplingMethod::MonteCarlo
                                                   : SamplingMethod::LatinHypercube;
    const std::string seed = m_seed->text().trimmed().toStdString();
    const auto [end, error] = std::from_chars(seed.data(), seed.data() + seed.size(), study.seed);
    if (seed.empty() || error != std::errc() || end != seed.data() + seed.size()) {
        return "Seed: " + QuotedEntry(seed) + " is not a whole number from 0 up";
    }
    study.lawModel = FindBondSlipModel(m_lawModel->currentText().toStdString());
    const bool fcSampled = std::any_of(study.inputs.begin(), study.inputs.end(),
                                       [](const SampledInput& input) { return !input.field; });
    if (fcSampled && study.lawModel) {
        study.base.lawFrom = ModelInfo(*study.lawModel).name;
    }
    const std::string factor = m_modelFactor->text().trimmed().toStdString();
    if (!factor.empty()) {
        const ModelFactorRead read = ReadModelFactor(factor);
        if (!read.error.empty()) {
            return "Model factor: " + read.error;
        }
        study.modelFactor = read.factor;
    }
    std::string problem;
    basis.partialFactor = positiveField(m_partialFactor, QStringLiteral("Partial factor"), problem);
    basis.targetBeta = positiveField(m_targetBeta, QStringLiteral("Target reliability"), problem);
    if (!problem.empty()) {
        return problem;
    }
    return CheckSampledStudy(study);
}

void CapacityUncertaintyWindow::runClicked() {
    if (running()) {
        return;
    }
    SampledStudy study;
    DesignBasis basis;
    if (const std::string problem = readStudy(study, basis); !problem.empty()) {
        m_status->setText(fromUtf8(problem));
        return;
    }
    stopWorker(); // the last study's worker has ended; join it
    m_summary->clear();
    m_figures->clear();
    m_status->setText(QStringLiteral("Drawing the samples…"));
    showProgress(0, study.count);
    setRunning(true);
    const int jobs = DefaultJobs();
    try {
        m_worker = std::jthread([this, study = std::move(study), basis,
                                 jobs](std::stop_token stop) {
            const SampleTable table = DrawSamples(study);
            Outcome outcome;
            outcome.total = study.count;
            outcome.basis = basis;
            CapacityTally tally;
            const std::int64_t step = std::max<std::int64_t>(1, study.count / 200);
            try {
                outcome.done = RunPoints(
                    {0, study.count}, jobs,
                    [&](std::int64_t k, std::stop_token token) {
                        return RunSample(study, table, k, token);
                    },
                    [&](const StudyPointResult& result) {
                        tally.add(result, table);
                        const std::int64_t done = result.index + 1;
                        if (done % step == 0) {
                            QMetaObject::invokeMethod(
                                this,
                                [this, done, total = study.count] { showProgress(done, total); },
                                Qt::QueuedConnection);
                        }
                        return true;
                    },
                    stop);
            } catch (const std::system_error& error) {
                outcome.problem =
                    "cannot start the threads for the runs: " + error.code().message();
            }
            if (outcome.problem.empty() && outcome.done < outcome.total) {
                outcome.problem = "Cancelled after " + std::to_string(outcome.done) + " of " +
                                  std::to_string(outcome.total) +
                                  " samples; no summary of part "
                                  "of them.";
            } else if (outcome.problem.empty() && tally.capacities.size() < 2) {
                outcome.problem = "Fewer than two samples have a capacity: the run checks refused "
                                  "them or they reached the step limit.";
            } else if (outcome.problem.empty()) {
                outcome.summary = SummarizeCapacities(tally.capacities, tally.excluded, basis);
                outcome.panels = MakeCapacityFigures(std::move(tally.capacities), *outcome.summary,
                                                     basis, CapacityCaption(study));
            }
            QMetaObject::invokeMethod(
                this, [this, outcome = std::move(outcome)] { studyEnded(outcome); },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error& error) {
        setRunning(false);
        m_status->setText(fromUtf8("Cannot start the study: " + error.code().message()));
        emit studyFinished();
    }
}

void CapacityUncertaintyWindow::cancelClicked() {
    m_worker.request_stop();
    m_status->setText(QStringLiteral("Stopping…"));
}

void CapacityUncertaintyWindow::chooseModelFactorFile() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Model factor file"), {},
                                     QStringLiteral("Model factor files (*.toml);;All files (*)"));
    if (!path.isEmpty()) {
        m_modelFactor->setText(path);
    }
}

void CapacityUncertaintyWindow::showProgress(std::int64_t done, std::int64_t total) {
    // The bar counts in thousandths, as a million samples do not fit its int range nicely.
    m_progress->setRange(0, 1000);
    m_progress->setValue(int(done * 1000 / std::max<std::int64_t>(1, total)));
    if (done > 0) {
        m_status->setText(QStringLiteral("%1 of %2 samples").arg(done).arg(total));
    }
}

void CapacityUncertaintyWindow::studyEnded(const Outcome& outcome) {
    setRunning(false);
    showProgress(outcome.done, outcome.total);
    if (!outcome.summary) {
        m_status->setText(fromUtf8(outcome.problem));
    } else {
        m_status->setText(
            outcome.summary->warnings.empty()
                ? QStringLiteral("%1 samples: done.").arg(outcome.done)
                : QStringLiteral("%1 samples: done, with warnings (see below).").arg(outcome.done));
        m_summary->setPlainText(fromUtf8(SampleSummaryText(*outcome.summary, outcome.basis)));
        m_figures->show({outcome.panels[0], outcome.panels[1]});
    }
    emit studyFinished();
}

void CapacityUncertaintyWindow::setRunning(bool running) {
    m_finished = !running;
    setProperty("workRunning", running);
    m_run->setEnabled(!running);
    m_cancel->setEnabled(running);
}

void CapacityUncertaintyWindow::closeEvent(QCloseEvent* event) {
    stopWorker();
    setRunning(false);
    event->accept();
}

void CapacityUncertaintyWindow::keyPressEvent(QKeyEvent* event) {
    if (!CloseOnEscape(this, event, QStringLiteral("A study is running. Stop it and close?"))) {
        QWidget::keyPressEvent(event);
    }
}

CapacityUncertaintyWindow* openCapacityUncertainty(const AnalysisParameters& params,
                                                   const FieldTexts& texts,
                                                   const std::string& fcText, QWidget* parent) {
    auto* window = new CapacityUncertaintyWindow(params, texts, fcText, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowFlag(Qt::Window);
    window->show();
    return window;
}

} // namespace orvane
