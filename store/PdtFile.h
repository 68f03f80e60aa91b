#pragma once
// The pdt file: a stream of tagged values holding the scrambled password, one
// record per key and per entry, with no signature and no checksum.

#include <functional>
#include <optional>
#include <string>

#include "store/Document.h"
#include "store/StoreError.h"

namespace dorvanta {

// German messages of the file operations.
inline constexpr const char* kMsgCannotOpen = "Datei %s kann nicht geöffnet werden";
inline constexpr const char* kMsgCannotCreate = "Datei %s kann nicht erstellt werden";
inline constexpr const char* kMsgReadError = "Stream-Lesefehler";
inline constexpr const char* kMsgBadValue = "Ungültiger Eigenschaftswert";
inline constexpr const char* kMsgWriteError = "Stream-Schreibfehler";
inline constexpr const char* kMsgWrongPassword =
    "Das angegebene Passwort ist nicht gültig. Die Datei kann nicht angezeigt werden.";

// Keyless, position-dependent byte transform of names, texts and the password.
std::string ScrambleText(const std::string& text);
std::string UnscrambleText(const std::string& text);

// What a load asks of its caller. Every hook is optional.
struct TLoadHooks {
    // Removes the category list's selection before the document is emptied.
    std::function<void()> ClearSelection;
    // Asks for the password of a protected file; nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& path)> AskPassword;
    // Tells the user that the typed password was wrong.
    std::function<void()> ShowWrongPassword;
    // The New command's reset after a refused file; without it ClearDocument.
    std::function<void()> ResetToNew;
    // Rebuilds the views from the document once loading has ended.
    std::function<void()> RebuildViews;
};

// The file's bytes for a document (the exact bytes SaveDocument writes).
std::string EncodeDocument(const TDocument& doc);

// Writes the whole document; on failure the previous file stays intact and
// EStoreError carries the message. Changes no document state.
void SaveDocument(const TDocument& doc, const std::string& path);

// Reads a whole file into the document, piece by piece as it is parsed, so a
// broken file fails at its first bad value. False when a password prompt was
// cancelled or answered wrongly (the document is then reset); EStoreError when
// the file cannot be opened or read, leaving Loading set if the password was read.
bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks = {});

// Parses file bytes the same way (used by LoadDocument, the fuzzer and tools).
bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks = {});

}  // namespace dorvanta
