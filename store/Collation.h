#pragma once
// The three comparison rules of the document: exact (plain ==), ASCII
// case-insensitive, and the user's locale collation through ICU.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace dorvanta {

// Byte-wise order after folding only a..z to A..Z; a prefix sorts first. <0, 0, >0.
int CompareAsciiCI(std::string_view a, std::string_view b);

// Folds only a..z to A..Z.
inline unsigned char AsciiUpper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
}

// One ICU collator over Windows-1252 texts.
class Collator {
  public:
    enum class Case { Sensitive, Insensitive };
    Collator(Case caseRule, const std::string& icuLocale);
    ~Collator();
    Collator(const Collator&) = delete;
    Collator& operator=(const Collator&) = delete;

    // <0, 0, >0 as the collator decides.
    int Compare(std::string_view a, std::string_view b) const;
    // A key whose byte order (memcmp, shorter first) is the collator's order.
    std::string SortKey(std::string_view text) const;
    // Appends the same key to `out` and returns its length: a long list keeps its
    // keys in one block instead of one allocation each.
    std::size_t AppendSortKey(std::string_view text, std::string& out) const;

  private:
    UCollator* collator_ = nullptr;
};

// The ICU locale name of the user's collation: LC_ALL, LC_COLLATE, LANG in that
// order; the C and POSIX locales (and none at all) give ICU's root collation, since
// ICU would otherwise fall back to an order that does not fold case.
std::string CollationLocaleFromEnvironment();

// Case-sensitive collation for parent names, case-insensitive for entry titles.
const Collator& ParentCollator();
const Collator& TitleCollator();

// Replaces both collators (tests switch locales); an empty name re-reads the environment.
void SetCollationLocale(const std::string& icuLocale);
// Counts the replacements, so that kept sort keys can tell they are from another collator.
std::uint64_t CollationGeneration();

}  // namespace dorvanta
