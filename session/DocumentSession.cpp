#include "session/DocumentSession.h"

#include <sys/stat.h>

#include <QFileInfo>
#include <QThread>
#include <exception>
#include <filesystem>
#include <memory>

#include "store/AgeFile.h"
#include "store/DocumentSeal.h"
#include "store/Import.h"
#include "store/PdtFile.h"
#include "store/StoreError.h"

namespace dorvanta {

class TDocumentSession::TBusyScope {
  public:
    explicit TBusyScope(TDocumentSession& session) : session_(session) { ++session_.busy_; }
    ~TBusyScope() {
        if (--session_.busy_ == 0) emit session_.BusyEnded();
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

  private:
    TDocumentSession& session_;
};

TDocumentSession::TDocumentSession(QObject* parent) : QObject(parent) {
    static const int registered = qRegisterMetaType<TDocumentSession::TEntryChange>();
    (void)registered;
}

TDocumentSession::~TDocumentSession() {
    document_.Wipe();
    ForgetBase();
    age::Wipe(sealed_);
    age::Wipe(sealedFilePassword_);
}

// ---------------------------------------------------------------- state

TBusyRunner TDocumentSession::BusyRunner(TSessionDecisions& decisions) {
    return [&decisions](const std::function<void()>& work) { decisions.RunBusy(work); };
}

void TDocumentSession::SetFileName(const std::string& fileName) {
    fileName_ = fileName;
    emit FileNameChanged(QString::fromStdString(fileName_));
}

void TDocumentSession::AnnounceModified() {
    if (document_.Modified == announcedModified_) return;
    announcedModified_ = document_.Modified;
    emit ModifiedChanged(announcedModified_);
}

void TDocumentSession::Reset() {
    // Also a refused load's half-read document: its texts are overwritten too.
    WipeDocuments();
    shownKey_ = -1;
    stamp_ = {};
    SetFileName({});
    emit DocumentReset();
    AnnounceModified();
}

void TDocumentSession::WipeDocuments() {
    document_.Wipe();
    ForgetBase();
    WipeDraft();
    mergedCopies_.clear();
}

void TDocumentSession::ReplaceDocument() {
    emit AboutToReplaceDocument();
    WipeDocuments();
}

void TDocumentSession::New() {
    ReplaceDocument();
    Reset();
}

void TDocumentSession::Forget() {
    if (locked_) return;
    ReplaceDocument();
    selectedKeyRow_ = -1;
    shownKey_ = -1;
}

void TDocumentSession::AssignFileName(const std::string& path) {
    stamp_ = {};
    SetFileName(path);
}

void TDocumentSession::SetPassword(const std::string& password) {
    if (locked_) return;
    document_.SetPassword(password);
    AnnounceModified();
}

// ---------------------------------------------------------------- open

void TDocumentSession::OnOwnThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
    }
}

bool TDocumentSession::Open(const std::string& path, TSessionDecisions& decisions,
                            bool background) {
    if (locked_) return false;
    const TBusyScope busy(*this);
    bool loaded = false;
    std::exception_ptr error;
    try {
        loaded = Load(path, decisions, background);
    } catch (...) {
        error = std::current_exception();
    }
    if (error) {
        // The error is shown first; then the half-read document is dropped, so that
        // no later save can write it over the file.
        decisions.ReportLoadError(error);
        document_.Loading = false;
        Reset();
        return false;
    }
    if (loaded) {
        SetFileName(path);
        document_.Modified = false;
        RememberBase();
    }
    AnnounceModified();
    if (loaded) {
        // Changes kept at a logout first: the conflict copies merge into them.
        OfferRecovery(RecoveryPath(path, {}), decisions);
        OfferConflictCopies(path, decisions);
    }
    return loaded;
}

