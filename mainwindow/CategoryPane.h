#pragma once
// The category list: the owner-drawn rows of the sub-categories with the header
// band of each parent, the selection, and the commands on sub-categories and
// parents (new, edit, rename, delete). It refreshes itself from the session's
// signals; choosing a row tells the session which sub-category is shown.

#include <QWidget>
#include <optional>
#include <string>

#include "session/DocumentSession.h"
#include "store/SharedText.h"

class QAction;
class QMenu;

namespace dorvanta {

class TCategoryDialog;
class TKeyListBox;
class TSecretClipboard;
class TSettingsStore;

class TCategoryPane : public QWidget {
    Q_OBJECT
  public:
    // Header band start colours: other groups, and the selected row's group.
    static const QColor kHeaderColors[2];
    static constexpr int kMinDragWidth = 30;  // the divider is not dragged closer

    TCategoryPane(TDocumentSession& session, TSecretClipboard& clipboard,
                  QWidget* parent = nullptr);
    ~TCategoryPane() override;

    // ---- Filling and selection ----
    void UpdtListBox(bool force, const std::string& newParent);
    // After the entries of sub-category `key` changed: its row shows them all again
    // (with "Daten zeigen..."), selection and scroll position unchanged.
    void UpdtKeyRow(int key);
    // The selected row (-1: none); setting it runs no handler.
    int SelectedKeyRow() const;
    void SelectKeyRow(int index);
    int LastFillIndex() const { return lastFillIndex_; }
    // The rows' line height, taken from the font once the window is shown.
    void UpdateLineHeight();
    int LineHeight() const { return lineHeight_; }
    int HeaderHeight() const { return lineHeight_ + 2; }

    // ---- Commands ----
    void ListBox_KeysClick();
    void ListBox_KeysDblClick();
    void SpeedButton_NewKeyClick();
    void SpeedButton_DelKeyClick();
    void MenuItem_ChangeKeyNameClick();
    void SpeedButton_ShowDataClick();

    // ---- Drawing ----
    int ListBox_KeysMeasureItem(int index) const;
    void ListBox_KeysDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;
    // Shortens a text to a pixel width, ending it in "...".
    static QString EllipsisText(const QString& text, const QFont& font, int maxWidth);
    // What a screen reader reads for a row: "Oberrubrik – Unterrubrik".
    QString ItemText(int index) const;

    // ---- The view options "Daten zeigen..." and "Ansicht filtern" ----
    bool ShowData() const;
    bool CompressView() const;
    void ReadSettings(TSettingsStore& settings);
    void WriteSettings(TSettingsStore& settings) const;

    // ---- Controls, for the frame's tool bar and menus and for tests ----
    TKeyListBox* List() const { return list_; }
    TCategoryDialog* Dialog() const { return dialog_; }
    QMenu* ContextMenu() const { return popupMenu_; }
    // "Neue Rubrik", "Rubrik löschen", and the two checkable view options.
    QAction* NewKeyAction() const { return newKey_; }
    QAction* DeleteKeyAction() const { return delKey_; }
    QAction* ShowDataAction() const { return showData_; }
    QAction* CompressViewAction() const { return compressView_; }

  signals:
    // A change is about to be made; the frame closes the search dialog, whose
    // hits would point into the changed document.
    void EditStarting();

  private:
    void BuildActions();
    void ConnectSession();
    void KeyRowSelected(int row);
    void KeysChanged(int select, const std::string& newParent);
    void EntriesChanged(int key, TDocumentSession::TEntryChange change);
    void LockedChanged(bool locked);
    std::optional<QString> SelectedKeyName() const;
    // Every row goes, and the copy of the selected row's name is overwritten.
    void DropTexts();
    const TDocument& Doc() const { return session_.Document(); }

    TDocumentSession& session_;
    TKeyListBox* list_ = nullptr;
    TCategoryDialog* dialog_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    QAction* changeKeyName_ = nullptr;
    QAction* newKey_ = nullptr;
    QAction* delKey_ = nullptr;
    QAction* showData_ = nullptr;
    QAction* compressView_ = nullptr;
    // Parent and name of the selected row as they were when it was added: they find
    // the selected sub-category again after a refill. Only the selected row's are
    // ever read, and the keys change only right before a refill, so they are taken
    // when a row becomes selected rather than kept for every row.
    struct TSelectedRow {
        int row = -1;
        TSharedText parent;  // the key's shared text, not a copy
        std::string name;
    } selectedRow_;
    int lineHeight_ = 0;
    int lastFillIndex_ = -1;
    int lockedTopIndex_ = 0;  // the scroll position to return to after a lock
};

}  // namespace dorvanta
