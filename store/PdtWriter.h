#pragma once
// The writing of a pdt file (store/PdtFormat.h): a document encoded into the
// file's bytes in one pass, texts scrambled and encoded on the way.

#include <string>

namespace dorvanta {

class TByteSink;
class TDocument;

// Keyless, position-dependent byte transform of names, texts and the password
// (UnscrambleText, store/PdtDocReader.h, undoes it).
std::string ScrambleText(const std::string& text);

// The file's bytes for a document (the exact bytes SaveDocument writes).
std::string EncodeDocument(const TDocument& doc);
// The same bytes handed to `sink` in pieces as they are made. Without
// `withPassword` the stored password is empty (an encrypted file's payload: the
// passphrase protects it, and is not kept inside its own plaintext).
void EncodeDocumentTo(const TDocument& doc, TByteSink& sink, bool withPassword = true);

}  // namespace dorvanta
