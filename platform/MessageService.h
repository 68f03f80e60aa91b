#pragma once
// Every modal question, warning, error, text input and file dialog of the program
// goes through this one service, so that all of them look alike and tests can
// answer them without a real dialog ever waiting for input.
//
// Test mode: answers queued with QueueAnswer/QueueInput/QueueFileName are used, in
// order, by the next questions of that kind (message boxes with standard buttons
// and with buttons of their own captions are one kind). In test mode a question with nothing
// queued does not block: it is logged as unanswered and returns its Escape answer
// (Cancel for inputs and file dialogs). Outside test mode a queued answer is still
// used first. Every question is logged (Asked()).
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
#include <deque>
#include <functional>
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
    int maxLength = 0;  // input
    bool password = false;
    bool answered = false;              // false: nothing queued in test mode (or a queued answer
                                        // that was not one of the offered buttons)
    MsgButton answer = MsgButton::Ok;   // Message
    std::optional<QString> textAnswer;  // Input, OpenFile, SaveFile
};

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

    // A one-line text input ("OK"/"Abbrechen"); nothing when cancelled.
    std::optional<QString> InputText(const QString& caption, const QString& prompt,
                                     const QString& initial, int maxLength = 255,
                                     bool password = false);

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
    // is the one queued with QueueFileFilter, else the first whose pattern the
    // name ends with, else the first.
    std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& initialPath,
                                        const QString& initialFilter, QString* selectedFilter);

    // Shows a window of the program's own modally (the update wizard) and returns
    // its result. In test mode it is only logged (kind Dialog, answered) and not
    // shown, unless a driver is queued: that runs once the window is open.
    int RunModal(QDialog& dialog);
    void QueueDialogDriver(std::function<void(QDialog&)> driver) {
        drivers_.push_back(std::move(driver));
    }

    // The application error box: caption "Dorvanta", error icon, OK, text from
    // ApplicationErrorText.
    void ShowApplicationError(const QString& message);

    // Test hooks.
    void SetTestMode(bool on) { testMode_ = on; }
    bool TestMode() const { return testMode_; }
    void QueueAnswer(MsgButton answer) { answers_.push_back({answer, {}}); }
    // The button of this caption, in a box with buttons of its own or a standard one.
    void QueueAnswer(const QString& buttonCaption) {
        answers_.push_back({std::nullopt, buttonCaption});
    }
    void QueueInput(std::optional<QString> text) { inputs_.push_back(std::move(text)); }
    void QueueFileName(std::optional<QString> path) { files_.push_back(std::move(path)); }
    void QueueFileFilter(QString filter) { fileFilters_.push_back(std::move(filter)); }
    const std::vector<AskedQuestion>& Asked() const { return asked_; }
    // Called with every question as it is logged, while its caller still waits:
    // tests look at the program's state at that moment.
    void SetAskedHook(std::function<void(const AskedQuestion&)> hook) {
        askedHook_ = std::move(hook);
    }
    // Forgets the log and every queued answer.
    void ClearLog();
    // Reads the DORVANTA_TEST_* variables; done once by Instance().
    void LoadTestAnswersFromEnvironment();

  private:
    MessageService();
    void Record(AskedQuestion question);
    std::optional<QString> FileName(bool save, QWidget* parent, const QString& caption,
                                    const QString& filter, const QString& defaultSuffix,
                                    const QString& initialPath, const QString& initialFilter = {},
                                    QString* selectedFilter = nullptr);

    // A queued answer: a standard button, or a button's caption.
    struct QueuedAnswer {
        std::optional<MsgButton> button;
        QString caption;
    };
    // The index among `captions` that a queued answer picks; -1 when none.
    static int Pick(const QueuedAnswer& queued, const QStringList& captions);

    bool testMode_ = false;
    std::deque<QueuedAnswer> answers_;
    std::deque<std::optional<QString>> inputs_;
    std::deque<std::optional<QString>> files_;
    std::deque<QString> fileFilters_;
    std::deque<std::function<void(QDialog&)>> drivers_;
    std::vector<AskedQuestion> asked_;
    QString logPath_;
    QString fileListLogPath_;
    std::function<void(const AskedQuestion&)> askedHook_;
};

}  // namespace dorvanta
