#pragma once
// The program's Windows-1252 texts as Qt strings and back; the one crossing
// point between the store's bytes and the GUI.

#include <QString>
#include <optional>
#include <string>

namespace dorvanta {

QString ToQString(const std::string& cp1252);
// Nothing when the text holds a character Windows-1252 cannot.
std::optional<std::string> FromQString(const QString& text);
// True when every character of the text fits Windows-1252.
bool FitsCp1252(const QString& text);

}  // namespace dorvanta
