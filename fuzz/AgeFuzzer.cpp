// Any byte string fed to the age reader must end in a plaintext or an EAgeError,
// and through the loader in a result or an EStoreError: never a crash, a hang or
// an unbounded allocation. The passphrase is always "pw" and work factors above 2
// are refused before the key derivation, so no input waits for scrypt. The loader
// must agree with the reader: a header it refuses is refused before the prompt, a
// passphrase that unwraps no key is a refusal reported once, any other damage an
// error, and an authentic payload loads exactly when it loads as a plain file,
// to the same document.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "store/AgeFile.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

constexpr const char* kPassphrase = "pw";
constexpr int kFuzzWorkFactor = 2;

[[noreturn]] void Fail(const char* what, const char* detail = "") {
    fuzz::Fail("fuzz_age", what, detail);
}

// What the reader made of the bytes, as the loader must see it.
enum class Outcome { HeaderRefused, TooSlow, WrongPassphrase, Damaged, Plaintext };

Outcome Read(const std::string& bytes, std::string& plain) {
    try {
        age::TMemorySource source(bytes);
        age::CheckPassphraseHeader(age::ReadHeader(source));
    } catch (const age::EAgeError&) {
        return Outcome::HeaderRefused;
    }
    try {
        age::TMemorySource source(bytes);
        age::Decrypt(source, kPassphrase, plain, kFuzzWorkFactor);
        return Outcome::Plaintext;
    } catch (const age::EAgeError& e) {
        if (e.Kind() == age::Failure::NoMatch) return Outcome::WrongPassphrase;
        try {
            age::TMemorySource source(bytes);
            age::CheckPassphraseHeader(age::ReadHeader(source), kFuzzWorkFactor);
        } catch (const age::EAgeError&) {
            return Outcome::TooSlow;
        }
        return Outcome::Damaged;
    }
}

// The plaintext loaded as a plain file (its stored password answering the
// prompt); nothing when it is refused.
std::optional<std::string> LoadPlain(const std::string& plain) {
    TDocument doc;
    TLoadHooks hooks;
    hooks.AskPassword = [&doc](const std::string&) {
        return std::optional<std::string>(doc.Password);
    };
    try {
        if (!LoadDocumentFromBytes(doc, plain, "plain.pdt", hooks)) return std::nullopt;
    } catch (const EStoreError&) {
        return std::nullopt;
    }
    doc.Password = kPassphrase;
    return EncodeDocument(doc);
}

DORVANTA_FUZZ_CHECK void LoadEncrypted(const std::string& bytes, Outcome outcome,
                                       const std::string& plain) {
    TDocument doc;
    int asked = 0;
    int wrong = 0;
    TLoadHooks hooks;
    hooks.AskPassword = [&asked](const std::string&) {
        ++asked;
        return std::optional<std::string>(kPassphrase);
    };
    hooks.ShowWrongPassword = [&wrong] { ++wrong; };
    bool threw = false;
    bool loaded = false;
    try {
        loaded = LoadDocumentFromBytes(doc, bytes, "fuzz.age", hooks);
    } catch (const EStoreError&) {
        threw = true;
    }
    switch (outcome) {
        case Outcome::TooSlow:  // never loaded
            return;
        case Outcome::HeaderRefused:
            if (!threw || asked != 0) Fail("a refused header was not refused before the prompt");
            return;
        case Outcome::WrongPassphrase:
            if (threw || loaded || asked != 1 || wrong != 1 || !doc.Keys.empty() || doc.Loading)
                Fail("a passphrase that unwraps no key was not one reported refusal");
            return;
        case Outcome::Damaged:
            if (!threw || asked != 1 || wrong != 0) Fail("a damaged file was not an error");
            return;
        case Outcome::Plaintext:
            break;
    }
    if (asked != 1 || wrong != 0) Fail("an authentic file was not asked for once");
    if (threw == loaded) Fail("a load neither threw nor loaded");
    // A plaintext that is itself an age file would be read as one.
    if (age::IsEncrypted(plain)) return;
    const std::optional<std::string> expected = LoadPlain(plain);
    if (loaded != expected.has_value()) Fail("the payload loads otherwise than as a plain file");
    if (!loaded) return;
    if (doc.Format != TDocument::TFormat::Encrypted || doc.Loading)
        Fail("an encrypted load left the wrong format or Loading set");
    if (EncodeDocument(doc) != *expected) Fail("the payload loads to another document");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string plain;
    const Outcome outcome = Read(bytes, plain);
    // The loader takes the age path by the first line alone; anything else is
    // the pdt loader's, fuzzed on its own.
    if (!age::IsEncrypted(bytes)) {
        if (outcome != Outcome::HeaderRefused) Fail("read as age without the age first line");
        return 0;
    }
    // The loader allows work factors up to the maximum; a second of scrypt per
    // input would leave no time for anything else.
    if (outcome != Outcome::TooSlow) LoadEncrypted(bytes, outcome, plain);
    return 0;
}
