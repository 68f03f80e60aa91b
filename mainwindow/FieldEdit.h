#pragma once
// An editor field for one text of an entry. A line edit lays out its whole text
// at every change, so a text longer than kMaxEditChars is not put into it: it is
// held whole beside the field, which shows its beginning as the lists do and is
// read-only meanwhile. Storing the entry takes the held text unchanged; any other
// text put into the field (emptying it included) ends the holding.

#include <optional>
#include <string>

#include "platform/NoPrimaryLineEdit.h"

namespace dorvanta {

class TSecretClipboard;

class TFieldEdit : public TNoPrimaryLineEdit {
    Q_OBJECT
  public:
    // The longest text the field edits (what a line edit takes by default).
    static constexpr int kMaxEditChars = 32767;

    explicit TFieldEdit(QWidget* parent = nullptr);

    // Puts a stored Windows-1252 text into the field.
    void SetField(const std::string& cp1252);
    // The field's text in Windows-1252: the held one while there is one.
    std::string Field() const;
    bool Holding() const { return held_.has_value(); }
    // Empties the field and its undo history, overwriting a held text first.
    void Forget();
    // Copy and cut (keys and the context menu) go through `clipboard`, which marks
    // the text secret and clears it after its delay: the line edit's own do not.
    // A selection is never offered as X11's primary selection (TNoPrimaryLineEdit).
    void SetClipboard(TSecretClipboard* clipboard) { clipboard_ = clipboard; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void Release();
    void CopySelection(bool cut);

    TSecretClipboard* clipboard_ = nullptr;

    std::optional<std::string> held_;
    QString shown_;  // what the field shows of the held text
};

}  // namespace dorvanta
