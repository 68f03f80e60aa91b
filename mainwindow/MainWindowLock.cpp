// The main window: the lock. A locked window shows only the file's name and
// "Entsperren"; nothing of the collection stays in it.
#include <sodium.h>

#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QVBoxLayout>

#include "dialogs/SearchDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "mainwindow/WindowDecisions.h"
#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/IdleWatch.h"
#include "platform/MessageService.h"
#include "platform/ScreenLockWatcher.h"
#include "platform/SecretClipboard.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"
#include "store/PdtHooks.h"
#include "store/StoreMessages.h"

namespace dorvanta {

using namespace mainwindow;

void TMainWindow::BuildLockPage(QWidget* clientArea) {
    Panel_Locked = new QWidget;
    auto* column = new QVBoxLayout(Panel_Locked);
    column->addStretch(1);
    Label_Locked = new QLabel(Panel_Locked);
    Label_Locked->setAlignment(Qt::AlignCenter);
    Label_Locked->setWordWrap(true);
    column->addWidget(Label_Locked);
    Button_Unlock = new QPushButton(QStringLiteral("&Entsperren"), Panel_Locked);
    column->addWidget(Button_Unlock, 0, Qt::AlignHCenter);
    column->addStretch(2);
    connect(Button_Unlock, &QPushButton::clicked, this, Guarded([this] { UnlockWithPrompt(); }));
    Pages = new QStackedWidget;
    Pages->addWidget(clientArea);
    Pages->addWidget(Panel_Locked);
    setCentralWidget(Pages);
}

void TMainWindow::BuildLockOptions(QMenu* options) {
    MenuItem_Lock = options->addAction(QStringLiteral("&Sperren"));
    MenuItem_Lock->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    MenuItem_Lock->setShortcutContext(Qt::WindowShortcut);
    connect(MenuItem_Lock, &QAction::triggered, this, Guarded([this] { MenuItem_LockClick(); }));
    MenuItem_LockOnScreenLock =
        options->addAction(QStringLiteral("Beim Sperren des Bildschirms sperren"));
    MenuItem_LockOnScreenLock->setCheckable(true);
    MenuItem_LockOnScreenLock->setChecked(settings::kLockOnScreenLock.defaultValue != 0);
    Menu_LockAfter = options->addMenu(QStringLiteral("Automatisch sperren nach"));
    auto* choices = new QActionGroup(Menu_LockAfter);
    for (const int minutes : settings::kLockAfterChoices) {
        QAction* choice = Menu_LockAfter->addAction(
            minutes == 0 ? QStringLiteral("Nie") : QStringLiteral("%1 Minuten").arg(minutes));
        choice->setCheckable(true);
        choice->setData(minutes);
        choices->addAction(choice);
    }
    connect(choices, &QActionGroup::triggered, this,
            Guarded([this](QAction* choice) { SetLockAfterMinutes(choice->data().toInt()); }));
    ScreenLock =
        new TScreenLockWatcher(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), this);
    connect(ScreenLock, &TScreenLockWatcher::ScreenLocked, this, Guarded([this] {
                if (MenuItem_LockOnScreenLock->isChecked()) RequestLock();
            }));
    idleWatch_ = new TIdleWatch(this);
    // Input elsewhere on the desktop does not count: only this program's own.
    connect(idleWatch_, &TIdleWatch::Idle, this, Guarded([this] { RequestLock(); }));
    SetLockAfterMinutes(settings::kLockAfterMinutes.defaultValue);
}

int TMainWindow::LockAfterMinutes() const {
    for (const QAction* choice : Menu_LockAfter->actions()) {
        if (choice->isChecked()) return choice->data().toInt();
    }
    return settings::kLockAfterMinutes.defaultValue;
}

void TMainWindow::SetLockAfterMinutes(int minutes) {
    QAction* chosen = nullptr;
    for (QAction* choice : Menu_LockAfter->actions()) {
        if (choice->data().toInt() == minutes) chosen = choice;
    }
    if (!chosen) {
        // A number set in the settings file by hand is kept and shown as it is.
        chosen = Menu_LockAfter->addAction(QStringLiteral("%1 Minuten").arg(minutes));
        chosen->setCheckable(true);
        chosen->setData(minutes);
        Menu_LockAfter->actions().first()->actionGroup()->addAction(chosen);
    }
    chosen->setChecked(true);
    idleWatch_->SetInterval(minutes * 60 * 1000);
}

void TMainWindow::SetIdleLockInterval(int ms) {
    idleWatch_->SetInterval(ms);
}

void TMainWindow::ReadLockSettings() {
    MenuItem_LockOnScreenLock->setChecked(settings::ReadLockOnScreenLock(*settings_));
    SetLockAfterMinutes(settings::ReadLockAfterMinutes(*settings_));
}

