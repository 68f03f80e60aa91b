// The first input byte is the separator, the rest a text file to import. The
// lines must hold the text exactly without its line breaks, each line's fields
// must give the line back, and the import must add one entry per line (of the
// text as UTF-8 where it is that) to those already there, stamped with one time,
// or refuse it and change nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "store/Cp1252.h"
#include "store/Import.h"
#include "store/StoreError.h"

namespace {

using namespace dorvanta;

[[noreturn]] void Fail(const char* what) {
    fuzz::Fail("fuzz_import", what);
}

DORVANTA_FUZZ_CHECK bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

// The lines a text must give: one per break (CR LF is one break), and one more
// for text after the last break.
DORVANTA_FUZZ_CHECK std::size_t ExpectedLineCount(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsBreak(text[i])) continue;
        ++lines;
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return lines + (!text.empty() && !IsBreak(text.back()) ? 1 : 0);
}

DORVANTA_FUZZ_CHECK void CheckLines(std::string_view bytes, const std::vector<std::string>& lines) {
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    std::string joined;
    for (const std::string& line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            Fail("a line holds a break or a NUL");
        joined += line;
    }
    std::string withoutBreaks(text);
    withoutBreaks.erase(std::remove_if(withoutBreaks.begin(), withoutBreaks.end(), IsBreak),
                        withoutBreaks.end());
    if (joined != withoutBreaks) Fail("the lines do not hold the text");
    if (lines.size() != ExpectedLineCount(text)) Fail("wrong number of lines");
}

DORVANTA_FUZZ_CHECK void CheckFields(const std::string& line, char separator) {
    const TDataRec rec = SplitImportLine(line, separator);
    if (rec.Title.find(separator) != std::string::npos ||
        rec.Value.find(separator) != std::string::npos)
        Fail("a separator inside the title or the value");
    std::string rebuilt = rec.Title;
    if (line.size() > rebuilt.size()) rebuilt += separator + rec.Value;
    if (line.size() > rebuilt.size()) rebuilt += separator + rec.Info;
    if (rebuilt != line) Fail("the fields do not give the line back");
}

// An order-free fingerprint of the entries' texts: the import sorts them.
DORVANTA_FUZZ_CHECK std::size_t Fingerprint(const std::vector<TDataRec>& data) {
    std::size_t sum = data.size();
    for (const TDataRec& r : data) {
        std::string all = r.Title;
        all += '\0';
        all += r.Value;
        all += '\0';
        all += r.Info;
        sum += std::hash<std::string>()(all);
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const char separator = static_cast<char>(data[0]);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::vector<std::string> lines = SplitImportLines(bytes);
    CheckLines(bytes, lines);
    for (const std::string& line : lines) CheckFields(line, separator);

    // Sorting the entries costs far more than splitting; the import's own steps
    // show with a few lines as well as with thousands.
    if (lines.size() > 64) return 0;
    // A text with the UTF-8 mark or a byte above 0x7F that the strict conversion
    // takes comes in converted; one it refuses either comes in as it stands (not
    // UTF-8) or is refused as a whole (a character outside the code page).
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    const bool marked = text.starts_with("\xEF\xBB\xBF");
    const auto utf8 = Utf8ToCp1252Strict(text.substr(marked ? 3 : 0));
    const bool high = std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; });
    const std::vector<std::string> textLines =
        (marked || high) && utf8 ? SplitImportLines(*utf8) : lines;
    std::vector<TDataRec> expected = {{"m", "", "", 1.0}, {"C", "x", "", 1.0}};
    for (const std::string& line : textLines) expected.push_back(SplitImportLine(line, separator));
    TDocument doc;
    int clock = 0;
    doc.Now = [&clock] { return ++clock + 1.0; };
    doc.Keys = {{"K", "P", {expected[0], expected[1]}}};
    try {
        if (ImportEntriesFromBytes(doc, 0, bytes, "fuzz.txt", separator) !=
            static_cast<std::int32_t>(textLines.size()))
            Fail("the import counts other lines");
    } catch (const EStoreError&) {
        if (!high || utf8) Fail("an import of a short text failed");
        if (clock != 0 || doc.Modified || doc.Keys[0].Data.size() != 2)
            Fail("a refused import changed the document");
        return 0;
    }
    if (clock != 1 || !doc.Modified) Fail("not stamped once or not marked modified");
    const std::vector<TDataRec>& got = doc.Keys[0].Data;
    if (Fingerprint(got) != Fingerprint(expected)) Fail("the entries are not those of the lines");
    for (const TDataRec& r : got)
        if (r.Date != 1.0 && r.Date != 2.0) Fail("an entry with a foreign time");
    return 0;
}
