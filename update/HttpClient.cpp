#include "update/HttpClient.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include "platform/Maker.h"

namespace dorvanta {

namespace {

// Enough for any sane server layout; a redirect loop ends here instead of running on.
constexpr int kMaxRedirects = 10;
// Bytes taken from the reply per read, so a large buffered packet is never copied whole.
constexpr qint64 kChunk = 64 * 1024;

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

THttpClient::THttpClient(QObject* parent)
    : QObject(parent), manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setProxy(QNetworkProxy::NoProxy);
}

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
    bool localFailure = false;  // disk full or body too large: our side, not the network's
    QNetworkReply* reply = manager_->get(request);
    reply_ = reply;

    // Reads whatever is buffered; runs from readyRead and once more on finish. Slots of
    // PacketReceived may call Abort() or even delete us, so the emit comes last.
    auto drain = [&] {
        if (localFailure) return;
        const bool success = IsSuccess(HttpStatus(reply));
        if (success) {
            bool ok = false;
            const qint64 length =
                reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
            total_ = ok && length > 0 ? length : 0;
        }
        const qint64 before = received_;
        while (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kChunk);
            if (chunk.isEmpty()) break;
            // An error page is not the body we asked for, so it never reaches the file.
            if (!success) continue;
            if (received_ + chunk.size() > MaxBodySize || total_ > MaxBodySize ||
                file.write(chunk) != chunk.size()) {
                localFailure = true;
                reply->abort();
                return;
            }
            received_ += chunk.size();
        }
        if (received_ != before) emit PacketReceived();
    };
    // The loop is the context, so none of these lambdas outlives the locals they use.
    connect(reply, &QNetworkReply::readyRead, &loop, drain);
    connect(reply, &QNetworkReply::finished, &loop, [&] {
        drain();
        loop.quit();
    });
    // Deleting the client deletes the manager and with it the reply, which then never finishes.
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);

    if (!reply->isFinished()) loop.exec();
    if (!self) return false;

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

    if (!localFailure && !file.flush()) localFailure = true;
    const bool ok =
        !aborted_ && !localFailure && error == QNetworkReply::NoError && IsSuccess(status);
    // A broken or refused body leaves an empty file, never one that looks complete.
    if (!ok) file.resize(0);
    file.close();

    if (ok || aborted_) return ok;
    if (!localFailure && status < 400 && IsConnectionError(error)) {
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
