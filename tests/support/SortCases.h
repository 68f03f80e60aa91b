#pragma once
// Short lists whose texts differ only by accent, only by case, or by both, with
// their order as entry titles (ICU's secondary level: accents count, case does
// not, and equal titles keep their places) and as parents (the tertiary level:
// lower case first). ICU's rules, the same under de_DE and the root collation;
// byte order would differ in most of them. The store's and the CLI's tests share it.

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "store/Cp1252.h"

namespace dorvanta::testing {

struct TSortCase {
    const char* List;     // UTF-8, space-separated, in the order given to the sort
    const char* Titles;   // sorted as entry titles
    const char* Parents;  // sorted as parents
};

inline constexpr TSortCase kAccentAndCaseCases[] = {
    // Only an accent or umlaut.
    {"Äpfel Apfel", "Apfel Äpfel", "Apfel Äpfel"},
    {"Apfel Äpfel", "Apfel Äpfel", "Apfel Äpfel"},
    {"Café Cafe", "Cafe Café", "Cafe Café"},
    {"Ac Äb", "Äb Ac", "Äb Ac"},  // letters before accents
    {"Zucker Müller Mueller", "Mueller Müller Zucker", "Mueller Müller Zucker"},  // ü is no ue
    {"Straße Strasse", "Strasse Straße", "Strasse Straße"},  // ß is ss with an accent's weight
    // Only case.
    {"Apfel apfel", "Apfel apfel", "apfel Apfel"},
    {"apfel Apfel", "apfel Apfel", "apfel Apfel"},
    {"B a", "a B", "a B"},
    {"ÄPFEL äpfel", "ÄPFEL äpfel", "äpfel ÄPFEL"},
    // Both: the accent decides before the case.
    {"äpfel Apfel", "Apfel äpfel", "Apfel äpfel"},
    {"Äpfel apfel", "apfel Äpfel", "apfel Äpfel"},
    {"APFEL äpfel", "APFEL äpfel", "APFEL äpfel"},
    {"Äpfel äpfel Apfel apfel", "Apfel apfel Äpfel äpfel", "apfel Apfel äpfel Äpfel"},
};

// The Windows-1252 words of a case's list.
inline std::vector<std::string> SortCaseWords(const char* utf8) {
    std::vector<std::string> words;
    std::istringstream in(*Utf8ToCp1252Strict(utf8));
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace dorvanta::testing
