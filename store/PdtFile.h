#pragma once
// The pdt file: a stream of tagged values holding the scrambled password, one
// record per key and per entry, with no signature and no checksum; or the same
// bytes encrypted in an age file. Loading and saving a whole file: opening it,
// telling the format, and stamping what was read or written.
//
// The pieces are in their own headers, included here for the callers:
//   store/StoreMessages.h  the German messages (kMsg...)
//   store/PdtHooks.h       TLoadHooks, TBusyRunner
//   store/PdtWriter.h      EncodeDocument, ScrambleText
//   store/PdtDocReader.h   the document's reading, UnscrambleText
//   store/PdtEncrypted.h   the age container, EncryptionWorkFactor

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "store/Document.h"
#include "store/FileIO.h"
#include "store/FileStamp.h"
#include "store/PdtDocReader.h"
#include "store/PdtEncrypted.h"
#include "store/PdtHooks.h"
#include "store/PdtWriter.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {

// The bytes of a file in the document's format: the pdt bytes, or for an
// encrypted document an age file of them under the document's password
// (EStoreError when it has none).
std::string EncodeFile(const TDocument& doc, const TBusyRunner& runBusy = {});

// The file a save was to replace changed after the caller's last look at it.
class EFileChangedMeanwhile : public EStoreError {
  public:
    using EStoreError::EStoreError;
};

// A save made ready but not yet done: the document in its Format, encoded (for
// an encrypted one, its key derived through `runBusy` and each chunk encrypted
// as it is made) straight into a temporary file beside `path`, flushed to disk.
// The file at `path` is untouched until Commit, so the caller may still check it
// and keep a backup; destroyed without Commit, nothing of it stays. EStoreError
// when the file cannot be written or the encrypted document has no password.
class TPreparedSave {
  public:
    TPreparedSave(const TDocument& doc, const std::string& path, const TBusyRunner& runBusy = {},
                  detail::TempFileKind kind = detail::TempFileKind::Anonymous);
    // Puts the file in place; returns the stamp of the file written (its status
    // and the digest of its bytes, taken as they were written). EStoreError when
    // the rename fails (the previous file stays). With `expected` (the file as the
    // caller last looked at it, Known), a file found in its place that is not that
    // one stays and EFileChangedMeanwhile is thrown; the save may be committed again.
    TFileStamp Commit(const TFileStamp* expected = nullptr);

  private:
    std::string path_;
    TContentDigest digest_;
    struct stat written_ {};
    TPreparedWrite write_;
};

// Prepares and commits at once: on failure the previous file stays intact and
// EStoreError carries the message. Changes no document state; returns the stamp
// of the file written, for the caller to keep with the file's name.
TFileStamp SaveDocument(const TDocument& doc, const std::string& path,
                        const TBusyRunner& runBusy = {});

// Reads a whole file into the document, piece by piece as it is parsed, so a
// broken file fails at its first bad value. An encrypted file (recognised by its
// first line) asks for its password before anything else, and sets Format. False
// when a password prompt was cancelled or answered wrongly (the document is then
// reset); EStoreError when the file cannot be opened or read, leaving Loading set
// if the password was read.
// `stamp`, when given, receives what the file was: its status and the digest of
// its bytes (an encrypted file's encrypted bytes), taken as they were read; it is
// unknown unless the load was accepted.
bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks = {},
                  TFileStamp* stamp = nullptr);

// Parses file bytes the same way (used by LoadDocument, the fuzzer and tools).
bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks = {});

}  // namespace dorvanta
