#pragma once
// The update wizard "Updates installieren": welcome, check of the update server,
// result, download, installation and finish, and a page with the settings of the
// automatic prompt. One instance lives for the whole run; its destruction at the
// end of the program records the next due date and starts a prepared installation.

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "update/UpdateInfo.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace dorvanta {

class THttpClient;
class TSettingsStore;

// The update's settings key `Software\QZ\<registryKey>`, machine-wide unless
// `hkcu`, created when missing; throws ESettingsError when it cannot be had.
std::unique_ptr<TSettingsStore> OpenUpdateSettings(bool hkcu, const QString& registryKey);

// The download page's text while the download runs.
inline constexpr const char* kDownloadText =
    "Die Updates werden jetzt heruntergeladen. Bitten warten Sie, bis der Download "
    "abgeschlossen ist, oder klicken Sie auf \"Download abbrechen\", wenn Sie die Updates zu "
    "einer anderen Zeit herunterladen wollen.";
// Said on the download page when the build has no update key (no archive is kept).
inline constexpr const char* kMsgNoUpdateKey =
    "Dieses Programm wurde ohne Update-Schlüssel erstellt; Updates können nicht installiert "
    "werden.";
// The installation step's message for a missing archive; also said on the download
// page when "Updates.ini" names no bare file (nothing is requested then).
inline constexpr const char* kMsgArchiveNotFound =
    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf \"Abbrechen\" und "
    "versuchen Sie es später noch einmal.";

class TUpdateWizard : public QDialog {
    Q_OBJECT
  public:
    static const char* const kStepTexts[10];
    // A text for a label: Qt breaks lines at "\n", the texts are written with "\r\n".
    static QString LabelText(const QString& text);

    explicit TUpdateWizard(QWidget* parent = nullptr);
    ~TUpdateWizard() override;

    // Set before each showing (by the update component).
    QString ProgramName;
    QString ZIPFileName;
    QString RegistryKey;
    double ProgramDate = 0;
    bool HKCU = false;

    // The wizard-wide state.
    int Step = 0;
    bool UpdateAvailable = false;
    bool Downloading = false;
    bool AbortRequested = false;
    bool DownloadFailed = false;
    bool InstallReady = false;
    double StartTime = 0;  // time of day of the download's start, as a fraction of a day
    QString TempDir;       // the private temporary folder, ending in '/'
    QString IniFileName;
    std::optional<TUpdateInfo> UpdateInfo;

    // Called when the finished wizard asks the program to end ("Beenden" on the
    // last page, or closing it there).
    std::function<void()> OnRequestEnd;
    // The clock of the due date and the program file the installation replaces;
    // tests replace them.
    std::function<double()> Now;
    std::function<QString()> ProgramFile;
    // The public key archives are checked against: the build's (UpdatePublicKey()),
    // empty when the build has none, and then nothing is ever installed. Only tests
    // put another key here.
    QByteArray UpdateKey;
    // Limits of the transfers besides the client's stall time-out (TimeoutMs); tests
    // shorten them. The check ends after CheckDeadlineMs. The download ends when
    // fewer than DownloadMinBytesPerSecond arrive on average over
    // DownloadRateWindowMs, and when the archive passes the size the server announced,
    // or ArchiveMaxBytes when it announced none (announcing more is refused at once).
    // A download the user aborted is deleted after PartialDeleteDelayMs.
    int CheckDeadlineMs = 60000;
    qint64 DownloadMinBytesPerSecond = 1024;
    int DownloadRateWindowMs = 30000;
    qint64 ArchiveMaxBytes = qint64(1) << 30;
    int PartialDeleteDelayMs = 3000;

    QWidget* PaintBox_Process = nullptr;
    QLabel* Panel_Title = nullptr;
    QStackedWidget* Pages = nullptr;
    QPushButton* Button_Settings = nullptr;
    QStackedWidget* Notebook_StdButtons = nullptr;
    QPushButton* Button_Cancel = nullptr;
    QPushButton* Button_Next = nullptr;
    QPushButton* Button_SettingsCancel = nullptr;
    QPushButton* Button_SettingsSave = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button_Check = nullptr;
    QLabel* Label_CheckResult = nullptr;
    QLabel* Label_Download = nullptr;
    QProgressBar* Status = nullptr;
    QLabel* PerCent = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* TimeLeft = nullptr;
    QPushButton* CancelDownload = nullptr;
    QLabel* Image_Icon2 = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* CheckBox_Restart = nullptr;
    QLabel* Label5 = nullptr;
    QRadioButton* RadioButton_NoAutoUpdt = nullptr;
    QRadioButton* RadioButton_AutoUpdt = nullptr;
    QLabel* Label_AutoUpdt1 = nullptr;
    QSpinBox* SpinEdit_AutoUpdt = nullptr;
    QLabel* Label_AutoUpdt2 = nullptr;
    THttpClient* HTTP = nullptr;

    void Button_NextClick();
    void Button_CheckClick();
    void Button_CancelClick();
    void Button_SettingsClick();
    void Button_SettingsSaveClick();
    void Button_SettingsCancelClick();
    void RadioButton_UpdtClick();
    void CancelDownloadClick();
    void DownloadUpdate(const QString& target);
    void OnUpdateTimer();
    void PaintBox_ProcessPaint(QPainter& painter);
    // Writes the next due date and starts a prepared installation (program end).
    void FormDestroy();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormShow();
    void ShowStep();
    // Entering each step from "Weiter" (Button_NextClick dispatches by Step).
    void EnterCheckStep();
    void EnterResultStep();
    void EnterDownloadStep();
    void EnterInstallStep();
    void EnterFinishStep();
    void EndWizard();
    // The download step's transfer and the page's state afterwards.
    void RunDownload();
    void HTTPFailure(const QString& kind);
    void HTTPConnectionFailed();
    void TransferFailed();
    // The update's settings key: machine-wide unless HKCU.
    std::unique_ptr<TSettingsStore> OpenSettings() const;
    QString ServerUrl(const QString& path) const;
    // The value "File" of the program's section (empty when missing).
    QString ArchiveName() const;
    // Ends the download step with `text` on the download page and nothing to go on with.
    void StopAtDownloadPage(const QString& text);

    bool closePending_ = false;    // a close confirmed during a download
    bool checking_ = false;        // the check's transfer runs
    bool checkCancelled_ = false;  // the wizard was closed during the check
    bool destroyed_ = false;
};

}  // namespace dorvanta
