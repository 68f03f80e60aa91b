#include "platform/RegTree.h"

#include <QString>
#include <cstring>

#include "platform/TextConv.h"
#include "store/Cp1252.h"

namespace dorvanta::reg {

std::string Fold(const std::string& name) {
    // Most names are ASCII, where upper-casing needs no Unicode tables.
    bool ascii = true;
    for (unsigned char c : name) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii) return ToQString(name).toUpper().toStdString();
    std::string out = name;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string ToUtf8(const std::string& cp1252) {
    return Cp1252ToUtf8(cp1252);
}

// ---- Keys and values ------------------------------------------------------------

RegKey::~RegKey() {
    // Each key taken off the list hands its own subkeys to the list first, so every
    // destructor runs on a key without subkeys: the depth of the tree does not matter.
    std::vector<std::unique_ptr<RegKey>> pending;
    auto takeSubkeys = [&pending](RegKey& key) {
        for (auto& entry : key.subkeys) pending.push_back(std::move(entry.second));
        key.subkeys.clear();
    };
    takeSubkeys(*this);
    while (!pending.empty()) {
        std::unique_ptr<RegKey> key = std::move(pending.back());
        pending.pop_back();
        if (key) takeSubkeys(*key);
    }
}

RegValue* RegKey::FindValue(const std::string& valueName) {
    const auto it = index_.find(Fold(valueName));
    return it == index_.end() ? nullptr : &values_[it->second];
}

const RegValue* RegKey::FindValue(const std::string& valueName) const {
    return const_cast<RegKey*>(this)->FindValue(valueName);
}

void RegKey::SetValue(RegValue value) {
    const auto [it, added] = index_.try_emplace(Fold(value.name), values_.size());
    if (added) {
        values_.push_back(std::move(value));
    } else {
        values_[it->second] = std::move(value);
    }
}

bool RegKey::EraseValue(const std::string& valueName) {
    const auto it = index_.find(Fold(valueName));
    if (it == index_.end()) return false;
    const std::size_t place = it->second;
    index_.erase(it);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(place));
    for (auto& entry : index_) {
        if (entry.second > place) --entry.second;
    }
    return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = path.find('\\', start);
        parts.push_back(path.substr(start, pos == std::string::npos ? pos : pos - start));
        if (pos == std::string::npos) break;
        start = pos + 1;
    }
    return parts;
}

bool ValidKeyName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

bool ValidValueName(const std::string& name) {
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

const RegKey* FindKey(const RegKey& root, const std::vector<std::string>& parts) {
    const RegKey* key = &root;
    for (const auto& part : parts) {
        auto it = key->subkeys.find(Fold(part));
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

RegKey* FindKey(RegKey& root, const std::vector<std::string>& parts) {
    return const_cast<RegKey*>(FindKey(static_cast<const RegKey&>(root), parts));
}

RegKey* CreateKey(RegKey& root, const std::vector<std::string>& parts, bool& created) {
    RegKey* key = &root;
    for (const auto& part : parts) {
        auto& slot = key->subkeys[Fold(part)];
        if (!slot) {
            slot = std::make_unique<RegKey>(part);
            created = true;
        }
        key = slot.get();
    }
    return key;
}

RegValue* FindValueIn(RegKey& key, const std::string& name) {
    return key.FindValue(name);
}

// ---- Writing the REGEDIT4 text form ---------------------------------------------

namespace {

std::string EscapeQuoted(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// A string that the quoted form would not keep intact goes out as hex(1).
bool NeedsHexForm(const std::string& cp1252) {
    for (unsigned char c : cp1252) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

void AppendHex(std::string& out, std::size_t prefixLength, const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            // regedit keeps lines below 80 columns with a continuation.
            if (column > 75) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
}

void WriteValueLine(std::string& out, const RegValue& value) {
    std::string line = value.name.empty() ? "@=" : "\"" + EscapeQuoted(ToUtf8(value.name)) + "\"=";
    if (value.type == kRegSz && !NeedsHexForm(value.data)) {
        line += "\"" + EscapeQuoted(ToUtf8(value.data)) + "\"";
        out += line;
    } else if (value.type == kRegSzUtf8 && !NeedsHexForm(value.data)) {
        // One with control characters (a path may hold a line feed) goes out as
        // hex(10001), its UTF-8 bytes, which the parser reads back as this type.
        out += line + "\"" + EscapeQuoted(value.data) + "\"";
    } else if (value.type == kRegDword && value.data.size() == 4) {
        std::uint32_t v = 0;
        std::memcpy(&v, value.data.data(), 4);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        out += line + buffer;
    } else {
        std::string bytes = value.data;
        if (value.type == kRegSz || value.type == kRegExpandSz) bytes += '\0';
        if (value.type == kRegBinary) {
            line += "hex:";
        } else {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
            line += buffer;
        }
        out += line;
        AppendHex(out, line.size(), bytes);
    }
    out += '\n';
}

void WriteKeyBlock(std::string& out, const RegKey& key, const std::string& utf8Path) {
    out += "[" + utf8Path + "]\n";
    for (const auto& value : key.Values()) WriteValueLine(out, value);
    out += '\n';
}

}  // namespace

std::string Serialize(const RegKey& root, Hive hive) {
    std::string out = "REGEDIT4\n\n";
    std::string path = HiveName(hive);
    // The root gets a block only when it holds values of its own.
    if (!root.Values().empty()) WriteKeyBlock(out, root, path);
    // Depth first, each key before its subkeys, without recursion.
    struct Frame {
        const RegKey* key;
        std::map<std::string, std::unique_ptr<RegKey>>::const_iterator next;
        std::size_t pathLength;  // of the key's own path
    };
    std::vector<Frame> stack{{&root, root.subkeys.begin(), path.size()}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.key->subkeys.end()) {
            stack.pop_back();
            continue;
        }
        const RegKey& sub = *(top.next++)->second;
        path.resize(top.pathLength);
        path += '\\';
        path += ToUtf8(sub.name);
        WriteKeyBlock(out, sub, path);
        stack.push_back({&sub, sub.subkeys.begin(), path.size()});
    }
    return out;
}

}  // namespace dorvanta::reg
