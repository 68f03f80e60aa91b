#pragma once
// The one way the program asks the user: questions, warnings, errors, inputs, file dialogs.
// All of them go through this service so that they look alike and tests can answer
// them without a real dialog ever waiting for input. The service builds each
// question, has it answered by the scripted answers (ScriptedAnswers.h) or by the
// real dialogs (MessageWidgets.h), and logs it.
//
// Test mode: answers queued with QueueAnswer/QueueInput/QueueFileName are used, in
// order, by the next questions of that kind (message boxes with standard buttons
// and with buttons of their own captions are one kind). In test mode a question with nothing
// queued does not block: it is logged as unanswered and returns its Escape answer
// (Cancel for inputs and file dialogs). Outside test mode a queued answer is still
// used first. In test mode every question is logged (Asked()); outside it nothing
// is kept, since a question's text and answer may be a collection's secrets.
// ForgetTexts overwrites the log's texts (a lock, New, Open). A passphrase box takes one
// queued input per field: the first answers its first field (a cancel there
// cancels the box and takes no more), the next one "Passwort wiederholen".
// A password is never logged, masked or not: its answer and initial text are
// "<hidden>".
//
// For end-to-end tests of the real program only, the environment can switch test
// mode on at start:
//   DORVANTA_TEST_ANSWERS="Yes,Ok,Cancel"  button answers (Ok Cancel Yes No Abort
//                                          Retry Ignore, or a button's caption such
//                                          as Überschreiben), comma-separated
//   DORVANTA_TEST_INPUTS, DORVANTA_TEST_FILES  texts / paths, one per line;
//                                          a line "<cancel>" cancels
//   DORVANTA_TEST_LOG=path                 appends one line per question:
//                                          kind, caption, text, answer (tab-separated)
// Setting any of them puts the process in test mode. Apart from them,
//   DORVANTA_TEST_FILE_LIST=path           appends what a file dialog's list shows
//                                          once it has read a folder: folder, name,
//                                          size, type, date (tab-separated)

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

namespace dorvanta {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButton { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

// The German caption of a button ("OK", "Abbrechen", "&Ja", "&Nein", ...).
QString ButtonCaption(MsgButton button);
// "Yes" -> MsgButton::Yes (case-insensitive); nothing for an unknown name.
std::optional<MsgButton> ButtonFromName(const QString& name);
QString ButtonName(MsgButton button);

// The application error box's text: a full stop is appended only when the last
// character sorts after '.' in character code.
QString ApplicationErrorText(const QString& message);

// The suffix a file type gives a name without one: "pdt.age" for
// "Private Daten (*.pdt.age)"; empty when the type has no "(*." pattern.
QString SuffixOfFilter(const QString& filter);

// The name a save dialog with several types ("A (*.a);;B (*.b.c)") writes to:
// whatever suffix of those types the name ends with ("b.c", also its tail "c",
// repeated ones too) gives way to the suffix of `chosenType`, which always ends
// it: "x.a" and "x.c" saved as B are "x.b.c". The folder is left as it is; a
// type without a suffix leaves the name as it is.
QString NameForFileType(const QString& path, const QString& filter, const QString& chosenType);

struct AskedQuestion {
    enum class Kind { Message, Input, OpenFile, SaveFile, Dialog };
    Kind kind = Kind::Message;
    QString text;     // message text; the prompt of an input; empty for file dialogs
    QString caption;  // window caption
    MsgIcon icon = MsgIcon::None;
    std::vector<MsgButton> buttons;  // Message only
    MsgButton defaultButton = MsgButton::Ok;
    MsgButton escapeButton = MsgButton::Ok;
    // A message with buttons of its own (AskChoice): their captions, and the index
    // of the default, the Escape answer and the answer.
    QStringList choices;
    int defaultChoice = -1;
    int escapeChoice = -1;
    int choice = -1;
    bool beep = false;
    QString initial;  // input: the initial text; file dialogs: the initial path
    QString filter;   // file dialogs
    QString defaultSuffix;
    int maxLength = 0;                    // input
    bool password = false;                // the input is masked (a passphrase box always is)
    bool secret = false;                  // the input is a password, though its field shows it
    bool repeat = false;                  // a passphrase box with the field "Passwort wiederholen"
    bool answered = false;                // false: nothing queued in test mode (or a queued answer
                                          // that was not one of the offered buttons)
    MsgButton answer = MsgButton::Ok;     // Message
    std::optional<QString> textAnswer;    // Input, OpenFile, SaveFile
    std::optional<QString> repeatAnswer;  // a passphrase box's "Passwort wiederholen"
};

// The longest text a passphrase box takes; it takes any characters (an encrypted
// file's passphrase is UTF-8, unlike every other text the program asks for).
inline constexpr int kMaxPassphraseLength = 4096;

// What a passphrase box was given: its field, and "Passwort wiederholen" when asked.
struct TPassphraseAnswer {
    QString text;
    QString repeat;
};

class TScriptedAnswers;

// Whether the message service is in test mode: questions are not shown, beeps and
// opened links are only counted (see System.h).
bool InTestMode();

class MessageService {
  public:
    static MessageService& Instance();

    MsgButton Ask(const QString& text, const QString& caption, MsgIcon icon,
                  std::vector<MsgButton> buttons, MsgButton defaultButton, MsgButton escapeButton,
                  bool beep = false);

