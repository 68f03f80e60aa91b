#include "platform/Cp1252Validator.h"

#include <QComboBox>
#include <QLineEdit>

#include "platform/System.h"
#include "platform/TextConv.h"

namespace dorvanta {

QValidator::State TCp1252Validator::validate(QString& input, int&) const {
    if (FitsCp1252(input)) return Acceptable;
    Beep();
    return Invalid;
}

void RestrictToCp1252(QLineEdit* edit) { edit->setValidator(new TCp1252Validator(edit)); }

void RestrictToCp1252(QComboBox* combo) {
    combo->setValidator(new TCp1252Validator(combo));
}

}  // namespace dorvanta
