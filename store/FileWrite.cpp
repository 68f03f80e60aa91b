// The write half of the store's file I/O: finding the file a path names without
// being redirected by someone else's link, and replacing it in one step.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <random>
#include <utility>

#include "store/FileIO.h"
#include "store/ContentDigest.h"

namespace dorvanta {
namespace {

// An open descriptor, closed when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now; false when closing reported an error.
    bool Close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

// The kernel's own limit of links in one path lookup.
constexpr int kMaxLinks = 40;

// The file a save replaces: a name in a folder, the folder held open so that
// nothing renamed meanwhile moves the save elsewhere.
struct Target {
    Fd folder;  // O_PATH
    std::string name;
    bool exists = false;
};

// Puts the names of `path` in front of `parts`, in order; "a/" ends in "".
void PushNames(std::deque<std::string>& parts, const std::string& path) {
    std::deque<std::string> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        names.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    parts.insert(parts.begin(), names.begin(), names.end());
}

Fd OpenFolder(int at, const char* name) {
    return Fd(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The rule of the kernel's fs.protected_symlinks, applied whatever the system's
// setting: in a sticky folder that everyone may write (like /tmp), a link is
// followed only when it belongs to the user or to the folder's owner. Otherwise
// another user could plant a link there and have our save replace their choice
// of the user's files with our data.
bool MayFollow(int folder, const struct stat& link) {
    struct stat dir {};
    if (::fstat(folder, &dir) != 0) return false;
    const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid;
}

bool ReadLink(int folder, const std::string& name, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(folder, name.c_str(), buffer.data(), buffer.size());
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Walks the path one name at a time, as the kernel would, checking every link
// on the way. Fails for a link not to be followed, a loop or too long a chain,
// a missing folder, and anything but a regular file (or nothing) at the end.
bool FindTarget(const std::string& path, Target& target) {
    std::deque<std::string> parts;
    PushNames(parts, path);
    Fd folder = OpenFolder(AT_FDCWD, path.starts_with('/') ? "/" : ".");
    int links = 0;
    while (folder.Valid() && !parts.empty()) {
        const std::string name = std::move(parts.front());
        parts.pop_front();
        const bool last = parts.empty();
        if (!last && (name.empty() || name == ".")) continue;
        if (last && (name.empty() || name == "." || name == "..")) return false;
        struct stat st {};
        if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (!last || errno != ENOENT) return false;
            target = {std::move(folder), name, false};
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string link;
            if (++links > kMaxLinks || !MayFollow(folder.Get(), st) ||
                !ReadLink(folder.Get(), name, link) || link.empty())
                return false;
            if (link.starts_with('/')) folder = OpenFolder(AT_FDCWD, "/");
            PushNames(parts, link);
        } else if (last) {
            if (!S_ISREG(st.st_mode)) return false;
            target = {std::move(folder), name, true};
            return true;
        } else {
            folder = OpenFolder(folder.Get(), name.c_str());
        }
    }
    return false;
}

bool WriteAll(int fd, std::string_view bytes, TContentDigest* digest) {
    // With a digest the bytes go in pieces, each digested while it is in the cache.
    constexpr std::size_t kPiece = 1 << 20;
    while (!bytes.empty()) {
        const std::size_t size = digest ? std::min(bytes.size(), kPiece) : bytes.size();
        if (digest) digest->Update(bytes.data(), size);
        std::string_view piece = bytes.substr(0, size);
        while (!piece.empty()) {
            const ssize_t n = ::write(fd, piece.data(), piece.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            piece.remove_prefix(static_cast<std::size_t>(n));
        }
        bytes.remove_prefix(size);
    }
    return true;
}

// ".name.XXXXXX" with a random suffix; long names are cut to stay a valid name.
std::string TempName(const std::string& name) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string temp = "." + name.substr(0, 200) + ".";
    for (int i = 0; i < 6; ++i) temp += kChars[pick(random)];
    return temp;
}

// Gives the new file the permissions of the file it replaces (or of `like`), and
// its owner where the user may (only root may give a file away; a group of the
// user's may still be kept). Done only now, so that a file readable by others
// holds nothing until it is complete.
void TakeOverAttributes(const Target& target, int fd, const struct stat* like) {
    struct stat old {};
    if (like) {
        old = *like;
    } else if (!target.exists ||
               ::fstatat(target.folder.Get(), target.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) !=
                   0 ||
               !S_ISREG(old.st_mode)) {
        return;
    }
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // The new file stays the user's, in the user's group.
    }
    ::fchmod(fd, old.st_mode & 07777);
}

enum class Outcome { Ok, CannotCreate, WriteFailed, Unsupported };

// Moves the complete temporary file `temp` over the target.
Outcome Replace(const Target& target, int fd, const std::string& temp,
                const TWriteOptions& options) {
    TakeOverAttributes(target, fd, options.AttributesOf);
    if (::renameat(target.folder.Get(), temp.c_str(), target.folder.Get(), target.name.c_str()) !=
        0) {
        ::unlinkat(target.folder.Get(), temp.c_str(), 0);
        return Outcome::CannotCreate;
    }
    // After the rename, which may set the file's status-change time.
    if (options.Written) ::fstat(fd, options.Written);
    return Outcome::Ok;
}

// Writes into a file without a name, which vanishes with the process if the save
// is killed, and names it only when it is complete and on disk. Unsupported when
// the file system (or a missing /proc) does not allow this.
Outcome SaveAnonymously(const Target& target, std::string_view bytes,
                        const TWriteOptions& options) {
    Fd file(::openat(target.folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!file.Valid()) return Outcome::Unsupported;
    if (!WriteAll(file.Get(), bytes, options.Digest) || ::fsync(file.Get()) != 0)
        return Outcome::WriteFailed;
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = TempName(target.name);
        if (::linkat(AT_FDCWD, self.c_str(), target.folder.Get(), temp.c_str(),
                     AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT &&
             ::linkat(file.Get(), "", target.folder.Get(), temp.c_str(), AT_EMPTY_PATH) == 0))
            return Replace(target, file.Get(), temp, options);
        if (errno != EEXIST) break;
    }
    return Outcome::Unsupported;
}

// The same with a named temporary file, for file systems without anonymous ones;
// a save killed here leaves that file behind.
Outcome SaveNamed(const Target& target, std::string_view bytes, const TWriteOptions& options) {
    Fd file;
    std::string temp;
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        temp = TempName(target.name);
        file = Fd(::openat(target.folder.Get(), temp.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.Valid() && errno != EEXIST) break;
    }
    if (!file.Valid()) return Outcome::CannotCreate;
    bool ok = WriteAll(file.Get(), bytes, options.Digest) && ::fsync(file.Get()) == 0;
    if (ok) TakeOverAttributes(target, file.Get(), options.AttributesOf);
    struct stat written {};
    ok = ::fstat(file.Get(), &written) == 0 && ok;
    ok = file.Close() && ok;
    if (!ok) {
        ::unlinkat(target.folder.Get(), temp.c_str(), 0);
        return Outcome::WriteFailed;
    }
    if (::renameat(target.folder.Get(), temp.c_str(), target.folder.Get(), target.name.c_str()) !=
        0) {
        ::unlinkat(target.folder.Get(), temp.c_str(), 0);
        return Outcome::CannotCreate;
    }
    if (options.Written) {
        // The status after the rename, as long as the name still holds our file;
        // else the one before, which then matches nothing on disk.
        struct stat now {};
        const bool ours =
            ::fstatat(target.folder.Get(), target.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == written.st_dev && now.st_ino == written.st_ino;
        *options.Written = ours ? now : written;
    }
    return Outcome::Ok;
}

}  // namespace

namespace detail {

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                                      TempFileKind kind, const TWriteOptions& options) {
    Target target;
    if (!FindTarget(path, target)) return AtomicWriteResult::CannotCreate;
    // Replacing a file needs only the folder's permission; the user must also be
    // allowed to write the file itself, as writing into it would require.
    if (target.exists && ::faccessat(target.folder.Get(), target.name.c_str(), W_OK,
                                     AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return AtomicWriteResult::CannotCreate;
    Outcome outcome = kind == TempFileKind::Anonymous ? SaveAnonymously(target, bytes, options)
                                                      : Outcome::Unsupported;
    if (outcome == Outcome::Unsupported) {
        // Nothing of an anonymous attempt counts: it is digested again.
        if (options.Digest) *options.Digest = TContentDigest();
        outcome = SaveNamed(target, bytes, options);
    }
    if (outcome == Outcome::WriteFailed) return AtomicWriteResult::WriteFailed;
    if (outcome != Outcome::Ok) return AtomicWriteResult::CannotCreate;
    // Make the rename itself durable.
    const Fd folder(::openat(target.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid()) ::fsync(folder.Get());
    return AtomicWriteResult::Ok;
}

}  // namespace detail

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
    return detail::WriteFileAtomically(path, bytes, detail::TempFileKind::Anonymous);
}

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                                      const TWriteOptions& options) {
    return detail::WriteFileAtomically(path, bytes, detail::TempFileKind::Anonymous, options);
}

}  // namespace dorvanta
