#include "update/UpdateWizard.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <cmath>

#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/System.h"
#include "store/DateTime.h"
#include "update/HttpClient.h"
#include "update/Installer.h"

namespace dorvanta {

const char* const TUpdateWizard::kStepTexts[10] = {
    "Willkommen",
    "Auf neue Updates prüfen",
    "Ergebnis der Prüfung",
    "Download der Updates",
    "Installieren",
    "Abschließen der Installation",
    "Es stehen keine neuen Updates zur Verfügung. Klicken Sie auf \"Beenden\", um den "
    "Assistenten zu verlassen.",
    "Es stehen neue Updates zum Download bereit.\r\n\r\nDie Updates beheben folgende Probleme "
    "bzw. stellen folgende neue Funktionen zur Verfügung:\r\n%s\r\n\r\nKlicken Sie auf "
    "\"Weiter\", um die Updates jetzt herunterzuladen.",
    "Der Download wurde nicht vollendet.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den "
    "Download erneut zu starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu "
    "beenden.",
    "Die Update-Dateien wurden erfolgreich heruntergeladen. Klicken Sie auf \"Weiter\", um die "
    "Updates zu installieren.",
};

namespace {

constexpr qint64 kMaxIniBytes = 1 << 20;  // an update information file is a few lines

QString Text(int index) {
    return TUpdateWizard::LabelText(QString::fromUtf8(TUpdateWizard::kStepTexts[index]));
}

}  // namespace

QString TUpdateWizard::LabelText(const QString& text) {
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

TUpdateWizard::~TUpdateWizard() {
    FormDestroy();
}

// ---------------------------------------------------------------- showing

void TUpdateWizard::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TUpdateWizard::FormShow() {
    TempDir = TempFolder();
    QFont bold = PerCent->font();
    bold.setBold(true);
    PerCent->setFont(bold);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.width() / 2 - width() / 2, area.height() / 2 - height() / 2);
    }
    Step = 0;
    Pages->setCurrentIndex(0);
    Notebook_StdButtons->setCurrentIndex(0);
    Button_Settings->setVisible(true);
    Button_Cancel->setEnabled(true);
    Button_Next->setEnabled(true);
    Button_Next->setText(QStringLiteral("Weiter >"));
    InstallReady = UpdateAvailable = AbortRequested = DownloadFailed = false;
    closePending_ = false;
    Panel_Title->setText(Text(0));
    PaintBox_Process->update();
}

