// The category list: building, filling, selection and the commands.
#include "mainwindow/CategoryPane.h"

#include <sodium.h>

#include <QAction>
#include <QMenu>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "dialogs/CategoryDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"

namespace dorvanta {

using namespace mainwindow;

TCategoryPane::TCategoryPane(TDocumentSession& session, TSecretClipboard& clipboard,
                             QWidget* parent)
    : QWidget(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new TKeyListBox(this);
    list_->setObjectName(QStringLiteral("ListBox_Keys"));
    list_->setAccessibleName(QStringLiteral("Rubriken"));
    layout->addWidget(list_);
    setFocusProxy(list_);
    setMinimumWidth(kMinDragWidth);
    list_->SetDrawItem([this](QPainter& p, int i, const QRect& r, bool selected) {
        ListBox_KeysDrawItem(p, i, r, selected);
    });
    list_->SetItemText([this](int i) { return ItemText(i); });
    connect(list_, &TKeyListBox::ItemIndexChanged, this,
            Guarded([this](int row) { KeyRowSelected(row); }));
    connect(list_, &TKeyListBox::Clicked, this, Guarded([this] { ListBox_KeysClick(); }));
    connect(list_, &TKeyListBox::DoubleClicked, this, Guarded([this] { ListBox_KeysDblClick(); }));
    clipboard.RouteCopies(list_, [this] { return SelectedKeyName(); });
    BuildActions();
    dialog_ = new TCategoryDialog(this, session_);
    ConnectSession();
}

TCategoryPane::~TCategoryPane() = default;

void TCategoryPane::BuildActions() {
    newKey_ = new QAction(QStringLiteral("Neue &Rubrik..."), this);
    newKey_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    newKey_->setStatusTip(QStringLiteral("Erstellt eine neue Rubrik"));
    connect(newKey_, &QAction::triggered, this, Guarded([this] { SpeedButton_NewKeyClick(); }));
    delKey_ = new QAction(QStringLiteral("Rubrik &löschen"), this);
    delKey_->setEnabled(false);
    connect(delKey_, &QAction::triggered, this, Guarded([this] { SpeedButton_DelKeyClick(); }));
    showData_ = new QAction(QStringLiteral("&Daten zeigen..."), this);
    compressView_ = new QAction(QStringLiteral("Ansicht &filtern"), this);
    for (QAction* option : {showData_, compressView_}) {
        option->setCheckable(true);
        connect(option, &QAction::triggered, this,
                Guarded([this] { SpeedButton_ShowDataClick(); }));
    }
    // In the list, Insert creates and Delete deletes; in a field they stay the
    // field's keys, so these work only while the list has the focus.
    const auto listKey = [this](QKeyCombination key, QAction* action) {
        auto* shortcut =
            new QShortcut(QKeySequence(key), list_, nullptr, nullptr, Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, Guarded([action] {
                    if (action->isEnabled()) action->trigger();
                }));
    };
    listKey(QKeyCombination(Qt::Key_Insert), newKey_);
    listKey(QKeyCombination(Qt::Key_Delete), delKey_);

    popupMenu_ = new QMenu(this);
    changeKeyName_ = popupMenu_->addAction(QStringLiteral("&Rubriknamen ändern"), this,
                                           [this] { MenuItem_ChangeKeyNameClick(); });
    connect(list_, &TKeyListBox::ContextMenuRequested, this, Guarded([this](const QPoint& pos) {
                // The rename item is there only with a selection; a menu without a visible
                // item is not opened at all (it would swallow the next click).
                changeKeyName_->setVisible(list_->ItemIndex() >= 0);
                if (changeKeyName_->isVisible()) popupMenu_->popup(pos);
            }));
}

void TCategoryPane::ConnectSession() {
    connect(&session_, &TDocumentSession::AboutToReplaceDocument, this, [this] {
        list_->SetItemIndex(-1);
        DropTexts();
    });
    connect(&session_, &TDocumentSession::DocumentReset, this, [this] {
        list_->Clear();
        ListBox_KeysClick();
    });
    connect(&session_, &TDocumentSession::DocumentLoaded, this, [this] {
        ListBox_KeysClick();
        UpdtListBox(false, {});
    });
    connect(&session_, &TDocumentSession::KeysChanged, this, &TCategoryPane::KeysChanged);
    connect(
        &session_, &TDocumentSession::EntriesChanged, this,
        [this](int key, TDocumentSession::TEntryChange change) { EntriesChanged(key, change); });
    connect(&session_, &TDocumentSession::AboutToLock, this, [this] {
        lockedTopIndex_ = list_->TopIndex();
        DropTexts();
    });
    connect(&session_, &TDocumentSession::LockedChanged, this, &TCategoryPane::LockedChanged);
    connect(&session_, &TDocumentSession::ShowRequested, this, [this](int key) {
        SelectKeyRow(key);
        ListBox_KeysClick();
    });
}

void TCategoryPane::DropTexts() {
    list_->Clear();
    dialog_->Forget();
    if (!selectedRow_.name.empty()) {
        sodium_memzero(selectedRow_.name.data(), selectedRow_.name.size());
    }
    selectedRow_ = {};
}

void TCategoryPane::LockedChanged(bool locked) {
    if (locked) return;
    // Back as it was: the rows, the selection and the scroll position; the entry
    // list follows the shown sub-category.
    const int row = session_.SelectedKeyRow();
    UpdtListBox(true, {});
    SelectKeyRow(row);
    ListBox_KeysClick();
    list_->SetTopIndex(lockedTopIndex_);
    list_->setFocus();
}

// ---------------------------------------------------------------- filling and selection

void TCategoryPane::UpdtListBox(bool force, const std::string& newParent) {
    const auto& keys = Doc().Keys;
    const int selected = list_->ItemIndex();
    TSharedText p0;
    std::string n0;
    if (selected >= 0 && selectedRow_.row == selected) {
        p0 = selectedRow_.parent;
        n0 = selectedRow_.name;
    }
    if (!force && lastFillIndex_ != -1 && lastFillIndex_ < static_cast<int>(keys.size()) &&
        selected >= 0 && selected < static_cast<int>(keys.size()) &&
        keys[lastFillIndex_].Parent == keys[selected].Parent) {
        return;
    }
    lastFillIndex_ = selected;
    list_->Clear();
    list_->Reserve(static_cast<int>(keys.size()));
    // Every added row changes the scroll range, which the list's frame answers with
    // a queued call: one per row would hold a message per key until the event loop
    // runs. The frame hears of the final range once. (Rows are only added here, so
    // the scroll position cannot move while the bar is quiet.)
    QScrollBar* bar = list_->verticalScrollBar();
    const int emptyMaximum = bar->maximum();
    QSignalBlocker quiet(bar);
    for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
        list_->AddRow(ListBox_KeysMeasureItem(i));
    }
    quiet.unblock();
    if (bar->maximum() != emptyMaximum) emit bar->rangeChanged(bar->minimum(), bar->maximum());
    if (lastFillIndex_ >= 0) {
        int match = -1;
        for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
            if (keys[i].Name == n0 && (keys[i].Parent == newParent || keys[i].Parent == p0))
                match = i;
        }
        list_->SetItemIndex(match);
    }
}

