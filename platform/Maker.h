#pragma once
// The maker's name and web server, in one place for every part that shows or links them.

#include <QString>

namespace dorvanta {

inline QString MakerName() { return QStringLiteral("QZ-Software"); }
// No trailing '/'; pages are addressed by their path below it.
inline QString MakerWebServer() { return QStringLiteral("https://www.qz-software.example"); }
// The host (with an optional ":port") that serves update information and archives.
inline QString MakerUpdateHost() { return QStringLiteral("update.qz-software.example"); }

}  // namespace dorvanta
