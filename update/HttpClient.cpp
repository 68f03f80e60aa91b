#include "update/HttpClient.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <deque>
#include <utility>

#include "platform/Maker.h"

namespace dorvanta {

namespace {

// Enough for any sane server layout; a redirect loop ends here instead of running on.
constexpr int kMaxRedirects = 10;
// Bytes taken from the reply per read, so a large buffered packet is never copied whole.
constexpr qint64 kChunk = 64 * 1024;
// What the reply may hold unread; Qt pauses the socket while it is full.
constexpr qint64 kReadBuffer = 4 * kChunk;

int HttpStatus(const QNetworkReply* reply) {
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool IsSuccess(int status) {
    return status >= 200 && status < 300;
}

// Errors that mean the server could not be reached or went silent, as opposed to a
// server that answered with something we cannot use.
bool IsConnectionError(QNetworkReply::NetworkError error) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::RemoteHostClosedError:
        case QNetworkReply::HostNotFoundError:
        case QNetworkReply::TimeoutError:
        // The transfer timeout; our own Abort() is told apart by aborted_.
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::SslHandshakeFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::BackgroundRequestNotAllowedError:
        case QNetworkReply::UnknownNetworkError:
            return true;
        default:
            return false;
    }
}

// A path ("/info.xml") is taken relative to the update host; a full URL stays as it is.
QUrl ResolveUrl(const QString& host, const QString& url) {
    QUrl target(url);
    if (target.isRelative()) {
        target = QUrl(QStringLiteral("http://") + host + QLatin1Char('/')).resolved(target);
    }
    return target;
}

}  // namespace

QString UpdateHost() {
    const QString host = qEnvironmentVariable("DORVANTA_UPDATE_HOST");
    return host.isEmpty() ? MakerUpdateHost() : host;
}

THttpClient::THttpClient(QObject* parent) : QObject(parent) {}

THttpClient::~THttpClient() = default;

// One fetch's state, alive for the whole of Get. The loop is the context of every
// connection and the parent of the timers, so no handler outlives the state it uses.
struct THttpClient::TTransfer {
    TTransfer(THttpClient& owner, QFile& body, QNetworkReply* answer)
        : client(owner), self(&owner), file(body), reply(answer), limit(owner.MaxBodySize) {}

    THttpClient& client;
    // Slots of PacketReceived may delete the client; nothing touches it then.
    QPointer<THttpClient> self;
    QFile& file;
    QNetworkReply* reply;
    QEventLoop loop;
    // Our side refuses the answer (status, size, disk): Failure. Too slow or too long:
    // ConnectionFailed, like the stall time-out.
    bool refused = false;
    bool timedOut = false;
    bool draining = false;
    qint64 seen = 0;  // body bytes read, kept or not
    qint64 limit;     // what the file may take
    QElapsedTimer clock;
    std::deque<std::pair<qint64, qint64>> samples{{0, 0}};  // elapsed ms, bytes seen

    // A client deleted by a slot has stopped too: a timer that fires before the loop
    // ends then touches neither it nor its reply.
    bool Stopped() const { return !self || refused || timedOut || client.aborted_; }
    // abort() finishes the reply at once, which ends the loop. A reply that has
    // finished complete stays so (a timer may still fire before the loop ends).
    void Fail(bool& reason) {
        if (Stopped() || reply->isFinished()) return;
        reason = true;
        reply->abort();
    }
    void CheckHead();
    void Drain();
    bool ReadChunks(bool success);
    void SampleRate();
};

// The answer's head: an error status or an announced body over the limit ends the
// transfer before its body is read. A redirection's head passes (Qt follows it).
void THttpClient::TTransfer::CheckHead() {
    const int status = HttpStatus(reply);
    if (status >= 400) return Fail(refused);
    if (!IsSuccess(status)) return;
    bool ok = false;
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
    client.total_ = ok && length > 0 ? length : 0;
    if (client.total_ > client.MaxBodySize) return Fail(refused);
    limit = client.total_ > 0 ? client.total_ : client.MaxBodySize;
}

// Reads whatever is buffered, a piece at a time; runs from readyRead and once more on
// finish. The slots of PacketReceived process events (the wizard's progress display
// does), which can deliver more data and another readyRead: that one returns at once
// and this loop takes the data, so the nesting never deepens (each level would pin
// the block Qt is delivering, and memory would grow with the body). Slots may also
// call Abort() or even delete the client, so nothing is touched after the emit but
// this state, which lives until Get returns.
void THttpClient::TTransfer::Drain() {
    if (draining || Stopped()) return;
    draining = true;
    CheckHead();
    const bool success = IsSuccess(HttpStatus(reply));
    while (!Stopped() && reply->bytesAvailable() > 0) {
        const qint64 before = client.received_;
        if (!ReadChunks(success)) break;
        if (client.received_ != before) emit client.PacketReceived();
        if (!self) return;
    }
    draining = false;
}

