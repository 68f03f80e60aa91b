#include "mainwindow/ListAccessibility.h"

#include <QAbstractItemView>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "mainwindow/KeyListBox.h"

namespace dorvanta {

namespace {

// One row. It holds no text: the name is asked from the list each time, so that a
// lock, which empties the list, leaves nothing readable here.
class TKeyListItem : public QAccessibleInterface {
  public:
    TKeyListItem(TKeyListBox* list, int row) : list_(list), row_(row) {}

    TKeyListBox* List() const { return list_; }
    int Row() const { return row_; }

    bool isValid() const override { return list_ && row_ < list_->Count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return list_ ? QAccessible::queryAccessibleInterface(list_) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? list_->RowText(row_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect row = list_->RowRect(row_);
        return QRect(list_->viewport()->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = row_ == list_->ItemIndex();
        state.focused = state.selected && list_->hasFocus();
        state.disabled = !list_->isEnabled();
        const QRect row = list_->RowRect(row_);
        // A row of no height is one the filtered view hides; it stays an item, since
        // the arrow keys still reach it (and then show its parent's rows).
        state.invisible = row.height() == 0 || !list_->isVisible();
        state.offscreen = !state.invisible && !list_->viewport()->rect().intersects(row);
        return state;
    }

  private:
    QPointer<TKeyListBox> list_;
    int row_;
};

QAccessibleInterface* CreateKeyListAccessible(const QString&, QObject* object) {
    if (auto* list = qobject_cast<TKeyListBox*>(object)) return new TKeyListAccessible(list);
    return nullptr;
}

void Notify(QAccessibleInterface* item, QAccessible::Event type) {
    QAccessibleEvent event(item, type);
    QAccessible::updateAccessibility(&event);
}

class TCurrentCellFocus : public QObject {
  public:
    explicit TCurrentCellFocus(QAbstractItemView* view) : QObject(view), view_(view) {
        view->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && event->type() == QEvent::FocusIn && QAccessible::isActive()) {
            QMetaObject::invokeMethod(
                this, [this] { Announce(); }, Qt::QueuedConnection);
        }
        return false;
    }

  private:
    void Announce() {
        if (!QAccessible::isActive() || !view_->hasFocus()) return;
        const QModelIndex current = view_->currentIndex();
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view_);
        if (!current.isValid() || !table || !table->tableInterface()) return;
        if (QAccessibleInterface* cell =
                table->tableInterface()->cellAt(current.row(), current.column())) {
            Notify(cell, QAccessible::Focus);
        }
    }

    QAbstractItemView* view_;  // our parent
};

}  // namespace

void FocusCurrentCellForReaders(QAbstractItemView* view) {
    new TCurrentCellFocus(view);
}

void InstallKeyListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&CreateKeyListAccessible);
        return true;
    }();
    (void)installed;
}

// ---------------------------------------------------------------- the category list

TKeyListAccessible::TKeyListAccessible(TKeyListBox* list)
    : QAccessibleWidget(list, QAccessible::List) {}

TKeyListBox* TKeyListAccessible::List() const {
    return static_cast<TKeyListBox*>(widget());
}

int TKeyListAccessible::childCount() const {
    return isValid() ? List()->Count() : 0;
}

QAccessibleInterface* TKeyListAccessible::child(int index) const {
    if (!isValid()) return nullptr;
    return List()->AccessibleItems().Item(index);
}

int TKeyListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* item = dynamic_cast<const TKeyListItem*>(child);
    if (!item || !item->isValid() || item->List() != List()) return -1;
    return item->Row();
}

QAccessibleInterface* TKeyListAccessible::childAt(int x, int y) const {
    if (!isValid()) return nullptr;
    const QWidget* viewport = List()->viewport();
    const QPoint point = viewport->mapFromGlobal(QPoint(x, y));
    if (!viewport->rect().contains(point)) return nullptr;
    return child(List()->RowAt(point.y()));
}

QAccessibleInterface* TKeyListAccessible::focusChild() const {
    if (!isValid() || !List()->hasFocus()) return nullptr;
    return child(List()->ItemIndex());
}

// ---------------------------------------------------------------- the items

QAccessibleInterface* TKeyListItems::Item(int row) {
    if (row < 0 || row >= list_.Count()) return nullptr;
    if (const auto it = ids_.find(row); it != ids_.end()) {
        if (QAccessibleInterface* item = QAccessible::accessibleInterface(it->second)) return item;
    }
    auto* item = new TKeyListItem(&list_, row);
    ids_[row] = QAccessible::registerAccessibleInterface(item);
    return item;
}

void TKeyListItems::Forget() {
    // Deleting an id that Qt's cache already dropped (at program end) does nothing.
    for (const auto& [row, id] : ids_) QAccessible::deleteAccessibleInterface(id);
    ids_.clear();
    announced_ = 0;
}

void TKeyListItems::Announce(int row, bool focused, bool again) {
    QAccessibleInterface* item = Item(row);
    const QAccessible::Id id = item ? QAccessible::uniqueId(item) : 0;
    const bool moved = id != announced_;
    if (moved) {
        if (QAccessibleInterface* former = QAccessible::accessibleInterface(announced_);
            former && former->isValid()) {
            Notify(former, QAccessible::SelectionRemove);
        }
        announced_ = id;
        if (item) Notify(item, QAccessible::Selection);
    }
    if (item && focused && (moved || again)) Notify(item, QAccessible::Focus);
}

}  // namespace dorvanta
