#include "dialogs/SettingsDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"

namespace dorvanta {
namespace {

const char* const kAutoLoadFile = settings::kAutoLoadFile.name;

}  // namespace

TSettingsDialog::TSettingsDialog(QWidget* parent, TSettingsStore* settings)
    : TFixedDialog(parent, QSize(313, 144)), settings_(settings) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    GroupBox1 = new QGroupBox(QStringLiteral("Standard&datei"), this);
    GroupBox1->setGeometry(8, 8, 297, 97);
    CheckBox_AutoFile =
        new QCheckBox(QStringLiteral("Beim Starten &automatisch diese Datei laden:"), GroupBox1);
    CheckBox_AutoFile->setGeometry(12, 20, 275, 19);
    Edit_AutoFile = new QLineEdit(GroupBox1);
    Edit_AutoFile->setGeometry(12, 42, 273, 21);
    Button_Search = new QPushButton(QStringLiteral("Durch&suchen"), GroupBox1);
    Button_Search->setGeometry(190, 67, 95, 23);
    Button_Search->setAutoDefault(false);

    Button_OK = new QPushButton(QStringLiteral("&OK"), this);
    Button_OK->setGeometry(148, 112, 75, 25);
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Ab&brechen"), this);
    Button_Cancel->setGeometry(230, 112, 75, 25);
    Button_Cancel->setAutoDefault(false);

    connect(Button_Search, &QPushButton::clicked, this, Guarded([this] { Button_SearchClick(); }));
    connect(Button_OK, &QPushButton::clicked, this, Guarded([this] { Button_OKClick(); }));
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(CheckBox_AutoFile, Edit_AutoFile);
    setTabOrder(Edit_AutoFile, Button_Search);
    setTabOrder(Button_Search, Button_OK);
    setTabOrder(Button_OK, Button_Cancel);
}

void TSettingsDialog::showEvent(QShowEvent* event) {
    FormShow();
    TFixedDialog::showEvent(event);
}

void TSettingsDialog::FormShow() {
    TSettingsStore* settings = settings_;
    const bool present = settings && settings->ValueExists(kAutoLoadFile);
    CheckBox_AutoFile->setChecked(present);
    Edit_AutoFile->setText(present ? QString::fromStdString(settings->ReadPath(kAutoLoadFile))
                                   : QString());
    CheckBox_AutoFile->setFocus();
}

void TSettingsDialog::Button_SearchClick() {
    const auto path = MessageService::Instance().OpenFileName(
        this, QStringLiteral("Öffnen"),
        QStringLiteral("Private Daten (*.pdt *.pdt.age);;Alle Dateien (*)"), QStringLiteral("pdt"),
        Edit_AutoFile->text());
    if (!path) return;
    Edit_AutoFile->setText(*path);
    Edit_AutoFile->setFocus();
}

void TSettingsDialog::Button_OKClick() {
    TSettingsStore* settings = settings_;
    if (!CheckBox_AutoFile->isChecked()) {
        if (settings && settings->ValueExists(kAutoLoadFile)) settings->DeleteValue(kAutoLoadFile);
        accept();
        return;
    }
    // A relative path counts from the current folder. The start can open only a
    // file this user may read: a folder, a pipe or a device would make it fail.
    const QString text = Edit_AutoFile->text();
    const QFileInfo info(text);
    QString refusal;
    if (text.isEmpty() || !info.exists()) {
        refusal = QStringLiteral("Die angegebene Datei existiert nicht.");
    } else if (info.isDir()) {
        refusal = QStringLiteral("Der angegebene Pfad ist ein Ordner, keine Datei.");
    } else if (!info.isFile() || !info.isReadable()) {
        refusal = QStringLiteral("Die angegebene Datei kann nicht gelesen werden.");
    }
    if (!refusal.isEmpty()) {
        MessageService::Instance().Message(refusal, QStringLiteral("Ungültiger Dateiname"),
                                           MsgIcon::Warning);
        Edit_AutoFile->setFocus();
        return;
    }
    if (!settings) {
        throw ESettingsError(FormatMessage("Fehler beim Setzen der Daten für '%s'", kAutoLoadFile));
    }
    settings->WritePath(kAutoLoadFile, text.toStdString());
    accept();
}

}  // namespace dorvanta
