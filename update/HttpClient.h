#pragma once
// The update's HTTP client: a GET that blocks its caller in a nested event loop
// while window messages keep flowing, with the body streamed into a file through
// a bounded buffer (memory does not grow with the body).

#include <QObject>
#include <QString>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace dorvanta {

// The update server: $DORVANTA_UPDATE_HOST (host with optional port) or the
// maker's update server.
QString UpdateHost();

class THttpClient : public QObject {
    Q_OBJECT
  public:
    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    static constexpr qint64 kDefaultMaxBodySize = qint64(1) << 30;

    QString Host = UpdateHost();
    int TimeoutMs = 10000;  // a transfer that stalls this long fails
    // The file the next fetch writes its body into (replaced, created if missing).
    QString BodyFile = QStringLiteral("Default.htm");
    // A body larger than this fails (Failure("get")) as soon as it is announced or
    // passed, so a server cannot fill the disk; a body that passes the size the
    // server announced fails the same way.
    qint64 MaxBodySize = kDefaultMaxBodySize;
    // Besides the stall time-out: the whole fetch fails (ConnectionFailed()) after
    // DeadlineMs (0: no deadline), and when fewer than MinBytesPerSecond arrived on
    // average over the last RateWindowMs (0: no minimum rate).
    int DeadlineMs = 0;
    qint64 MinBytesPerSecond = 0;
    int RateWindowMs = 30000;

    // Fetches `url` (redirects followed, no proxy) into BodyFile and returns when
    // the body is complete, the transfer failed or it was aborted. True only for
    // a complete body with a status below 400; otherwise BodyFile is removed (it
    // is never left partial or empty). Emits Failure("get") for a status of 400 or
    // above or a body over the limits, and ConnectionFailed() when the server
    // cannot be reached, the transfer stalls, passes its deadline or is too slow.
    // Nothing is thrown.
    bool Get(const QString& url);
    // Stops the running transfer; Get then returns false.
    void Abort();
    bool Busy() const { return reply_ != nullptr; }

    // During a fetch: the body's total size (0 when unknown) and the bytes so far.
    qint64 TotalSize() const { return total_; }
    qint64 Received() const { return received_; }

  signals:
    // After every received packet, on the thread that called Get.
    void PacketReceived();
    void Failure(const QString& requestKind);
    void ConnectionFailed();

  private:
    struct TTransfer;  // one fetch's state (HttpClient.cpp)
    // The request with its redirects, time-out and encoding, sent on a fresh manager.
    QNetworkReply* StartRequest(const QUrl& target);
    // Feeds the reply's head and body to the transfer and ends its loop when done.
    void Watch(TTransfer& transfer);
    // The deadline and the minimum rate, as far as they are set.
    void StartLimits(TTransfer& transfer);
    // Closes the reply and the file, emits what went wrong and says whether the body
    // is complete.
    bool Finish(TTransfer& transfer);

    std::unique_ptr<QNetworkAccessManager> manager_;
    QNetworkReply* reply_ = nullptr;
    qint64 total_ = 0;
    qint64 received_ = 0;
    bool aborted_ = false;
};

}  // namespace dorvanta
