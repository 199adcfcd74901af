#pragma once

#include "output/StudyPlot.h"

#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace orvane {

// Draws the study's figure into area of any paint device: the title, the axes with ticks at
// round numbers and their titles with units, Pbumax of every point joined per series, P∞
// dashed and, on a bond-length axis, Le as a dotted vertical line. One renderer serves the
// window's plot and the PNG, SVG and PDF files.
void DrawStudyPlot(QPainter& painter, const QRectF& area, const StudyPlot& plot);

// Writes the figure as PNG, SVG or PDF, chosen by the file's suffix. Returns why it could not
// be written, or an empty text.
QString SaveStudyFigure(const StudyPlot& plot, const QString& path, QSize size = {960, 640});

} // namespace orvane
