// Any byte string fed to the loader must end in a result or an EStoreError,
// never in a crash, a hang or an unbounded allocation. It is loaded with the
// right password and, when protected, also without hooks (as a caller that
// cannot ask) and with a wrong password, which must both refuse it. What loads
// must save, load back to an equal document and save again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

[[noreturn]] void Fail(const char* what, const char* detail = "") {
    fuzz::Fail("fuzz_load", what, detail);
}

// Dates compare by their bits: a NaN read from a file must come back as itself.
DORVANTA_FUZZ_CHECK bool SameDate(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

DORVANTA_FUZZ_CHECK bool SameDocument(const TDocument& a, const TDocument& b) {
    if (a.Password != b.Password || a.Keys.size() != b.Keys.size()) return false;
    for (std::size_t k = 0; k < a.Keys.size(); ++k) {
        const TDataKey& x = a.Keys[k];
        const TDataKey& y = b.Keys[k];
        if (x.Name != y.Name || x.Parent != y.Parent || x.Data.size() != y.Data.size())
            return false;
        for (std::size_t e = 0; e < x.Data.size(); ++e) {
            const TDataRec& r = x.Data[e];
            const TDataRec& s = y.Data[e];
            if (r.Title != s.Title || r.Value != s.Value || r.Info != s.Info ||
                !SameDate(r.Date, s.Date))
                return false;
        }
    }
    return true;
}

// Answers the prompt with the password the file holds, so a protected file loads.
TLoadHooks RightPassword(TDocument& doc, int& asked) {
    TLoadHooks hooks;
    hooks.AskPassword = [&doc, &asked](const std::string&) {
        ++asked;
        return std::optional<std::string>(doc.Password);
    };
    hooks.ShowWrongPassword = [] { Fail("the right password was called wrong"); };
    return hooks;
}

void LoadWithoutHooks(const std::string& bytes) {
    TDocument doc;
    try {
        const bool accepted = LoadDocumentFromBytes(doc, bytes, "fuzz.pdt");
        if (doc.Loading) Fail("Loading left set after a load");
        if (!accepted && (!doc.Keys.empty() || !doc.Password.empty()))
            Fail("a refused file left data in the document");
    } catch (const EStoreError&) {
    }
}

void LoadWithWrongPassword(const std::string& bytes) {
    TDocument doc;
    int wrong = 0;
    int reset = 0;
    TLoadHooks hooks;
    hooks.AskPassword = [&doc](const std::string&) {
        return std::optional<std::string>(doc.Password + "x");
    };
    hooks.ShowWrongPassword = [&] { ++wrong; };
    hooks.ResetToNew = [&] { ++reset; };
    try {
        const bool accepted = LoadDocumentFromBytes(doc, bytes, "fuzz.pdt", hooks);
        if (accepted != doc.Password.empty()) Fail("a wrong password was accepted");
        if (!accepted && (wrong != 1 || reset != 1 || !doc.Keys.empty()))
            Fail("a wrong password was not reported once and reset once");
    } catch (const EStoreError&) {
    }
}

// Returns whether the file asked for a password.
bool LoadSaveAndReload(const std::string& bytes) {
    TDocument doc;
    int asked = 0;
    try {
        if (!LoadDocumentFromBytes(doc, bytes, "fuzz.pdt", RightPassword(doc, asked)))
            Fail("the right password was refused");
    } catch (const EStoreError&) {
        return asked > 0;
    }
    if (asked != (doc.Password.empty() ? 0 : 1)) Fail("asked for a password not exactly once");

    const std::string saved = EncodeDocument(doc);
    TDocument copy;
    int askedAgain = 0;
    try {
        if (!LoadDocumentFromBytes(copy, saved, "copy.pdt", RightPassword(copy, askedAgain)))
            Fail("a saved document was refused on reload");
    } catch (const EStoreError& e) {
        Fail("a saved document does not load", e.what());
    }
    if (!SameDocument(doc, copy)) Fail("a saved document loads back different");
    if (EncodeDocument(copy) != saved) Fail("a reloaded document saves to other bytes");
    return asked > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // A file without a password reads the same whatever the hooks say, so only a
    // protected one is loaded again to be refused (which reads just its password).
    if (LoadSaveAndReload(bytes)) {
        LoadWithoutHooks(bytes);
        LoadWithWrongPassword(bytes);
    }
    return 0;
}
