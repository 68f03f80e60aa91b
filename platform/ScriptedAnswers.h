#pragma once
// Answers given ahead of time by tests and by an end-to-end run's DORVANTA_TEST_* variables.
// The message service hands a question here instead of to a real dialog while
// something is queued for its kind or test mode is on (see MessageService.h for
// the variables and the rules); each Answer* fills in the question's answer.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "platform/MessageService.h"

class QDialog;

namespace dorvanta {

class TScriptedAnswers {
  public:
    bool TestMode() const { return testMode_; }
    void SetTestMode(bool on) { testMode_ = on; }

    void QueueAnswer(MsgButton answer) { answers_.push_back({answer, {}}); }
    void QueueAnswer(const QString& buttonCaption) {
        answers_.push_back({std::nullopt, buttonCaption});
    }
    void QueueInput(std::optional<QString> text) { inputs_.push_back(std::move(text)); }
    void QueueFileName(std::optional<QString> path) { files_.push_back(std::move(path)); }
    void QueueFileFilter(QString filter) { fileFilters_.push_back(std::move(filter)); }
    void QueueDialogDriver(std::function<void(QDialog&)> driver) {
        drivers_.push_back(std::move(driver));
    }
    // Forgets every queued answer.
    void Clear();
    // Queues the answers of the DORVANTA_TEST_* variables after those queued
    // already; any of them set turns test mode on.
    void LoadFromEnvironment();

    // Whether a question of this kind is answered here and not by a real dialog.
    bool Answers(AskedQuestion::Kind kind) const;

    // A box of standard buttons: the next queued answer, if the box offers it;
    // else the Escape answer, not marked answered.
    void AnswerMessage(AskedQuestion& question);
    // A box of buttons of its own: the button the next queued answer names by its
    // caption; else `choice` stays the Escape answer, not marked answered.
    void AnswerChoice(AskedQuestion& question);
    // The next queued text, cut to the field's length; none queued: cancelled.
    void AnswerInput(AskedQuestion& question);
    // A passphrase box: one queued text a field, as AnswerInput; a cancel in the
    // first field takes no more, and a cancel or nothing queued in the second
    // cancels the box.
    void AnswerPassphrase(AskedQuestion& question);
    // The next queued path with the default suffix added to a name without one;
    // with `selectedFilter`, which receives the type, the name that type gives it
    // (NameForFileType), as the real dialog does. None queued: cancelled.
    void AnswerFileName(AskedQuestion& question, const QString& initialFilter,
                        QString* selectedFilter);
    // A window of the program's own: runs it with the next queued driver;
    // QDialog::Rejected without showing it when none is queued.
    int RunDialog(QDialog& dialog);

    // Appends the question to the DORVANTA_TEST_LOG file, if one is set.
    void Log(const AskedQuestion& question) const;
    // DORVANTA_TEST_FILE_LIST: where file dialogs write what their list shows.
    const QString& FileListLogPath() const { return fileListLogPath_; }

  private:
    // A queued answer: a standard button, or a button's caption.
    struct QueuedAnswer {
        std::optional<MsgButton> button;
        QString caption;
    };
    // The index among `captions` that a queued answer picks; -1 when none.
    static int Pick(const QueuedAnswer& queued, const QStringList& captions);
    // The file type a queued name chooses among the types of `question.filter`.
    QString ChosenFileType(const AskedQuestion& question, const QString& initialFilter);

    bool testMode_ = false;
    std::deque<QueuedAnswer> answers_;
    std::deque<std::optional<QString>> inputs_;
    std::deque<std::optional<QString>> files_;
    std::deque<QString> fileFilters_;
    std::deque<std::function<void(QDialog&)>> drivers_;
    QString logPath_;
    QString fileListLogPath_;
};

}  // namespace dorvanta
