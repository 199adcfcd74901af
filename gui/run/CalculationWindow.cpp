#include "gui/run/CalculationWindow.h"

#include "core/numtext/NumberText.h"
#include "core/results/ResultFileName.h"
#include "core/results/RunController.h"
#include "gui/forms/Controls.h"
#include "gui/forms/FormLook.h"
#include "gui/forms/KeyRules.h"
#include "gui/forms/Placement.h"
#include "gui/run/DistributionPlotWindow.h"
#include "gui/run/TauSlipPlotWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <unistd.h>

namespace orvane {

namespace {

constexpr int kClientWidth = 5385; // twips
constexpr int kClientHeight = 6255;
constexpr double kPoints = 12.0;
constexpr int kTableRows = 10;
// The window system gets its turn after every this many steps.
constexpr int kStepsBetweenYields = 5;

// A caption at the top of its box.
QLabel* makeCaption(QWidget* parent, const char* name, const char* caption, const TwipsBox& box,
                    const QFont& font = formFont(kPoints)) {
    return makeLabel(parent, name, QString::fromUtf8(caption), box, font,
                     Qt::AlignHCenter | Qt::AlignTop);
}

// The table's cells: rows 240 twips apart, a little taller than that, so that neighbouring
// cells overlap as on the drawn form.
constexpr struct {
    const char* name;
    int left, width, height;
} kColumns[] = {{"Text4", 480, 975, 300}, {"Text5", 1800, 1215, 270}, {"Text6", 3480, 1215, 300}};
constexpr int kFirstRowTop = 1920;
constexpr int kRowPitch = 240;

int cellHeight(int column, int row) {
    // Rows 1 to 3 of the x column are drawn lower than the rest.
    return column == 0 && row >= 1 && row <= 3 ? 270 : kColumns[column].height;
}

QString masked(double value, const char* mask) {
    return QString::fromStdString(FormatMask(value, mask));
}

// The toolkit's drawing code may return to the event loop with the upper halves of the AVX
// registers still in use. Until they are cleared, each SSE instruction of the march (the core is
// built for the x86-64 baseline, without AVX) waits to merge with them: the fine-mesh run took
// three times as long per step as the same march without windows. VZEROUPPER clears them; it
// exists only where the processor has AVX, and leaves the values the compiler keeps intact.
void clearUpperVectorHalves() {
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx")) {
        asm volatile("vzeroupper");
    }
#endif
}

} // namespace

