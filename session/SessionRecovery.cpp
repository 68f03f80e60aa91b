// Unsaved changes kept when the desktop session ends while nobody can answer
// (logout, shutdown, SIGTERM), and offered again at the next open.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/DocumentSeal.h"
#include "store/FileIO.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {
namespace {

// A recovery file larger than this is no seal of a collection anyone keeps.
constexpr std::uint64_t kMaxRecoveryBytes = std::uint64_t{4} << 30;

}  // namespace

std::string TDocumentSession::RecoveryPath(const std::string& fileName,
                                           const std::string& untitledFolder) {
    if (!fileName.empty()) return fileName + ".wiederherstellen.age";
    if (untitledFolder.empty()) return {};
    return untitledFolder + "/Unbenannt.wiederherstellen.age";
}

std::optional<std::string> TDocumentSession::KeepForRecovery(const std::string& untitledFolder) {
    if (!Modified() || Loading()) return std::nullopt;
    const std::string path = RecoveryPath(fileName_, untitledFolder);
    if (path.empty()) return std::nullopt;
    // Locked, the seal is what memory holds already; unlocked, the document is
    // sealed the same way (no password: nothing to seal with).
    std::string own;
    const age::TWipeGuard ownGuard(own);
    if (!locked_) {
        if (document_.Password.empty()) return std::nullopt;
        own = SealDocument(document_);
    }
    const std::string& sealed = locked_ ? sealed_ : own;
    // Readable by its owner only, whatever an older one allowed.
    struct stat attributes {};
    attributes.st_mode = S_IFREG | S_IRUSR | S_IWUSR;
    attributes.st_uid = ::getuid();
    attributes.st_gid = ::getgid();
    TWriteOptions options;
    options.AttributesOf = &attributes;
    switch (WriteFileAtomically(path, sealed, options)) {
        case AtomicWriteResult::Ok:
            return path;
        case AtomicWriteResult::CannotCreate:
            throw EStoreError(FormatMessage(kMsgCannotCreate, path));
        case AtomicWriteResult::WriteFailed:
        case AtomicWriteResult::Changed:  // no stamp is given: not expected
            break;
    }
    throw EStoreError(kMsgWriteError);
}

bool TDocumentSession::UnsealRecovery(TDocument& doc, const std::string& sealed,
                                      const std::string& path, TSessionDecisions& decisions) {
    const bool encrypted = document_.Format == TFormat::Encrypted;
    try {
        // Mostly sealed under the password the collection was just opened with.
        if (!document_.Password.empty() &&
            UnsealDocument(doc, sealed, document_.Password, BusyRunner(decisions))) {
            return true;
        }
        for (int attempt = 1; attempt <= kPassphraseTries; ++attempt) {
            std::optional<std::string> typed = encrypted
                                                   ? decisions.AskOpenPassphrase(path, attempt)
                                                   : decisions.AskOpenPassword(path);
            if (!typed) return false;
            const age::TWipeGuard typedGuard(*typed);
            if (UnsealDocument(doc, sealed, *typed, BusyRunner(decisions))) return true;
            if (!encrypted || attempt == kPassphraseTries) decisions.ShowWrongPassword();
        }
    } catch (...) {
        doc.Wipe();
        decisions.ReportLoadError(std::current_exception());
    }
    return false;
}

void TDocumentSession::OfferRecovery(const std::string& recoveryPath, TSessionDecisions& decisions,
                                     bool untitled) {
    if (locked_ || recoveryPath.empty()) return;
    struct stat st {};
    if (::lstat(recoveryPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    switch (decisions.AskRecovery(recoveryPath, static_cast<std::int64_t>(st.st_mtime))) {
        case TSessionDecisions::TRecovery::Later:
            return;
        case TSessionDecisions::TRecovery::Discard:
            std::remove(recoveryPath.c_str());
            return;
        case TSessionDecisions::TRecovery::Restore:
            break;
    }
    std::string sealed;
    const age::TWipeGuard sealedGuard(sealed);
    if (ReadWholeFile(recoveryPath, sealed, kMaxRecoveryBytes) != ReadFileResult::Ok) {
        decisions.ReportLoadError(
            std::make_exception_ptr(EStoreError(FormatMessage(kMsgCannotOpen, recoveryPath))));
        return;
    }
    TDocument recovered;
    if (!UnsealRecovery(recovered, sealed, recoveryPath, decisions)) return;
    // A seal made while an edit was in the fields carries it; the recovered
    // collection is what was saved with it, without the edit.
    if (auto draft = TakeSealedDraft(recovered)) draft->Wipe();
    // The seal keeps no format: the changes belong to the file just opened.
    recovered.Format = untitled ? TFormat::Plain : document_.Format;
    ReplaceDocument();
    document_ = std::move(recovered);
    document_.Modified = true;
    shownKey_ = -1;
    selectedKeyRow_ = -1;
    if (untitled) {
        stamp_ = {};
        SetFileName({});
    }
    // The file may hold another version than the one the changes were made to:
    // a later merge goes without a base, as after a lock with unsaved changes.
    emit DocumentLoaded();
    AnnounceModified();
    std::remove(recoveryPath.c_str());
}

}  // namespace dorvanta
