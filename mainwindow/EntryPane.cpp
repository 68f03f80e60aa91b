// The entry pane: the shown sub-category's entries and the editor's commands.
#include "mainwindow/EntryPane.h"

#include <QAction>
#include <QDate>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTime>
#include <QToolButton>

#include "mainwindow/EntryModel.h"
#include "mainwindow/FieldEdit.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/FreedMemory.h"
#include "platform/GermanFormat.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "platform/TextConv.h"
#include "store/DateTime.h"

namespace dorvanta {

using namespace mainwindow;

void TEntryPane::ConnectSession() {
    connect(&session_, &TDocumentSession::KeyShown, this, &TEntryPane::KeyShown);
    connect(&session_, &TDocumentSession::AboutToReplaceDocument, this, &TEntryPane::DropTexts);
    connect(&session_, &TDocumentSession::EntriesChanged, this,
            [this](int, TDocumentSession::TEntryChange change, int row) {
                EntriesChanged(change, row);
            });
    connect(&session_, &TDocumentSession::AboutToSeal, this, &TEntryPane::HandOverDraft);
    connect(&session_, &TDocumentSession::AboutToLock, this, [this] {
        lockedRow_ = SelectedEntryRow();
        DropTexts();
    });
    // The category pane has shown the sub-category again by now.
    connect(&session_, &TDocumentSession::LockedChanged, this, [this](bool locked) {
        if (!locked) TakeBackDraft();
    });
    connect(&session_, &TDocumentSession::ShowRequested, this, [this](int, int entry) {
        if (entry >= 0) SelectEntryRow(entry);
    });
}

void TEntryPane::KeyShown(int key) {
    const bool has = key >= 0 && key < static_cast<int>(Doc().Keys.size());
    newEntry_->setEnabled(has);
    applyButton_->setEnabled(has);
    model_->Fill(has ? key : -1);
    ListView_DataClick();
}

// An edit not yet stored goes into the seal with the document: what the fields
// hold when they differ from the entry they show, or any text for a new one.
void TEntryPane::HandOverDraft() {
    if (session_.ShownKey() < 0) return;
    TDocumentSession::TDraft draft{editName_->Field(), editValue_->Field(), editInfo_->Field()};
    const TDataRec* rec = model_->Entry(SelectedEntryRow());
    const bool edited =
        rec ? draft.title != rec->Title || draft.value != rec->Value || draft.info != rec->Info
            : !(draft.title.empty() && draft.value.empty() && draft.info.empty());
    if (edited) session_.SetDraft(std::move(draft));
}

void TEntryPane::TakeBackDraft() {
    SelectEntryRow(lockedRow_);
    auto draft = session_.TakeDraft();
    if (!draft) return;
    editName_->SetField(draft->title);
    editValue_->SetField(draft->value);
    editInfo_->SetField(draft->info);
    draft->Wipe();
}

void TEntryPane::DropTexts() {
    model_->Clear();
    // Setting a text also empties the undo history, which clear() would keep.
    for (TFieldEdit* edit : {editName_, editValue_, editInfo_}) edit->Forget();
    emit StatusText({});
    ForgetPaintedItems(list_);
}

// ---------------------------------------------------------------- entry list

int TEntryPane::SelectedEntryRow() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TEntryPane::SelectEntryRow(int row) {
    if (row < 0 || row >= model_->rowCount()) {
        list_->clearSelection();
        return;
    }
    list_->selectRow(row);
    list_->scrollTo(model_->index(row, 0));
}

void TEntryPane::ListView_DataClick() {
    ShowEntry(SelectedEntryRow());
}

// The editor shows the entry of `row`, or is empty for a new one.
void TEntryPane::ShowEntry(int row) {
    const TDataRec* rec = model_->Entry(row);
    deleteButton_->setEnabled(rec != nullptr);
    copyButton_->setEnabled(rec != nullptr);
    if (!rec) {
        applyButton_->setText(QStringLiteral("Er&stellen"));
        editName_->clear();
        editValue_->clear();
        editInfo_->clear();
    } else {
        applyButton_->setText(QStringLiteral("Än&dern"));
        editName_->SetField(rec->Title);
        editValue_->SetField(rec->Value);
        editInfo_->SetField(rec->Info);
    }
}

void TEntryPane::EntriesChanged(TDocumentSession::TEntryChange change, int row) {
    using TChange = TDocumentSession::TEntryChange;
    switch (change) {
        case TChange::Added:
        case TChange::Updated:
            model_->Refresh();
            if (change == TChange::Added) {
                list_->clearSelection();
            } else {
                SelectEntryRow(row);
            }
            list_->viewport()->update();
            break;
        case TChange::Deleted:
            model_->RemoveRow(row);
            list_->clearSelection();
            ListView_DataClick();
            break;
        case TChange::Imported:
            KeyShown(session_.ShownKey());
            break;
    }
}

// ---------------------------------------------------------------- commands

void TEntryPane::Button_ApplyDataClick() {
    const int key = session_.ShownKey();
    if (key < 0 || key >= static_cast<int>(Doc().Keys.size())) return;
    const int row = SelectedEntryRow();
    const std::string title = editName_->Field();
    QString message;
    if (title.empty()) {
        message = QStringLiteral("Sie müssen einen Titel für den Wert eingeben.");
    } else if (row < 0 && Doc().FindEntry(key, title) >= 0) {
        message = QStringLiteral(
            "Der eingegebene Titel existiert bereits. Geben Sie einen anderen Titel ein oder "
            "editieren Sie den vorhandenen, unter diesem Titel gespeicherten Eintrag.");
    }
    if (!message.isEmpty()) {
        MessageService::Instance().Message(message, kInvalidInput, MsgIcon::Warning);
        return;
    }
    emit EditStarting();
    // Keep the fields' texts, a held long one included: re-selecting a row would
    // overwrite them.
    const std::string value = editValue_->Field(), info = editInfo_->Field();
    const QSignalBlocker block(list_->selectionModel());
    if (row < 0) {
        session_.AddEntry(key, title, value, info);
    } else {
        session_.UpdateEntry(key, row, title, value, info);
    }
    editName_->SetField(title);
    editValue_->SetField(value);
    editInfo_->SetField(info);
    const bool selected = SelectedEntryRow() >= 0;
    deleteButton_->setEnabled(selected);
    copyButton_->setEnabled(selected);
    applyButton_->setText(selected ? QStringLiteral("Än&dern") : QStringLiteral("Er&stellen"));
}

void TEntryPane::SpeedButton_NewDataClick() {
    editName_->clear();
    editValue_->clear();
    editInfo_->clear();
    list_->clearSelection();
    ListView_DataClick();
    editName_->setFocus();
}

void TEntryPane::Edit_DatasKeyPress() {
    Button_ApplyDataClick();
    SpeedButton_NewDataClick();
}

void TEntryPane::SpeedButton_DeleteDataClick() {
    const int key = session_.ShownKey();
    const int row = SelectedEntryRow();
    if (key < 0 || !model_->Entry(row)) return;
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll der markierte Eintrag wirklich gelöscht werden?"))) {
        return;
    }
    session_.DeleteEntry(key, row);
}

