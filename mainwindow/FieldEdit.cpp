#include "mainwindow/FieldEdit.h"

#include <sodium.h>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include "platform/Cp1252Validator.h"
#include "platform/GermanFormat.h"
#include "platform/SecretClipboard.h"
#include "platform/TextConv.h"

namespace dorvanta {

TFieldEdit::TFieldEdit(QWidget* parent) : TNoPrimaryLineEdit(parent) {
    setMaxLength(kMaxEditChars);
    RestrictToCp1252(this);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (held_ && text != shown_) Release();
    });
}

void TFieldEdit::SetField(const std::string& cp1252) {
    if (cp1252.size() <= static_cast<std::size_t>(kMaxEditChars)) {
        Release();
        setText(ToQString(cp1252));
        return;
    }
    held_ = cp1252;
    shown_ = ShownText(cp1252);
    setReadOnly(true);
    setStatusTip(QStringLiteral("Der Text ist mit %1 Zeichen zu lang zum Bearbeiten; beim Ändern "
                                "des Eintrags bleibt er unverändert.")
                     .arg(GermanNumber(static_cast<qlonglong>(cp1252.size()))));
    setText(shown_);
    setCursorPosition(0);
}

std::string TFieldEdit::Field() const {
    if (held_) return *held_;
    return FromQString(text()).value_or(std::string());
}

void TFieldEdit::CopySelection(bool cut) {
    if (!hasSelectedText()) return;
    clipboard_->SetText(selectedText());
    if (cut && !isReadOnly()) del();
}

void TFieldEdit::keyPressEvent(QKeyEvent* event) {
    const bool copy = event->matches(QKeySequence::Copy);
    const bool cut = event->matches(QKeySequence::Cut);
    if (clipboard_ && (copy || cut)) {
        CopySelection(cut);
        event->accept();
        return;
    }
    TNoPrimaryLineEdit::keyPressEvent(event);
}

void TFieldEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    if (clipboard_) {
        // The menu's own copy and cut are replaced, not merely joined. They are told
        // by their connection to the line edit's slots (made with SLOT()): Qt 6.4
        // gives them no object names, and their texts are translated.
        for (QAction* action : menu->actions()) {
            const bool copy = disconnect(action, SIGNAL(triggered()), this, SLOT(copy()));
            const bool cut = disconnect(action, SIGNAL(triggered()), this, SLOT(cut()));
            if (!copy && !cut) continue;
            connect(action, &QAction::triggered, this, [this, cut] { CopySelection(cut); });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TFieldEdit::Forget() {
    if (held_ && !held_->empty()) sodium_memzero(held_->data(), held_->size());
    Release();
    setText(QString());  // unlike clear(), also empties the undo history
}

void TFieldEdit::Release() {
    if (!held_) return;
    held_.reset();
    shown_.clear();
    setReadOnly(false);
    setStatusTip(QString());
}

}  // namespace dorvanta
