// Reading a hive file's REGEDIT4 text. Files may come from elsewhere (regedit, an
// editor, a damaged disk), so the text is walked once, line by line, without
// recursion, and what it builds stays in proportion to its size.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string_view>

#include "platform/RegTree.h"
#include "platform/TextConv.h"
#include "store/Cp1252.h"

namespace dorvanta::reg {
namespace {

std::atomic<std::uint64_t> parseCount{0};

constexpr std::string_view kBlanks = " \t";

std::string_view TrimStart(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

std::string_view TrimEnd(std::string_view s) {
    const std::size_t last = s.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

// Walks a text line by line (without the "\n" or "\r\n"), holding no copy of it.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool HasMore() const { return pos_ <= text_.size(); }
    // Passes empty lines without looking at each as a line: a file may hold millions.
    void SkipEmptyLines() {
        for (;;) {
            if (pos_ < text_.size() && text_[pos_] == '\n') {
                pos_ += 1;
            } else if (pos_ + 1 < text_.size() && text_[pos_] == '\r' && text_[pos_ + 1] == '\n') {
                pos_ += 2;
            } else {
                return;
            }
            ++number_;
        }
    }
    std::string_view Next() {
        std::size_t end = text_.find('\n', pos_);
        ended_ = end != std::string_view::npos;
        if (!ended_) end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return line;
    }
    // Whether the line read last ended in a line break (rather than with the text).
    bool LastLineEnded() const { return ended_; }
    // The number of the line read last, counted from 1.
    int Number() const { return number_ > INT_MAX ? INT_MAX : static_cast<int>(number_); }
    // Goes on at the same place in another text with the same beginning.
    void Switch(std::string_view text) { text_ = text; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
    bool ended_ = false;
};

// Checked in pieces split after a line end (which no UTF-8 sequence contains), so a
// large file is never decoded in one piece.
bool IsValidUtf8Throughout(std::string_view text) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    while (!text.empty()) {
        std::size_t end = text.size() <= kPiece ? std::string_view::npos : text.find('\n', kPiece);
        end = end == std::string_view::npos ? text.size() : end + 1;
        if (!IsValidUtf8(text.substr(0, end))) return false;
        text.remove_prefix(end);
    }
    return true;
}

// A string that Windows-1252 cannot hold stays UTF-8 (a file path); nothing else does.
void StringFromUtf8(std::string&& utf8, RegValue& value) {
    if (auto text = Utf8ToCp1252Strict(utf8)) {
        value.type = kRegSz;
        value.data = std::move(*text);
    } else {
        value.type = kRegSzUtf8;
        value.data = std::move(utf8);
    }
}

std::string FromUtf8(std::string&& utf8, int line) {
    // ASCII, as nearly every name and value is, reads the same in both.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        return std::move(utf8);
    }
    auto text = Utf8ToCp1252Strict(utf8);
    if (!text) throw DamagedFile(line, "Zeichen außerhalb von Windows-1252");
    return *text;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
std::string ParseQuotedUtf8(std::string_view text, std::size_t& pos, int line) {
    std::string out;
    ++pos;
    for (;;) {
        std::size_t stop = pos;
        while (stop < text.size() && text[stop] != '"' && text[stop] != '\\') ++stop;
        if (stop == text.size()) throw DamagedFile(line, "Anführungszeichen fehlt");
        out.append(text.substr(pos, stop - pos));
        pos = stop + 1;
        if (text[stop] == '"') return out;
        if (pos >= text.size() || (text[pos] != '\\' && text[pos] != '"')) {
            throw DamagedFile(line, "ungültige Escape-Folge");
        }
        out += text[pos++];
    }
}

std::string ParseQuoted(std::string_view text, std::size_t& pos, int line) {
    return FromUtf8(ParseQuotedUtf8(text, pos, line), line);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits; nothing else.
bool ParseHexNumber(std::string_view digits, std::uint32_t& v) {
    if (digits.empty() || digits.size() > 8) return false;
    v = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

std::string ParseHexBytes(std::string_view text, int line) {
    std::string out;
    text = TrimEnd(TrimStart(text));
    if (text.empty()) return out;
    out.reserve(text.size() / 3 + 1);
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const int high = i + 2 <= text.size() ? HexDigit(text[i]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 1]) : -1;
        if (low < 0) throw DamagedFile(line, "ungültige Binärdaten");
        out += static_cast<char>(high * 16 + low);
        i += 2;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i == text.size()) return out;
        if (text[i] != ',') throw DamagedFile(line, "ungültige Binärdaten");
        ++i;
    }
}

void ParseValueData(std::string_view text, RegValue& value, int line) {
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        StringFromUtf8(ParseQuotedUtf8(text, pos, line), value);
        if (text.find_first_not_of(kBlanks, pos) != std::string_view::npos) {
            throw DamagedFile(line, "Zeichen nach dem Wert");
        }
        return;
    }
    if (text.starts_with("dword:")) {
        std::uint32_t v = 0;
        if (!ParseHexNumber(text.substr(6), v)) throw DamagedFile(line, "ungültige Zahl");
        value.type = kRegDword;
        value.data.assign(4, '\0');
        std::memcpy(value.data.data(), &v, 4);
        return;
    }
    if (text.starts_with("hex:")) {
        value.type = kRegBinary;
        value.data = ParseHexBytes(text.substr(4), line);
        return;
    }
    if (text.starts_with("hex(")) {
        const std::size_t close = text.find("):");
        std::uint32_t type = 0;
        if (close == std::string_view::npos || !ParseHexNumber(text.substr(4, close - 4), type)) {
            throw DamagedFile(line, "ungültiger Datentyp");
        }
        value.type = static_cast<int>(type);
        value.data = ParseHexBytes(text.substr(close + 2), line);
        if (value.type == kRegSz || value.type == kRegExpandSz) {
            if (!value.data.empty() && value.data.back() == '\0') value.data.pop_back();
        }
        return;
    }
    throw DamagedFile(line, "ungültiger Wert");
}

// "[HKEY_...\a\b]": the key it names, created as needed. `budget`: what new keys may
// still add to the text when the hive is written again.
RegKey* ParseKeyLine(std::string_view line, Hive hive, RegKey& root, int lineNo,
                     std::size_t& budget) {
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos ||
        line.find_first_not_of(kBlanks, close + 1) != std::string_view::npos) {
        throw DamagedFile(lineNo, "ungültiger Schlüssel");
    }
    const std::string path = FromUtf8(std::string(line.substr(1, close - 1)), lineNo);
    const std::size_t firstEnd = path.find('\\');
    if (path.empty() || Fold(path.substr(0, firstEnd)) != Fold(HiveName(hive))) {
        throw DamagedFile(lineNo, "Schlüssel gehört nicht zu " + std::string(HiveName(hive)));
    }
    // Counted before splitting: a hostile line must not become a vector of parts first.
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) > kMaxKeyDepth) {
        throw DamagedFile(lineNo, "Schlüssel zu tief verschachtelt (mehr als " +
                                      std::to_string(kMaxKeyDepth) + " Ebenen)");
    }
    std::vector<std::string> parts = SplitPath(path);
    parts.erase(parts.begin());
    for (const auto& part : parts) {
        if (!ValidKeyName(part)) throw DamagedFile(lineNo, "ungültiger Schlüsselname");
    }
    RegKey* key = &root;
    std::size_t pathLength = parts.empty() ? path.size() : firstEnd;
    for (const auto& part : parts) {
        pathLength += 1 + part.size();
        std::string folded = Fold(part);
        const auto it = key->subkeys.find(folded);
        if (it != key->subkeys.end()) {
            key = it->second.get();
            continue;
        }
        // Every key gets a line of its own when the hive is written. A few lines
        // naming deep keys must not make that text (and the tree) many times the file.
        const std::size_t cost = pathLength + 3;
        if (cost > budget) {
            throw DamagedFile(lineNo, "zu viele verschachtelte Schlüssel für die Dateigröße");
        }
        budget -= cost;
        key = (key->subkeys[std::move(folded)] = std::make_unique<RegKey>(part)).get();
    }
    return key;
}

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
const std::string kVersion5Reason = "Format „" + std::string(kVersion5Header) +
                                    "“ wird nicht unterstützt; bitte als REGEDIT4 (Win9x/NT4) "
                                    "exportieren";