// Takes what the reply holds into the file; false once the transfer has stopped.
bool THttpClient::TTransfer::ReadChunks(bool success) {
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kChunk);
        if (chunk.isEmpty()) break;
        seen += chunk.size();
        // An error page is not the body we asked for, so it never reaches the file.
        if (!success) {
            if (seen > client.MaxBodySize) Fail(refused);
            if (Stopped()) break;
            continue;
        }
        if (client.received_ + chunk.size() > limit || file.write(chunk) != chunk.size()) {
            Fail(refused);
            break;
        }
        client.received_ += chunk.size();
    }
    return !Stopped();
}

// The average rate over the last window, sampled ten times a window: the oldest
// sample kept is the newest one that lies a whole window back.
void THttpClient::TTransfer::SampleRate() {
    const qint64 window = client.RateWindowMs;
    const qint64 now = clock.elapsed();
    samples.emplace_back(now, seen);
    while (samples.size() > 1 && samples[1].first <= now - window) samples.pop_front();
    const auto [then, bytesThen] = samples.front();
    if (now - then >= window && (seen - bytesThen) * 1000 < client.MinBytesPerSecond * (now - then))
        Fail(timedOut);
}

QNetworkReply* THttpClient::StartRequest(const QUrl& target) {
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(qMax(0, TimeoutMs));
    // The file must hold the server's bytes as they are (archives are checked by signature),
    // and Content-Length then counts the same bytes as Received().
    request.setRawHeader("Accept-Encoding", "identity");
    // A manager of its own for every fetch: Qt 6.4 sometimes ignored the read buffer
    // size below on a manager that had served a request before (the download after
    // the check then buffered megabytes; about one run in three), never on a fresh one.
    manager_ = std::make_unique<QNetworkAccessManager>();
    manager_->setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = manager_->get(request);
    // Qt stops reading from the socket while this much is waiting to be read, so
    // memory stays bounded however fast the server sends.
    reply->setReadBufferSize(kReadBuffer);
    return reply;
}

void THttpClient::Watch(TTransfer& transfer) {
    QNetworkReply* reply = transfer.reply;
    QEventLoop& loop = transfer.loop;
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&transfer] { transfer.CheckHead(); });
    connect(reply, &QNetworkReply::readyRead, &loop, [&transfer] { transfer.Drain(); });
    connect(reply, &QNetworkReply::finished, &loop, [&transfer] {
        transfer.Drain();
        transfer.loop.quit();
    });
    // Deleting the client deletes the manager and with it the reply, which then never finishes.
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
}

void THttpClient::StartLimits(TTransfer& transfer) {
    if (DeadlineMs > 0) {
        auto* deadline = new QTimer(&transfer.loop);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, &transfer.loop,
                [&transfer] { transfer.Fail(transfer.timedOut); });
        deadline->start(DeadlineMs);
    }
    transfer.clock.start();
    if (MinBytesPerSecond > 0 && RateWindowMs > 0) {
        auto* rate = new QTimer(&transfer.loop);
        connect(rate, &QTimer::timeout, &transfer.loop, [&transfer] { transfer.SampleRate(); });
        rate->start(std::max(1, RateWindowMs / 10));
    }
}

bool THttpClient::Finish(TTransfer& transfer) {
    QNetworkReply* reply = transfer.reply;
    // The loop can also end early (application quitting); the transfer must not outlive Get.
    if (!reply->isFinished()) {
        aborted_ = true;
        reply->abort();
    }
    disconnect(reply, nullptr, &transfer.loop, nullptr);
    const int status = HttpStatus(reply);
    const QNetworkReply::NetworkError error = reply->error();
    reply->deleteLater();
    reply_ = nullptr;

    QFile& file = transfer.file;
    if (!transfer.Stopped() && !file.flush()) transfer.refused = true;
    const bool ok = !transfer.Stopped() && error == QNetworkReply::NoError && IsSuccess(status);
    file.close();
    // A broken or refused body leaves no file, never one that looks complete.
    if (!ok) file.remove();

    if (ok || aborted_) return ok;
    if (transfer.timedOut || (!transfer.refused && status < 400 && IsConnectionError(error))) {
        emit ConnectionFailed();
    } else {
        emit Failure(QStringLiteral("get"));
    }
    return false;
}

bool THttpClient::Get(const QString& url) {
    if (Busy()) return false;
    total_ = 0;
    received_ = 0;
    aborted_ = false;

    const QUrl target = ResolveUrl(Host, url);
    const QString scheme = target.scheme();
    QFile file(BodyFile);
    // Only HTTP(S): Qt would also read file: and qrc: addresses, which are no downloads.
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.remove();
        emit Failure(QStringLiteral("get"));
        return false;
    }

    reply_ = StartRequest(target);
    TTransfer transfer(*this, file, reply_);
    Watch(transfer);
    StartLimits(transfer);
    if (!transfer.reply->isFinished()) transfer.loop.exec();
    if (!transfer.self) {
        file.remove();
        return false;
    }
    return Finish(transfer);
}

void THttpClient::Abort() {
    if (!reply_) return;
    aborted_ = true;
    reply_->abort();
}

}  // namespace dorvanta
