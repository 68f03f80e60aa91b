#include "dialogs/FixedDialog.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>
#include <algorithm>

namespace dorvanta {

TFixedDialog::TFixedDialog(QWidget* owner, const QSize& clientSize, FirstPlace firstPlace)
    : QDialog(owner), clientSize_(clientSize), firstPlace_(firstPlace) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    FitTitle();
    // Windows do not inherit their owner's font; the dialogs are laid out for it.
    if (owner) setFont(owner->font());
}

int TFixedDialog::TitleBarWidth(const QString& title, const QStyle* style) {
    // The window manager draws the title in its own font, which Qt cannot ask
    // for; desktops draw it as their interface font in bold, the application's.
    QFont font = QApplication::font();
    font.setBold(true);
    const int bar = style ? style->pixelMetric(QStyle::PM_TitleBarHeight) : 0;
    // Buttons are about as wide as the bar is high: room for a close button on
    // either side of a centred title, and one more for a window menu or a second button.
    return QFontMetrics(font).horizontalAdvance(title) + 3 * std::max(bar, 24);
}

void TFixedDialog::SetClientSize(const QSize& clientSize) {
    clientSize_ = clientSize;
    FitTitle();
}

void TFixedDialog::FitTitle() {
    // Wider on the right only: the controls keep their designed places.
    const int width = std::max(clientSize_.width(), TitleBarWidth(windowTitle(), style()));
    setFixedSize(width, clientSize_.height());
}

bool TFixedDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    switch (event->type()) {
        case QEvent::WindowTitleChange:
        case QEvent::StyleChange:
            FitTitle();
            break;
        default:
            break;
    }
    return handled;
}

void TFixedDialog::showEvent(QShowEvent* event) {
    // A window does not hear of a change of the application font; it is measured again here.
    FitTitle();
    if (!placed_) {
        // Over the owner's window: an owner inside a window has no global frame.
        QRect area = parentWidget() ? parentWidget()->window()->frameGeometry() : QRect();
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
