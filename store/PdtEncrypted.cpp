#include "store/PdtEncrypted.h"

#include <sodium.h>

#include <exception>
#include <optional>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/Document.h"
#include "store/PdtDocReader.h"
#include "store/PdtReader.h"
#include "store/PdtWriter.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {
namespace {

int g_workFactor = age::kWriteWorkFactor;

[[noreturn]] void ThrowAgeError(const age::EAgeError& e, const std::string& path) {
    throw EStoreError(FormatMessage(e.what(), path));
}

// The header, refused before any prompt unless a password can open it.
age::THeader ReadPassphraseHeader(age::TSource& source, const std::string& path) {
    age::THeader header;
    try {
        header = age::ReadHeader(source);
        age::CheckPassphraseHeader(header);
    } catch (const age::EAgeError& e) {
        ThrowAgeError(e, path);
    }
    return header;
}

// The age passphrase of an encrypted document's password, which is UTF-8 already.
std::string PassphraseOf(const std::string& password) {
    return password;
}

// Decrypts the payload under the typed (UTF-8, not empty) password into
// `plain`, the slow work through `runBusy`; false when the password is wrong.
bool DecryptWithPassword(age::TSource& source, const age::THeader& header, const std::string& typed,
                         const std::string& path, const TBusyRunner& runBusy, std::string& plain) {
    std::string passphrase = PassphraseOf(typed);
    const age::TWipeGuard passphraseGuard(passphrase);
    try {
        RunCaptured(runBusy, [&] {
            unsigned char key[age::kFileKeySize];
            age::UnwrapFileKey(header, passphrase, key);
            try {
                age::VerifyHeaderMac(header, key);
                age::DecryptPayload(source, header, key, plain);
            } catch (...) {
                sodium_memzero(key, sizeof key);
                throw;
            }
            sodium_memzero(key, sizeof key);
        });
    } catch (const age::EAgeError& e) {
        if (e.Kind() != age::Failure::NoMatch) ThrowAgeError(e, path);
        return false;
    }
    return true;
}

// Asks for the passphrase until one opens the file: kPassphraseTries times
// through AskPassphrase, else once through AskPassword. Each try costs one key
// derivation; a wrong one leaves the source at the payload, so the next try
// reads the same bytes. The passphrase that opened it, `plain` then holding the
// payload; nothing when a prompt was cancelled or every try was wrong (`wrong`).
std::optional<std::string> UnlockPayload(age::TSource& source, const age::THeader& header,
                                         const std::string& path, const TLoadHooks& hooks,
                                         std::string& plain, bool& wrong) {
    const int tries = hooks.AskPassphrase ? kPassphraseTries : 1;
    for (int attempt = 1; attempt <= tries; ++attempt) {
        std::optional<std::string> typed;
        if (hooks.AskPassphrase) {
            typed = hooks.AskPassphrase(path, attempt);
        } else if (hooks.AskPassword) {
            typed = hooks.AskPassword(path);
        }
        if (!typed) {
            wrong = false;
            return std::nullopt;
        }
        // Wipes a wrong try, and what a returned one leaves behind.
        const age::TWipeGuard typedGuard(*typed);
        // No file has an empty passphrase.
        if (!typed->empty() &&
            DecryptWithPassword(source, header, *typed, path, hooks.RunBusy, plain)) {
            return typed;
        }
        wrong = true;
    }
    return std::nullopt;
}

}  // namespace

void RunCaptured(const TBusyRunner& runBusy, const std::function<void()>& work) {
    std::exception_ptr error;
    const std::function<void()> captured = [&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    };
    if (runBusy) {
        runBusy(captured);
    } else {
        captured();
    }
    if (error) std::rethrow_exception(error);
}

int EncryptionWorkFactor() {
    return g_workFactor;
}

void SetEncryptionWorkFactor(int factor) {
    g_workFactor = factor;
}

namespace pdt {

bool ReadEncrypted(TDocument& doc, age::TSource& source, const std::string& path,
                   const TLoadHooks& hooks) {
    const age::THeader header = ReadPassphraseHeader(source, path);
    doc.Loading = true;
    std::string plain;
    const age::TWipeGuard plainGuard(plain);
    bool wrong = false;
    const auto typed = UnlockPayload(source, header, path, hooks, plain, wrong);
    if (!typed) {
        RefuseFile(doc, hooks, wrong);
        doc.Loading = false;
        if (hooks.RebuildViews) hooks.RebuildViews();
        return false;
    }
    TPdtReader reader(plain);
    try {
        ReadDocument(doc, reader, path, hooks, &*typed);
    } catch (const EStoreError&) {
        // Authentic, but not a collection.
        throw EStoreError(FormatMessage(age::kMsgDamaged, path));
    }
    doc.Format = TDocument::TFormat::Encrypted;
    return true;
}

std::string EncryptDocument(const TDocument& doc, const TBusyRunner& runBusy) {
    if (doc.Password.empty()) throw EStoreError(kMsgNoPassphrase);
    std::string plain = EncodeDocument(doc);
    const age::TWipeGuard plainGuard(plain);
    std::string passphrase = PassphraseOf(doc.Password);
    const age::TWipeGuard passphraseGuard(passphrase);
    std::string file;
    RunCaptured(runBusy, [&] { file = age::Encrypt(plain, passphrase, g_workFactor); });
    return file;
}

}  // namespace pdt
}  // namespace dorvanta
