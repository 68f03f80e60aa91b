#pragma once
// The settings store: two hives (per-user and machine-wide), each a tree of keys
// holding typed values, in the manner of the Windows registry.
//
// On Linux each hive is one text file in the REGEDIT4 export format, kept in
// $DORVANTA_REGISTRY_DIR, else $XDG_CONFIG_HOME/Dorvanta, else ~/.config/Dorvanta:
// HKEY_CURRENT_USER.reg and HKEY_LOCAL_MACHINE.reg. Both files belong to the user,
// so the machine-wide hive is writable without special rights.
//
// Every change re-reads the file under an exclusive lock, applies itself and
// replaces the file atomically, so two running copies of the program never lose
// each other's values. Reads always see the file as it is on disk; it is parsed
// again only when it has changed (size, times or inode) since this process last
// read or wrote it.
//
// Key paths use '\' and are compared case-insensitively, as are value names. A path
// that starts with '\' is taken from the hive's root, any other path from the open
// key (or from the root when no key is open). Names and string values are the
// program's Windows-1252 texts, except file paths (ReadPath/WritePath), which may
// hold any character; the file itself is written in UTF-8. A file that is
// not UTF-8 (as regedit writes REGEDIT4) is read as Windows-1252.

#include <cstdint>
#include <string>
#include <vector>

#include "store/StoreError.h"

namespace dorvanta {

enum class Hive { CurrentUser, LocalMachine };

// Errors of the store; the message (UTF-8, German) is shown to the user as it stands.
class ESettingsError : public EStoreError {
  public:
    using EStoreError::EStoreError;
};

// The type of a stored value. Booleans are kept as integers (0 = false).
enum class RegDataType { Unknown, String, ExpandString, Integer, Binary };

// The folder holding the hive files (see above); no trailing '/'.
std::string SettingsFolder();
// The full path of a hive's file.
std::string HiveFilePath(Hive hive);
// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* HiveName(Hive hive);

class TSettingsStore {
  public:
    explicit TSettingsStore(Hive root = Hive::CurrentUser);
    ~TSettingsStore();
    TSettingsStore(const TSettingsStore&) = delete;
    TSettingsStore& operator=(const TSettingsStore&) = delete;

    Hive RootKey() const { return root_; }
    // Changing the hive closes the open key.
    void SetRootKey(Hive root);

    // Opens a key; with `create`, a missing key and its parents are created (and
    // stored at once). False when the key is missing and not created, or when it
    // could not be stored. A damaged or unreadable hive file throws ESettingsError
    // naming the file.
    bool OpenKey(const std::string& path, bool create);
    void CloseKey();
    bool HasCurrentKey() const { return open_; }
    // The open key's path from the root, without a leading '\'; empty for none.
    const std::string& CurrentPath() const { return currentPath_; }

    // These test the open key (or a path as described above for KeyExists).
    bool ValueExists(const std::string& name) const;
    bool KeyExists(const std::string& path) const;
    RegDataType GetDataType(const std::string& name) const;  // Unknown when missing
    std::vector<std::string> GetValueNames() const;
    std::vector<std::string> GetKeyNames() const;

    // Reading a missing value, or with no key open, throws "Fehler beim Holen der
    // Daten für '<name>'"; a value of another type throws "Ungültiger Datentyp für
    // '<name>'". ReadString also accepts expandable strings (returned unexpanded).
    std::string ReadString(const std::string& name) const;
    // A file path in UTF-8: any string value, also one Windows-1252 cannot hold.
    std::string ReadPath(const std::string& name) const;
    std::int32_t ReadInteger(const std::string& name) const;
    bool ReadBool(const std::string& name) const;
    std::string ReadBinary(const std::string& name) const;
    // A date-time (days since 30.12.1899) kept as an 8-byte binary double; any other
    // size is the wrong type.
    double ReadDateTime(const std::string& name) const;

    // Writing with no key open, to a key that another copy of the program deleted
    // meanwhile, or when the file cannot be stored throws "Fehler beim Setzen der
    // Daten für '<name>'". Value names are case-preserving.
    void WriteString(const std::string& name, const std::string& value);
    // A file path in UTF-8, kept as it is, control characters too (only NUL and
    // malformed UTF-8 are refused).
    void WritePath(const std::string& name, const std::string& utf8);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value);
    void WriteBinary(const std::string& name, const std::string& bytes);
    void WriteDateTime(const std::string& name, double value);

    // False when there was nothing to delete (silent, as in the registry). A change
    // that cannot be stored throws ESettingsError rather than report success.
    bool DeleteValue(const std::string& name);
    // Deletes a key with everything below it. A key left open on it (here or in
    // another copy of the program) then takes no more writes.
    bool DeleteKey(const std::string& path);

  private:
    // The full path (from the root) that `path` names.
    std::string Resolve(const std::string& path) const;
    // Looks a value of the open key up in the hive as it is on disk now.
    bool LookUp(const std::string& name, int& type, std::string& data) const;
    void WriteValue(const std::string& name, int type, const std::string& bytes);

    Hive root_;
    bool open_ = false;
    std::string currentPath_;
};

}  // namespace dorvanta
