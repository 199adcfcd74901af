#include "gui/fit/FitWindow.h"

#include "core/files/ParameterFile.h"
#include "core/numtext/NumberText.h"
#include "core/results/OutputFile.h"
#include "core/results/OutputPolicy.h"
#include "fit/FitFigure.h"
#include "gui/forms/Placement.h"
#include "render/FigureRenderer.h"
#include "render/FitFigureFile.h"

#include <QCheckBox>
#include <QCloseEvent>
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
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace orvane {

// Draws the fit's panels side by side, scaled to the widget: the measured and model curves,
// the law and the residuals.
class FitPlot : public QWidget {
public:
    explicit FitPlot(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("FitPlot"));
        setMinimumSize(kFigureWidth, kFigureHeight / 3);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    // Three panels across: as tall as they are drawn, no taller.
    int heightForWidth(int width) const override {
        return width * kFigureHeight / (3 * kFigureWidth);
    }
    QSize sizeHint() const override { return {3 * kFigureWidth / 2, kFigureHeight / 2}; }
    void show(std::array<FigureData, 2> panels, FigureData residuals) {
        m_panels = {std::move(panels[0]), std::move(panels[1]), std::move(residuals)};
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white); // the figures are drawn for white paper
        if (m_panels.empty()) {
            return;
        }
        const qreal scale = std::min(width() / (double(m_panels.size()) * kFigureWidth),
                                     height() / double(kFigureHeight));
        painter.scale(scale, scale);
        painter.setRenderHint(QPainter::TextAntialiasing);
        for (const FigureData& panel : m_panels) {
            DrawFigure(painter, panel);
            painter.translate(kFigureWidth, 0);
        }
    }

private:
    std::vector<FigureData> m_panels;
};

