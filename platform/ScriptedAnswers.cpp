#include "platform/ScriptedAnswers.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <utility>

namespace dorvanta {
namespace {

template <class T>
T TakeFront(std::deque<T>& queue) {
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
}

// What a file dialog does with a default suffix: a name without one gets it.
QString WithDefaultSuffix(const QString& path, const QString& suffix) {
    if (suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    return path + QLatin1Char('.') + suffix;
}

const char* KindName(AskedQuestion::Kind kind) {
    switch (kind) {
        case AskedQuestion::Kind::Message:
            return "Message";
        case AskedQuestion::Kind::Input:
            return "Input";
        case AskedQuestion::Kind::OpenFile:
            return "OpenFile";
        case AskedQuestion::Kind::SaveFile:
            return "SaveFile";
        case AskedQuestion::Kind::Dialog:
            return "Dialog";
    }
    return "";
}

// One log line a question: tabs and line breaks inside a field are escaped.
QString OneLine(QString text) {
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"))
        .replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

QStringList Lines(const char* variable) {
    QStringList lines = qEnvironmentVariable(variable).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
}

// Texts or paths, one a line; "<cancel>" cancels.
std::deque<std::optional<QString>> TextAnswers(const char* variable) {
    std::deque<std::optional<QString>> answers;
    for (const QString& line : Lines(variable)) {
        answers.push_back(line == QStringLiteral("<cancel>") ? std::nullopt
                                                             : std::optional<QString>(line));
    }
    return answers;
}

}  // namespace

void TScriptedAnswers::Clear() {
    answers_.clear();
    inputs_.clear();
    files_.clear();
    fileFilters_.clear();
    drivers_.clear();
}

void TScriptedAnswers::LoadFromEnvironment() {
    bool any = false;
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_ANSWERS")) {
        any = true;
        for (const QString& name : qEnvironmentVariable("DORVANTA_TEST_ANSWERS")
                                       .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            // Anything but a standard button's name is a button's caption.
            if (auto button = ButtonFromName(name)) {
                answers_.push_back({*button, {}});
            } else {
                answers_.push_back({std::nullopt, name.trimmed()});
            }
        }
    }
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_INPUTS")) {
        any = true;
        std::ranges::move(TextAnswers("DORVANTA_TEST_INPUTS"), std::back_inserter(inputs_));
    }
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_FILES")) {
        any = true;
        std::ranges::move(TextAnswers("DORVANTA_TEST_FILES"), std::back_inserter(files_));
    }
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_LOG")) {
        any = true;
        logPath_ = qEnvironmentVariable("DORVANTA_TEST_LOG");
    }
    if (any) testMode_ = true;
    // Not a test switch: the program runs as usual.
    fileListLogPath_ = qEnvironmentVariable("DORVANTA_TEST_FILE_LIST");
}

bool TScriptedAnswers::Answers(AskedQuestion::Kind kind) const {
    if (testMode_) return true;
    switch (kind) {
        case AskedQuestion::Kind::Message:
            return !answers_.empty();
        case AskedQuestion::Kind::Input:
            return !inputs_.empty();
        case AskedQuestion::Kind::OpenFile:
        case AskedQuestion::Kind::SaveFile:
            return !files_.empty();
        case AskedQuestion::Kind::Dialog:
            return !drivers_.empty();
    }
    return false;
}

int TScriptedAnswers::Pick(const QueuedAnswer& queued, const QStringList& captions) {
    const auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
    const QString wanted = plain(queued.button ? ButtonCaption(*queued.button) : queued.caption);
    for (int i = 0; i < captions.size(); ++i) {
        if (plain(captions[i]) == wanted) return i;
    }
    return -1;
}

void TScriptedAnswers::AnswerMessage(AskedQuestion& question) {
    question.answer = question.escapeButton;
    if (answers_.empty()) return;
    // A standard answer picks its button; a caption the button of that caption.
    const QueuedAnswer queued = TakeFront(answers_);
    const std::vector<MsgButton>& buttons = question.buttons;
    int picked = -1;
    if (queued.button) {
        const auto at = std::find(buttons.begin(), buttons.end(), *queued.button);
        if (at != buttons.end()) picked = static_cast<int>(at - buttons.begin());
    } else {
        QStringList captions;
        for (MsgButton button : buttons) captions << ButtonCaption(button);
        picked = Pick(queued, captions);
    }
    // A queued answer the box does not offer is a test fault; it is logged.
    if (picked >= 0) {
        question.answer = buttons[static_cast<std::size_t>(picked)];
        question.answered = true;
    }
}

