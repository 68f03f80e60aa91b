#include "store/Import.h"

#include <algorithm>

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
