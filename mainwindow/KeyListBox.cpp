#include "mainwindow/KeyListBox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <utility>

#include "mainwindow/ListAccessibility.h"

namespace dorvanta {

TKeyListBox::TKeyListBox(QWidget* parent) : QAbstractScrollArea(parent) {
    InstallKeyListAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(16);
}

TKeyListBox::~TKeyListBox() = default;

QString TKeyListBox::RowText(int index) const {
    if (!text_ || index < 0 || index >= Count()) return {};
    return text_(index);
}

TKeyListItems& TKeyListBox::AccessibleItems() {
    if (!accessibleItems_) accessibleItems_ = std::make_unique<TKeyListItems>(*this);
    return *accessibleItems_;
}

void TKeyListBox::Clear() {
    // The items a reader holds stand for rows that are going.
    if (accessibleItems_) accessibleItems_->Forget();
    std::vector<int>{0}.swap(tops_);
    SetIndex(-1);
    UpdateScrollBar();
    viewport()->update();
}

void TKeyListBox::AddRow(int height) {
    tops_.push_back(tops_.back() + std::max(0, height));
    UpdateScrollBar();
    viewport()->update();
}

void TKeyListBox::SetRowHeight(int index, int height) {
    if (index < 0 || index >= Count()) return;
    const int delta = std::max(0, height) - RowHeight(index);
    if (delta == 0) return;
    const int offset = verticalScrollBar()->value();
    for (std::size_t i = static_cast<std::size_t>(index) + 1; i < tops_.size(); ++i)
        tops_[i] += delta;
    UpdateScrollBar();
    verticalScrollBar()->setValue(offset);
    viewport()->update();
}

QRect TKeyListBox::RowRect(int index) const {
    const int offset = verticalScrollBar()->value();
    return QRect(0, tops_[index] - offset, viewport()->width(), RowHeight(index));
}

void TKeyListBox::SetItemIndex(int index) {
    if (index < -1 || index >= Count()) index = -1;
    SetIndex(index);
    if (index >= 0) EnsureVisible(index);
    viewport()->update();
}

int TKeyListBox::TopIndex() const {
    if (Count() == 0) return 0;
    return std::max(0, RowAt(0));
}

void TKeyListBox::SetTopIndex(int index) {
    if (index < 0 || index >= Count()) return;
    verticalScrollBar()->setValue(tops_[index]);
}

int TKeyListBox::RowAt(int y) const {
    const int content = y + verticalScrollBar()->value();
    if (content < 0 || content >= tops_.back()) return -1;
    // The last row whose top is at or above the point; zero-height rows are skipped.
    const auto it = std::upper_bound(tops_.begin(), tops_.end(), content);
    return static_cast<int>(it - tops_.begin()) - 1;
}

void TKeyListBox::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(std::max(1, viewport()->height()));
    bar->setRange(0, std::max(0, tops_.back() - viewport()->height()));
}

void TKeyListBox::EnsureVisible(int index) {
    QScrollBar* bar = verticalScrollBar();
    const int top = tops_[index];
    const int bottom = tops_[index + 1];
    if (top < bar->value()) {
        bar->setValue(top);
    } else if (bottom > bar->value() + viewport()->height()) {
        bar->setValue(std::min(top, bottom - viewport()->height()));
    }
}

void TKeyListBox::SelectByUser(int index) {
    if (index < 0 || index >= Count()) return;
    SetIndex(index);
    EnsureVisible(index);
    viewport()->update();
    emit Clicked();
}

void TKeyListBox::SetIndex(int index) {
    if (index == itemIndex_) return;
    itemIndex_ = index;
    AnnounceLater(false);
    emit ItemIndexChanged(index);
}

void TKeyListBox::AnnounceLater(bool focus) {
    // Without a screen reader nothing is made or sent.
    if (!QAccessible::isActive()) return;
    announceFocus_ = announceFocus_ || focus;
    if (announcePending_) return;
    announcePending_ = true;
    QMetaObject::invokeMethod(this, &TKeyListBox::Announce, Qt::QueuedConnection);
}

void TKeyListBox::Announce() {
    announcePending_ = false;
    const bool focus = std::exchange(announceFocus_, false);
    if (!QAccessible::isActive()) return;
    AccessibleItems().Announce(itemIndex_, hasFocus(), focus);
}

void TKeyListBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int first = std::max(0, RowAt(area.top()));
    for (int i = first; i < Count(); ++i) {
        const QRect rect = RowRect(i);
        if (rect.top() > area.bottom()) break;
        if (rect.height() == 0) continue;
        const bool selected = i == itemIndex_;
        painter.save();
        // Clipped to the exposed part of the row, so that a tall row draws only the
        // lines that show.
        painter.setClipRect(rect.intersected(area));
        painter.fillRect(rect, palette().color(selected ? QPalette::Highlight : QPalette::Base));
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.setFont(font());
        if (draw_) draw_(painter, i, rect, selected);
        painter.restore();
        if (selected && hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect;
            option.backgroundColor = palette().color(QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
}

void TKeyListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void TKeyListBox::mousePressEvent(QMouseEvent* event) {
    // Only the left button selects; the right one opens the context menu as it is.
    if (event->button() == Qt::LeftButton) {
        const int row = RowAt(event->position().toPoint().y());
        if (row >= 0) SelectByUser(row);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TKeyListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // Anywhere in the list, below the last row too: the handler edits the selected row.
    if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

void TKeyListBox::keyPressEvent(QKeyEvent* event) {
    const int count = Count();
    if (count == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int current = itemIndex_;
    const int page = std::max(1, viewport()->height() / std::max(1, fontMetrics().height()));
    int target = current;
    switch (event->key()) {
        case Qt::Key_Up:
            target = current < 0 ? 0 : std::max(0, current - 1);
            break;
        case Qt::Key_Down:
            target = std::min(count - 1, current + 1);
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count - 1;
            break;
        case Qt::Key_PageUp:
            target = std::max(0, current - page);
            break;
        case Qt::Key_PageDown:
            target = std::min(count - 1, std::max(0, current) + page);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    if (target != current) SelectByUser(target);
}

void TKeyListBox::contextMenuEvent(QContextMenuEvent* event) {
    emit ContextMenuRequested(event->globalPos());
}

void TKeyListBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    // After Qt's own focus notice for the list: the reader then speaks the row.
    AnnounceLater(true);
}

void TKeyListBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

}  // namespace dorvanta