bool TDocumentSession::Load(const std::string& path, TSessionDecisions& decisions,
                            bool background) {
    TLoadHooks hooks;
    hooks.ClearSelection = [this] { ReplaceDocument(); };
    hooks.AskPassword = [&decisions](const std::string& p) { return decisions.AskOpenPassword(p); };
    hooks.AskPassphrase = [&decisions](const std::string& p, int attempt) {
        return decisions.AskOpenPassphrase(p, attempt);
    };
    hooks.ShowWrongPassword = [&decisions] { decisions.ShowWrongPassword(); };
    hooks.ResetToNew = [this] { Reset(); };
    hooks.RebuildViews = [this] { emit DocumentLoaded(); };
    hooks.RunBusy = BusyRunner(decisions);
    if (!background) return LoadDocument(document_, path, hooks, &stamp_);

    // Everything that reaches a view or asks the user runs on this object's
    // thread; the views are empty at start, so nothing paints from the document
    // while the worker fills it.
    const TLoadHooks local = hooks;
    hooks.ClearSelection = [this, local] { OnOwnThread(local.ClearSelection); };
    hooks.AskPassword = [this, local](const std::string& p) {
        std::optional<std::string> typed;
        OnOwnThread([&] { typed = local.AskPassword(p); });
        return typed;
    };
    hooks.AskPassphrase = [this, local](const std::string& p, int attempt) {
        std::optional<std::string> typed;
        OnOwnThread([&] { typed = local.AskPassphrase(p, attempt); });
        return typed;
    };
    hooks.ShowWrongPassword = [this, local] { OnOwnThread(local.ShowWrongPassword); };
    hooks.ResetToNew = [this, local] { OnOwnThread(local.ResetToNew); };
    hooks.RebuildViews = [this, local] { OnOwnThread(local.RebuildViews); };
    hooks.RunBusy = nullptr;  // already off this thread
    bool loaded = false;
    std::exception_ptr error;
    decisions.RunBusy([&] {
        try {
            loaded = LoadDocument(document_, path, hooks, &stamp_);
        } catch (...) {
            error = std::current_exception();
        }
    });
    if (error) std::rethrow_exception(error);
    return loaded;
}

// ---------------------------------------------------------------- save

namespace {
constexpr const char* kMsgPassphraseNotPlain =
    "Das Passwort dieser verschlüsselten Sammlung kann eine unverschlüsselte Datei nicht "
    "speichern: sie erlaubt höchstens 255 Zeichen, die Windows-1252 darstellen kann. Ändern "
    "Sie zuerst das Passwort. Es wurde nichts gespeichert.";
}  // namespace

bool TDocumentSession::Save(TSessionDecisions& decisions) {
    if (Loading() || locked_) return false;
    const TBusyScope busy(*this);
    if (fileName_.empty()) return SaveAs(decisions);
    if (document_.Format == TFormat::Encrypted && !EnsurePasswordForEncryption(decisions)) {
        return false;
    }
    switch (WriteFile(fileName_, true, decisions)) {
        case TOverwrite::Write:
        case TOverwrite::Merged:
            break;
        case TOverwrite::SaveAs:
            return SaveAs(decisions);
        case TOverwrite::Cancel:
            return false;
    }
    document_.Modified = false;
    AnnounceModified();
    return true;
}

bool TDocumentSession::SaveAs(TSessionDecisions& decisions) {
    if (Loading() || locked_) return false;
    const TBusyScope busy(*this);
    const auto target = decisions.AskSaveTarget(fileName_, document_.Format);
    if (!target) return false;
    auto password = PasswordFor(target->Format, decisions);
    if (!password) return false;
    // Onto the file it came from: the same check as Save.
    const bool sameFile = IsRememberedFile(target->Path);
    // A plain file read or written before, now copied into an encrypted one.
    const std::string plainPath = document_.Format == TFormat::Plain &&
                                          target->Format == TFormat::Encrypted && !sameFile &&
                                          stamp_.Known
                                      ? fileName_
                                      : std::string();
    const TFormat formerFormat = document_.Format;
    const std::string formerName = fileName_;
    std::string formerPassword = std::move(document_.Password);
    document_.Format = target->Format;
    document_.Password = std::move(*password);
    SetFileName(target->Path);
    const TOverwrite written = WriteFile(target->Path, sameFile, decisions);
    if (written != TOverwrite::Write) {
        // Not written: the document stays what it was.
        document_.Format = formerFormat;
        age::Wipe(document_.Password);
        document_.Password = std::move(formerPassword);
        SetFileName(formerName);
        return written == TOverwrite::SaveAs && SaveAs(decisions);
    }
    document_.Modified = false;
    AnnounceModified();
    age::Wipe(formerPassword);
    if (!plainPath.empty()) OfferToDeletePlainFile(plainPath, decisions);
    return true;
}

