#include "tools/CliMerge.h"

#include <sodium.h>

#include <filesystem>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/Merge.h"
#include "store/PdtFile.h"
#include "tools/CliPassword.h"

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

constexpr const char* kMsgPasswordNotPlain =
    "Das Passwort des Ergebnisses passt nicht in eine unverschlüsselte Datei (höchstens 255 "
    "Zeichen, die Windows-1252 darstellen kann). Es wurde nichts gespeichert.";

// A plain file keeps its password in Windows-1252, an encrypted one in UTF-8:
// the sides are compared as text, so the same password in both formats is equal.
void PasswordAsText(TDocument& doc) {
    if (doc.Format == TDocument::TFormat::Encrypted) return;
    std::string text = Cp1252ToUtf8(doc.Password);
    age::Wipe(doc.Password);
    doc.Password = std::move(text);
}

}  // namespace

int RunMerge(const std::vector<std::string>& files, std::ostream& err, const TLoadInput& load) {
    const bool withBase = !IsEmptyFile(files[0]);
    TDocument base, ours, theirs;
    if ((withBase && !load(base, files[0])) || !load(ours, files[1]) || !load(theirs, files[2])) {
        err << kMsgWrongPassword << "\n";
        return kWrongPassword;
    }
    for (TDocument* doc : {&base, &ours, &theirs}) PasswordAsText(*doc);
    TMergeResult result = withBase ? Merge(base, ours, theirs) : MergeWithoutBase(ours, theirs);
    TDocument& merged = result.Document;
    merged.Format = ours.Format;
    // An encrypted file needs a password: when theirs dropped the one all sides
    // were opened with, the result keeps it rather than failing to save.
    if (merged.Format == TDocument::TFormat::Encrypted && merged.Password.empty()) {
        merged.Password = ours.Password;
    }
    auto password =
        PasswordForFormat(merged.Password, TDocument::TFormat::Encrypted, merged.Format);
    age::Wipe(merged.Password);
    if (!password) throw ECliExit{kError, kMsgPasswordNotPlain};
    merged.Password = std::move(*password);
    SaveDocument(merged, files[3]);
    if (result.Conflicts.empty()) return kOk;
    for (const TMergeConflict& conflict : result.Conflicts) err << ConflictLine(conflict) << "\n";
    err << MergeSummary(result) << "\n";
    return kConflicts;
}

}  // namespace dorvanta::cli
