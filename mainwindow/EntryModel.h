#pragma once
// The rows of the entry list: one per entry of the selected sub-category, read
// live from the document. The row count is fixed when the list is filled, as a
// list control's rows are; a row whose entry has gone shows nothing.

#include <QAbstractTableModel>

#include "store/Document.h"

namespace dorvanta {

class TEntryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TEntryModel(const TDocument& document, QObject* parent = nullptr);

    // Shows the entries of a key (-1: none).
    void Fill(int key);
    void Clear() { Fill(-1); }
    // Re-reads every row after the key's entries were re-sorted or changed.
    void Refresh();
    void RemoveRow(int row);
    int Key() const { return key_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The entry behind a row, or null when it no longer exists.
    const TDataRec* Entry(int row) const;

  private:
    const TDocument& document_;
    int key_ = -1;
    int rows_ = 0;
};

}  // namespace dorvanta
