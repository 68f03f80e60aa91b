#pragma once
// The program's one clipboard and its options in the "Optionen" menu: whether
// a copied text is cleared, and after how many seconds.

#include <QObject>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace dorvanta {

class TSecretClipboard;
class TSettingsStore;

class TClipboardOptions : public QObject {
    Q_OBJECT
  public:
    // `window`: holds the menu items, which live as long as it does.
    explicit TClipboardOptions(QWidget* window);
    ~TClipboardOptions() override;

    // The clipboard, lent to the panes and dialogs.
    TSecretClipboard& Clipboard() { return *clipboard_; }
    void AddOptions(QMenu* options);

    // How long a copied text stays on the clipboard while the clearing option is
    // on: the chosen delay until the next choice (shorter in tests).
    void SetClipboardClearDelay(int ms);
    // The delay chosen in "Zwischenablage leeren nach", in seconds; choosing one
    // renames the clearing option after it.
    int ClearClipboardSeconds() const;
    void SetClearClipboardSeconds(int seconds);

    // The delay is read with the other options, whether to clear at all last: a
    // value of the wrong type is reported without losing the others.
    void ReadDelay(TSettingsStore& settings);
    void ReadClearing(TSettingsStore& settings);
    void WriteSettings(TSettingsStore& settings) const;

  private:
    std::unique_ptr<TSecretClipboard> clipboard_;
    QAction* clear_ = nullptr;
    QMenu* delay_ = nullptr;
};

}  // namespace dorvanta
