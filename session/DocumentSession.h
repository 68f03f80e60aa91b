#pragma once
// The open collection and the file it belongs to: the one document of the
// program, its file name, format, password, the stamp of the file as last read
// or written, Modified and Loading, and the operations New, Open, Save, Save as,
// set password, the changed-file check and the backup. No window owns it; views
// refresh themselves from its signals. It never asks a question itself: where a
// decision is needed it calls the TSessionDecisions the caller hands in.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/Document.h"
#include "store/FileStamp.h"
#include "store/PdtHooks.h"

namespace dorvanta {

struct TMergeResult;

// What the session needs decided or done by whoever drives it (the main window
// through the message service; tests through a script).
class TSessionDecisions {
  public:
    using TFormat = TDocument::TFormat;
    // Merge: the file's version is merged into the window's, which is then saved.
    enum class TChangedFile { Overwrite, SaveAs, Cancel, Merge };
    // What to do with sync tools' conflict copies found beside an opened file.
    enum class TConflictCopies { Merge, Later, Never };
    struct TSaveTarget {
        std::string Path;
        TFormat Format = TFormat::Plain;
    };

    virtual ~TSessionDecisions() = default;
    // The password of a protected or encrypted file being opened; nothing: cancelled.
    virtual std::optional<std::string> AskOpenPassword(const std::string& path) = 0;
    // The passphrase of an encrypted file being opened, try `attempt` of
    // kPassphraseTries (store/PdtHooks.h); a later try follows a wrong passphrase.
    // Nothing: cancelled. By default the question of AskOpenPassword.
    virtual std::optional<std::string> AskOpenPassphrase(const std::string& path, int attempt) {
        (void)attempt;
        return AskOpenPassword(path);
    }
    virtual void ShowWrongPassword() = 0;
    // A password for an encrypted save of a document that has none; nothing when
    // none was given (cancelled, empty, or not storable — the decider says why).
    // It is UTF-8, as an encrypted document keeps it.
    virtual std::optional<std::string> AskNewPassword() = 0;
    // The file `path` was changed by another program since it was opened or saved.
    virtual TChangedFile AskChangedFile(const std::string& path) = 0;
    // Conflict copies of the opened file `path` lie beside it (store/ConflictCopies.h).
    // Never: the decider remembers not to ask for this file again (the session
    // treats it as Later). By default they stay for later.
    virtual TConflictCopies AskMergeConflictCopies(const std::string& path,
                                                   const std::vector<std::string>& copies) {
        (void)path;
        (void)copies;
        return TConflictCopies::Later;
    }
    // Unsaved changes kept when the desktop session ended (see
    // TDocumentSession::KeepForRecovery) lie in the recovery file `path`, written
    // at `written` (seconds since 1970). Restore brings them back; Discard deletes
    // the file; Later keeps it for the next open. By default it is kept.
    enum class TRecovery { Restore, Discard, Later };
    virtual TRecovery AskRecovery(const std::string& path, std::int64_t written) {
        (void)path;
        (void)written;
        return TRecovery::Later;
    }
    // A merge kept both versions of something: one German line (UTF-8) each.
    virtual void ReportMergeConflicts(const std::vector<std::string>& lines) { (void)lines; }
    // Name and format for "Speichern unter"; nothing: cancelled.
    virtual std::optional<TSaveTarget> AskSaveTarget(const std::string& current,
                                                     TFormat format) = 0;
    // After an encrypted "Speichern unter", the plain file `path` the document came
    // from is still there: true to delete it. By default it stays.
    virtual bool AskDeletePlainFile(const std::string& path) {
        (void)path;
        return false;
    }
    // The plain file `path` could not be deleted; the encrypted save stands.
    virtual void ReportDeleteFailed(const std::string& path) { (void)path; }
    // The file was saved, but the backup `backupPath` could not be made first.
    virtual void ReportBackupFailed(const std::string& backupPath) = 0;
    // A load failed with the current exception; the session then drops what it read.
    virtual void ReportLoadError(std::exception_ptr error) = 0;
    // Runs slow work (key derivation, a whole load) while the windows keep painting.
    virtual void RunBusy(const std::function<void()>& work) = 0;
};

class TDocumentSession : public QObject {
    Q_OBJECT
  public:
    using TFormat = TDocument::TFormat;
    // How the entries of a sub-category changed (EntriesChanged).
    enum class TEntryChange { Added, Updated, Deleted, Imported };

    explicit TDocumentSession(QObject* parent = nullptr);
    ~TDocumentSession() override;

