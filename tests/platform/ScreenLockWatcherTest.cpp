// The screen lock watcher against a private message bus: which signals lock, and
// that odd signals and a missing bus do nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <vector>

#include "PlatformTestApp.h"
#include "platform/ScreenLockWatcher.h"

namespace dorvanta {
namespace {

constexpr int kWaitMs = 5000;  // only reached when something is broken
const QString kSession = QStringLiteral("/org/freedesktop/login1/session/_32");

// A dbus-daemon of our own, and the named connections to it, gone with the object.
class TPrivateBus {
  public:
    TPrivateBus() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        found_ = !program.isEmpty();
        if (!found_) return;
        daemon_.setStandardErrorFile(QProcess::nullDevice());
        daemon_.start(program, {QStringLiteral("--session"), QStringLiteral("--print-address"),
                                QStringLiteral("--nofork")});
        QByteArray out;
        while (!out.contains('\n') && daemon_.waitForReadyRead(kWaitMs)) {
            out += daemon_.readAllStandardOutput();
        }
        address_ = QString::fromUtf8(out.left(out.indexOf('\n'))).trimmed();
    }
    ~TPrivateBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(kWaitMs);
    }
    bool Found() const { return found_; }
    bool Up() const { return !address_.isEmpty(); }
    QDBusConnection Connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    bool found_ = false;
    QProcess daemon_;
    QString address_;
    std::vector<QString> names_;
};

// Seen() follows every signal a sender sent before its mark: the bus and Qt keep
// one sender's messages in order, so after the mark nothing of it is still coming.
class TMark : public QObject {
    Q_OBJECT
  public:
    explicit TMark(QDBusConnection receiver) {
        receiver.connect(QString(), QStringLiteral("/test"), QStringLiteral("test.Mark"),
                         QStringLiteral("Mark"), this, SIGNAL(Seen()));
    }
    // Sends the mark from `sender` and waits until it has come.
    bool Pass(QDBusConnection sender) {
        QSignalSpy seen(this, &TMark::Seen);
        sender.send(QDBusMessage::createSignal(QStringLiteral("/test"), QStringLiteral("test.Mark"),
                                               QStringLiteral("Mark")));
        return seen.wait(kWaitMs);
    }

  signals:
    void Seen();
};

// Stands in for logind's manager: this process is in the login session kSession.
class TFakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public:
    explicit TFakeLogin(QDBusConnection bus) {
        bus.registerService(QStringLiteral("org.freedesktop.login1"));
        bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                           QDBusConnection::ExportAllSlots);
    }
    std::vector<uint> pids;

  public slots:
    QDBusObjectPath GetSessionByPID(uint pid) {
        pids.push_back(pid);
        return QDBusObjectPath(kSession);
    }
};

enum class TFrom { Desktop, Login, Stranger };

struct TSignalCase {
    const char* what;
    TFrom from;
    QString path;
    QString interface;
    QString member;
    QVariantList args;
    int locks;
};

