#pragma once
// Drives the next modal window a test opens: waits until one is up, hands it to the test.

#include <QApplication>
#include <QTimer>
#include <functional>

namespace dorvanta::testing {

// Polls until a modal window of type TWindow is open and runs `drive` on it once;
// one still open after ten seconds is closed, so that no test hangs on it.
template <class TWindow>
class TModalDriver {
  public:
    explicit TModalDriver(std::function<void(TWindow&)> drive) {
        QObject::connect(&poll_, &QTimer::timeout, [this, drive] {
            auto* window = qobject_cast<TWindow*>(QApplication::activeModalWidget());
            if (!window) return;
            poll_.stop();
            drive(*window);
        });
        poll_.start(20);
        QTimer::singleShot(10000, &poll_, [] {
            if (auto* w = QApplication::activeModalWidget()) w->close();
        });
    }

  private:
    QTimer poll_;
};

}  // namespace dorvanta::testing
