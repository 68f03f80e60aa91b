#pragma once
// Scans the process's writable memory for a text: whether a collection's texts
// are gone after a lock, New or Open.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace dorvanta::testing {

// Marker texts are kept masked, so that the test's own copy is never what the
// scan finds.
constexpr unsigned char kMask = 0x5A;

inline std::string Mask(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(c ^ kMask);
    return out;
}

// Where a masked text stands in the process's writable memory, as 8-bit text
// or as UTF-16: how many places.
inline int PlacesInMemory(const std::string& masked) {
    constexpr std::size_t kWindow = 1 << 20;
    // The scan's own buffer lies outside the heap and is left out of the scan.
    auto* buffer = static_cast<unsigned char*>(
        ::mmap(nullptr, kWindow, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    const auto own = reinterpret_cast<std::uintptr_t>(buffer);
    const int mem = ::open("/proc/self/mem", O_RDONLY);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int places = 0;
    const std::size_t n = masked.size();
    const auto matches = [&](const unsigned char* at, std::size_t stride) {
        for (std::size_t j = 0; j < n; ++j) {
            if ((at[j * stride] ^ kMask) != static_cast<unsigned char>(masked[j])) return false;
            if (stride == 2 && at[j * 2 + 1] != 0) return false;
        }
        return true;
    };
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms;
        fields >> range >> perms;
        if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w') continue;
        const std::uintptr_t from = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
        const std::uintptr_t to = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
        if (from == own) continue;
        // Windows overlap by a text's length, so nothing is missed at their seams.
        for (std::uintptr_t at = from; at < to; at += kWindow - 2 * n) {
            const std::size_t want = std::min<std::uintptr_t>(kWindow, to - at);
            const ssize_t got = ::pread(mem, buffer, want, static_cast<off_t>(at));
            if (got <= 0) break;
            for (std::size_t i = 0; i + n <= static_cast<std::size_t>(got); ++i) {
                const bool a = matches(buffer + i, 1);
                const bool b = i + 2 * n <= static_cast<std::size_t>(got) && matches(buffer + i, 2);
                if ((a || b) && getenv("SCAN_DEBUG")) {
                    fprintf(stderr, "hit %s stride %d at %lx in %s\n", line.c_str(), a ? 1 : 2,
                            (unsigned long)(at + i), "");
                    std::string ctx;
                    for (std::size_t k = (i > 64 ? i - 64 : 0); k < i + 64 && k < (size_t)got;
                         ++k) {
                        char ch = buffer[k];
                        ctx += (ch >= 32 && ch < 127) ? ch : '.';
                    }
                    fprintf(stderr, "  ctx: %s\n", ctx.c_str());
                }
                places += a;
                places += b;
            }
            if (want < kWindow) break;
        }
    }
    ::close(mem);
    ::munmap(buffer, kWindow);
    return places;
}

}  // namespace dorvanta::testing
