#pragma once

// Figures drawn side by side in a window, scaled to its width, from the figures it was last
// given: the report figures' drawing (render/) on the screen.

#include "core/results/RunFigure.h"

#include <QWidget>
#include <vector>

namespace orvane {

class FigurePanels : public QWidget {
public:
    explicit FigurePanels(int panels, QWidget* parent = nullptr);

    // As tall as the panels are drawn across the width, no taller.
    int heightForWidth(int width) const override;
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