    // A message box with buttons of the given captions, in this order; returns the
    // index of the one chosen (`escapeButton` for Escape and the close box). In
    // test mode a queued answer picks the button of its caption: one queued with
    // QueueAnswer(caption), or a standard one whose caption matches ("Cancel"
    // answers "Abbrechen"); '&' marks are ignored in the comparison.
    int AskChoice(const QString& text, const QString& caption, MsgIcon icon,
                  const QStringList& buttons, int defaultButton, int escapeButton,
                  bool beep = false);

    // OK only.
    void Message(const QString& text, const QString& caption, MsgIcon icon);
    // The confirmation convention: exclamation beep, caption "Warnung", warning icon,
    // "&Ja" (default) and "&Nein" (Escape). True for "&Ja".
    bool Confirm(const QString& text);
    // The same with "Abbrechen" added, which Escape and the close box answer.
    MsgButton ConfirmWithCancel(const QString& text);

    // A one-line text input ("OK"/"Abbrechen"); nothing when cancelled. `password`
    // masks the field; `secret` keeps a password shown in clear (the plain
    // format's) out of the log, as a masked one is.
    std::optional<QString> InputText(const QString& caption, const QString& prompt,
                                     const QString& initial, int maxLength = 255,
                                     bool password = false, bool secret = false);

    // A passphrase box ("OK"/"Abbrechen"): a masked field that starts empty, with
    // `repeat` a second one, "Passwort wiederholen", and the check box "Passwort
    // anzeigen" that shows what is typed. Logged as an Input with `password`;
    // nothing when cancelled. The caller compares the two texts.
    std::optional<TPassphraseAnswer> AskPassphrase(const QString& caption, const QString& prompt,
                                                   bool repeat,
                                                   int maxLength = kMaxPassphraseLength);

    // File dialogs; `filter` as Qt writes it ("Private Daten (*.pdt)"), the suffix
    // without dot. Open wants an existing file; Save asks before overwriting one.
    // A chosen name without suffix gets the default suffix. Nothing when cancelled.
    std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& defaultSuffix,
                                        const QString& initialPath = {});
    std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& defaultSuffix,
                                        const QString& initialPath = {});
    // With several file types ("A (*.a);;B (*.b.c)"): the dialog starts on
    // `initialFilter` (or the first), a name without suffix gets the suffix of the
    // type chosen, and `selectedFilter` receives that type. In test mode the type
    // is the one queued with QueueFileFilter, else the one with the longest
    // suffix the name ends with, else `initialFilter` (or the first).
    std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& initialPath,
                                        const QString& initialFilter, QString* selectedFilter);

    // Shows a window of the program's own modally (the update wizard) and returns
    // its result. In test mode it is only logged (kind Dialog, answered) and not
    // shown, unless a driver is queued: that runs once the window is open.
    int RunModal(QDialog& dialog);
    void QueueDialogDriver(std::function<void(QDialog&)> driver);

    // The application error box: caption "Dorvanta", error icon, OK, text from
    // ApplicationErrorText.
    void ShowApplicationError(const QString& message);

    // While on, every question is answered at once with its Escape answer (an
    // input or file dialog as cancelled, a window of the program's own as
    // rejected) without being shown, also in test mode. A lock that waits for a
    // running open or save ends it this way: a question it asks again cannot
    // hold the lock off, and a cancel writes nothing.
    void SetCancelQuestions(bool on) { cancelQuestions_ = on; }
    bool CancelsQuestions() const { return cancelQuestions_; }

    // Test hooks.
    void SetTestMode(bool on);
    bool TestMode() const;
    void QueueAnswer(MsgButton answer);
    // The button of this caption, in a box with buttons of its own or a standard one.
    void QueueAnswer(const QString& buttonCaption);
    void QueueInput(std::optional<QString> text);
    void QueueFileName(std::optional<QString> path);
    void QueueFileFilter(QString filter);
    const std::vector<AskedQuestion>& Asked() const { return asked_; }
    // Overwrites the logged questions' texts, initial texts and answers; the
    // questions stay without them (with their captions, buttons and whether and
    // how they were answered), and so do the queued answers: a lock, New and
    // Open leave no text of the collection in the log.
    void ForgetTexts();
    // Called with every question as it is answered, in test mode or not, while its
    // caller still waits: tests look at the program's state at that moment.
    void SetAskedHook(std::function<void(const AskedQuestion&)> hook) {
        askedHook_ = std::move(hook);
    }
    // Forgets the log and every queued answer; questions are no longer cancelled.
    void ClearLog();
    // Reads the DORVANTA_TEST_* variables; done once by Instance().
    void LoadTestAnswersFromEnvironment();

  private:
    MessageService();
    ~MessageService();
    // Logs the question: the answer file of an end-to-end run, the hook, Asked().
    void Record(AskedQuestion question);
    // Gives `q` its Escape answer when questions are being cancelled.
    bool Cancelled(AskedQuestion& q) const;
    std::optional<QString> FileName(bool save, QWidget* parent, const QString& caption,
                                    const QString& filter, const QString& defaultSuffix,
                                    const QString& initialPath, const QString& initialFilter = {},
                                    QString* selectedFilter = nullptr);

    // Answers questions in place of the user while it has something queued for
    // them or test mode is on; the real dialogs answer the rest.
    std::unique_ptr<TScriptedAnswers> scripted_;
    std::vector<AskedQuestion> asked_;
    std::function<void(const AskedQuestion&)> askedHook_;
    bool cancelQuestions_ = false;
};

}  // namespace dorvanta
