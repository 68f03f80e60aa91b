// The write half of the store's file I/O: finding the file a path names without
// being redirected by someone else's link, and replacing it in one step.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <utility>

#include "store/ContentDigest.h"
#include "store/FileIO.h"

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

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Our own mark in a temporary name: ".NAME.dorvanta-XXXXXX.tmp". Other programs'
// temporary files (rsync's ".NAME.XXXXXX", editors' ".NAME.backup") never carry
// it, so the clean-up of killed saves can tell ours from theirs.
constexpr std::string_view kTempMark = ".dorvanta-";
constexpr std::string_view kTempEnd = ".tmp";
constexpr std::size_t kTempRandom = 6;

// The part of a temporary name before its random letters; long names are cut to
// stay a valid name.
std::string TempPrefix(const std::string& name) {
    return "." + name.substr(0, 200) + std::string(kTempMark);
}

std::string TempName(const std::string& name) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string temp = TempPrefix(name);
    for (std::size_t i = 0; i < kTempRandom; ++i) temp += kChars[pick(random)];
    return temp + std::string(kTempEnd);
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

// How old a temporary file of ours must be before a later save takes it for the
// remains of a save that was killed.
constexpr time_t kStaleSeconds = 60;

// True for the temporary names TempName gives for `name`, and only for them.
bool IsTempNameOf(std::string_view entry, const std::string& name) {
    const std::string prefix = TempPrefix(name);
    if (entry.size() != prefix.size() + kTempRandom + kTempEnd.size() ||
        !entry.starts_with(prefix) || !entry.ends_with(kTempEnd))
        return false;
    const std::string_view random = entry.substr(prefix.size(), kTempRandom);
    return std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

// True when another descriptor has the file open: the kernel grants a write lease
// only to the one open descriptor (held until `fd` is closed). Where the file
// system has no leases (network ones), the lock alone has told.
bool OpenElsewhere(int fd) {
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) return false;
    return errno == EAGAIN || errno == EBUSY;
}

