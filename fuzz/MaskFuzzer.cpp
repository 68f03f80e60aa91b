// Compiles the first half of the input as a mask and matches the second half.
#include <cstddef>
#include <cstdint>
#include <string>

#include "store/Mask.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    try {
        dorvanta::TMask mask(all.substr(0, size / 2));
        mask.Matches(all.substr(size / 2));
    } catch (const dorvanta::EMaskException&) {
    }
    return 0;
}
