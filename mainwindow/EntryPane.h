#pragma once
// The entries of the shown sub-category: the entry list, the buttons beside it
// (new, delete, copy), and the editor strip below it (Name, Wert, Info and
// "Erstellen"/"Ändern"). It fills itself with the sub-category the session
// shows and refreshes itself from the session's signals.

#include <QWidget>
#include <optional>

#include "mainwindow/FieldEdit.h"
#include "session/DocumentSession.h"

class QAction;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;

namespace dorvanta {

class TEntryModel;
class TSecretClipboard;

class TEntryPane : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMinWidth = 192;

    TEntryPane(TDocumentSession& session, TSecretClipboard& clipboard, QWidget* parent = nullptr);

    // ---- The entry list ----
    // The selected row (-1: none); setting it runs the list's selection handling.
    int SelectedEntryRow() const;
    void SelectEntryRow(int row);
    void ListView_DataClick();
    // "Datum des Eintrags: " with the date in the user's short date and long time format.
    static QString EntryDateHint(double date);

    // ---- Commands ----
    void Button_ApplyDataClick();
    // Empties the editor for a new entry and puts the cursor into Name.
    void SpeedButton_NewDataClick();
    void SpeedButton_DeleteDataClick();
    void SpeedButton_CopyClick();
    void CopyField(int field);  // 0 title, 1 value, 2 info
    // "Neuer Eintrag", with its shortcut, for the frame's menu.
    QAction* NewEntryAction() const { return newEntry_; }

    // ---- Controls, for tests ----
    QTableView* List() const { return list_; }
    TEntryModel* Model() const { return model_; }
    TFieldEdit* NameEdit() const { return editName_; }
    TFieldEdit* ValueEdit() const { return editValue_; }
    TFieldEdit* InfoEdit() const { return editInfo_; }
    QPushButton* ApplyButton() const { return applyButton_; }
    QToolButton* NewButton() const { return newButton_; }
    QToolButton* DeleteButton() const { return deleteButton_; }
    QToolButton* CopyButton() const { return copyButton_; }
    QMenu* CopyMenu() const { return copyMenu_; }

  signals:
    // A change is about to be made; the frame closes the search dialog.
    void EditStarting();
    // A text for the status bar; empty: clear it.
    void StatusText(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Construction (EntryPaneBuild.cpp).
    void BuildList(TSecretClipboard& clipboard);
    void BuildButtons(QWidget* column);
    QWidget* BuildEditorStrip(TSecretClipboard& clipboard);
    void LayoutEditorStrip();
    void SizeColumns();
    void ConnectSession();
    // The session's news.
    void KeyShown(int key);
    void EntriesChanged(TDocumentSession::TEntryChange change, int row);
    void DropTexts();
    // The lock seals an edit not yet stored and gives it back.
    void HandOverDraft();
    void TakeBackDraft();
    void Edit_DatasKeyPress();
    void ListView_DataMouseMove(const QPoint& pos);
    // The whole text of a field of an entry (0 title, 1 value, 2 info), and of the
    // list's current cell while its row is selected: the list shows only the
    // beginning of a long one.
    std::optional<QString> EntryFieldText(int row, int field) const;
    std::optional<QString> CurrentEntryText() const;
    void ShowEntry(int row);
    const TDocument& Doc() const { return session_.Document(); }

    TDocumentSession& session_;
    TSecretClipboard& clipboard_;
    QTableView* list_ = nullptr;
    TEntryModel* model_ = nullptr;
    QWidget* editorStrip_ = nullptr;
    TFieldEdit* editName_ = nullptr;
    TFieldEdit* editValue_ = nullptr;
    TFieldEdit* editInfo_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QToolButton* newButton_ = nullptr;
    QToolButton* deleteButton_ = nullptr;
    QToolButton* copyButton_ = nullptr;
    QMenu* copyMenu_ = nullptr;
    QAction* newEntry_ = nullptr;
    int lockedRow_ = -1;  // the selected row to return to after a lock
};

}  // namespace dorvanta
