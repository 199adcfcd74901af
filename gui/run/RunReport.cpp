#include "gui/run/RunReport.h"

#include "core/results/BondSummary.h"
#include "core/results/OutputFile.h"
#include "core/results/RunController.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/forms/Placement.h"
#include "gui/run/BondSummaryWindow.h"
#include "gui/run/CalculationWindow.h"
#include "gui/run/DistributionPlotWindow.h"
#include "gui/run/FigureMenu.h"
#include "gui/run/TauSlipPlotWindow.h"

#include <QAction>
#include <sstream>

namespace orvane {

namespace {

// The concrete's strengths, when the program knows them: the run's law is then set beside the
// default model's and the design codes' loads.
std::optional<ConcreteStrength> concreteOf(QObject* owner) {
    auto* parameterWindow = qobject_cast<QWidget*>(owner);
    ConcreteStrength concrete;
    if (!parameterWindow || ReadConcrete(ConcreteStoreOf(*parameterWindow).input(), concrete)) {
        return std::nullopt;
    }
    return concrete;
}

double runPbumax(const RunRecord& record) {
    return record.steps.empty() ? 0.0 : record.steps.back().Pbumax;
}

// The frames of the run's windows together: the summary keeps clear of the graphs as well.
QRect runFrames(const CalculationWindow& window) {
    QRect frames = window.frameGeometry();
    for (const QWidget* plot : {static_cast<const QWidget*>(window.tauSlipPlot()),
                                static_cast<const QWidget*>(window.distributionPlot())}) {
        if (plot && plot->isVisible()) {
            frames |= plot->frameGeometry();
        }
    }
    return frames;
}

} // namespace

QString BondSummaryTooltip(const RunRecord& record) {
    const BondQuantities quantities = ComputeBondQuantities(record.params);
    QString rows;
    for (const BondSummaryLine& line : BondSummaryLines(quantities, runPbumax(record))) {
        rows += QStringLiteral("<tr><td>%1</td><td align=right>%2</td><td>%3</td></tr>")
                    .arg(QString::fromStdString(line.symbol).toHtmlEscaped(),
                         QString::fromStdString(line.value), QString::fromStdString(line.unit));
    }
    QString tip = QStringLiteral("<table>") + rows + QStringLiteral("</table>");
    if (ShorterThanEffectiveLength(quantities)) {
        tip += QStringLiteral("<p>") + QString::fromUtf8(kShortBondNote) + QStringLiteral(".</p>");
    }
    return tip;
}

RunReport::RunReport(AnalysisParameters& params, QObject* parent)
    : QObject(parent), m_params(params) {
}

RunReport::~RunReport() = default;

void RunReport::attach(CalculationWindow& window) {
    const auto source = [this] { return lastRun(); };
    auto* tauSlip =
        new FigureMenu(*window.tauSlipPlot(), {FigureKind::TauSlip, FigureKind::LoadSlip},
                       CsvTable::Steps, source);
    auto* distribution = new FigureMenu(*window.distributionPlot(), {FigureKind::Distribution},
                                        CsvTable::Distribution, source);

    window.setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* summary = new QAction(QStringLiteral("Bond summary"), &window);
    summary->setObjectName(QStringLiteral("BondSummaryAction"));
    summary->setEnabled(false);
    window.addAction(summary);
    connect(summary, &QAction::triggered, this, &RunReport::showBondSummary);
    m_window = &window;

    const auto offer = [this, &window, summary, tauSlip, distribution] {
        if (QWidget* results = window.findChild<QWidget*>(QStringLiteral("Shape2"))) {
            results->setToolTip(BondSummaryTooltip(*lastRun()));
        }
        summary->setEnabled(true);
        tauSlip->setEnabled(true);
        distribution->setEnabled(true);
    };
    connect(&window, &CalculationWindow::runStarted, this, [this](RunController& run) {
        m_recorder = std::make_unique<RunRecorder>(m_params, run.run().elementCount());
        run.addObserver(*m_recorder);
    });
    connect(&window, &CalculationWindow::runFinished, this, [this, offer](RunEnd end) {
        keep(end);
        offer();
    });
    // A run stopped by the button or by a failure counts as it stands.
    connect(&window, &CalculationWindow::closed, this, [this] { keep(RunEnd::Stopped); });
}

void RunReport::showBondSummary() {
    if (!lastRun()) {
        return;
    }
    const RunRecord& record = *lastRun();
    const std::optional<ConcreteStrength> concrete = concreteOf(parent());
    auto* owner = qobject_cast<QWidget*>(parent());
    auto* summary = new BondSummaryWindow(
        ComputeBondQuantities(record.params), runPbumax(record),
        concrete ? std::optional(CheckLawPlausibility(record.params, *concrete)) : std::nullopt,
        concrete ? CheckDesignCodes(record.params, *concrete) : std::vector<CodeCheck>{}, owner);
    // Sized by its layout and placed before it is shown: a window manager takes the place a
    // window asks for when it maps it, but may place a mapping window again by its own rules
    // and ignore a move that comes while it does.
    summary->adjustSize();
    const QPointer<CalculationWindow> run =
        m_window && m_window->isVisible() ? m_window.data() : nullptr;
    const QPointer<QWidget> anchor = run ? static_cast<QWidget*>(run.data()) : owner;
    placeByFrame({summary}, [summary, run, anchor] {
        // The frame may become known only after the run's windows have closed: the summary
        // then stays where it stands.
        if (!anchor || !anchor->isVisible()) {
            return;
        }
        const QRect frames = run ? runFrames(*run) : anchor->frameGeometry();
        summary->move(besideFrame(availableArea(anchor), frames, summary->frameGeometry().size()));
    });
    summary->show();
    summary->activateWindow();
}

void RunReport::keep(RunEnd end) {
    if (!m_recorder) {
        return;
    }
    m_recorder->setEnd(end);
    m_last = m_recorder->record();
    m_recorder.reset();
    emit lastRunChanged();
}

QString RunReport::exportLastRun(const QString& path) const {
    if (!lastRun()) {
        return QStringLiteral("There is no run to export yet.");
    }
    std::ostringstream csv;
    WriteRecordCsv(csv, *lastRun(), CsvTable::Steps);
    return QString::fromStdString(WriteWholeFile(path.toStdString(), csv.str()).message);
}

} // namespace orvane
