#include "store/FileStamp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "store/FileIO.h"

namespace dorvanta {
namespace {

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameStatus(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

// How far apart two writes may be and still get the same time. A time without
// nanoseconds comes from a file system that keeps whole seconds (FAT keeps two); a
// finer one still advances only with the kernel's clock tick (10 ms at 100 Hz).
std::int64_t GranularityNs(const struct timespec& t) {
    return t.tv_nsec == 0 ? 2'000'000'000 : 20'000'000;
}

std::int64_t Ns(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// True when a time is within its granularity of `now` (or later): a write after
// the stamp could still carry it.
bool Recent(const struct timespec& t, const struct timespec& now) {
    return Ns(now) - Ns(t) < GranularityNs(t);
}

// Closes a descriptor however the function ends.
struct Descriptor {
    explicit Descriptor(int d) : fd(d) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

enum class Opened { Ok, Missing, Other };

// Opens what `path` names for reading, without waiting on a pipe; `st` is its status.
Opened OpenRegular(const std::string& path, Descriptor& file, struct stat& st) {
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0) return errno == ENOENT || errno == ENOTDIR ? Opened::Missing : Opened::Other;
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return Opened::Other;
    ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    return Opened::Ok;
}

// Digests an open file from its current position to its end.
bool DigestRest(int fd, TContentDigest& digest, std::uint64_t& size) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        digest.Update(buffer.data(), static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
    }
}

// The stamp of an open regular file, read whole; nothing known on a read error.
TFileStamp StampOfOpen(int fd, const struct stat& before) {
    TContentDigest digest;
    std::uint64_t size = 0;
    struct stat after {};
    if (!DigestRest(fd, digest, size) || ::fstat(fd, &after) != 0) return {};
    return MakeStamp(before, after, digest.Final(), size);
}

}  // namespace

TFileStamp StatusStamp(const struct stat& before, const struct stat& after) {
    TFileStamp stamp;
    stamp.Known = true;
    stamp.Settled = SameStatus(before, after);
    stamp.Device = static_cast<std::uint64_t>(before.st_dev);
    stamp.Inode = static_cast<std::uint64_t>(before.st_ino);
    stamp.Size = static_cast<std::uint64_t>(before.st_size);
    stamp.Modified = before.st_mtim;
    stamp.Changed = before.st_ctim;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    stamp.Racy = Recent(after.st_mtim, now) || Recent(after.st_ctim, now);
    return stamp;
}

TFileStamp MakeStamp(const struct stat& before, const struct stat& after, const TDigest& digest,
                     std::uint64_t digestedSize) {
    TFileStamp stamp = StatusStamp(before, after);
    stamp.Settled = stamp.Settled && stamp.Size == digestedSize;
    stamp.HasDigest = true;
    stamp.Digest = digest;
    stamp.DigestedSize = digestedSize;
    return stamp;
}

bool SameStatus(const TFileStamp& stamp, const struct stat& st) {
    // A racy stamp with a digest is checked by its bytes; one without has only its status.
    return (!stamp.Racy || !stamp.HasDigest) && StatusUnmoved(stamp, st);
}

bool StatusUnmoved(const TFileStamp& stamp, const struct stat& st) {
    return stamp.Known && stamp.Settled && stamp.Device == static_cast<std::uint64_t>(st.st_dev) &&
           stamp.Inode == static_cast<std::uint64_t>(st.st_ino) &&
           stamp.Size == static_cast<std::uint64_t>(st.st_size) &&
           SameTime(stamp.Modified, st.st_mtim) && SameTime(stamp.Changed, st.st_ctim);
}

TDiskState CompareWithDisk(const std::string& path, const TFileStamp& stamp, TFileStamp* now) {
    if (now) *now = {};
    Descriptor file(-1);
    struct stat st {};
    switch (OpenRegular(path, file, st)) {
        case Opened::Missing:
            return TDiskState::Missing;
        case Opened::Other:
            return TDiskState::Changed;
        case Opened::Ok:
            break;
    }
    if (SameStatus(stamp, st)) {
        if (now) *now = stamp;
        return TDiskState::Unchanged;
    }
    // Other bytes for certain; they are still digested for `now`, so that a later
    // comparison with it tells a touched file from a changed one.
    const bool otherSize = !stamp.Known || !stamp.HasDigest ||
                           static_cast<std::uint64_t>(st.st_size) != stamp.DigestedSize;
    if (otherSize && !now) return TDiskState::Changed;
    const TFileStamp found = StampOfOpen(file.fd, st);
    if (now) *now = found;
    if (otherSize) return TDiskState::Changed;
    // Bytes that changed while they were read count as changed.
    const bool same = found.Known && found.Settled && found.DigestedSize == stamp.DigestedSize &&
                      found.Digest == stamp.Digest;
    return same ? TDiskState::Unchanged : TDiskState::Changed;
}

TFileStamp StampOfFile(const std::string& path) {
    Descriptor file(-1);
    struct stat st {};
    if (OpenRegular(path, file, st) != Opened::Ok) return {};
    return StampOfOpen(file.fd, st);
}

std::string BackupPath(const std::string& path) {
    return path + ".bak";
}

TBackupResult BackupFile(const std::string& path) {
    Descriptor file(-1);
    struct stat st {};
    switch (OpenRegular(path, file, st)) {
        case Opened::Missing:
            return TBackupResult::NoFile;
        case Opened::Other:
            // Not a regular file: nothing to keep; one that cannot be opened: a failure.
            return file.fd >= 0 ? TBackupResult::NoFile : TBackupResult::Failed;
        case Opened::Ok:
            break;
    }
    // Copied piece by piece: a large collection is not held twice while it is saved.
    TPreparedWrite copy;
    TWriteOptions options;
    options.AttributesOf = &st;
    if (copy.Open(BackupPath(path), options) != AtomicWriteResult::Ok) return TBackupResult::Failed;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer.data(), buffer.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return TBackupResult::Failed;
        }
        copy.Write(buffer.data(), static_cast<std::size_t>(n));
    }
    return copy.Finish() == AtomicWriteResult::Ok && copy.Commit() == AtomicWriteResult::Ok
               ? TBackupResult::Made
               : TBackupResult::Failed;
}

}  // namespace dorvanta
