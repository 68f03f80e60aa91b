#pragma once
// The settings store's inside: a hive as a tree of keys and values, and its text
// form, the REGEDIT4 export format. Only the settings store uses this.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Settings.h"

namespace dorvanta::reg {

// Registry value types as the .reg format numbers them in "hex(n):".
constexpr int kRegSz = 1;
constexpr int kRegExpandSz = 2;
constexpr int kRegBinary = 3;
constexpr int kRegDword = 4;

struct RegValue {
    std::string name;  // Windows-1252, as first written
    int type = kRegSz;
    std::string data;  // strings without terminator; a dword as 4 little-endian bytes
};

struct RegKey {
    std::string name;
    std::vector<RegValue> values;                            // in order of creation
    std::map<std::string, std::unique_ptr<RegKey>> subkeys;  // by folded name
};

// Names compare like the registry's: case-insensitively, beyond ASCII too.

// Names compare like the registry's: case-insensitively, beyond ASCII too.
std::string Fold(const std::string& name);
std::string ToUtf8(const std::string& cp1252);

std::vector<std::string> SplitPath(const std::string& path);
bool ValidKeyName(const std::string& name);
bool ValidValueName(const std::string& name);
RegKey* FindKey(RegKey& root, const std::vector<std::string>& parts);
RegKey* CreateKey(RegKey& root, const std::vector<std::string>& parts, bool& created);
RegValue* FindValueIn(RegKey& key, const std::string& name);

// A hive file that cannot be read as REGEDIT4: the line and what is wrong there.
class DamagedFile {
  public:
    DamagedFile(int line, std::string reason) : line(line), reason(std::move(reason)) {}
    int line;
    std::string reason;
};

// The hive as a REGEDIT4 text (UTF-8).
std::string Serialize(const RegKey& root, Hive hive);
// Reads a hive's file bytes (UTF-8, else Windows-1252) into `root`; throws DamagedFile.
void Parse(const std::string& bytes, Hive hive, RegKey& root);

}  // namespace dorvanta::reg
