// The window's dialogs on the whole collection or the program.
#include "mainwindow/DialogCommands.h"

#include "dialogs/AboutBox.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/MessageService.h"
#include "resources/Icons.h"
#include "session/DocumentSession.h"

namespace dorvanta {

using namespace mainwindow;

TDialogCommands::TDialogCommands(QWidget* window, TDocumentSession& session,
                                 TSettingsStore* settings, TSecretClipboard& clipboard)
    : session_(session) {
    settings_ = new TSettingsDialog(window, settings);
    search_ = new TSearchDialog(window, session_, clipboard);
    connect(search_, &TSearchDialog::SearchEnded, this, &TDialogCommands::SearchEnded);
    // Creating the about box gives the windows made so far the system's typeface.
    about_ = new TAboutBox(window);
    import_ = new TImportDialog(window, session_);
}

TDialogCommands::~TDialogCommands() {
    delete search_;
}

void TDialogCommands::MenuItem_SearchClick() {
    search_->Open();
}

void TDialogCommands::EintrgefrUnterrubrikimportieren1Click() {
    // Without a selected sub-category there is nowhere to import to.
    if (session_.SelectedKeyRow() < 0) {
        MessageService::Instance().Message(QString::fromUtf8(kMsgNoSubCategory),
                                           QStringLiteral("Ungültige oder unvollständige Angaben"),
                                           MsgIcon::Warning);
        return;
    }
    import_->exec();
}

void TDialogCommands::MenuItem_SettingsClick() {
    if (session_.Loading()) return;
    settings_->exec();
}

void TDialogCommands::MenuItem_InfoClick() {
    about_->ShowInfoDialog(kTitle, QStringLiteral("2003"), AppIcon());
}

void TDialogCommands::CloseSearchDialog() {
    if (search_->isVisible()) search_->close();
}

bool TDialogCommands::Searching() const {
    return search_->Searching();
}

void TDialogCommands::StopSearch() {
    search_->StopSearch();
}

void TDialogCommands::ForgetSearch() {
    search_->Forget();
}

}  // namespace dorvanta
