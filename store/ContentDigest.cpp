#include "store/ContentDigest.h"

#include <stdexcept>

namespace dorvanta {
namespace {

const unsigned char* RunKey() {
    static const auto key = [] {
        if (sodium_init() < 0) throw std::runtime_error("libsodium");
        std::array<unsigned char, crypto_onetimeauth_KEYBYTES> k{};
        randombytes_buf(k.data(), k.size());
        return k;
    }();
    return key.data();
}

}  // namespace

TContentDigest::TContentDigest() {
    crypto_onetimeauth_init(&state_, RunKey());
}

void TContentDigest::Update(const void* data, std::size_t size) {
    crypto_onetimeauth_update(&state_, static_cast<const unsigned char*>(data), size);
}

TDigest TContentDigest::Final() {
    TDigest digest{};
    crypto_onetimeauth_final(&state_, digest.data());
    return digest;
}

TDigest TContentDigest::Of(std::string_view bytes) {
    TContentDigest digest;
    digest.Update(bytes);
    return digest.Final();
}

}  // namespace dorvanta
