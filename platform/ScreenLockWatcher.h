#pragma once
// Tells when the desktop locks the screen, from the screen saver's and logind's bus signals.

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace dorvanta {

class TScreenLockWatcher : public QObject {
    Q_OBJECT
  public:
    // Listens on `sessionBus` for ActiveChanged(true) of org.freedesktop.ScreenSaver
    // and org.gnome.ScreenSaver, from any sender, and asks logind on `systemBus`,
    // without waiting, for this process's login session, whose Lock it then follows.
    // A connection that is not connected is left alone; without either bus the
    // watcher simply never signals.
    explicit TScreenLockWatcher(QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                QDBusConnection systemBus = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    // The object path of the login session whose Lock is followed; empty until
    // logind has answered, and for good without logind.
    QString SessionPath() const { return sessionPath_; }

  signals:
    // The screen was locked. One lock may bring it more than once (both screen
    // saver interfaces, and logind), so the receiver's lock must be idempotent.
    void ScreenLocked();

  private slots:
    void OnActiveChanged(const QDBusMessage& message);
    void OnSessionLock();
    void OnSessionFound(QDBusPendingCallWatcher* call);

  private:
    void AskForSession();

    QDBusConnection systemBus_;
    QString sessionPath_;
};

}  // namespace dorvanta
