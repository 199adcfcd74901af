#include "gui/parameters/ParameterWindow.h"

#include "core/engine/RunChecks.h"
#include "core/files/ParameterFile.h"
#include "core/numtext/NumberText.h"
#include "gui/forms/ConcreteStore.h"
#include "gui/forms/Controls.h"
#include "gui/forms/FormLook.h"
#include "gui/forms/KeyRules.h"
#include "gui/forms/MessageBoxes.h"
#include "gui/forms/Placement.h"
#include "gui/forms/RunningWork.h"
#include "gui/parameters/ParameterFileDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>

namespace orvane {

namespace {

constexpr int kClientWidth = 7185; // twips
constexpr int kClientHeight = 6180;
constexpr double kSmallPoints = 9.75;
constexpr double kLargePoints = 11.25;

// A numeric field with its quantity label.
struct FieldPlace {
    NumericField field;
    const char* textName;
    TwipsBox text;
    const char* labelName;
    TwipsBox label;
};

constexpr FieldPlace kFieldPlaces[] = {
    {NumericField::TauMax, "Text2", {1440, 2400, 855, 360}, "Label25", {360, 2400, 1095, 375}},
    {NumericField::SMax, "Text3", {1440, 2880, 855, 405}, "Label4", {360, 2880, 1095, 375}},
    {NumericField::Su, "Text4", {1440, 3360, 855, 405}, "Label6", {360, 3360, 1095, 375}},
    {NumericField::Dl, "Text5", {1440, 3840, 855, 405}, "Label5", {360, 3840, 1095, 375}},
    {NumericField::Lb, "Text6", {1440, 4320, 855, 405}, "Label7", {360, 4320, 1095, 375}},
    {NumericField::B, "Text7", {3720, 1800, 855, 405}, "Label9", {2640, 1800, 1095, 375}},
    {NumericField::Tf, "Text8", {3720, 2280, 855, 405}, "Label10", {2640, 2280, 1095, 375}},
    {NumericField::Ef, "Text9", {3720, 2760, 855, 405}, "Label11", {2640, 2760, 1095, 375}},
    {NumericField::Tr, "Text10", {3720, 3960, 855, 405}, "Label12", {2640, 3960, 1095, 375}},
    {NumericField::Er, "Text11", {3720, 4440, 855, 405}, "Label3", {2640, 4440, 1095, 375}},
    {NumericField::Bc, "Text12", {6000, 1800, 855, 405}, "Label22", {4920, 1800, 1095, 375}},
    {NumericField::Dc, "Text13", {6000, 2280, 855, 390}, "Label14", {4920, 2280, 1095, 375}},
    {NumericField::Ec, "Text14", {6000, 2760, 855, 405}, "Label16", {4920, 2760, 1095, 375}},
    {NumericField::Ab, "Text15", {6000, 3960, 855, 405}, "Label15", {4920, 3960, 1095, 375}},
    {NumericField::Eb, "Text16", {6000, 4440, 855, 405}, "Label17", {4920, 4440, 1095, 375}},
    {NumericField::InitialDs, "Text20", {3120, 5640, 1575, 405}, "Label24", {2520, 5640, 615, 375}},
};

// Light-grey panels behind the groups, drawn first so that they lie under the controls.
constexpr struct {
    const char* name;
    TwipsBox box;
} kPanels[] = {
    {"Shape1", {720, 480, 5895, 615}},    {"Shape4", {240, 1200, 2175, 4215}},
    {"Shape3", {2520, 1200, 2175, 2055}}, {"Shape5", {2520, 3360, 2175, 2055}},
    {"Shape2", {4800, 1200, 2175, 2055}}, {"Shape6", {4800, 3360, 2175, 2055}},
};

constexpr struct {
    const char* name;
    const char* caption;
    TwipsBox box;
} kGroupHeadings[] = {
    {"Label2", "Condition for analysis unit : N-mm", {360, 1320, 1815, 495}},
    {"Label8", "Data for FRP laminate unit : N-mm", {2640, 1320, 1935, 495}},
    {"Label20", "Data for epoxy resin unit : N-mm", {2640, 3480, 1815, 495}},
    {"Label13", "Data for concrete  unit : N-mm", {4920, 1320, 1695, 495}},
    {"Label19", "Data for re-bar  unit : N-mm", {4920, 3480, 1695, 495}},
};

// The display format each field is first filled with: a mask, or the plain conversion.
constexpr const char* kStartupMasks[kNumericFieldCount] = {
    "#0.000", "0.0000", "0.0000", "#0.000", "###0.0", "##0.00", "#0.000", nullptr,
    "#0.000", nullptr,  "###0.0", "###0.0", nullptr,  "###0.0", nullptr,  nullptr,
};

// The one local file of a drop, when it is a parameter or data-set file.
QString droppedDataSetFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls()[0].isLocalFile()) {
        return {};
    }
    const QString path = mime->urls()[0].toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("kvp") || suffix == QLatin1String("orv") ? path : QString();
}

} // namespace