    TDocument& Document() { return document_; }
    const TDocument& Document() const { return document_; }
    // Native path (UTF-8) of the file; empty: untitled.
    const std::string& FileName() const { return fileName_; }
    // While locked: the format of the sealed document.
    TFormat Format() const { return locked_ ? sealedFormat_ : document_.Format; }
    // What the file was when it was last opened or saved; a save compares the disk with it.
    const TFileStamp& Stamp() const { return stamp_; }
    // The document as last read from or written to its file: what a merge with the
    // file's later version starts from. Not known for an untitled document, or
    // after a lock with unsaved changes (a merge is then two-way).
    bool HasBase() const { return hasBase_; }
    const TDocument& Base() const { return base_; }
    // A conflict copy merged into the document, and what it was when it was read.
    struct TMergedCopy {
        std::string Path;
        TFileStamp Stamp;
    };
    // Conflict copies merged into the document; the next save to its file removes
    // each that still holds what was merged (as NAME.bak when backups are on).
    const std::vector<TMergedCopy>& MergedCopies() const { return mergedCopies_; }
    // While locked: whether the sealed document had unsaved changes.
    bool Modified() const { return locked_ ? sealedModified_ : document_.Modified; }
    bool Loading() const { return document_.Loading; }
    // True while an open or a save runs (its questions included).
    bool Busy() const { return busy_ > 0; }
    bool HasPassword() const { return !document_.Password.empty(); }
    const std::string& Password() const { return document_.Password; }

    // "Sicherungskopie beim Speichern": the file a save replaces is kept as NAME.bak.
    bool BackupOnSave() const { return backupOnSave_; }
    void SetBackupOnSave(bool on) { backupOnSave_ = on; }

    // The category list's selected row as the list last reported it (-1: none).
    int SelectedKeyRow() const { return selectedKeyRow_; }
    void SetSelectedKeyRow(int row) { selectedKeyRow_ = row; }
    // The sub-category whose entries the entry list shows (-1: none); a new or
    // replaced document shows none.
    int ShownKey() const { return shownKey_; }
    // Also tells the views, which show that sub-category's entries (-1: none).
    void SetShownKey(int key);

    // ---- the file ----
    // An empty untitled document; the former one's texts are overwritten.
    void New();
    // For a closing window: the document's texts are overwritten and it is left
    // empty; the file name stays (the settings keep it). Nothing while locked.
    void Forget();
    // Reads `path` into the document. True when it was loaded; false when a
    // password prompt was cancelled or answered wrongly, or the file could not be
    // read (reported through ReportLoadError): either way the document is then
    // empty and untitled. `background`: the whole load runs inside RunBusy, and
    // the questions and signals come back to this object's thread.
    bool Open(const std::string& path, TSessionDecisions& decisions, bool background = false);
    // Writes the document to its file (Save as when untitled). True when the file
    // was written; a failed write throws EStoreError with the file left as it was.
    bool Save(TSessionDecisions& decisions);
    bool SaveAs(TSessionDecisions& decisions);
    void SetPassword(const std::string& password);
    // Names the file of the document without reading it: nothing is remembered of
    // it, so the next save writes there without comparing.
    void AssignFileName(const std::string& path);
    // True when `path` names the remembered file (by name, or as the same file on disk).
    bool IsRememberedFile(const std::string& path) const;

    // ---- the content; each announces itself, and a locked document refuses them ----
    // Add or change a sub-category; returns its row after the re-sort.
    std::int32_t AddKey(const std::string& parent, const std::string& name);
    std::int32_t UpdateKey(std::int32_t key, const std::string& parent, const std::string& name);
    void DeleteKey(std::int32_t key);
    void RenameParent(std::int32_t key, const std::string& newParent);
    void AddEntry(std::int32_t key, const std::string& title, const std::string& value,
                  const std::string& info);
    // Returns the entry's row after the re-sort.
    std::int32_t UpdateEntry(std::int32_t key, std::int32_t entry, const std::string& title,
                             const std::string& value, const std::string& info);
    void DeleteEntry(std::int32_t key, std::int32_t entry);
    // Imports a text file's lines into sub-category `key`; a file that cannot be
    // read throws before the document changes.
    void ImportEntries(std::int32_t key, const std::string& path, char separator);
    // Asks the views to show sub-category `key` and its entry `entry` (-1: none).
    void RequestShow(int key, int entry);

