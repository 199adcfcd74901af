#include "output/CalculationWindow.h"

#include "entry/FormLayout.h"
#include "numtext/NumberText.h"
#include "output/DistributionPlotWindow.h"
#include "output/ResultFileName.h"
#include "output/TauSlipPlotWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace orvane {

namespace {

constexpr int kClientWidth = 5385; // twips
constexpr int kClientHeight = 6255;
constexpr double kPoints = 12.0;
constexpr int kTableRows = 10;
// The window system gets its turn after every this many steps.
constexpr int kStepsBetweenYields = 5;

const QColor kLightGrey(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);

struct Box {
    int left, top, width, height; // twips
};

void paint(QWidget* widget, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Base, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QWidget* makeBlock(QWidget* parent, const char* name, const Box& box, const QColor& colour) {
    auto* block = new QWidget(parent);
    block->setObjectName(QString::fromLatin1(name));
    placeInTwips(block, box.left, box.top, box.width, box.height);
    paint(block, colour);
    return block;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption, const Box& box) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(formFont(kPoints));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    placeInTwips(label, box.left, box.top, box.width, box.height);
    return label;
}

// The program writes these boxes and never reads them. The font is fitted to the widest value
// the box is to show.
QLineEdit* makeBox(QWidget* parent, const QString& name, const Box& box, const char* widest,
                   bool bold = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setFont(formFont(kPoints, bold));
    edit->setAlignment(Qt::AlignRight);
    placeInTwips(edit, box.left, box.top, box.width, box.height);
    fitBoxFont(edit, QString::fromLatin1(widest));
    return edit;
}

QString masked(double value, const char* mask) {
    return QString::fromStdString(FormatMask(value, mask));
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
    makeLabel(this, "Label1", "Step", {480, 360, 1095, 855});
    makeLabel(this, "Label2", "s0(mm)", {1680, 360, 1575, 855});
    makeLabel(this, "Label3", "Δs0(mm)", {3360, 360, 1575, 855});
    for (const char* name : {"Label1", "Label2", "Label3"}) {
        paint(findChild<QLabel*>(QString::fromLatin1(name)), kLightGrey);
    }
    m_stepFields = {makeBox(this, QStringLiteral("Text1"), {600, 720, 855, 405}, "00000"),
                    makeBox(this, QStringLiteral("Text2"), {1800, 720, 1335, 405}, "8.888e-08"),
                    makeBox(this, QStringLiteral("Text3"), {3480, 720, 1335, 405}, "8.888e-08")};

    QWidget* table = makeBlock(this, "Shape1", {480, 1320, 4455, 3135}, kLightGrey);
    table->lower();
    makeLabel(this, "Label4", "x(mm)", {840, 1440, 735, 255});
    makeLabel(this, "Label5", "s(mm)", {2280, 1440, 735, 255});
    makeLabel(this, "Label6", "τ(MPa)", {3720, 1440, 975, 255});
    // The rule under the table headings, blue and two pixels wide.
    QWidget* rule = makeBlock(this, "Line1", {480, 1800, 4440, 0}, Qt::blue);
    rule->setFixedHeight(2);
    const struct {
        const char* name;
        int left, width;
        const char* widest;
    } columns[] = {{"Text4", 480, 975, "888.888"},
                   {"Text5", 1800, 1215, "8.888e-08"},
                   {"Text6", 3480, 1215, "88.888"}};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < kTableRows; ++k) {
            const int top = 1920 + 240 * k;
            QLineEdit* cell = makeBox(this, QStringLiteral("%1_%2").arg(columns[c].name).arg(k),
                                      {columns[c].left, top, columns[c].width, 240}, "");
            cell->setFrame(false);
            fitBoxFont(cell, QString::fromLatin1(columns[c].widest));
            paint(cell, kLightGrey);
            if (c == 2) {
                setTextColour(cell, Qt::blue);
            }
            m_table[c][k] = cell;
        }
    }

    QWidget* results = makeBlock(this, "Shape2", {480, 4560, 4455, 1455}, kGrey);
    results->lower();
    QLabel* heading = makeLabel(this, "Label10", "Results", {600, 4680, 975, 375});
    QFont italic = formFont(kPoints, true);
    italic.setItalic(true);
    heading->setFont(italic);
    QLabel* unit = makeLabel(this, "Label11", "unit : N-mm", {1680, 4680, 1215, 255});
    unit->setFont(font());
    m_command = new QPushButton(QStringLiteral("Command"), this);
    m_command->setObjectName(QStringLiteral("Command1"));
    m_command->setFont(formFont(kPoints));
    m_command->setFocus();
    placeInTwips(m_command, 3600, 4680, 1215, 375);
    connect(m_command, &QPushButton::clicked, this, &CalculationWindow::commandClicked);

    makeLabel(this, "Label7", "τbmax", {600, 5160, 1335, 735});
    makeLabel(this, "Label8", "Pbumax", {2040, 5160, 1335, 735});
    makeLabel(this, "Label9", "slmax", {3480, 5160, 1335, 735});
    for (const char* name : {"Label7", "Label8", "Label9"}) {
        paint(findChild<QLabel*>(QString::fromLatin1(name)), kLightGrey);
    }
    m_maximaFields = {
        makeBox(this, QStringLiteral("Text7"), {840, 5400, 975, 420}, "88.888", true),
        makeBox(this, QStringLiteral("Text8"), {2280, 5400, 975, 420}, "88888.8", true),
        makeBox(this, QStringLiteral("Text9"), {3720, 5400, 975, 420}, "8.88888", true)};
    paint(m_maximaFields[0], Qt::white);
    setTextColour(m_maximaFields[1], Qt::blue);
    setTextColour(m_maximaFields[2], Qt::red);
}

