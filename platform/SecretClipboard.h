#pragma once
// The one way the program puts text on the clipboard. Every text is marked as a
// secret, so clipboard histories (Klipper, CopyQ, fcitx5) leave it out, and it can
// be taken off the clipboard again after a delay and when the program ends. The
// main window owns the one instance and lends it to the dialogs.

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;

namespace dorvanta {

class TSecretClipboard : public QObject {
    Q_OBJECT
  public:
    // The MIME part and value that clipboard histories honour.
    static constexpr const char* kHintFormat = "x-kde-passwordManagerHint";
    static constexpr const char* kHintValue = "secret";
    static constexpr int kDefaultClearDelay = 30000;  // milliseconds

    // The text a widget's copy key copies; nothing copies nothing.
    using TCopyText = std::function<std::optional<QString>()>;

    explicit TSecretClipboard(QObject* parent = nullptr);
    // With clearing on, a text of ours still on the clipboard is taken off.
    ~TSecretClipboard() override;

    // Puts `text` on the clipboard as text/plain with the hint; with clearing on,
    // (re)starts the delay.
    void SetText(const QString& text);

    // Off stops a pending clearing; on applies to the next copy.
    void SetClearEnabled(bool on);
    bool ClearEnabled() const { return clearEnabled_; }
    void SetClearDelay(int ms) { timer_.setInterval(ms); }
    int ClearDelay() const { return timer_.interval(); }
    // True while a copied text waits for its delay to run out.
    bool ClearPending() const { return timer_.isActive(); }

    // Takes the copy key (QKeySequence::Copy) of `widget` before the widget sees
    // it and puts `text()` here instead: an item view's own copy would put its
    // shortened display text on the clipboard, unmarked and never cleared. The key
    // is taken even when there is nothing to copy.
    void RouteCopies(QWidget* widget, TCopyText text);

    // True while this program owns the clipboard and it holds the very content of
    // the last copy here: a text copied since, even the same one with the same
    // hint from another program, is the user's.
    bool HoldsOwnText() const;
    // Empties the clipboard if HoldsOwnText(); forgets the text either way.
    void ClearOwnText();

    // The clipboard content for `text`; the caller takes ownership.
    static QMimeData* SecretMimeData(const QString& text);

  private:
    QTimer timer_;
    QString text_;  // the last text copied, kept only until it is cleared
    QPointer<QMimeData> own_;  // what SetText put there; the clipboard deletes it when replaced
    bool ownershipKnown_ = false;
    bool copied_ = false;
    bool clearEnabled_ = false;
};

}  // namespace dorvanta
