#pragma once
// The import of a text file into one sub-category: one entry per line, title,
// value and info separated by one chosen character.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/Document.h"
#include "store/StoreMessages.h"  // the import's refusals

namespace dorvanta {

// The most entries a sub-category may hold after an import; a longer file is
// refused as a whole (kMsgTooManyLines).
inline constexpr std::int32_t kMaxEntriesAfterImport = 1000000;
// The largest text file an import reads; far beyond what a sub-category can use,
// and it keeps a huge or endless file from filling the memory (kMsgImportFileTooBig).
inline constexpr std::uint64_t kMaxImportFileBytes = 256ull << 20;

// The lines of a file's bytes: a line ends at CR LF, a lone LF or a lone CR (LF
// followed by CR ends two lines); a final line break adds no empty line; the
// text ends at the first NUL byte.
std::vector<std::string> SplitImportLines(std::string_view bytes);

// One line's fields: title, value and info; the info takes the rest of the line,
// separators included. Pieces are neither trimmed nor unquoted.
TDataRec SplitImportLine(std::string_view line, char separator);

// The text of an import file in Windows-1252, up to its first NUL byte: a file
// that starts with the UTF-8 byte order mark (dropped) or is well-formed UTF-8
// with a byte above 0x7F is read as UTF-8 and converted into `converted`; any
// other is taken as Windows-1252 as it stands. A UTF-8 character the code page
// cannot hold, and a malformed sequence after the byte order mark, throw
// EStoreError naming the line: nothing is stored changed without a word.
std::string_view ImportText(std::string_view bytes, const std::string& path,
                            std::string& converted);

// Reads `path` and appends one entry per line to key `key`, every one stamped
// with the document's one current time, then sorts the key's entries once and
// sets Modified. Returns the number of entries added. A file that cannot be
// opened or read throws EStoreError before the document changes, and so does
// one larger than kMaxImportFileBytes, whose text ImportText refuses or whose
// lines would take the key beyond kMaxEntriesAfterImport.
std::int32_t ImportEntries(TDocument& doc, std::int32_t key, const std::string& path,
                           char separator);
// The same for bytes already read; `path` only names the file in the message.
std::int32_t ImportEntriesFromBytes(TDocument& doc, std::int32_t key, std::string_view bytes,
                                    const std::string& path, char separator);

}  // namespace dorvanta
