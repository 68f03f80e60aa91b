#include "tools/CliMerge.h"

#include <sodium.h>

#include <filesystem>

#include "store/Merge.h"
#include "store/PdtFile.h"

namespace dorvanta::cli {

TAskOnce::TAskOnce(const TPasswordInput& input) : once_{input.Stdin, nullptr} {
    if (!input.Ask) return;
    once_.Ask = [this, ask = input.Ask](const char* prompt) {
        if (!answer_) answer_ = ask(prompt);
        return *answer_;
    };
}

TAskOnce::~TAskOnce() {
    if (answer_) sodium_memzero(answer_->Text.data(), answer_->Text.capacity());
}

namespace {

// git hands an empty file as the base of a file both branches added.
bool IsEmptyFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0;
}

}  // namespace

int RunMerge(const std::vector<std::string>& files, std::ostream& err, const TLoadInput& load) {
    const bool withBase = !IsEmptyFile(files[0]);
    TDocument base, ours, theirs;
    if ((withBase && !load(base, files[0])) || !load(ours, files[1]) || !load(theirs, files[2])) {
        err << kMsgWrongPassword << "\n";
        return kWrongPassword;
    }
    TMergeResult result = withBase ? Merge(base, ours, theirs) : MergeWithoutBase(ours, theirs);
    TDocument& merged = result.Document;
    merged.Format = ours.Format;
    // An encrypted file needs a password: when theirs dropped the one all sides
    // were opened with, the result keeps it rather than failing to save.
    if (merged.Format == TDocument::TFormat::Encrypted && merged.Password.empty()) {
        merged.Password = ours.Password;
    }
    SaveDocument(merged, files[3]);
    if (result.Conflicts.empty()) return kOk;
    for (const TMergeConflict& conflict : result.Conflicts) err << ConflictLine(conflict) << "\n";
    err << MergeSummary(result) << "\n";
    return kConflicts;
}

}  // namespace dorvanta::cli
