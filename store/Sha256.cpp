#include "store/Sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define DORVANTA_SHA_X86 1
#endif

namespace dorvanta {
namespace {

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

bool g_forcePortable = false;

constexpr std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void PortableBlocks(std::uint32_t state[8], const unsigned char* data, std::size_t count) {
    for (; count > 0; --count, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) {
            w[t] = (std::uint32_t{data[4 * t]} << 24) | (std::uint32_t{data[4 * t + 1]} << 16) |
                   (std::uint32_t{data[4 * t + 2]} << 8) | std::uint32_t{data[4 * t + 3]};
        }
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) +
                                     ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const std::uint32_t t2 =
                (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef DORVANTA_SHA_X86

// The blocks with the SHA extensions: the state is held as the instructions want
// it (ABEF and CDGH), each group of four rounds takes four message words, and the
// message schedule of the later groups comes from the instructions made for it.
__attribute__((target("sha,sse4.1"))) void ShaNiBlocks(std::uint32_t state[8],
                                                       const unsigned char* data,
                                                       std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);                // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);          // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH

    for (; count > 0; --count, data += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i w[4];  // the message words of the last four groups, w[i % 4]
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            __m128i words;
            if (i < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            } else {
                // w[t-16] + s0(w[t-15]), then + w[t-7], then + s1(w[t-2]).
                words = _mm_sha256msg1_epu32(w[i % 4], w[(i + 1) % 4]);
                words = _mm_add_epi32(words, _mm_alignr_epi8(w[(i + 3) % 4], w[(i + 2) % 4], 4));
                words = _mm_sha256msg2_epu32(words, w[(i + 3) % 4]);
            }
            w[i % 4] = words;
            __m128i msg = _mm_add_epi32(
                words, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * i])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

// Asked of the processor itself (clang before 16 knows no "sha" for
// __builtin_cpu_supports): leaf 7 EBX bit 29 is SHA, leaf 1 ECX bit 19 SSE4.1.
bool HasShaExtensions() {
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & (1u << 19))) return false;
        if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
        return (ebx & (1u << 29)) != 0;
    }();
    return has;
}

#else

void ShaNiBlocks(std::uint32_t state[8], const unsigned char* data, std::size_t count) {
    PortableBlocks(state, data, count);
}

bool HasShaExtensions() {
    return false;
}

#endif

}  // namespace

TSha256::TSha256() : fast_(Accelerated()) {
    std::memcpy(state_, kInitial, sizeof state_);
}

bool TSha256::Accelerated() {
    return !g_forcePortable && HasShaExtensions();
}

void TSha256::ForcePortable(bool on) {
    g_forcePortable = on;
}

void TSha256::Blocks(const unsigned char* data, std::size_t count) {
    if (fast_) {
        ShaNiBlocks(state_, data, count);
    } else {
        PortableBlocks(state_, data, count);
    }
}

void TSha256::Update(const void* data, std::size_t size) {
    if (size == 0) return;
    auto* in = static_cast<const unsigned char*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, in, take);
        pendingSize_ += take;
        in += take;
        size -= take;
        if (pendingSize_ < sizeof pending_) return;
        Blocks(pending_, 1);
        pendingSize_ = 0;
    }
    Blocks(in, size / 64);
    in += size / 64 * 64;
    size %= 64;
    std::memcpy(pending_, in, size);
    pendingSize_ = size;
}

TDigest TSha256::Final() {
    const std::uint64_t bits = total_ * 8;
    unsigned char tail[128] = {};
    std::memcpy(tail, pending_, pendingSize_);
    tail[pendingSize_] = 0x80;
    const std::size_t length = pendingSize_ + 9 <= 64 ? 64 : 128;
    for (int i = 0; i < 8; ++i) tail[length - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    Blocks(tail, length / 64);
    TDigest digest;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (24 - 8 * j));
        }
    }
    pendingSize_ = 0;
    return digest;
}

TDigest TSha256::Of(std::string_view bytes) {
    TSha256 sha;
    sha.Update(bytes);
    return sha.Final();
}

}  // namespace dorvanta