const std::string kLineTooLong =
    "Zeile länger als " + std::to_string(kMaxLineBytes >> 20) + " MiB";
const std::string kFileTooLarge =
    "Datei größer als " + std::to_string(kMaxFileBytes >> 20) + " MiB";

// The file's text without a UTF-8 byte order mark; a UTF-16 file is refused.
std::string_view WithoutMark(std::string_view text) {
    // regedit of NT 5 and later exports "Version 5.00" files in UTF-16, whose
    // strings in hex(2)/hex(7) are UTF-16 too: not readable as REGEDIT4.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        throw DamagedFile(1, "UTF-16-Datei im " + kVersion5Reason);
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

// Reads up to and including the header, the first line holding more than blanks.
// False when the text ends before it: an empty file, or, with `more` (the text is
// only the file's beginning), one that stops too early to tell. Throws DamagedFile
// when that line is no REGEDIT4 header.
bool ReadHeader(LineReader& lines, bool more) {
    for (;;) {
        lines.SkipEmptyLines();
        if (!lines.HasMore()) return false;
        const std::string_view line = lines.Next();
        if (line.size() > kMaxLineBytes) throw DamagedFile(lines.Number(), kLineTooLong);
        const bool blank = line.find_first_not_of(kBlanks) == std::string_view::npos;
        if (more && !lines.LastLineEnded()) {
            // The line may go on: only one already longer than any header tells.
            if (blank || line.size() <= kVersion5Header.size()) return false;
            throw DamagedFile(lines.Number(), "Kopfzeile REGEDIT4 fehlt");
        }
        if (blank) continue;
        if (line == kVersion5Header) throw DamagedFile(lines.Number(), kVersion5Reason);
        if (line != "REGEDIT4") throw DamagedFile(lines.Number(), "Kopfzeile REGEDIT4 fehlt");
        return true;
    }
}

// Walks the rest of the text for a line over the limit, before any of it is
// converted or parsed.
void CheckLineLengths(LineReader lines) {
    for (lines.SkipEmptyLines(); lines.HasMore(); lines.SkipEmptyLines()) {
        if (lines.Next().size() > kMaxLineBytes) throw DamagedFile(lines.Number(), kLineTooLong);
    }
}

}  // namespace

