#include "platform/RegTree.h"

#include <QString>
#include <cstring>

#include "platform/TextConv.h"
#include "store/Cp1252.h"

namespace dorvanta::reg {

std::string Fold(const std::string& name) {
    return ToQString(name).toUpper().toStdString();
}

std::string ToUtf8(const std::string& cp1252) {
    return Cp1252ToUtf8(cp1252);
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

RegKey* FindKey(RegKey& root, const std::vector<std::string>& parts) {
    RegKey* key = &root;
    for (const auto& part : parts) {
        auto it = key->subkeys.find(Fold(part));
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

RegKey* CreateKey(RegKey& root, const std::vector<std::string>& parts, bool& created) {
    RegKey* key = &root;
    for (const auto& part : parts) {
        auto& slot = key->subkeys[Fold(part)];
        if (!slot) {
            slot = std::make_unique<RegKey>();
            slot->name = part;
            created = true;
        }
        key = slot.get();
    }
    return key;
}

RegValue* FindValueIn(RegKey& key, const std::string& name) {
    const std::string folded = Fold(name);
    for (auto& value : key.values) {
        if (Fold(value.name) == folded) return &value;
    }
    return nullptr;
}

namespace {

// ---- The REGEDIT4 text form ----------------------------------------------------

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
    std::string data;
    if (value.type == kRegSz && !NeedsHexForm(value.data)) {
        line += "\"" + EscapeQuoted(ToUtf8(value.data)) + "\"";
        out += line;
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

void WriteKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "[" + ToUtf8(path) + "]\n";
        for (const auto& value : key.values) WriteValueLine(out, value);
        out += '\n';
    }
    for (const auto& [folded, sub] : key.subkeys) {
        WriteKey(out, *sub, path + "\\" + sub->name, false);
    }
}

}  // namespace

std::string Serialize(const RegKey& root, Hive hive) {
    std::string out = "REGEDIT4\n\n";
    WriteKey(out, root, HiveName(hive), true);
    return out;
}

namespace {

std::string FromUtf8(const std::string& utf8, int line) {
    auto text = Utf8ToCp1252Strict(utf8);
    if (!text) throw DamagedFile(line, "Zeichen außerhalb von Windows-1252");
    return *text;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
std::string ParseQuoted(const std::string& text, std::size_t& pos, int line) {
    std::string out;
    ++pos;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"') return FromUtf8(out, line);
        if (c == '\\') {
            if (pos >= text.size() || (text[pos] != '\\' && text[pos] != '"')) {
                throw DamagedFile(line, "ungültige Escape-Folge");
            }
            out += text[pos++];
        } else {
            out += c;
        }
    }
    throw DamagedFile(line, "Anführungszeichen fehlt");
}

std::string ParseHexBytes(const std::string& text, int line) {
    std::string out;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    skipBlanks();
    if (i == text.size()) return out;
    for (;;) {
        skipBlanks();
        if (i + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            throw DamagedFile(line, "ungültige Binärdaten");
        }
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        i += 2;
        skipBlanks();
        if (i == text.size()) return out;
        if (text[i] != ',') throw DamagedFile(line, "ungültige Binärdaten");
        ++i;
    }
}

void ParseValueData(const std::string& text, RegValue& value, int line) {
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        value.type = kRegSz;
        value.data = ParseQuoted(text, pos, line);
        if (text.find_first_not_of(" \t", pos) != std::string::npos) {
            throw DamagedFile(line, "Zeichen nach dem Wert");
        }
        return;
    }
    if (text.rfind("dword:", 0) == 0) {
        const std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            throw DamagedFile(line, "ungültige Zahl");
        }
        const auto v = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = kRegDword;
        value.data.assign(4, '\0');
        std::memcpy(value.data.data(), &v, 4);
        return;
    }
    if (text.rfind("hex:", 0) == 0) {
        value.type = kRegBinary;
        value.data = ParseHexBytes(text.substr(4), line);
        return;
    }
    if (text.rfind("hex(", 0) == 0) {
        const std::size_t close = text.find("):");
        const std::string digits = close == std::string::npos ? "" : text.substr(4, close - 4);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            throw DamagedFile(line, "ungültiger Datentyp");
        }
        value.type = static_cast<int>(std::stoul(digits, nullptr, 16));
        value.data = ParseHexBytes(text.substr(close + 2), line);
        if (value.type == kRegSz || value.type == kRegExpandSz) {
            if (!value.data.empty() && value.data.back() == '\0') value.data.pop_back();
        }
        return;
    }
    throw DamagedFile(line, "ungültiger Wert");
}

constexpr const char* kVersion5Header = "Windows Registry Editor Version 5.00";
const std::string kVersion5Reason = std::string("Format „") + kVersion5Header +
                                    "“ wird nicht unterstützt; bitte als REGEDIT4 (Win9x/NT4) "
                                    "exportieren";

}  // namespace

