// The session's lock: the document sealed in memory under its password, with the
// window's edit not yet stored.
#include <sodium.h>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/DocumentSeal.h"

namespace dorvanta {

namespace {

// The draft travels in the seal as one more sub-category after the document's
// own, under a name no view shows; the session knows whether it added one.
const std::string kDraftName =
    "\x01"
    "Entwurf";

void WipeText(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

}  // namespace

bool TDocumentSession::CanLock() const {
    return !locked_ && busy_ == 0 && !Loading() && !document_.Password.empty();
}

void TDocumentSession::SetDraft(TDraft draft) {
    WipeDraft();
    draft_ = std::move(draft);
}

std::optional<TDocumentSession::TDraft> TDocumentSession::TakeDraft() {
    auto draft = std::move(draft_);
    draft_.reset();
    return draft;
}

void TDocumentSession::TDraft::Wipe() {
    for (std::string* text : {&title, &value, &info}) WipeText(*text);
}

void TDocumentSession::WipeDraft() {
    if (!draft_) return;
    draft_->Wipe();
    draft_.reset();
}

std::optional<TDocumentSession::TDraft> TDocumentSession::TakeSealedDraft(TDocument& doc) {
    if (doc.Keys.empty() || doc.Keys.back().Name != kDraftName ||
        doc.Keys.back().Parent.str() != kDraftName || doc.Keys.back().Data.size() != 1) {
        return std::nullopt;
    }
    TDataRec& rec = doc.Keys.back().Data.front();
    TDraft draft{std::move(rec.Title), std::move(rec.Value), std::move(rec.Info)};
    doc.Keys.pop_back();
    return draft;
}

bool TDocumentSession::Lock(TSessionDecisions& decisions) {
    if (!CanLock()) return false;
    emit AboutToSeal();
    sealedDraft_ = draft_.has_value();
    if (sealedDraft_) {
        document_.Keys.push_back(TDataKey{kDraftName, TSharedText(kDraftName), {}});
        document_.Keys.back().Data.push_back(
            TDataRec{std::move(draft_->title), std::move(draft_->value), std::move(draft_->info)});
        WipeDraft();
    }
    // The draft's sub-category goes again whether the seal was made or not.
    struct TDropDraft {
        TDocument& doc;
        bool added;
        void Drop() {
            if (!added) return;
            added = false;
            for (TDataRec& rec : doc.Keys.back().Data) {
                for (std::string* text : {&rec.Title, &rec.Value, &rec.Info}) WipeText(*text);
            }
            doc.Keys.pop_back();
        }
        ~TDropDraft() { Drop(); }
    } dropDraft{document_, sealedDraft_};
    sealed_ = SealDocument(document_, BusyRunner(decisions));
    dropDraft.Drop();
    sealedModified_ = document_.Modified;
    SealFilePassword(decisions);
    // The base is not kept while locked: unchanged, it is the document again on
    // unlocking; with unsaved changes a later merge goes without it.
    ForgetBase();
    sealedFormat_ = document_.Format;
    sealedKeyRow_ = selectedKeyRow_;
    sealedShownKey_ = shownKey_;
    locked_ = true;
    emit AboutToLock();
    document_.Wipe();
    selectedKeyRow_ = -1;
    shownKey_ = -1;
    emit LockedChanged(true);
    return true;
}

bool TDocumentSession::Unlock(const std::string& password, TSessionDecisions& decisions) {
    if (!locked_) return true;
    const bool opened = UnsealDocument(document_, sealed_, password, BusyRunner(decisions));
    if (!opened) return false;
    age::Wipe(sealed_);
    sealed_.shrink_to_fit();
    if (sealedDraft_) draft_ = TakeSealedDraft(document_);
    sealedDraft_ = false;
    document_.Format = sealedFormat_;
    document_.Modified = sealedModified_;
    UnsealFilePassword(password, decisions);
    selectedKeyRow_ = sealedKeyRow_;
    shownKey_ = sealedShownKey_;
    if (!sealedModified_ && stamp_.Known) RememberBase();
    locked_ = false;
    emit LockedChanged(false);
    AnnounceModified();
    return true;
}

}  // namespace dorvanta
