#include "platform/Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/RegTree.h"
#include "store/FileIO.h"

namespace dorvanta {
namespace {

using namespace reg;

ESettingsError SetError(const std::string& name) {
    return ESettingsError(FormatMessage("Fehler beim Setzen der Daten für '%s'", ToUtf8(name)));
}
ESettingsError GetError(const std::string& name) {
    return ESettingsError(FormatMessage("Fehler beim Holen der Daten für '%s'", ToUtf8(name)));
}
ESettingsError TypeError(const std::string& name) {
    return ESettingsError(FormatMessage("Ungültiger Datentyp für '%s'", ToUtf8(name)));
}

// ---- The hive files ------------------------------------------------------------

void LoadHive(Hive hive, RegKey& root) {
    const std::string path = HiveFilePath(hive);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return;  // not written yet: an empty hive
    }
    std::string bytes;
    if (ReadWholeFile(path, bytes) != ReadFileResult::Ok) {
        throw ESettingsError(
            FormatMessage("Die Einstellungsdatei '%s' kann nicht gelesen werden.", path));
    }
    try {
        Parse(bytes, hive, root);
    } catch (const DamagedFile& damaged) {
        throw ESettingsError("Die Einstellungsdatei '" + path + "' ist beschädigt (Zeile " +
                             std::to_string(damaged.line) + ": " + damaged.reason +
                             "). Sie wird nicht verändert.");
    }
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

enum class ChangeResult { Unchanged, Stored, Failed };

// Re-reads the hive under the lock, lets `change` edit it (returning whether it
// changed anything) and stores the result. A damaged file throws before any change.
ChangeResult ChangeHive(Hive hive, const std::function<bool(RegKey&)>& change) {
    HiveLock lock(hive);
    if (!lock.Held()) {
        // Still report a damaged file as such rather than as a write failure.
        RegKey probe;
        LoadHive(hive, probe);
        return ChangeResult::Failed;
    }
    RegKey root;
    LoadHive(hive, root);
    if (!change(root)) return ChangeResult::Unchanged;
    if (WriteFileAtomically(HiveFilePath(hive), Serialize(root, hive)) != AtomicWriteResult::Ok) {
        return ChangeResult::Failed;
    }
    return ChangeResult::Stored;
}

}  // namespace

// ---- Paths ------------------------------------------------------------------------

std::string SettingsFolder() {
    if (const char* dir = std::getenv("DORVANTA_REGISTRY_DIR"); dir && *dir) {
        std::string folder = dir;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return folder;
    }
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        base = std::string(pw->pw_dir) + "/.config";
    } else {
        base = ".";
    }
    return base + "/Dorvanta";
}

const char* HiveName(Hive hive) {
    return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string HiveFilePath(Hive hive) {
    return SettingsFolder() + "/" + HiveName(hive) + ".reg";
}

// ---- TRegistry --------------------------------------------------------------------

TRegistry::TRegistry(Hive root) : root_(root) {}
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(Hive root) {
    CloseKey();
    root_ = root;
}

std::string TRegistry::Resolve(const std::string& path) const {
    std::string full;
    std::string rest = path;
    if (!rest.empty() && rest[0] == '\\') {
        rest.erase(0, 1);
    } else if (open_) {
        full = currentPath_;
    }
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (!rest.empty()) full = full.empty() ? rest : full + "\\" + rest;
    return full;
}

bool TRegistry::OpenKey(const std::string& path, bool create) {
    const std::string full = Resolve(path);
    const std::vector<std::string> parts = SplitPath(full);
    for (const auto& part : parts) {
        if (!ValidKeyName(part)) return false;
    }
    RegKey root;
    LoadHive(root_, root);
    bool exists = FindKey(root, parts) != nullptr;
    if (!exists) {
        if (!create) return false;
        const ChangeResult result = ChangeHive(root_, [&](RegKey& fresh) {
            bool created = false;
            CreateKey(fresh, parts, created);
            return created;
        });
        if (result == ChangeResult::Failed) return false;
    }
    open_ = true;
    currentPath_ = full;
    return true;
}

void TRegistry::CloseKey() {
    open_ = false;
    currentPath_.clear();
}

bool TRegistry::ValueExists(const std::string& name) const {
    int type = 0;
    std::string data;
    return LookUp(name, type, data);
}

bool TRegistry::KeyExists(const std::string& path) const {
    RegKey root;
    LoadHive(root_, root);
    return FindKey(root, SplitPath(Resolve(path))) != nullptr;
}

RegDataType TRegistry::GetDataType(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) return RegDataType::Unknown;
    switch (type) {
        case kRegSz:
            return RegDataType::String;
        case kRegExpandSz:
            return RegDataType::ExpandString;
        case kRegDword:
            return data.size() == 4 ? RegDataType::Integer : RegDataType::Unknown;
        case kRegBinary:
            return RegDataType::Binary;
        default:
            return RegDataType::Unknown;
    }
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    if (!open_) return names;
    RegKey root;
    LoadHive(root_, root);
    if (const RegKey* key = FindKey(root, SplitPath(currentPath_))) {
        for (const auto& value : key->values) names.push_back(value.name);
    }
    return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> names;
    RegKey root;
    LoadHive(root_, root);
    if (const RegKey* key = FindKey(root, SplitPath(open_ ? currentPath_ : std::string()))) {
        for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
    }
    return names;
}

