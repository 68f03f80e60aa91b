#include "platform/MessageService.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Cp1252Validator.h"
#include "platform/System.h"

namespace dorvanta {
namespace {

struct ButtonInfo {
    MsgButton button;
    const char* name;
    const char* caption;
    QMessageBox::ButtonRole role;
};

constexpr ButtonInfo kButtons[] = {
    {MsgButton::Ok, "Ok", "OK", QMessageBox::AcceptRole},
    {MsgButton::Cancel, "Cancel", "Abbrechen", QMessageBox::RejectRole},
    {MsgButton::Yes, "Yes", "&Ja", QMessageBox::YesRole},
    {MsgButton::No, "No", "&Nein", QMessageBox::NoRole},
    {MsgButton::Abort, "Abort", "&Abbrechen", QMessageBox::RejectRole},
    {MsgButton::Retry, "Retry", "&Wiederholen", QMessageBox::AcceptRole},
    {MsgButton::Ignore, "Ignore", "&Ignorieren", QMessageBox::AcceptRole},
};

const ButtonInfo& Info(MsgButton button) {
    for (const auto& info : kButtons) {
        if (info.button == button) return info;
    }
    return kButtons[0];
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
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

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

// What a file dialog does with a default suffix: a name without one gets it.
QString WithDefaultSuffix(const QString& path, const QString& suffix) {
    if (suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    return path + QLatin1Char('.') + suffix;
}

// The suffix a file type gives a name: "pdt.age" for "Private Daten (*.pdt.age)".
QString SuffixOfFilter(const QString& filter) {
    const qsizetype open = filter.indexOf(QStringLiteral("(*."));
    if (open < 0) return {};
    const qsizetype end = filter.indexOf(QRegularExpression(QStringLiteral("[ )]")), open + 3);
    return end < 0 ? QString() : filter.mid(open + 3, end - open - 3);
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

// Qt's file list formats sizes and dates by the system locale (LANG=C: "14 bytes",
// "8 Dec 2026"), which QLocale::setDefault does not reach; these columns follow
// the program's default locale, German.
class TLocaleFileColumns : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role == Qt::DisplayRole && files && index.isValid() &&
            (index.column() == kSizeColumn || index.column() == kDateColumn)) {
            const QModelIndex source = mapToSource(index);
            const QLocale locale;
            if (index.column() == kDateColumn) {
                return locale.toString(files->lastModified(source), QLocale::ShortFormat);
            }
            if (files->isDir(source)) return QString();
            return locale.formattedDataSize(files->size(source));
        }
        return QIdentityProxyModel::data(index, role);
    }

  private:
    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

// For the end-to-end test: every folder the dialog has read is appended to the
// file at `logPath` as its list shows it, one row a line, columns tab-separated.
void LogFileList(QFileDialog& dialog, const QString& logPath) {
    QAbstractProxyModel* shown = dialog.proxyModel();
    auto* files = shown ? qobject_cast<QFileSystemModel*>(shown->sourceModel()) : nullptr;
    if (!files) return;
    QObject::connect(files, &QFileSystemModel::directoryLoaded, &dialog,
                     [&dialog, shown, files, logPath](const QString& folder) {
                         // The rows come in queued updates; read them once those are in.
                         QTimer::singleShot(50, &dialog, [shown, files, folder, logPath] {
                             const QModelIndex root = shown->mapFromSource(files->index(folder));
                             QFile log(logPath);
                             if (!log.open(QIODevice::Append | QIODevice::Text)) return;
                             QTextStream out(&log);
                             for (int row = 0; row < shown->rowCount(root); ++row) {
                                 QStringList cells;
                                 for (int column = 0; column < shown->columnCount(root); ++column) {
                                     cells << shown->index(row, column, root).data().toString();
                                 }
                                 out << folder << '\t' << cells.join(QLatin1Char('\t')) << '\n';
                             }
                         });
                     });
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

MessageService& MessageService::Instance() {
    static MessageService service;
    return service;
}

MessageService::MessageService() {
    LoadTestAnswersFromEnvironment();
}

void MessageService::LoadTestAnswersFromEnvironment() {
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
    const QString cancel = QStringLiteral("<cancel>");
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_INPUTS")) {
        any = true;
        for (const QString& line : Lines("DORVANTA_TEST_INPUTS")) {
            inputs_.push_back(line == cancel ? std::nullopt : std::optional<QString>(line));
        }
    }
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_FILES")) {
        any = true;
        for (const QString& line : Lines("DORVANTA_TEST_FILES")) {
            files_.push_back(line == cancel ? std::nullopt : std::optional<QString>(line));
        }
    }
    if (qEnvironmentVariableIsSet("DORVANTA_TEST_LOG")) {
        any = true;
        logPath_ = qEnvironmentVariable("DORVANTA_TEST_LOG");
    }
    if (any) testMode_ = true;
    // Not a test switch: the program runs as usual.
    fileListLogPath_ = qEnvironmentVariable("DORVANTA_TEST_FILE_LIST");
}

void MessageService::ClearLog() {
    asked_.clear();
    askedHook_ = nullptr;
    answers_.clear();
    inputs_.clear();
    files_.clear();
    fileFilters_.clear();
    drivers_.clear();
}

void MessageService::Record(AskedQuestion question) {
    if (!logPath_.isEmpty()) {
        QFile log(logPath_);
        if (log.open(QIODevice::Append | QIODevice::Text)) {
            QString answer;
            if (!question.choices.isEmpty()) {
                answer = question.choices.value(question.choice);
            } else if (question.kind == AskedQuestion::Kind::Message) {
                answer = ButtonName(question.answer);
            } else {
                answer = question.textAnswer ? *question.textAnswer : QStringLiteral("<cancel>");
            }
            if (!question.answered) answer += QStringLiteral(" (unanswered)");
            QTextStream(&log) << KindName(question.kind) << '\t' << OneLine(question.caption)
                              << '\t' << OneLine(question.text) << '\t' << OneLine(answer) << '\n';
        }
    }
    if (askedHook_) askedHook_(question);
    asked_.push_back(std::move(question));
}

MsgButton MessageService::Ask(const QString& text, const QString& caption, MsgIcon icon,
                              std::vector<MsgButton> buttons, MsgButton defaultButton,
                              MsgButton escapeButton, bool beep) {
    if (buttons.empty()) buttons.push_back(MsgButton::Ok);
    AskedQuestion q;
    q.kind = AskedQuestion::Kind::Message;
    q.text = text;
    q.caption = caption;
    q.icon = icon;
    q.buttons = buttons;
    q.defaultButton = defaultButton;
    q.escapeButton = escapeButton;
    q.beep = beep;
    if (beep) Beep(BeepFor(icon));

    if (!answers_.empty() || testMode_) {
        q.answer = escapeButton;
        if (!answers_.empty()) {
            // A standard answer picks its button; a caption the button of that caption.
            const QueuedAnswer queued = answers_.front();
            answers_.pop_front();
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
                q.answer = buttons[static_cast<std::size_t>(picked)];
                q.answered = true;
            }
        }
        const MsgButton answer = q.answer;
        Record(std::move(q));
        return answer;
    }

    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, DialogParent());
    std::vector<std::pair<QAbstractButton*, MsgButton>> made;
    for (MsgButton button : buttons) {
        QPushButton* pushButton = box.addButton(ButtonCaption(button), Info(button).role);
        made.emplace_back(pushButton, button);
        if (button == defaultButton) box.setDefaultButton(pushButton);
        if (button == escapeButton) box.setEscapeButton(pushButton);
    }
    box.exec();
    q.answer = escapeButton;  // the close box answers like Escape
    for (const auto& [pushButton, button] : made) {
        if (box.clickedButton() == pushButton) q.answer = button;
    }
    q.answered = true;
    const MsgButton answer = q.answer;
    Record(std::move(q));
    return answer;
}

