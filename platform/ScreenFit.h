#pragma once
// Every window opens inside the screen it is on. A size that suits a large
// screen, a stored size from another screen or a high scale factor would
// otherwise put a window's buttons out of reach.

#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QEvent;
class QObject;
class QWidget;

namespace dorvanta {

// `frame`, a window's outer rectangle (title bar and borders included), moved
// and where needed shrunk so that it lies inside `area`, a screen's available
// geometry. It is never made smaller than `minimum` (the frame's least size);
// where even that does not fit, its top-left corner, and with it the title bar,
// stays on the area.
QRect FitFrameIntoArea(const QRect& frame, const QRect& area, const QSize& minimum);

// The main window's first client size on a screen whose available geometry is
// `area`: 70% of it each way, so that the window makes use of a large screen
// and still leaves room beside it for the search window, which stays open next
// to it; never less than `design`, the size the window was laid out for, where
// that fits, and never more than fits. `chrome` is what the window adds around
// its client area (the menu bar; the window manager's frame where it is known).
QSize FirstWindowSize(const QRect& area, const QSize& design, const QSize& chrome = {});

// Keeps each top-level window that is shown inside the available geometry of
// its screen. TApplication hands it the events it watches, after delivery: on a
// window's
// Show it fits the window (after a dialog has centred itself over its owner);
// once the window manager has framed a window whose frame was only estimated,
// it fits it again with the real one. Popups, menus and tooltips place
// themselves, and maximised and full-screen windows are the window manager's:
// they are left alone.
class TScreenFit {
  public:
    // Whether Delivered looks at `event`: the others need not reach it.
    bool Watches(const QObject* receiver, const QEvent* event) const;
    void Delivered(QObject* receiver, const QEvent* event);

  private:
    struct Settling {
        QPointer<QWidget> window;
        QMargins assumed;  // the frame margins the window was fitted with
    };
    void Settle(QWidget* window);
    std::vector<Settling> settling_;
};

}  // namespace dorvanta
