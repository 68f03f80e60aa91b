#pragma once
// An owner-drawn list box whose rows have individual heights, zero included.
// Heights are fixed when a row is added and change only by a refill; only the
// rows inside the viewport are painted, so thousands of tall rows scroll smoothly.
// A screen reader sees one item per row (ListAccessibility.h), named by SetItemText.

#include <QAbstractScrollArea>
#include <functional>
#include <memory>
#include <vector>

namespace dorvanta {

class TKeyListItems;

class TKeyListBox : public QAbstractScrollArea {
    Q_OBJECT
  public:
    using DrawItem = std::function<void(QPainter&, int index, const QRect& rect, bool selected)>;
    using ItemText = std::function<QString(int index)>;

    explicit TKeyListBox(QWidget* parent = nullptr);
    ~TKeyListBox() override;

    void SetDrawItem(DrawItem draw) { draw_ = std::move(draw); }
    // The text a screen reader reads for a row; asked only for rows the list has.
    void SetItemText(ItemText text) { text_ = std::move(text); }
    QString RowText(int index) const;
    // The row items a screen reader has asked for.
    TKeyListItems& AccessibleItems();

    // Removes every row (and the selection), giving their memory back.
    void Clear();
    // Makes room for this many rows at once, so that adding them grows nothing.
    void Reserve(int rows) { tops_.reserve(static_cast<std::size_t>(rows) + 1); }
    // Appends a row of the given height.
    void AddRow(int height);
    // Gives one row a new height; the rows below move, the scroll position stays.
    void SetRowHeight(int index, int height);
    int Count() const { return static_cast<int>(tops_.size()) - 1; }
    int RowHeight(int index) const { return tops_[index + 1] - tops_[index]; }
    QRect RowRect(int index) const;

    // The selected row, -1 for none. Setting it does not emit Clicked.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    // The first row at the top of the viewport, and scrolling to it.
    int TopIndex() const;
    void SetTopIndex(int index);
    int RowAt(int y) const;

  signals:
    // The user changed the selection with mouse or keyboard.
    void Clicked();
    void DoubleClicked();
    void ContextMenuRequested(const QPoint& globalPos);
    // The selected row changed, by the user or the program (-1: none).
    void ItemIndexChanged(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void UpdateScrollBar();
    void EnsureVisible(int index);
    void SelectByUser(int index);
    void SetIndex(int index);
    // A screen reader hears of the selected row once the event at hand is done: a
    // selection the filtered view answers with a refill (and a reselection) is then
    // announced once, as it ends. `focus`: the list has just taken the focus.
    void AnnounceLater(bool focus);
    void Announce();

    DrawItem draw_;
    ItemText text_;
    std::vector<int> tops_{0};  // tops_[i] = top of row i; tops_.back() = total height
    int itemIndex_ = -1;
    std::unique_ptr<TKeyListItems> accessibleItems_;  // made when a reader first asks
    bool announcePending_ = false;
    bool announceFocus_ = false;
};

}  // namespace dorvanta
