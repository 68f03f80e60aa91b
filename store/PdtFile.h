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

inline constexpr const char* kMsgNoPassphrase =
    "Eine verschlüsselte Datei braucht ein Passwort. Legen Sie zuerst mit „Passwort...“ eines fest.";

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
    // Runs the slow part of opening an encrypted file (key derivation and
    // decryption); the window shows the wait cursor meanwhile and keeps painting.
    // Without it the work runs directly.
    std::function<void(const std::function<void()>&)> RunBusy;
};

// The same for saving an encrypted file.
using TBusyRunner = std::function<void(const std::function<void()>&)>;

// The scrypt work factor of encrypted saves; tests lower it to save time.
int EncryptionWorkFactor();
void SetEncryptionWorkFactor(int factor);

// The file's bytes for a document (the exact bytes SaveDocument writes).
std::string EncodeDocument(const TDocument& doc);

// The bytes of a file in the document's format: the pdt bytes, or for an
// encrypted document an age file of them under the document's password
// (EStoreError when it has none).
std::string EncodeFile(const TDocument& doc, const TBusyRunner& runBusy = {});

// Writes the whole document in its Format; on failure the previous file stays
// intact and EStoreError carries the message. Changes no document state; returns
// the stamp of the file written (its status and the digest of its bytes, taken
// as they were written), for the caller to keep as the document's Stamp.
TFileStamp SaveDocument(const TDocument& doc, const std::string& path,
                        const TBusyRunner& runBusy = {});

// Reads a whole file into the document, piece by piece as it is parsed, so a
// broken file fails at its first bad value. An encrypted file (recognised by its
// first line) asks for its password before anything else, and sets Format. False when a password prompt was
// cancelled or answered wrongly (the document is then reset); EStoreError when
// the file cannot be opened or read, leaving Loading set if the password was read.
// A load sets the document's Stamp: the file's status and the digest of its
// bytes (an encrypted file's encrypted bytes), taken as they were read.
bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks = {});

// Parses file bytes the same way (used by LoadDocument, the fuzzer and tools).
bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks = {});

}  // namespace dorvanta
