// The update wizard's window: its pages, buttons and the painted step list.
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

#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/System.h"
#include "store/DateTime.h"
#include "update/HttpClient.h"
#include "update/Installer.h"
#include "update/UpdateWizard.h"

namespace dorvanta {

namespace {

QString Crlf(const char* text) {
    return TUpdateWizard::LabelText(QString::fromUtf8(text));
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
    TProcessBox(TUpdateWizard* form, QWidget* parent) : QWidget(parent), form_(form) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        form_->PaintBox_ProcessPaint(painter);
    }

  private:
    TUpdateWizard* form_;
};

}  // namespace

TUpdateWizard::TUpdateWizard(QWidget* parent)
    : QDialog(parent), Now(&NowDateTime), ProgramFile(&ProgramPath), UpdateKey(UpdatePublicKey()) {
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
    Label_Download = PageLabel(page3, QString::fromUtf8(kDownloadText), QRect(8, 8, 401, 80));
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
    connect(HTTP, &THttpClient::Failure, this,
            Guarded([this](const QString& k) { HTTPFailure(k); }));
    connect(HTTP, &THttpClient::ConnectionFailed, this,
            Guarded([this] { HTTPConnectionFailed(); }));

    connect(Button_Next, &QPushButton::clicked, this, Guarded([this] { Button_NextClick(); }));
    connect(Button_Check, &QPushButton::clicked, this, Guarded([this] { Button_CheckClick(); }));
    connect(Button_Cancel, &QPushButton::clicked, this, Guarded([this] { Button_CancelClick(); }));
    connect(Button_Settings, &QPushButton::clicked, this,
            Guarded([this] { Button_SettingsClick(); }));
    connect(Button_SettingsSave, &QPushButton::clicked, this,
            Guarded([this] { Button_SettingsSaveClick(); }));
    connect(Button_SettingsCancel, &QPushButton::clicked, this,
            Guarded([this] { Button_SettingsCancelClick(); }));
    connect(CancelDownload, &QPushButton::clicked, this,
            Guarded([this] { CancelDownloadClick(); }));
    for (QRadioButton* r : {RadioButton_NoAutoUpdt, RadioButton_AutoUpdt}) {
        connect(r, &QRadioButton::toggled, this, Guarded([this] { RadioButton_UpdtClick(); }));
    }
}

}  // namespace dorvanta
