// The main window: the file commands, which the document session carries out, and
// what the frame itself shows of the session.
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "mainwindow/DialogCommands.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/WindowDecisions.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "platform/TextConv.h"

namespace dorvanta {

using namespace mainwindow;

// ---------------------------------------------------------------- the session's news

void TMainWindow::ConnectSession() {
    // The panes drop their own texts; the frame drops the search's hits, our text
    // on the clipboard, the status bar's date and the questions' log.
    const auto dropTexts = [this] {
        if (dialogs_) dialogs_->ForgetSearch();
        MessageService::Instance().ForgetTexts();
        Clipboard().ClearOwnText();
        statusBar()->clearMessage();
    };
    connect(&session_, &TDocumentSession::AboutToReplaceDocument, this, dropTexts);
    connect(&session_, &TDocumentSession::AboutToLock, this, dropTexts);
    // The former document's texts were freed on this thread: none stay for reuse.
    connect(&session_, &TDocumentSession::DocumentReset, this, [] { ScrubFreedMemory(); });
    connect(&session_, &TDocumentSession::DocumentLoaded, this, [] { ScrubFreedMemory(); });
    connect(&session_, &TDocumentSession::Merged, this,
            [this](const QString& summary) { statusBar()->showMessage(summary); });
    connect(&session_, &TDocumentSession::FileNameChanged, this, &TMainWindow::UpdateCaption);
}

void TMainWindow::ShowLocked(bool locked) {
    const QAction* lock = lockPane_->LockAction();
    for (QAction* menu : menuBar()->actions()) {
        if (!menu->menu()) continue;
        for (QAction* action : menu->menu()->actions()) {
            if (action != lock && action->objectName() != QLatin1String("MenuItem_Exit") &&
                action->objectName() != QLatin1String("MenuItem_Info")) {
                action->setEnabled(!locked);
            }
        }
    }
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
    dialogs_->CloseSearchDialog();
    session_.New();
}

void TMainWindow::MenuItem_OpenClick() {
    if (session_.Loading()) return;
    const auto path = MessageService::Instance().OpenFileName(this, QStringLiteral("Öffnen"),
                                                              kOpenFilter, QStringLiteral("pdt"));
    if (!path) return;
    dialogs_->CloseSearchDialog();
    if (!QuerySave()) return;
    OpenFile(*path);
}

void TMainWindow::OpenFile(const QString& path, bool background) {
    session_.Open(path.toStdString(), *decisions_, background);
}

void TMainWindow::OfferUntitledRecovery() {
    if (session_.Modified() || session_.Locked()) return;
    session_.OfferRecovery(TDocumentSession::RecoveryPath({}, SettingsFolder()), *decisions_, true);
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

}  // namespace dorvanta
