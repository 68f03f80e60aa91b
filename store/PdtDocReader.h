#pragma once
// The reading of a document from a pdt file (store/PdtFormat.h): the records of
// a stream of tagged values (store/PdtReader.h) placed into a TDocument as they
// are read, so a broken file fails at its first bad value.

#include <string>

#include "store/PdtHooks.h"

namespace dorvanta {

class TDocument;

// Undoes ScrambleText (store/PdtWriter.h).
std::string UnscrambleText(const std::string& text);

namespace pdt {

class TPdtReader;

// Reads a whole pdt stream into the document, which it empties first; sets Format
// to Plain. A password stored in the file is asked for through the hooks before
// any record is read; false when the prompt is cancelled or answered wrongly (the
// document is then reset, see RefuseFile). `passphrase`: the password an
// encrypted file was opened with; it replaces the stored one, which is then not
// asked for. EStoreError at the first bad value, leaving Loading set.
bool ReadDocument(TDocument& doc, TPdtReader& reader, const std::string& path,
                  const TLoadHooks& hooks, const std::string* passphrase = nullptr);

// Drops a file that is not opened (its password cancelled or wrong): tells the
// user of a wrong password when `wrongPassword`, clears Modified and resets the
// document (the hooks' ResetToNew, else ClearDocument).
void RefuseFile(TDocument& doc, const TLoadHooks& hooks, bool wrongPassword);

}  // namespace pdt
}  // namespace dorvanta
