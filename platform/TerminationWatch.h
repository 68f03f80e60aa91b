#pragma once
// SIGTERM (logout, shutdown, `kill`) as a Qt signal: the handler only writes a
// byte into a pipe; the event loop reads it and emits Terminated, where the
// program may do what a handler must not (seal, write files, close windows).

#include <QObject>

class QSocketNotifier;

namespace dorvanta {

class TTerminationWatch final : public QObject {
    Q_OBJECT
  public:
    // Handles SIGTERM from now on; one watch at a time. A SIGTERM the program was
    // started with ignored stays ignored.
    explicit TTerminationWatch(QObject* parent = nullptr);
    // Gives SIGTERM back its former handling.
    ~TTerminationWatch() override;
    TTerminationWatch(const TTerminationWatch&) = delete;
    TTerminationWatch& operator=(const TTerminationWatch&) = delete;

  signals:
    // SIGTERM arrived (once for several that came close together).
    void Terminated();

  private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace dorvanta
