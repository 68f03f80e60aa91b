#include "store/PdtEncrypted.h"

#include <sodium.h>

#include <exception>
#include <optional>

#include "store/AgeFile.h"
#include "store/ByteSink.h"
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

// Unwraps the file key under the typed (UTF-8, not empty) password and checks the
// header with it, the slow work through `runBusy`; false when the password is wrong.
bool UnlockFileKey(const age::THeader& header, const std::string& typed, const std::string& path,
                   const TBusyRunner& runBusy, unsigned char key[age::kFileKeySize]) {
    std::string passphrase = PassphraseOf(typed);
    const age::TWipeGuard passphraseGuard(passphrase);
    try {
        RunCaptured(runBusy, [&] {
            age::UnwrapFileKey(header, passphrase, key);
            age::VerifyHeaderMac(header, key);
        });
    } catch (const age::EAgeError& e) {
        sodium_memzero(key, age::kFileKeySize);
        if (e.Kind() != age::Failure::NoMatch) ThrowAgeError(e, path);
        return false;
    }
    return true;
}

// Asks for the passphrase until one opens the file: kPassphraseTries times
// through AskPassphrase, else once through AskPassword. Each try costs one key
// derivation; the source stays at the payload. The passphrase that opened it,
// `key` then holding the file key; nothing when a prompt was cancelled or every
// try was wrong (`wrong`).
std::optional<std::string> UnlockPayload(const age::THeader& header, const std::string& path,
                                         const TLoadHooks& hooks,
                                         unsigned char key[age::kFileKeySize], bool& wrong) {
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
        if (!typed->empty() && UnlockFileKey(header, *typed, path, hooks.RunBusy, key)) {
            return typed;
        }
        wrong = true;
    }
    return std::nullopt;
}

// Nothing of a refused file stays in memory: the key and what was read are wiped.
void DropRead(TDocument& doc, unsigned char key[age::kFileKeySize]) {
    sodium_memzero(key, age::kFileKeySize);
    doc.Wipe();
    doc.Loading = true;
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
    unsigned char key[age::kFileKeySize];
    bool wrong = false;
    const auto typed = UnlockPayload(header, path, hooks, key, wrong);
    if (!typed) {
        RefuseFile(doc, hooks, wrong);
        doc.Loading = false;
        if (hooks.RebuildViews) hooks.RebuildViews();
        return false;
    }
    // The document is read as the payload is decrypted; the views see it only
    // once every chunk has been authenticated.
    TLoadHooks reading = hooks;
    reading.RebuildViews = nullptr;
    try {
        age::TDecryptingSource plain(source, header, key);
        sodium_memzero(key, sizeof key);
        TPdtReader reader(plain);
        try {
            ReadDocument(doc, reader, path, reading, &*typed);
        } catch (const EStoreError&) {
            // Authentic so far, but not a collection.
            throw age::EAgeError(age::Failure::Payload, age::kMsgDamaged);
        }
        plain.Finish();
    } catch (const age::EAgeError& e) {
        DropRead(doc, key);
        ThrowAgeError(e, path);
    } catch (...) {
        DropRead(doc, key);
        throw;
    }
    doc.Format = TDocument::TFormat::Encrypted;
    if (hooks.RebuildViews) hooks.RebuildViews();
    return true;
}

void EncryptDocumentTo(const TDocument& doc, TByteSink& out, const TBusyRunner& runBusy) {
    if (doc.Password.empty()) throw EStoreError(kMsgNoPassphrase);
    std::string passphrase = PassphraseOf(doc.Password);
    const age::TWipeGuard passphraseGuard(passphrase);
    std::optional<age::TEncryptingSink> sink;
    // The key derivation is the slow part; the chunks are encrypted as the
    // document is encoded, and its password is not part of them.
    RunCaptured(runBusy, [&] { sink.emplace(passphrase, g_workFactor, out); });
    EncodeDocumentTo(doc, *sink, false);
    sink->Finish();
}

std::string EncryptDocument(const TDocument& doc, const TBusyRunner& runBusy) {
    TStringSink file;
    EncryptDocumentTo(doc, file, runBusy);
    return std::move(file.Bytes);
}

}  // namespace pdt
}  // namespace dorvanta
