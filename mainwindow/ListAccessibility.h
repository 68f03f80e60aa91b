#pragma once
// The main window's lists as a screen reader reads them (AT-SPI).
//
// The category list: a list with one item per row, named by the list's text
// callback. The list paints its rows itself, so Qt's own interface for a scroll
// area would show a reader one empty element.

#include <QAccessibleWidget>
#include <unordered_map>

class QAbstractItemView;

namespace dorvanta {

class TKeyListBox;

// A table view taking the keyboard focus: Qt tells a reader of the current cell
// first and of the table after it, so the reader's focus ends on the table and
// the row the arrow keys start from goes unspoken. This repeats the cell's notice
// once the table's has gone out.
void FocusCurrentCellForReaders(QAbstractItemView* view);

// Lets Qt build a TKeyListAccessible for every TKeyListBox; installing twice is harmless.
void InstallKeyListAccessibility();

class TKeyListAccessible : public QAccessibleWidget {
  public:
    explicit TKeyListAccessible(TKeyListBox* list);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    // x and y on the screen.
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

  private:
    TKeyListBox* List() const;
};

// The row items a reader has asked for, kept by the list. An item is made on the
// first request (a list of 100,000 rows makes none until a reader walks it) and
// kept, because a reader refers to it by its id: the same row must stay the same
// object. A refill drops them all, together with the rows they stood for.
class TKeyListItems {
  public:
    explicit TKeyListItems(TKeyListBox& list) : list_(list) {}
    ~TKeyListItems() { Forget(); }
    TKeyListItems(const TKeyListItems&) = delete;
    TKeyListItems& operator=(const TKeyListItems&) = delete;

    QAccessibleInterface* Item(int row);
    int Made() const { return static_cast<int>(ids_.size()); }
    void Forget();
    // Tells a reader which row is now selected: the former one loses its selected
    // state, and with `focused` the row takes the focus (the reader speaks it).
    // `again`: the focus also when the row is the one announced last.
    void Announce(int row, bool focused, bool again);

  private:
    TKeyListBox& list_;
    std::unordered_map<int, QAccessible::Id> ids_;
    QAccessible::Id announced_ = 0;
};

}  // namespace dorvanta
