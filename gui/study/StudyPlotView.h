#pragma once

#include "core/study/StudyPlot.h"

#include <QImage>
#include <QWidget>

namespace orvane {

// The live plot of a study: redraws its backing image from the plot state when a point
// arrives or the size changes; paintEvent only shows the image.
class StudyPlotView : public QWidget {
    Q_OBJECT

public:
    explicit StudyPlotView(QWidget* parent = nullptr);

    // plot must stay alive while shown; call refresh() after it changed.
    void setPlot(const StudyPlot* plot);
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const StudyPlot* m_plot = nullptr;
    QImage m_image;
};

} // namespace orvane