void TCategoryPane::KeyRowSelected(int row) {
    const auto& keys = Doc().Keys;
    if (row >= 0 && row < static_cast<int>(keys.size())) {
        selectedRow_ = {row, keys[row].Parent, keys[row].Name};
    } else {
        selectedRow_ = {};
    }
    session_.SetSelectedKeyRow(row);
}

void TCategoryPane::KeysChanged(int select, const std::string& newParent) {
    UpdtListBox(true, newParent);
    if (select >= 0) SelectKeyRow(select);
}

void TCategoryPane::EntriesChanged(int key, TDocumentSession::TEntryChange change) {
    using TChange = TDocumentSession::TEntryChange;
    if ((change == TChange::Added || change == TChange::Updated) && ShowData()) {
        UpdtListBox(false, {});
    }
    UpdtKeyRow(key);
}

int TCategoryPane::SelectedKeyRow() const {
    return list_->ItemIndex();
}

void TCategoryPane::SelectKeyRow(int index) {
    list_->SetItemIndex(index);
}

std::optional<QString> TCategoryPane::SelectedKeyName() const {
    const int selected = list_->ItemIndex();
    if (selected < 0 || selected >= static_cast<int>(Doc().Keys.size())) return std::nullopt;
    return ToQString(Doc().Keys[selected].Name);
}

