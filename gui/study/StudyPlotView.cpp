#include "gui/study/StudyPlotView.h"

#include "render/FigureRenderer.h"

#include <QPainter>
#include <algorithm>

namespace orvane {

StudyPlotView::StudyPlotView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(480, 320);
}

void StudyPlotView::setPlot(const StudyPlot* plot) {
    m_plot = plot;
    refresh();
}

void StudyPlotView::refresh() {
    const qreal scale = devicePixelRatioF();
    m_image = QImage(size() * scale, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(scale);
    m_image.fill(Qt::white);
    if (m_plot) {
        // The figure as it is saved, scaled to fit the widget.
        QPainter painter(&m_image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const double scale =
            std::min(width() / double(kFigureWidth), height() / double(kFigureHeight));
        painter.translate((width() - scale * kFigureWidth) / 2,
                          (height() - scale * kFigureHeight) / 2);
        painter.scale(scale, scale);
        DrawFigure(painter, MakeStudyFigure(*m_plot));
    }
    update();
}

void StudyPlotView::paintEvent(QPaintEvent*) {
    QPainter(this).drawImage(0, 0, m_image);
}

void StudyPlotView::resizeEvent(QResizeEvent*) {
    refresh();
}

} // namespace orvane
