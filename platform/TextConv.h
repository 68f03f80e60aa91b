#pragma once
// The program's Windows-1252 texts as Qt strings and back; the one crossing
// point between the store's bytes and the GUI.

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace dorvanta {

QString ToQString(const std::string& cp1252);

// What the lists show of a field: its first kShownChars characters, followed by
// "…" when it is longer. The stored text stays whole; a list of long values then
// costs no more to fill and paint than one of short ones.
inline constexpr std::size_t kShownChars = 1000;
QString ShownText(const std::string& cp1252);
// Nothing when the text holds a character Windows-1252 cannot.
std::optional<std::string> FromQString(const QString& text);
// True when every character of the text fits Windows-1252.
bool FitsCp1252(const QString& text);

// Text from a file we did not write: UTF-8 when the bytes are valid UTF-8 (Qt's
// decoder refuses overlong forms, surrogates and cut-off sequences), otherwise
// Windows-1252, as an 8-bit editor in the ANSI code page writes it.
QString DecodeUtf8OrCp1252(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

}  // namespace dorvanta
