#include "gui/fit/FitWindow.h"

#include "core/numtext/NumberText.h"
#include "fit/FitFigure.h"
#include "render/FigureRenderer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace orvane {

// Draws the fit's two panels side by side, scaled to the widget.
class FitPlot : public QWidget {
public:
    explicit FitPlot(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("FitPlot"));
        setMinimumSize(kFigureWidth, kFigureHeight / 2);
    }
    void show(std::array<FigureData, 2> panels) {
        m_panels = std::move(panels);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!m_panels) {
            return;
        }
        const qreal scale =
            std::min(width() / (2.0 * kFigureWidth), height() / double(kFigureHeight));
        painter.scale(scale, scale);
        painter.setRenderHint(QPainter::TextAntialiasing);
        DrawFigure(painter, (*m_panels)[0]);
        painter.translate(kFigureWidth, 0);
        DrawFigure(painter, (*m_panels)[1]);
    }

private:
    std::optional<std::array<FigureData, 2>> m_panels;
};

namespace {

// The parameter window's fields of τmax, smax, su (Text2 … Text4), then of every numeric
// field in window order.
QString fieldName(int field) {
    return field == int(NumericField::InitialDs) ? QStringLiteral("Text20")
                                                 : QStringLiteral("Text%1").arg(field + 2);
}

BondModel modelOf(int index) {
    return index == 1 ? BondModel::PerfectlyBilinear : BondModel::BilinearSoftening;
}

} // namespace

FitWindow::FitWindow(QWidget& parameterWindow, AnalysisParameters& params, QWidget* parent)
    : QWidget(parent, Qt::Window), m_parameterWindow(parameterWindow), m_params(params) {
    setObjectName(QStringLiteral("FitWindow"));
    setWindowTitle(QStringLiteral("Fit bond law to a test"));

    auto* layout = new QVBoxLayout(this);
    auto* curveRow = new QHBoxLayout;
    m_load = new QPushButton(QStringLiteral("&Measured curve…"), this);
    m_load->setObjectName(QStringLiteral("LoadCurve"));
    m_curveName = new QLabel(QStringLiteral("no curve loaded"), this);
    m_curveName->setObjectName(QStringLiteral("CurveName"));
    m_quantity = new QComboBox(this);
    m_quantity->setObjectName(QStringLiteral("Quantity"));
    m_quantity->addItems({QStringLiteral("column 2 is load (N)"),
                          QStringLiteral("column 2 is average bond stress (N/mm²)")});
    curveRow->addWidget(m_load);
    curveRow->addWidget(m_curveName, 1);
    curveRow->addWidget(m_quantity);
    layout->addLayout(curveRow);

    auto* lawRow = new QHBoxLayout;
    m_law = new QComboBox(this);
    m_law->setObjectName(QStringLiteral("Law"));
    m_law->addItems({QStringLiteral("bi-linear softening"), QStringLiteral("perfectly bi-linear"),
                     QStringLiteral("both laws")});
    lawRow->addWidget(new QLabel(QStringLiteral("Law:"), this));
    lawRow->addWidget(m_law);
    const QString symbols[] = {QStringLiteral("τmax"), QStringLiteral("smax"),
                               QStringLiteral("su")};
    for (int j = 0; j < kLawParameterCount; ++j) {
        m_fix[j] = new QCheckBox(QStringLiteral("fix %1").arg(symbols[j]), this);
        m_fix[j]->setObjectName(QStringLiteral("Fix%1").arg(j));
        m_fixText[j] = new QLineEdit(this);
        m_fixText[j]->setObjectName(QStringLiteral("FixText%1").arg(j));
        m_fixText[j]->setMaximumWidth(80);
        m_fixText[j]->setEnabled(false);
        connect(m_fix[j], &QCheckBox::toggled, m_fixText[j], &QLineEdit::setEnabled);
        lawRow->addWidget(m_fix[j]);
        lawRow->addWidget(m_fixText[j]);
    }
    lawRow->addStretch();
    layout->addLayout(lawRow);

    auto* buttons = new QHBoxLayout;
    m_fit = new QPushButton(QStringLiteral("&Fit"), this);
    m_fit->setObjectName(QStringLiteral("Fit"));
    m_fit->setEnabled(false);
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Cancel"));
    m_cancel->setEnabled(false);
    m_use = new QPushButton(QStringLiteral("&Use fitted values"), this);
    m_use->setObjectName(QStringLiteral("UseFitted"));
    m_use->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(m_fit);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_use);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    m_plot = new FitPlot(this);
    layout->addWidget(m_plot, 1);
    m_results = new QPlainTextEdit(this);
    m_results->setObjectName(QStringLiteral("Results"));
    m_results->setReadOnly(true);
    m_results->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_results->setMaximumHeight(170);
    layout->addWidget(m_results);
    // A file of many bad rows tells the first few and counts the rest, in a list that scrolls.
    m_messages = new QListWidget(this);
    m_messages->setObjectName(QStringLiteral("Messages"));
    m_messages->setMaximumHeight(90);
    m_messages->hide();
    layout->addWidget(m_messages);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    // The fixed values start as the parameter window's texts.
    const FieldTexts texts = parameterTexts();
    for (int j = 0; j < kLawParameterCount; ++j) {
        m_fixText[j]->setText(QString::fromStdString(texts[std::size_t(kLawFields[j])]));
    }
    m_law->setCurrentIndex(params.bondModel == BondModel::PerfectlyBilinear ? 1 : 0);

    connect(m_load, &QPushButton::clicked, this, &FitWindow::chooseCurve);
    connect(m_fit, &QPushButton::clicked, this, &FitWindow::startFit);
    connect(m_cancel, &QPushButton::clicked, this, &FitWindow::cancelFit);
    connect(m_use, &QPushButton::clicked, this, &FitWindow::useFittedValues);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    resize(1000, 720);
}

