#include "platform/Cp1252Validator.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolTip>
#include <algorithm>

#include "platform/GermanFormat.h"
#include "platform/System.h"
#include "platform/TextConv.h"

namespace dorvanta {
namespace {

// How long the hint stays in the status bar.
constexpr int kStatusHintMs = 10000;

// The length of the UTF-16 character (1, or 2 for a surrogate pair) at `i`.
qsizetype CharacterLength(const QString& text, qsizetype i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) return 2;
    return 1;
}

}  // namespace

TCp1252Validator::TCp1252Validator(QLineEdit* edit, QObject* parent)
    : QValidator(parent), edit_(edit), last_(edit ? edit->text() : QString()) {}

bool TCp1252Validator::CutToMaxChars(QString& input, int& pos) const {
    if (maxChars_ <= 0 || input.size() <= maxChars_) return false;
    // The text the change brought lies between what it shares with the text before.
    const QString& before = last_;
    const qsizetype shorter = std::min(before.size(), input.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == input[head]) ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           before[before.size() - 1 - tail] == input[input.size() - 1 - tail]) {
        ++tail;
    }
    const qsizetype room = std::max<qsizetype>(0, maxChars_ - head - tail);
    qsizetype keep = std::min(room, input.size() - head - tail);
    if (keep > 0 && input[head + keep - 1].isHighSurrogate()) --keep;  // no half pair
    if (head + keep + tail > maxChars_) {
        input.truncate(maxChars_);  // the text before was already too long
    } else {
        input = input.left(head + keep) + input.right(tail);
    }
    pos = static_cast<int>(std::min<qsizetype>(head + keep, input.size()));
    return true;
}

QValidator::State TCp1252Validator::validate(QString& input, int& pos) const {
    if (CutToMaxChars(input, pos) && edit_) {
        Beep();
        ShowFieldHint(edit_, TooLongHint(maxChars_));
    }
    const QString before = last_;
    last_ = input;
    if (FitsCp1252(input)) return Acceptable;
    if (!edit_ || !edit_->isModified()) return Intermediate;

    // What the change brought: the text between the beginning and the end it
    // shares with the text before (a pair of surrogates is never split).
    const qsizetype shorter = std::min(before.size(), input.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == input[head]) ++head;
    if (head > 0 && input[head - 1].isHighSurrogate()) --head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           before[before.size() - 1 - tail] == input[input.size() - 1 - tail]) {
        ++tail;
    }
    if (tail > 0 && input[input.size() - tail].isLowSurrogate()) --tail;

    QString kept = input.left(head);
    QString refused;
    int newPos = pos;
    for (qsizetype i = head; i < input.size() - tail;) {
        const qsizetype length = CharacterLength(input, i);
        const QString character = input.mid(i, length);
        if (FitsCp1252(character)) {
            kept += character;
        } else {
            if (refused.isEmpty()) refused = character;
            if (i < pos) newPos -= static_cast<int>(std::min<qsizetype>(length, pos - i));
        }
        i += length;
    }
    if (refused.isEmpty()) return Intermediate;  // only the program's own text holds any
    kept += input.right(tail);

    ShowRefusedCharacter(edit_, refused);
    if (kept == before) {
        // Nothing storable came (a typed character): the field undoes the change
        // and keeps its undo history.
        last_ = before;
        return Invalid;
    }
    input = kept;
    pos = std::clamp(newPos, 0, static_cast<int>(kept.size()));
    last_ = input;
    return FitsCp1252(input) ? Acceptable : Intermediate;
}

QString RefusedCharacterHint(const QString& character) {
    return QStringLiteral("Das Zeichen \u201E") + character +
           QStringLiteral("\u201C kann in Dorvanta-Dateien nicht gespeichert werden.");
}

QString TooLongHint(int maxChars) {
    return QStringLiteral("Das Feld nimmt höchstens %1 Zeichen auf; der Rest wurde nicht "
                          "übernommen.")
        .arg(GermanNumber(static_cast<qlonglong>(maxChars)));
}

void ShowRefusedCharacter(QLineEdit* edit, const QString& character) {
    Beep();
    ShowFieldHint(edit, RefusedCharacterHint(character));
}

void ShowFieldHint(QLineEdit* edit, const QString& hint) {
    if (auto* main = qobject_cast<QMainWindow*>(edit->window())) {
        main->statusBar()->showMessage(hint, kStatusHintMs);
        return;
    }
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), hint, edit);
}

void RestrictToCp1252(QLineEdit* edit, int maxChars) {
    auto* validator = new TCp1252Validator(edit, edit);
    validator->SetMaxChars(maxChars);
    edit->setValidator(validator);
}

void RestrictToCp1252(QComboBox* combo) {
    combo->setValidator(new TCp1252Validator(combo->lineEdit(), combo));
}

}  // namespace dorvanta
