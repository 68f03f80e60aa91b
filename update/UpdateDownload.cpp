// The update wizard's download: the transfer with its progress display, the
// user's abort and the retry.
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "platform/MessageService.h"
#include "platform/System.h"
#include "update/HttpClient.h"
#include "update/Installer.h"
#include "update/UpdateWizard.h"

namespace dorvanta {

void TUpdateWizard::DownloadUpdate(const QString& target) {
    if (!UpdateInfo) return;
    // Only a bare file name in "/Updates/", sent percent-encoded; anything else is
    // never requested.
    const QString file = ArchiveName();
    if (!IsBareFileName(file)) return;
    StartTime = Now() - std::floor(Now());
    const auto connection =
        connect(HTTP, &THttpClient::PacketReceived, this, [this] { OnUpdateTimer(); });
    Downloading = true;
    HTTP->BodyFile = target;
    HTTP->MaxBodySize = ArchiveMaxBytes;
    HTTP->DeadlineMs = 0;
    HTTP->MinBytesPerSecond = DownloadMinBytesPerSecond;
    HTTP->RateWindowMs = DownloadRateWindowMs;
    HTTP->Get(ServerUrl(QStringLiteral("/Updates/") +
                        QString::fromLatin1(QUrl::toPercentEncoding(file))));
    Downloading = false;
    disconnect(connection);
    if (DownloadFailed) {
        // The partial archive goes after a pause (the client has removed it already
        // unless the transfer ended complete); the window stays responsive meanwhile,
        // with nothing to click that could start another transfer.
        CancelDownload->setEnabled(false);
        QEventLoop wait;
        QTimer::singleShot(std::max(0, PartialDeleteDelayMs), &wait, &QEventLoop::quit);
        wait.exec();
        DeleteFile(target);
    }
}

void TUpdateWizard::OnUpdateTimer() {
    QCoreApplication::processEvents();
    const qint64 total = HTTP->TotalSize();
    const qint64 received = HTTP->Received();
    double remaining = 0;
    if (StartTime != 0 && received != 0) {
        const double elapsed = (Now() - std::floor(Now())) - StartTime;
        remaining = static_cast<double>(total) / static_cast<double>(received) * elapsed - elapsed;
    }
    // The bar counts in KB above 2 GB, where an int no longer holds the bytes.
    const int scale = total > INT32_MAX ? 1024 : 1;
    Status->setRange(0, static_cast<int>(total / scale));
    Status->setValue(static_cast<int>(std::min(received, total) / scale));
    PerCent->setText(total != 0 ? QString::number(qRound64(received * 100.0 / total)) +
                                      QStringLiteral(" %")
                                : QStringLiteral("100 %"));
    StatusLabel->setText(FormatSize(received) + QStringLiteral(" von ") + FormatSize(total) +
                         QStringLiteral(" gedownloadet"));
    TimeLeft->setText(RemainingTimeText(remaining));
    if (AbortRequested) {
        HTTP->Abort();
        DownloadFailed = true;
    }
}

void TUpdateWizard::CancelDownloadClick() {
    if (Downloading) {
        if (MessageService::Instance().Ask(
                QStringLiteral("Soll der Download wirklich abgebrochen werden?"),
                QStringLiteral("Bestätigung"), MsgIcon::Question, {MsgButton::Yes, MsgButton::No},
                MsgButton::Yes, MsgButton::No, true) == MsgButton::Yes) {
            AbortRequested = true;
        }
        return;
    }
    Step = 2;
    DownloadFailed = false;
    AbortRequested = false;
    Button_NextClick();
}

}  // namespace dorvanta
