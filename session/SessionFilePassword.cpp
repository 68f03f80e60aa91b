// The file's password across a lock. A merge without base (the base is dropped
// when locking with unsaved changes) still needs to know what the file's password
// was, or a password changed only in the window would count as changed on both
// sides. While locked, no readable copy is kept: a password other than the
// document's is sealed under the document's, as the document itself is.

#include <algorithm>
#include <exception>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/Merge.h"
#include "store/PdtFile.h"

namespace dorvanta {

void TDocumentSession::SealFilePassword(TSessionDecisions& decisions) {
    const std::string* file = hasBase_        ? &base_.Password
                              : filePassword_ ? &*filePassword_
                                              : nullptr;
    age::Wipe(sealedFilePassword_);
    if (!file) {
        sealedFilePasswordKind_ = TSealedFilePassword::Unknown;
    } else if (*file == document_.Password) {
        sealedFilePasswordKind_ = TSealedFilePassword::Same;
    } else {
        // A second key derivation, only when the window changed the password.
        RunCaptured(BusyRunner(decisions), [&] {
            sealedFilePassword_ = age::Encrypt(*file, document_.Password, EncryptionWorkFactor());
        });
        sealedFilePasswordKind_ = TSealedFilePassword::Sealed;
    }
}

void TDocumentSession::UnsealFilePassword(const std::string& password,
                                          TSessionDecisions& decisions) {
    if (sealedFilePasswordKind_ == TSealedFilePassword::Same) {
        filePassword_ = document_.Password;
    } else if (sealedFilePasswordKind_ == TSealedFilePassword::Sealed) {
        std::string file;
        try {
            RunCaptured(BusyRunner(decisions), [&] {
                age::TMemorySource source(sealedFilePassword_);
                age::Decrypt(source, password, file);
            });
            filePassword_ = file;
        } catch (...) {
            // Not to be had: the merge goes on as without it.
        }
        age::Wipe(file);
    }
    age::Wipe(sealedFilePassword_);
    sealedFilePasswordKind_ = TSealedFilePassword::Unknown;
}

void TDocumentSession::TakeFilePassword(TMergeResult& result, const TDocument& theirs) const {
    if (!filePassword_) return;
    const bool theirsKept = theirs.Password == *filePassword_;
    const bool oursKept = document_.Password == *filePassword_;
    if (!theirsKept && !oursKept) return;  // changed on both sides indeed
    if (!theirsKept) {
        age::Wipe(result.Document.Password);
        result.Document.Password = theirs.Password;
    }
    std::erase_if(result.Conflicts, [](const TMergeConflict& conflict) {
        return conflict.Kind == TMergeConflict::TKind::PasswordChangedBoth;
    });
}

}  // namespace dorvanta
