#pragma once
// The main window: tool bar, category list, entry list with its editor, status
// bar, and the file commands. It shows the document session it is given and
// refreshes itself from the session's signals.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "mainwindow/FieldEdit.h"
#include "platform/System.h"
#include "session/DocumentSession.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTableView;
class QToolButton;

namespace dorvanta {

class TEntryModel;
class TCategoryDialog;
class TSettingsDialog;
class TSearchDialog;
class TImportDialog;
class TAboutBox;
class TKeyListBox;
class TPageScroller;
class TSetup;
class TUpdateComponent;
class TSettingsStore;
class TSecretClipboard;
class TIdleWatch;
class TScreenLockWatcher;
class TWindowDecisions;

class TMainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Header band start colours: other groups, and the selected row's group.
    static const QColor kHeaderColors[2];
    static constexpr int kDesignClientWidth = 790;
    static constexpr int kDesignClientHeight = 327;
    static constexpr int kMinClientHeight = 329;
    static constexpr int kMinRightPart = 200;
    static constexpr int kMinListShrink = 100;
    static constexpr int kMinDragWidth = 30;  // the divider is not dragged closer

    // `arguments`: the command line after the program name.
    // `session`: the open collection, which outlives the window.
    explicit TMainWindow(TDocumentSession& session,
                         const QStringList& arguments = CommandLineArguments(),
                         QWidget* parent = nullptr);
    ~TMainWindow() override;
    // An uninstall or update-only start: the program ends without showing the window.
    bool ExitRequested() const;

    TDocumentSession& Session() { return session_; }

    // ---- The views' own refreshing, and the lists' selection ----
    bool QuerySave();
    void UpdtListBox(bool force, const std::string& newParent);
    void ListBox_KeysClick();
    void ListView_DataClick();
    // After the entries of sub-category `key` changed: its row shows them all again
    // (with "Daten zeigen..."), selection and scroll position unchanged.
    void UpdtKeyRow(int key);
    // The selected row of the category list (-1: none); setting it runs no handler.
    int SelectedKeyRow() const;
    void SelectKeyRow(int index);
    // The selected row of the entry list (-1: none); setting it runs the entry
    // list's selection handling.
    int SelectedEntryRow() const;
    void SelectEntryRow(int row);
    // Hides the search dialog if it is open.
    void CloseSearchDialog();
    // The open settings key, nothing when it could not be opened.
    TSettingsStore* SettingsKey() { return settings_.get(); }

    // ---- Start-up, settings and size rules (MainWindow.cpp) ----
    // The client area as the size rules and settings see it (below the menu bar).
    QSize ClientSize() const;
    void SetClientSize(const QSize& size);
    // The size rules for a requested window size (the client area plus the menu
    // bar): may change the request or the category list's width.
    void FormCanResize(int& newWidth, int& newHeight);
    int ListWidth() const { return listWidth_; }
    void SetListWidth(int width);
    int LineHeight() const { return lineHeight_; }
    int HeaderHeight() const { return lineHeight_ + 2; }

    // ---- Category list (MainWindowKeys.cpp) ----
    void SpeedButton_NewKeyClick();
    void SpeedButton_DelKeyClick();
    void ListBox_KeysDblClick();
    void MenuItem_ChangeKeyNameClick();
    void SpeedButton_ShowDataClick();
    int ListBox_KeysMeasureItem(int index) const;
    void ListBox_KeysDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;
    // Shortens a text to a pixel width, ending it in "...".
    static QString EllipsisText(const QString& text, const QFont& font, int maxWidth);
    int LastFillIndex() const { return lastFillIndex_; }

    // ---- Entry list and editor (MainWindowEntries.cpp) ----
    void Button_ApplyDataClick();
    void SpeedButton_NewDataClick();
    void SpeedButton_DeleteDataClick();
    void SpeedButton_CopyClick();
    void CopyField(int field);  // 0 title, 1 value, 2 info
    // How long a copied text stays on the clipboard while the clearing option is
    // on: the chosen delay until the next choice (shorter in tests).
    void SetClipboardClearDelay(int ms);
    // The delay chosen in "Zwischenablage leeren nach", in seconds; choosing one
    // renames the clearing option after it.
    int ClearClipboardSeconds() const;
    void SetClearClipboardSeconds(int seconds);
    // The one clipboard of the program, lent to the dialogs.
    TSecretClipboard& Clipboard() { return *clipboard_; }
    // "Datum des Eintrags: " with the date in the user's short date and long time format.
    static QString EntryDateHint(double date);

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
    bool StartLoading() const { return startLoading_; }
    void MenuItem_SearchClick();
    void EintrgefrUnterrubrikimportieren1Click();
    void MenuItem_SettingsClick();
    void MenuItem_InfoClick();

