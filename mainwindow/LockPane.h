#pragma once
// The lock: the page a locked window shows (the file's name and "Entsperren")
// in place of the collection, the unlock prompt, and what locks by itself (the
// desktop's screen lock, a time without input). Its options sit in the frame's
// "Optionen" menu.

#include <QStackedWidget>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace dorvanta {

class TDocumentSession;
class TIdleWatch;
class TScreenLockWatcher;
class TSessionDecisions;
class TSettingsStore;

// What else runs in the window that a lock has to wait for.
class TLockHost {
  public:
    virtual ~TLockHost() = default;
    // The start file is still being read.
    virtual bool StartLoading() const = 0;
    virtual bool Searching() const = 0;
    virtual void StopSearch() = 0;
};

class TLockPane : public QStackedWidget {
    Q_OBJECT
  public:
    TLockPane(TDocumentSession& session, TSessionDecisions& decisions, TLockHost& host,
              QWidget* parent = nullptr);
    // A lock still waiting cancels no more questions.
    ~TLockPane() override;

    // The page shown while unlocked: the collection's panes.
    void SetUnlockedPage(QWidget* page);
    // Adds "Sperren" and the automatic locks to the options menu.
    void AddOptions(QMenu* options);

    // "Sperren"/"Entsperren" (Ctrl+L): locks a collection that has a password, or
    // asks for it to unlock.
    void MenuItem_LockClick();
    // Locks now, or as soon as a running open, save or search has ended; open
    // questions and dialogs are cancelled first. Nothing without a password.
    void RequestLock();
    // The lock asked for while something ran, once that has ended.
    void LockIfPending();
    // Asks the password, three tries; true when the collection is unlocked.
    bool UnlockWithPrompt();

    // The choice of "Automatisch sperren nach" (0: never); another number gets an
    // item of its own.
    int LockAfterMinutes() const;
    void SetLockAfterMinutes(int minutes);
    // The idle time before a lock in milliseconds, for tests (0: never).
    void SetIdleLockInterval(int ms);
    void ReadSettings(TSettingsStore& settings);
    void WriteSettings(TSettingsStore& settings) const;

    // ---- Controls, for the frame's menus and for tests ----
    QWidget* LockedPage() const { return page_; }
    QLabel* LockedLabel() const { return label_; }
    QPushButton* UnlockButton() const { return unlockButton_; }
    QAction* LockAction() const { return lockAction_; }
    QAction* LockOnScreenLockAction() const { return lockOnScreenLock_; }
    QMenu* LockAfterMenu() const { return lockAfter_; }
    // Tells when the desktop locks the screen (the session's and logind's bus).
    TScreenLockWatcher* ScreenLock() const { return screenLock_; }

  private:
    void CloseModalDialogs();
    // A lock waits for what runs; meanwhile every question is cancelled.
    void SetPending(bool pending);
    void ShowLocked(bool locked);

    TDocumentSession& session_;
    TSessionDecisions& decisions_;
    TLockHost& host_;
    QWidget* page_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* unlockButton_ = nullptr;
    QAction* lockAction_ = nullptr;
    QAction* lockOnScreenLock_ = nullptr;  // "Beim Sperren des Bildschirms sperren"
    QMenu* lockAfter_ = nullptr;           // "Automatisch sperren nach"
    TScreenLockWatcher* screenLock_ = nullptr;
    TIdleWatch* idleWatch_ = nullptr;
    bool lockPending_ = false;
};

}  // namespace dorvanta
