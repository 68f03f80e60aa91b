#include "platform/HiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <string_view>

#include "store/FileIO.h"

namespace dorvanta::reg {
namespace {

ESettingsError Unreadable(const std::string& path) {
    return ESettingsError(
        FormatMessage("Die Einstellungsdatei '%s' kann nicht gelesen werden.", path));
}

// Line 0 stands for the file as a whole.
std::string DamageMessage(const std::string& path, const DamagedFile& damaged) {
    const std::string where =
        damaged.line > 0 ? "Zeile " + std::to_string(damaged.line) + ": " : std::string();
    return "Die Einstellungsdatei '" + path + "' ist beschädigt (" + where + damaged.reason +
           "). Sie wird nicht verändert.";
}

// What tells one version of a file from the next without reading it.
struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};

    static FileStamp Of(const struct stat& st) {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp& o) const {
        auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
               same(mtime, o.mtime) && same(ctime, o.ctime);
    }
};

// One hive's file as last read (or written) by this process.
struct CachedHive {
    std::string path;
    bool stamped = false;  // `stamp` is that of the file the tree stands for
    FileStamp stamp;
    bool loaded = false;  // `root`, `damage` and `hash` stand for a content of `path`
    std::size_t hash = 0;
    std::size_t size = 0;
    std::unique_ptr<RegKey> root = std::make_unique<RegKey>();
    std::string damage;  // the message for a damaged file; empty for a good one

    void Reset(const std::string& newPath) {
        path = newPath;
        stamped = loaded = false;
        root = std::make_unique<RegKey>();
        damage.clear();
    }
    void ThrowIfDamaged() const {
        if (!damage.empty()) throw ESettingsError(damage);
    }
};

struct Cache {
    std::mutex mutex;  // guards the entries and the trees in them
    CachedHive hives[2];

    CachedHive& Of(Hive hive) { return hives[hive == Hive::CurrentUser ? 0 : 1]; }
};

// Never destroyed: settings may still be read while other static objects go.
Cache& TheCache() {
    static Cache* cache = new Cache;
    return *cache;
}

std::size_t HashOf(std::string_view bytes) {
    return std::hash<std::string_view>{}(bytes);
}

// Brings the cached tree up to the hive's file. `compareBytes`: an unchanged stamp
// is not trusted; the file is read and its bytes compared with those last parsed.
void Refresh(Hive hive, CachedHive& entry, bool compareBytes) {
    const std::string path = HiveFilePath(hive);
    if (entry.path != path) entry.Reset(path);
    FileStamp now;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        now = FileStamp::Of(st);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        throw Unreadable(path);
    }
    if (entry.stamped && entry.loaded && entry.stamp == now && (!compareBytes || !now.exists)) {
        entry.ThrowIfDamaged();
        return;
    }
    entry.stamped = false;
    if (!now.exists) {  // not written yet: an empty hive
        entry.Reset(path);
        entry.stamped = entry.loaded = true;
        entry.stamp = now;
        entry.hash = HashOf({});
        entry.size = 0;
        return;
    }
    std::string bytes;
    struct stat read {};
    // Too large a file is refused before a byte is read, one of another kind by its
    // first bytes; a file growing past the cap while it is read stops there.
    std::optional<DamagedFile> refused;
    ReadFileResult result = ReadFileResult::Ok;
    try {
        result = ReadWholeFile(path, bytes, kMaxFileBytes, &read, CheckStart);
    } catch (const DamagedFile& damaged) {
        refused = damaged;
    }
    if (result == ReadFileResult::TooBig) {
        refused = DamagedFile(0, FileTooLargeReason());
    } else if (result != ReadFileResult::Ok) {
        throw Unreadable(path);
    }
    now = FileStamp::Of(read);
    if (refused) {
        entry.Reset(path);
        entry.damage = DamageMessage(path, *refused);
        entry.loaded = true;
        entry.hash = 0;
        entry.size = SIZE_MAX;  // no content read: a good file later is parsed afresh
        entry.stamp = now;
        entry.stamped = true;
        entry.ThrowIfDamaged();
    }
    const std::size_t hash = HashOf(bytes);
    if (!entry.loaded || hash != entry.hash || bytes.size() != entry.size) {
        entry.Reset(path);  // the old tree goes before the new one is built
        try {
            Parse(bytes, hive, *entry.root);
        } catch (const DamagedFile& damaged) {
            entry.root = std::make_unique<RegKey>();
            entry.damage = DamageMessage(path, damaged);
        }
        entry.loaded = true;
        entry.hash = hash;
        entry.size = bytes.size();
    }
    entry.stamp = now;
    entry.stamped = true;
    entry.ThrowIfDamaged();
}

bool MakeFolders(const std::string& folder) {
    std::string partial;
    for (std::size_t pos = 0; pos != std::string::npos;) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Holds the hive's lock file locked for as long as it lives.
class HiveLock {
  public:
    explicit HiveLock(Hive hive) {
        const std::string path = HiveFilePath(hive) + ".lock";
        if (!MakeFolders(SettingsFolder())) return;
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

void ReadHive(Hive hive, const std::function<void(const RegKey&)>& read) {
    Cache& cache = TheCache();
    std::lock_guard guard(cache.mutex);
    CachedHive& entry = cache.Of(hive);
    Refresh(hive, entry, false);
    read(*entry.root);
}

ChangeResult ChangeHive(Hive hive, const std::function<bool(RegKey&)>& change) {
    // The file lock first, then the cache: readers only ever take the latter.
    HiveLock lock(hive);
    Cache& cache = TheCache();
    std::lock_guard guard(cache.mutex);
    CachedHive& entry = cache.Of(hive);
    // Under the lock the bytes are compared as well: another copy of the program may
    // have written a file of the same size within one tick of the clock, with the
    // inode of an earlier one. Without the lock, a damaged file is still reported as
    // such rather than as a write failure.
    Refresh(hive, entry, lock.Held());
    if (!lock.Held()) return ChangeResult::Failed;
    bool changed = false;
    try {
        changed = change(*entry.root);
    } catch (...) {
        entry.Reset(entry.path);
        throw;
    }
    if (!changed) return ChangeResult::Unchanged;
    const std::string text = Serialize(*entry.root, hive);
    // Never a file that could not be read back: the file stays as it was.
    if (!WithinLimits(text) || WriteFileAtomically(entry.path, text) != AtomicWriteResult::Ok) {
        entry.Reset(entry.path);  // the tree holds a change the file does not
        return ChangeResult::Failed;
    }
    // No other writer can come in while the lock is held: the file is our text.
    entry.hash = HashOf(text);
    entry.size = text.size();
    struct stat st {};
    entry.stamped = ::stat(entry.path.c_str(), &st) == 0;
    if (entry.stamped) entry.stamp = FileStamp::Of(st);
    return ChangeResult::Stored;
}

}  // namespace dorvanta::reg
