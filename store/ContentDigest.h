#pragma once
// A fingerprint of a file's bytes as they arrive in pieces while the file is read
// or written: what tells a file changed by another program from one only touched.
//
// libsodium's Poly1305 under a key drawn at random once per run: a keyed universal
// hash, so two different contents give the same fingerprint with a probability
// below 2^-70 even for files of gigabytes, as long as the key stays unknown (it
// never leaves this process, and neither do the fingerprints; they are compared
// only within the run that made them). It runs at several gigabytes a second, so
// fingerprinting a file during its load costs little (a cryptographic hash such as
// BLAKE2b or SHA-256 would add a third or more to every load).

#include <sodium.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace dorvanta {

using TDigest = std::array<unsigned char, crypto_onetimeauth_BYTES>;

class TContentDigest {
  public:
    TContentDigest();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The fingerprint of everything given; the object is then spent.
    TDigest Final();

    // The fingerprint of one piece of memory.
    static TDigest Of(std::string_view bytes);

  private:
    crypto_onetimeauth_state state_;
};

}  // namespace dorvanta