int MessageService::Pick(const QueuedAnswer& queued, const QStringList& captions) {
    const auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
    const QString wanted = plain(queued.button ? ButtonCaption(*queued.button) : queued.caption);
    for (int i = 0; i < captions.size(); ++i) {
        if (plain(captions[i]) == wanted) return i;
    }
    return -1;
}

int MessageService::AskChoice(const QString& text, const QString& caption, MsgIcon icon,
                              const QStringList& buttons, int defaultButton, int escapeButton,
                              bool beep) {
    AskedQuestion q;
    q.kind = AskedQuestion::Kind::Message;
    q.text = text;
    q.caption = caption;
    q.icon = icon;
    q.choices = buttons;
    q.defaultChoice = defaultButton;
    q.escapeChoice = escapeButton;
    q.beep = beep;
    q.choice = escapeButton;
    if (beep) Beep(BeepFor(icon));

    if (!answers_.empty() || testMode_) {
        if (!answers_.empty()) {
            const int picked = Pick(answers_.front(), buttons);
            answers_.pop_front();
            // A queued answer the box does not offer is a test fault; it is logged.
            if (picked >= 0) {
                q.choice = picked;
                q.answered = true;
            }
        }
        const int answer = q.choice;
        Record(std::move(q));
        return answer;
    }

    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, DialogParent());
    std::vector<QPushButton*> made;
    for (int i = 0; i < buttons.size(); ++i) {
        // One role for all but the Escape answer keeps the buttons in the order given.
        QPushButton* pushButton = box.addButton(
            buttons[i], i == escapeButton ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        made.push_back(pushButton);
        if (i == defaultButton) box.setDefaultButton(pushButton);
        if (i == escapeButton) box.setEscapeButton(pushButton);
    }
    box.exec();
    for (std::size_t i = 0; i < made.size(); ++i) {
        if (box.clickedButton() == made[i]) q.choice = static_cast<int>(i);
    }
    q.answered = true;
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
                                                 bool password) {
    AskedQuestion q;
    q.kind = AskedQuestion::Kind::Input;
    q.text = prompt;
    q.caption = caption;
    q.initial = initial;
    q.maxLength = maxLength;
    q.password = password;

    if (!inputs_.empty() || testMode_) {
        if (!inputs_.empty()) {
            q.textAnswer = inputs_.front();
            inputs_.pop_front();
            // The edit field would not take more than maxLength characters.
            if (q.textAnswer && maxLength > 0) q.textAnswer = q.textAnswer->left(maxLength);
            q.answered = true;
        }
        auto answer = q.textAnswer;
        Record(std::move(q));
        return answer;
    }

    QDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(initial, &dialog);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    if (password) edit->setEchoMode(QLineEdit::Password);
    // Every text the program asks for ends up in a Windows-1252 file or setting.
    RestrictToCp1252(edit);
    label->setBuddy(edit);
    edit->selectAll();
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(ButtonCaption(MsgButton::Ok), QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->addButton(ButtonCaption(MsgButton::Cancel), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(350);
    if (dialog.exec() == QDialog::Accepted) q.textAnswer = edit->text();
    q.answered = true;
    auto answer = q.textAnswer;
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
    AskedQuestion q;
    q.kind = save ? AskedQuestion::Kind::SaveFile : AskedQuestion::Kind::OpenFile;
    q.caption = caption;
    q.filter = filter;
    q.defaultSuffix = defaultSuffix;
    q.initial = initialPath;

    if (!files_.empty() || testMode_) {
        if (!files_.empty()) {
            q.textAnswer = files_.front();
            files_.pop_front();
            QString chosen;
            if (selectedFilter) {
                const QStringList types = filter.split(QStringLiteral(";;"));
                if (!fileFilters_.empty()) {
                    chosen = fileFilters_.front();
                    fileFilters_.pop_front();
                } else {
                    // The longest suffix the name ends with names the type.
                    for (const QString& type : types) {
                        const QString suffix = SuffixOfFilter(type);
                        if (q.textAnswer && !suffix.isEmpty() &&
                            q.textAnswer->endsWith(QLatin1Char('.') + suffix) &&
                            suffix.size() > SuffixOfFilter(chosen).size()) {
                            chosen = type;
                        }
                    }
                    if (chosen.isEmpty()) chosen = initialFilter.isEmpty() ? types.front() : initialFilter;
                }
                *selectedFilter = chosen;
            }
            const QString suffix = selectedFilter ? SuffixOfFilter(chosen) : defaultSuffix;
            if (q.textAnswer) q.textAnswer = WithDefaultSuffix(*q.textAnswer, suffix);
            q.answered = true;
        }
        auto answer = q.textAnswer;
        Record(std::move(q));
        return answer;
    }

    QFileDialog dialog(parent ? parent : DialogParent(), caption, initialPath, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open wants an existing file; Save asks before replacing one (Qt's default).
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dateiname:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dateityp:"));
    dialog.setLabelText(QFileDialog::Accept,
                        save ? QStringLiteral("&Speichern") : QStringLiteral("Ö&ffnen"));
    dialog.setLabelText(QFileDialog::Reject, ButtonCaption(MsgButton::Cancel));
    if (!initialFilter.isEmpty()) dialog.selectNameFilter(initialFilter);
    dialog.setProxyModel(new TLocaleFileColumns(&dialog));
    if (!fileListLogPath_.isEmpty()) LogFileList(dialog, fileListLogPath_);
    // Each file type brings its own suffix for a name typed without one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &defaultSuffix](const QString& type) {
                         const QString suffix = SuffixOfFilter(type);
                         dialog.setDefaultSuffix(suffix.isEmpty() ? defaultSuffix : suffix);
                     });
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        q.textAnswer = dialog.selectedFiles().constFirst();
        if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
    }
    q.answered = true;
    auto answer = q.textAnswer;
    Record(std::move(q));
    return answer;
}

int MessageService::RunModal(QDialog& dialog) {
    if (!testMode_ && drivers_.empty()) return dialog.exec();
    AskedQuestion q;
    q.kind = AskedQuestion::Kind::Dialog;
    q.caption = dialog.windowTitle();
    q.answered = true;
    Record(std::move(q));
    if (drivers_.empty()) return QDialog::Rejected;
    auto driver = std::move(drivers_.front());
    drivers_.pop_front();
    QTimer::singleShot(0, &dialog, [&dialog, driver] { driver(dialog); });
    return dialog.exec();
}

void MessageService::ShowApplicationError(const QString& message) {
    Ask(ApplicationErrorText(message), ApplicationTitle(), MsgIcon::Error, {MsgButton::Ok},
        MsgButton::Ok, MsgButton::Ok);
}

}  // namespace dorvanta
