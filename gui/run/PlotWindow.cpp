#include "gui/run/PlotWindow.h"

#include "gui/forms/Controls.h"
#include "gui/forms/FormLook.h"
#include "gui/forms/KeyRules.h"
#include "gui/run/PlotCanvas.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace orvane {

namespace {

constexpr double kLabelPoints = 9;  // the window's own font
constexpr double kValuePoints = 12; // the text boxes, bold

} // namespace

PlotWindow::PlotWindow(const QString& name, const QString& title, int clientWidthTwips,
                       int clientHeightTwips, QWidget* parent)
    : QWidget(parent) {
    setObjectName(name);
    setWindowTitle(title);
    setFixedSize(twipsToPixels(clientWidthTwips), twipsToPixels(clientHeightTwips));
    setFont(formFont(kLabelPoints));
    // The surface covers the whole client area.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_canvas = std::make_unique<PlotCanvas>(size(), devicePixelRatioF(),
                                            palette().color(QPalette::WindowText),
                                            palette().color(QPalette::Window));
}

PlotWindow::~PlotWindow() = default;

QLabel* PlotWindow::addLabel(const char* name, const QString& caption, const TwipsBox& box,
                             const QColor& colour) {
    QLabel* label = makeLabel(this, name, caption, box, font());
    setTextColour(label, colour);
    return label;
}

QLineEdit* PlotWindow::addValueBox(const char* name, const TwipsBox& box, const QColor& colour) {
    QLineEdit* text = makeValueBox(this, name, box, formFont(kValuePoints, true));
    text->setAlignment(Qt::AlignLeft);
    setTextColour(text, colour);
    return text;
}

bool PlotWindow::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show) {
        m_canvas->setDevicePixelRatio(devicePixelRatioF());
        surfaceChanged();
    }
    return QWidget::event(event);
}

void PlotWindow::keyPressEvent(QKeyEvent* event) {
    if (!openContextMenuByKey(this, event)) {
        QWidget::keyPressEvent(event);
    }
}

void PlotWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_canvas->blit(painter);
}

} // namespace orvane
