#include "dialogs/FixedDialog.h"

namespace dorvanta {

TFixedDialog::TFixedDialog(QWidget* owner, const QSize& clientSize) : QDialog(owner) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(clientSize);
    // Windows do not inherit their owner's font; the dialogs are laid out for it.
    if (owner) setFont(owner->font());
}

void TFixedDialog::showEvent(QShowEvent* event) {
    if (!placed_) {
        const QRect owner = parentWidget() ? parentWidget()->frameGeometry() : QRect();
        move(owner.center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    } else {
        move(lastPos_);
    }
    QDialog::showEvent(event);
}

void TFixedDialog::done(int result) {
    lastPos_ = pos();
    QDialog::done(result);
}

}  // namespace dorvanta
