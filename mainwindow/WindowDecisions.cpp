#include "mainwindow/WindowDecisions.h"

#include <QApplication>
#include <QDateTime>

#include "mainwindow/MainWindowShared.h"
#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/TextConv.h"
#include "store/PdtFile.h"
#include "store/PdtHooks.h"

namespace dorvanta {

using namespace mainwindow;

namespace {

// A question asked during a load in the background shows the normal cursor, not
// the wait cursor of the load around it.
struct TNormalCursor {
    const bool busy = QApplication::overrideCursor() != nullptr;
    TNormalCursor() {
        if (busy) QApplication::restoreOverrideCursor();
    }
    ~TNormalCursor() {
        if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
};

// "Das Passwort ist falsch. Sie haben noch …" for try `attempt` (from 2 on).
QString WrongWithTriesLeft(int attempt) {
    const int left = kPassphraseTries - attempt + 1;
    return QStringLiteral("Das Passwort ist falsch. Sie haben noch %1.")
        .arg(left == 1 ? QStringLiteral("einen Versuch") : QStringLiteral("%1 Versuche").arg(left));
}

// Whether "Nie für diese Datei" was answered for the collection `path` (by any
// copy of the program: the settings are read when asked).
bool NeverMergeCopiesOf(const QString& path) {
    TSettingsStore store(Hive::CurrentUser);
    if (!store.OpenKey(std::string("\\") + settings::kNoConflictMergeKey, false)) return false;
    for (const std::string& name : store.GetValueNames()) {
        if (store.GetDataType(name) == RegDataType::String &&
            QString::fromStdString(store.ReadPath(name)) == path) {
            return true;
        }
    }
    return false;
}

// Keeps the answer at once, in a value of its own.
void RememberNeverMerge(const QString& path) {
    TSettingsStore store(Hive::CurrentUser);
    if (!store.OpenKey(std::string("\\") + settings::kNoConflictMergeKey, true)) return;
    int number = 1;
    while (store.ValueExists(std::to_string(number))) ++number;
    store.WritePath(std::to_string(number), path.toStdString());
}

}  // namespace

std::optional<std::string> TWindowDecisions::AskOpenPassword(const std::string& path) {
    const TNormalCursor normal;
    // The plain format's password is typed in clear; the log hides it all the same.
    const auto typed = MessageService::Instance().InputText(
        QStringLiteral("Passwort"),
        QStringLiteral("Die Datei \"") + QString::fromStdString(path) +
            QStringLiteral("\" ist passwortgeschützt. Geben Sie das erforderliche Passwort "
                           "ein, um die Daten zu laden."),
        QString(), 255, false, true);
    if (!typed) return std::nullopt;
    // A character the file cannot hold can never match: the empty text never
    // equals a password that is asked for, so it counts as wrong.
    return FromQString(*typed).value_or(std::string());
}

std::optional<std::string> TWindowDecisions::AskOpenPassphrase(const std::string& path,
                                                               int attempt) {
    const TNormalCursor normal;
    const QString file = QString::fromStdString(path);
    const QString prompt =
        attempt <= 1 ? QStringLiteral(
                           "Die Datei \"%1\" ist passwortgeschützt. Geben Sie das "
                           "erforderliche Passwort ein, um die Daten zu laden.")
                           .arg(file)
                     : WrongWithTriesLeft(attempt) +
                           QStringLiteral(
                               " Geben Sie das Passwort der Datei \"%1\" ein, um die Daten "
                               "zu laden.")
                               .arg(file);
    const auto typed =
        MessageService::Instance().AskPassphrase(QStringLiteral("Passwort"), prompt, false);
    if (!typed) return std::nullopt;
    // An encrypted file's passphrase is UTF-8.
    return typed->text.toStdString();
}

void TWindowDecisions::ShowWrongPassword() {
    const TNormalCursor normal;
    MessageService::Instance().Message(QString::fromUtf8(kMsgWrongPassword),
                                       QStringLiteral("Ungültiges Passwort"), MsgIcon::Error);
}

std::optional<QString> TWindowDecisions::AskUnlockPassword(const std::string& path, int attempt) {
    const QString file = QString::fromStdString(path);
    QString prompt = file.isEmpty() ? QStringLiteral("Die Sammlung ist gesperrt.")
                                    : QStringLiteral("Die Sammlung \"%1\" ist gesperrt.").arg(file);
    prompt += QStringLiteral(" Geben Sie ihr Passwort ein, um sie zu entsperren.");
    if (attempt > 1) prompt = WrongWithTriesLeft(attempt) + QLatin1Char(' ') + prompt;
    const auto typed =
        MessageService::Instance().AskPassphrase(QStringLiteral("Entsperren"), prompt, false);
    if (!typed) return std::nullopt;
    return typed->text;
}

std::optional<QString> TWindowDecisions::AskPassword(const QString& current) {
    // Shows the current password in clear; the log hides it and the answer.
    return MessageService::Instance().InputText(
        QStringLiteral("Passwort"),
        QStringLiteral("Geben Sie ein Passwort ein, um die Daten zu schützen, oder "
                       "lassen Sie das Feld leer, um kein Passwort zu verwenden."),
        current, 255, false, true);
}

std::optional<std::string> TWindowDecisions::AskNewPassphrase() {
    MessageService& messages = MessageService::Instance();
    const auto answer = messages.AskPassphrase(
        QStringLiteral("Passwort"),
        QStringLiteral("Geben Sie das Passwort ein, mit dem die Datei verschlüsselt wird. Ohne "
                       "dieses Passwort lässt sie sich nicht mehr öffnen."),
        true);
    if (!answer) return std::nullopt;
    // A mistyped passphrase would lock the file for good: both must agree.
    if (answer->text != answer->repeat) {
        messages.Message(QStringLiteral("Die beiden Passwörter stimmen nicht überein. Es wurde "
                                        "nichts gespeichert."),
                         QStringLiteral("Passwort"), MsgIcon::Warning);
        return std::nullopt;
    }
    if (answer->text.isEmpty()) {
        messages.Message(QString::fromUtf8(kMsgNoPassphrase), QStringLiteral("Passwort"),
                         MsgIcon::Warning);
        return std::nullopt;
    }
    // UTF-8, as an encrypted file keeps it.
    return answer->text.toStdString();
}

std::optional<std::string> TWindowDecisions::AskNewPassword() {
    return AskNewPassphrase();
}

TSessionDecisions::TChangedFile TWindowDecisions::AskChangedFile(const std::string& path) {
    const QStringList buttons{QStringLiteral("Zusammenführen"), QStringLiteral("Überschreiben"),
                              QStringLiteral("Speichern unter..."), QStringLiteral("Abbrechen")};
    const int answer = MessageService::Instance().AskChoice(
        QStringLiteral("Die Datei %1 wurde seit dem Öffnen von einem anderen Programm "
                       "geändert. Wenn Sie jetzt speichern, gehen diese Änderungen verloren.")
            .arg(QString::fromStdString(path)),
        QStringLiteral("Datei wurde geändert"), MsgIcon::Warning, buttons, 0, 3, true);
    switch (answer) {
        case 0:
            return TChangedFile::Merge;
        case 1:
            return TChangedFile::Overwrite;
        case 2:
            return TChangedFile::SaveAs;
        default:
            return TChangedFile::Cancel;
    }
}

TSessionDecisions::TConflictCopies TWindowDecisions::AskMergeConflictCopies(
    const std::string& path, const std::vector<std::string>& copies) {
    const QString file = QString::fromStdString(path);
    if (NeverMergeCopiesOf(file)) return TConflictCopies::Later;
    QStringList names;
    for (const std::string& copy : copies) names << QString::fromStdString(copy);
    const TNormalCursor normal;
    const int answer = MessageService::Instance().AskChoice(
        QStringLiteral("Neben %1 liegen Konfliktkopien eines Synchronisationsprogramms:\n\n%2\n\n"
                       "Sollen sie jetzt mit der geöffneten Datei zusammengeführt werden? Nach "
                       "dem nächsten Speichern werden sie entfernt.")
            .arg(file, names.join(QLatin1Char('\n'))),
        QStringLiteral("Konfliktkopien"), MsgIcon::Question,
        {QStringLiteral("Zusammenführen"), QStringLiteral("Später"),
         QStringLiteral("Nie für diese Datei")},
        0, 1, true);
    if (answer == 0) return TConflictCopies::Merge;
    if (answer == 2) {
        RememberNeverMerge(file);
        return TConflictCopies::Never;
    }
    return TConflictCopies::Later;
}

TSessionDecisions::TRecovery TWindowDecisions::AskRecovery(const std::string& path,
                                                           std::int64_t written) {
    const TNormalCursor normal;
    const QString when =
        QDateTime::fromSecsSinceEpoch(written).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    const int answer = MessageService::Instance().AskChoice(
        QStringLiteral("Ungespeicherte Änderungen vom %1 wiederherstellen?\n\nDorvanta hat sie "
                       "beim Abmelden verschlüsselt in %2 aufbewahrt. \"Verwerfen\" löscht "
                       "diese Datei, \"Später\" lässt sie liegen.")
            .arg(when, QString::fromStdString(path)),
        QStringLiteral("Wiederherstellen"), MsgIcon::Question,
        {QStringLiteral("Wiederherstellen"), QStringLiteral("Verwerfen"), QStringLiteral("Später")},
        0, 2, true);
    if (answer == 0) return TRecovery::Restore;
    if (answer == 1) return TRecovery::Discard;
    return TRecovery::Later;
}

void TWindowDecisions::ReportMergeConflicts(const std::vector<std::string>& lines) {
    // A box stays readable: thousands of lines would not fit on any screen.
    constexpr std::size_t kShown = 20;
    QStringList text;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) {
        text << QString::fromStdString(lines[i]);
    }
    if (lines.size() > kShown) {
        text << QStringLiteral("… und %1 weitere.").arg(lines.size() - kShown);
    }
    MessageService::Instance().Message(
        QStringLiteral("Beim Zusammenführen wurde beides behalten:\n\n%1").arg(text.join('\n')),
        QStringLiteral("Zusammenführen"), MsgIcon::Information);
}

std::optional<TSessionDecisions::TSaveTarget> TWindowDecisions::AskSaveTarget(
    const std::string& current, TFormat format) {
    QString type;
    const auto path = MessageService::Instance().SaveFileName(
        window_, QStringLiteral("Speichern unter"), kSaveFilter, QString::fromStdString(current),
        format == TFormat::Encrypted ? kEncryptedFilter : kFileFilter, &type);
    if (!path) return std::nullopt;
    return TSaveTarget{path->toStdString(),
                       type == kEncryptedFilter ? TFormat::Encrypted : TFormat::Plain};
}

bool TWindowDecisions::AskDeletePlainFile(const std::string& path) {
    // No is the default: the file goes only when that is asked for.
    return MessageService::Instance().Ask(
               QStringLiteral("Die unverschlüsselte Datei „%1“ liegt noch neben der "
                              "verschlüsselten. Jetzt löschen?")
                   .arg(QString::fromStdString(path)),
               QStringLiteral("Unverschlüsselte Datei"), MsgIcon::Question,
               {MsgButton::Yes, MsgButton::No}, MsgButton::No, MsgButton::No) == MsgButton::Yes;
}

void TWindowDecisions::ReportDeleteFailed(const std::string& path) {
    MessageService::Instance().Message(
        QStringLiteral("Die unverschlüsselte Datei „%1“ konnte nicht gelöscht werden. Die "
                       "verschlüsselte Datei ist gespeichert.")
            .arg(QString::fromStdString(path)),
        QStringLiteral("Unverschlüsselte Datei"), MsgIcon::Warning);
}

void TWindowDecisions::ReportBackupFailed(const std::string& backupPath) {
    MessageService::Instance().Message(
        QStringLiteral("Die Sicherungskopie %1 konnte nicht angelegt werden. Die Datei wurde "
                       "ohne Sicherungskopie gespeichert.")
            .arg(QString::fromStdString(backupPath)),
        QStringLiteral("Sicherungskopie"), MsgIcon::Warning);
}

void TWindowDecisions::ReportLoadError(std::exception_ptr error) {
    RunGuarded([&] { std::rethrow_exception(error); });
}

void TWindowDecisions::RunBusy(const std::function<void()>& work) {
    ::dorvanta::RunBusy(work);
}

}  // namespace dorvanta
