#pragma once
// SHA-256 of bytes that arrive in pieces, as a file is read or written. Where the
// processor has the SHA extensions (most x86-64 machines since 2017) the blocks
// are compressed with them, at well over a gigabyte a second, so digesting a file
// while it is loaded costs little; elsewhere a portable block function does the
// work at the speed of libsodium's crypto_hash_sha256 (against which the tests
// check both ways).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dorvanta {

using TDigest = std::array<unsigned char, 32>;

class TSha256 {
  public:
    TSha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given; the object is then spent.
    TDigest Final();

    // The digest of one piece of memory.
    static TDigest Of(std::string_view bytes);
    // True when the SHA extensions are used (tests run both ways).
    static bool Accelerated();
    // Tests only: forces the portable way even where the extensions exist.
    static void ForcePortable(bool on);

  private:
    void Blocks(const unsigned char* data, std::size_t count);

    bool fast_;
    std::uint32_t state_[8];
    unsigned char pending_[64];
    std::size_t pendingSize_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace dorvanta
