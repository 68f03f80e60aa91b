#include "platform/MessageService.h"

#include <QDialog>
#include <QRegularExpression>
#include <algorithm>

#include "platform/FreedMemory.h"
#include "platform/MessageWidgets.h"
#include "platform/ScriptedAnswers.h"
#include "platform/System.h"

namespace dorvanta {
namespace {

struct ButtonInfo {
    MsgButton button;
    const char* name;
    const char* caption;
};

constexpr ButtonInfo kButtons[] = {
    {MsgButton::Ok, "Ok", "OK"},
    {MsgButton::Cancel, "Cancel", "Abbrechen"},
    {MsgButton::Yes, "Yes", "&Ja"},
    {MsgButton::No, "No", "&Nein"},
    {MsgButton::Abort, "Abort", "&Abbrechen"},
    {MsgButton::Retry, "Retry", "&Wiederholen"},
    {MsgButton::Ignore, "Ignore", "&Ignorieren"},
};

const ButtonInfo& Info(MsgButton button) {
    for (const auto& info : kButtons) {
        if (info.button == button) return info;
    }
    return kButtons[0];
}

BeepKind BeepFor(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return BeepKind::Information;
        case MsgIcon::Warning:
            return BeepKind::Exclamation;
        case MsgIcon::Error:
            return BeepKind::Error;
        case MsgIcon::Question:
            return BeepKind::Question;
        case MsgIcon::None:
            break;
    }
    return BeepKind::Default;
}

AskedQuestion Question(AskedQuestion::Kind kind, const QString& caption, const QString& text = {}) {
    AskedQuestion q;
    q.kind = kind;
    q.caption = caption;
    q.text = text;
    return q;
}

// The part every message box question shares.
AskedQuestion MessageQuestion(const QString& text, const QString& caption, MsgIcon icon,
                              bool beep) {
    AskedQuestion q = Question(AskedQuestion::Kind::Message, caption, text);
    q.icon = icon;
    q.beep = beep;
    if (beep) Beep(BeepFor(icon));
    return q;
}

}  // namespace

QString ButtonCaption(MsgButton button) {
    return QString::fromUtf8(Info(button).caption);
}

QString ButtonName(MsgButton button) {
    return QString::fromLatin1(Info(button).name);
}

std::optional<MsgButton> ButtonFromName(const QString& name) {
    for (const auto& info : kButtons) {
        if (name.trimmed().compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0) {
            return info.button;
        }
    }
    return std::nullopt;
}

QString ApplicationErrorText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + QLatin1Char('.');
    return message;
}

QString SuffixOfFilter(const QString& filter) {
    const qsizetype open = filter.indexOf(QStringLiteral("(*."));
    if (open < 0) return {};
    const qsizetype end = filter.indexOf(QRegularExpression(QStringLiteral("[ )]")), open + 3);
    return end < 0 ? QString() : filter.mid(open + 3, end - open - 3);
}