    // ---- The lock (MainWindowLock.cpp) ----
    // "Sperren"/"Entsperren" (Ctrl+L): locks a collection that has a password, or
    // asks for it to unlock.
    void MenuItem_LockClick();
    // Locks now, or as soon as a running open, save or search has ended; open
    // questions and dialogs are cancelled first. Nothing without a password.
    void RequestLock();
    // Asks the password, three tries; true when the collection is unlocked.
    bool UnlockWithPrompt();

    // ---- Controls (built in MainWindowBuild.cpp), named as the program refers to them ----
    QStackedWidget* Pages = nullptr;  // the client area, or the locked page
    QWidget* Panel_Locked = nullptr;
    QLabel* Label_Locked = nullptr;
    QPushButton* Button_Unlock = nullptr;
    QAction* MenuItem_Lock = nullptr;
    QAction* MenuItem_LockOnScreenLock = nullptr;  // "Beim Sperren des Bildschirms sperren"
    QMenu* Menu_LockAfter = nullptr;               // "Automatisch sperren nach"
    // Tells when the desktop locks the screen (the session's and logind's bus).
    TScreenLockWatcher* ScreenLock = nullptr;
    // The choice of Menu_LockAfter (0: never); another number gets an item of its own.
    int LockAfterMinutes() const;
    void SetLockAfterMinutes(int minutes);
    // The idle time before a lock in milliseconds, for tests (0: never).
    void SetIdleLockInterval(int ms);
    TPageScroller* PageScroller_Main = nullptr;
    QWidget* Panel_Main = nullptr;
    QToolButton* SpeedButton_New = nullptr;
    QToolButton* SpeedButton_Open = nullptr;
    QToolButton* SpeedButton_Save = nullptr;
    QToolButton* SpeedButton_NewKey = nullptr;
    QToolButton* SpeedButton_DelKey = nullptr;
    QToolButton* SpeedButton_ShowData = nullptr;
    QToolButton* SpeedButton_CompressView = nullptr;
    QToolButton* SpeedButton_Exit = nullptr;
    TKeyListBox* ListBox_Keys = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* Panel3 = nullptr;
    QWidget* Panel4 = nullptr;
    QTableView* ListView_Data = nullptr;
    TEntryModel* EntryModel = nullptr;
    TFieldEdit* Edit_DataName = nullptr;
    TFieldEdit* Edit_Value = nullptr;
    TFieldEdit* Edit_Info = nullptr;
    QPushButton* Button_ApplyData = nullptr;
    QToolButton* SpeedButton_NewData = nullptr;
    QToolButton* SpeedButton_DeleteData = nullptr;
    QToolButton* SpeedButton_Copy = nullptr;
    QMenu* PopupMenu_Clipboard = nullptr;
    QMenu* PopupMenu_Key = nullptr;
    QAction* MenuItem_ChangeKeyName = nullptr;
    QAction* MenuItem_New = nullptr;
    QAction* MenuItem_Open = nullptr;
    QAction* MenuItem_Save = nullptr;
    QAction* MenuItem_SaveUnder = nullptr;
    QAction* MenuItem_Exit = nullptr;
    QAction* MenuItem_Search = nullptr;
    QAction* MenuItem_Import = nullptr;
    QAction* MenuItem_Password = nullptr;
    QAction* MenuItem_ClearClipboard = nullptr;
    QMenu* Menu_ClearClipboardDelay = nullptr;  // "Zwischenablage leeren nach"
    QAction* MenuItem_BackupOnSave = nullptr;   // "Sicherungskopie beim Speichern"
    QAction* MenuItem_Settings = nullptr;
    QAction* MenuItem_Info = nullptr;
    TCategoryDialog* CategoryDialog = nullptr;  // category dialog
    TSettingsDialog* SettingsDialog = nullptr;  // settings
    TSearchDialog* SearchDialog = nullptr;      // search
    TAboutBox* AboutBox = nullptr;
    TImportDialog* ImportDialog = nullptr;  // import
    TSetup* Setup = nullptr;
    TUpdateComponent* UpdateComponent = nullptr;

