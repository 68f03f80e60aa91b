#pragma once
// The maker's name and web server, in one place for every part that shows or links them.

#include <QString>

namespace dorvanta {

inline QString MakerName() { return QStringLiteral("QZ-Software"); }
// No trailing '/'; pages are addressed by their path below it.
inline QString MakerWebServer() { return QStringLiteral("https://www.qz-software.example"); }

}  // namespace dorvanta