void TCategoryPane::UpdtKeyRow(int key) {
    if (key >= 0 && key < list_->Count() && key < static_cast<int>(Doc().Keys.size())) {
        list_->SetRowHeight(key, ListBox_KeysMeasureItem(key));
    }
    list_->viewport()->update();
}

void TCategoryPane::UpdateLineHeight() {
    lineHeight_ = QFontMetrics(font()).height() + 1;
}

// ---------------------------------------------------------------- commands

void TCategoryPane::ListBox_KeysClick() {
    if (CompressView()) {
        const int top = list_->TopIndex();
        UpdtListBox(false, {});
        list_->SetTopIndex(top);
    }
    const int selected = list_->ItemIndex();
    const bool has = selected >= 0 && selected < static_cast<int>(Doc().Keys.size());
    delKey_->setEnabled(has);
    // The entry pane fills itself with the shown sub-category's entries.
    session_.SetShownKey(has ? selected : -1);
    list_->viewport()->update();
}

void TCategoryPane::SpeedButton_NewKeyClick() {
    emit EditStarting();
    dialog_->Tag = -1;
    dialog_->ParentFrom = list_->ItemIndex();
    dialog_->exec();
    dialog_->ParentFrom = -1;
    ListBox_KeysClick();
}

void TCategoryPane::ListBox_KeysDblClick() {
    if (list_->ItemIndex() < 0) return;
    dialog_->Tag = list_->ItemIndex();
    // The search dialog stays open; a change empties its hits (KeysChanged).
    dialog_->exec();
    ListBox_KeysClick();
}

void TCategoryPane::SpeedButton_DelKeyClick() {
    const int selected = list_->ItemIndex();
    if (selected < 0) return;
    emit EditStarting();
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll die markierte Rubrik wirklich gelöscht werden?"))) {
        return;
    }
    session_.DeleteKey(selected);
    ListBox_KeysClick();
}

void TCategoryPane::MenuItem_ChangeKeyNameClick() {
    const int selected = list_->ItemIndex();
    if (selected < 0 || selected >= static_cast<int>(Doc().Keys.size())) return;
    const std::string old = Doc().Keys[selected].Parent;
    const auto answer = MessageService::Instance().InputText(
        QStringLiteral("Neuer Rubrikname"), QStringLiteral("Geben Sie den neuen Rubriknamen ein."),
        ToQString(old), 0, false);
    if (!answer) return;
    const auto parent = FromQString(*answer);
    if (!parent) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return;
    }
    if (*parent == old) return;
    session_.RenameParent(selected, *parent);
    ListBox_KeysClick();
}

void TCategoryPane::SpeedButton_ShowDataClick() {
    UpdtListBox(true, {});
}

// ---------------------------------------------------------------- view options

bool TCategoryPane::ShowData() const {
    return showData_->isChecked();
}

bool TCategoryPane::CompressView() const {
    return compressView_->isChecked();
}

void TCategoryPane::ReadSettings(TSettingsStore& settings) {
    if (settings.ValueExists(settings::kShowData.name)) {
        showData_->setChecked(settings.ReadBool(settings::kShowData.name));
    }
    if (settings.ValueExists(settings::kCompressView.name)) {
        compressView_->setChecked(settings.ReadBool(settings::kCompressView.name));
    }
}

void TCategoryPane::WriteSettings(TSettingsStore& settings) const {
    settings.WriteBool(settings::kShowData.name, ShowData());
    settings.WriteBool(settings::kCompressView.name, CompressView());
}

}  // namespace dorvanta
