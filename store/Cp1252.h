#pragma once
// Texts inside the store are 8-bit Windows-1252 byte strings. These are the only
// conversions between them and Unicode; the GUI and the command-line tool call them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dorvanta {

// The Unicode code point of one Windows-1252 byte. The five bytes Windows-1252
// leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of
// the same value, so every byte string round-trips.
char32_t Cp1252ToCodePoint(unsigned char byte);

// The Windows-1252 byte of a code point, or nothing when the code page cannot hold it.
std::optional<unsigned char> CodePointToCp1252(char32_t cp);

// Windows-1252 text to UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 to Windows-1252. Fails (nothing) on malformed UTF-8 or on a character
// the code page cannot hold: callers refuse such input rather than change it.
std::optional<std::string> Utf8ToCp1252Strict(std::string_view utf8);

// UTF-8 to Windows-1252 as the texts of a collection file are read, which never
// refuses a file for its texts: a character the code page cannot hold and a
// stray byte become '?', an overlong form stands for the character it spells.
// Nothing when a sequence is cut off by the end or a lead byte lacks its
// continuation bytes. Writes at most `size` bytes to `out`, which may be `in`
// itself, and returns how many.
std::optional<std::size_t> StoredUtf8ToCp1252(const char* in, std::size_t size, char* out);

// How a text reads as UTF-8 for the code page (ReadUtf8AsCp1252).
struct TUtf8Reading {
    enum class TKind {
        Ascii,      // no byte above 0x7F: the text is the same in both
        Converted,  // well-formed UTF-8, every character held by the code page
        NotUtf8,    // a malformed sequence starts at `At`
        Unheld,     // well-formed, but the character at `At` lies outside the code page
    };
    TKind Kind = TKind::Ascii;
    std::size_t At = 0;      // byte offset into the text (NotUtf8, Unheld)
    char32_t CodePoint = 0;  // the first character the code page cannot hold (Unheld)
};

// Reads `utf8` as well-formed UTF-8 (no overlong forms, surrogates or code points
// beyond U+10FFFF) into Windows-1252 in one pass. `out` receives the text only
// when the result is Converted. A malformed sequence anywhere wins over a
// character the code page cannot hold: such a text is no UTF-8 at all.
TUtf8Reading ReadUtf8AsCp1252(std::string_view utf8, std::string& out);

// Windows-1252 text to UTF-16 code units (ICU and Qt work on these).
std::u16string Cp1252ToUtf16(std::string_view text);

// The UTF-8 of each byte for loops that write much text: one to three bytes with
// their count in the fourth, so a loop stores all four at once and moves on by
// the count (it needs one byte of room beyond the text for that).
struct TUtf8OfByte {
    char Bytes[3];
    unsigned char Size;
};
extern const std::array<TUtf8OfByte, 256> kUtf8OfCp1252;

}  // namespace dorvanta