const QString ParameterWindow::kCaption = QStringLiteral("K-Varo Parameter");

ParameterWindow::ParameterWindow(AnalysisParameters& params, QWidget* parent)
    : QWidget(parent), m_params(params) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    setAcceptDrops(true);

    buildPanelsAndHeadings();
    buildFields();
    buildButtons();
    orderTabs();
    fillStartupTexts();

    m_concrete = &ConcreteStoreOf(*this);
    m_savedDataSet = dataSet();
    m_savedDataSet.concrete = m_concrete->input();
    m_save = [this] {
        saveClicked();
        return !hasUnsavedChanges();
    };
    // Every edit shows in the title at once.
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        connect(field, &QLineEdit::textChanged, this, &ParameterWindow::updateTitle);
    }
    connect(m_detailOutput, &QCheckBox::toggled, this, &ParameterWindow::updateTitle);
    for (QRadioButton* law : {m_perfectlyBilinear, m_bilinearSoftening}) {
        // After modelChosen, which was connected first, has set the law.
        connect(law, &QRadioButton::clicked, this, &ParameterWindow::updateTitle);
    }
    connect(m_concrete, &ConcreteStore::changed, this, &ParameterWindow::updateTitle);
}

void ParameterWindow::buildPanelsAndHeadings() {
    for (const auto& panel : kPanels) {
        makePanel(this, panel.name, panel.box, kLightGrey);
    }
    for (const auto& heading : kGroupHeadings) {
        QLabel* label = makeLabel(this, heading.name, QString::fromUtf8(heading.caption),
                                  heading.box, formFont(kSmallPoints));
        paintBackground(label, kLightGrey);
        setTextColour(label, Qt::blue);
    }

    QLabel* title = makeLabel(this, "Label18", QStringLiteral("Orvane ver.2.1"),
                              {720, 120, 5895, 255}, formFont(kLargePoints, true), Qt::AlignCenter);
    setTextColour(title, Qt::red);

    QLabel* commentLabel = makeLabel(this, "Label1", QStringLiteral("Comment"),
                                     {840, 600, 1095, 255}, formFont(kLargePoints));
    paintBackground(commentLabel, kLightGrey);

    m_comment = makeTextField(this, "Text1", {2040, 600, 4455, 405}, formFont(kLargePoints),
                              Qt::AlignLeft | Qt::AlignVCenter, false);
    m_comment->setMaxLength(kMaxParameterFileBytes); // any comment a parameter file can hold
    connect(m_comment, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_params.comment = text.toStdString(); });
}