void TDocumentSession::OfferToDeletePlainFile(const std::string& plainPath,
                                              TSessionDecisions& decisions) {
    const QFileInfo plain(QString::fromStdString(plainPath));
    // Gone already, or the very file just written (a second name of it).
    if (!plain.isFile() || IsRememberedFile(plainPath)) return;
    if (!decisions.AskDeletePlainFile(plainPath)) return;
    std::error_code error;
    std::filesystem::remove(plainPath, error);
    if (error) decisions.ReportDeleteFailed(plainPath);
}

bool TDocumentSession::EnsurePasswordForEncryption(TSessionDecisions& decisions) {
    if (!document_.Password.empty()) return true;
    const auto password = PasswordFor(TFormat::Encrypted, decisions);
    if (!password) return false;
    SetPassword(*password);
    return true;
}

std::optional<std::string> TDocumentSession::PasswordFor(TFormat format,
                                                         TSessionDecisions& decisions) {
    auto password = PasswordForFormat(document_.Password, document_.Format, format);
    if (!password) throw EStoreError(kMsgPassphraseNotPlain);
    if (format == TFormat::Encrypted && password->empty()) {
        password = decisions.AskNewPassword();
        if (password && password->empty()) password.reset();
    }
    return password;
}

TDocumentSession::TOverwrite TDocumentSession::WriteFile(const std::string& path, bool check,
                                                         TSessionDecisions& decisions) {
    // The slow work first (key derivation, encryption, writing) into a temporary
    // file; the file on disk is checked only after it, right before it is
    // replaced. A failed save throws here, the file it was to replace untouched.
    auto prepared = std::make_unique<TPreparedSave>(document_, path, BusyRunner(decisions));
    bool ask = false;
    for (;;) {
        TFileStamp seen;
        if (check) {
            const TOverwrite answer = ConfirmOverwrite(path, decisions, ask, &seen);
            if (answer == TOverwrite::Merged) {
                // The merged document is saved instead, checked against the version merged.
                prepared.reset();
                prepared = std::make_unique<TPreparedSave>(document_, path, BusyRunner(decisions));
                ask = false;
                continue;
            }
            if (answer != TOverwrite::Write) return answer;
        }
        // The backup copies the file as it is on disk: an encrypted file's encrypted bytes.
        const TBackupResult backedUp = backupOnSave_ ? BackupFile(path) : TBackupResult::NoFile;
        // Checking and copying take as long as the file is large: a quick look
        // at its status tells whether it changed meanwhile; then it is asked about.
        struct stat now {};
        if (seen.Known && (::stat(path.c_str(), &now) != 0 || !StatusUnmoved(seen, now))) {
            ask = true;
            continue;
        }
        // Replaced only if it is still the file looked at: one written in the
        // moment since stays, and is asked about.
        try {
            stamp_ = prepared->Commit(seen.Known ? &seen : nullptr);
        } catch (const EFileChangedMeanwhile&) {
            ask = true;
            continue;
        }
        Saved();
        if (backedUp == TBackupResult::Failed) decisions.ReportBackupFailed(BackupPath(path));
        return TOverwrite::Write;
    }
}