namespace {

// The parameter window's fields of τmax, smax, su (Text2 … Text4), then of every numeric
// field in window order.
QString fieldName(int field) {
    return field == int(NumericField::InitialDs) ? QStringLiteral("Text20")
                                                 : QStringLiteral("Text%1").arg(field + 2);
}

// The fit range of the last window, for the next one while the program runs: the choice of
// rows and the typed slips.
struct LastRange {
    int choice = 0;
    QString slips;
};

LastRange& lastRange() {
    static LastRange last;
    return last;
}

// The row of the range list whose slips are typed.
constexpr int kTypedSlips = 3;

BondModel modelOf(int index) {
    return index == 1 ? BondModel::PerfectlyBilinear : BondModel::BilinearSoftening;
}

// A base set with a trial law, as the fit runs it.
AnalysisParameters withLaw(AnalysisParameters params, BondModel model,
                           const std::array<double, kLawParameterCount>& law) {
    params.bondModel = model;
    for (int j = 0; j < kLawParameterCount; ++j) {
        params.value(kLawFields[j]) = float(law[std::size_t(j)]);
    }
    return params;
}

// A data set or parameter file as the base of a specimen; the reason when it cannot be read.
std::optional<DataSet> readBase(const std::string& path, std::string& error) {
    if (ReadsAsDataSet(path)) {
        DataSetRead read = ReadDataSetFile(path);
        error = read.status.message;
        return read.status.ok() ? std::optional(std::move(read.dataSet)) : std::nullopt;
    }
    ParameterFileTexts texts;
    const FileStatus status = LoadParameterFile(path, texts);
    error = status.message;
    return status.ok() ? std::optional(DataSetFromParameterFile(texts)) : std::nullopt;
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
    auto* quantityLabel = new QLabel(QStringLiteral("Colum&n 2:"), this);
    quantityLabel->setBuddy(m_quantity);
    m_quantity->addItems(
        {QStringLiteral("load (N)"), QStringLiteral("average bond stress (N/mm²)")});
    curveRow->addWidget(m_load);
    curveRow->addWidget(m_curveName, 1);
    curveRow->addWidget(quantityLabel);
    curveRow->addWidget(m_quantity);
    layout->addLayout(curveRow);

    // How a lab file is read; any change reads every specimen again.
    auto* readingRow = new QHBoxLayout;
    const auto labelled = [this, readingRow](const QString& text, QWidget* control) {
        auto* label = new QLabel(text, this);
        label->setBuddy(control);
        readingRow->addWidget(label);
        readingRow->addWidget(control);
    };
    m_slipColumn = new QLineEdit(this);
    m_slipColumn->setObjectName(QStringLiteral("SlipColumn"));
    m_slipColumn->setPlaceholderText(QStringLiteral("1"));
    m_slipColumn->setToolTip(QStringLiteral("The slip column: a number from 1 or a header name"));
    m_valueColumn = new QLineEdit(this);
    m_valueColumn->setObjectName(QStringLiteral("ValueColumn"));
    m_valueColumn->setPlaceholderText(QStringLiteral("2"));
    m_valueColumn->setToolTip(
        QStringLiteral("The load or stress column: a number from 1 or a header name"));
    for (QLineEdit* column : {m_slipColumn, m_valueColumn}) {
        column->setMaximumWidth(110);
    }
    m_slipUnit = new QComboBox(this);
    m_slipUnit->setObjectName(QStringLiteral("SlipUnit"));
    m_slipUnit->addItems({QStringLiteral("header's or mm"), QStringLiteral("mm"),
                          QStringLiteral("µm"), QStringLiteral("m")});
    m_valueUnit = new QComboBox(this);
    m_valueUnit->setObjectName(QStringLiteral("ValueUnit"));
    m_valueUnit->addItems({QStringLiteral("header's or N"), QStringLiteral("N"),
                           QStringLiteral("kN"), QStringLiteral("MN"), QStringLiteral("N/mm²")});
    m_decimal = new QComboBox(this);
    m_decimal->setObjectName(QStringLiteral("Decimal"));
    m_decimal->addItems(
        {QStringLiteral("detect"), QStringLiteral("point"), QStringLiteral("comma")});
    m_decimal->setToolTip(QStringLiteral("Detect: a comma in a file separated by semicolons "
                                         "that writes digits around commas, else a point"));
    m_range = new QComboBox(this);
    m_range->setObjectName(QStringLiteral("Range"));
    m_range->addItems({QStringLiteral("every row"), QStringLiteral("up to the peak"),
                       QStringLiteral("up to failure"), QStringLiteral("slips from:to")});
    m_range->setCurrentIndex(lastRange().choice);
    // The slips as orvane-batch fit --range takes them, read by the same parser.
    m_slipRange = new QLineEdit(lastRange().slips, this);
    m_slipRange->setObjectName(QStringLiteral("SlipRange"));
    m_slipRange->setPlaceholderText(QStringLiteral("0:1.5"));
    m_slipRange->setToolTip(QStringLiteral("The slips to fit, FROM:TO in mm"));
    // Wide enough for a range of two slips, however full the row.
    m_slipRange->setMinimumWidth(
        m_slipRange->fontMetrics().horizontalAdvance(QStringLiteral("0.000:0.000")) + 12);
    m_slipRange->setMaximumWidth(m_slipRange->minimumWidth() + 40);
    m_slipRange->setEnabled(m_range->currentIndex() == kTypedSlips);
    labelled(QStringLiteral("Sl&ip column:"), m_slipColumn);
    labelled(QStringLiteral("unit (&w)"), m_slipUnit);
    labelled(QStringLiteral("Valu&e column:"), m_valueColumn);
    labelled(QStringLiteral("unit (&y)"), m_valueUnit);
    labelled(QStringLiteral("Decimal mar&k:"), m_decimal);
    labelled(QStringLiteral("Fit &rows:"), m_range);
    labelled(QStringLiteral("mm (&h)"), m_slipRange);
    m_offset = new QCheckBox(QStringLiteral("seating offset (&z)"), this);
    m_offset->setObjectName(QStringLiteral("Offset"));
    m_offset->setToolTip(QStringLiteral(
        "Fit the slip the record shows before the bond takes load (of a series, one for each "
        "specimen)"));
    readingRow->addWidget(m_offset);
    readingRow->addStretch();
    layout->addLayout(readingRow);

    // The series: engineers test three to five specimens of a kind, each of its own geometry.
    auto* seriesRow = new QHBoxLayout;
    m_specimenList = new QListWidget(this);
    m_specimenList->setObjectName(QStringLiteral("Specimens"));
    m_specimenList->setMaximumHeight(4 * m_specimenList->fontMetrics().lineSpacing() + 8);
    m_addSpecimen = new QPushButton(QStringLiteral("&Add specimen…"), this);
    m_addSpecimen->setObjectName(QStringLiteral("AddSpecimen"));
    m_removeSpecimen = new QPushButton(QStringLiteral("Remove s&pecimen"), this);
    m_removeSpecimen->setObjectName(QStringLiteral("RemoveSpecimen"));
    m_specimenBase = new QPushButton(QStringLiteral("Specimen &base…"), this);
    m_specimenBase->setObjectName(QStringLiteral("SpecimenBase"));
    auto* seriesButtons = new QVBoxLayout;
    for (QPushButton* button : {m_addSpecimen, m_removeSpecimen, m_specimenBase}) {
        seriesButtons->addWidget(button);
    }
    seriesButtons->addStretch();
    seriesRow->addWidget(m_specimenList, 1);
    seriesRow->addLayout(seriesButtons);
    layout->addLayout(seriesRow);

    auto* lawRow = new QHBoxLayout;
    m_law = new QComboBox(this);
    m_law->setObjectName(QStringLiteral("Law"));
    m_law->addItems({QStringLiteral("bi-linear softening"), QStringLiteral("perfectly bi-linear"),
                     QStringLiteral("both laws")});
    auto* lawLabel = new QLabel(QStringLiteral("&Law:"), this);
    lawLabel->setBuddy(m_law);
    lawRow->addWidget(lawLabel);
    lawRow->addWidget(m_law);
    // Alt+X, Alt+S and Alt+U tick the fixes; no other control of the window takes them.
    const QString fixes[] = {QStringLiteral("fix τma&x"), QStringLiteral("fix &smax"),
                             QStringLiteral("fix s&u")};
    for (int j = 0; j < kLawParameterCount; ++j) {
        m_fix[j] = new QCheckBox(fixes[j], this);
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
    m_use = new QPushButton(QStringLiteral("Use fi&tted values"), this);
    m_use->setObjectName(QStringLiteral("UseFitted"));
    m_use->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("Cl&ose"), this);
    buttons->addWidget(m_fit);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_use);
    const QString saves[] = {QStringLiteral("Save &data set…"), QStringLiteral("Save CS&V…"),
                             QStringLiteral("Save fi&gure…")};
    const QString saveNames[] = {QStringLiteral("SaveFitted"), QStringLiteral("SaveCsv"),
                                 QStringLiteral("SaveFigure")};
    for (std::size_t k = 0; k < m_save.size(); ++k) {
        m_save[k] = new QPushButton(saves[k], this);
        m_save[k]->setObjectName(saveNames[k]);
        m_save[k]->setEnabled(false);
        connect(m_save[k], &QPushButton::clicked, this, &FitWindow::saveClicked);
        buttons->addWidget(m_save[k]);
    }
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    m_plot = new FitPlot(this);
    layout->addWidget(m_plot);
    // One box per law, side by side, tall enough for a summary and its warnings.
    auto* results = new QHBoxLayout;
    for (std::size_t k = 0; k < m_results.size(); ++k) {
        m_results[k] = new QPlainTextEdit(this);
        m_results[k]->setObjectName(k == 0 ? QStringLiteral("Results")
                                           : QStringLiteral("Results2"));
        m_results[k]->setReadOnly(true);
        m_results[k]->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        m_results[k]->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        m_results[k]->setMinimumHeight(16 * m_results[k]->fontMetrics().lineSpacing());
        results->addWidget(m_results[k]);
    }
    m_results[1]->hide();
    layout->addLayout(results, 1);
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
    connect(m_addSpecimen, &QPushButton::clicked, this, &FitWindow::chooseSpecimen);
    connect(m_removeSpecimen, &QPushButton::clicked, this, &FitWindow::removeSelectedSpecimen);
    connect(m_specimenBase, &QPushButton::clicked, this, &FitWindow::chooseSpecimenBase);
    // Escape closes the window, as a dialog's does; closeEvent asks first if a fit runs.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(m_fit, &QPushButton::clicked, this, &FitWindow::startFit);
    connect(m_cancel, &QPushButton::clicked, this, &FitWindow::cancelFit);
    connect(m_use, &QPushButton::clicked, this, &FitWindow::useFittedValues);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    for (QLineEdit* column : {m_slipColumn, m_valueColumn}) {
        connect(column, &QLineEdit::editingFinished, this, [this, column] {
            if (column->isModified()) {
                column->setModified(false);
                readingChanged();
            }
        });
    }
    for (QComboBox* choice : {m_slipUnit, m_valueUnit, m_decimal}) {
        connect(choice, &QComboBox::currentIndexChanged, this, &FitWindow::readingChanged);
    }
    connect(m_range, &QComboBox::currentIndexChanged, this, [this](int choice) {
        m_slipRange->setEnabled(choice == kTypedSlips);
        rangeChanged();
    });
    connect(m_slipRange, &QLineEdit::editingFinished, this, [this] {
        if (m_slipRange->isModified()) {
            m_slipRange->setModified(false);
            rangeChanged();
        }
    });
    connect(m_offset, &QCheckBox::toggled, this, [this] {
        if (fitting()) {
            cancelFit();
        }
        resetResults();
    });
    // Another column (load or stress) makes another curve: what was fitted to it goes.
    connect(m_quantity, &QComboBox::currentIndexChanged, this, [this] {
        if (fitting()) {
            cancelFit();
        }
        resetResults();
    });
    setProperty("workRunning", false);
    specimensChanged();
    m_preview = std::jthread([this](std::stop_token stop) { previewLoop(stop); });
    resize(fittedToScreen(this, QSize(1200, 820)));
}