void ParameterWindow::buildFields() {
    m_perfectlyBilinear = makeControl<QRadioButton>(this, "Option1", {360, 1800, 1935, 255});
    m_perfectlyBilinear->setText(QStringLiteral("Perfectly bi-linear"));
    m_bilinearSoftening = makeControl<QRadioButton>(this, "Option2", {360, 2040, 1935, 255});
    m_bilinearSoftening->setText(QStringLiteral("Bi-linear softening"));
    m_bilinearSoftening->setChecked(true);
    // The law's buttons lie on the grey panel of the analysis group.
    fixTextOn(m_perfectlyBilinear, kLightGrey);
    fixTextOn(m_bilinearSoftening, kLightGrey);
    connect(m_perfectlyBilinear, &QRadioButton::clicked, this, &ParameterWindow::modelChosen);
    connect(m_bilinearSoftening, &QRadioButton::clicked, this, &ParameterWindow::modelChosen);

    for (const FieldPlace& place : kFieldPlaces) {
        QLabel* label =
            makeLabel(this, place.labelName, fromUtf8(FieldLabel(place.field, m_params.bondModel)),
                      place.label, formFont(kSmallPoints), Qt::AlignCenter);
        paintBackground(label, kGrey);
        setTextColour(label, Qt::white);

        QLineEdit* text = makeTextField(this, place.textName, place.text, formFont(kSmallPoints),
                                        Qt::AlignRight | Qt::AlignVCenter, true);
        const NumericField field = place.field;
        connect(text, &QLineEdit::textChanged, this, [this, field](const QString& value) {
            m_params.value(field) = FieldValue(value.toStdString());
        });
        m_fields[static_cast<int>(field)] = text;
    }
    m_tauMaxLabel = findChild<QLabel*>(QStringLiteral("Label25"));
    m_sMaxLabel = findChild<QLabel*>(QStringLiteral("Label4"));
    m_suLabel = findChild<QLabel*>(QStringLiteral("Label6"));

    m_detailOutput = makeControl<QCheckBox>(this, "Check1", {360, 4920, 1935, 375});
    m_detailOutput->setText(QStringLiteral("Detail output"));
    m_detailOutput->setFont(formFont(kSmallPoints));
    m_detailOutput->setStyleSheet(QStringLiteral("QCheckBox { background: rgb(128, 128, 128); "
                                                 "color: white; padding-left: 2px; }"));
    connect(m_detailOutput, &QCheckBox::toggled, this,
            [this](bool checked) { m_params.detailOutput = checked ? 1 : 0; });
}

void ParameterWindow::buildButtons() {
    const struct {
        const char* name;
        const char* caption;
        TwipsBox box;
        void (ParameterWindow::*clicked)();
    } buttons[] = {
        {"Command2", "Open", {240, 5640, 975, 375}, &ParameterWindow::openClicked},
        {"Command3", "Save", {1320, 5640, 975, 375}, &ParameterWindow::saveClicked},
        {"Command4", "Exit", {4920, 5640, 975, 375}, &ParameterWindow::exitClicked},
        {"Command1", "Execute", {6000, 5640, 975, 375}, &ParameterWindow::executeClicked},
    };
    for (const auto& button : buttons) {
        QPushButton* push = makeButton(this, button.name, QString::fromLatin1(button.caption),
                                       button.box, formFont(kLargePoints));
        connect(push, &QPushButton::clicked, this, button.clicked);
    }
}

