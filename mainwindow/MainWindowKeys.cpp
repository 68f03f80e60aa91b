// The main window: the category list, its drawing and its commands.
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>

#include "dialogs/CategoryDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"

namespace dorvanta {

using namespace mainwindow;

// ---------------------------------------------------------------- category list

void TMainWindow::UpdtListBox(bool force, const std::string& newParent) {
    const auto& keys = Doc().Keys;
    const int selected = ListBox_Keys->ItemIndex();
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
    ClearKeyRows();
    ListBox_Keys->Reserve(static_cast<int>(keys.size()));
    // Every added row changes the scroll range, which the list's frame answers with
    // a queued call: one per row would hold a message per key until the event loop
    // runs. The frame hears of the final range once. (Rows are only added here, so
    // the scroll position cannot move while the bar is quiet.)
    QScrollBar* bar = ListBox_Keys->verticalScrollBar();
    const int emptyMaximum = bar->maximum();
    QSignalBlocker quiet(bar);
    for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
        ListBox_Keys->AddRow(ListBox_KeysMeasureItem(i));
    }
    quiet.unblock();
    if (bar->maximum() != emptyMaximum) emit bar->rangeChanged(bar->minimum(), bar->maximum());
    if (lastFillIndex_ >= 0) {
        int match = -1;
        for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
            if (keys[i].Name == n0 && (keys[i].Parent == newParent || keys[i].Parent == p0))
                match = i;
        }
        ListBox_Keys->SetItemIndex(match);
    }
}

void TMainWindow::KeyRowSelected(int row) {
    const auto& keys = Doc().Keys;
    if (row >= 0 && row < static_cast<int>(keys.size())) {
        selectedRow_ = {row, keys[row].Parent, keys[row].Name};
    } else {
        selectedRow_ = {};
    }
    session_.SetSelectedKeyRow(row);
}

void TMainWindow::KeysChanged(int select, const std::string& newParent) {
    UpdtListBox(true, newParent);
    if (select >= 0) SelectKeyRow(select);
}

int TMainWindow::SelectedKeyRow() const {
    return ListBox_Keys->ItemIndex();
}

void TMainWindow::SelectKeyRow(int index) {
    ListBox_Keys->SetItemIndex(index);
}

std::optional<QString> TMainWindow::SelectedKeyName() const {
    const int selected = ListBox_Keys->ItemIndex();
    if (selected < 0 || selected >= static_cast<int>(Doc().Keys.size())) return std::nullopt;
    return ToQString(Doc().Keys[selected].Name);
}

void TMainWindow::UpdtKeyRow(int key) {
    if (key >= 0 && key < ListBox_Keys->Count() && key < static_cast<int>(Doc().Keys.size())) {
        ListBox_Keys->SetRowHeight(key, ListBox_KeysMeasureItem(key));
    }
    ListBox_Keys->viewport()->update();
}

int TMainWindow::ListBox_KeysMeasureItem(int index) const {
    const auto& keys = Doc().Keys;
    int height = Doc().IsGroupStart(index) ? HeaderHeight() : 0;
    bool shown = true;
    if (SpeedButton_CompressView->isChecked()) {
        shown = lastFillIndex_ >= 0 && lastFillIndex_ < static_cast<int>(keys.size()) &&
                keys[lastFillIndex_].Parent == keys[index].Parent;
    }
    if (shown) {
        height += lineHeight_;
        if (SpeedButton_ShowData->isChecked()) {
            height += static_cast<int>(keys[index].Data.size()) * lineHeight_;
        }
    }
    return height;
}

