#pragma once
// A digest of a file's bytes as they arrive in pieces while the file is read or
// written: what tells a file changed by another program from one only touched.
// libsodium's BLAKE2b (crypto_generichash), 32 bytes: collision-resistant like
// SHA-256 at about three times its speed, so digesting a file during its load
// costs little.

#include <sodium.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace dorvanta {

using TDigest = std::array<unsigned char, 32>;

class TContentDigest {
  public:
    TContentDigest();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given; the object is then spent.
    TDigest Final();

    // The digest of one piece of memory.
    static TDigest Of(std::string_view bytes);

  private:
    crypto_generichash_state state_;
};

}  // namespace dorvanta
