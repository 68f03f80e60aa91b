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
#include "platform/System.h"
#include "store/DateTime.h"
#include "update/HttpClient.h"
#include "update/Installer.h"

namespace dorvanta {

const char* const TStatusForm::kStepTexts[10] = {
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
    // Qt labels break lines at "\n"; the texts keep their "\r\n" as written.
    return QString::fromUtf8(TStatusForm::kStepTexts[index])
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString Crlf(const char* text) {
    return QString::fromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A word-wrapped label at a fixed place of a page.
QLabel* PageLabel(QWidget* page, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(rect);
    return label;
}

QLabel* InfoIcon(QWidget* page, const QPoint& at) {
    auto* icon = new QLabel(page);
    icon->setPixmap(page->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    icon->setGeometry(at.x(), at.y(), 32, 32);
    return icon;
}

class TProcessBox : public QWidget {
  public:
    TProcessBox(TStatusForm* form, QWidget* parent) : QWidget(parent), form_(form) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        form_->PaintBox_ProcessPaint(painter);
    }

  private:
    TStatusForm* form_;
};

}  // namespace

TStatusForm::TStatusForm(QWidget* parent)
    : QDialog(parent), Now(&NowDateTime), ProgramFile(&ProgramPath) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Updates installieren"));
    setFixedSize(658, 353);
    setModal(true);
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPixelSize(11);
    setFont(verdana);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    PaintBox_Process = new TProcessBox(this, this);
    PaintBox_Process->setGeometry(0, 0, 225, 353);

    Panel_Title = new QLabel(this);
    Panel_Title->setGeometry(232, 8, 417, 41);
    Panel_Title->setAutoFillBackground(true);
    QPalette titlePal = Panel_Title->palette();
    titlePal.setColor(QPalette::Window, QColor(49, 106, 197));
    titlePal.setColor(QPalette::WindowText, Qt::white);
    Panel_Title->setPalette(titlePal);
    QFont titleFont = verdana;
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    Panel_Title->setFont(titleFont);
    Panel_Title->setAlignment(Qt::AlignCenter);

    Pages = new QStackedWidget(this);
    Pages->setGeometry(232, 56, 417, 249);
    auto page = [this](const char* name) {
        auto* p = new QWidget;
        p->setObjectName(QString::fromUtf8(name));
        Pages->addWidget(p);
        return p;
    };
    QWidget* page0 = page("Bestätigung1");
    InfoIcon(page0, QPoint(8, 8));
    Label2 = PageLabel(
        page0,
        Crlf("In regelmäßigen Abständen sollte im Internet nach Programmverbesserungen und "
             "-updates gesucht werden, um möglichen Programmfehlern vorzubeugen.\r\nKlicken "
             "Sie auf \"Weiter\", um jetzt nach neuen Updates zu suchen, oder auf "
             "\"Abbrechen\", um zu einem anderen Zeitpunkt nach Programmverbesserungen zu "
             "suchen.\r\n\r\nKlicken Sie auf \"Einstellungen\", um festzulegen, ob und in "
             "welchen Abständen Sie zum Suchen nach Updates aufgefordert werden möchten."),
        QRect(56, 8, 353, 233));

    QWidget* page1 = page("Prüfen");
    Label4 = PageLabel(page1,
                       QStringLiteral("Stellen Sie sicher, dass eine Internetverbindung besteht, "
                                      "und klicken Sie auf \"Jetzt auf neue Updates prüfen\"."),
                       QRect(8, 8, 401, 48));
    Button_Check = new QPushButton(QStringLiteral("Jetzt auf neue Updates prüfen"), page1);
    Button_Check->setGeometry(8, 64, 220, 25);

    QWidget* page2 = page("Bestätigung2");
    Label_CheckResult = PageLabel(page2, QString(), QRect(8, 8, 401, 233));

    QWidget* page3 = page("Download");
    Label_Download = PageLabel(
        page3,
        QStringLiteral("Die Updates werden jetzt heruntergeladen. Bitten warten Sie, bis der "
                       "Download abgeschlossen ist, oder klicken Sie auf \"Download "
                       "abbrechen\", wenn Sie die Updates zu einer anderen Zeit herunterladen "
                       "wollen."),
        QRect(8, 8, 401, 80));
    Status = new QProgressBar(page3);
    Status->setGeometry(8, 96, 401, 17);
    Status->setRange(0, 100);
    Status->setValue(0);
    Status->setTextVisible(false);
    PerCent = new QLabel(page3);
    PerCent->setGeometry(8, 118, 401, 17);
    PerCent->setAlignment(Qt::AlignCenter);
    StatusLabel = new QLabel(page3);
    StatusLabel->setGeometry(8, 140, 401, 17);
    TimeLeft = new QLabel(page3);
    TimeLeft->setGeometry(8, 160, 401, 17);
    CancelDownload = new QPushButton(QStringLiteral("Download ab&brechen"), page3);
    CancelDownload->setGeometry(8, 200, 160, 25);

    QWidget* page4 = page("Einrichten");
    Image_Icon2 = InfoIcon(page4, QPoint(8, 8));
    Label3 = PageLabel(
        page4,
        Crlf("Das Update kann jetzt installiert werden.\r\nKlicken Sie auf \"Weiter\", um den "
             "Vorgang fortzusetzen und die Installation durchzuführen.\r\n\r\nAktivieren Sie "
             "das Kontrollfeld \"Programm automatisch neu starten\", um die Anwendung nach der "
             "Installation sofort neu zu starten."),
        QRect(56, 8, 353, 160));
    CheckBox_Restart = new QCheckBox(QStringLiteral("Programm automatisch neu starten"), page4);
    CheckBox_Restart->setGeometry(56, 180, 353, 19);
    CheckBox_Restart->setChecked(true);

    QWidget* page5 = page("Bestätigung3");
    InfoIcon(page5, QPoint(8, 8));
    Label5 = PageLabel(
        page5,
        Crlf("Die Installation wurde vorbereitet.\r\nKlicken SIe auf \"Beenden\", um die alten "
             "Dateien zu ersetzen. Ein Neustart des Computers ist nicht erforderlich.\r\n\r\n"
             "Wenn Sie nicht die Option zum automatischen Neustart des Programms aktiviert "
             "haben, müssen Sie das Programm nach der Installation manuell neu starten."),
        QRect(56, 8, 353, 233));

    QWidget* page6 = page("Einstellungen");
    auto* group = new QGroupBox(
        QStringLiteral("Wie oft wollen Sie zum Suchen nach Updates aufgefordert werden?"), page6);
    group->setGeometry(0, 0, 417, 249);
    RadioButton_NoAutoUpdt =
        new QRadioButton(QStringLiteral("Niemals automatisch zum Updaten auffordern"), group);
    RadioButton_NoAutoUpdt->setGeometry(8, 24, 400, 19);
    PageLabel(group,
              QStringLiteral("Wenn Sie diese Option aktivieren, werden Sie nicht automatisch zum "
                             "Suchen nach neuen Updates aufgefordert. Sie haben dann aber immer "
                             "noch die Möglichkeit, über die Tastenkombination Strg+U die Suche "
                             "nach Updates zu starten."),
              QRect(26, 44, 383, 60));
    RadioButton_AutoUpdt = new QRadioButton(
        QStringLiteral("Regelmäßig in bestimmten Abständen zum Updaten auffordern"), group);
    RadioButton_AutoUpdt->setGeometry(8, 110, 400, 19);
    RadioButton_AutoUpdt->setChecked(true);
    PageLabel(group,
              QStringLiteral("Aktivieren Sie diese Option, um in festgelegten Abständen "
                             "automatisch zum Suchen nach neuen Updates aufgefordert zu werden. "
                             "Dies geschieht dann jeweils unmittelbar nach dem Starten des "
                             "Programms."),
              QRect(26, 130, 383, 60));
    Label_AutoUpdt1 = new QLabel(QStringLiteral("Alle"), group);
    Label_AutoUpdt1->setGeometry(26, 202, 30, 21);
    SpinEdit_AutoUpdt = new QSpinBox(group);
    SpinEdit_AutoUpdt->setRange(1, 365);
    SpinEdit_AutoUpdt->setValue(7);
    SpinEdit_AutoUpdt->setGeometry(58, 200, 60, 23);
    Label_AutoUpdt2 = new QLabel(QStringLiteral("Tage an Updates erinnern"), group);
    Label_AutoUpdt2->setGeometry(124, 202, 250, 21);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(232, 312, 417, 2);
    Button_Settings = new QPushButton(QStringLiteral("Einstellungen"), this);
    Button_Settings->setGeometry(240, 320, 97, 25);
    Button_Settings->setAutoDefault(false);

    Notebook_StdButtons = new QStackedWidget(this);
    Notebook_StdButtons->setGeometry(456, 314, 193, 37);
    auto* standard = new QWidget;
    Button_Cancel = new QPushButton(QStringLiteral("Abbrechen"), standard);
    Button_Cancel->setGeometry(8, 6, 88, 25);
    Button_Next = new QPushButton(QStringLiteral("Weiter >"), standard);
    Button_Next->setGeometry(100, 6, 88, 25);
    auto* settings = new QWidget;
    Button_SettingsCancel = new QPushButton(QStringLiteral("Abbrechen"), settings);
    Button_SettingsCancel->setGeometry(8, 6, 88, 25);
    Button_SettingsSave = new QPushButton(QStringLiteral("Speichern"), settings);
    Button_SettingsSave->setGeometry(100, 6, 88, 25);
    Notebook_StdButtons->addWidget(standard);
    Notebook_StdButtons->addWidget(settings);
    for (QPushButton* b : {Button_Check, CancelDownload, Button_Cancel, Button_Next,
                           Button_SettingsCancel, Button_SettingsSave}) {
        b->setAutoDefault(false);
    }

    HTTP = new THttpClient(this);
    connect(HTTP, &THttpClient::Failure, this, [this](const QString& k) { HTTPFailure(k); });
    connect(HTTP, &THttpClient::ConnectionFailed, this, [this] { HTTPConnectionFailed(); });

    connect(Button_Next, &QPushButton::clicked, this, [this] { Button_NextClick(); });
    connect(Button_Check, &QPushButton::clicked, this, [this] { Button_CheckClick(); });
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { Button_CancelClick(); });
    connect(Button_Settings, &QPushButton::clicked, this, [this] { Button_SettingsClick(); });
    connect(Button_SettingsSave, &QPushButton::clicked, this,
            [this] { Button_SettingsSaveClick(); });
    connect(Button_SettingsCancel, &QPushButton::clicked, this,
            [this] { Button_SettingsCancelClick(); });
    connect(CancelDownload, &QPushButton::clicked, this, [this] { CancelDownloadClick(); });
    for (QRadioButton* r : {RadioButton_NoAutoUpdt, RadioButton_AutoUpdt}) {
        connect(r, &QRadioButton::toggled, this, [this] { RadioButton_UpdtClick(); });
    }
}

