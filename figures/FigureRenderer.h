#pragma once

// One renderer for the report figures of a run: the same drawing goes onto an image (PNG),
// an SVG document or a PDF page.

#include "output/RunFigure.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <span>

class QPainter;

namespace orvane {

// The figure's size in logical pixels (1/96 in): 200 mm × 140 mm.
inline constexpr int kFigureWidth = 756;
inline constexpr int kFigureHeight = 529;

// Draws the figure into the rectangle (0, 0, kFigureWidth, kFigureHeight) of the painter.
void DrawFigure(QPainter& painter, const FigureData& figure);

// At scale 2 a PNG has 192 dots per inch, enough for print.
QImage FigureImage(const FigureData& figure, int scale = 2);

// The file's bytes: a PDF holds every figure on a page of its own; PNG and SVG take the first.
QByteArray FigureBytes(std::span<const FigureData> figures, FigureFormat format);

// Writes the figures to path in the format its name asks for, whole or not at all. Returns an
// empty text, or the message naming the file and the reason.
QString SaveFigureFile(const QString& path, std::span<const FigureData> figures);

} // namespace orvane
