#pragma once
// The main window's frame: menus, tool bar, status bar, the size and position
// rules, the settings, and the file commands it hands to the document session.
// The collection itself is shown by the panes it holds: the category pane, the
// entry pane and the lock, each refreshing itself from the session's signals.

#include <QMainWindow>
#include <memory>

#include "mainwindow/LockPane.h"
#include "platform/System.h"
#include "session/DocumentSession.h"

class QAction;
class QMenu;
class QSplitter;
class QToolButton;

namespace dorvanta {

class TCategoryPane;
class TClipboardOptions;
class TDialogCommands;
class TEntryPane;
class TSecretClipboard;
class TSettingsStore;
class TSetup;
class TToolBar;
class TUpdateComponent;
class TWindowDecisions;

class TMainWindow : public QMainWindow, private TLockHost {
    Q_OBJECT
  public:
    // `arguments`: the command line after the program name.
    // `session`: the open collection, which outlives the window.
    explicit TMainWindow(TDocumentSession& session,
                         const QStringList& arguments = CommandLineArguments(),
                         QWidget* parent = nullptr);
    ~TMainWindow() override;
    // An uninstall or update-only start: the program ends without showing the window.
    bool ExitRequested() const;

    TDocumentSession& Session() { return session_; }
    TCategoryPane& CategoryPane() const { return *categoryPane_; }
    TEntryPane& EntryPane() const { return *entryPane_; }
    TLockPane& LockPane() const { return *lockPane_; }
    // Search, import, settings and info.
    TDialogCommands& Dialogs() const { return *dialogs_; }
    TClipboardOptions& ClipboardOptions() const { return *clipboardOptions_; }
    // The one clipboard of the program, lent to the panes and dialogs.
    TSecretClipboard& Clipboard() const;
    TSetup* Setup() const { return setup_; }

    // Asks whether to save unsaved changes; false when the pending action must not go on.
    bool QuerySave();
    // The desktop session ends (logout, shutdown, SIGTERM): the window closes as
    // its close box closes it, but where nobody can answer (`canAsk` false) or the
    // collection is locked, unsaved changes go into the recovery file instead of
    // a question. True when the window closed.
    bool EndOfSession(bool canAsk);
    // The open settings key, nothing when it could not be opened.
    TSettingsStore* SettingsKey() { return settings_.get(); }

    // ---- Size rules (MainWindow.cpp) ----
    // The client area as the size rules and settings see it (below the menu bar).
    QSize ClientSize() const;
    void SetClientSize(const QSize& size);
    // The size rules for a requested window size (the client area plus the menu
    // bar): may change the request or the category list's width.
    void FormCanResize(int& newWidth, int& newHeight);
    int ListWidth() const { return listWidth_; }
    void SetListWidth(int width);

    // ---- File commands (MainWindowFiles.cpp) ----
    void MenuItem_NewClick();
    void MenuItem_OpenClick();
    // True when the file was written.
    bool MenuItem_SaveClick();
    bool MenuItem_SaveUnderClick();
    void MenuItem_PasswordClick();
    // Opens a file as Open does after its dialog and question (also the start-up load).
    // `background`: the start-up load, read on a worker thread while the window,
    // already painted, keeps painting under the wait cursor; its questions are
    // still asked by this window.
    void OpenFile(const QString& path, bool background = false);
    // True while the start file is being read.
    bool StartLoading() const override { return startLoading_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The lock waits for a running search.
    bool Searching() const override;
    void StopSearch() override;
    // Construction (MainWindowBuild.cpp).
    void ConnectToolBar();
    void BuildMenus();
    void BuildClientArea();
    // Start-up, settings and size rules (MainWindow.cpp).
    void FormCreate();
    void ReadSettings();
    void FormShow();
    void FormDestroy();
    void UpdateMinimumSize();
    void Splitter1Moved();
    int MenuHeight() const;
    // Opens the start file once the window has been painted.
    void OpenStartFile(const QString& path);
    // At start: offers the unsaved changes of an untitled collection kept at a
    // logout, unless the document has changes of its own (MainWindowFiles.cpp).
    void OfferUntitledRecovery();
    // The session's news for the frame (MainWindowFiles.cpp).
    void ConnectSession();
    void ShowLocked(bool locked);
    // "Dorvanta - [PATH]", with " (gesperrt)" while locked.
    void UpdateCaption();

    TDocumentSession& session_;
    // The session's questions, asked through the message service.
    std::unique_ptr<TWindowDecisions> decisions_;
    std::unique_ptr<TSettingsStore> settings_;  // open from creation to destruction
    // Destroyed after the window's closing work; takes our text off the clipboard.
    std::unique_ptr<TClipboardOptions> clipboardOptions_;
    std::unique_ptr<TDialogCommands> dialogs_;
    TLockPane* lockPane_ = nullptr;
    TCategoryPane* categoryPane_ = nullptr;
    TEntryPane* entryPane_ = nullptr;
    TToolBar* toolBar_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QAction* backupOnSave_ = nullptr;  // "Sicherungskopie beim Speichern"
    TSetup* setup_ = nullptr;
    TUpdateComponent* updateComponent_ = nullptr;
    int listWidth_ = 217;  // the divider's left edge, as the size rules see it
    bool dividerDragged_ = false;
    bool shown_ = false;
    bool uninstallRun_ = false;
    // A collection named on the command line ("dorvanta PATH"), opened at start in
    // place of the settings' start file.
    QString startFile_;
    bool startLoading_ = false;
    // The desktop session has ended: the window closes without a question.
    bool sessionEnded_ = false;
};

}  // namespace dorvanta
