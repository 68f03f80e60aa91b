#pragma once
// Edit fields take only what the files can store: a character outside Windows-1252
// is refused as it is typed or pasted (with the system beep), never changed silently.

#include <QValidator>

class QLineEdit;
class QComboBox;

namespace dorvanta {

class TCp1252Validator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Puts a validator on the field (or the combo box's editor).
void RestrictToCp1252(QLineEdit* edit);
void RestrictToCp1252(QComboBox* combo);

}  // namespace dorvanta