bool TRegistry::LookUp(const std::string& name, int& type, std::string& data) const {
    if (!open_) return false;
    RegKey root;
    LoadHive(root_, root);
    RegKey* key = FindKey(root, SplitPath(currentPath_));
    RegValue* value = key ? FindValueIn(*key, name) : nullptr;
    if (!value) return false;
    type = value->type;
    data = std::move(value->data);
    return true;
}

std::string TRegistry::ReadString(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegSz && type != kRegExpandSz) throw TypeError(name);
    return data;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegDword || data.size() != 4) throw TypeError(name);
    std::int32_t v = 0;
    std::memcpy(&v, data.data(), 4);
    return v;
}

bool TRegistry::ReadBool(const std::string& name) const {
    return ReadInteger(name) != 0;
}

std::string TRegistry::ReadBinary(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegBinary) throw TypeError(name);
    return data;
}

double TRegistry::ReadDateTime(const std::string& name) const {
    const std::string bytes = ReadBinary(name);
    if (bytes.size() != sizeof(double)) throw TypeError(name);
    double v = 0;
    std::memcpy(&v, bytes.data(), sizeof v);
    return v;
}

void TRegistry::WriteValue(const std::string& name, int type, const std::string& bytes) {
    if (!open_ || !ValidValueName(name)) throw SetError(name);
    const std::vector<std::string> parts = SplitPath(currentPath_);
    bool keyGone = false;
    const ChangeResult result = ChangeHive(root_, [&](RegKey& root) {
        RegKey* key = FindKey(root, parts);
        if (!key) {
            keyGone = true;
            return false;
        }
        RegValue* value = FindValueIn(*key, name);
        if (value && value->type == type && value->data == bytes) return false;
        if (!value) {
            key->values.push_back({name, type, bytes});
        } else {
            value->type = type;
            value->data = bytes;
        }
        return true;
    });
    if (keyGone || result == ChangeResult::Failed) throw SetError(name);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    WriteValue(name, kRegSz, value);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    WriteValue(name, kRegDword, bytes);
}

void TRegistry::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteBinary(const std::string& name, const std::string& bytes) {
    WriteValue(name, kRegBinary, bytes);
}

void TRegistry::WriteDateTime(const std::string& name, double value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    WriteValue(name, kRegBinary, bytes);
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!open_) return false;
    const std::vector<std::string> parts = SplitPath(currentPath_);
    const ChangeResult result = ChangeHive(root_, [&](RegKey& root) {
        RegKey* key = FindKey(root, parts);
        if (!key) return false;
        const std::string folded = Fold(name);
        for (auto it = key->values.begin(); it != key->values.end(); ++it) {
            if (Fold(it->name) == folded) {
                key->values.erase(it);
                return true;
            }
        }
        return false;
    });
    if (result == ChangeResult::Failed) {
        throw ESettingsError(
            FormatMessage("Der Wert '%s' konnte nicht gelöscht werden", ToUtf8(name)));
    }
    return result == ChangeResult::Stored;
}

bool TRegistry::DeleteKey(const std::string& path) {
    const std::string full = Resolve(path);
    std::vector<std::string> parts = SplitPath(full);
    if (parts.empty()) return false;  // the hive's root cannot go
    const ChangeResult result = ChangeHive(root_, [&](RegKey& root) {
        std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
        RegKey* parent = FindKey(root, parentParts);
        return parent && parent->subkeys.erase(Fold(parts.back())) > 0;
    });
    if (result == ChangeResult::Failed) {
        throw ESettingsError(
            FormatMessage("Der Schlüssel '%s' konnte nicht gelöscht werden", ToUtf8(full)));
    }
    return result == ChangeResult::Stored;
}

}  // namespace dorvanta