FitWindow::~FitWindow() {
    m_worker.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

FieldTexts FitWindow::parameterTexts() const {
    FieldTexts texts;
    for (int f = 0; f < kNumericFieldCount; ++f) {
        if (const auto* field = m_parameterWindow.findChild<QLineEdit*>(fieldName(f))) {
            texts[std::size_t(f)] = field->text().toStdString();
        }
    }
    return texts;
}

void FitWindow::chooseCurve() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Measured curve"), QFileInfo(m_curvePath).path(),
        QStringLiteral("Measured curves (*.csv *.txt *.dat);;All files (*)"));
    if (!path.isEmpty()) {
        loadCurve(path);
    }
}

bool FitWindow::loadCurve(const QString& path) {
    const MeasuredCurveRead read = ReadMeasuredCurve(path.toStdString());
    m_messages->clear();
    for (const std::string& skipped : read.curve.skippedRows) {
        m_messages->addItem(QString::fromStdString(skipped));
    }
    if (const std::string more = MoreSkippedRows(read.curve); !more.empty()) {
        m_messages->addItem(QString::fromStdString(more));
    }
    m_messages->setVisible(m_messages->count() > 0);
    m_status->setText(QString::fromStdString(read.error));
    if (!read.error.empty()) {
        return false;
    }
    m_curve = read.curve;
    m_curvePath = path;
    m_curveName->setText(QFileInfo(path).fileName() +
                         QStringLiteral(" (%1 points)").arg(read.curve.points.size()));
    m_fit->setEnabled(!fitting());
    m_base = m_params;
    m_baseTexts = parameterTexts();
    CopyFieldTexts(m_base, m_baseTexts);
    m_fits.clear();
    m_use->setEnabled(false);
    // The measured points alone until a fit runs.
    BondLawFit none;
    none.params = m_base;
    none.model = modelOf(m_law->currentIndex());
    showOverlay(none);
    return true;
}

FitTarget FitWindow::target() const {
    return MeasuredLoads(*m_curve,
                         m_quantity->currentIndex() == 1 ? MeasuredQuantity::AverageStress
                                                         : MeasuredQuantity::Load,
                         m_base);
}

void FitWindow::showOverlay(const BondLawFit& fit) {
    m_plot->show(MakeFitFigures(target(), fit, QFileInfo(m_curvePath).fileName().toStdString()));
}

