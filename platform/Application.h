#pragma once
// The application object: the central catch that shows any error a command raises
// in the application error box and lets the program go on.

#include <QApplication>
#include <concepts>
#include <functional>
#include <utility>

#include "platform/ScreenFit.h"

namespace dorvanta {

class TApplication : public QApplication {
    Q_OBJECT
  public:
    // Sets the application title ("Dorvanta") and reads the test switches of the
    // message service.
    TApplication(int& argc, char** argv);

    // Delivers the event; a std::exception (UTF-8 message) escaping a handler is
    // shown with ShowApplicationError and the event counts as handled. A window
    // that is shown is then fitted into its screen (ScreenFit.h).
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    TScreenFit screenFit_;
};

// Runs `action`; an error it raises is shown in the application error box.
// False when it raised one. For work outside event delivery (start-up, shut-down).
bool RunGuarded(const std::function<void()>& action);

// Wraps a slot so that it runs through RunGuarded. Qt's signal delivery is not
// exception-safe: an error leaving a slot would skip the slots connected after
// it and unwind through Qt's code. Every slot that can raise an error is
// connected through it:
//   connect(button, &QPushButton::clicked, this, Guarded([this] { Save(); }));
// The slot takes the leading signal arguments it declares, as a plain one does.
template <class F>
auto Guarded(F slot) {
    return [slot = std::move(slot)]<class... Args>(Args&&... args) mutable -> void
        requires std::invocable<F&, Args&&...>
    {
        RunGuarded([&] { slot(std::forward<Args>(args)...); });
    };
}

// Runs slow work (a key derivation) on a worker thread while the windows keep
// painting and show the wait cursor; user input waits until it is done. `work`
// must not throw.
void RunBusy(const std::function<void()>& work);

// Runs `work` on a worker thread while the event loop goes on, and returns when it
// is done. Meanwhile user input reaches only `window` (and its children), as if it
// were modal: the other windows paint but take no clicks, keys or shortcuts, so
// that nothing changes what the work reads. `work` must not throw.
void RunBeside(QWidget* window, const std::function<void()>& work);

}  // namespace dorvanta
