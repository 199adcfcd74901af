#include "gui/forms/FigurePanels.h"

#include "render/FigureRenderer.h"

#include <QPainter>
#include <algorithm>

namespace orvane {

FigurePanels::FigurePanels(int panels, QWidget* parent) : QWidget(parent), m_count(panels) {
    setMinimumSize(kFigureWidth, kFigureHeight / panels);
}

QSize FigurePanels::sizeHint() const {
    return {m_count * kFigureWidth / 2, kFigureHeight / 2};
}

void FigurePanels::show(std::vector<FigureData> panels) {
    m_panels = std::move(panels);
    update();
}

void FigurePanels::clear() {
    m_panels.clear();
    update();
}

void FigurePanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white); // the figures are drawn for white paper
    if (m_panels.empty()) {
        return;
    }
    const qreal scale =
        std::min(width() / (double(m_count) * kFigureWidth), height() / double(kFigureHeight));
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const FigureData& panel : m_panels) {
        DrawFigure(painter, panel);
        painter.translate(kFigureWidth, 0);
    }
}

} // namespace orvane
