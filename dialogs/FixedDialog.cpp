#include "dialogs/FixedDialog.h"

#include <QScreen>

namespace dorvanta {

TFixedDialog::TFixedDialog(QWidget* owner, const QSize& clientSize, FirstPlace firstPlace)
    : QDialog(owner), firstPlace_(firstPlace) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(clientSize);
    // Windows do not inherit their owner's font; the dialogs are laid out for it.
    if (owner) setFont(owner->font());
}

void TFixedDialog::showEvent(QShowEvent* event) {
    if (!placed_) {
        QRect area = parentWidget() ? parentWidget()->frameGeometry() : QRect();
        if (firstPlace_ == FirstPlace::ScreenCentre || area.isNull()) {
            if (const QScreen* screen = this->screen()) area = screen->availableGeometry();
        }
        move(area.center() - QPoint(width() / 2, height() / 2));
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