void TEntryPane::SpeedButton_CopyClick() {
    copyMenu_->popup(copyButton_->mapToGlobal(QPoint(0, copyButton_->height())));
}

void TEntryPane::CopyField(int field) {
    if (const auto text = EntryFieldText(SelectedEntryRow(), field)) clipboard_.SetText(*text);
}

std::optional<QString> TEntryPane::EntryFieldText(int row, int field) const {
    const TDataRec* rec = model_->Entry(row);
    if (!rec || field < 0 || field > 2) return std::nullopt;
    return ToQString(field == 0 ? rec->Title : field == 1 ? rec->Value : rec->Info);
}

std::optional<QString> TEntryPane::CurrentEntryText() const {
    const QModelIndex current = list_->currentIndex();
    if (!current.isValid() || current.row() != SelectedEntryRow()) return std::nullopt;
    return EntryFieldText(current.row(), current.column());
}

QString TEntryPane::EntryDateHint(double date) {
    const DateTimeParts p = DecodeDateTime(date);
    QString text =
        QStringLiteral("Datum des Eintrags: ") + GermanDate(QDate(p.year, p.month, p.day));
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
        text += QLatin1Char(' ') + GermanTime(QTime(p.hour, p.minute, p.second));
    }
    return text;
}

void TEntryPane::ListView_DataMouseMove(const QPoint& pos) {
    const QModelIndex index = list_->indexAt(pos);
    const TDataRec* rec = index.isValid() ? model_->Entry(index.row()) : nullptr;
    emit StatusText(rec ? EntryDateHint(rec->Date) : QString());
}

}  // namespace dorvanta