void FitWindow::closeEvent(QCloseEvent* event) {
    if (fitting() &&
        QMessageBox::question(this, windowTitle(),
                              QStringLiteral("A fit is running. Stop it and close the window?")) !=
            QMessageBox::Yes) {
        event->ignore();
        return;
    }
    // The destructor (the window is deleted on close) stops the worker and waits for it.
    m_worker.request_stop();
    event->accept();
}

FitWindow::~FitWindow() {
    m_worker.request_stop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_preview.request_stop();
    if (m_preview.joinable()) {
        m_preview.join();
    }
}

void FitWindow::previewLoop(std::stop_token stop) {
    while (!stop.stop_requested()) {
        Preview preview;
        {
            std::unique_lock lock(m_previewMutex);
            if (!m_previewReady.wait(lock, stop, [this] { return m_previewPending.has_value(); })) {
                return;
            }
            preview = std::move(*m_previewPending);
            m_previewPending.reset();
        }
        BondLawFit live;
        live.model = preview.model;
        live.params = withLaw(preview.specimens.front().base, preview.model, preview.law);
        for (int j = 0; j < kLawParameterCount; ++j) {
            live.parameters[j].text =
                FormatMask(preview.law[std::size_t(j)], j == 0 ? "#0.000" : "0.0000");
        }
        std::size_t points = 0;
        for (const FitSpecimen& specimen : preview.specimens) {
            const LoadSlipPath path(
                RunModelCurve(withLaw(specimen.base, preview.model, preview.law)).steps);
            SpecimenFit& shown = live.specimens.emplace_back();
            shown.ssr = SumOfSquares(specimen.target, path, &shown.modelLoad);
            shown.modelPath = path.points();
            live.ssr += shown.ssr;
            points += specimen.target.slip.size();
        }
        live.rmse = std::sqrt(live.ssr / double(points));
        live.r2 = std::numeric_limits<double>::quiet_NaN();
        live.modelPath = live.specimens.front().modelPath;
        live.modelLoad = live.specimens.front().modelLoad;
        live.quantities = ComputeBondQuantities(live.params);
        live.Gf.determined = live.Pinf.determined = live.Le.determined = false;
        QMetaObject::invokeMethod(
            this,
            [this, generation = preview.generation,
             panels = MakeFitFigures(preview.specimens, live),
             residuals = MakeResidualFigure(preview.specimens, live)]() mutable {
                showPreview(generation, std::move(panels), std::move(residuals));
            },
            Qt::QueuedConnection);
        // A few pictures a second are enough to follow the fit.
        std::unique_lock lock(m_previewMutex);
        m_previewReady.wait_for(lock, stop, std::chrono::milliseconds(150), [] { return false; });
    }
}

