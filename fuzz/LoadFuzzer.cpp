// Any byte string fed to the loader must end in a result or an EStoreError,
// never in a crash, a hang or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <string>

#include "store/PdtFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dorvanta::TDocument doc;
    dorvanta::TLoadHooks hooks;
    hooks.AskPassword = [&](const std::string&) {
        return std::optional<std::string>(doc.Password);
    };
    try {
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        if (dorvanta::LoadDocumentFromBytes(doc, bytes, "fuzz.pdt", hooks)) {
            // What loads must save and load back to the same bytes.
            const std::string again = dorvanta::EncodeDocument(doc);
            dorvanta::TDocument copy;
            dorvanta::LoadDocumentFromBytes(copy, again, "copy.pdt", hooks);
            if (dorvanta::EncodeDocument(copy) != again) __builtin_trap();
        }
    } catch (const dorvanta::EStoreError&) {
    }
    return 0;
}