CalculationWindow::CalculationWindow(AnalysisParameters& params, QWidget* parent)
    : QWidget(parent), m_params(params), m_tauSlipPlot(new TauSlipPlotWindow(this)),
      m_distributionPlot(new DistributionPlotWindow(this)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("K-Varo Calculating"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    // The graph windows are windows of their own, owned by this one; closing either of them
    // is taken as a press of the button.
    for (QWidget* plot :
         {static_cast<QWidget*>(m_tauSlipPlot), static_cast<QWidget*>(m_distributionPlot)}) {
        plot->setWindowFlag(Qt::Window);
        plot->installEventFilter(this);
    }
    buildControls();
}

CalculationWindow::~CalculationWindow() = default;

void CalculationWindow::buildControls() {
    for (const auto& [name, caption, box] :
         {std::tuple{"Label1", "Step", TwipsBox{480, 360, 1095, 855}},
          {"Label2", "s0(mm)", {1680, 360, 1575, 855}},
          {"Label3", "Δs0(mm)", {3360, 360, 1575, 855}}}) {
        paintBackground(makeCaption(this, name, caption, box), kLightGrey);
    }
    m_stepFields = {makeValueBox(this, "Text1", {600, 720, 855, 405}, formFont(kPoints)),
                    makeValueBox(this, "Text2", {1800, 720, 1335, 405}, formFont(kPoints)),
                    makeValueBox(this, "Text3", {3480, 720, 1335, 405}, formFont(kPoints))};

    makePanel(this, "Shape1", {480, 1320, 4455, 3135}, kLightGrey)->lower();
    // The headings lie on the grey panel, so their text is fixed with it.
    for (const auto& [name, caption, box] :
         {std::tuple{"Label4", "x(mm)", TwipsBox{840, 1440, 735, 255}},
          {"Label5", "s(mm)", {2280, 1440, 735, 255}},
          {"Label6", "τ(MPa)", {3720, 1440, 975, 255}}}) {
        fixTextOn(makeCaption(this, name, caption, box), kLightGrey);
    }
    // The rule under the table headings, blue and two pixels wide.
    makePanel(this, "Line1", {480, 1800, 4440, 0}, Qt::blue)->setFixedHeight(2);
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < kTableRows; ++k) {
            const QByteArray name = QByteArray(kColumns[c].name) + '_' + QByteArray::number(k);
            QLineEdit* cell = makeValueBox(this, name.constData(),
                                           {kColumns[c].left, kFirstRowTop + kRowPitch * k,
                                            kColumns[c].width, cellHeight(c, k)},
                                           formFont(kPoints), false);
            paintBackground(cell, kLightGrey);
            if (c == 2) {
                setTextColour(cell, Qt::blue);
            }
            m_table[c][k] = cell;
        }
    }

    makePanel(this, "Shape2", {480, 4560, 4455, 1455}, kGrey)->lower();
    QFont italic = formFont(kPoints, true);
    italic.setItalic(true);
    fixTextOn(makeCaption(this, "Label10", "Results", {600, 4680, 975, 375}, italic), kGrey);
    fixTextOn(makeCaption(this, "Label11", "unit : N-mm", {1680, 4680, 1215, 255}, font()), kGrey);
    m_command = makeButton(this, "Command1", QStringLiteral("Command"), {3600, 4680, 1215, 375},
                           formFont(kPoints));
    m_command->setFocus();
    connect(m_command, &QPushButton::clicked, this, &CalculationWindow::commandClicked);

    for (const auto& [name, caption, box] :
         {std::tuple{"Label7", "τbmax", TwipsBox{600, 5160, 1335, 735}},
          {"Label8", "Pbumax", {2040, 5160, 1335, 735}},
          {"Label9", "slmax", {3480, 5160, 1335, 735}}}) {
        paintBackground(makeCaption(this, name, caption, box), kLightGrey);
    }
    m_maximaFields = {makeValueBox(this, "Text7", {840, 5400, 975, 420}, formFont(kPoints, true)),
                      makeValueBox(this, "Text8", {2280, 5400, 975, 420}, formFont(kPoints, true)),
                      makeValueBox(this, "Text9", {3720, 5400, 975, 420}, formFont(kPoints, true))};
    paintBackground(m_maximaFields[0], Qt::white);
    setTextColour(m_maximaFields[1], Qt::blue);
    setTextColour(m_maximaFields[2], Qt::red);
}

// This window and the τ-s plot are centred as a pair, this window centred vertically; the
// distribution plot stands under the τ-s plot. All by their frames, so that no title bar lies
// under another window.
void CalculationWindow::placeRunWindows() {
    const QRect screen = screenArea(this);
    const QRect calculation = frameGeometry();
    const QRect tauSlip = m_tauSlipPlot->frameGeometry();
    const QPoint topLeft = centredFrame(screen, calculation.size());
    const int left = screen.x() + screen.width() / 2 - (tauSlip.width() + calculation.width()) / 2;
    move(left, topLeft.y());
    m_tauSlipPlot->move(left + calculation.width(), topLeft.y());
    m_distributionPlot->move(left + calculation.width(), topLeft.y() + tauSlip.height());
}

void CalculationWindow::showRunWindows() {
    placeByFrame({this, m_tauSlipPlot, m_distributionPlot}, [this] { placeRunWindows(); });
    m_stepFields[0]->clear();
    m_stepFields[1]->clear();

    m_distributionPlot->show();
    m_tauSlipPlot->show();
    show();
    activateWindow();
}

int CalculationWindow::stepNumber() const {
    return m_run ? m_run->run().stepNumber() : 0;
}

void CalculationWindow::setState(RunState state) {
    m_state = state;
    static const char* const captions[] = {"Command", "Cancel", "OK"};
    m_command->setText(QString::fromLatin1(captions[static_cast<int>(state)]));
    m_command->setEnabled(true);
}

