#pragma once
// The real dialogs behind the message service: message boxes, inputs, the file dialog.
// Each shows its question modally over the active window, waits for the user and
// fills in the answer (and marks it answered); the message service alone calls them.

#include <QString>

#include "platform/MessageService.h"

class QWidget;

namespace dorvanta {

// Standard buttons (question.buttons): `answer`; Escape and the close box give
// the escape button.
void ShowMessageBox(AskedQuestion& question);
// Buttons of its own, left to right as question.choices has them: `choice`, which
// the caller sets to the Escape answer beforehand.
void ShowChoiceBox(AskedQuestion& question);
// A one-line input that takes only Windows-1252 text: `textAnswer`, none when
// cancelled.
void ShowInputBox(AskedQuestion& question);
// A passphrase box: masked fields (the second with question.repeat) that start
// empty and a check box "Passwort anzeigen" that shows them: `textAnswer` and
// `repeatAnswer`, none when cancelled.
void ShowPassphraseBox(AskedQuestion& question);
// An open or save dialog (by the question's kind) over `parent`, else the active
// window. It starts on the type `initialFilter` when given; `selectedFilter` (when
// given) receives the type chosen. With `fileListLogPath` set, every folder it
// reads is appended to that file as its list shows it.
void ShowFileDialog(AskedQuestion& question, QWidget* parent, const QString& initialFilter,
                    QString* selectedFilter, const QString& fileListLogPath);

}  // namespace dorvanta
