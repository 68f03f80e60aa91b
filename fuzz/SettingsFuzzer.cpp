// Reads the input as a hive file of the settings store. A file either reads or
// throws DamagedFile naming one of its lines; what reads must write out as text
// that reads back and writes out to the same text again.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/RegTree.h"

namespace {

using namespace dorvanta;

[[noreturn]] void Fail(const char* what, const std::string& detail = "") {
    fuzz::Fail("fuzz_settings", what, detail.c_str());
}

// The lines the reader counts: the file's '\n'-separated lines, the last one
// unterminated. A reported line must be one of them.
DORVANTA_FUZZ_CHECK int LineCount(const std::string& bytes) {
    int lines = 1;
    for (const char c : bytes) lines += c == '\n';
    return lines;
}

DORVANTA_FUZZ_CHECK bool NamesMachineHive(const std::string& bytes) {
    static const std::string kName = "hkey_local_machine";
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    };
    return std::search(bytes.begin(), bytes.end(), kName.begin(), kName.end(), same) != bytes.end();
}

bool ReadHive(const std::string& bytes, Hive hive, reg::RegKey& root) {
    try {
        reg::Parse(bytes, hive, root);
        return true;
    } catch (const reg::DamagedFile& e) {
        if (e.line < 1 || e.line > LineCount(bytes)) Fail("a damaged line outside the file");
        if (e.reason.empty()) Fail("a damaged file without a reason");
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Keys name their hive: a file that names the machine's is read as that one.
    const Hive hive = NamesMachineHive(bytes) ? Hive::LocalMachine : Hive::CurrentUser;
    reg::RegKey root;
    if (!ReadHive(bytes, hive, root)) return 0;
    const std::string written = reg::Serialize(root, hive);
    reg::RegKey again;
    try {
        reg::Parse(written, hive, again);
    } catch (const reg::DamagedFile& e) {
        Fail("a written hive does not read back", std::to_string(e.line) + ": " + e.reason);
    }
    if (reg::Serialize(again, hive) != written) Fail("a reread hive writes other text");
    return 0;
}
