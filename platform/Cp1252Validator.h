#pragma once
// Edit fields take only what the files can store: a character outside Windows-1252
// is refused as it is typed or pasted, never changed silently. The refusal beeps
// and says which character it was: in the main window's status bar, in a dialog
// in a tool tip at the field. A paste keeps every character that can be stored.

#include <QPointer>
#include <QValidator>

class QLineEdit;
class QComboBox;

namespace dorvanta {

class TCp1252Validator : public QValidator {
    Q_OBJECT
  public:
    // `edit`: the field it checks (a combo box's editor for a combo box).
    TCp1252Validator(QLineEdit* edit, QObject* parent);
    // At most `chars` characters (0: no limit). A longer paste keeps its beginning
    // and says so: a line edit lays out and paints its whole text at every
    // repaint, even a cursor's blink.
    void SetMaxChars(int chars) { maxChars_ = chars; }
    // A change the user made drops the characters it brought that cannot be
    // stored. A text the program set (the field then counts as unmodified, e.g. a
    // path chosen in a file dialog) is kept as it is and is only Intermediate.
    State validate(QString& input, int& pos) const override;

  private:
    QPointer<QLineEdit> edit_;
    mutable QString last_;  // the field's text as last validated
    int maxChars_ = 0;
    // Cuts what a change brought so that `input` keeps to maxChars_; true if it did.
    bool CutToMaxChars(QString& input, int& pos) const;
};

// "Das Zeichen „ł“ kann in Dorvanta-Dateien nicht gespeichert werden."
QString RefusedCharacterHint(const QString& character);
// Beeps and shows the hint for the field: in the status bar of a main window,
// else as a tool tip below the field.
void ShowRefusedCharacter(QLineEdit* edit, const QString& character);

// "Das Feld nimmt höchstens 100.000 Zeichen auf; der Rest wurde nicht übernommen."
QString TooLongHint(int maxChars);

// The hint below the field, or in the main window's status bar.
void ShowFieldHint(QLineEdit* edit, const QString& hint);

// Puts a validator on the field (or the combo box's editor); `maxChars` as in
// SetMaxChars. Qt's own maxLength would cut a paste without a word.
void RestrictToCp1252(QLineEdit* edit, int maxChars = 0);
void RestrictToCp1252(QComboBox* combo);

}  // namespace dorvanta
