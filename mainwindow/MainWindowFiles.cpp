// The main window: the file commands, which the document session carries out.
#include <QFileInfo>

#include "dialogs/AboutBox.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/WindowDecisions.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "resources/Icons.h"

namespace dorvanta {

using namespace mainwindow;

// ---------------------------------------------------------------- the session's news

void TMainWindow::DocumentReset() {
    ClearKeyRows();
    EntryModel->Clear();
    Edit_DataName->clear();
    Edit_Value->clear();
    ListBox_KeysClick();
    // The former document's texts were freed on this thread: none stay for reuse.
    ScrubFreedMemory();
}

void TMainWindow::DocumentLoaded() {
    ListBox_KeysClick();
    UpdtListBox(false, {});
    ScrubFreedMemory();
}

void TMainWindow::FileNameChanged(const QString&) {
    UpdateCaption();
}

void TMainWindow::UpdateCaption() {
    const QString file = QString::fromStdString(session_.FileName());
    QString caption = file.isEmpty() ? kTitle : QStringLiteral("Dorvanta - [%1]").arg(file);
    if (session_.Locked()) caption += QStringLiteral(" (gesperrt)");
    setWindowTitle(caption);
}

// ---------------------------------------------------------------- file commands

void TMainWindow::MenuItem_NewClick() {
    if (!QuerySave()) return;
    CloseSearchDialog();
    session_.New();
}

void TMainWindow::MenuItem_OpenClick() {
    if (session_.Loading()) return;
    const auto path = MessageService::Instance().OpenFileName(this, QStringLiteral("Öffnen"),
                                                              kOpenFilter, QStringLiteral("pdt"));
    if (!path) return;
    CloseSearchDialog();
    if (!QuerySave()) return;
    OpenFile(*path);
}

void TMainWindow::OpenFile(const QString& path, bool background) {
    session_.Open(path.toStdString(), *decisions_, background);
}

bool TMainWindow::MenuItem_SaveClick() {
    return session_.Save(*decisions_);
}

bool TMainWindow::MenuItem_SaveUnderClick() {
    return session_.SaveAs(*decisions_);
}

void TMainWindow::MenuItem_PasswordClick() {
    if (session_.Loading()) return;
    // An encrypted collection's passphrase is never shown, and a new one is typed
    // twice; anything but a confirmed one changes nothing, not even Modified.
    if (session_.Format() == TDocumentSession::TFormat::Encrypted) {
        if (const auto passphrase = TWindowDecisions::AskNewPassphrase()) {
            session_.SetPassword(*passphrase);
        }
        return;
    }
    const QString current = ToQString(session_.Password());
    const QString answer = TWindowDecisions::AskPassword(current).value_or(current);
    const auto password = FromQString(answer);
    if (!password) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return;
    }
    session_.SetPassword(*password);
}

void TMainWindow::MenuItem_SearchClick() {
    SearchDialog->Open();
}

void TMainWindow::EintrgefrUnterrubrikimportieren1Click() {
    // Without a selected sub-category there is nowhere to import to.
    if (SelectedKeyRow() < 0) {
        MessageService::Instance().Message(QString::fromUtf8(kMsgNoSubCategory),
                                           QStringLiteral("Ungültige oder unvollständige Angaben"),
                                           MsgIcon::Warning);
        return;
    }
    ImportDialog->exec();
}

void TMainWindow::MenuItem_SettingsClick() {
    if (session_.Loading()) return;
    SettingsDialog->exec();
}

void TMainWindow::MenuItem_InfoClick() {
    AboutBox->ShowInfoDialog(kTitle, QStringLiteral("2003"), AppIcon());
}

}  // namespace dorvanta
