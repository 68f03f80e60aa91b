// The session's merges: the file's later version into the window's (the
// changed-file question's "Zusammenführen"), and sync tools' conflict copies
// found when a collection is opened.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <exception>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/ConflictCopies.h"
#include "store/Merge.h"
#include "store/PdtFile.h"

namespace dorvanta {

bool TDocumentSession::ReadOtherVersion(TDocument& other, const std::string& path,
                                        TSessionDecisions& decisions, TFileStamp* stamp) {
    // Another version of the same collection mostly has the same password: it is
    // tried without a question, and only a different one is asked for.
    std::string own = document_.Password;
    const age::TWipeGuard ownGuard(own);
    TLoadHooks silent;
    silent.AskPassword = [&own](const std::string&) -> std::optional<std::string> {
        if (own.empty()) return std::nullopt;
        return own;
    };
    silent.AskPassphrase = [&silent](const std::string& p, int attempt) {
        return attempt == 1 ? silent.AskPassword(p) : std::nullopt;
    };
    silent.RunBusy = BusyRunner(decisions);
    TLoadHooks asking;
    asking.AskPassword = [&decisions](const std::string& p) {
        return decisions.AskOpenPassword(p);
    };
    asking.AskPassphrase = [&decisions](const std::string& p, int attempt) {
        return decisions.AskOpenPassphrase(p, attempt);
    };
    asking.ShowWrongPassword = [&decisions] { decisions.ShowWrongPassword(); };
    asking.RunBusy = silent.RunBusy;
    try {
        if (LoadDocument(other, path, silent, stamp) || LoadDocument(other, path, asking, stamp)) {
            // The other version in the other format (a plain copy of an encrypted
            // collection): its password as this document keeps passwords.
            if (other.Format != document_.Format) {
                other.Password = PasswordForFormat(other.Password, other.Format, document_.Format)
                                     .value_or(document_.Password);
                other.Format = document_.Format;
            }
            return true;
        }
    } catch (...) {
        other.Wipe();
        decisions.ReportLoadError(std::current_exception());
        return false;
    }
    other.Wipe();
    return false;
}

void TDocumentSession::TakeMerge(TMergeResult&& result, TSessionDecisions& decisions) {
    // The result shares texts with its inputs, which are wiped.
    result.Document.OwnTexts();
    emit AboutToReplaceDocument();
    document_.Wipe();
    // Format and clock are ours in the result already.
    document_ = std::move(result.Document);
    document_.Modified = true;
    shownKey_ = -1;
    emit DocumentLoaded();
    emit Merged(QString::fromStdString(MergeSummary(result)));
    AnnounceModified();
    if (!result.Conflicts.empty()) {
        std::vector<std::string> lines;
        lines.reserve(result.Conflicts.size());
        for (const TMergeConflict& conflict : result.Conflicts)
            lines.push_back(ConflictLine(conflict));
        decisions.ReportMergeConflicts(lines);
    }
}

bool TDocumentSession::MergeWithFile(const std::string& path, TSessionDecisions& decisions,
                                     TFileStamp* stamp) {
    TDocument theirs;
    if (!ReadOtherVersion(theirs, path, decisions, stamp)) return false;
    TMergeResult result =
        hasBase_ ? Merge(base_, document_, theirs) : MergeWithoutBase(document_, theirs);
    if (!hasBase_) TakeFilePassword(result, theirs);
    TakeMerge(std::move(result), decisions);
    theirs.Wipe();
    return true;
}

void TDocumentSession::OfferConflictCopies(const std::string& path, TSessionDecisions& decisions) {
    const std::vector<std::string> copies = FindConflictCopies(path);
    if (copies.empty() || decisions.AskMergeConflictCopies(path, copies) !=
                              TSessionDecisions::TConflictCopies::Merge) {
        return;
    }
    std::vector<TMergedCopy> merged;
    for (const std::string& copy : copies) {
        TDocument theirs;
        TFileStamp read;
        if (!ReadOtherVersion(theirs, copy, decisions, &read)) continue;
        TMergeResult result = MergeWithoutBase(document_, theirs);
        TakeMerge(std::move(result), decisions);
        theirs.Wipe();
        merged.push_back({copy, read});
    }
    mergedCopies_ = std::move(merged);
}

void TDocumentSession::ForgetBase() {
    base_.Wipe();
    hasBase_ = false;
    if (filePassword_) age::Wipe(*filePassword_);
    filePassword_.reset();
}

void TDocumentSession::RememberBase() {
    ForgetBase();
    base_ = document_;
    base_.OwnTexts();
    base_.Modified = false;
    hasBase_ = true;
}

void TDocumentSession::Saved() {
    RememberBase();
    RemoveMergedCopies();
}

void TDocumentSession::RemoveMergedCopies() {
    for (const TMergedCopy& copy : mergedCopies_) {
        // A sync tool may have written the copy again since it was merged: only
        // what was merged goes, anything newer stays to be offered at the next open.
        // A copy already gone is fine.
        TFileStamp now;
        if (!copy.Stamp.Known ||
            CompareWithDisk(copy.Path, copy.Stamp, &now) != TDiskState::Unchanged) {
            continue;
        }
        // Comparing read the file: a change during it shows in its status.
        struct stat st {};
        if (::lstat(copy.Path.c_str(), &st) != 0 || !StatusUnmoved(now, st)) continue;
        // Kept as NAME.bak when backups are on.
        if (backupOnSave_) {
            std::rename(copy.Path.c_str(), BackupPath(copy.Path).c_str());
        } else {
            std::remove(copy.Path.c_str());
        }
    }
    mergedCopies_.clear();
}

}  // namespace dorvanta
