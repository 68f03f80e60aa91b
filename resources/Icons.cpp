#include "resources/Icons.h"

#include <array>
#include <cstddef>

// The resources are compiled into a static library (resources.qrc). Registering
// them here also keeps the linker from dropping that library's object file.
static void RegisterResourcesOnce() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)registered;
}

namespace dorvanta {

void RegisterResources() {
    RegisterResourcesOnce();
}
namespace {

constexpr std::size_t kToolIconCount = static_cast<std::size_t>(IconId::Copy) + 1;

// In the order of IconId.
constexpr std::array<const char*, kToolIconCount> kToolIconNames = {
    "new",          "open", "save",    "newkey",     "delkey", "showdata",
    "compressview", "exit", "newdata", "deletedata", "copy",
};

QIcon LoadIcon(const char* name) {
    RegisterResourcesOnce();
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

}  // namespace

QIcon ToolIcon(IconId id) {
    // Built on first use: a QIcon needs the GUI application to exist.
    static const std::array<QIcon, kToolIconCount> icons = [] {
        std::array<QIcon, kToolIconCount> all;
        for (std::size_t i = 0; i < kToolIconCount; ++i) all[i] = LoadIcon(kToolIconNames[i]);
        return all;
    }();
    const auto index = static_cast<std::size_t>(id);
    return index < kToolIconCount ? icons[index] : QIcon();
}

QIcon AppIcon() {
    static const QIcon icon = LoadIcon("app");
    return icon;
}

}  // namespace dorvanta
