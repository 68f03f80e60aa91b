#pragma once
// A document sealed in memory while the program is locked: its pdt bytes in an
// age container under its own password, the same container an encrypted save
// writes. Nothing of the plaintext stays in the seal's making or opening.

#include <string>

#include "store/PdtHooks.h"

namespace dorvanta {

class TDocument;

// The sealed form of the document (its password must not be empty: EStoreError
// otherwise); the slow key derivation runs through `runBusy`. The document is
// left as it is.
std::string SealDocument(const TDocument& doc, const TBusyRunner& runBusy = {});

// Opens a seal with `password` (in the form the document's format keeps it:
// Windows-1252 for a plain document, UTF-8 for an encrypted one) into the document, which it
// replaces: keys, entries and the password as they were sealed, in their order.
// False, with the document untouched, when the password does not open it;
// EStoreError when the seal is damaged. Format is Plain afterwards: the caller
// restores what it was.
bool UnsealDocument(TDocument& doc, const std::string& sealed, const std::string& password,
                    const TBusyRunner& runBusy = {});

}  // namespace dorvanta
