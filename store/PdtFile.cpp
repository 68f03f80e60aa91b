#include "store/PdtFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "store/AgeFile.h"
#include "store/ContentDigest.h"
#include "store/FileIO.h"
#include "store/FileStamp.h"
#include "store/PdtReader.h"

namespace dorvanta {
namespace {

using namespace pdt;

// Closes a descriptor however the load ends.
struct OpenFile {
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd;
};

// Bytes after the list's end that a load still digests. A file holds none unless
// something else appended them; gigabytes of them (a file grown by mistake) are
// not read, and the file is then remembered by its status alone.
constexpr std::uint64_t kMaxDigestedTail = 1 << 20;

// The stamp of a file whose status was `before` when it was opened and whose
// bytes up to the current position `digest` has taken in: the rest is digested too.
TFileStamp StampOfRest(int fd, const struct stat& before, TContentDigest& digest) {
    // Where the file cannot be followed to its end, it is remembered as unsettled:
    // a later save over it asks.
    TFileStamp unsettled = StatusStamp(before, before);
    unsettled.Settled = false;
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0) return unsettled;
    std::uint64_t size = static_cast<std::uint64_t>(position);
    struct stat after {};
    if (static_cast<std::uint64_t>(before.st_size) > size + kMaxDigestedTail) {
        if (::fstat(fd, &after) != 0) return unsettled;
        return StatusStamp(before, after);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return unsettled;
        }
        digest.Update(buffer, static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
        // A file that keeps growing is not followed.
        if (size > static_cast<std::uint64_t>(before.st_size) + kMaxDigestedTail) return unsettled;
    }
    if (::fstat(fd, &after) != 0) return unsettled;
    return MakeStamp(before, after, digest.Final(), size);
}

}  // namespace

std::string EncodeFile(const TDocument& doc, const TBusyRunner& runBusy) {
    if (doc.Format == TDocument::TFormat::Plain) return EncodeDocument(doc);
    return EncryptDocument(doc, runBusy);
}

TPreparedSave::TPreparedSave(const TDocument& doc, const std::string& path,
                             const TBusyRunner& runBusy, detail::TempFileKind kind)
    : path_(path) {
    // The folder is walked piece by piece and would take a longer path, but no
    // open() could read the file back (ENAMETOOLONG).
    if (path.size() >= PATH_MAX) throw EStoreError(kMsgPathTooLong);
    // A missing password fails before any file is made.
    if (doc.Format == TDocument::TFormat::Encrypted && doc.Password.empty()) {
        throw EStoreError(kMsgNoPassphrase);
    }
    TWriteOptions options;
    options.Digest = &digest_;
    options.Written = &written_;
    if (write_.Open(path, options, kind) != AtomicWriteResult::Ok) {
        throw EStoreError(FormatMessage(kMsgCannotCreate, path));
    }
    if (doc.Format == TDocument::TFormat::Plain) {
        EncodeDocumentTo(doc, write_);
    } else {
        EncryptDocumentTo(doc, write_, runBusy);
    }
    if (write_.Finish() != AtomicWriteResult::Ok) throw EStoreError(kMsgWriteError);
}

TFileStamp TPreparedSave::Commit(const TFileStamp* expected) {
    const std::uint64_t size = write_.Size();
    struct stat was {};
    if (expected) {
        was.st_dev = static_cast<dev_t>(expected->Device);
        was.st_ino = static_cast<ino_t>(expected->Inode);
        was.st_size = static_cast<off_t>(expected->Size);
        was.st_mtim = expected->Modified;
    }
    switch (write_.Commit(expected && expected->Known ? &was : nullptr)) {
        case AtomicWriteResult::Ok:
            return MakeStamp(written_, written_, digest_.Final(), size);
        case AtomicWriteResult::CannotCreate:
            throw EStoreError(FormatMessage(kMsgCannotCreate, path_));
        case AtomicWriteResult::WriteFailed:
            throw EStoreError(kMsgWriteError);
        case AtomicWriteResult::Changed:
            throw EFileChangedMeanwhile(FormatMessage(kMsgChangedMeanwhile, path_));
    }
    throw EStoreError(kMsgWriteError);
}

TFileStamp SaveDocument(const TDocument& doc, const std::string& path, const TBusyRunner& runBusy) {
    return TPreparedSave(doc, path, runBusy).Commit();
}

bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks,
                  TFileStamp* stamp) {
    if (hooks.ClearSelection) hooks.ClearSelection();
    doc.Keys.clear();
    if (stamp) *stamp = {};
    // Not blocking in open: a pipe's name must fail like a folder, not wait for a writer.
    const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw EStoreError(FormatMessage(kMsgCannotOpen, path));
    }
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    char intro[age::kIntro.size() + 1];
    const ssize_t got = ::pread(file.fd, intro, sizeof intro, 0);
    // The bytes are digested as they are read; what the document does not need
    // (after the list's end) is read for the digest alone.
    TContentDigest digest;
    bool accepted;
    if (got > 0 && age::IsEncrypted(std::string_view(intro, static_cast<std::size_t>(got)))) {
        age::TFdSource source(file.fd, static_cast<std::uint64_t>(st.st_size), &digest);
        accepted = ReadEncrypted(doc, source, path, hooks);
    } else {
        // Lengths in the file are checked against its size as it was opened.
        TPdtReader reader(file.fd, static_cast<std::uint64_t>(st.st_size), &digest);
        accepted = ReadDocument(doc, reader, path, hooks);
    }
    if (accepted && stamp) *stamp = StampOfRest(file.fd, st, digest);
    return accepted;
}

bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks) {
    if (age::IsEncrypted(bytes)) {
        age::TMemorySource source(bytes);
        return ReadEncrypted(doc, source, path, hooks);
    }
    TPdtReader reader(bytes);
    return ReadDocument(doc, reader, path, hooks);
}

}  // namespace dorvanta
