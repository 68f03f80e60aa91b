#include "store/DocumentSeal.h"

#include <sodium.h>

#include <exception>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/Document.h"
#include "store/PdtDocReader.h"
#include "store/PdtEncrypted.h"
#include "store/PdtReader.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {

std::string SealDocument(const TDocument& doc, const TBusyRunner& runBusy) {
    return pdt::EncryptDocument(doc, runBusy);
}

bool UnsealDocument(TDocument& doc, const std::string& sealed, const std::string& password,
                    const TBusyRunner& runBusy) {
    if (password.empty()) return false;
    // The seal's passphrase is the password's bytes, in whatever form its format keeps.
    std::string passphrase = password;
    const age::TWipeGuard passphraseGuard(passphrase);
    std::string plain;
    const age::TWipeGuard plainGuard(plain);
    try {
        RunCaptured(runBusy, [&] {
            age::TMemorySource source(sealed);
            age::Decrypt(source, passphrase, plain);
        });
    } catch (const age::EAgeError& e) {
        if (e.Kind() != age::Failure::NoMatch) throw;
        return false;
    }
    pdt::TPdtReader reader(plain);
    pdt::ReadDocument(doc, reader, std::string(), TLoadHooks{}, &password);
    doc.Loading = false;
    return true;
}

}  // namespace dorvanta