    // ---- the lock ----
    // A document with a password can be locked, unless it is locked, busy or loading.
    bool CanLock() const;
    bool Locked() const { return locked_; }
    // Seals the document in memory under its password (the slow part through
    // RunBusy), tells the views to let go of every text (AboutToLock), then wipes
    // the document and the password. Never saves; the file is not touched.
    // False when it cannot lock now.
    bool Lock(TSessionDecisions& decisions);
    // Opens the seal with `password`: the document, Modified and the selection
    // come back as they were. False (still locked) when the password is wrong.
    bool Unlock(const std::string& password, TSessionDecisions& decisions);
    // An edit the window has not stored yet (the editor's fields, Windows-1252 as
    // the document keeps texts): a view hands it over when the lock is about to
    // seal (AboutToSeal); it is sealed with the document, never kept readable, and
    // the unlock gives it back once (TakeDraft).
    struct TDraft {
        std::string title, value, info;
        // Overwrites the three texts.
        void Wipe();
    };
    void SetDraft(TDraft draft);
    std::optional<TDraft> TakeDraft();

    // ---- the recovery file (SessionRecovery.cpp) ----
    // Where unsaved changes of the collection in `fileName` are kept when nobody can
    // be asked about them: NAME.wiederherstellen.age beside it; an untitled one's
    // in `untitledFolder`.
    static std::string RecoveryPath(const std::string& fileName, const std::string& untitledFolder);
    // When the desktop session ends (logout, shutdown) and nobody can answer: keeps
    // unsaved changes in the recovery file, sealed as a lock seals them (the
    // locked document's seal as it is; an unlocked one is sealed first, which
    // needs its password). Its path when written; nothing when there was nothing
    // to keep or no password to seal with; EStoreError when it cannot be written.
    std::optional<std::string> KeepForRecovery(const std::string& untitledFolder);
    // Offers the recovery file `recoveryPath`, if there is one: Restore asks for the
    // password it was sealed under (the document's own is tried first), replaces
    // the document with it, modified, and deletes the file. `untitled`: the
    // changes were of an untitled collection, which the document then is.
    // Also run by Open for the file it opened.
    void OfferRecovery(const std::string& recoveryPath, TSessionDecisions& decisions,
                       bool untitled = false);

  signals:
    // Before New or a load empties the document: views drop their selection and
    // every copy of its texts, as for a lock.
    void AboutToReplaceDocument();
    // The document is now empty and untitled (New, a refused or failed load).
    void DocumentReset();
    // A file was read into the document.
    void DocumentLoaded();
    // Sub-categories were added, changed, deleted or renamed. `select`: the row
    // to select after the refill (-1: keep what matches the former selection);
    // `newParent`: a parent name the former selection may now have.
    void KeysChanged(int select, const std::string& newParent);
    // The entries of sub-category `key` changed; `row`: the entry changed (its row
    // after the re-sort) or deleted, else -1.
    void EntriesChanged(int key, TDocumentSession::TEntryChange change, int row);
    void FileNameChanged(const QString& fileName);
    void ModifiedChanged(bool modified);
    void ShowRequested(int key, int entry);
    // The sub-category whose entries are shown was chosen (again): -1 for none.
    void KeyShown(int key);
    // The lock is about to seal the document: a view with an edit not yet stored
    // hands it over (SetDraft).
    void AboutToSeal();
    // The document is about to be wiped for a lock: views drop every copy of its
    // texts (lists, fields and their undo history, search hits, the clipboard).
    void AboutToLock();
    void LockedChanged(bool locked);
    // Another version of the file was merged into the document: what was taken
    // ("3 Einträge übernommen, 1 Konflikt").
    void Merged(const QString& summary);
    // An open or a save has ended (a lock waiting for it may go on).
    void BusyEnded();

