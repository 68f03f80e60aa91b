#pragma once
// The encrypted form of a pdt file: an age file (store/AgeFile.h) under the
// document's password whose payload is the pdt bytes (store/PdtWriter.h,
// store/PdtDocReader.h). The password is the document's Windows-1252 text,
// turned into UTF-8 for the age format.

#include <string>

#include "store/PdtHooks.h"

namespace dorvanta {

class TByteSink;
class TDocument;

namespace age {
class TSource;
}

// The scrypt work factor of encrypted saves; tests lower it to save time.
int EncryptionWorkFactor();
void SetEncryptionWorkFactor(int factor);

namespace pdt {

// An age file: the header is checked first, so a file no password can open is
// refused without a prompt; then the password (kPassphraseTries tries through the
// hooks' AskPassphrase, else one through AskPassword), the slow key derivation
// of each try (through RunBusy) and the payload, which must be a readable pdt
// stream. False when a prompt is cancelled or every try was wrong (the document
// is then reset; ShowWrongPassword after the last wrong one); EStoreError for a
// damaged or refused file (whatever was read of it then wiped). Sets Format to
// Encrypted. The payload is decrypted chunk by chunk as it is read.
bool ReadEncrypted(TDocument& doc, age::TSource& source, const std::string& path,
                   const TLoadHooks& hooks);

// The age file of the document's pdt bytes under its password (EStoreError when
// it has none), the key derived through `runBusy` at EncryptionWorkFactor(). The
// payload's pdt holds no password: the passphrase that opens it is the
// document's password (ReadEncrypted).
std::string EncryptDocument(const TDocument& doc, const TBusyRunner& runBusy);
// The same written to `out` as each chunk is encrypted.
void EncryptDocumentTo(const TDocument& doc, TByteSink& out, const TBusyRunner& runBusy);

}  // namespace pdt
}  // namespace dorvanta