void TMainWindow::ListBox_KeysDrawItem(QPainter& painter, int index, const QRect& rect,
                                       bool selected) const {
    const auto& keys = Doc().Keys;
    if (index >= static_cast<int>(keys.size())) return;
    const TDataKey& key = keys[index];
    const int left = rect.left();
    const int right = rect.left() + rect.width();  // exclusive
    const QColor background =
        ListBox_Keys->palette().color(selected ? QPalette::Highlight : QPalette::Base);
    const QColor textColor = painter.pen().color();
    QRect area = rect;

    if (Doc().IsGroupStart(index)) {
        const int sel = ListBox_Keys->ItemIndex();
        const bool ownGroup =
            sel >= 0 && sel < static_cast<int>(keys.size()) && keys[sel].Parent == key.Parent;
        const QColor c0 = kHeaderColors[ownGroup ? 1 : 0];
        const int span = std::max(1, right - left);
        for (int x = left; x <= right; ++x) {
            const int t = x - left;
            const QColor c(c0.red() + (255 - c0.red()) * t / span,
                           c0.green() + (255 - c0.green()) * t / span,
                           c0.blue() + (255 - c0.blue()) * t / span);
            painter.fillRect(x, rect.top(), 1, HeaderHeight(), c);
        }
        QFont bold = ListBox_Keys->font();
        bold.setBold(true);
        bold.setItalic(true);
        painter.setFont(bold);
        painter.setPen(Qt::black);
        painter.drawText(QRect(left + 2, rect.top() + 1, rect.width() - 2, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText(key.Parent));
        painter.setFont(ListBox_Keys->font());
        area =
            QRect(left, rect.top() + HeaderHeight(), rect.width(), rect.height() - HeaderHeight());
    }
    // Row background below the band, a black line along the band's lower edge.
    if (area.height() > 0) {
        painter.fillRect(area, background);
        painter.setPen(Qt::black);
        painter.drawLine(area.left(), area.top(), area.right(), area.top());
    }
    painter.setPen(background);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.setPen(textColor);

    if (SpeedButton_CompressView->isChecked()) {
        const int sk = session_.ShownKey();
        if (sk < 0 || sk >= static_cast<int>(keys.size()) || keys[sk].Parent != key.Parent) return;
    }
    const bool showData = SpeedButton_ShowData->isChecked();
    QFont nameFont = ListBox_Keys->font();
    nameFont.setBold(showData);
    painter.setFont(nameFont);
    painter.drawText(QRect(left + 2, area.top(), rect.width() - 2, lineHeight_),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText(key.Name));
    painter.setFont(ListBox_Keys->font());
    if (!showData) return;

    painter.setPen(Qt::black);
    painter.drawLine(area.left(), area.top(), area.right(), area.top());
    painter.setPen(textColor);
    const int mid = (left + 2) / 2 + right / 2;
    const QFont& font = ListBox_Keys->font();
    const int firstVisible = std::max(
        0, (painter.clipBoundingRect().toRect().top() - area.top()) / std::max(1, lineHeight_) - 1);
    const int lastY = painter.clipBoundingRect().toRect().bottom();
    for (int j = firstVisible; j < static_cast<int>(key.Data.size()); ++j) {
        const int y = area.top() + (j + 1) * lineHeight_;
        if (y > lastY) break;  // below what is being painted
        const TDataRec& rec = key.Data[j];
        painter.drawText(QRect(left + 2, y, mid - 4, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ShownText(rec.Title), font, mid - 4));
        painter.drawText(QRect(mid, y, mid, lineHeight_),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         EllipsisText(ShownText(rec.Value), font, mid));
    }
}

QString TMainWindow::EllipsisText(const QString& text, const QFont& font, int maxWidth) {
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= maxWidth) return text;
    // The longest prefix, at least two characters shorter, that fits with "...".
    const QString dots = QStringLiteral("...");
    int lo = 0;
    int hi = static_cast<int>(text.size()) - 2;
    if (hi <= 0) return dots;
    if (metrics.horizontalAdvance(text.left(hi) + dots) <= maxWidth) return text.left(hi) + dots;
    while (hi - lo > 1) {  // invariant: lo fits (or is 0), hi does not
        const int mid = (lo + hi) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + dots) <= maxWidth) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return text.left(lo) + dots;
}

void TMainWindow::ListBox_KeysClick() {
    if (SpeedButton_CompressView->isChecked()) {
        const int top = ListBox_Keys->TopIndex();
        UpdtListBox(false, {});
        ListBox_Keys->SetTopIndex(top);
    }
    const int selected = ListBox_Keys->ItemIndex();
    const bool has = selected >= 0 && selected < static_cast<int>(Doc().Keys.size());
    SpeedButton_DelKey->setEnabled(has);
    SpeedButton_NewData->setEnabled(has);
    Button_ApplyData->setEnabled(has);
    EntryModel->Fill(has ? selected : -1);
    ListView_DataClick();
    session_.SetShownKey(has ? selected : -1);
    ListBox_Keys->viewport()->update();
}

void TMainWindow::SpeedButton_NewKeyClick() {
    CloseSearchDialog();
    CategoryDialog->Tag = -1;
    CategoryDialog->ParentFrom = ListBox_Keys->ItemIndex();
    CategoryDialog->exec();
    CategoryDialog->ParentFrom = -1;
    ListBox_KeysClick();
}

void TMainWindow::ListBox_KeysDblClick() {
    if (ListBox_Keys->ItemIndex() < 0) return;
    CategoryDialog->Tag = ListBox_Keys->ItemIndex();
    // The search dialog stays open; a change empties its hits (KeysChanged).
    CategoryDialog->exec();
    ListBox_KeysClick();
}

void TMainWindow::SpeedButton_DelKeyClick() {
    const int selected = ListBox_Keys->ItemIndex();
    if (selected < 0) return;
    CloseSearchDialog();
    if (!MessageService::Instance().Confirm(
            QStringLiteral("Soll die markierte Rubrik wirklich gelöscht werden?"))) {
        return;
    }
    session_.DeleteKey(selected);
    ListBox_KeysClick();
}

void TMainWindow::MenuItem_ChangeKeyNameClick() {
    const int selected = ListBox_Keys->ItemIndex();
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

void TMainWindow::SpeedButton_ShowDataClick() {
    UpdtListBox(true, {});
}

void TMainWindow::ClearKeyRows() {
    ListBox_Keys->Clear();
}

}  // namespace dorvanta
