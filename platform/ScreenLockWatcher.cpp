// The screen lock watcher: bus signals that mean the screen is locked.
#include "platform/ScreenLockWatcher.h"

#include <unistd.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaType>
#include <QVariant>
#include <utility>

namespace dorvanta {

namespace {

constexpr const char* kActiveChanged = "ActiveChanged";

// Where the desktops announce their screen saver: freedesktop.org's name (KDE,
// Xfce, others) and GNOME's own.
struct TScreenSaver {
    const char* path;
    const char* interface;
};
constexpr TScreenSaver kScreenSavers[] = {
    {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
};

constexpr const char* kLogin = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kLoginManager = "org.freedesktop.login1.Manager";
constexpr const char* kLoginSession = "org.freedesktop.login1.Session";

}  // namespace

TScreenLockWatcher::TScreenLockWatcher(QDBusConnection sessionBus, QDBusConnection systemBus,
                                       QObject* parent)
    : QObject(parent), systemBus_(std::move(systemBus)) {
    if (sessionBus.isConnected()) {
        // No service name: the screen saver is whichever program owns it today.
        for (const TScreenSaver& saver : kScreenSavers) {
            sessionBus.connect(
                QString(), QString::fromLatin1(saver.path), QString::fromLatin1(saver.interface),
                QString::fromLatin1(kActiveChanged), this, SLOT(OnActiveChanged(QDBusMessage)));
        }
    }
    if (systemBus_.isConnected()) AskForSession();
}

void TScreenLockWatcher::OnActiveChanged(const QDBusMessage& message) {
    // Exactly one boolean: a string "true" or a number would pass QVariant::toBool.
    const QVariantList args = message.arguments();
    if (args.size() != 1 || args.front().metaType().id() != QMetaType::Bool) return;
    if (args.front().toBool()) emit ScreenLocked();
}

void TScreenLockWatcher::OnSessionLock() {
    emit ScreenLocked();
}

void TScreenLockWatcher::AskForSession() {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QString::fromLatin1(kLogin), QString::fromLatin1(kLoginPath),
        QString::fromLatin1(kLoginManager), QStringLiteral("GetSessionByPID"));
    // logind takes the process id as an unsigned 32-bit number ("u"); an int
    // would be sent as "i" and refused.
    ask << static_cast<quint32>(::getpid());
    auto* call = new QDBusPendingCallWatcher(systemBus_.asyncCall(ask), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &TScreenLockWatcher::OnSessionFound);
}

void TScreenLockWatcher::OnSessionFound(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    // No logind, no session for this process, or an answer of another type: no Lock.
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (!reply.isValid()) return;
    const QString path = reply.value().path();
    if (path.isEmpty()) return;
    // Only logind itself: any client of the system bus may send a signal.
    if (systemBus_.connect(QString::fromLatin1(kLogin), path, QString::fromLatin1(kLoginSession),
                           QStringLiteral("Lock"), this, SLOT(OnSessionLock()))) {
        sessionPath_ = path;
    }
}

}  // namespace dorvanta