void TMainWindow::WriteLockSettings() {
    settings_->WriteInteger(settings::kLockOnScreenLock.name,
                            MenuItem_LockOnScreenLock->isChecked() ? 1 : 0);
    settings_->WriteInteger(settings::kLockAfterMinutes.name, LockAfterMinutes());
}

void TMainWindow::MenuItem_LockClick() {
    if (session_.Locked()) {
        UnlockWithPrompt();
        return;
    }
    if (!session_.HasPassword() && !session_.Busy()) {
        MessageService::Instance().Message(
            QStringLiteral("Nur eine Sammlung mit Passwort kann gesperrt werden. Legen Sie "
                           "zuerst mit „Passwort...“ eines fest."),
            QStringLiteral("Sperren"), MsgIcon::Information);
        return;
    }
    RequestLock();
}

void TMainWindow::RequestLock() {
    if (session_.Locked()) return;
    // The start file is still being read: the lock follows it.
    if (startLoading_) {
        lockPending_ = true;
        return;
    }
    // Without a password there is nothing to lock with: nothing is cancelled either.
    if (!session_.HasPassword()) return;
    // Questions open now are answered as if cancelled; an open or a save that
    // asked them ends first, and the lock follows it.
    CloseModalDialogs();
    if (SearchDialog->Searching()) SearchDialog->StopSearch();
    if (session_.Busy() || SearchDialog->Searching()) {
        lockPending_ = true;
        return;
    }
    lockPending_ = false;
    if (!session_.CanLock()) return;
    lockedEntryRow_ = SelectedEntryRow();
    lockedTopIndex_ = ListBox_Keys->TopIndex();
    session_.Lock(*decisions_);
}

void TMainWindow::LockIfPending() {
    if (lockPending_ && !session_.Busy() && !startLoading_ && !SearchDialog->Searching()) {
        RunGuarded([this] { RequestLock(); });
    }
}

void TMainWindow::CloseModalDialogs() {
    // A dialog that does not close when asked ends the loop rather than hang it.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == this) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
}

void TMainWindow::DropTexts() {
    if (SearchDialog) SearchDialog->Forget();
    clipboard_->ClearOwnText();
    ClearKeyRows();
    if (!selectedRow_.name.empty()) {
        sodium_memzero(selectedRow_.name.data(), selectedRow_.name.size());
    }
    selectedRow_ = {};
    EntryModel->Clear();
    // Setting a text also empties the undo history, which clear() would keep.
    for (TFieldEdit* edit : {Edit_DataName, Edit_Value, Edit_Info}) edit->Forget();
    statusBar()->clearMessage();
    ForgetPaintedItems(ListView_Data);
}

void TMainWindow::ShowLocked(bool locked) {
    Pages->setCurrentWidget(locked ? Panel_Locked : Pages->widget(0));
    MenuItem_Lock->setText(locked ? QStringLiteral("&Entsperren") : QStringLiteral("&Sperren"));
    for (QAction* menu : menuBar()->actions()) {
        if (!menu->menu()) continue;
        for (QAction* action : menu->menu()->actions()) {
            if (action != MenuItem_Lock && action != MenuItem_Exit && action != MenuItem_Info) {
                action->setEnabled(!locked);
            }
        }
    }
    UpdateCaption();
    if (locked) {
        ScrubFreedMemory();
        const QString name = QString::fromStdString(session_.FileName());
        Label_Locked->setText(
            (name.isEmpty() ? QStringLiteral("Die Sammlung ist gesperrt.")
                            : QStringLiteral("Die Sammlung \"%1\" ist gesperrt.").arg(name)));
        Button_Unlock->setFocus();
        return;
    }
    // Back as it was: the category list, its selection and scroll position, the
    // shown entries and the selected one.
    const int row = session_.SelectedKeyRow();
    UpdtListBox(true, {});
    SelectKeyRow(row);
    ListBox_KeysClick();
    SelectEntryRow(lockedEntryRow_);
    ListBox_Keys->SetTopIndex(lockedTopIndex_);
    ListBox_Keys->setFocus();
}

bool TMainWindow::UnlockWithPrompt() {
    if (!session_.Locked()) return true;
    for (int attempt = 1; attempt <= kPassphraseTries; ++attempt) {
        const auto typed = TWindowDecisions::AskUnlockPassword(session_.FileName(), attempt);
        if (!typed) return false;
        // In the form the document keeps it; a character a plain document cannot
        // hold can never match, and the empty text counts as wrong.
        auto password = session_.Format() == TDocumentSession::TFormat::Encrypted
                             ? typed->toStdString()
                             : FromQString(*typed).value_or(std::string());
        const bool opened = session_.Unlock(password, *decisions_);
        if (!password.empty()) sodium_memzero(password.data(), password.size());
        if (opened) return true;
    }
    MessageService::Instance().Message(QString::fromUtf8(kMsgWrongPassword),
                                       QStringLiteral("Ungültiges Passwort"), MsgIcon::Error);
    return false;
}

}  // namespace dorvanta