void FitWindow::showPreview(int generation, std::array<FigureData, 2> panels,
                            FigureData residuals) {
    if (generation == m_generation && !m_finished) {
        m_plot->show(std::move(panels), std::move(residuals));
    }
}

void FitWindow::resetResults() {
    ++m_generation;
    m_fits.clear();
    for (QPlainTextEdit* box : m_results) {
        box->clear();
    }
    m_results[1]->hide();
    m_use->setEnabled(false);
    for (QPushButton* save : m_save) {
        save->setEnabled(false);
    }
    if (!m_specimens.empty()) {
        // The measured points alone until a fit runs.
        BondLawFit none;
        none.params = m_base;
        none.model = modelOf(m_law->currentIndex());
        showOverlay(none);
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

QString FitWindow::askForCurve(const QString& title, const QString& folder) {
    return QFileDialog::getOpenFileName(
        this, title, folder, QStringLiteral("Measured curves (*.csv *.txt *.dat);;All files (*)"));
}

void FitWindow::chooseCurve() {
    const QString path =
        askForCurve(QStringLiteral("Measured curve"),
                    m_specimens.empty() ? QString() : QFileInfo(m_specimens.front().path).path());
    if (!path.isEmpty()) {
        loadCurve(path);
    }
}

void FitWindow::chooseSpecimen() {
    const QString path =
        askForCurve(QStringLiteral("Add specimen"),
                    m_specimens.empty() ? QString() : QFileInfo(m_specimens.back().path).path());
    if (!path.isEmpty()) {
        addSpecimen(path);
    }
}

void FitWindow::chooseSpecimenBase() {
    const int row = m_specimenList->currentRow();
    if (row < 0 || row >= specimenCount()) {
        return;
    }
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Base data set of the specimen"),
                                     QFileInfo(m_specimens[std::size_t(row)].path).path(),
                                     QStringLiteral("Data sets (*.orv *.kvp);;All files (*)"));
    if (!path.isEmpty()) {
        m_status->setText(setSpecimenBase(row, path));
    }
}

void FitWindow::removeSelectedSpecimen() {
    removeSpecimen(m_specimenList->currentRow());
}

MeasuredFileLayout FitWindow::layout() const {
    MeasuredFileLayout layout;
    layout.slipColumn = m_slipColumn->text().trimmed().toStdString();
    layout.valueColumn = m_valueColumn->text().trimmed().toStdString();
    // The first entry of each list is the header's unit, else the default.
    const char* slipUnits[] = {"", "mm", "um", "m"};
    const char* valueUnits[] = {"", "N", "kN", "MN", "N/mm2"};
    layout.slipUnit = slipUnits[m_slipUnit->currentIndex()];
    layout.valueUnit = valueUnits[m_valueUnit->currentIndex()];
    layout.decimal = m_decimal->currentIndex() == 1   ? DecimalMark::Point
                     : m_decimal->currentIndex() == 2 ? DecimalMark::Comma
                                                      : DecimalMark::Detect;
    return layout;
}

QString FitWindow::range(FitRange& range) const {
    range = {};
    range.kind = m_range->currentIndex() == 1   ? FitRange::Kind::UpToPeak
                 : m_range->currentIndex() == 2 ? FitRange::Kind::UpToFailure
                                                : FitRange::Kind::All;
    if (m_range->currentIndex() != kTypedSlips) {
        return {};
    }
    const std::string error = ParseFitRange(m_slipRange->text().trimmed().toStdString(), range);
    return error.empty() ? QString()
                         : QStringLiteral("The slip range %1.").arg(QString::fromStdString(error));
}

void FitWindow::rangeChanged() {
    lastRange() = {m_range->currentIndex(), m_slipRange->text()};
    readingChanged();
}

// Another reading makes other curves: every specimen is read again, and what was fitted goes.
// A specimen that cannot be read so leaves the series, named in the status line.
// A range that cannot be read leaves the series as it is, with nothing fitted and Fit off until
// it is mended.
void FitWindow::readingChanged() {
    if (fitting()) {
        cancelFit();
    }
    FitRange unused;
    if (const QString error = range(unused); !error.isEmpty()) {
        resetResults();
        m_fit->setEnabled(false);
        m_status->setText(error);
        return;
    }
    QStringList dropped;
    QString reason;
    std::vector<Specimen> kept;
    for (Specimen& specimen : m_specimens) {
        if (readCurve(specimen.path, specimen.curve)) {
            kept.push_back(std::move(specimen));
        } else {
            dropped << QFileInfo(specimen.path).fileName();
            reason = m_status->text();
        }
    }
    m_specimens = std::move(kept);
    specimensChanged();
    m_status->setText(dropped.isEmpty() ? QString()
                                        : QStringLiteral("Left out of the series: %1. %2")
                                              .arg(dropped.join(QStringLiteral(", ")), reason));
}

bool FitWindow::readCurve(const QString& path, MeasuredCurve& curve) {
    FitRange fitRange;
    if (const QString error = range(fitRange); !error.isEmpty()) {
        m_status->setText(error);
        return false;
    }
    const MeasuredCurveRead file = ReadMeasuredCurve(path.toStdString(), layout());
    const MeasuredCurveRead read = file.error.empty() ? WithinRange(file.curve, fitRange) : file;
    m_messages->clear();
    for (const std::string& skipped : file.curve.skippedRows) {
        m_messages->addItem(QString::fromStdString(skipped));
    }
    if (const std::string more = MoreSkippedRows(file.curve); !more.empty()) {
        m_messages->addItem(QString::fromStdString(more));
    }
    m_messages->setVisible(m_messages->count() > 0);
    m_status->setText(QString::fromStdString(read.error));
    if (!read.error.empty()) {
        return false;
    }
    curve = read.curve;
    return true;
}

bool FitWindow::loadCurve(const QString& path) {
    MeasuredCurve curve;
    if (fitting() || !readCurve(path, curve)) {
        return false;
    }
    m_specimens = {{path, std::move(curve), {}, std::nullopt}};
    specimensChanged();
    return true;
}

bool FitWindow::addSpecimen(const QString& path) {
    MeasuredCurve curve;
    if (fitting() || !readCurve(path, curve)) {
        return false;
    }
    m_specimens.push_back({path, std::move(curve), {}, std::nullopt});
    specimensChanged();
    return true;
}

void FitWindow::removeSpecimen(int row) {
    if (fitting() || row < 0 || row >= specimenCount()) {
        return;
    }
    m_specimens.erase(m_specimens.begin() + row);
    specimensChanged();
}

QString FitWindow::setSpecimenBase(int row, const QString& path) {
    if (fitting() || row < 0 || row >= specimenCount()) {
        return QStringLiteral("Choose a specimen first.");
    }
    std::string error;
    std::optional<DataSet> base = readBase(path.toStdString(), error);
    if (!base) {
        return QString::fromStdString(error);
    }
    m_specimens[std::size_t(row)].basePath = path;
    m_specimens[std::size_t(row)].base = std::move(base);
    specimensChanged();
    m_specimenList->setCurrentRow(row);
    return {};
}

// Any change of the series makes another fit: what was fitted before goes.
void FitWindow::specimensChanged() {
    m_specimenList->clear();
    for (const Specimen& specimen : m_specimens) {
        m_specimenList->addItem(QStringLiteral("%1 (%2 points), base: %3")
                                    .arg(QFileInfo(specimen.path).fileName())
                                    .arg(specimen.curve.points.size())
                                    .arg(specimen.base
                                             ? QFileInfo(specimen.basePath).fileName()
                                             : QStringLiteral("the parameter window's data set")));
    }
    m_curveName->setText(
        m_specimens.empty() ? QStringLiteral("no curve loaded")
        : m_specimens.size() == 1
            ? QFileInfo(m_specimens.front().path).fileName() +
                  QStringLiteral(" (%1 points)").arg(m_specimens.front().curve.points.size())
            : QStringLiteral("a series of %1 specimens, one law").arg(m_specimens.size()));
    const bool idle = !fitting();
    m_fit->setEnabled(idle && !m_specimens.empty());
    m_removeSpecimen->setEnabled(idle && !m_specimens.empty());
    m_specimenBase->setEnabled(idle && !m_specimens.empty());
    m_base = m_params;
    m_baseTexts = parameterTexts();
    CopyFieldTexts(m_base, m_baseTexts);
    resetResults();
}

std::vector<FitSpecimen> FitWindow::specimens() const {
    const MeasuredQuantity quantity =
        m_quantity->currentIndex() == 1 ? MeasuredQuantity::AverageStress : MeasuredQuantity::Load;
    std::vector<FitSpecimen> series;
    for (const Specimen& specimen : m_specimens) {
        const AnalysisParameters base =
            specimen.base ? AnalysisParametersOf(*specimen.base) : m_base;
        series.push_back({QFileInfo(specimen.path).fileName().toStdString(),
                          MeasuredLoads(specimen.curve, quantity, base), base,
                          specimen.base ? specimen.base->texts : m_baseTexts});
    }
    return series;
}

void FitWindow::showOverlay(const BondLawFit& fit) {
    const std::vector<FitSpecimen> series = specimens();
    m_plot->show(MakeFitFigures(series, fit), MakeResidualFigure(series, fit));
}

void FitWindow::startFit() {
    if (m_specimens.empty() || fitting()) {
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
        settings.fitSeatingOffset = m_offset->isChecked();
        for (int j = 0; j < kLawParameterCount; ++j) {
            if (m_fix[j]->isChecked()) {
                settings.fixedTexts[std::size_t(j)] = m_fixText[j]->text().toStdString();
            }
        }
        settings.progress = [this, model, generation = m_generation + 1,
                             series = specimens()](const FitProgress& progress) {
            // Only the latest law waits; the preview thread runs it when it is free.
            const std::lock_guard lock(m_previewMutex);
            m_previewPending = Preview{generation, model, progress.best, series};
            m_previewReady.notify_one();
        };
    }
    resetResults();
    m_finished = false;
    setWorkRunning(true);
    m_cancel->setEnabled(true);
    m_use->setEnabled(false);
    m_status->setText(QStringLiteral("Fitting…"));
    m_worker = std::jthread([this, runs = std::move(runs), series = specimens(),
                             generation = m_generation](std::stop_token stop) mutable {
        for (FitSettings& settings : runs) {
            settings.stop = stop;
            BondLawFit fit = FitBondLaw(series, settings);
            const bool go = fit.problems.empty() && !fit.cancelled;
            QMetaObject::invokeMethod(
                this,
                [this, generation, fit = std::move(fit)]() mutable {
                    lawFitted(generation, std::move(fit));
                },
                Qt::QueuedConnection);
            if (!go) {
                break;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, generation] { workerDone(generation); }, Qt::QueuedConnection);
    });
}

void FitWindow::cancelFit() {
    m_worker.request_stop();
    m_cancel->setEnabled(false);
    m_status->setText(QStringLiteral("Cancelling…"));
}

void FitWindow::lawFitted(int generation, BondLawFit fit) {
    if (generation != m_generation) {
        return; // a fit that was cancelled or replaced
    }
    if (!fit.problems.empty()) {
        QString text = QStringLiteral("The fit cannot start:");
        for (const std::string& problem : fit.problems) {
            text += QStringLiteral("\n") + QString::fromStdString(problem);
        }
        m_status->setText(text);
        return;
    }
    if (fit.cancelled) {
        // Nothing of a cancelled fit stays: no intermediate law, no results.
        resetResults();
        m_status->setText(QStringLiteral("The fit was cancelled."));
        return;
    }
    m_fits.push_back(std::move(fit));
    for (std::size_t k = 0; k < m_fits.size() && k < m_results.size(); ++k) {
        m_results[k]->setPlainText(QString::fromStdString(FitSummary(m_fits[k])));
        m_results[k]->show();
    }
    showOverlay(*betterFit());
}

// The inputs that change the fit wait while it runs; the parameter window and the desktop
// see the work through the window's workRunning property.
void FitWindow::setWorkRunning(bool running) {
    setProperty("workRunning", running);
    for (QWidget* input : std::initializer_list<QWidget*>{m_fit, m_load, m_addSpecimen,
                                                          m_removeSpecimen, m_specimenBase}) {
        input->setEnabled(!running &&
                          (input == m_load || input == m_addSpecimen || !m_specimens.empty()));
    }
}

void FitWindow::workerDone(int generation) {
    m_finished = true;
    setWorkRunning(false);
    m_cancel->setEnabled(false);
    if (generation != m_generation) {
        if (m_status->text() == QStringLiteral("Cancelling…")) {
            m_status->setText(QStringLiteral("The fit was cancelled."));
        }
        emit fitFinished();
        return;
    }
    m_use->setEnabled(!m_fits.empty());
    for (QPushButton* save : m_save) {
        save->setEnabled(!m_fits.empty());
    }
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

// A file the window is asked to write, under the programs' output rules: never the measured
// curve (by device and inode, links included), never a pipe; a name the user chose is replaced.
QString FitWindow::refusedOutput(const QString& path) const {
    std::vector<PolicyInput> inputs;
    for (const Specimen& specimen : m_specimens) {
        inputs.push_back({specimen.path.toStdString(), "the measured curve"});
        if (specimen.base) {
            inputs.push_back({specimen.basePath.toStdString(), "a base data set"});
        }
    }
    const std::string refusal =
        CheckOutputs(inputs, {{path.toStdString(), "the file", false}}, true);
    QString text = QString::fromStdString(refusal);
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper(); // a sentence in the window's status line
    }
    return text;
}

QString FitWindow::saveFittedDataSet(const QString& path) const {
    const BondLawFit* fit = betterFit();
    if (!fit) {
        return QStringLiteral("There is no fit to save.");
    }
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    // The data set keeps the law; a parameter file only where the law reads back from it. Of
    // a series, it is the first specimen's set with the shared law.
    const Specimen& first = m_specimens.front();
    DataSet base;
    base.texts = m_baseTexts;
    base.detailOutput = m_base.detailOutput != 0;
    std::string name = QFileInfo(first.path).fileName().toStdString();
    if (m_specimens.size() > 1) {
        name += " and " + std::to_string(m_specimens.size() - 1) + " more";
    }
    const DataSet fitted = FittedDataSet(*fit, first.base.value_or(base), "Fitted to " + name);
    if (IsDataSetPath(path.toStdString())) {
        const FileStatus status = WriteDataSetFile(path.toStdString(), fitted);
        return status.ok() ? QString() : QString::fromStdString(status.message);
    }
    if (!NotKeptInParameterFile(fitted).empty()) {
        return QStringLiteral("A parameter file cannot hold the %1 law: save the data set as .orv.")
            .arg(QString::fromStdString(std::string(BondLawName(fit->model))));
    }
    const FileStatus status = SaveParameterFile(
        path.toStdString(), FittedParameterFile(*fit, fitted.comment, fitted.detailOutput));
    return status.ok() ? QString() : QString::fromStdString(status.message);
}

QString FitWindow::saveCsv(const QString& path) const {
    const BondLawFit* fit = betterFit();
    if (!fit) {
        return QStringLiteral("There is no fit to save.");
    }
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    const FileStatus status =
        WriteWholeFile(path.toStdString(), MeasuredAgainstModelCsv(specimens(), *fit));
    return status.ok() ? QString() : QString::fromStdString(status.message);
}

QString FitWindow::saveFigure(const QString& path) const {
    const BondLawFit* fit = betterFit();
    if (!fit) {
        return QStringLiteral("There is no fit to save.");
    }
    if (const QString refusal = refusedOutput(path); !refusal.isEmpty()) {
        return refusal;
    }
    return QString::fromStdString(
        SaveFitFigure(MakeFitFigures(specimens(), *fit), path.toStdString()));
}

void FitWindow::saveClicked() {
    const auto* button = qobject_cast<QPushButton*>(sender());
    const std::size_t k =
        std::size_t(std::find(m_save.begin(), m_save.end(), button) - m_save.begin());
    const QString filters[] = {QStringLiteral("Data sets (*.orv);;Parameter files (*.kvp)"),
                               QStringLiteral("CSV tables (*.csv)"),
                               QStringLiteral("Figures (*.png *.svg *.pdf)")};
    const QString suffixes[] = {QStringLiteral("-fit.orv"), QStringLiteral("-fit.csv"),
                                QStringLiteral("-fit.png")};
    const QFileInfo curve(m_specimens.empty() ? QString() : m_specimens.front().path);
    const QString path = QFileDialog::getSaveFileName(
        this, button->text().chopped(1),
        curve.path() + QLatin1Char('/') + curve.completeBaseName() + suffixes[k], filters[k]);
    if (path.isEmpty()) {
        return;
    }
    const QString error = k == 0   ? saveFittedDataSet(path)
                          : k == 1 ? saveCsv(path)
                                   : saveFigure(path);
    m_status->setText(error.isEmpty() ? QStringLiteral("Saved %1.").arg(QFileInfo(path).fileName())
                                      : error);
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