std::uint64_t ParseCount() {
    return parseCount.load();
}

std::string FileTooLargeReason() {
    return kFileTooLarge;
}

void CheckStart(std::string_view start, bool more) {
    LineReader lines(WithoutMark(start));
    ReadHeader(lines, more);
}

bool WithinLimits(std::string_view text) {
    if (text.size() > kMaxFileBytes) return false;
    try {
        CheckLineLengths(LineReader(text));
    } catch (const DamagedFile&) {
        return false;
    }
    return true;
}

void Parse(const std::string& bytes, Hive hive, RegKey& root) {
    ++parseCount;
    if (bytes.size() > kMaxFileBytes) throw DamagedFile(0, kFileTooLarge);
    const std::string_view text = WithoutMark(bytes);

    // The header comes first, so that a file of another kind is refused before the
    // rest of it is looked at; then no line may be over the limit.
    LineReader lines(text);
    if (!ReadHeader(lines, false)) return;  // an empty file is an empty hive
    CheckLineLengths(lines);

    // We write UTF-8, but regedit writes REGEDIT4 in the ANSI code page. A file that
    // is not UTF-8 throughout is taken as such; the next change stores it as UTF-8.
    // Up to here the text is ASCII, the same in both.
    std::string converted;
    if (!IsValidUtf8Throughout(text)) {
        converted = Cp1252ToUtf8(text);
        lines.Switch(converted);
    }

    RegKey* current = nullptr;
    std::string_view line;
    std::string joined;
    // Files written here list every key on a line of its own and stay far below this.
    std::size_t keyBudget = (std::size_t{1} << 20) + 8 * bytes.size();
    for (lines.SkipEmptyLines(); lines.HasMore(); lines.SkipEmptyLines()) {
        line = TrimStart(lines.Next());
        const int lineNo = lines.Number();
        if (line.empty() || line[0] == ';') continue;

        if (line[0] == '[') {
            current = ParseKeyLine(line, hive, root, lineNo, keyBudget);
            continue;
        }
        if (line[0] != '"' && line[0] != '@') throw DamagedFile(lineNo, "unbekannte Zeile");
        if (!current) throw DamagedFile(lineNo, "Wert außerhalb eines Schlüssels");

        // Binary data may continue over lines ending in '\'.
        line = TrimEnd(line);
        if (line.ends_with('\\') && line.find("=hex") != std::string_view::npos &&
            lines.HasMore()) {
            joined.assign(line);
            while (joined.ends_with('\\') && lines.HasMore()) {
                joined.pop_back();
                joined += TrimStart(lines.Next());
                joined.resize(TrimEnd(joined).size());
                if (joined.size() > kMaxLineBytes) throw DamagedFile(lines.Number(), kLineTooLong);
            }
            line = joined;
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
        current->SetValue(std::move(value));
    }
}

}  // namespace dorvanta::reg