void TScriptedAnswers::AnswerChoice(AskedQuestion& question) {
    if (answers_.empty()) return;
    const int picked = Pick(TakeFront(answers_), question.choices);
    // A queued answer the box does not offer is a test fault; it is logged.
    if (picked >= 0) {
        question.choice = picked;
        question.answered = true;
    }
}

void TScriptedAnswers::AnswerInput(AskedQuestion& question) {
    if (inputs_.empty()) return;
    question.textAnswer = TakeFront(inputs_);
    // The edit field would not take more than maxLength characters.
    if (question.textAnswer && question.maxLength > 0) {
        question.textAnswer = question.textAnswer->left(question.maxLength);
    }
    question.answered = true;
}

void TScriptedAnswers::AnswerPassphrase(AskedQuestion& question) {
    AnswerInput(question);
    if (!question.repeat || !question.textAnswer) return;
    const std::optional<QString> first = std::exchange(question.textAnswer, std::nullopt);
    question.answered = false;
    AnswerInput(question);
    question.repeatAnswer = std::exchange(question.textAnswer, std::nullopt);
    if (question.repeatAnswer) question.textAnswer = first;
}

QString TScriptedAnswers::ChosenFileType(const AskedQuestion& question,
                                         const QString& initialFilter) {
    if (!fileFilters_.empty()) return TakeFront(fileFilters_);
    const QStringList types = question.filter.split(QStringLiteral(";;"));
    // The longest suffix the name ends with names the type.
    QString chosen;
    for (const QString& type : types) {
        const QString suffix = SuffixOfFilter(type);
        if (question.textAnswer && !suffix.isEmpty() &&
            question.textAnswer->endsWith(QLatin1Char('.') + suffix) &&
            suffix.size() > SuffixOfFilter(chosen).size()) {
            chosen = type;
        }
    }
    if (chosen.isEmpty()) chosen = initialFilter.isEmpty() ? types.front() : initialFilter;
    return chosen;
}

void TScriptedAnswers::AnswerFileName(AskedQuestion& question, const QString& initialFilter,
                                      QString* selectedFilter) {
    if (files_.empty()) return;
    question.textAnswer = TakeFront(files_);
    question.answered = true;
    if (!selectedFilter) {
        if (question.textAnswer) {
            question.textAnswer = WithDefaultSuffix(*question.textAnswer, question.defaultSuffix);
        }
        return;
    }
    *selectedFilter = ChosenFileType(question, initialFilter);
    // The real dialog's rule: the type chosen decides the suffix.
    if (question.textAnswer) {
        question.textAnswer =
            NameForFileType(*question.textAnswer, question.filter, *selectedFilter);
    }
}

int TScriptedAnswers::RunDialog(QDialog& dialog) {
    if (drivers_.empty()) return QDialog::Rejected;
    auto driver = TakeFront(drivers_);
    QTimer::singleShot(0, &dialog, [&dialog, driver] { driver(dialog); });
    return dialog.exec();
}

void TScriptedAnswers::Log(const AskedQuestion& question) const {
    if (logPath_.isEmpty()) return;
    QFile log(logPath_);
    if (!log.open(QIODevice::Append | QIODevice::Text)) return;
    QString answer;
    if (!question.choices.isEmpty()) {
        answer = question.choices.value(question.choice);
    } else if (question.kind == AskedQuestion::Kind::Message) {
        answer = ButtonName(question.answer);
    } else {
        answer = question.textAnswer ? *question.textAnswer : QStringLiteral("<cancel>");
    }
    if (!question.answered) answer += QStringLiteral(" (unanswered)");
    QTextStream(&log) << KindName(question.kind) << '\t' << OneLine(question.caption) << '\t'
                      << OneLine(question.text) << '\t' << OneLine(answer) << '\n';
}

}  // namespace dorvanta