// The run starts once, after this window's first paint: the graph windows, shown before it,
// have painted by then, and the zero-delay timer lets the paint reach the screen before the
// first stretch of steps. Showing the window again, or activating it, never starts, restarts
// or duplicates a run.
void CalculationWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!m_runStarted) {
        m_runStarted = true;
        QTimer::singleShot(0, this, &CalculationWindow::startRun);
    }
}

// The result file goes beside the parameter file. Where that folder exists but cannot be
// written (an example installed in /usr/share/doc), the user picks another place in the file
// dialog, starting at their home folder; false when they decline.
bool CalculationWindow::chooseResultFile(std::string& path) {
    const std::filesystem::path derived = ResultFilePath(m_params.parameterFilePath);
    const std::filesystem::path folder =
        derived.has_parent_path() ? derived.parent_path() : std::filesystem::path(".");
    if (::access(folder.c_str(), W_OK) == 0) {
        return true;
    }
    const int error = errno;
    if (error != EACCES && error != EROFS && error != EPERM) {
        return true; // a missing folder: opening the file says so
    }
    const QString chosen = QFileDialog::getSaveFileName(
        this,
        QStringLiteral("%1 cannot be written (%2): save the result file elsewhere")
            .arg(QString::fromStdString(folder.string()),
                 QString::fromLocal8Bit(std::strerror(error))),
        QDir::home().filePath(QString::fromStdString(derived.filename().string())),
        QStringLiteral("Result files (*.t-s)"));
    path = chosen.toStdString();
    return !chosen.isEmpty();
}

void CalculationWindow::startRun() {
    if (m_closing) {
        return;
    }
    std::string resultFile; // empty: beside the parameter file
    if (!chooseResultFile(resultFile)) {
        failRun(QStringLiteral("The folder of the result file %1 cannot be written, and no "
                               "other place was chosen.")
                    .arg(QString::fromStdString(ResultFilePath(m_params.parameterFilePath))));
        return;
    }
    m_run = std::make_unique<RunController>(m_params);
    const PulloutRun& run = m_run->run();
    m_tauSlipPlot->startRun(run.history(), m_params.ds, m_params.tauMax);
    setState(RunState::Running);
    m_rowStride = run.rowStride();
    for (auto& column : m_table) {
        for (QLineEdit* cell : column) {
            cell->clear();
        }
    }
    m_distributionPlot->startRun(run.elementCount(), m_params.tauMax);

    m_run->addObserver(*this);
    m_run->addObserver(*m_distributionPlot);
    m_run->addObserver(*m_tauSlipPlot);
    const FileStatus opened = m_run->openResultFile(resultFile);
    if (!opened.ok()) {
        failRun(QString::fromStdString(opened.message));
        return;
    }
    m_maximaFields[0]->setText(masked(m_params.tauMax, "#0.000"));
    emit runStarted(*m_run);
    continueRun();
}

// Steps until the next multiple of five, then returns to the event loop so that the windows
// repaint and the button answers; the continuation first clears the distribution plot, whose
// last five curves the user has just seen. A failure ends the run at once.
void CalculationWindow::continueRun() {
    if (m_state != RunState::Running) {
        return;
    }
    if (m_redrawDue) {
        m_redrawDue = false;
        m_distributionPlot->redraw();
        if (m_pendingEnd != RunEnd::None) {
            finishRun(m_pendingEnd);
            return;
        }
    }
    for (;;) {
        clearUpperVectorHalves(); // the observers' drawing may have used them since
        const RunEnd end = m_run->step();
        if (end == RunEnd::ResultFileFailed || end == RunEnd::NonFinite) {
            failRun(QString::fromStdString(m_run->failureMessage()));
            return;
        }
        if (m_run->run().stepNumber() % kStepsBetweenYields == 0) {
            showStep();
            m_redrawDue = true;
            m_pendingEnd = end;
            QTimer::singleShot(0, this, &CalculationWindow::continueRun);
            return;
        }
        if (end != RunEnd::None) {
            finishRun(end);
            return;
        }
    }
}