void FitWindow::startFit() {
    if (!m_curve || fitting()) {
        return;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // The data set as the parameter window holds it now.
    m_base = m_params;
    m_baseTexts = parameterTexts();
    CopyFieldTexts(m_base, m_baseTexts);
    std::vector<FitSettings> runs;
    const int law = m_law->currentIndex();
    for (const BondModel model :
         law == 2 ? std::vector{BondModel::BilinearSoftening, BondModel::PerfectlyBilinear}
                  : std::vector{modelOf(law)}) {
        FitSettings& settings = runs.emplace_back();
        settings.base = m_base;
        settings.baseTexts = m_baseTexts;
        settings.model = model;
        for (int j = 0; j < kLawParameterCount; ++j) {
            if (m_fix[j]->isChecked()) {
                settings.fixedTexts[std::size_t(j)] = m_fixText[j]->text().toStdString();
            }
        }
        settings.progress = [this, model](const FitProgress& progress) {
            QMetaObject::invokeMethod(
                this, [this, model, law = progress.best] { progressed(model, law); },
                Qt::QueuedConnection);
        };
    }
    m_fits.clear();
    m_finished = false;
    m_fit->setEnabled(false);
    m_load->setEnabled(false);
    m_cancel->setEnabled(true);
    m_use->setEnabled(false);
    m_results->clear();
    m_status->setText(QStringLiteral("Fitting…"));
    m_sinceShown.start();
    m_worker = std::jthread(
        [this, runs = std::move(runs), target = target()](std::stop_token stop) mutable {
            for (FitSettings& settings : runs) {
                settings.stop = stop;
                BondLawFit fit = FitBondLaw(target, settings);
                const bool go = fit.problems.empty() && !fit.cancelled;
                QMetaObject::invokeMethod(
                    this, [this, fit = std::move(fit)]() mutable { lawFitted(std::move(fit)); },
                    Qt::QueuedConnection);
                if (!go) {
                    break;
                }
            }
            QMetaObject::invokeMethod(
                this, [this] { workerDone(); }, Qt::QueuedConnection);
        });
}

void FitWindow::cancelFit() {
    m_worker.request_stop();
    m_cancel->setEnabled(false);
    m_status->setText(QStringLiteral("Cancelling…"));
}

void FitWindow::progressed(BondModel model, std::array<double, kLawParameterCount> law) {
    // The model curve of the best law so far, a few times a second.
    if (m_finished || m_sinceShown.elapsed() < 150) {
        return;
    }
    m_sinceShown.restart();
    BondLawFit live;
    live.model = model;
    live.params = m_base;
    live.params.bondModel = model;
    for (int j = 0; j < kLawParameterCount; ++j) {
        live.params.value(kLawFields[j]) = float(law[j]);
        live.parameters[j].text = FormatMask(law[j], j == 0 ? "#0.000" : "0.0000");
    }
    const ModelCurve curve = RunModelCurve(live.params);
    const LoadSlipPath path(curve.steps);
    live.ssr = SumOfSquares(target(), path, &live.modelLoad);
    live.rmse = std::sqrt(live.ssr / double(live.modelLoad.size()));
    live.r2 = std::numeric_limits<double>::quiet_NaN();
    live.modelPath = path.points();
    live.quantities = ComputeBondQuantities(live.params);
    showOverlay(live);
}

void FitWindow::lawFitted(BondLawFit fit) {
    if (!fit.problems.empty()) {
        QString text = QStringLiteral("The fit cannot start:");
        for (const std::string& problem : fit.problems) {
            text += QStringLiteral("\n") + QString::fromStdString(problem);
        }
        m_status->setText(text);
        return;
    }
    if (fit.cancelled) {
        m_status->setText(QStringLiteral("The fit was cancelled."));
        return;
    }
    m_fits.push_back(std::move(fit));
    QString text;
    for (const BondLawFit& done : m_fits) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QString::fromStdString(FitSummary(done));
    }
    m_results->setPlainText(text);
    showOverlay(*betterFit());
}

void FitWindow::workerDone() {
    m_finished = true;
    m_fit->setEnabled(m_curve.has_value());
    m_load->setEnabled(true);
    m_cancel->setEnabled(false);
    m_use->setEnabled(!m_fits.empty());
    if (!m_fits.empty()) {
        m_status->setText(m_fits.size() > 1
                              ? QStringLiteral("Done; the %1 law fits better.")
                                    .arg(betterFit()->model == BondModel::PerfectlyBilinear
                                             ? QStringLiteral("perfectly bi-linear")
                                             : QStringLiteral("bi-linear softening"))
                              : QStringLiteral("Done."));
    }
    emit fitFinished();
}

const BondLawFit* FitWindow::betterFit() const {
    const BondLawFit* better = nullptr;
    for (const BondLawFit& fit : m_fits) {
        if (!better || fit.ssr < better->ssr) {
            better = &fit;
        }
    }
    return better;
}

void FitWindow::useFittedValues() {
    const BondLawFit* fit = betterFit();
    if (!fit) {
        return;
    }
    // Through the fields and the law's option button, so the window's change handling
    // updates the data set as if the user had typed them.
    const char* option = fit->model == BondModel::PerfectlyBilinear ? "Option1" : "Option2";
    if (auto* button = m_parameterWindow.findChild<QRadioButton*>(QLatin1String(option))) {
        button->click();
    }
    for (int j = 0; j < kLawParameterCount; ++j) {
        if (auto* field = m_parameterWindow.findChild<QLineEdit*>(fieldName(int(kLawFields[j])))) {
            field->setText(QString::fromStdString(fit->parameters[j].text));
        }
    }
    m_status->setText(QStringLiteral("The fitted values are in the parameter window."));
}

void InstallFitMenu(QWidget& window, AnalysisParameters& params) {
    auto* bar = window.findChild<QMenuBar*>(QStringLiteral("MenuBar"));
    if (!bar) {
        return;
    }
    QMenu* study = nullptr;
    for (QAction* action : bar->actions()) {
        if (action->menu() && action->text() == QStringLiteral("&Study")) {
            study = action->menu();
        }
    }
    if (!study) {
        // Before Help, by the desktop's convention.
        QAction* help = bar->actions().isEmpty() ? nullptr : bar->actions().back();
        study = new QMenu(QStringLiteral("&Study"), bar);
        bar->insertMenu(help, study);
    }
    QAction* fit = study->addAction(QStringLiteral("&Fit bond law to a test…"));
    fit->setObjectName(QStringLiteral("FitBondLaw"));
    QObject::connect(fit, &QAction::triggered, &window, [&window, &params] {
        if (auto* open = window.findChild<FitWindow*>()) {
            open->raise();
            open->activateWindow();
            return;
        }
        auto* fitWindow = new FitWindow(window, params, &window);
        fitWindow->setAttribute(Qt::WA_DeleteOnClose);
        fitWindow->show();
    });
}

} // namespace orvane