bool TDocumentSession::IsRememberedFile(const std::string& path) const {
    if (!stamp_.Known || fileName_.empty()) return false;
    const QFileInfo chosen(QString::fromStdString(path));
    const QFileInfo remembered(QString::fromStdString(fileName_));
    // The same name, or names that lead to the same place (links followed).
    if (chosen.absoluteFilePath() == remembered.absoluteFilePath() ||
        (!chosen.canonicalFilePath().isEmpty() &&
         chosen.canonicalFilePath() == remembered.canonicalFilePath())) {
        return true;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 &&
           static_cast<std::uint64_t>(st.st_dev) == stamp_.Device &&
           static_cast<std::uint64_t>(st.st_ino) == stamp_.Inode;
}

TDocumentSession::TOverwrite TDocumentSession::ConfirmOverwrite(const std::string& path,
                                                                TSessionDecisions& decisions,
                                                                bool ask, TFileStamp* last) {
    // Nothing remembered (a name set without a load or save): nothing to compare.
    if (!stamp_.Known) return TOverwrite::Write;
    TFileStamp& seen = *last;
    TDiskState state = CompareWithDisk(path, stamp_, &seen);
    // Changed just before it was to be replaced: asked about whatever it holds.
    if (ask && state != TDiskState::Missing) state = TDiskState::Changed;
    while (state == TDiskState::Changed) {
        switch (decisions.AskChangedFile(path)) {
            case TSessionDecisions::TChangedFile::SaveAs:
                return TOverwrite::SaveAs;
            case TSessionDecisions::TChangedFile::Cancel:
                return TOverwrite::Cancel;
            case TSessionDecisions::TChangedFile::Merge:
                // The version read is the one merged: the save compares with it. Not
                // merged (cancelled, unreadable): asked again.
                if (TFileStamp read; MergeWithFile(path, decisions, &read)) {
                    stamp_ = read;
                    return TOverwrite::Merged;
                }
                continue;
            case TSessionDecisions::TChangedFile::Overwrite:
                break;
        }
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

// ---------------------------------------------------------------- content

std::int32_t TDocumentSession::AddKey(const std::string& parent, const std::string& name) {
    if (locked_) return -1;
    const std::int32_t row = document_.AddKey(parent, name);
    emit KeysChanged(row, {});
    AnnounceModified();
    return row;
}

std::int32_t TDocumentSession::UpdateKey(std::int32_t key, const std::string& parent,
                                         const std::string& name) {
    if (locked_) return -1;
    const std::int32_t row = document_.UpdateKey(key, parent, name);
    emit KeysChanged(row, {});
    AnnounceModified();
    return row;
}

void TDocumentSession::DeleteKey(std::int32_t key) {
    if (locked_) return;
    document_.DeleteKey(key);
    document_.Modified = true;
    emit KeysChanged(-1, {});
    AnnounceModified();
}

void TDocumentSession::RenameParent(std::int32_t key, const std::string& newParent) {
    if (locked_) return;
    document_.RenameParent(key, newParent);
    emit KeysChanged(-1, newParent);
    AnnounceModified();
}

void TDocumentSession::AddEntry(std::int32_t key, const std::string& title,
                                const std::string& value, const std::string& info) {
    if (locked_) return;
    document_.AddEntry(key, title, value, info);
    emit EntriesChanged(key, TEntryChange::Added, -1);
    AnnounceModified();
}

std::int32_t TDocumentSession::UpdateEntry(std::int32_t key, std::int32_t entry,
                                           const std::string& title, const std::string& value,
                                           const std::string& info) {
    if (locked_) return -1;
    const std::int32_t row = document_.UpdateEntry(key, entry, title, value, info);
    emit EntriesChanged(key, TEntryChange::Updated, row);
    AnnounceModified();
    return row;
}

void TDocumentSession::DeleteEntry(std::int32_t key, std::int32_t entry) {
    if (locked_) return;
    document_.DeleteEntry(key, entry);
    emit EntriesChanged(key, TEntryChange::Deleted, entry);
    AnnounceModified();
}

void TDocumentSession::ImportEntries(std::int32_t key, const std::string& path, char separator) {
    if (locked_) return;
    ::dorvanta::ImportEntries(document_, key, path, separator);
    emit EntriesChanged(key, TEntryChange::Imported, -1);
    AnnounceModified();
}

void TDocumentSession::SetShownKey(int key) {
    shownKey_ = key;
    emit KeyShown(key);
}

void TDocumentSession::RequestShow(int key, int entry) {
    emit ShowRequested(key, entry);
}

}  // namespace dorvanta