// Removes what killed saves of `name` (and of its backup copy) left in the folder:
// regular files of the user with exactly those temporary names, untouched for a
// minute and not locked by a save still running. Links are not followed.
void RemoveStaleTemps(int folderPath, const std::string& name) {
    const int fd = ::openat(folderPath, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view entryName = entry->d_name;
        if (!IsTempNameOf(entryName, name) && !IsTempNameOf(entryName, name + ".bak")) continue;
        // Checked by its name first, so that nothing but a regular file is opened.
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || now - st.st_mtime < kStaleSeconds)
            continue;
        const Fd file(::openat(fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        // Still that file, no save holds it, and no one has it open.
        if (file.Valid() && ::fstat(file.Get(), &opened) == 0 && opened.st_dev == st.st_dev &&
            opened.st_ino == st.st_ino && ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0 &&
            !OpenElsewhere(file.Get()))
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(folder);
}

// Creates a named temporary file (TempName) beside the target.
bool CreateNamed(const Target& target, Fd& file, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TempName(target.name);
        file = Fd(::openat(target.folder.Get(), temp.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        // Locked while it is ours: another save's clean-up leaves it alone.
        if (file.Valid()) {
            (void)::flock(file.Get(), LOCK_EX | LOCK_NB);
            return true;
        }
        if (errno != EEXIST) break;
    }
    temp.clear();
    return false;
}

// Gives the complete anonymous file a temporary name; false when the system does
// not allow this (no /proc, or a file system without the links).
bool LinkAnonymous(const Target& target, int fd, std::string& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TempName(target.name);
        if (::linkat(AT_FDCWD, self.c_str(), target.folder.Get(), temp.c_str(),
                     AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT &&
             ::linkat(fd, "", target.folder.Get(), temp.c_str(), AT_EMPTY_PATH) == 0))
            return true;
        if (errno != EEXIST) break;
    }
    temp.clear();
    return false;
}

// Copies the whole of `from` into `to` and flushes it.
bool CopyWhole(int from, int to) {
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(from, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
        at += n;
    }
    return ::fsync(to) == 0;
}

}  // namespace

struct TPreparedWrite::TState {
    Target target;
    Fd file;
    std::string temp;  // the temporary file's name, once it has one
    TWriteOptions options;
    bool failed = false;
    std::uint64_t size = 0;
};

TPreparedWrite::TPreparedWrite() = default;

TPreparedWrite::~TPreparedWrite() {
    if (state_ && !state_->temp.empty()) {
        ::unlinkat(state_->target.folder.Get(), state_->temp.c_str(), 0);
    }
}

AtomicWriteResult TPreparedWrite::Open(const std::string& path, const TWriteOptions& options,
                                       detail::TempFileKind kind) {
    auto state = std::make_unique<TState>();
    state->options = options;
    Target& target = state->target;
    if (!FindTarget(path, target)) return AtomicWriteResult::CannotCreate;
    // Replacing a file needs only the folder's permission; the user must also be
    // allowed to write the file itself, as writing into it would require.
    if (target.exists && ::faccessat(target.folder.Get(), target.name.c_str(), W_OK,
                                     AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return AtomicWriteResult::CannotCreate;
    if (kind == detail::TempFileKind::Anonymous) {
        // Without a name, it vanishes with the process if the save is killed.
        state->file = Fd(::openat(target.folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    }
    if (!state->file.Valid()) {
        // What saves killed here before left behind goes now.
        RemoveStaleTemps(target.folder.Get(), target.name);
        if (!CreateNamed(target, state->file, state->temp)) return AtomicWriteResult::CannotCreate;
    }
    state_ = std::move(state);
    return AtomicWriteResult::Ok;
}

void TPreparedWrite::Write(const char* data, std::size_t size) {
    if (!state_ || state_->failed) return;
    if (state_->options.Digest) state_->options.Digest->Update(data, size);
    state_->failed = !WriteAll(state_->file.Get(), data, size);
    state_->size += size;
}

std::uint64_t TPreparedWrite::Size() const {
    return state_ ? state_->size : 0;
}

AtomicWriteResult TPreparedWrite::Finish() {
    if (!state_) return AtomicWriteResult::CannotCreate;
    if (state_->failed || ::fsync(state_->file.Get()) != 0) {
        state_->failed = true;
        return AtomicWriteResult::WriteFailed;
    }
    return AtomicWriteResult::Ok;
}

namespace {

std::function<void(const std::string&)>& BeforeCommitHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// The file `expected` describes, not rewritten since: device, inode, size and
// modification time. (A rename may set the status-change time, so it is not compared.)
bool SameFile(const struct stat& st, const struct stat& expected) {
    return st.st_dev == expected.st_dev && st.st_ino == expected.st_ino &&
           st.st_size == expected.st_size && st.st_mtim.tv_sec == expected.st_mtim.tv_sec &&
           st.st_mtim.tv_nsec == expected.st_mtim.tv_nsec;
}

enum class Swap { Done, Unsupported, Changed, Failed };

// Exchanges the complete file `temp` with the target in one step and checks what
// came out: the file the caller last looked at, which then goes; anything else
// (another program wrote it after that look) is put back at once, and the new file
// keeps its temporary name. Unsupported where the file system cannot exchange.
Swap SwapIntoPlace(const Target& target, std::string& temp, const struct stat& expected) {
    const int at = target.folder.Get();
    const char* name = target.name.c_str();
    if (::renameat2(at, temp.c_str(), at, name, RENAME_EXCHANGE) != 0) {
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return Swap::Unsupported;
        // Gone since the look: a change too, which the caller looks at again.
        return errno == ENOENT ? Swap::Changed : Swap::Failed;
    }
    struct stat old {};
    if (::fstatat(at, temp.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(old, expected)) {
        ::unlinkat(at, temp.c_str(), 0);
        temp.clear();
        return Swap::Done;
    }
    if (::renameat2(at, temp.c_str(), at, name, RENAME_EXCHANGE) != 0) {
        // Their file back in place at any price; ours then has no name left.
        ::renameat(at, temp.c_str(), at, name);
        temp.clear();
    }
    return Swap::Changed;
}

}  // namespace

AtomicWriteResult TPreparedWrite::Commit(const struct stat* expected) {
    if (!state_ || state_->failed) return AtomicWriteResult::WriteFailed;
    TState& s = *state_;
    if (s.temp.empty() && !LinkAnonymous(s.target, s.file.Get(), s.temp)) {
        // The anonymous file cannot be named here: its bytes go to a named one.
        Fd named;
        if (!CreateNamed(s.target, named, s.temp)) return AtomicWriteResult::CannotCreate;
        if (!CopyWhole(s.file.Get(), named.Get())) return AtomicWriteResult::WriteFailed;
        s.file = std::move(named);
    }
    // Only now, so that a file readable by others holds nothing until it is complete.
    TakeOverAttributes(s.target, s.file.Get(), s.options.AttributesOf);
    if (const auto hook = BeforeCommitHook()) hook(s.target.name);
    // Checked again as at Open: the file may have been made read-only meanwhile
    // (an encrypted save takes seconds).
    if (::faccessat(s.target.folder.Get(), s.target.name.c_str(), W_OK,
                    AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0 &&
        errno != ENOENT)
        return AtomicWriteResult::CannotCreate;
    Swap swap = expected ? SwapIntoPlace(s.target, s.temp, *expected) : Swap::Unsupported;
    if (swap == Swap::Changed) return AtomicWriteResult::Changed;
    if (swap == Swap::Failed) return AtomicWriteResult::CannotCreate;
    if (swap == Swap::Unsupported) {
        if (::renameat(s.target.folder.Get(), s.temp.c_str(), s.target.folder.Get(),
                       s.target.name.c_str()) != 0)
            return AtomicWriteResult::CannotCreate;
        s.temp.clear();
    }
    // After the rename, which may set the file's status-change time.
    if (s.options.Written) ::fstat(s.file.Get(), s.options.Written);
    s.file.Close();  // flushed already; the file has its name
    // Make the rename itself durable.
    const Fd folder(::openat(s.target.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid()) ::fsync(folder.Get());
    return AtomicWriteResult::Ok;
}

namespace detail {

void SetBeforeCommitHook(std::function<void(const std::string& name)> hook) {
    BeforeCommitHook() = std::move(hook);
}

AtomicWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes,
                                      TempFileKind kind, const TWriteOptions& options) {
    TPreparedWrite write;
    AtomicWriteResult result = write.Open(path, options, kind);
    if (result != AtomicWriteResult::Ok) return result;
    write.Write(bytes.data(), bytes.size());
    result = write.Finish();
    return result == AtomicWriteResult::Ok ? write.Commit() : result;
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
