// The lock. A locked window shows only the file's name and "Entsperren"; the
// panes drop every text of the collection as the session locks.
#include "mainwindow/LockPane.h"

#include <sodium.h>

#include <QActionGroup>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "mainwindow/WindowDecisions.h"
#include "platform/Application.h"
#include "platform/FreedMemory.h"
#include "platform/IdleWatch.h"
#include "platform/MessageService.h"
#include "platform/ScreenLockWatcher.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"
#include "session/DocumentSession.h"
#include "store/PdtHooks.h"
#include "store/StoreMessages.h"

namespace dorvanta {

TLockPane::TLockPane(TDocumentSession& session, TSessionDecisions& decisions, TLockHost& host,
                     QWidget* parent)
    : QStackedWidget(parent), session_(session), decisions_(decisions), host_(host) {
    setObjectName(QStringLiteral("Pages"));
    page_ = new QWidget;
    page_->setObjectName(QStringLiteral("Panel_Locked"));
    auto* column = new QVBoxLayout(page_);
    column->addStretch(1);
    label_ = new QLabel(page_);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    column->addWidget(label_);
    unlockButton_ = new QPushButton(QStringLiteral("&Entsperren"), page_);
    column->addWidget(unlockButton_, 0, Qt::AlignHCenter);
    column->addStretch(2);
    connect(unlockButton_, &QPushButton::clicked, this, Guarded([this] { UnlockWithPrompt(); }));
    addWidget(page_);

    lockAction_ = new QAction(QStringLiteral("&Sperren"), this);
    lockAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lockAction_, &QAction::triggered, this, Guarded([this] { MenuItem_LockClick(); }));
    addAction(lockAction_);  // the key works also where no menu holds it
    lockOnScreenLock_ = new QAction(QStringLiteral("Beim Sperren des Bildschirms sperren"), this);
    lockOnScreenLock_->setCheckable(true);
    lockOnScreenLock_->setChecked(settings::kLockOnScreenLock.defaultValue != 0);
    lockAfter_ = new QMenu(QStringLiteral("Automatisch sperren nach"), this);
    auto* choices = new QActionGroup(lockAfter_);
    for (const int minutes : settings::kLockAfterChoices) {
        QAction* choice = lockAfter_->addAction(
            minutes == 0 ? QStringLiteral("Nie") : QStringLiteral("%1 Minuten").arg(minutes));
        choice->setCheckable(true);
        choice->setData(minutes);
        choices->addAction(choice);
    }
    connect(choices, &QActionGroup::triggered, this,
            Guarded([this](QAction* choice) { SetLockAfterMinutes(choice->data().toInt()); }));
    screenLock_ =
        new TScreenLockWatcher(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), this);
    connect(screenLock_, &TScreenLockWatcher::ScreenLocked, this, Guarded([this] {
                if (lockOnScreenLock_->isChecked()) RequestLock();
            }));
    idleWatch_ = new TIdleWatch(this);
    // Input elsewhere on the desktop does not count: only this program's own.
    connect(idleWatch_, &TIdleWatch::Idle, this, Guarded([this] { RequestLock(); }));
    SetLockAfterMinutes(settings::kLockAfterMinutes.defaultValue);

    connect(&session_, &TDocumentSession::LockedChanged, this, &TLockPane::ShowLocked);
    connect(&session_, &TDocumentSession::BusyEnded, this, &TLockPane::LockIfPending,
            Qt::QueuedConnection);
}

TLockPane::~TLockPane() {
    if (lockPending_) SetPending(false);
}

void TLockPane::SetUnlockedPage(QWidget* page) {
    insertWidget(0, page);
    setCurrentIndex(0);
}

void TLockPane::AddOptions(QMenu* options) {
    options->addAction(lockAction_);
    options->addAction(lockOnScreenLock_);
    options->addMenu(lockAfter_);
}

int TLockPane::LockAfterMinutes() const {
    for (const QAction* choice : lockAfter_->actions()) {
        if (choice->isChecked()) return choice->data().toInt();
    }
    return settings::kLockAfterMinutes.defaultValue;
}

