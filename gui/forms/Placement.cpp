#include "gui/forms/Placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <array>

namespace orvane {

namespace {

// Watches one window until its frame is known, then places again, once.
class FrameWatch : public QObject {
public:
    FrameWatch(QWidget* window, std::function<void()> place)
        : QObject(window), m_window(window), m_place(std::move(place)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Paint:
        case QEvent::WindowActivate:
            if (watched == m_window && m_window->isVisible() &&
                m_window->frameGeometry() != m_window->geometry()) {
                m_window->removeEventFilter(this);
                // Not from inside the window system's event: moving there would be undone
                // by the rest of its handling.
                QTimer::singleShot(0, m_window, m_place);
                deleteLater();
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    std::function<void()> m_place;
};

} // namespace

QRect screenArea(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

QPoint centredFrame(const QRect& screen, const QSize& frame) {
    return {screen.x() + (screen.width() - frame.width()) / 2,
            screen.y() + (screen.height() - frame.height()) / 2};
}

void placeByFrame(const QList<QWidget*>& windows, const std::function<void()>& place) {
    place();
    for (QWidget* window : windows) {
        new FrameWatch(window, place);
    }
}

QRect availableArea(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QSize fittedToScreen(const QWidget* window, const QSize& wanted) {
    constexpr int kTitleBarRoom = 40; // px, a title bar and the frame's edges
    const QRect available = availableArea(window);
    return {std::min(wanted.width(), available.width()),
            std::min(wanted.height(), available.height() - kTitleBarRoom)};
}

QPoint besideFrame(const QRect& screen, const QRect& anchor, const QSize& frame) {
    // A coordinate slid along one edge until the frame lies inside the screen on that axis.
    const auto slid = [](int at, int low, int high) {
        return std::clamp(at, low, std::max(low, high));
    };
    const int level = slid(anchor.top(), screen.top(), screen.bottom() + 1 - frame.height());
    const int flush = slid(anchor.left(), screen.left(), screen.right() + 1 - frame.width());
    // Beside it first, where a reader's eye moves between the two; below or above it when a
    // wide anchor leaves no room at its sides; never over it while any side has room.
    const std::array<QPoint, 4> sides = {
        QPoint(anchor.left() - frame.width(), level), QPoint(anchor.right() + 1, level),
        QPoint(flush, anchor.bottom() + 1), QPoint(flush, anchor.top() - frame.height())};
    for (const QPoint& corner : sides) {
        if (screen.contains(QRect(corner, frame))) {
            return corner;
        }
    }
    return {slid(anchor.right() + 1, screen.left(), screen.right() + 1 - frame.width()), level};
}

void centreByFrame(QWidget* window) {
    placeByFrame({window}, [window] {
        window->move(centredFrame(screenArea(window), window->frameGeometry().size()));
    });
}

} // namespace orvane