    // The width a tool button's style leaves for its caption, which it elides past that.
    static int ToolButtonTextSpace(const QToolButton* button);

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Construction (MainWindowBuild.cpp).
    void BuildToolBar();
    // Widens a tool button whose caption the font makes too wide for it.
    void LayoutToolBar();
    void BuildMenus();
    void BuildClipboardOptions(QMenu* options);
    void BuildClientArea();
    void BuildLockPage(QWidget* clientArea);
    void BuildLockOptions(QMenu* options);
    void BuildEntryList();
    void BuildEditorStrip();
    // The Delete key, while `list` has the focus, runs `handler`.
    void OnDeleteKey(QWidget* list, std::function<void()> handler);
    void LayoutEditorStrip();
    void SizeEntryColumns();
    // Start-up, settings and size rules (MainWindow.cpp).
    void FormCreate();
    void ReadSettings();
    void FormShow();
    void FormDestroy();
    void UpdateMinimumSize();
    void Splitter1Moved();
    int MenuHeight() const;
    // Category list (MainWindowKeys.cpp).
    void ClearKeyRows();
    // Entry list and editor (MainWindowEntries.cpp).
    // The whole text of a field of an entry (0 title, 1 value, 2 info), and of the
    // entry list's current cell while its row is selected: the list shows only the
    // beginning of a long one.
    std::optional<QString> EntryFieldText(int row, int field) const;
    std::optional<QString> CurrentEntryText() const;
    // The clipboard's settings; reading gives a safe default for an edited value.
    void ReadClipboardSettings();
    void WriteClipboardSettings();
    // The name of the selected sub-category (MainWindowKeys.cpp).
    std::optional<QString> SelectedKeyName() const;
    void ListView_DataMouseMove(const QPoint& pos);
    void Edit_DatasKeyPress();
    // The session's signals (MainWindowFiles.cpp, MainWindowKeys.cpp, MainWindowEntries.cpp).
    void ConnectSession();
    void DocumentReset();
    void DocumentLoaded();
    void FileNameChanged(const QString& fileName);
    void KeysChanged(int select, const std::string& newParent);
    void EntriesChanged(int key, TDocumentSession::TEntryChange change, int row);
    // "Dorvanta - [PATH]", with " (gesperrt)" while locked.
    void UpdateCaption();
    // The lock (MainWindowLock.cpp).
    void CloseModalDialogs();
    void DropTexts();
    void ShowLocked(bool locked);
    void LockIfPending();
    bool lockPending_ = false;
    TIdleWatch* idleWatch_ = nullptr;
    void ReadLockSettings();
    void WriteLockSettings();
    int lockedEntryRow_ = -1;
    int lockedTopIndex_ = 0;
    TDocument& Doc() { return session_.Document(); }
    const TDocument& Doc() const { return session_.Document(); }

    TDocumentSession& session_;
    // The session's questions, asked through the message service.
    std::unique_ptr<TWindowDecisions> decisions_;
    // Parent and name of the selected category-list row as they were when it was
    // added: they find the selected sub-category again after a refill. Only the
    // selected row's are ever read, and the keys change only right before a refill,
    // so they are taken when a row becomes selected rather than kept for every row.
    struct TSelectedRow {
        int row = -1;
        TSharedText parent;  // the key's shared text, not a copy
        std::string name;
    } selectedRow_;
    void KeyRowSelected(int row);
    std::unique_ptr<TSettingsStore> settings_;  // open from creation to destruction
    // Destroyed after the window's closing work; takes our text off the clipboard.
    std::unique_ptr<TSecretClipboard> clipboard_;
    int lineHeight_ = 0;
    int lastFillIndex_ = -1;
    int listWidth_ = 217;  // the divider's left edge, as the size rules see it
    bool dividerDragged_ = false;
    bool shown_ = false;
    bool uninstallRun_ = false;
    // A collection named on the command line ("dorvanta PATH"), opened at start in
    // place of the settings' start file.
    QString startFile_;
    bool startLoading_ = false;
    // Opens the start file once the window has been painted.
    void OpenStartFile(const QString& path);
};

}  // namespace dorvanta
