#include "mainwindow/EntryModel.h"

#include <QColor>

#include "platform/TextConv.h"

namespace dorvanta {

TEntryModel::TEntryModel(const TDocument& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {}

void TEntryModel::Fill(int key) {
    beginResetModel();
    key_ = (key >= 0 && key < static_cast<int>(document_.Keys.size())) ? key : -1;
    rows_ = key_ >= 0 ? static_cast<int>(document_.Keys[key_].Data.size()) : 0;
    endResetModel();
}

void TEntryModel::Refresh() {
    const int now = key_ >= 0 && key_ < static_cast<int>(document_.Keys.size())
                        ? static_cast<int>(document_.Keys[key_].Data.size())
                        : 0;
    if (now > rows_) {
        beginInsertRows({}, rows_, now - 1);
        rows_ = now;
        endInsertRows();
    }
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, 2));
}

void TEntryModel::RemoveRow(int row) {
    if (row < 0 || row >= rows_) return;
    beginRemoveRows({}, row, row);
    --rows_;
    endRemoveRows();
}

const TDataRec* TEntryModel::Entry(int row) const {
    if (key_ < 0 || key_ >= static_cast<int>(document_.Keys.size()) || row < 0) return nullptr;
    const auto& data = document_.Keys[key_].Data;
    return row < static_cast<int>(data.size()) ? &data[row] : nullptr;
}

int TEntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TEntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TEntryModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::BackgroundRole) {
        // Alternating white and light grey rows.
        return index.row() % 2 == 0 ? QColor(255, 255, 255) : QColor(221, 221, 221);
    }
    if (role != Qt::DisplayRole) return {};
    const TDataRec* rec = Entry(index.row());
    if (!rec) return {};
    switch (index.column()) {
        case 0:
            return ShownText(rec->Title);
        case 1:
            return ShownText(rec->Value);
        case 2:
            return ShownText(rec->Info);
    }
    return {};
}

QVariant TEntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"Titel", "Wert", "Info"};
    return section >= 0 && section < 3 ? QString::fromLatin1(kTitles[section]) : QVariant();
}

}  // namespace dorvanta
