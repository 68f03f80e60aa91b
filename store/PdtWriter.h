#pragma once
// The writing of a pdt file (store/PdtFormat.h): a document encoded into the
// file's bytes in one pass, texts scrambled and encoded on the way.

#include <string>

namespace dorvanta {

class TDocument;

// Keyless, position-dependent byte transform of names, texts and the password
// (UnscrambleText, store/PdtDocReader.h, undoes it).
std::string ScrambleText(const std::string& text);

// The file's bytes for a document (the exact bytes SaveDocument writes).
std::string EncodeDocument(const TDocument& doc);

}  // namespace dorvanta
