#pragma once
// The one way the program puts text on the clipboard. Every text is marked as a
// secret, so clipboard histories (Klipper, CopyQ, fcitx5) leave it out, and it can
// be taken off the clipboard again after a delay and when the program ends.

#include <QObject>
#include <QString>
#include <QTimer>

class QMimeData;

namespace dorvanta {

class TSecretClipboard : public QObject {
    Q_OBJECT
  public:
    // The MIME part and value that clipboard histories honour.
    static constexpr const char* kHintFormat = "x-kde-passwordManagerHint";
    static constexpr const char* kHintValue = "secret";
    static constexpr int kDefaultClearDelay = 30000;  // milliseconds

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

    // True while the clipboard holds the last text copied here, with the hint: a
    // text copied since, even the same one from another place, is the user's.
    bool HoldsOwnText() const;
    // Empties the clipboard if HoldsOwnText(); forgets the text either way.
    void ClearOwnText();

    // The clipboard content for `text`; the caller takes ownership.
    static QMimeData* SecretMimeData(const QString& text);

  private:
    QTimer timer_;
    QString text_;  // the last text copied, kept only until it is cleared
    bool copied_ = false;
    bool clearEnabled_ = false;
};

}  // namespace dorvanta
