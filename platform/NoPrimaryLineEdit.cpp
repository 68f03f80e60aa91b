#include "platform/NoPrimaryLineEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace dorvanta {

void TNoPrimaryLineEdit::keyPressEvent(QKeyEvent* event) {
    // Every key the line edit handles offers its selection as the primary one.
    QLineEdit::keyPressEvent(event);
    WithdrawPrimary();
}

void TNoPrimaryLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The line edit's release of the left button offers the selection as the
    // primary one, and does nothing else a field without dragging needs.
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TNoPrimaryLineEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    WithdrawPrimary();
}

void TNoPrimaryLineEdit::WithdrawPrimary() {
    // Before the event loop runs again, so no other program gets to read it.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->supportsSelection() || !clipboard->ownsSelection()) return;
    const QMimeData* data = clipboard->mimeData(QClipboard::Selection);
    if (data && data->hasText() && data->text() == selectedText()) {
        clipboard->clear(QClipboard::Selection);
    }
}

}  // namespace dorvanta
