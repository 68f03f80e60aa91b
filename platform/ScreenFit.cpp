#include "platform/ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace dorvanta {

QRect FitFrameIntoArea(const QRect& frame, const QRect& area, const QSize& minimum) {
    if (area.isEmpty()) return frame;  // no screen to fit into
    // Shrunk to the area, never below the minimum, never grown.
    const int width =
        std::max(std::min(frame.width(), area.width()), std::min(minimum.width(), frame.width()));
    const int height = std::max(std::min(frame.height(), area.height()),
                                std::min(minimum.height(), frame.height()));
    // The far edges are pulled in first, the near ones last: a window larger than
    // the area overhangs to the right and bottom, its title bar stays reachable.
    const int x = std::max(std::min(frame.x(), area.x() + area.width() - width), area.x());
    const int y = std::max(std::min(frame.y(), area.y() + area.height() - height), area.y());
    return {x, y, width, height};
}

QSize FirstWindowSize(const QRect& area, const QSize& design, const QSize& chrome) {
    if (area.isEmpty()) return design;
    const auto side = [](int available, int designed, int extra) {
        const int room = std::max(available - extra, 0);
        const int share = available * 7 / 10 - extra;
        return std::min(std::max(share, designed), room);
    };
    return {side(area.width(), design.width(), chrome.width()),
            side(area.height(), design.height(), chrome.height())};
}

namespace {

// Windows that the fit keeps on screen: not popups (menus, the drop-down lists
// of combo boxes, completers) nor tooltips, which place themselves beside what
// opened them; not maximised, full-screen or minimised ones, whose geometry the
// window manager decides; and not widgets that are only ever painted off screen.
bool Fitted(const QWidget* window) {
    if (!window->isWindow() || window->testAttribute(Qt::WA_DontShowOnScreen)) return false;
    if (window->windowState() &
        (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) {
        return false;
    }
    switch (window->windowType()) {
        case Qt::Popup:
        case Qt::ToolTip:
        case Qt::Desktop:
        case Qt::ForeignWindow:
            return false;
        default:
            return true;
    }
}

QMargins FrameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// The window manager tells a window's frame only once it has framed it. Until
// then the frame of another window that is on screen stands in for it: one
// window manager decorates them alike.
QMargins FrameOfOthers(const QWidget* except) {
    QMargins largest;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == except || !other->isVisible() || !Fitted(other)) continue;
        const QMargins m = FrameOf(other);
        largest =
            QMargins(std::max(largest.left(), m.left()), std::max(largest.top(), m.top()),
                     std::max(largest.right(), m.right()), std::max(largest.bottom(), m.bottom()));
    }
    return largest;
}

// Fits `window` into its screen's available geometry, with the frame margins
// `frame` around its client area.
void FitWindowIntoScreen(QWidget* window, const QMargins& frame) {
    const QRect client = window->geometry();
    const QRect outer = client.marginsAdded(frame);
    const QScreen* screen = QGuiApplication::screenAt(outer.center());
    if (!screen) screen = window->screen();
    if (!screen) return;
    const QRect fitted =
        FitFrameIntoArea(outer, screen->availableGeometry(), window->minimumSize().grownBy(frame));
    const QRect target = fitted.marginsRemoved(frame);
    if (target == client) return;
    // Qt places a dialog over its owner at each show unless it was moved, and
    // sizes a window to its contents at its first show unless it was resized: the
    // fit must not take either from the next show.
    const bool moved = window->testAttribute(Qt::WA_Moved);
    const bool resized = window->testAttribute(Qt::WA_Resized);
    window->setGeometry(target);
    window->setAttribute(Qt::WA_Moved, moved);
    window->setAttribute(Qt::WA_Resized, resized);
}

}  // namespace

bool TScreenFit::Watches(const QObject* receiver, const QEvent* event) const {
    const auto isWindow = [receiver] {
        return receiver->isWidgetType() && static_cast<const QWidget*>(receiver)->isWindow();
    };
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
            return isWindow();
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            return !settling_.empty() && isWindow();
        case QEvent::Expose:
            return !settling_.empty();
        default:
            return false;
    }
}

void TScreenFit::Delivered(QObject* receiver, const QEvent* event) {
    if (!Watches(receiver, event)) return;
    if (event->type() == QEvent::Expose) {  // delivered to the window's QWindow
        QWidget* exposed = nullptr;
        for (const Settling& s : settling_) {
            if (s.window && s.window->windowHandle() == receiver) exposed = s.window;
        }
        if (exposed) Settle(exposed);
        return;
    }
    auto* window = static_cast<QWidget*>(receiver);
    const auto forget = [this, window] {
        std::erase_if(settling_,
                      [window](const Settling& s) { return !s.window || s.window == window; });
    };
    switch (event->type()) {
        case QEvent::Show: {
            // A window restored from the task bar comes back where it was left.
            if (event->spontaneous() || !Fitted(window)) return;
            forget();
            const QMargins own = FrameOf(window);
            const bool known =
                !own.isNull() || window->windowFlags().testFlag(Qt::FramelessWindowHint);
            const QMargins frame = known ? own : FrameOfOthers(window);
            FitWindowIntoScreen(window, frame);
            if (!known) settling_.push_back({window, frame});
            return;
        }
        case QEvent::Hide:
            forget();
            return;
        default:
            Settle(window);
            return;
    }
}

// Once the window manager has framed the window, a frame other than the one it
// was fitted with fits it again (a title bar above the screen's top, a border
// beyond its edge).
void TScreenFit::Settle(QWidget* window) {
    const auto it = std::find_if(settling_.begin(), settling_.end(),
                                 [window](const Settling& s) { return s.window == window; });
    if (it == settling_.end()) return;
    const QMargins frame = FrameOf(window);
    if (frame.isNull()) return;  // not framed yet
    const QMargins assumed = it->assumed;
    settling_.erase(it);
    if (frame != assumed) FitWindowIntoScreen(window, frame);
}

}  // namespace dorvanta
