#include "platform/Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/HiveFile.h"
#include "platform/RegTree.h"
#include "platform/TextConv.h"
#include "store/Cp1252.h"

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

// ---- TSettingsStore --------------------------------------------------------------------

TSettingsStore::TSettingsStore(Hive root) : root_(root) {}
TSettingsStore::~TSettingsStore() = default;

void TSettingsStore::SetRootKey(Hive root) {
    CloseKey();
    root_ = root;
}

std::string TSettingsStore::Resolve(const std::string& path) const {
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

bool TSettingsStore::OpenKey(const std::string& path, bool create) {
    const std::string full = Resolve(path);
    const std::vector<std::string> parts = SplitPath(full);
    for (const auto& part : parts) {
        if (!ValidKeyName(part)) return false;
    }
    // Deeper keys would make a file that reads as damaged.
    if (parts.size() > kMaxKeyDepth) return false;
    bool exists = false;
    ReadHive(root_, [&](const RegKey& root) { exists = FindKey(root, parts) != nullptr; });
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

void TSettingsStore::CloseKey() {
    open_ = false;
    currentPath_.clear();
}

bool TSettingsStore::ValueExists(const std::string& name) const {
    int type = 0;
    std::string data;
    return LookUp(name, type, data);
}

bool TSettingsStore::KeyExists(const std::string& path) const {
    const std::vector<std::string> parts = SplitPath(Resolve(path));
    bool exists = false;
    ReadHive(root_, [&](const RegKey& root) { exists = FindKey(root, parts) != nullptr; });
    return exists;
}

RegDataType TSettingsStore::GetDataType(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) return RegDataType::Unknown;
    switch (type) {
        case kRegSz:
        case kRegSzUtf8:
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

std::vector<std::string> TSettingsStore::GetValueNames() const {
    std::vector<std::string> names;
    if (!open_) return names;
    const std::vector<std::string> parts = SplitPath(currentPath_);
    ReadHive(root_, [&](const RegKey& root) {
        if (const RegKey* key = FindKey(root, parts)) {
            for (const auto& value : key->Values()) names.push_back(value.name);
        }
    });
    return names;
}

std::vector<std::string> TSettingsStore::GetKeyNames() const {
    std::vector<std::string> names;
    const std::vector<std::string> parts = SplitPath(open_ ? currentPath_ : std::string());
    ReadHive(root_, [&](const RegKey& root) {
        if (const RegKey* key = FindKey(root, parts)) {
            for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
        }
    });
    return names;
}

bool TSettingsStore::LookUp(const std::string& name, int& type, std::string& data) const {
    if (!open_) return false;
    const std::vector<std::string> parts = SplitPath(currentPath_);
    bool found = false;
    ReadHive(root_, [&](const RegKey& root) {
        const RegKey* key = FindKey(root, parts);
        const RegValue* value = key ? key->FindValue(name) : nullptr;
        if (!value) return;
        found = true;
        type = value->type;
        data = value->data;
    });
    return found;
}

std::string TSettingsStore::ReadString(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegSz && type != kRegExpandSz) throw TypeError(name);
    return data;
}

std::string TSettingsStore::ReadPath(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type == kRegSzUtf8) return data;
    if (type != kRegSz && type != kRegExpandSz) throw TypeError(name);
    return Cp1252ToUtf8(data);
}

std::int32_t TSettingsStore::ReadInteger(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegDword || data.size() != 4) throw TypeError(name);
    std::int32_t v = 0;
    std::memcpy(&v, data.data(), 4);
    return v;
}

bool TSettingsStore::ReadBool(const std::string& name) const {
    return ReadInteger(name) != 0;
}

std::string TSettingsStore::ReadBinary(const std::string& name) const {
    int type = 0;
    std::string data;
    if (!LookUp(name, type, data)) throw GetError(name);
    if (type != kRegBinary) throw TypeError(name);
    return data;
}

double TSettingsStore::ReadDateTime(const std::string& name) const {
    const std::string bytes = ReadBinary(name);
    if (bytes.size() != sizeof(double)) throw TypeError(name);
    double v = 0;
    std::memcpy(&v, bytes.data(), sizeof v);
    return v;
}

void TSettingsStore::WriteValue(const std::string& name, int type, const std::string& bytes) {
    if (!open_ || !ValidValueName(name)) throw SetError(name);
    const std::vector<std::string> parts = SplitPath(currentPath_);
    bool keyGone = false;
    const ChangeResult result = ChangeHive(root_, [&](RegKey& root) {
        RegKey* key = FindKey(root, parts);
        if (!key) {
            keyGone = true;
            return false;
        }
        RegValue* value = key->FindValue(name);
        if (value && value->type == type && value->data == bytes) return false;
        if (!value) {
            key->SetValue({name, type, bytes});
        } else {
            value->type = type;
            value->data = bytes;
        }
        return true;
    });
    if (keyGone || result == ChangeResult::Failed) throw SetError(name);
}

void TSettingsStore::WriteString(const std::string& name, const std::string& value) {
    WriteValue(name, kRegSz, value);
}

void TSettingsStore::WritePath(const std::string& name, const std::string& utf8) {
    // A path may hold any character but NUL; the file keeps control characters in
    // the hex form.
    if (utf8.find('\0') != std::string::npos || !IsValidUtf8(utf8)) throw SetError(name);
    if (auto cp1252 = Utf8ToCp1252Strict(utf8)) {
        WriteValue(name, kRegSz, *cp1252);
    } else {
        WriteValue(name, kRegSzUtf8, utf8);
    }
}

void TSettingsStore::WriteInteger(const std::string& name, std::int32_t value) {
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &value, 4);
    WriteValue(name, kRegDword, bytes);
}

void TSettingsStore::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TSettingsStore::WriteBinary(const std::string& name, const std::string& bytes) {
    WriteValue(name, kRegBinary, bytes);
}

void TSettingsStore::WriteDateTime(const std::string& name, double value) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    WriteValue(name, kRegBinary, bytes);
}

bool TSettingsStore::DeleteValue(const std::string& name) {
    if (!open_) return false;
    const std::vector<std::string> parts = SplitPath(currentPath_);
    const ChangeResult result = ChangeHive(root_, [&](RegKey& root) {
        RegKey* key = FindKey(root, parts);
        return key && key->EraseValue(name);
    });
    if (result == ChangeResult::Failed) {
        throw ESettingsError(
            FormatMessage("Der Wert '%s' konnte nicht gelöscht werden", ToUtf8(name)));
    }
    return result == ChangeResult::Stored;
}

bool TSettingsStore::DeleteKey(const std::string& path) {
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