TEST(ScreenLockWatcherTest, LocksOnTheScreenSaverAndOwnSessionOnly) {
    testing::PlatformTestApp();
    TPrivateBus bus;
    if (!bus.Found()) GTEST_SKIP() << "dbus-daemon not found: install the dbus-daemon package";
    ASSERT_TRUE(bus.Up());
    QDBusConnection watched = bus.Connect(QStringLiteral("watched"));
    QDBusConnection desktop = bus.Connect(QStringLiteral("desktop"));
    QDBusConnection login = bus.Connect(QStringLiteral("login"));
    QDBusConnection stranger = bus.Connect(QStringLiteral("stranger"));
    TFakeLogin fakeLogin(login);
    TMark mark(watched);

    TScreenLockWatcher watcher(watched, watched);
    QSignalSpy locked(&watcher, &TScreenLockWatcher::ScreenLocked);
    QElapsedTimer waited;
    waited.start();
    while (watcher.SessionPath().isEmpty() && waited.elapsed() < kWaitMs) QTest::qWait(5);
    EXPECT_EQ(watcher.SessionPath(), kSession);
    EXPECT_EQ(fakeLogin.pids, std::vector<uint>{static_cast<uint>(::getpid())});

    const QString fd = QStringLiteral("/org/freedesktop/ScreenSaver");
    const QString fdIf = QStringLiteral("org.freedesktop.ScreenSaver");
    const QString gnome = QStringLiteral("/org/gnome/ScreenSaver");
    const QString gnomeIf = QStringLiteral("org.gnome.ScreenSaver");
    const QString active = QStringLiteral("ActiveChanged");
    const QString sessionIf = QStringLiteral("org.freedesktop.login1.Session");
    const QString lock = QStringLiteral("Lock");
    const QString otherSession = QStringLiteral("/org/freedesktop/login1/session/c2");
    const QVariant wrapped = QVariant::fromValue(QDBusVariant(true));
    const TSignalCase cases[] = {
        {"freedesktop on", TFrom::Desktop, fd, fdIf, active, {true}, 1},
        {"gnome on", TFrom::Desktop, gnome, gnomeIf, active, {true}, 1},
        {"freedesktop off", TFrom::Desktop, fd, fdIf, active, {false}, 0},
        {"string true", TFrom::Desktop, fd, fdIf, active, {QStringLiteral("true")}, 0},
        {"number one", TFrom::Desktop, gnome, gnomeIf, active, {1}, 0},
        {"variant true", TFrom::Desktop, fd, fdIf, active, {wrapped}, 0},
        {"no argument", TFrom::Desktop, fd, fdIf, active, {}, 0},
        {"two arguments", TFrom::Desktop, gnome, gnomeIf, active, {true, true}, 0},
        {"other path", TFrom::Desktop, QStringLiteral("/org/other"), fdIf, active, {true}, 0},
        {"interfaces crossed", TFrom::Desktop, fd, gnomeIf, active, {true}, 0},
        {"logind locks our session", TFrom::Login, kSession, sessionIf, lock, {}, 1},
        {"logind locks another session", TFrom::Login, otherSession, sessionIf, lock, {}, 0},
        {"logind unlocks", TFrom::Login, kSession, sessionIf, QStringLiteral("Unlock"), {}, 0},
        {"a stranger sends Lock", TFrom::Stranger, kSession, sessionIf, lock, {}, 0},
        {"a stranger's screen saver counts", TFrom::Stranger, gnome, gnomeIf, active, {true}, 1},
    };
    for (const TSignalCase& c : cases) {
        SCOPED_TRACE(c.what);
        QDBusConnection& from = c.from == TFrom::Desktop ? desktop
                                : c.from == TFrom::Login ? login
                                                         : stranger;
        QDBusMessage message = QDBusMessage::createSignal(c.path, c.interface, c.member);
        message.setArguments(c.args);
        locked.clear();
        ASSERT_TRUE(from.send(message));
        ASSERT_TRUE(mark.Pass(from));
        EXPECT_EQ(locked.count(), c.locks);
    }
}

TEST(ScreenLockWatcherTest, WithoutABusNothingHappens) {
    testing::PlatformTestApp();
    const QString name = QStringLiteral("nowhere");
    {
        QDBusConnection nowhere =
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name);
        ASSERT_FALSE(nowhere.isConnected());
        TScreenLockWatcher watcher(nowhere, nowhere);
        QSignalSpy locked(&watcher, &TScreenLockWatcher::ScreenLocked);
        QTest::qWait(50);
        EXPECT_EQ(watcher.SessionPath(), QString());
        EXPECT_EQ(locked.count(), 0);
    }
    QDBusConnection::disconnectFromBus(name);
}

}  // namespace
}  // namespace dorvanta

#include "ScreenLockWatcherTest.moc"