void CalculationWindow::showRunWindows() {
    // This window and the τ-s plot are centred as a pair; the distribution plot stands under
    // the τ-s plot.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const int left = area.x() + area.width() / 2 - (m_tauSlipPlot->width() + width()) / 2;
    const int top = area.y() + area.height() / 2 - height() / 2;
    move(left, top);
    m_tauSlipPlot->move(left + width(), top);
    m_distributionPlot->move(left + width(), top + m_tauSlipPlot->height());
    m_stepFields[0]->clear();
    m_stepFields[1]->clear();

    m_distributionPlot->show();
    m_tauSlipPlot->show();
    show();
    activateWindow();
}

int CalculationWindow::stepNumber() const {
    return m_run ? m_run->stepNumber() : 0;
}

void CalculationWindow::setState(RunState state) {
    m_state = state;
    static const char* const captions[] = {"Command", "Cancel", "OK"};
    m_command->setText(QString::fromLatin1(captions[static_cast<int>(state)]));
    m_command->setEnabled(true);
}

// The run starts once, after the newly shown windows have painted. Showing the window again,
// or activating it, never starts, restarts or duplicates a run.
void CalculationWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_runStarted) {
        m_runStarted = true;
        QTimer::singleShot(0, this, &CalculationWindow::startRun);
    }
}

void CalculationWindow::startRun() {
    if (m_closing) {
        return;
    }
    m_run = std::make_unique<PulloutRun>(m_params);
    m_tauSlipPlot->startRun(m_run->history(), m_params.ds, m_params.tauMax);
    setState(RunState::Running);
    m_rowStride = m_run->rowStride();
    for (auto& column : m_table) {
        for (QLineEdit* cell : column) {
            cell->clear();
        }
    }
    m_distributionPlot->startRun(m_run->elementCount(), m_params.tauMax);

    m_params.parameterFilePath = ResultFilePath(m_params.parameterFilePath);
    const FileStatus opened =
        m_writer.open(m_params.parameterFilePath, m_params, CurrentLocalDateTime());
    if (!opened.ok()) {
        failRun(QString::fromStdString(opened.message));
        return;
    }
    m_maximaFields[0]->setText(masked(m_params.tauMax, "#0.000"));

    m_run->addObserver(*this);
    m_run->addObserver(m_writer);
    m_run->addObserver(*m_distributionPlot);
    m_run->addObserver(*m_tauSlipPlot);
    continueRun();
}

// Steps until the next multiple of five, then returns to the event loop so that the windows
// repaint and the button answers; the continuation first clears the distribution plot, whose
// last five curves the user has just seen.
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
        const RunEnd end = m_run->step();
        if (!m_writer.status().ok()) {
            failRun(QString::fromStdString(m_writer.status().message));
            return;
        }
        if (m_run->stepNumber() % kStepsBetweenYields == 0) {
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

void CalculationWindow::finishRun(RunEnd end) {
    setState(RunState::Finished);
    const FileStatus closed = m_writer.close();
    if (!closed.ok()) {
        failRun(QString::fromStdString(closed.message));
        return;
    }
    if (end == RunEnd::StepLimit) {
        QMessageBox::information(
            this, windowTitle(),
            QStringLiteral("The run reached the step limit of %1 steps without a bond failure.\n"
                           "The result file %2 holds every step.")
                .arg(PulloutRun::kMaxSteps)
                .arg(QString::fromStdString(m_params.parameterFilePath)));
    }
}

// A result file that cannot be created or written ends the run: the user is told which file
// and why, and the windows close back to the parameter window.
void CalculationWindow::failRun(const QString& message) {
    m_state = RunState::Finished;
    m_writer.close();
    QMessageBox::warning(this, windowTitle(),
                         message + QStringLiteral("\n\nThe analysis has stopped."));
    closeRunWindows();
}

void CalculationWindow::commandClicked() {
    // Pressed in any state: a running run ends here, between two steps; its file keeps the
    // header and the steps completed so far.
    m_state = RunState::Finished;
    m_writer.close();
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
    if (!pressFocusedButton(this, event)) {
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

void CalculationWindow::stepStarted(const StepStart& start) {
    m_stepFields[0]->setText(masked(start.step, "00000"));
    m_stepFields[1]->setText(masked(start.s0, "0.000e+00"));
    m_stepFields[2]->setText(masked(start.ds, "0.000e+00"));
    m_nextRow = 0;
    m_nextSampledElement = m_rowStride;
}

void CalculationWindow::elementComputed(const ElementResult& element) {
    // Every rowStride-th element is a row; counted rather than divided, as this runs for
    // every element of every step.
    if (element.i != m_nextSampledElement || m_nextRow >= kTableRows) {
        return;
    }
    m_nextSampledElement += m_rowStride;
    m_table[0][m_nextRow]->setText(masked(element.x, "##0.000"));
    m_table[1][m_nextRow]->setText(masked(element.s, "0.000e+00"));
    m_table[2][m_nextRow]->setText(masked(element.tau, "##0.000"));
    ++m_nextRow;
}

void CalculationWindow::stepFinished(const StepResult& result) {
    m_maximaFields[1]->setText(masked(result.Pbumax, "#####0.0"));
    m_maximaFields[2]->setText(masked(result.slmax, "#0.00000"));
}

} // namespace orvane
