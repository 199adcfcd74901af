#pragma once

// One renderer for the report figures of a run: the same drawing goes onto an image (PNG),
// an SVG document or a PDF page.

#include "core/results/RunFigure.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <span>

class QPainter;

namespace orvane {

// The figure's size in logical pixels (1/96 in): 160 mm × 130 mm. 160 mm is the text width of
// an A4 report page, so that a figure goes into a report at its own size; the height leaves
// the plot its room under a caption of several lines. The texts are sized for the narrowest
// place a figure goes, an 85 mm report column (see FigureRenderer.cpp).
inline constexpr int kFigureWidth = 605;
inline constexpr int kFigureHeight = 491;

// Draws the figure into the rectangle (0, 0, kFigureWidth, kFigureHeight) of the painter.
void DrawFigure(QPainter& painter, const FigureData& figure);

// At scale 2 a PNG has 192 dots per inch, enough for print.
QImage FigureImage(const FigureData& figure, int scale = 2);

// Draws page k of a document, from the painter's origin in logical pixels.
using DrawPage = std::function<void(QPainter& painter, std::size_t k)>;

// The bytes of a document of `pages` pages of size logical pixels, titled title: a PDF holds
// every page; a PNG (an image filled white, at 192 dots per inch) and an SVG hold the first.
QByteArray PageBytes(FigureFormat format, QSize size, std::size_t pages, const QString& title,
                     const DrawPage& drawPage);

// The file's bytes: a PDF holds every figure on a page of its own; PNG and SVG take the first.
QByteArray FigureBytes(std::span<const FigureData> figures, FigureFormat format);

// The bytes of one page holding the panels one above the other: the page keeps one figure's
// width, so that it fits a report column with the same text sizes as a single figure.
QByteArray FigurePanelBytes(std::span<const FigureData> panels, FigureFormat format);

// Writes bytes to path whole or not at all. Returns an empty text, or the message naming the
// file and the reason.
QString SaveWholeFile(const QString& path, const QByteArray& bytes);

// Text needs fonts, and fonts need a GUI application: a program without windows gets one on
// the offscreen platform, for as long as the result lives; none when an application runs.
std::unique_ptr<QGuiApplication> StartOffscreenApplication();

// Writes the figures to path in the format its name asks for, whole or not at all. Returns an
// empty text, or the message naming the file and the reason.
QString SaveFigureFile(const QString& path, std::span<const FigureData> figures);

} // namespace orvane