  private:
    // Tells the views, then overwrites the document's texts.
    void ReplaceDocument();
    // Merged: the file's version was merged into the document, which is to be saved.
    enum class TOverwrite { Write, SaveAs, Cancel, Merged };
    // Compares the file with the stamp and asks when it changed (`ask`: asks
    // whatever it holds). `last` receives what was found the last time it was
    // compared (not Known: nothing to compare, or nothing readable).
    TOverwrite ConfirmOverwrite(const std::string& path, TSessionDecisions& decisions, bool ask,
                                TFileStamp* last);
    bool EnsurePasswordForEncryption(TSessionDecisions& decisions);
    // The document's password as a file of `format` keeps it (see Document.h),
    // a new one asked for an encrypted file without one; nothing: none given.
    // EStoreError when a plain file cannot hold it.
    std::optional<std::string> PasswordFor(TFormat format, TSessionDecisions& decisions);
    // After an encrypted save as: offers to delete `plainPath`, the plain file the
    // document was last read from or written to.
    void OfferToDeletePlainFile(const std::string& plainPath, TSessionDecisions& decisions);
    // Prepares the save of the document to `path`, then (`check`) compares the file
    // with the stamp and asks when it changed, keeps the backup, looks once more,
    // and puts the new file in place. Write when it was written; otherwise nothing
    // was, and the answer tells what the save command does next.
    TOverwrite WriteFile(const std::string& path, bool check, TSessionDecisions& decisions);
    // Reads the file at `path` (another version of this collection) into `other`,
    // trying the document's own password first, then asking. False when it was
    // not opened (cancelled, wrong password; a read error is reported).
    bool ReadOtherVersion(TDocument& other, const std::string& path, TSessionDecisions& decisions,
                          TFileStamp* stamp);
    // Merges the file's current version into the document (three-way when the
    // base is known); `stamp` receives what the file was. False: not merged.
    bool MergeWithFile(const std::string& path, TSessionDecisions& decisions, TFileStamp* stamp);
    // After an open: offers to merge the sync tools' conflict copies of `path`.
    void OfferConflictCopies(const std::string& path, TSessionDecisions& decisions);
    // Puts a merge's result in place of the document and tells the views.
    void TakeMerge(TMergeResult&& result, TSessionDecisions& decisions);
    // The base becomes the document as it is now; or there is none (wiped).
    void RememberBase();
    void ForgetBase();
    // The file's password while locked, for a merge without base after unlocking
    // (session/SessionFilePassword.cpp): sealed with the document, and back with it.
    void SealFilePassword(TSessionDecisions& decisions);
    void UnsealFilePassword(const std::string& password, TSessionDecisions& decisions);
    // In a merge without base: the password as a merge with the file's would take it.
    void TakeFilePassword(TMergeResult& result, const TDocument& theirs) const;
    // Overwrites the document, the base and forgets merged conflict copies.
    void WipeDocuments();
    // After a save: the base is what was written; merged conflict copies go.
    void Saved();
    void RemoveMergedCopies();
    bool Load(const std::string& path, TSessionDecisions& decisions, bool background);
    // Opens a recovery file's seal into `doc`, asking for its password; false when
    // it was not opened (cancelled, wrong three times, damaged: reported).
    bool UnsealRecovery(TDocument& doc, const std::string& sealed, const std::string& path,
                        TSessionDecisions& decisions);
    void Reset();
    void SetFileName(const std::string& fileName);
    // Emits ModifiedChanged when Modified differs from what was last announced.
    void AnnounceModified();
    // The decider's RunBusy as the store's runner of slow work.
    static TBusyRunner BusyRunner(TSessionDecisions& decisions);
    // Runs `fn` on this object's thread and waits for it (a load on a worker thread).
    void OnOwnThread(const std::function<void()>& fn);

    TDocument document_;
    std::string fileName_;
    TFileStamp stamp_;
    TDocument base_;
    bool hasBase_ = false;
    // The file's password as last read or written, once the base is gone (after
    // unlocking with unsaved changes); while locked, sealed under the document's
    // password when it differs from it.
    std::optional<std::string> filePassword_;
    enum class TSealedFilePassword { Unknown, Same, Sealed };
    TSealedFilePassword sealedFilePasswordKind_ = TSealedFilePassword::Unknown;
    std::string sealedFilePassword_;
    std::vector<TMergedCopy> mergedCopies_;
    bool backupOnSave_ = false;
    bool announcedModified_ = false;
    int selectedKeyRow_ = -1;
    int shownKey_ = -1;
    int busy_ = 0;
    // The lock: the sealed document and what is restored with it.
    bool locked_ = false;
    std::string sealed_;
    bool sealedModified_ = false;
    TFormat sealedFormat_ = TFormat::Plain;
    int sealedKeyRow_ = -1;
    int sealedShownKey_ = -1;
    bool sealedDraft_ = false;  // the seal's last sub-category holds the draft
    // Takes the draft a seal carries out of the document it was opened into.
    static std::optional<TDraft> TakeSealedDraft(TDocument& doc);
    std::optional<TDraft> draft_;
    void WipeDraft();
    // Counts an operation as busy for its whole run, questions included.
    class TBusyScope;
};

}  // namespace dorvanta

Q_DECLARE_METATYPE(dorvanta::TDocumentSession::TEntryChange)
