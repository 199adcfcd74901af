#pragma once

// Windows are placed by their frames, title bar included. A window manager tells the frame
// only once the window is mapped, so a placement is made at once from what is known and made
// again when the frame first becomes known.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace orvane {

// The area windows are centred in: the window's screen, else the primary screen.
QRect screenArea(const QWidget* window);

// The top-left corner of a frame of size `frame` centred on `screen`.
QPoint centredFrame(const QRect& screen, const QSize& frame);

// Runs `place` now, and once more after each of `windows` first shows with a frame that the
// window system has made known. `place` positions frames with QWidget::move().
void placeByFrame(const QList<QWidget*>& windows, const std::function<void()>& place);

// Centres the window on its screen by its frame, now and once its frame is known.
void centreByFrame(QWidget* window);

// `wanted` cut to the window's available screen area, with room left for its title bar, so that
// a large window opens whole on a 1366 × 768 screen.
QSize fittedToScreen(const QWidget* window, const QSize& wanted);

// The area a window beside another is kept in: the window's screen less its panels.
QRect availableArea(const QWidget* window);

// The top-left corner of a frame of size `frame` beside the frame `anchor` inside `screen`:
// on its left, tops level, where it fits; else on its right; else below it, else above it,
// lefts level; else on its right as near as the screen allows.
QPoint besideFrame(const QRect& screen, const QRect& anchor, const QSize& frame);

} // namespace orvane