void TLockPane::SetLockAfterMinutes(int minutes) {
    QAction* chosen = nullptr;
    for (QAction* choice : lockAfter_->actions()) {
        if (choice->data().toInt() == minutes) chosen = choice;
    }
    if (!chosen) {
        // A number set in the settings file by hand is kept and shown as it is.
        chosen = lockAfter_->addAction(QStringLiteral("%1 Minuten").arg(minutes));
        chosen->setCheckable(true);
        chosen->setData(minutes);
        lockAfter_->actions().first()->actionGroup()->addAction(chosen);
    }
    chosen->setChecked(true);
    idleWatch_->SetInterval(minutes * 60 * 1000);
}

void TLockPane::SetIdleLockInterval(int ms) {
    idleWatch_->SetInterval(ms);
}

void TLockPane::ReadSettings(TSettingsStore& settings) {
    lockOnScreenLock_->setChecked(settings::ReadLockOnScreenLock(settings));
    SetLockAfterMinutes(settings::ReadLockAfterMinutes(settings));
}

void TLockPane::WriteSettings(TSettingsStore& settings) const {
    settings.WriteInteger(settings::kLockOnScreenLock.name, lockOnScreenLock_->isChecked() ? 1 : 0);
    settings.WriteInteger(settings::kLockAfterMinutes.name, LockAfterMinutes());
}

void TLockPane::MenuItem_LockClick() {
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

void TLockPane::RequestLock() {
    if (session_.Locked()) return SetPending(false);
    // The start file is still being read: its questions are cancelled and the
    // lock follows the load.
    if (host_.StartLoading()) {
        SetPending(true);
        CloseModalDialogs();
        return;
    }
    // Without a password there is nothing to lock with: nothing is cancelled either.
    if (!session_.HasPassword()) return SetPending(false);
    // Questions open now are answered as if cancelled, and so is every further one
    // until the lock: an open or a save that asked them ends at once, writing
    // nothing, and the lock follows it.
    if (host_.Searching()) host_.StopSearch();
    if (session_.Busy() || host_.Searching()) {
        SetPending(true);
        CloseModalDialogs();
        return;
    }
    CloseModalDialogs();
    SetPending(false);
    if (!session_.CanLock()) return;
    session_.Lock(decisions_);
}

void TLockPane::SetPending(bool pending) {
    lockPending_ = pending;
    MessageService::Instance().SetCancelQuestions(pending);
}

void TLockPane::LockIfPending() {
    if (lockPending_ && !session_.Busy() && !host_.StartLoading() && !host_.Searching()) {
        RunGuarded([this] { RequestLock(); });
    }
}

void TLockPane::CloseModalDialogs() {
    // A dialog that does not close when asked ends the loop rather than hang it.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == window()) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
}

void TLockPane::ShowLocked(bool locked) {
    setCurrentWidget(locked ? page_ : widget(0));
    lockAction_->setText(locked ? QStringLiteral("&Entsperren") : QStringLiteral("&Sperren"));
    if (!locked) return;
    // Every pane has dropped its texts by now.
    ScrubFreedMemory();
    const QString name = QString::fromStdString(session_.FileName());
    label_->setText(name.isEmpty() ? QStringLiteral("Die Sammlung ist gesperrt.")
                                   : QStringLiteral("Die Sammlung \"%1\" ist gesperrt.").arg(name));
    unlockButton_->setFocus();
}

bool TLockPane::UnlockWithPrompt() {
    if (!session_.Locked()) return true;
    for (int attempt = 1; attempt <= kPassphraseTries; ++attempt) {
        const auto typed = TWindowDecisions::AskUnlockPassword(session_.FileName(), attempt);
        if (!typed) return false;
        // In the form the document keeps it; a character a plain document cannot
        // hold can never match, and the empty text counts as wrong.
        auto password = session_.Format() == TDocumentSession::TFormat::Encrypted
                            ? typed->toStdString()
                            : FromQString(*typed).value_or(std::string());
        const bool opened = session_.Unlock(password, decisions_);
        if (!password.empty()) sodium_memzero(password.data(), password.size());
        if (opened) return true;
    }
    MessageService::Instance().Message(QString::fromUtf8(kMsgWrongPassword),
                                       QStringLiteral("Ungültiges Passwort"), MsgIcon::Error);
    return false;
}

}  // namespace dorvanta
