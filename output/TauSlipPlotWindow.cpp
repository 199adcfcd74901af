#include "output/TauSlipPlotWindow.h"

#include "entry/FormLayout.h"
#include "numtext/NumberText.h"
#include "output/PlotCanvas.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cassert>

namespace orvane {

namespace {

constexpr int kClientWidth = 3195; // twips
constexpr int kClientHeight = 2970;
constexpr double kLabelPoints = 9;
constexpr double kTextPoints = 12;
const QColor kGreen(0x00, 0x80, 0x00);

QLabel* addLabel(QWidget* window, const char* name, const QString& caption, QRect twips,
                 const QColor& colour) {
    auto* label = new QLabel(caption, window);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    placeInTwips(label, twips.x(), twips.y(), twips.width(), twips.height());
    fitLabelText(label);
    return label;
}

// A text box holds the widest text of its mask; where the installed face runs wider than the
// one the form was drawn with, the font shrinks in quarter points until that text fits.
QLineEdit* addTextBox(QWidget* window, const char* name, QRect twips, const QColor& colour,
                      const QString& widestText) {
    auto* text = new QLineEdit(window);
    text->setObjectName(QString::fromLatin1(name));
    text->setReadOnly(true);
    text->setFocusPolicy(Qt::NoFocus);
    text->setFont(formFont(kTextPoints, true));
    QPalette palette = text->palette();
    palette.setColor(QPalette::Text, colour);
    text->setPalette(palette);
    placeInTwips(text, twips.x(), twips.y(), twips.width(), twips.height());

    constexpr int kInnerMargin = 2; // QLineEdit's own space either side of the text
    constexpr double kSmallestPoints = 6.0;
    const int frame = text->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, text);
    const int room = text->width() - 2 * (frame + kInnerMargin);
    QFont font = text->font();
    while (QFontMetrics(font).horizontalAdvance(widestText) > room &&
           font.pointSizeF() > kSmallestPoints) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    text->setFont(font);
    return text;
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

TauSlipPlotWindow::TauSlipPlotWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("τ-s relationship"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    setFont(formFont(kLabelPoints));
    // The backing image covers the whole client area.
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_canvas = std::make_unique<PlotCanvas>(size(), devicePixelRatioF(),
                                            palette().color(QPalette::WindowText),
                                            palette().color(QPalette::Window));

    addLabel(this, "Label1", QStringLiteral("τbu(MPa)"), {0, 0, 1455, 255}, Qt::blue);
    m_tauText = addTextBox(this, "Text1", {120, 240, 1575, 375}, Qt::blue, QStringLiteral("888.8"));
    addLabel(this, "Label2", QStringLiteral("Slip(mm)"), {2400, 2400, 735, 255}, kGreen);
    m_slipText =
        addTextBox(this, "Text2", {2160, 2640, 975, 405}, kGreen, QStringLiteral("8.8E-88"));
}

TauSlipPlotWindow::~TauSlipPlotWindow() = default;

void TauSlipPlotWindow::startRun(const StepHistory& history, float ds, float tauMax) {
    m_history = &history;
    m_slipAxisMax = 0;
    m_tauAxisMax = 0;
    m_slipRescaleLimit = 0;
    m_tauRescaleLimit = 0;
    // The first axes: 1.5 × 1000·ds mm of slip (ds is the first slip increment) and
    // 1.5 × τmax/100 N/mm² of stress. Both products are formed in single precision.
    const float firstSlip = 1000 * ds;
    const float firstTau = tauMax / 100;
    rescale(0, firstSlip, firstTau);
}

void TauSlipPlotWindow::curvePointAdded(int step, double sl, double totalTau) {
    if (sl > m_slipRescaleLimit || totalTau > m_tauRescaleLimit) {
        rescale(step, sl, totalTau);
    }
    // Zero stress lies on the bottom edge.
    m_canvas->lineTo(sl, m_tauAxisMax - totalTau);
    update();
}

// Moves the limits to 1.5 times the point that passed them, grows the axes to the limits
// (they never shrink) and redraws the curve of the steps before this one. After step 1 the
// plot is never rescaled: its point is drawn in the first axes, even outside them.
void TauSlipPlotWindow::rescale(int step, double sl, double totalTau) {
    if (step == 1) {
        return;
    }
    m_slipRescaleLimit = 1.5 * sl;
    m_tauRescaleLimit = 1.5 * totalTau;
    m_slipAxisMax = std::max(m_slipAxisMax, m_slipRescaleLimit);
    m_tauAxisMax = std::max(m_tauAxisMax, m_tauRescaleLimit);

    m_canvas->clear();
    m_tauText->setText(fromUtf8(FormatMask(m_tauAxisMax, "##0.0")));
    m_slipText->setText(fromUtf8(FormatMask(m_slipAxisMax, "0.0E+00")));
    m_canvas->setScale(0, 0, m_slipAxisMax, m_tauAxisMax);
    m_canvas->setPoint(0, m_tauAxisMax);

    assert(m_history);
    if (m_history) {
        const int last = std::min<int>(step - 1, int(m_history->sl.size()) - 1);
        m_curve.clear();
        for (int j = 1; j <= last; ++j) {
            m_curve.push_back(
                m_canvas->toDevice(m_history->sl[j], m_tauAxisMax - m_history->totalTau[j]));
        }
        m_canvas->drawThrough(m_curve, false);
    }
    update();
}

bool TauSlipPlotWindow::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show) {
        m_canvas->setDevicePixelRatio(devicePixelRatioF());
    }
    return QWidget::event(event);
}

void TauSlipPlotWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_canvas->blit(painter);
}

} // namespace orvane
