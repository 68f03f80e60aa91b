#pragma once
// Replaces a file's contents so that a failure at any point leaves the previous
// file as it was: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target. Where the file system has
// anonymous temporary files, the new file gets a name only once it is complete,
// so a save killed halfway leaves nothing behind.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "store/ByteSink.h"

namespace dorvanta {

// Changed: the file to be replaced was not the one the caller expected (see
// TPreparedWrite::Commit); it was left in place.
enum class AtomicWriteResult { Ok, CannotCreate, WriteFailed, Changed };

class TContentDigest;

// What a write may do besides writing.
struct TWriteOptions {
    // The new file takes its permissions (and owner and group, where the user may
    // give them) from this status instead of from the file it replaces: a backup
    // copy gets those of the file it copies.
    const struct stat* AttributesOf = nullptr;
    // Receives the status of the file written, as it is once it has its name.
    struct stat* Written = nullptr;
    // Digests the bytes as they are written.
    TContentDigest* Digest = nullptr;
};

// The file is replaced, not written into: another hard link to it keeps the old
// contents. A symbolic link is followed to the file it names, except someone
// else's link in a shared sticky folder such as /tmp (CannotCreate, as for a
// link loop). A file the user may not write is CannotCreate too. An existing file
// keeps its permissions (and its owner where the user may keep it); a new one is
// readable and writable by its owner only, as is the temporary file until it
// replaces the target. WriteFailed (disk full, file-size limit) keeps the old file.
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                                      const TWriteOptions& options);

namespace detail {
// How the temporary file is made; Named is what file systems without anonymous
// temporary files get, and what tests use to exercise that way.
enum class TempFileKind { Anonymous, Named };
AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                                      TempFileKind kind, const TWriteOptions& options = {});
// Runs in every Commit right before the new file is put in place, with the name
// of the file it replaces: tests change that file there, as another program
// could. None by default.
void SetBeforeCommitHook(std::function<void(const std::string& name)> hook);
}  // namespace detail

// The same replacement in steps, so that the new file can be complete before the
// caller decides to put it in place: Open creates the temporary file beside the
// target (CannotCreate as above), the bytes are written to it as they come,
// Finish flushes them (WriteFailed when any write or the flush failed), and
// Commit renames it over the target. Destroyed before Commit, it leaves no trace.
// A named temporary file (".NAME.dorvanta-XXXXXX.tmp") is locked while it exists,
// and Open first removes the ones of the target and its backup copy
// (".NAME.bak.dorvanta-XXXXXX.tmp") that saves killed over a minute ago left
// behind; files named otherwise are never touched.
class TPreparedWrite final : public TByteSink {
  public:
    TPreparedWrite();
    ~TPreparedWrite() override;
    TPreparedWrite(const TPreparedWrite&) = delete;
    TPreparedWrite& operator=(const TPreparedWrite&) = delete;

    AtomicWriteResult Open(const std::string& path, const TWriteOptions& options = {},
                           detail::TempFileKind kind = detail::TempFileKind::Anonymous);
    void Write(const char* data, std::size_t size) override;
    AtomicWriteResult Finish();
    // A file the user may no longer write is kept (CannotCreate). With `expected`
    // (the target's status at the caller's last look), the new file is exchanged
    // with the target in one step and whatever was swapped out is checked: when it
    // is not that file (device, inode, size, modification time), it is put back
    // and Commit answers Changed; the prepared file stays, for another Commit.
    // Where the file system cannot exchange, the file is renamed over the target
    // as without `expected`.
    AtomicWriteResult Commit(const struct stat* expected = nullptr);
    // The bytes written so far.
    std::uint64_t Size() const;

  private:
    struct TState;
    std::unique_ptr<TState> state_;
};

}  // namespace dorvanta

namespace dorvanta {

enum class ReadFileResult { Ok, CannotOpen, ReadFailed, TooBig };

// Reads a regular file whole; a folder, a pipe or a device is refused without
// waiting for it (CannotOpen). More than `cap` bytes is TooBig (counted while
// reading, as the file may grow). `info`, when given, receives the status of the
// file that was read, not of whatever the name points to afterwards. `firstPiece`,
// when given, sees the file's first bytes (up to 64 KiB; `more`: the file may hold
// more) before the rest is read, so that a file of the wrong kind is refused
// early: an exception it throws ends the reading and passes on.
ReadFileResult ReadWholeFile(
    const std::string& path, std::string& bytes, std::uint64_t cap = UINT64_MAX,
    struct stat* info = nullptr,
    const std::function<void(std::string_view first, bool more)>& firstPiece = {});
// The same, failing with the store's German messages ("Datei %s kann nicht
// geöffnet werden", "Stream-Lesefehler").
std::string ReadWholeFileOrThrow(const std::string& path);

}  // namespace dorvanta
