#include "store/ContentDigest.h"

#include <stdexcept>

namespace dorvanta {

TContentDigest::TContentDigest() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium");
    crypto_generichash_init(&state_, nullptr, 0, std::tuple_size_v<TDigest>);
}

void TContentDigest::Update(const void* data, std::size_t size) {
    crypto_generichash_update(&state_, static_cast<const unsigned char*>(data), size);
}

TDigest TContentDigest::Final() {
    TDigest digest{};
    crypto_generichash_final(&state_, digest.data(), digest.size());
    return digest;
}

TDigest TContentDigest::Of(std::string_view bytes) {
    TContentDigest digest;
    digest.Update(bytes);
    return digest.Final();
}

}  // namespace dorvanta
