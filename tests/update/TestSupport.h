#pragma once
// What the update tests share: the TEST key (handed to the code under test, which
// has no key of its own in a build without DORVANTA_UPDATE_PUBLIC_KEY) and the
// scripted server of data/server.py on 127.0.0.1.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace dorvanta::testing {

// The most one packet of a download may bring: the client's read buffer is 256 KiB,
// and Qt keeps to it only roughly (up to 1.7 times was seen); without the limit a
// packet held megabytes.
inline constexpr qint64 kBoundedPacket = 1 << 20;

// The public half of the TEST key pair in data/, whose secret half is public too.
inline QByteArray TestUpdateKey() {
    QFile file(DORVANTA_UPDATE_TEST_DATA "/TEST-ONLY-update-key.pub");
    return file.open(QIODevice::ReadOnly) ? QByteArray::fromBase64(file.readAll().trimmed())
                                          : QByteArray();
}

// data/server.py serving `root`, with every request's path (as sent) logged and
// routes that can change while it runs.
class ScriptedServer {
  public:
    explicit ScriptedServer(const QString& root) {
        process_.start("python3",
                       {DORVANTA_UPDATE_TEST_DATA "/server.py", "--root", root, "--lifetime", "60",
                        "--log", log_.filePath("requests"), "--routes", log_.filePath("routes")});
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
        }
        port_ = process_.readLine().trimmed().toInt();
    }
    ~ScriptedServer() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    bool Running() const { return port_ != 0; }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    // From now on, a request for PATH is answered as TARGET ("PATH=TARGET" each).
    void SetRoutes(const QStringList& routes) {
        QFile file(log_.filePath("routes"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write((routes.join('\n') + '\n').toUtf8());
    }
    void ClearRequests() { QFile::remove(log_.filePath("requests")); }
    // The paths requested so far (since ClearRequests), as they were sent.
    QStringList Requests() const {
        QFile file(log_.filePath("requests"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

  private:
    QTemporaryDir log_;
    QProcess process_;
    int port_ = 0;
};

}  // namespace dorvanta::testing