void Parse(const std::string& bytes, Hive hive, RegKey& root) {
    // regedit of NT 5 and later exports "Version 5.00" files in UTF-16, whose
    // strings in hex(2)/hex(7) are UTF-16 too: not readable as REGEDIT4.
    if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
        throw DamagedFile(1, "UTF-16-Datei im " + kVersion5Reason);
    }
    std::string text = bytes;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    // We write UTF-8, but regedit writes REGEDIT4 in the ANSI code page. A file that
    // is not UTF-8 throughout is taken as such; the next change stores it as UTF-8.
    if (!IsValidUtf8(text)) text = Cp1252ToUtf8(text);

    std::vector<std::string> lines;
    {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            start = end + 1;
        }
    }

    std::size_t i = 0;
    while (i < lines.size() && lines[i].find_first_not_of(" \t") == std::string::npos) ++i;
    if (i == lines.size()) return;  // an empty file is an empty hive
    if (lines[i] == kVersion5Header) {
        throw DamagedFile(static_cast<int>(i) + 1, kVersion5Reason);
    }
    if (lines[i] != "REGEDIT4")
        throw DamagedFile(static_cast<int>(i) + 1, "Kopfzeile REGEDIT4 fehlt");
    ++i;

    const std::string rootName = Fold(HiveName(hive));
    RegKey* current = nullptr;
    for (; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i) + 1;
        std::string line = lines[i];
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') continue;
        line.erase(0, first);

        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string::npos ||
                line.find_first_not_of(" \t", close + 1) != std::string::npos) {
                throw DamagedFile(lineNo, "ungültiger Schlüssel");
            }
            const std::string path = FromUtf8(line.substr(1, close - 1), lineNo);
            std::vector<std::string> parts = SplitPath(path);
            if (parts.empty() || Fold(parts[0]) != rootName) {
                throw DamagedFile(lineNo,
                                  "Schlüssel gehört nicht zu " + std::string(HiveName(hive)));
            }
            parts.erase(parts.begin());
            for (const auto& part : parts) {
                if (!ValidKeyName(part)) throw DamagedFile(lineNo, "ungültiger Schlüsselname");
            }
            bool created = false;
            current = CreateKey(root, parts, created);
            continue;
        }

        if (line[0] != '"' && line[0] != '@') throw DamagedFile(lineNo, "unbekannte Zeile");
        if (!current) throw DamagedFile(lineNo, "Wert außerhalb eines Schlüssels");

        // Binary data may continue over lines ending in '\'.
        auto trimmedEnd = [](std::string& s) {
            while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
        };
        trimmedEnd(line);
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
               i + 1 < lines.size()) {
            line.pop_back();
            std::string next = lines[++i];
            const std::size_t start = next.find_first_not_of(" \t");
            line += start == std::string::npos ? "" : next.substr(start);
            trimmedEnd(line);
        }

        RegValue value;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            value.name = ParseQuoted(line, pos, lineNo);
        }
        if (pos >= line.size() || line[pos] != '=') throw DamagedFile(lineNo, "'=' fehlt");
        ParseValueData(line.substr(pos + 1), value, lineNo);
        if (RegValue* existing = FindValueIn(*current, value.name)) {
            *existing = std::move(value);
        } else {
            current->values.push_back(std::move(value));
        }
    }
}

}  // namespace dorvanta::reg
