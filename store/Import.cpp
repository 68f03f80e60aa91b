#include "store/Import.h"

#include <algorithm>
#include <cstdio>

#include "store/Cp1252.h"
#include "store/FileIO.h"
#include "store/StoreError.h"
#include "store/VectorState.h"

namespace dorvanta {
namespace {

// Calls `line` with each line of `bytes` as a view into it.
template <typename LineFn>
void ForEachLine(std::string_view bytes, LineFn&& line) {
    bytes = bytes.substr(0, bytes.find('\0'));
    const std::size_t n = bytes.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        line(bytes.substr(start, i - start));
        i += (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < n) line(bytes.substr(start));
}

}  // namespace

std::vector<std::string> SplitImportLines(std::string_view bytes) {
    std::vector<std::string> lines;
    ForEachLine(bytes, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

namespace {

// Fills the fields of an entry in place: a million lines make no temporary entries.
void AssignImportLine(TDataRec& rec, std::string_view line, char separator) {
    std::string* const fields[3] = {&rec.Title, &rec.Value, &rec.Info};
    for (int f = 0; !line.empty(); ++f) {
        std::string_view piece = line;
        line = {};
        if (f < 2) {
            const std::size_t at = piece.find(separator);
            if (at != std::string_view::npos) {
                line = piece.substr(at + 1);
                piece = piece.substr(0, at);
            }
        }
        fields[f]->assign(piece);
    }
}

}  // namespace

TDataRec SplitImportLine(std::string_view line, char separator) {
    TDataRec rec;
    AssignImportLine(rec, line, separator);
    return rec;
}

namespace {

// The 1-based line of the byte at `at`, counted as ForEachLine splits.
std::size_t LineOf(std::string_view bytes, std::size_t at) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= at || bytes[i + 1] != '\n'))) ++line;
    }
    return line;
}

// A character as the message shows it: itself where it can be seen, its code
// where it would be invisible or stand on its own neighbour (controls, combining
// marks, zero widths, direction marks, the byte order mark).
std::string ShownChar(char32_t cp) {
    const bool invisible = cp < 0xA0 || (cp >= 0x0300 && cp <= 0x036F) ||
                           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
                           (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
                           cp == 0xFEFF || (cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000;
    if (invisible) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
        return code;
    }
    // Its UTF-8: the lead byte marks the length, each further byte carries six bits.
    constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    const int len = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    std::string utf8(1, static_cast<char>(kLead[len] | (cp >> (6 * (len - 1)))));
    for (int k = len - 2; k >= 0; --k) utf8 += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
    return utf8;
}

}  // namespace

std::string_view ImportText(std::string_view bytes, const std::string& path,
                            std::string& converted) {
    bytes = bytes.substr(0, bytes.find('\0'));
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    const bool bom = bytes.starts_with(kBom);
    const std::string_view text = bom ? bytes.substr(kBom.size()) : bytes;
    const TUtf8Reading reading = ReadUtf8AsCp1252(text, converted);
    switch (reading.Kind) {
        case TUtf8Reading::TKind::Ascii:
            return text;
        case TUtf8Reading::TKind::Converted:
            return converted;
        case TUtf8Reading::TKind::Unheld:
            throw EStoreError(FormatMessage(
                kMsgImportUnheldChar,
                {std::to_string(LineOf(text, reading.At)), path, ShownChar(reading.CodePoint)}));
        case TUtf8Reading::TKind::NotUtf8:
            break;
    }
    // The mark says UTF-8, so reading the rest as Windows-1252 would guess against it.
    if (bom) {
        throw EStoreError(
            FormatMessage(kMsgImportNotUtf8, {path, std::to_string(LineOf(text, reading.At))}));
    }
    return bytes;
}

std::int32_t ImportEntries(TDocument& doc, std::int32_t key, const std::string& path,
                           char separator) {
    std::string bytes;
    switch (ReadWholeFile(path, bytes, kMaxImportFileBytes)) {
        case ReadFileResult::Ok:
            break;
        case ReadFileResult::CannotOpen:
            throw EStoreError(FormatMessage(kMsgCannotOpen, path));
        case ReadFileResult::ReadFailed:
            throw EStoreError(kMsgReadError);
        case ReadFileResult::TooBig:
            throw EStoreError(FormatMessage(kMsgImportFileTooBig,
                                            {path, std::to_string(kMaxImportFileBytes >> 20)}));
    }
    return ImportEntriesFromBytes(doc, key, bytes, path, separator);
}

std::int32_t ImportEntriesFromBytes(TDocument& doc, std::int32_t key, std::string_view bytes,
                                    const std::string& path, char separator) {
    std::string converted;
    bytes = ImportText(bytes, path, converted);
    ClearUpperVectorState();
    std::vector<TDataRec>& data = doc.Keys[key].Data;
    const std::size_t before = data.size();
    std::size_t count = 0;
    ForEachLine(bytes, [&](std::string_view) { ++count; });
    // Every line, even an empty one, costs a whole entry (a hundred bytes and
    // more), so a file of bare line breaks must not be taken at any length.
    const auto cap = static_cast<std::size_t>(kMaxEntriesAfterImport);
    if (count > cap - std::min(before, cap)) {
        throw EStoreError(
            FormatMessage(kMsgTooManyLines, {path, std::to_string(kMaxEntriesAfterImport)}));
    }

    data.reserve(before + count);
    const double now = doc.Now();
    try {
        ForEachLine(bytes, [&](std::string_view line) {
            TDataRec& rec = data.emplace_back();
            AssignImportLine(rec, line, separator);
            rec.Date = now;
        });
    } catch (...) {
        data.erase(data.begin() + static_cast<std::ptrdiff_t>(before), data.end());
        throw;
    }
    doc.SortEntries(key);
    doc.Modified = true;
    return static_cast<std::int32_t>(count);
}

}  // namespace dorvanta
