#pragma once
// Texts inside the store are 8-bit Windows-1252 byte strings. These are the only
// conversions between them and Unicode; the GUI and the command-line tool call them.

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

// Windows-1252 text to UTF-16 code units (ICU and Qt work on these).
std::u16string Cp1252ToUtf16(std::string_view text);

}  // namespace dorvanta
