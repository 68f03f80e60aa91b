#pragma once
// The settings store's inside: a hive as a tree of keys and values, and its text
// form, the REGEDIT4 export format. Only the settings store uses this.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Settings.h"

namespace dorvanta::reg {

// Registry value types as the .reg format numbers them in "hex(n):".
constexpr int kRegSz = 1;
// Only in memory: a string that Windows-1252 cannot hold (a file path), kept in
// UTF-8; written to the file as any string is.
constexpr int kRegSzUtf8 = 0x10001;
constexpr int kRegExpandSz = 2;
constexpr int kRegBinary = 3;
constexpr int kRegDword = 4;

// Keys below a hive's root nest at most this deep; a file naming a deeper key is
// damaged. The registry itself allows the same.
constexpr std::size_t kMaxKeyDepth = 512;

// A hive file over this size, or with a line over kMaxLineBytes, is damaged: it is
// refused before it is read, or as soon as the line is met, and never converted
// or parsed whole. The files this program writes stay far below both.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

struct RegValue {
    std::string name;  // Windows-1252, as first written
    int type = kRegSz;
    std::string data;  // strings without terminator; a dword as 4 little-endian bytes
};

class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(std::string keyName) : name(std::move(keyName)) {}
    // Frees the keys below without recursion: a file may nest them deeply.
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    std::string name;
    std::map<std::string, std::unique_ptr<RegKey>> subkeys;  // by folded name

    // In order of creation.
    const std::vector<RegValue>& Values() const { return values_; }
    RegValue* FindValue(const std::string& valueName);
    const RegValue* FindValue(const std::string& valueName) const;
    // Replaces the value of the same name in its place (spelling included) or appends it.
    void SetValue(RegValue value);
    bool EraseValue(const std::string& valueName);

  private:
    std::vector<RegValue> values_;
    std::unordered_map<std::string, std::size_t> index_;  // folded name -> place in values_
};

// Names compare like the registry's: case-insensitively, beyond ASCII too.
std::string Fold(const std::string& name);
std::string ToUtf8(const std::string& cp1252);

std::vector<std::string> SplitPath(const std::string& path);
bool ValidKeyName(const std::string& name);
bool ValidValueName(const std::string& name);
RegKey* FindKey(RegKey& root, const std::vector<std::string>& parts);
const RegKey* FindKey(const RegKey& root, const std::vector<std::string>& parts);
RegKey* CreateKey(RegKey& root, const std::vector<std::string>& parts, bool& created);
RegValue* FindValueIn(RegKey& key, const std::string& name);

// A hive file that cannot be read as REGEDIT4: the line and what is wrong there
// (line 0: the file as a whole).
class DamagedFile {
  public:
    DamagedFile(int line, std::string reason) : line(line), reason(std::move(reason)) {}
    int line;
    std::string reason;
};

// The hive as a REGEDIT4 text (UTF-8).
std::string Serialize(const RegKey& root, Hive hive);
// "Datei größer als 64 MiB": why a file over kMaxFileBytes is damaged.
std::string FileTooLargeReason();
// Throws DamagedFile when `start`, a hive file's first bytes (`more`: the file may
// go on), already shows that the file is no REGEDIT4 file, or holds a line that
// is too long; a beginning that cannot tell passes.
void CheckStart(std::string_view start, bool more);
// False when Parse would refuse the text for its size or the length of a line: a
// hive is never stored in a form that could not be read back.
bool WithinLimits(std::string_view text);
// Reads a hive's file bytes (UTF-8, else Windows-1252) into `root`; throws DamagedFile.
void Parse(const std::string& bytes, Hive hive, RegKey& root);
// How many times Parse ran in this process; shows that reads reuse a parsed hive.
std::uint64_t ParseCount();

}  // namespace dorvanta::reg
