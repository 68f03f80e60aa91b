// The main window: the entry list and the entry editor.
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTime>
#include <QToolButton>

#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/GermanFormat.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"
#include "store/DateTime.h"

namespace dorvanta {

using namespace mainwindow;

// ---------------------------------------------------------------- entry list

int TMainWindow::SelectedEntryRow() const {
    const QModelIndexList rows = ListView_Data->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TMainWindow::SelectEntryRow(int row) {
    if (row < 0 || row >= EntryModel->rowCount()) {
        ListView_Data->clearSelection();
        return;
    }
    ListView_Data->selectRow(row);
    ListView_Data->scrollTo(EntryModel->index(row, 0));
}

void TMainWindow::ListView_DataClick() {
    const int row = SelectedEntryRow();
    const TDataRec* rec = EntryModel->Entry(row);
    SpeedButton_DeleteData->setEnabled(rec != nullptr);
    SpeedButton_Copy->setEnabled(rec != nullptr);
    if (!rec) {
        Button_ApplyData->setText(QStringLiteral("Er&stellen"));
        Edit_DataName->clear();
        Edit_Value->clear();
        Edit_Info->clear();
    } else {
        Button_ApplyData->setText(QStringLiteral("Än&dern"));
        Edit_DataName->SetField(rec->Title);
        Edit_Value->SetField(rec->Value);
        Edit_Info->SetField(rec->Info);
    }
}

void TMainWindow::Button_ApplyDataClick() {
    const int key = session_.ShownKey();
    if (key < 0 || key >= static_cast<int>(Doc().Keys.size())) return;
    const int row = SelectedEntryRow();
    const std::string title = Edit_DataName->Field();
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
    CloseSearchDialog();
    // Keep the fields' texts, a held long one included: re-selecting a row would
    // overwrite them.
    const std::string value = Edit_Value->Field(), info = Edit_Info->Field();
    const QSignalBlocker block(ListView_Data->selectionModel());
    if (row < 0) {
        session_.AddEntry(key, title, value, info);
    } else {
        session_.UpdateEntry(key, row, title, value, info);
    }
    Edit_DataName->SetField(title);
    Edit_Value->SetField(value);
    Edit_Info->SetField(info);
    SpeedButton_DeleteData->setEnabled(SelectedEntryRow() >= 0);
    SpeedButton_Copy->setEnabled(SelectedEntryRow() >= 0);
    Button_ApplyData->setText(SelectedEntryRow() >= 0 ? QStringLiteral("Än&dern")
                                                      : QStringLiteral("Er&stellen"));
}

void TMainWindow::EntriesChanged(int key, TDocumentSession::TEntryChange change, int row) {
    using TChange = TDocumentSession::TEntryChange;
    switch (change) {
        case TChange::Added:
        case TChange::Updated:
            EntryModel->Refresh();
            if (change == TChange::Added) {
                ListView_Data->clearSelection();
            } else {
                SelectEntryRow(row);
            }
            ListView_Data->viewport()->update();
            if (SpeedButton_ShowData->isChecked()) UpdtListBox(false, {});
            break;
        case TChange::Deleted:
            EntryModel->RemoveRow(row);
            ListView_Data->clearSelection();
            ListView_DataClick();
            break;
        case TChange::Imported:
            ListBox_KeysClick();
            break;
    }
    UpdtKeyRow(key);
}

void TMainWindow::SpeedButton_NewDataClick() {
    Edit_DataName->clear();
    Edit_Value->clear();
    Edit_Info->clear();
    ListView_Data->clearSelection();
    ListView_DataClick();
    Edit_DataName->setFocus();
}

void TMainWindow::Edit_DatasKeyPress() {
    Button_ApplyDataClick();
    SpeedButton_NewDataClick();
}

void TMainWindow::SpeedButton_DeleteDataClick() {
    const int key = session_.ShownKey();
    const int row = SelectedEntryRow();
    if (key < 0 || !EntryModel->Entry(row)) return;
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll der markierte Eintrag wirklich gelöscht werden?"))) {
        return;
    }
    session_.DeleteEntry(key, row);
}

void TMainWindow::SpeedButton_CopyClick() {
    PopupMenu_Clipboard->popup(
        SpeedButton_Copy->mapToGlobal(QPoint(0, SpeedButton_Copy->height())));
}

void TMainWindow::CopyField(int field) {
    if (const auto text = EntryFieldText(SelectedEntryRow(), field)) clipboard_->SetText(*text);
}

std::optional<QString> TMainWindow::EntryFieldText(int row, int field) const {
    const TDataRec* rec = EntryModel->Entry(row);
    if (!rec || field < 0 || field > 2) return std::nullopt;
    return ToQString(field == 0 ? rec->Title : field == 1 ? rec->Value : rec->Info);
}

std::optional<QString> TMainWindow::CurrentEntryText() const {
    const QModelIndex current = ListView_Data->currentIndex();
    if (!current.isValid() || current.row() != SelectedEntryRow()) return std::nullopt;
    return EntryFieldText(current.row(), current.column());
}

void TMainWindow::SetClipboardClearDelay(int ms) {
    clipboard_->SetClearDelay(ms);
}

int TMainWindow::ClearClipboardSeconds() const {
    for (const QAction* choice : Menu_ClearClipboardDelay->actions()) {
        if (choice->isChecked()) return choice->data().toInt();
    }
    return settings::kClearClipboardSeconds.defaultValue;
}

void TMainWindow::SetClearClipboardSeconds(int seconds) {
    for (QAction* choice : Menu_ClearClipboardDelay->actions()) {
        choice->setChecked(choice->data().toInt() == seconds);
    }
    MenuItem_ClearClipboard->setText(
        QStringLiteral("Zwischenablage nach %1 Sekunden leeren").arg(seconds));
    clipboard_->SetClearDelay(seconds * 1000);
}

void TMainWindow::ReadClipboardSettings() {
    SetClearClipboardSeconds(settings::ReadClearClipboardSeconds(*settings_));
}

void TMainWindow::WriteClipboardSettings() {
    settings_->WriteInteger(settings::kClearClipboardSeconds.name, ClearClipboardSeconds());
}

QString TMainWindow::EntryDateHint(double date) {
    const DateTimeParts p = DecodeDateTime(date);
    QString text =
        QStringLiteral("Datum des Eintrags: ") + GermanDate(QDate(p.year, p.month, p.day));
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
        text += QLatin1Char(' ') + GermanTime(QTime(p.hour, p.minute, p.second));
    }
    return text;
}

void TMainWindow::ListView_DataMouseMove(const QPoint& pos) {
    const QModelIndex index = ListView_Data->indexAt(pos);
    const TDataRec* rec = index.isValid() ? EntryModel->Entry(index.row()) : nullptr;
    if (rec) {
        statusBar()->showMessage(EntryDateHint(rec->Date));
    } else {
        statusBar()->clearMessage();
    }
}

}  // namespace dorvanta