void ParameterWindow::orderTabs() {
    const char* const order[] = {
        "Command1", "Text1",    "Option1",  "Option2",  "Text2",  "Text3",  "Text4",  "Text5",
        "Text6",    "Check1",   "Text7",    "Text8",    "Text9",  "Text10", "Text11", "Text12",
        "Text13",   "Command2", "Command3", "Command4", "Text14", "Text15", "Text20", "Text16",
    };
    QWidget* previous = nullptr;
    for (const char* name : order) {
        auto* widget = findChild<QWidget*>(QString::fromLatin1(name));
        if (previous) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
    findChild<QWidget*>(QStringLiteral("Command1"))->setFocus();
}

// Each text passes through its change capture, so afterwards every field of the parameter
// set holds exactly what its text shows.
void ParameterWindow::fillStartupTexts() {
    const AnalysisParameters startup = StartupParameters();
    m_comment->setText(fromUtf8(kStartupComment));
    for (int f = 0; f < kNumericFieldCount; ++f) {
        const float value = startup.value(NumericField(f));
        m_fields[f]->setText(
            fromUtf8(kStartupMasks[f] ? FormatMask(value, kStartupMasks[f]) : SingleToText(value)));
    }
    m_params.detailOutput = 0;
    m_params.bondModel = BondModel::BilinearSoftening;
}

FieldTexts ParameterWindow::fieldTexts() const {
    FieldTexts texts;
    for (int f = 0; f < kNumericFieldCount; ++f) {
        texts[f] = m_fields[f]->text().toStdString();
    }
    return texts;
}

DataSet ParameterWindow::dataSet() const {
    DataSet data;
    data.comment = m_comment->text().toStdString();
    data.texts = fieldTexts();
    data.law = m_params.bondModel;
    data.detailOutput = m_detailOutput->isChecked();
    return data;
}

void ParameterWindow::showDataSet(const DataSet& data) {
    m_comment->setText(QString::fromStdString(data.comment));
    for (int f = 0; f < kNumericFieldCount; ++f) {
        m_fields[f]->setText(QString::fromStdString(data.texts[f]));
    }
    m_detailOutput->setChecked(data.detailOutput);
    (data.law == BondModel::PerfectlyBilinear ? m_perfectlyBilinear : m_bilinearSoftening)->click();
}

void ParameterWindow::centreOnScreen() {
    centreByFrame(this);
}

void ParameterWindow::markSaved(const QString& path) {
    m_dataSetFile = path;
    m_savedDataSet = dataSet();
    m_savedDataSet.concrete = m_concrete->input();
    updateTitle();
    emit dataSetFileChanged(path);
}

bool ParameterWindow::hasUnsavedChanges() const {
    DataSet shown = dataSet();
    shown.concrete = m_concrete->input();
    return shown != m_savedDataSet;
}

void ParameterWindow::setSaveHandler(std::function<bool()> save) {
    m_save = std::move(save);
}

// The form's caption stays; the file's name goes before it, with a star for unsaved changes:
// "beam.kvp* — K-Varo Parameter".
void ParameterWindow::updateTitle() {
    const QString star = hasUnsavedChanges() ? QStringLiteral("*") : QString();
    setWindowTitle(m_dataSetFile.isEmpty() ? kCaption + star
                                           : QFileInfo(m_dataSetFile).fileName() + star +
                                                 QStringLiteral(" — ") + kCaption);
}

// Both questions are asked before anything is stopped, so that Cancel at either leaves
// everything running and on screen as it was.
bool ParameterWindow::mayLeave() {
    const QList<QWidget*> running = WindowsWithRunningWork();
    if (!running.isEmpty() && !askGoOnOrCancel(this, kCaption, RunningWorkQuestion(running),
                                               QStringLiteral("Stop and quit"))) {
        return false;
    }
    if (!keepOrDropChanges(QStringLiteral("quitting"))) {
        return false;
    }
    return StopRunningWork(running);
}

bool ParameterWindow::mayReplaceChanges() {
    return keepOrDropChanges(QStringLiteral("opening another data set"));
}

bool ParameterWindow::keepOrDropChanges(const QString& before) {
    if (!hasUnsavedChanges()) {
        return true;
    }
    const QString name = m_dataSetFile.isEmpty() ? QStringLiteral("the data set")
                                                 : QFileInfo(m_dataSetFile).fileName();
    switch (askSaveDiscardCancel(
        this, kCaption,
        QStringLiteral("The changes to %1 are not saved.\n\nSave them before %2?")
            .arg(name, before))) {
    case QMessageBox::Save:
        return m_save();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void ParameterWindow::closeEvent(QCloseEvent* event) {
    if (mayLeave()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void ParameterWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedDataSetFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void ParameterWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedDataSetFile(event->mimeData());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        emit fileDropped(path);
    }
}

void ParameterWindow::keyPressEvent(QKeyEvent* event) {
    if (!pressFocusedButton(this, event)) {
        QWidget::keyPressEvent(event);
    }
}

void ParameterWindow::executeClicked() {
    const FieldTexts texts = fieldTexts();
    CopyFieldTexts(m_params, texts);
    const std::vector<std::string> problems = CheckRun(m_params, texts);
    // A field such as "230 GPa" runs with its leading number; the user sees which number.
    const std::vector<std::string> leniently =
        FieldsReadByTheirLeadingNumber(texts, m_params.bondModel);
    QString readings;
    for (const std::string& reading : leniently) {
        readings += QStringLiteral("\n• ") + QString::fromStdString(reading);
    }
    if (!problems.empty()) {
        QString message = QStringLiteral("The analysis cannot start:\n");
        for (const std::string& problem : problems) {
            message += QStringLiteral("\n• ") + QString::fromStdString(problem);
        }
        if (!readings.isEmpty()) {
            message += QStringLiteral("\n\nThese fields hold more than a number:\n") + readings;
        }
        showMessage(this, QMessageBox::Warning, kCaption, message);
        return;
    }
    if (!readings.isEmpty() &&
        !askYesNo(this, kCaption,
                  QStringLiteral("These fields hold more than a number; the run uses the number "
                                 "each begins with:\n") +
                      readings + QStringLiteral("\n\nRun with these numbers?"))) {
        return;
    }
    emit runRequested();
}

void ParameterWindow::modelChosen() {
    m_params.bondModel = m_perfectlyBilinear->isChecked() ? BondModel::PerfectlyBilinear
                                                          : BondModel::BilinearSoftening;
    m_tauMaxLabel->setText(fromUtf8(FieldLabel(NumericField::TauMax, m_params.bondModel)));
    m_sMaxLabel->setText(fromUtf8(FieldLabel(NumericField::SMax, m_params.bondModel)));
    m_suLabel->setText(fromUtf8(FieldLabel(NumericField::Su, m_params.bondModel)));
    for (QLabel* label : {m_tauMaxLabel, m_sMaxLabel, m_suLabel}) {
        label->setFont(formFont(kSmallPoints));
        fitLabelText(label);
    }
}

// Exit ends the program at once, as it always has, unless that would lose typed data or
// running work: then it asks first.
void ParameterWindow::exitClicked() {
    if (mayLeave()) {
        QCoreApplication::exit(0);
    }
}

// The dialog loads or saves through this window on a confirmed choice and closes itself.
void ParameterWindow::openClicked() {
    showFileDialog(ParameterFileDialog::kOpenCaption.toString());
}

void ParameterWindow::saveClicked() {
    showFileDialog(ParameterFileDialog::kSaveCaption.toString());
}

// The dialog's caption is its mode; a confirmed choice loads or saves through this window.
void ParameterWindow::showFileDialog(const QString& caption) {
    ParameterFileDialog dialog(
        m_params, [this](const QString& path) { loadFrom(path); },
        [this](const QString& path) { saveTo(path); }, this);
    dialog.setWindowTitle(caption);
    dialog.presetName(ParameterFileDialog::kStartPattern.toString());
    dialog.exec();
}

bool ParameterWindow::saveTo(const QString& path) {
    if (QFileInfo(path).isFile() &&
        !askYesNo(this, QStringLiteral("Menu"), QStringLiteral("Do you overwrite？"))) {
        return false;
    }
    ParameterFileTexts texts;
    texts.comment = m_comment->text().toStdString();
    texts.detailOutput = m_params.detailOutput != 0;
    for (int f = 0; f < kStoredFieldCount; ++f) {
        texts.fields[f] = m_fields[f]->text().toStdString();
    }
    const FileStatus status = SaveParameterFile(path.toStdString(), texts);
    if (!status.ok()) {
        // The platform's error number of the failed operation, as users have always seen it;
        // the reason in words below it.
        showMessage(this, QMessageBox::Warning, QStringLiteral("Text editor"),
                    QStringLiteral("Error! Try again.") +
                        (status.errorNumber ? QString::number(status.errorNumber) : QString()),
                    QString::fromStdString(status.message));
        return false;
    }
    m_params.parameterFilePath = path.toStdString();
    markSaved(path);
    return true;
}

bool ParameterWindow::loadFrom(const QString& path) {
    ParameterFileTexts texts;
    const FileStatus status = LoadParameterFile(path.toStdString(), texts);
    if (!status.ok()) {
        showMessage(this, QMessageBox::Warning, ParameterFileDialog::kMessageTitle.toString(),
                    QStringLiteral("The parameter file was not loaded.\n\n") +
                        QString::fromStdString(status.message));
        return false;
    }
    m_comment->setText(QString::fromStdString(texts.comment));
    for (int f = 0; f < kStoredFieldCount; ++f) {
        if (f == static_cast<int>(NumericField::B)) {
            m_detailOutput->setChecked(texts.detailOutput);
        }
        m_fields[f]->setText(QString::fromStdString(texts.fields[f]));
    }
    m_params.parameterFilePath = path.toStdString();
    markSaved(path);
    return true;
}

} // namespace orvane
