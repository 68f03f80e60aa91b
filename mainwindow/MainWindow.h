#pragma once
// The main window's frame: menus, tool bar, status bar, the size and position
// rules, the settings, and the file commands it hands to the document session.
// The collection itself is shown by the panes it holds: the category pane, the
// entry pane and the lock, each refreshing itself from the session's signals.

#include <QMainWindow>
#include <array>
#include <memory>

#include "mainwindow/LockPane.h"
#include "platform/System.h"
#include "session/DocumentSession.h"

class QAction;
class QMenu;
class QSplitter;
class QToolButton;

namespace dorvanta {

class TAboutBox;
class TCategoryPane;
class TEntryPane;
class TImportDialog;
class TSearchDialog;
class TSecretClipboard;
class TSettingsDialog;
class TSettingsStore;
class TSetup;
class TUpdateComponent;
class TWindowDecisions;

class TMainWindow : public QMainWindow, private TLockHost {
    Q_OBJECT
  public:
    static constexpr int kDesignClientWidth = 790;
    static constexpr int kDesignClientHeight = 327;
    static constexpr int kMinClientHeight = 329;
    static constexpr int kMinRightPart = 200;
    static constexpr int kMinListShrink = 100;

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
    // The dialogs, created once and hidden between uses.
    TSearchDialog* SearchDialog() const { return searchDialog_; }
    TSettingsDialog* SettingsDialog() const { return settingsDialog_; }
    TImportDialog* ImportDialog() const { return importDialog_; }
    TAboutBox* AboutBox() const { return aboutBox_; }
    TSetup* Setup() const { return setup_; }

    // Asks whether to save unsaved changes; false when the pending action must not go on.
    bool QuerySave();
    // Hides the search dialog if it is open.
    void CloseSearchDialog();
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
    // The width a tool button's style leaves for its caption, which it elides past that.
    static int ToolButtonTextSpace(const QToolButton* button);

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
    void MenuItem_SearchClick();
    void EintrgefrUnterrubrikimportieren1Click();
    void MenuItem_SettingsClick();
    void MenuItem_InfoClick();

    // ---- The clipboard (MainWindowFiles.cpp) ----
    // The one clipboard of the program, lent to the panes and dialogs.
    TSecretClipboard& Clipboard() { return *clipboard_; }
    // How long a copied text stays on the clipboard while the clearing option is
    // on: the chosen delay until the next choice (shorter in tests).
    void SetClipboardClearDelay(int ms);
    // The delay chosen in "Zwischenablage leeren nach", in seconds; choosing one
    // renames the clearing option after it.
    int ClearClipboardSeconds() const;
    void SetClearClipboardSeconds(int seconds);

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The lock waits for a running search.
    bool Searching() const override;
    void StopSearch() override;
    // Construction (MainWindowBuild.cpp).
    void BuildToolBar();
    // Widens a tool button whose caption the font makes too wide for it.
    void LayoutToolBar();
    void BuildMenus();
    void BuildClipboardOptions(QMenu* options);
    void BuildClientArea();
    // Start-up, settings and size rules (MainWindow.cpp).
    void FormCreate();
    void ReadSettings();
    void FormShow();
    void FormDestroy();
    void UpdateMinimumSize();
    void SetListMinimumWidth(int width);
    void Splitter1Moved();
    int MenuHeight() const;
    // Opens the start file once the window has been painted.
    void OpenStartFile(const QString& path);
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
    std::unique_ptr<TSecretClipboard> clipboard_;
    TLockPane* lockPane_ = nullptr;
    TCategoryPane* categoryPane_ = nullptr;
    TEntryPane* entryPane_ = nullptr;
    QWidget* toolBar_ = nullptr;  // the row of tool buttons, in a scroller
    std::array<QToolButton*, 8> toolButtons_{};
    QSplitter* splitter_ = nullptr;
    QAction* clearClipboard_ = nullptr;
    QMenu* clearClipboardDelay_ = nullptr;  // "Zwischenablage leeren nach"
    QAction* backupOnSave_ = nullptr;       // "Sicherungskopie beim Speichern"
    TSettingsDialog* settingsDialog_ = nullptr;
    TSearchDialog* searchDialog_ = nullptr;
    TAboutBox* aboutBox_ = nullptr;
    TImportDialog* importDialog_ = nullptr;
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
};

}  // namespace dorvanta
