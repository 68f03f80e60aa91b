// The main window: the file commands.
#include <sys/stat.h>

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <exception>
#include <type_traits>

#include "dialogs/AboutBox.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/Icons.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/MainWindowShared.h"
#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "store/FileStamp.h"
#include "store/PdtFile.h"

namespace dorvanta {

using namespace mainwindow;

// ---------------------------------------------------------------- file commands

void TMainWindow::ResetToNew() {
    document_.ClearDocument();
    ClearKeyRows();
    EntryModel->Clear();
    Edit_DataName->clear();
    Edit_Value->clear();
    ListBox_KeysClick();
    setWindowTitle(kTitle);
}

void TMainWindow::SetCaptionForFile() {
    setWindowTitle(QStringLiteral("Dorvanta - [") + QString::fromStdString(document_.FileName) +
                   QStringLiteral("]"));
}

void TMainWindow::MenuItem_NewClick() {
    if (!QuerySave()) return;
    CloseSearchDialog();
    ResetToNew();
}

void TMainWindow::MenuItem_OpenClick() {
    if (Loading()) return;
    const auto path = MessageService::Instance().OpenFileName(this, QStringLiteral("Öffnen"),
                                                              kOpenFilter, QStringLiteral("pdt"));
    if (!path) return;
    CloseSearchDialog();
    if (!QuerySave()) return;
    OpenFile(*path);
}

namespace {

// Runs `fn` on the thread of `window` and waits for it. A modal question shows the
// normal cursor, not the wait cursor of the load around it.
template <typename F>
auto OnWindowThread(QObject* window, bool modal, F fn) -> decltype(fn()) {
    if (QThread::currentThread() == window->thread()) return fn();
    auto run = [&] {
        if (modal) QApplication::restoreOverrideCursor();
        struct Restore {
            bool modal;
            ~Restore() {
                if (modal) QApplication::setOverrideCursor(Qt::WaitCursor);
            }
        } restore{modal};
        return fn();
    };
    if constexpr (std::is_void_v<decltype(fn())>) {
        QMetaObject::invokeMethod(window, run, Qt::BlockingQueuedConnection);
    } else {
        decltype(fn()) result{};
        QMetaObject::invokeMethod(window, [&] { result = run(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

}  // namespace

void TMainWindow::OpenFile(const QString& path, bool background) {
    const std::string file = path.toStdString();
    TLoadHooks hooks;
    hooks.ClearSelection = [this] { ListBox_Keys->SetItemIndex(-1); };
    hooks.AskPassword = [this](const std::string& p) -> std::optional<std::string> {
        const auto typed = MessageService::Instance().InputText(
            QStringLiteral("Passwort"),
            QStringLiteral("Die Datei \"") + QString::fromStdString(p) +
                QStringLiteral("\" ist passwortgeschützt. Geben Sie das erforderliche Passwort "
                               "ein, um die Daten zu laden."),
            QString(), 255, false);
        if (!typed) return std::nullopt;
        // A character the file cannot hold can never match: the empty text never
        // equals a password that is asked for, so it counts as wrong.
        return FromQString(*typed).value_or(std::string());
    };
    hooks.ShowWrongPassword = [] {
        MessageService::Instance().Message(QString::fromUtf8(kMsgWrongPassword),
                                           QStringLiteral("Ungültiges Passwort"), MsgIcon::Error);
    };
    hooks.ResetToNew = [this] { ResetToNew(); };
    hooks.RunBusy = RunBusy;
    hooks.RebuildViews = [this] {
        ListBox_KeysClick();
        UpdtListBox(false, {});
    };
    bool loaded = false;
    std::function<void()> load = [&] { loaded = LoadDocument(document_, file, hooks); };
    if (background) {
        // Everything that touches a window or asks the user runs on this thread;
        // the views are empty at start, so nothing paints from the document
        // while the worker fills it.
        TLoadHooks local = hooks;
        hooks.ClearSelection = [this, local] { OnWindowThread(this, false, local.ClearSelection); };
        hooks.AskPassword = [this, local](const std::string& p) {
            return OnWindowThread(this, true, [&] { return local.AskPassword(p); });
        };
        hooks.ShowWrongPassword = [this, local] {
            OnWindowThread(this, true, local.ShowWrongPassword);
        };
        hooks.ResetToNew = [this, local] { OnWindowThread(this, false, local.ResetToNew); };
        hooks.RebuildViews = [this, local] { OnWindowThread(this, false, local.RebuildViews); };
        hooks.RunBusy = nullptr;  // already off this thread
        load = [&] {
            std::exception_ptr error;
            RunBusy([&] {
                try {
                    loaded = LoadDocument(document_, file, hooks);
                } catch (...) {
                    error = std::current_exception();
                }
            });
            if (error) std::rethrow_exception(error);
        };
    }
    // The error is shown first; then the half-read document is dropped, so that no
    // later save can write it over the file.
    if (!RunGuarded(load)) {
        document_.Loading = false;
        ResetToNew();
        return;
    }
    if (loaded) {
        document_.FileName = file;
        SetCaptionForFile();
        document_.Modified = false;
    }
}

bool TMainWindow::MenuItem_SaveClick() {
    if (Loading()) return false;
    if (document_.FileName.empty()) return MenuItem_SaveUnderClick();
    if (document_.Format == TDocument::TFormat::Encrypted && !EnsurePasswordForEncryption()) {
        return false;
    }
    if (const auto stop = StopBeforeOverwrite(document_.FileName)) return *stop;
    SaveToFile();
    document_.Modified = false;
    return true;
}

bool TMainWindow::MenuItem_SaveUnderClick() {
    if (Loading()) return false;
    const bool encrypted = document_.Format == TDocument::TFormat::Encrypted;
    QString type;
    const auto path = MessageService::Instance().SaveFileName(
        this, QStringLiteral("Speichern unter"), kSaveFilter,
        QString::fromStdString(document_.FileName), encrypted ? kEncryptedFilter : kFileFilter,
        &type);
    if (!path) return false;
    const auto format =
        type == kEncryptedFilter ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain;
    if (format == TDocument::TFormat::Encrypted && !EnsurePasswordForEncryption()) return false;
    // Onto the file it came from: the same check as Save.
    if (IsRememberedFile(path->toStdString())) {
        if (const auto stop = StopBeforeOverwrite(path->toStdString())) return *stop;
    }
    document_.FileName = path->toStdString();
    document_.Format = format;
    SetCaptionForFile();
    SaveToFile();
    document_.Modified = false;
    return true;
}

bool TMainWindow::EnsurePasswordForEncryption() {
    if (!document_.Password.empty()) return true;
    const auto answer = AskPassword(QString());
    if (!answer || answer->isEmpty()) return false;
    const auto password = FromQString(*answer);
    if (!password) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return false;
    }
    document_.SetPassword(*password);
    return true;
}

void TMainWindow::SaveToFile() {
    const std::string& path = document_.FileName;
    const bool backup = MenuItem_BackupOnSave->isChecked();
    // The backup copies the file as it is on disk: an encrypted file's encrypted bytes.
    const TBackupResult backedUp = backup ? BackupFile(path) : TBackupResult::NoFile;
    // A failed save throws here: the file it was to replace is still there, and
    // only the save's error is reported.
    document_.Stamp = SaveDocument(document_, path, RunBusy);
    if (backedUp == TBackupResult::Failed) {
        MessageService::Instance().Message(
            QStringLiteral("Die Sicherungskopie %1 konnte nicht angelegt werden. Die Datei wurde "
                           "ohne Sicherungskopie gespeichert.")
                .arg(QString::fromStdString(BackupPath(path))),
            QStringLiteral("Sicherungskopie"), MsgIcon::Warning);
    }
}

bool TMainWindow::IsRememberedFile(const std::string& path) const {
    const TFileStamp& stamp = document_.Stamp;
    if (!stamp.Known || document_.FileName.empty()) return false;
    const QFileInfo chosen(QString::fromStdString(path));
    const QFileInfo remembered(QString::fromStdString(document_.FileName));
    // The same name, or names that lead to the same place (links followed).
    if (chosen.absoluteFilePath() == remembered.absoluteFilePath() ||
        (!chosen.canonicalFilePath().isEmpty() &&
         chosen.canonicalFilePath() == remembered.canonicalFilePath())) {
        return true;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           static_cast<std::uint64_t>(st.st_dev) == stamp.Device &&
           static_cast<std::uint64_t>(st.st_ino) == stamp.Inode;
}

std::optional<bool> TMainWindow::StopBeforeOverwrite(const std::string& path) {
    switch (ConfirmOverwrite(path)) {
        case TOverwrite::Write:
            return std::nullopt;
        case TOverwrite::SaveAs:
            return MenuItem_SaveUnderClick();
        case TOverwrite::Cancel:
            return false;
    }
    return false;
}

TMainWindow::TOverwrite TMainWindow::ConfirmOverwrite(const std::string& path) {
    // Nothing remembered (a name set without a load or save): nothing to compare.
    if (!document_.Stamp.Known) return TOverwrite::Write;
    TFileStamp seen;
    TDiskState state = CompareWithDisk(path, document_.Stamp, &seen);
    while (state == TDiskState::Changed) {
        const QStringList buttons{QStringLiteral("Überschreiben"),
                                  QStringLiteral("Speichern unter..."),
                                  QStringLiteral("Abbrechen")};
        const int answer = MessageService::Instance().AskChoice(
            QStringLiteral("Die Datei %1 wurde seit dem Öffnen von einem anderen Programm "
                           "geändert. Wenn Sie jetzt speichern, gehen diese Änderungen verloren.")
                .arg(QString::fromStdString(path)),
            QStringLiteral("Datei wurde geändert"), MsgIcon::Warning, buttons, 2, 2, true);
        if (answer == 1) return TOverwrite::SaveAs;
        if (answer != 0) return TOverwrite::Cancel;
        // "Überschreiben" gives up the version the question was about; a file that
        // changed again while it was asked is asked about again. (What could not be
        // read has no version to compare: its overwrite is what was agreed to.)
        if (!seen.Known) break;
        TFileStamp now;
        state = CompareWithDisk(path, seen, &now);
        seen = now;
    }
    return TOverwrite::Write;
}

std::optional<QString> TMainWindow::AskPassword(const QString& current) {
    return MessageService::Instance().InputText(
        QStringLiteral("Passwort"),
        QStringLiteral("Geben Sie ein Passwort ein, um die Daten zu schützen, oder "
                       "lassen Sie das Feld leer, um kein Passwort zu verwenden."),
        current, 255, false);
}

void TMainWindow::MenuItem_PasswordClick() {
    if (Loading()) return;
    const QString current = ToQString(document_.Password);
    const QString answer = AskPassword(current).value_or(current);
    const auto password = FromQString(answer);
    if (!password) {
        MessageService::Instance().Message(kUnstorableText, kInvalidInput, MsgIcon::Warning);
        return;
    }
    document_.SetPassword(*password);
}

void TMainWindow::MenuItem_SearchClick() {
    SearchDialog->Open();
}

void TMainWindow::EintrgefrUnterrubrikimportieren1Click() {
    // Without a selected sub-category there is nowhere to import to.
    if (SelectedKeyRow() < 0) {
        MessageService::Instance().Message(QString::fromUtf8(kMsgNoSubCategory),
                                           QStringLiteral("Ungültige oder unvollständige Angaben"),
                                           MsgIcon::Warning);
        return;
    }
    ImportDialog->exec();
}

void TMainWindow::MenuItem_SettingsClick() {
    if (Loading()) return;
    SettingsDialog->exec();
}

void TMainWindow::MenuItem_InfoClick() {
    AboutBox->ShowInfoDialog(kTitle, QStringLiteral("2003"), AppIcon());
}

}  // namespace dorvanta
