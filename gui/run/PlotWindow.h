#pragma once

#include "core/engine/PulloutRun.h"
#include "gui/forms/Twips.h"

#include <QWidget>
#include <memory>

class QLabel;
class QLineEdit;

namespace orvane {

class PlotCanvas;

// What the two graph windows share: a fixed-size window whose client area is a persistent
// drawing surface. The run draws into the surface as it goes; paintEvent only copies it, so
// covering and uncovering the window, or a high-DPI screen, shows the full drawing.
class PlotWindow : public QWidget, public RunObserver {
    Q_OBJECT

public:
    ~PlotWindow() override;

protected:
    PlotWindow(const QString& name, const QString& title, int clientWidthTwips,
               int clientHeightTwips, QWidget* parent);

    PlotCanvas& canvas() const { return *m_canvas; }
    QLabel* addLabel(const char* name, const QString& caption, const TwipsBox& box,
                     const QColor& colour);
    // A bold, left-aligned value box that keeps its whole text in view.
    QLineEdit* addValueBox(const char* name, const TwipsBox& box, const QColor& colour);
    // The surface was resampled for a new pixel ratio (shown, or moved to another screen).
    virtual void surfaceChanged() {}

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<PlotCanvas> m_canvas;
};

} // namespace orvane