namespace {

// Every suffix a type of `filter` gives a name, with its tails ("b.c" and "c"),
// each with its dot; the longest first, so that a double suffix goes as one.
QStringList KnownSuffixes(const QString& filter) {
    QStringList known;
    for (const QString& type : filter.split(QStringLiteral(";;"))) {
        for (QString suffix = SuffixOfFilter(type); !suffix.isEmpty();) {
            if (!known.contains(QLatin1Char('.') + suffix)) known << QLatin1Char('.') + suffix;
            const qsizetype dot = suffix.indexOf(QLatin1Char('.'));
            suffix = dot < 0 ? QString() : suffix.mid(dot + 1);
        }
    }
    std::ranges::sort(known,
                      [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return known;
}

}  // namespace

QString NameForFileType(const QString& path, const QString& filter, const QString& chosenType) {
    const QString suffix = SuffixOfFilter(chosenType);
    if (suffix.isEmpty()) return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/')) + 1;
    QString name = path.mid(slash);
    const QStringList known = KnownSuffixes(filter);
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (const QString& tail : known) {
            // A name that is nothing but a suffix (".pdt") keeps it.
            if (name.size() > tail.size() && name.endsWith(tail, Qt::CaseInsensitive)) {
                name.chop(tail.size());
                stripped = true;
                break;
            }
        }
    }
    return path.left(slash) + name + QLatin1Char('.') + suffix;
}

bool InTestMode() {
    return MessageService::Instance().TestMode();
}

MessageService& MessageService::Instance() {
    static MessageService service;
    return service;
}

MessageService::MessageService() : scripted_(std::make_unique<TScriptedAnswers>()) {
    LoadTestAnswersFromEnvironment();
}

MessageService::~MessageService() = default;

void MessageService::LoadTestAnswersFromEnvironment() {
    scripted_->LoadFromEnvironment();
}

void MessageService::SetTestMode(bool on) {
    scripted_->SetTestMode(on);
}

bool MessageService::TestMode() const {
    return scripted_->TestMode();
}

void MessageService::QueueAnswer(MsgButton answer) {
    scripted_->QueueAnswer(answer);
}

void MessageService::QueueAnswer(const QString& buttonCaption) {
    scripted_->QueueAnswer(buttonCaption);
}

void MessageService::QueueInput(std::optional<QString> text) {
    scripted_->QueueInput(std::move(text));
}

void MessageService::QueueFileName(std::optional<QString> path) {
    scripted_->QueueFileName(std::move(path));
}

void MessageService::QueueFileFilter(QString filter) {
    scripted_->QueueFileFilter(std::move(filter));
}

void MessageService::QueueDialogDriver(std::function<void(QDialog&)> driver) {
    scripted_->QueueDialogDriver(std::move(driver));
}

void MessageService::ClearLog() {
    asked_.clear();
    askedHook_ = nullptr;
    cancelQuestions_ = false;
    scripted_->Clear();
}

void MessageService::ForgetTexts() {
    // Captions, buttons and file types are the program's own; a message text, an
    // initial text or an answer may be the collection's.
    for (AskedQuestion& q : asked_) {
        WipeText(q.text);
        WipeText(q.initial);
        for (auto* answer : {&q.textAnswer, &q.repeatAnswer}) {
            if (*answer) WipeText(**answer);
        }
    }
}

void MessageService::Record(AskedQuestion question) {
    // A password is told to no log, not even the tests'.
    if (question.password || question.secret) {
        const QString hidden = QStringLiteral("<hidden>");
        for (auto* answer : {&question.textAnswer, &question.repeatAnswer}) {
            if (!*answer) continue;
            WipeText(**answer);
            *answer = hidden;
        }
        if (!question.initial.isEmpty()) {
            WipeText(question.initial);
            question.initial = hidden;
        }
    }
    scripted_->Log(question);
    if (askedHook_) askedHook_(question);
    // Only tests read the log; kept in normal use it would hold every question's
    // texts until the program ends.
    if (scripted_->TestMode()) asked_.push_back(std::move(question));
}

bool MessageService::Cancelled(AskedQuestion& q) const {
    if (!cancelQuestions_) return false;
    q.answer = q.escapeButton;
    q.choice = q.escapeChoice;
    q.textAnswer.reset();
    q.repeatAnswer.reset();
    q.answered = true;  // by the program: nobody is left waiting for it
    return true;
}

MsgButton MessageService::Ask(const QString& text, const QString& caption, MsgIcon icon,
                              std::vector<MsgButton> buttons, MsgButton defaultButton,
                              MsgButton escapeButton, bool beep) {
    if (buttons.empty()) buttons.push_back(MsgButton::Ok);
    AskedQuestion q = MessageQuestion(text, caption, icon, beep);
    q.buttons = std::move(buttons);
    q.defaultButton = defaultButton;
    q.escapeButton = escapeButton;
    if (Cancelled(q)) {
    } else if (scripted_->Answers(q.kind)) {
        scripted_->AnswerMessage(q);
    } else {
        ShowMessageBox(q);
    }
    const MsgButton answer = q.answer;
    Record(std::move(q));
    return answer;
}

int MessageService::AskChoice(const QString& text, const QString& caption, MsgIcon icon,
                              const QStringList& buttons, int defaultButton, int escapeButton,
                              bool beep) {
    AskedQuestion q = MessageQuestion(text, caption, icon, beep);
    q.choices = buttons;
    q.defaultChoice = defaultButton;
    q.escapeChoice = escapeButton;
    q.choice = escapeButton;
    if (Cancelled(q)) {
    } else if (scripted_->Answers(q.kind)) {
        scripted_->AnswerChoice(q);
    } else {
        ShowChoiceBox(q);
    }
    const int answer = q.choice;
    Record(std::move(q));
    return answer;
}

void MessageService::Message(const QString& text, const QString& caption, MsgIcon icon) {
    Ask(text, caption, icon, {MsgButton::Ok}, MsgButton::Ok, MsgButton::Ok);
}

bool MessageService::Confirm(const QString& text) {
    return Ask(text, QStringLiteral("Warnung"), MsgIcon::Warning, {MsgButton::Yes, MsgButton::No},
               MsgButton::Yes, MsgButton::No, true) == MsgButton::Yes;
}

MsgButton MessageService::ConfirmWithCancel(const QString& text) {
    return Ask(text, QStringLiteral("Warnung"), MsgIcon::Warning,
               {MsgButton::Yes, MsgButton::No, MsgButton::Cancel}, MsgButton::Yes,
               MsgButton::Cancel, true);
}

std::optional<QString> MessageService::InputText(const QString& caption, const QString& prompt,
                                                 const QString& initial, int maxLength,
                                                 bool password, bool secret) {
    AskedQuestion q = Question(AskedQuestion::Kind::Input, caption, prompt);
    q.initial = initial;
    q.maxLength = maxLength;
    q.password = password;
    q.secret = secret;
    if (Cancelled(q)) {
    } else if (scripted_->Answers(q.kind)) {
        scripted_->AnswerInput(q);
    } else {
        ShowInputBox(q);
    }
    auto answer = q.textAnswer;
    Record(std::move(q));
    return answer;
}

std::optional<TPassphraseAnswer> MessageService::AskPassphrase(const QString& caption,
                                                               const QString& prompt, bool repeat,
                                                               int maxLength) {
    AskedQuestion q = Question(AskedQuestion::Kind::Input, caption, prompt);
    q.maxLength = maxLength;
    q.password = true;
    q.repeat = repeat;
    if (Cancelled(q)) {
    } else if (scripted_->Answers(q.kind)) {
        scripted_->AnswerPassphrase(q);
    } else {
        ShowPassphraseBox(q);
    }
    std::optional<TPassphraseAnswer> answer;
    if (q.textAnswer) answer = TPassphraseAnswer{*q.textAnswer, q.repeatAnswer.value_or(QString())};
    Record(std::move(q));
    return answer;
}

std::optional<QString> MessageService::OpenFileName(QWidget* parent, const QString& caption,
                                                    const QString& filter,
                                                    const QString& defaultSuffix,
                                                    const QString& initialPath) {
    return FileName(false, parent, caption, filter, defaultSuffix, initialPath);
}

std::optional<QString> MessageService::SaveFileName(QWidget* parent, const QString& caption,
                                                    const QString& filter,
                                                    const QString& defaultSuffix,
                                                    const QString& initialPath) {
    return FileName(true, parent, caption, filter, defaultSuffix, initialPath);
}

std::optional<QString> MessageService::SaveFileName(QWidget* parent, const QString& caption,
                                                    const QString& filter,
                                                    const QString& initialPath,
                                                    const QString& initialFilter,
                                                    QString* selectedFilter) {
    const QString first = filter.section(QStringLiteral(";;"), 0, 0);
    const QString start = initialFilter.isEmpty() ? first : initialFilter;
    return FileName(true, parent, caption, filter, SuffixOfFilter(start), initialPath, start,
                    selectedFilter);
}

std::optional<QString> MessageService::FileName(bool save, QWidget* parent, const QString& caption,
                                                const QString& filter, const QString& defaultSuffix,
                                                const QString& initialPath,
                                                const QString& initialFilter,
                                                QString* selectedFilter) {
    AskedQuestion q =
        Question(save ? AskedQuestion::Kind::SaveFile : AskedQuestion::Kind::OpenFile, caption);
    q.filter = filter;
    q.defaultSuffix = defaultSuffix;
    q.initial = initialPath;
    if (Cancelled(q)) {
    } else if (scripted_->Answers(q.kind)) {
        scripted_->AnswerFileName(q, initialFilter, selectedFilter);
    } else {
        ShowFileDialog(q, parent, initialFilter, selectedFilter, scripted_->FileListLogPath());
    }
    auto answer = q.textAnswer;
    Record(std::move(q));
    return answer;
}

int MessageService::RunModal(QDialog& dialog) {
    if (cancelQuestions_) return QDialog::Rejected;
    if (!scripted_->Answers(AskedQuestion::Kind::Dialog)) return dialog.exec();
    AskedQuestion q = Question(AskedQuestion::Kind::Dialog, dialog.windowTitle());
    q.answered = true;
    Record(std::move(q));
    return scripted_->RunDialog(dialog);
}

void MessageService::ShowApplicationError(const QString& message) {
    Ask(ApplicationErrorText(message), ApplicationTitle(), MsgIcon::Error, {MsgButton::Ok},
        MsgButton::Ok, MsgButton::Ok);
}

}  // namespace dorvanta