// A bond failure or the step limit: the file is closed and whole.
void CalculationWindow::finishRun(RunEnd end) {
    showStep();
    setState(RunState::Finished);
    emit runFinished(end);
    if (end == RunEnd::StepLimit) {
        QMessageBox::information(
            this, windowTitle(),
            QStringLiteral("The run reached the step limit of %1 steps without a bond failure.\n"
                           "The result file %2 holds every step.")
                .arg(PulloutRun::kMaxSteps)
                .arg(QString::fromStdString(m_run->resultFile())));
    }
    if (m_run->headerPathReplaced()) {
        QMessageBox::information(
            this, windowTitle(),
            QStringLiteral("The path of the parameter file holds characters that the "
                           "Shift-JIS result file cannot hold; line 1 of %1 shows them as "
                           "\"?\".")
                .arg(QString::fromStdString(m_run->resultFile())));
    }
}

// A result file that cannot be created or written, or values beyond the finite range, end
// the run: the user is told what and why, and the windows close back to the parameter window.
// The button keeps "Cancel" while the message is up: the run has not finished well.
void CalculationWindow::failRun(const QString& message) {
    showStep();
    QMessageBox::warning(this, windowTitle(),
                         message + QStringLiteral("\n\nThe analysis has stopped."));
    setState(RunState::Finished);
    closeRunWindows();
}

void CalculationWindow::commandClicked() {
    // Pressed in any state: a running run ends here, between two steps; its file keeps the
    // header and the steps completed so far.
    if (m_run && m_run->end() == RunEnd::None) {
        showStep();
        m_run->stop();
        if (m_run->end() == RunEnd::ResultFileFailed) {
            failRun(QString::fromStdString(m_run->failureMessage()));
            return;
        }
    }
    setState(RunState::Finished);
    closeRunWindows();
}

void CalculationWindow::closeRunWindows() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    m_tauSlipPlot->hide();
    m_distributionPlot->hide();
    hide();
    emit closed();
}

void CalculationWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    commandClicked();
}

void CalculationWindow::keyPressEvent(QKeyEvent* event) {
    if (!pressFocusedButton(this, event) && !openContextMenuByKey(this, event)) {
        QWidget::keyPressEvent(event);
    }
}

bool CalculationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close &&
        (watched == m_tauSlipPlot || watched == m_distributionPlot)) {
        event->ignore();
        commandClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The run's reports are kept; the boxes are written once per turn of the event loop (showStep),
// since texts set between two repaints are never seen. On a fine mesh the march is short and
// the text layout of 36 boxes per step would be a large part of the window's time.
void CalculationWindow::stepStarted(const StepStart& start) {
    m_start = start;
    m_stepShown = false;
    m_nextRow = 0;
    m_nextSampledElement = m_rowStride;
}

void CalculationWindow::elementsComputed(std::span<const ElementResult> elements) {
    // Every rowStride-th element is a row: the block's rows are picked by index, not by
    // looking at every element.
    const int first = elements.front().i;
    const int last = elements.back().i;
    while (m_nextRow < kTableRows && m_nextSampledElement <= last) {
        m_rows[std::size_t(m_nextRow)] = elements[std::size_t(m_nextSampledElement - first)];
        m_nextSampledElement += m_rowStride;
        ++m_nextRow;
    }
}

void CalculationWindow::stepFinished(const StepResult& result) {
    m_Pbumax = result.Pbumax;
    m_slmax = result.slmax;
    m_maximaKnown = true;
}

// The rows of a step cut short by a failure show as far as the step went, as the maxima of
// the last whole step.
void CalculationWindow::showStep() {
    if (m_stepShown) {
        return;
    }
    m_stepShown = true;
    m_stepFields[0]->setText(masked(m_start.step, "00000"));
    m_stepFields[1]->setText(masked(m_start.s0, "0.000e+00"));
    m_stepFields[2]->setText(masked(m_start.ds, "0.000e+00"));
    for (int k = 0; k < m_nextRow; ++k) {
        const ElementResult& element = m_rows[std::size_t(k)];
        m_table[0][k]->setText(masked(element.x, "##0.000"));
        m_table[1][k]->setText(masked(element.s, "0.000e+00"));
        m_table[2][k]->setText(masked(element.tau, "##0.000"));
    }
    if (m_maximaKnown) {
        m_maximaFields[1]->setText(masked(m_Pbumax, "#####0.0"));
        m_maximaFields[2]->setText(masked(m_slmax, "#0.00000"));
    }
}

} // namespace orvane
