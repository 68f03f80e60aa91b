// Takes the input as the name of an entry in a downloaded update archive. The
// name it is extracted under must be a plain file name inside the temporary
// folder: the entry name's last component, never a folder, "." or "..", and
// free of control characters; every other entry is skipped.
#include <QDir>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "update/Installer.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
    dorvanta::fuzz::Fail("fuzz_zipname", what, name.c_str());
}

DORVANTA_FUZZ_CHECK bool Acceptable(const std::string& last) {
    if (last.empty() || last == "." || last == "..") return false;
    for (const unsigned char c : last)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string bare = dorvanta::ArchiveEntryFileName(name);

    const std::size_t cut = name.find_last_of("/\\");
    const std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
    if (bare != (Acceptable(last) ? last : std::string())) Fail("not the last component", name);
    if (bare.empty()) return 0;

    // Joined to the folder it stays directly inside it, whatever the name.
    const QString folder = QStringLiteral("/tmp/dorvanta-update/");
    const QString target = QDir::cleanPath(folder + QString::fromUtf8(bare));
    if (!target.startsWith(folder) || target.indexOf(u'/', folder.size()) >= 0)
        Fail("a name leads out of the folder", name);
    return 0;
}