// Enter and Escape answer the visible button pair, as their captions say.
void TUpdateWizard::keyPressEvent(QKeyEvent* event) {
    const bool settings = Notebook_StdButtons->currentIndex() == 1;
    if (event->key() == Qt::Key_Escape) {
        (settings ? Button_SettingsCancel : Button_Cancel)->animateClick();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* target = settings ? Button_SettingsSave : Button_Next;
        if (target->isEnabled()) target->animateClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TUpdateWizard::PaintBox_ProcessPaint(QPainter& painter) {
    const int width = PaintBox_Process->width();
    const int height = PaintBox_Process->height();
    const int start[3] = {155, 183, 230};
    for (int x = 0; x <= width; ++x) {
        int c[3];
        for (int i = 0; i < 3; ++i) c[i] = start[i] + (255 - start[i]) * x / std::max(1, width);
        painter.setPen(QColor(c[0], c[1], c[2]));
        painter.drawLine(x, 0, x, height);
    }
    QFont font = this->font();
    font.setPointSize(10);
    painter.setPen(Qt::black);
    for (int i = 0; i <= 5; ++i) {
        font.setBold(i == Step);
        font.setItalic(i == Step);
        painter.setFont(font);
        const QFontMetrics metrics(font);
        painter.drawText(16, 16 + 56 * i + metrics.ascent(), Text(i));
    }
}

// ---------------------------------------------------------------- step machine

void TUpdateWizard::ShowStep() {
    if (Step >= 0 && Step <= 5) {
        Pages->setCurrentIndex(Step);
        Panel_Title->setText(Text(Step));
    }
    PaintBox_Process->update();
}

void TUpdateWizard::Button_NextClick() {
    // What entering steps 1 to 6 does; each shows its page itself.
    switch (++Step) {
        case 1:
            return EnterCheckStep();
        case 2:
            return EnterResultStep();
        case 3:
            return EnterDownloadStep();
        case 4:
            return EnterInstallStep();
        case 5:
            return EnterFinishStep();
        case 6:
            return EndWizard();
        default:
            return ShowStep();
    }
}

// "Weiter" waits for the check to end (Button_CheckClick goes on from there).
void TUpdateWizard::EnterCheckStep() {
    Button_Next->setEnabled(false);
    ShowStep();
}

void TUpdateWizard::EnterResultStep() {
    if (UpdateAvailable) {
        QString text = Text(7);
        const QString news =
            UpdateInfo ? NewsList(*UpdateInfo, ProgramName, ProgramDate) : QString();
        text.replace(QStringLiteral("%s"), LabelText(news));
        Label_CheckResult->setText(text);
    } else {
        Button_Next->setText(QStringLiteral("Beenden"));
        Button_Cancel->setEnabled(false);
        Label_CheckResult->setText(Text(6));
    }
    Button_Next->setEnabled(true);
    ShowStep();
}

// Nothing new: "Beenden" on the result page closes the wizard. Else the download runs.
void TUpdateWizard::EnterDownloadStep() {
    if (!UpdateAvailable) done(QDialog::Accepted);
    ShowStep();
    if (UpdateAvailable) RunDownload();
}

void TUpdateWizard::EnterInstallStep() {
    ShowStep();
}

// Prepares the installation, which runs when the program ends; a missing archive
// keeps the installation page with its message.
void TUpdateWizard::EnterFinishStep() {
    const QString signature =
        UpdateInfo ? UpdateInfo->Value(ProgramName, QStringLiteral("Signature")).value_or(QString())
                   : QString();
    if (PrepareInstallation(TempDir, ZIPFileName, signature, ProgramFile(),
                            CheckBox_Restart->isChecked(),
                            UpdateKey) == TPrepareResult::ArchiveMissing) {
        Label3->setText(QString::fromUtf8(kMsgArchiveNotFound));
        Image_Icon2->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
        Button_Next->setEnabled(false);
        return;
    }
    InstallReady = true;
    Button_Next->setText(QStringLiteral("Beenden"));
    Button_Cancel->setEnabled(false);
    ShowStep();
}

// "Beenden" on the last page: the wizard closes and asks the program to end.
void TUpdateWizard::EndWizard() {
    done(QDialog::Accepted);
    if (OnRequestEnd) OnRequestEnd();
    ShowStep();
}

// The download page: the transfer, then its outcome with what can be done next.
void TUpdateWizard::RunDownload() {
    Button_Next->setEnabled(false);
    Label_Download->setText(QString::fromUtf8(kDownloadText));
    // A name that is no bare file name would lead the request (and the file)
    // elsewhere: nothing is requested.
    if (!IsBareFileName(ArchiveName())) {
        StopAtDownloadPage(QString::fromUtf8(kMsgArchiveNotFound));
        return;
    }
    CancelDownload->setText(QStringLiteral("Download ab&brechen"));
    CancelDownload->setVisible(true);
    CancelDownload->setEnabled(true);
    QCoreApplication::processEvents();
    DownloadUpdate(TempDir + ZIPFileName);
    if (!DownloadFailed && UpdateKey.isEmpty()) {
        // Without a key of its own the build can check no archive: none is kept.
        DeleteFile(TempDir + ZIPFileName);
        StopAtDownloadPage(QString::fromUtf8(kMsgNoUpdateKey));
    } else {
        Label_Download->setText(Text(DownloadFailed ? 8 : 9));
        if (DownloadFailed) {
            CancelDownload->setText(QStringLiteral("Erneut versuchen"));
            CancelDownload->setEnabled(true);
        } else {
            CancelDownload->setVisible(false);
            Button_Next->setEnabled(true);
        }
    }
    // A close confirmed during the download goes on now that it has stopped.
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void TUpdateWizard::Button_CheckClick() {
    if (checking_ || Downloading) return;  // one transfer at a time
    const QString caption = QStringLiteral("Internetverbindung erforderlich");
    const QString noConnection = QStringLiteral("Es besteht keine Internetverbindung.");
    if (!IsConnected()) {
        MessageService::Instance().Message(noConnection, caption, MsgIcon::Warning);
        return;
    }
    UpdateAvailable = true;
    UpdateInfo.reset();
    checking_ = true;
    checkCancelled_ = false;
    try {
        if (!IniFileName.isEmpty()) DeleteFile(IniFileName);
        IniFileName = CreateTempFile(QStringLiteral("$"));
        HTTP->BodyFile = IniFileName;
        // The transfer stops as soon as the answer passes what the reader accepts.
        HTTP->MaxBodySize = kMaxIniBytes;
        HTTP->DeadlineMs = CheckDeadlineMs;
        HTTP->MinBytesPerSecond = 0;
        if (!HTTP->Get(ServerUrl(QStringLiteral("/Updates.ini")))) UpdateAvailable = false;
        QFile file(IniFileName);
        if (UpdateAvailable && file.open(QIODevice::ReadOnly) && file.size() <= kMaxIniBytes) {
            UpdateInfo = TUpdateInfo::Parse(file.read(kMaxIniBytes));
        } else {
            UpdateAvailable = false;
        }
    } catch (const std::exception&) {
        UpdateAvailable = false;
    }
    checking_ = false;
    // The file only carried the transfer; what it says is in UpdateInfo now.
    if (!IniFileName.isEmpty()) DeleteFile(IniFileName);
    IniFileName.clear();
    if (checkCancelled_) {
        // The wizard was closed during the check: nothing more to say.
        UpdateAvailable = false;
        UpdateInfo.reset();
        return;
    }
    if (!UpdateAvailable) {
        MessageService::Instance().Message(noConnection, caption, MsgIcon::Warning);
        return;
    }
    UpdateAvailable = IsUpdateAvailable(*UpdateInfo, ProgramName, ProgramDate, std::floor(Now()));
    Button_NextClick();
}

void TUpdateWizard::HTTPFailure(const QString& kind) {
    if (kind == QStringLiteral("get")) TransferFailed();
}

void TUpdateWizard::HTTPConnectionFailed() {
    TransferFailed();
}

// A failed check means there is nothing to offer. A failed download leaves the
// update on offer: the page says the download failed and offers to try again.
void TUpdateWizard::TransferFailed() {
    if (Downloading) {
        DownloadFailed = true;
    } else {
        UpdateAvailable = false;
    }
}

QString TUpdateWizard::ServerUrl(const QString& path) const {
    return QStringLiteral("http://") + HTTP->Host + path;
}

QString TUpdateWizard::ArchiveName() const {
    return UpdateInfo ? UpdateInfo->Value(ProgramName, QStringLiteral("File")).value_or(QString())
                      : QString();
}

void TUpdateWizard::StopAtDownloadPage(const QString& text) {
    Label_Download->setText(text);
    CancelDownload->setVisible(false);
    Button_Next->setEnabled(false);
}

// ---------------------------------------------------------------- closing

void TUpdateWizard::Button_CancelClick() {
    if (Downloading) {
        CancelDownloadClick();
        if (!AbortRequested) return;
    }
    close();
}

void TUpdateWizard::closeEvent(QCloseEvent* event) {
    if (Downloading) {
        // The transfer runs below this handler: the close waits for it to stop.
        CancelDownloadClick();
        if (AbortRequested) closePending_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TUpdateWizard::done(int result) {
    if (Downloading) {
        // Escape or a programmatic close during a transfer: ask, and close afterwards.
        CancelDownloadClick();
        if (AbortRequested) closePending_ = true;
        return;
    }
    if (checking_) {
        // "Abbrechen" or closing during the check: the transfer stops now, so whoever
        // showed the wizard goes on at once.
        checkCancelled_ = true;
        HTTP->Abort();
    }
    const bool lastPage = Step == 5;
    QDialog::done(result);
    if (lastPage && OnRequestEnd) OnRequestEnd();
}

void TUpdateWizard::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (UpdateAvailable && !IniFileName.isEmpty()) DeleteFile(IniFileName);
    UpdateInfo.reset();
    const bool leftWithoutUpdate = Pages->currentIndex() == 3 && !Button_Cancel->isEnabled();
    if (InstallReady || leftWithoutUpdate) {
        auto store = OpenSettings();
        // An interval below a day means the default.
        int interval = settings::ReadIntegerOrDefault(*store, settings::kUpdateInterval);
        if (interval < 1) interval = settings::kUpdateInterval.defaultValue;
        store->WriteDateTime(settings::kNextUpdate.name, std::floor(Now()) + interval - 1);
    }
    if (InstallReady) RunAfterExit(TempDir + QStringLiteral("Update.bat"));
}

// ---------------------------------------------------------------- settings page

std::unique_ptr<TSettingsStore> OpenUpdateSettings(bool hkcu, const QString& registryKey) {
    auto store = std::make_unique<TSettingsStore>(settings::HiveOf(settings::kNextUpdate, hkcu));
    const std::string key = settings::UpdateKeyPath(registryKey.toStdString());
    if (!store->OpenKey(key, true)) {
        throw ESettingsError(FormatMessage("Fehler beim Setzen der Daten für '%s'", key));
    }
    return store;
}

std::unique_ptr<TSettingsStore> TUpdateWizard::OpenSettings() const {
    return OpenUpdateSettings(HKCU, RegistryKey);
}

void TUpdateWizard::Button_SettingsClick() {
    auto store = OpenSettings();
    if (store->ValueExists(settings::kNoUpdate.name)) {
        RadioButton_NoAutoUpdt->setChecked(true);
    } else {
        RadioButton_AutoUpdt->setChecked(true);
    }
    RadioButton_UpdtClick();
    SpinEdit_AutoUpdt->setValue(settings::ReadIntegerOrDefault(*store, settings::kUpdateInterval));
    Button_Settings->setVisible(false);
    Panel_Title->setText(QStringLiteral("Einstellungen"));
    Notebook_StdButtons->setCurrentIndex(1);
    Pages->setCurrentIndex(6);
}

void TUpdateWizard::RadioButton_UpdtClick() {
    const bool on = RadioButton_AutoUpdt->isChecked();
    Label_AutoUpdt1->setEnabled(on);
    SpinEdit_AutoUpdt->setEnabled(on);
    Label_AutoUpdt2->setEnabled(on);
}

void TUpdateWizard::Button_SettingsSaveClick() {
    auto store = OpenSettings();
    if (RadioButton_NoAutoUpdt->isChecked()) {
        store->DeleteValue(settings::kUpdateInterval.name);
        store->WriteString(settings::kNoUpdate.name, "");
    } else {
        store->DeleteValue(settings::kNoUpdate.name);
        store->WriteInteger(settings::kUpdateInterval.name, SpinEdit_AutoUpdt->value());
    }
    Button_SettingsCancelClick();
}

void TUpdateWizard::Button_SettingsCancelClick() {
    Panel_Title->setText(Step >= 0 && Step <= 5 ? Text(Step) : QString());
    Pages->setCurrentIndex(std::min(Step, 5));
    Notebook_StdButtons->setCurrentIndex(0);
    Button_Settings->setVisible(true);
}

}  // namespace dorvanta
