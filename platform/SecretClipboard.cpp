// The clipboard for secrets: the hint for clipboard histories and the clearing.
#include "platform/SecretClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QWidget>

#include "platform/Application.h"

namespace dorvanta {

namespace {

// Lives as a child of the widget whose copy key it takes.
class TCopyRoute : public QObject {
  public:
    TCopyRoute(QWidget* widget, TSecretClipboard& clipboard, TSecretClipboard::TCopyText text)
        : QObject(widget), clipboard_(&clipboard), text_(std::move(text)) {
        widget->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) return false;
        // Accepting the override keeps a window shortcut from taking the key, so the
        // key press comes here.
        event->accept();
        if (type == QEvent::KeyPress && clipboard_) {
            RunGuarded([this] {
                if (const std::optional<QString> text = text_()) clipboard_->SetText(*text);
            });
        }
        return true;
    }

  private:
    QPointer<TSecretClipboard> clipboard_;  // the window's, which may go first
    TSecretClipboard::TCopyText text_;
};

// Takes our text off the clipboard. A Wayland compositor may keep a copy of every
// clipboard text and offer it again as soon as the clipboard is unset, so that a
// copy outlives its program (weston does, without the hint): unsetting would
// bring our text back. An empty content in its place leaves nothing to keep.
void EmptyClipboard(QClipboard& clipboard) {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        clipboard.setMimeData(new QMimeData);
    } else {
        clipboard.clear();
    }
}

}  // namespace

TSecretClipboard::TSecretClipboard(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setInterval(kDefaultClearDelay);
    connect(&timer_, &QTimer::timeout, this, [this] { ClearOwnText(); });
}

TSecretClipboard::~TSecretClipboard() {
    if (clearEnabled_) ClearOwnText();
}

QMimeData* TSecretClipboard::SecretMimeData(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kHintFormat), QByteArray(kHintValue));
    return data;
}

void TSecretClipboard::SetText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    QMimeData* data = SecretMimeData(text);
    clipboard->setMimeData(data);
    own_ = data;
    // A platform without owners (offscreen) never says it owns the clipboard; there
    // the content's identity alone tells.
    ownershipKnown_ = clipboard->ownsClipboard();
    text_ = text;
    copied_ = true;
    if (clearEnabled_) timer_.start();
}

void TSecretClipboard::SetClearEnabled(bool on) {
    clearEnabled_ = on;
    if (!on) timer_.stop();
}

void TSecretClipboard::RouteCopies(QWidget* widget, TCopyText text) {
    new TCopyRoute(widget, *this, std::move(text));
}

bool TSecretClipboard::HoldsOwnText() const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!copied_ || !clipboard) return false;
    // Another program's copy of the same text with the same hint is the user's:
    // only the very content put there here counts, and only while it is ours.
    if (ownershipKnown_ && !clipboard->ownsClipboard()) return false;
    const QMimeData* data = clipboard->mimeData();
    if (!data || data != own_) return false;
    // The hint first: asking another program for its text can take a while.
    const QString hint = QString::fromLatin1(kHintFormat);
    return data->hasFormat(hint) && data->data(hint) == kHintValue && data->hasText() &&
           data->text() == text_;
}

void TSecretClipboard::ClearOwnText() {
    timer_.stop();
    if (HoldsOwnText()) EmptyClipboard(*QGuiApplication::clipboard());
    text_.clear();
    own_ = nullptr;
    copied_ = false;
}

}  // namespace dorvanta
