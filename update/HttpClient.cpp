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

    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(qMax(0, TimeoutMs));
    // The file must hold the server's bytes as they are (archives are checked by signature),
    // and Content-Length then counts the same bytes as Received().
    request.setRawHeader("Accept-Encoding", "identity");

    QEventLoop loop;
    QPointer<THttpClient> self(this);
    // Our side refuses the answer (status, size, disk): Failure. Too slow or too long:
    // ConnectionFailed, like the stall time-out.
    bool refused = false;
    bool timedOut = false;
    qint64 seen = 0;  // body bytes read, kept or not
    qint64 limit = MaxBodySize;
    // A manager of its own for every fetch: Qt 6.4 sometimes ignored the read buffer
    // size below on a manager that had served a request before (the download after
    // the check then buffered megabytes; about one run in three), never on a fresh one.
    manager_ = std::make_unique<QNetworkAccessManager>();
    manager_->setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = manager_->get(request);
    // Qt stops reading from the socket while this much is waiting to be read, so
    // memory stays bounded however fast the server sends.
    reply->setReadBufferSize(kReadBuffer);
    reply_ = reply;

    const auto stopped = [&] { return refused || timedOut || aborted_; };
    // abort() finishes the reply at once, which ends the loop below. A reply that has
    // finished complete stays so (a timer may still fire before the loop ends).
    const auto fail = [&](bool& reason) {
        if (stopped() || reply->isFinished()) return;
        reason = true;
        reply->abort();
    };
    // The answer's head: an error status or an announced body over the limit ends the
    // transfer before its body is read. A redirection's head passes (Qt follows it).
    const auto checkHead = [&] {
        const int status = HttpStatus(reply);
        if (status >= 400) return fail(refused);
        if (!IsSuccess(status)) return;
        bool ok = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        total_ = ok && length > 0 ? length : 0;
        if (total_ > MaxBodySize) return fail(refused);
        limit = total_ > 0 ? total_ : MaxBodySize;
    };
    // Reads whatever is buffered, a piece at a time; runs from readyRead and once more
    // on finish. The slots of PacketReceived process events (the wizard's progress
    // display does), which can deliver more data and another readyRead: that one
    // returns at once and this loop takes the data, so the nesting never deepens (each
    // level would pin the block Qt is delivering, and memory would grow with the
    // body). Slots may also call Abort() or even delete us, so nothing is touched
    // after the emit but locals that live until Get returns.
    bool draining = false;
    const auto drain = [&] {
        if (draining || stopped()) return;
        draining = true;
        checkHead();
        const bool success = IsSuccess(HttpStatus(reply));
        while (!stopped() && reply->bytesAvailable() > 0) {
            const qint64 before = received_;
            while (reply->bytesAvailable() > 0) {
                const QByteArray chunk = reply->read(kChunk);
                if (chunk.isEmpty()) break;
                seen += chunk.size();
                // An error page is not the body we asked for, so it never reaches the file.
                if (!success) {
                    if (seen > MaxBodySize) fail(refused);
                    if (stopped()) break;
                    continue;
                }
                if (received_ + chunk.size() > limit || file.write(chunk) != chunk.size()) {
                    fail(refused);
                    break;
                }
                received_ += chunk.size();
            }
            if (stopped()) break;
            if (received_ != before) emit PacketReceived();
            if (!self) return;
        }
        draining = false;
    };
    // The loop is the context (and the timers' parent), so none of these lambdas
    // outlives the locals they use.
    connect(reply, &QNetworkReply::metaDataChanged, &loop, checkHead);
    connect(reply, &QNetworkReply::readyRead, &loop, drain);
    connect(reply, &QNetworkReply::finished, &loop, [&] {
        drain();
        loop.quit();
    });
    // Deleting the client deletes the manager and with it the reply, which then never finishes.
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);

    if (DeadlineMs > 0) {
        auto* deadline = new QTimer(&loop);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, &loop, [&] { fail(timedOut); });
        deadline->start(DeadlineMs);
    }
    // The average rate over the last window, sampled ten times a window: the oldest
    // sample kept is the newest one that lies a whole window back.
    QElapsedTimer clock;
    clock.start();
    std::deque<std::pair<qint64, qint64>> samples{{0, 0}};  // elapsed ms, bytes seen
    if (MinBytesPerSecond > 0 && RateWindowMs > 0) {
        auto* rate = new QTimer(&loop);
        connect(rate, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.elapsed();
            samples.emplace_back(now, seen);
            while (samples.size() > 1 && samples[1].first <= now - RateWindowMs)
                samples.pop_front();
            const auto [then, bytesThen] = samples.front();
            if (now - then >= RateWindowMs &&
                (seen - bytesThen) * 1000 < MinBytesPerSecond * (now - then))
                fail(timedOut);
        });
        rate->start(std::max(1, RateWindowMs / 10));
    }

    if (!reply->isFinished()) loop.exec();
    if (!self) {
        file.remove();
        return false;
    }

    // The loop can also end early (application quitting); the transfer must not outlive Get.
    if (!reply->isFinished()) {
        aborted_ = true;
        reply->abort();
    }
    disconnect(reply, nullptr, &loop, nullptr);
    const int status = HttpStatus(reply);
    const QNetworkReply::NetworkError error = reply->error();
    reply->deleteLater();
    reply_ = nullptr;

    if (!stopped() && !file.flush()) refused = true;
    const bool ok = !stopped() && error == QNetworkReply::NoError && IsSuccess(status);
    file.close();
    // A broken or refused body leaves no file, never one that looks complete.
    if (!ok) file.remove();

    if (ok || aborted_) return ok;
    if (timedOut || (!refused && status < 400 && IsConnectionError(error))) {
        emit ConnectionFailed();
    } else {
        emit Failure(QStringLiteral("get"));
    }
    return false;
}

void THttpClient::Abort() {
    if (!reply_) return;
    aborted_ = true;
    reply_->abort();
}

}  // namespace dorvanta