TStatusForm::~TStatusForm() {
    FormDestroy();
}

// ---------------------------------------------------------------- showing

void TStatusForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TStatusForm::FormShow() {
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
void TStatusForm::keyPressEvent(QKeyEvent* event) {
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

void TStatusForm::PaintBox_ProcessPaint(QPainter& painter) {
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

void TStatusForm::ShowStep() {
    if (Step >= 0 && Step <= 5) {
        Pages->setCurrentIndex(Step);
        Panel_Title->setText(Text(Step));
    }
    PaintBox_Process->update();
}

void TStatusForm::Button_NextClick() {
    ++Step;
    switch (Step) {
        case 1:
            Button_Next->setEnabled(false);
            break;
        case 2:
            if (UpdateAvailable) {
                QString text = Text(7);
                const QString news =
                    UpdateInfo ? NewsList(*UpdateInfo, ProgramName, ProgramDate) : QString();
                text.replace(QStringLiteral("%s"), QString(news).replace("\r\n", "\n"));
                Label_CheckResult->setText(text);
            } else {
                Button_Next->setText(QStringLiteral("Beenden"));
                Button_Cancel->setEnabled(false);
                Label_CheckResult->setText(Text(6));
            }
            Button_Next->setEnabled(true);
            break;
        case 3:
            if (!UpdateAvailable) done(QDialog::Accepted);
            break;
        case 5: {
            const QString signature =
                UpdateInfo ? UpdateInfo->Value(ProgramName, QStringLiteral("Signature"))
                                 .value_or(QString())
                           : QString();
            if (PrepareInstallation(TempDir, ZIPFileName, signature, ProgramFile(),
                                    CheckBox_Restart->isChecked()) ==
                TPrepareResult::ArchiveMissing) {
                Label3->setText(QStringLiteral(
                    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf "
                    "\"Abbrechen\" und versuchen Sie es später noch einmal."));
                Image_Icon2->setPixmap(
                    style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
                Button_Next->setEnabled(false);
                return;  // page 4 stays
            }
            InstallReady = true;
            Button_Next->setText(QStringLiteral("Beenden"));
            Button_Cancel->setEnabled(false);
            break;
        }
        case 6:
            done(QDialog::Accepted);
            if (OnRequestEnd) OnRequestEnd();
            break;
        default:
            break;
    }
    ShowStep();
    if (Step == 3 && UpdateAvailable) {
        Button_Next->setEnabled(false);
        CancelDownload->setText(QStringLiteral("Download ab&brechen"));
        CancelDownload->setVisible(true);
        QCoreApplication::processEvents();
        DownloadUpdate(TempDir + ZIPFileName);
        Label_Download->setText(Text(DownloadFailed ? 8 : 9));
        if (DownloadFailed) {
            CancelDownload->setText(QStringLiteral("Erneut versuchen"));
            CancelDownload->setEnabled(true);
        } else {
            CancelDownload->setVisible(false);
            Button_Next->setEnabled(true);
        }
        // A close confirmed during the download goes on now that it has stopped.
        if (closePending_) {
            closePending_ = false;
            close();
        }
    }
}

void TStatusForm::Button_CheckClick() {
    const QString caption = QStringLiteral("Internetverbindung erforderlich");
    const QString noConnection = QStringLiteral("Es besteht keine Internetverbindung.");
    if (!IsConnected()) {
        MessageService::Instance().Message(noConnection, caption, MsgIcon::Warning);
        return;
    }
    UpdateAvailable = true;
    UpdateInfo.reset();
    try {
        if (!IniFileName.isEmpty()) DeleteFile(IniFileName);
        IniFileName = CreateTempFile(QStringLiteral("$"));
        HTTP->BodyFile = IniFileName;
        if (!HTTP->Get(ServerUrl(QStringLiteral("/Updates.ini")))) UpdateAvailable = false;
        QFile file(IniFileName);
        if (UpdateAvailable && file.open(QIODevice::ReadOnly) && file.size() <= kMaxIniBytes) {
            UpdateInfo = TUpdateInfo::Parse(file.readAll());
        } else {
            UpdateAvailable = false;
        }
    } catch (const std::exception&) {
        UpdateAvailable = false;
    }
    if (!UpdateAvailable) {
        MessageService::Instance().Message(noConnection, caption, MsgIcon::Warning);
        return;
    }
    UpdateAvailable = IsUpdateAvailable(*UpdateInfo, ProgramName, ProgramDate, std::floor(Now()));
    Button_NextClick();
}

void TStatusForm::HTTPFailure(const QString& kind) {
    if (kind == QStringLiteral("get")) UpdateAvailable = false;
}

void TStatusForm::HTTPConnectionFailed() {
    UpdateAvailable = false;
}

QString TStatusForm::ServerUrl(const QString& path) const {
    return QStringLiteral("http://") + HTTP->Host + path;
}

// ---------------------------------------------------------------- closing

void TStatusForm::Button_CancelClick() {
    if (Downloading) {
        CancelDownloadClick();
        if (!AbortRequested) return;
    }
    close();
}

void TStatusForm::closeEvent(QCloseEvent* event) {
    if (Downloading) {
        // The transfer runs below this handler: the close waits for it to stop.
        CancelDownloadClick();
        if (AbortRequested) closePending_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TStatusForm::done(int result) {
    if (Downloading) {
        // Escape or a programmatic close during a transfer: ask, and close afterwards.
        CancelDownloadClick();
        if (AbortRequested) closePending_ = true;
        return;
    }
    const bool lastPage = Step == 5;
    QDialog::done(result);
    if (lastPage && OnRequestEnd) OnRequestEnd();
}

void TStatusForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (UpdateAvailable && !IniFileName.isEmpty()) DeleteFile(IniFileName);
    UpdateInfo.reset();
    const bool leftWithoutUpdate = Pages->currentIndex() == 3 && !Button_Cancel->isEnabled();
    if (InstallReady || leftWithoutUpdate) {
        auto settings = OpenSettings();
        int interval = 7;
        if (settings->ValueExists("UpdateInterval")) {
            const int stored = settings->ReadInteger("UpdateInterval");
            if (stored >= 1) interval = stored;
        }
        settings->WriteDateTime("Update", std::floor(Now()) + interval - 1);
    }
    if (InstallReady) RunAfterExit(TempDir + QStringLiteral("Update.bat"));
}

// ---------------------------------------------------------------- settings page

std::unique_ptr<TRegistry> OpenUpdateSettings(bool hkcu, const QString& registryKey) {
    auto settings = std::make_unique<TRegistry>(hkcu ? Hive::CurrentUser : Hive::LocalMachine);
    const std::string key = "Software\\QZ\\" + registryKey.toStdString();
    if (!settings->OpenKey(key, true)) {
        throw ESettingsError(FormatMessage("Fehler beim Setzen der Daten für '%s'", key));
    }
    return settings;
}

std::unique_ptr<TRegistry> TStatusForm::OpenSettings() const {
    return OpenUpdateSettings(HKCU, RegistryKey);
}

void TStatusForm::Button_SettingsClick() {
    auto settings = OpenSettings();
    if (settings->ValueExists("NoUpdate")) {
        RadioButton_NoAutoUpdt->setChecked(true);
    } else {
        RadioButton_AutoUpdt->setChecked(true);
    }
    RadioButton_UpdtClick();
    SpinEdit_AutoUpdt->setValue(
        settings->ValueExists("UpdateInterval") ? settings->ReadInteger("UpdateInterval") : 7);
    Button_Settings->setVisible(false);
    Panel_Title->setText(QStringLiteral("Einstellungen"));
    Notebook_StdButtons->setCurrentIndex(1);
    Pages->setCurrentIndex(6);
}

void TStatusForm::RadioButton_UpdtClick() {
    const bool on = RadioButton_AutoUpdt->isChecked();
    Label_AutoUpdt1->setEnabled(on);
    SpinEdit_AutoUpdt->setEnabled(on);
    Label_AutoUpdt2->setEnabled(on);
}

void TStatusForm::Button_SettingsSaveClick() {
    auto settings = OpenSettings();
    if (RadioButton_NoAutoUpdt->isChecked()) {
        settings->DeleteValue("UpdateInterval");
        settings->WriteString("NoUpdate", "");
    } else {
        settings->DeleteValue("NoUpdate");
        settings->WriteInteger("UpdateInterval", SpinEdit_AutoUpdt->value());
    }
    Button_SettingsCancelClick();
}

void TStatusForm::Button_SettingsCancelClick() {
    Panel_Title->setText(Step >= 0 && Step <= 5 ? Text(Step) : QString());
    Pages->setCurrentIndex(std::min(Step, 5));
    Notebook_StdButtons->setCurrentIndex(0);
    Button_Settings->setVisible(true);
}

}  // namespace dorvanta
