#include "gui/forms/Placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

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

QPoint besideFrame(const QRect& screen, const QRect& anchor, const QSize& frame) {
    int x = anchor.left() - frame.width();
    if (x < screen.left()) {
        x = anchor.right() + 1;
    }
    if (x + frame.width() > screen.right() + 1) {
        x = std::max(screen.left(), screen.right() + 1 - frame.width());
    }
    const int y = std::clamp(anchor.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - frame.height()));
    return {x, y};
}

void centreByFrame(QWidget* window) {
    placeByFrame({window}, [window] {
        window->move(centredFrame(screenArea(window), window->frameGeometry().size()));
    });
}

} // namespace orvane
