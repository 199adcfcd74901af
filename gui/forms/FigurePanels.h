#pragma once

// Figures drawn side by side in a window, scaled to fit the room it is given, from the figures
// it was last given: the report figures' drawing (render/) on the screen. Its height does not
// follow its width, so that a wide window still fits a 1366 × 768 screen.

#include "core/results/RunFigure.h"

#include <QWidget>
#include <vector>

namespace orvane {

class FigurePanels : public QWidget {
public:
    explicit FigurePanels(int panels, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    void show(std::vector<FigureData> panels);
    void clear();
    const std::vector<FigureData>& panels() const { return m_panels; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_count;
    std::vector<FigureData> m_panels;
};

} // namespace orvane
