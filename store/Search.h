#pragma once
// The search over a document: sub-category names and entry fields are tested
// with a substring test and, failing that, as a whole against the search text
// taken as a wildcard mask.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "store/Document.h"
#include "store/StopCheck.h"

namespace dorvanta {

// The kinds of field a hit can lie in; they index kSourceNames.
enum class TSearchSource { Name = 0, Title = 1, Value = 2, Info = 3 };
// "Unterrubrikname", "Titel", "Wert", "Info" (UTF-8), as the result list shows them.
extern const char* const kSourceNames[4];

struct TSearchOptions {
    bool Names = false;    // sub-category names
    bool Titles = true;    // entry titles
    bool Values = true;    // entry values
    bool Info = true;      // entry info texts
    bool Exact = false;    // case-sensitive; otherwise both sides are upper-cased
    bool Wildcard = true;  // the whole-field wildcard test after the substring test
};

struct TSearchHit {
    std::int32_t KeyIndex = 0;
    std::int32_t DataIndex = -1;  // -1: the sub-category's own name
    TSearchSource Source = TSearchSource::Name;
    bool operator==(const TSearchHit&) const = default;
};

// Upper-cases a Windows-1252 text as the user's locale does for that code page:
// a-z and the accented letters (umlauts included) map to their capitals where
// the code page has them; 'ß' and 'µ' stay.
std::string UpperCaseCp1252(const std::string& text);

// Searches `doc` in key order, each key's name before its entries, each entry's
// title, value and info in that order, appending the hits to `hits`. A search
// text that is a malformed mask throws EMaskException at the first tested field
// that does not contain the text; the hits found before it stay in `hits`. Once
// `stop` answers true (asked between entries and between pieces of a long
// field), the search ends, keeping the hits found so far.
void SearchDocument(const TDocument& doc, const std::string& text, const TSearchOptions& options,
                    std::vector<TSearchHit>& hits, const TStopCheck& stop = {});

// The field text of a hit, as stored.
const std::string& HitText(const TDocument& doc, const TSearchHit& hit);

}  // namespace dorvanta
