#include "store/AgeFile.h"

#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>

#include "store/ContentDigest.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta::age {
namespace {

constexpr std::string_view kScryptLabel = "age-encryption.org/v1/scrypt";
constexpr std::size_t kTagSize = 16;
constexpr std::size_t kNonceSize = 16;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kWrappedKeySize = kFileKeySize + kTagSize;
constexpr std::size_t kEncryptedChunkSize = kChunkSize + kTagSize;
constexpr std::size_t kBodyColumns = 64;
// No recipient stanza of any current kind comes near these; a longer line or
// header is refused before it is held in memory.
constexpr std::size_t kMaxLineLength = 4096;
constexpr std::size_t kMaxHeaderLength = 64 * 1024;

[[noreturn]] void Fail(Failure kind, const std::string& message = kMsgDamaged) {
    throw EAgeError(kind, message);
}

void InitSodium() {
    if (sodium_init() < 0) throw std::bad_alloc();
}

const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

bool IsBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

std::string Base64(const unsigned char* data, std::size_t n) {
    constexpr int kVariant = sodium_base64_VARIANT_ORIGINAL_NO_PADDING;
    std::string out(sodium_base64_ENCODED_LEN(n, kVariant), '\0');
    sodium_bin2base64(out.data(), out.size(), data, n, kVariant);
    out.resize(out.size() - 1);  // the terminating zero
    return out;
}

// Canonical unpadded base64 only (no padding, no stray bits, nothing ignored).
bool DecodeBase64(std::string_view text, std::string& out) {
    for (char c : text) {
        if (!IsBase64Char(c)) return false;
    }
    out.assign(text.size() * 3 / 4 + 1, '\0');
    std::size_t n = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                          text.size(), nullptr, &n, nullptr,
                          sodium_base64_VARIANT_ORIGINAL_NO_PADDING) != 0) {
        return false;
    }
    out.resize(n);
    // Re-encoding must give the same text: rejects leftover bits and a final
    // group of a single character.
    return Base64(Bytes(out), out.size()) == text;
}

// HKDF-SHA-256 with 32 bytes of output (one block of the expansion).
void Hkdf(const unsigned char* salt, std::size_t saltLen, const unsigned char* ikm,
          std::size_t ikmLen, std::string_view info, unsigned char out[32]) {
    // An empty salt is the hash length of zeros; HMAC pads a short key with
    // zeros, so both give the same key.
    static const unsigned char kZeros[32] = {};
    if (saltLen == 0) {
        salt = kZeros;
        saltLen = sizeof kZeros;
    }
    unsigned char prk[32];
    crypto_auth_hmacsha256_state st;
    crypto_auth_hmacsha256_init(&st, salt, saltLen);
    crypto_auth_hmacsha256_update(&st, ikm, ikmLen);
    crypto_auth_hmacsha256_final(&st, prk);
    const unsigned char one = 1;
    crypto_auth_hmacsha256_init(&st, prk, sizeof prk);
    crypto_auth_hmacsha256_update(&st, Bytes(info), info.size());
    crypto_auth_hmacsha256_update(&st, &one, 1);
    crypto_auth_hmacsha256_final(&st, out);
    sodium_memzero(prk, sizeof prk);
    sodium_memzero(&st, sizeof st);
}

void HeaderMac(std::string_view macInput, const unsigned char fileKey[kFileKeySize],
               unsigned char mac[32]) {
    unsigned char key[32];
    Hkdf(nullptr, 0, fileKey, kFileKeySize, "header", key);
    crypto_auth_hmacsha256_state st;
    crypto_auth_hmacsha256_init(&st, key, sizeof key);
    crypto_auth_hmacsha256_update(&st, Bytes(macInput), macInput.size());
    crypto_auth_hmacsha256_final(&st, mac);
    sodium_memzero(key, sizeof key);
    sodium_memzero(&st, sizeof st);
}

// The key that wraps the file key: scrypt(N = 2^workFactor, r = 8, p = 1).
void ScryptKey(std::string_view passphrase, std::string_view salt, int workFactor,
               unsigned char key[32]) {
    std::string fullSalt(kScryptLabel);
    fullSalt.append(salt);
    if (crypto_pwhash_scryptsalsa208sha256_ll(Bytes(passphrase), passphrase.size(),
                                              Bytes(fullSalt), fullSalt.size(),
                                              std::uint64_t{1} << workFactor, 8, 1, key, 32) != 0) {
        // The only way it fails with valid parameters is its memory.
        throw std::bad_alloc();
    }
}

// The STREAM nonce: 11-byte big-endian chunk counter, then the last-chunk flag.
void ChunkNonce(std::uint64_t counter, bool last, unsigned char nonce[12]) {
    std::memset(nonce, 0, 12);
    for (int i = 10; i >= 3; --i) {
        nonce[i] = static_cast<unsigned char>(counter & 0xFF);
        counter >>= 8;
    }
    nonce[11] = last ? 1 : 0;
}

// Reads exactly n bytes unless the source ends first; returns how many it got.
std::size_t ReadFull(TSource& source, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::size_t r = source.Read(buf + got, n - got);
        if (r == 0) break;
        got += r;
    }
    return got;
}

// One header line without its line feed; Header when the source ends first or
// the line is longer than the format allows anywhere.
std::string ReadLine(TSource& source, std::uint64_t& headerLength) {
    std::string line;
    char c;
    for (;;) {
        if (source.Read(&c, 1) != 1) Fail(Failure::Header);
        if (++headerLength > kMaxHeaderLength) Fail(Failure::Header);
        if (c == '\n') return line;
        if (line.size() >= kMaxLineLength) Fail(Failure::Header);
        line += c;
    }
}

// Arguments are non-empty runs of visible ASCII, one space apart.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> args;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = text.find(' ', start);
        const std::string_view arg =
            text.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
        if (arg.empty()) Fail(Failure::Header);
        for (char c : arg) {
            if (c < 33 || c > 126) Fail(Failure::Header);
        }
        args.emplace_back(arg);
        if (space == std::string_view::npos) return args;
        start = space + 1;
    }
}

}  // namespace

std::size_t TMemorySource::Read(char* buf, std::size_t n) {
    const std::size_t k = std::min(n, bytes_.size() - pos_);
    std::memcpy(buf, bytes_.data() + pos_, k);
    pos_ += k;
    return k;
}

std::size_t TFdSource::Read(char* buf, std::size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd_, buf, n);
        if (r >= 0) {
            if (digest_) digest_->Update(buf, static_cast<std::size_t>(r));
            return static_cast<std::size_t>(r);
        }
        if (errno != EINTR) throw EStoreError(kMsgReadError);
    }
}

bool IsEncrypted(std::string_view firstBytes) {
    return firstBytes.size() > kIntro.size() && firstBytes.substr(0, kIntro.size()) == kIntro &&
           firstBytes[kIntro.size()] == '\n';
}

THeader ReadHeader(TSource& source) {
    THeader header;
    std::uint64_t length = 0;
    if (ReadLine(source, length) != kIntro) Fail(Failure::Header);
    header.MacInput.append(kIntro).append("\n");
    for (;;) {
        const std::string line = ReadLine(source, length);
        if (line.starts_with("---")) {
            std::string mac;
            if (!line.starts_with("--- ") || !DecodeBase64(std::string_view(line).substr(4), mac) ||
                mac.size() != sizeof header.Mac) {
                Fail(Failure::Header);
            }
            std::memcpy(header.Mac, mac.data(), sizeof header.Mac);
            header.MacInput.append("---");
            header.Length = length;
            return header;
        }
        if (!line.starts_with("-> ")) Fail(Failure::Header);
        std::vector<std::string> args = SplitArguments(std::string_view(line).substr(3));
        header.MacInput.append(line).append("\n");
        // The body: full lines of 64 columns, ended by a shorter (maybe empty) one.
        std::string body;
        for (;;) {
            const std::string bodyLine = ReadLine(source, length);
            if (bodyLine.size() > kBodyColumns) Fail(Failure::Header);
            header.MacInput.append(bodyLine).append("\n");
            body += bodyLine;
            if (bodyLine.size() < kBodyColumns) break;
        }
        TStanza stanza;
        if (!DecodeBase64(body, stanza.Body)) Fail(Failure::Header);
        stanza.Type = std::move(args.front());
        args.erase(args.begin());
        stanza.Args = std::move(args);
        header.Stanzas.push_back(std::move(stanza));
    }
}

int CheckPassphraseHeader(const THeader& header, int maxWorkFactor) {
    bool anyScrypt = false;
    for (const TStanza& s : header.Stanzas) anyScrypt = anyScrypt || s.Type == "scrypt";
    if (header.Stanzas.empty()) Fail(Failure::Header);
    if (anyScrypt && header.Stanzas.size() > 1) Fail(Failure::Header, kMsgSeveralStanzas);
    if (!anyScrypt) {
        // No passphrase can open it: for the format that is "no identity matched".
        std::string type = header.Stanzas.front().Type.substr(0, 40);
        Fail(Failure::NoMatch, FormatMessage(kMsgNotPassphrase, {"%s", type}));
    }
    const TStanza& s = header.Stanzas.front();
    std::string salt;
    if (s.Args.size() != 2 || !DecodeBase64(s.Args[0], salt) || salt.size() != kSaltSize ||
        s.Body.size() != kWrappedKeySize) {
        Fail(Failure::Header);
    }
    // Decimal without sign or leading zero.
    const std::string& wf = s.Args[1];
    if (wf.empty() || wf[0] == '0') Fail(Failure::Header);
    for (char c : wf) {
        if (c < '0' || c > '9') Fail(Failure::Header);
    }
    int factor = 0;
    const auto [end, ec] = std::from_chars(wf.data(), wf.data() + wf.size(), factor);
    if (ec != std::errc() || end != wf.data() + wf.size() || factor > maxWorkFactor) {
        const std::string shown = wf.size() > 12 ? wf.substr(0, 12) + "…" : wf;
        Fail(Failure::Header, FormatMessage(kMsgWorkFactorTooHigh,
                                            {"%s", shown, std::to_string(maxWorkFactor)}));
    }
    return factor;
}

void UnwrapFileKey(const THeader& header, std::string_view passphrase,
                   unsigned char fileKey[kFileKeySize]) {
    InitSodium();
    const int factor = CheckPassphraseHeader(header, kMaxWorkFactor);
    const TStanza& s = header.Stanzas.front();
    std::string salt;
    DecodeBase64(s.Args[0], salt);
    unsigned char key[32];
    ScryptKey(passphrase, salt, factor, key);
    static const unsigned char kZeroNonce[12] = {};
    unsigned long long n = 0;
    const int rc = crypto_aead_chacha20poly1305_ietf_decrypt(
        fileKey, &n, nullptr, Bytes(s.Body), s.Body.size(), nullptr, 0, kZeroNonce, key);
    sodium_memzero(key, sizeof key);
    if (rc != 0) {
        sodium_memzero(fileKey, kFileKeySize);
        Fail(Failure::NoMatch);
    }
}

void VerifyHeaderMac(const THeader& header, const unsigned char fileKey[kFileKeySize]) {
    InitSodium();
    unsigned char mac[32];
    HeaderMac(header.MacInput, fileKey, mac);
    const bool ok = sodium_memcmp(mac, header.Mac, sizeof mac) == 0;
    sodium_memzero(mac, sizeof mac);
    if (!ok) Fail(Failure::Hmac);
}

TDecryptingSource::TDecryptingSource(TSource& source, const THeader& header,
                                     const unsigned char fileKey[kFileKeySize],
                                     std::string* buffer)
    : source_(source), chunk_(buffer ? *buffer : ownChunk_) {
    InitSodium();
    unsigned char nonce[kNonceSize];
    if (ReadFull(source, reinterpret_cast<char*>(nonce), kNonceSize) != kNonceSize) {
        Fail(Failure::Header);
    }
    const std::uint64_t total = source.Size();
    if (total < header.Length + kNonceSize) Fail(Failure::Header);
    // The chunks' layout follows from the length alone: every chunk but the last
    // is full, and the last holds at least its tag.
    const std::uint64_t rest = total - header.Length - kNonceSize;
    if (rest == 0) Fail(Failure::Payload);
    chunks_ = (rest + kEncryptedChunkSize - 1) / kEncryptedChunkSize;
    lastLength_ = rest - (chunks_ - 1) * kEncryptedChunkSize;
    // An empty last chunk is allowed only as the whole of an empty payload.
    if (lastLength_ < kTagSize || (lastLength_ == kTagSize && chunks_ > 1)) Fail(Failure::Payload);
    plainSize_ = rest - chunks_ * kTagSize;
    Hkdf(nonce, kNonceSize, fileKey, kFileKeySize, "payload", key_);
    chunk_.assign(kEncryptedChunkSize, '\0');
}

TDecryptingSource::~TDecryptingSource() {
    sodium_memzero(key_, sizeof key_);
    sodium_memzero(chunk_.data(), chunk_.size());
}

void TDecryptingSource::NextChunk() {
    const bool last = next_ + 1 == chunks_;
    const std::size_t length = last ? static_cast<std::size_t>(lastLength_) : kEncryptedChunkSize;
    // Short: the file shrank while it was read.
    if (ReadFull(source_, chunk_.data(), length) != length) Fail(Failure::Payload);
    unsigned char chunkNonce[12];
    ChunkNonce(next_, last, chunkNonce);
    auto* buf = reinterpret_cast<unsigned char*>(chunk_.data());
    unsigned long long n = 0;
    if (crypto_aead_chacha20poly1305_ietf_decrypt(buf, &n, nullptr, buf, length, nullptr, 0,
                                                  chunkNonce, key_) != 0) {
        Fail(Failure::Payload);
    }
    ++next_;
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
}

std::size_t TDecryptingSource::Read(char* buf, std::size_t n) {
    while (pos_ == end_) {
        if (next_ == chunks_) return 0;
        NextChunk();
    }
    const std::size_t k = std::min(n, end_ - pos_);
    std::memcpy(buf, chunk_.data() + pos_, k);
    pos_ += k;
    return k;
}

void TDecryptingSource::Finish() {
    while (next_ < chunks_) NextChunk();
    pos_ = end_;
    char extra;
    // The file grew while it was read.
    if (source_.Read(&extra, 1) != 0) Fail(Failure::Payload);
}

void DecryptPayload(TSource& source, const THeader& header,
                    const unsigned char fileKey[kFileKeySize], std::string& out) {
    Wipe(out);
    TDecryptingSource plain(source, header, fileKey);
    // The last piece copied stays on the stack however the reading ends.
    char piece[4096];
    try {
        while (const std::size_t n = plain.Read(piece, sizeof piece)) {
            // Room for the whole plaintext once the first chunk proved the file
            // genuine: a forged length costs nothing, and the text is never moved.
            if (out.empty()) out.reserve(static_cast<std::size_t>(plain.Size()));
            out.append(piece, n);
        }
        sodium_memzero(piece, sizeof piece);
        plain.Finish();
    } catch (...) {
        sodium_memzero(piece, sizeof piece);
        Wipe(out);
        throw;
    }
}

void Decrypt(TSource& source, std::string_view passphrase, std::string& plaintext,
             int maxWorkFactor) {
    const THeader header = ReadHeader(source);
    CheckPassphraseHeader(header, maxWorkFactor);
    unsigned char fileKey[kFileKeySize];
    UnwrapFileKey(header, passphrase, fileKey);
    try {
        VerifyHeaderMac(header, fileKey);
        DecryptPayload(source, header, fileKey, plaintext);
    } catch (...) {
        sodium_memzero(fileKey, sizeof fileKey);
        throw;
    }
    sodium_memzero(fileKey, sizeof fileKey);
}

TEncryptingSink::TEncryptingSink(std::string_view passphrase, int workFactor, TByteSink& out)
    : out_(out) {
    if (passphrase.empty() || workFactor < 1 || workFactor > kMaxWorkFactor) {
        throw std::invalid_argument("age::Encrypt: empty passphrase or work factor out of range");
    }
    InitSodium();
    unsigned char fileKey[kFileKeySize];
    unsigned char salt[kSaltSize];
    randombytes_buf(fileKey, sizeof fileKey);
    randombytes_buf(salt, sizeof salt);

    ScryptKey(passphrase, std::string_view(reinterpret_cast<const char*>(salt), sizeof salt),
              workFactor, key_);
    static const unsigned char kZeroNonce[12] = {};
    unsigned char wrapped[kWrappedKeySize];
    crypto_aead_chacha20poly1305_ietf_encrypt(wrapped, nullptr, fileKey, sizeof fileKey, nullptr, 0,
                                              nullptr, kZeroNonce, key_);

    std::string header;
    header.append(kIntro).append("\n-> scrypt ").append(Base64(salt, sizeof salt));
    header.append(" ").append(std::to_string(workFactor)).append("\n");
    header.append(Base64(wrapped, sizeof wrapped)).append("\n---");
    unsigned char mac[32];
    HeaderMac(header, fileKey, mac);
    header.append(" ").append(Base64(mac, sizeof mac)).append("\n");

    unsigned char nonce[kNonceSize];
    randombytes_buf(nonce, sizeof nonce);
    header.append(reinterpret_cast<const char*>(nonce), sizeof nonce);
    Hkdf(nonce, sizeof nonce, fileKey, sizeof fileKey, "payload", key_);
    sodium_memzero(fileKey, sizeof fileKey);
    plain_.reserve(kChunkSize);
    sealed_.resize(kEncryptedChunkSize);
    out_.Write(header.data(), header.size());
}

TEncryptingSink::~TEncryptingSink() {
    sodium_memzero(key_, sizeof key_);
    Wipe(plain_);
}

void TEncryptingSink::Seal(bool last) {
    unsigned char chunkNonce[12];
    ChunkNonce(counter_++, last, chunkNonce);
    crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed_.data()),
                                              nullptr, Bytes(plain_), plain_.size(), nullptr, 0,
                                              nullptr, chunkNonce, key_);
    out_.Write(sealed_.data(), plain_.size() + kTagSize);
    sodium_memzero(plain_.data(), plain_.size());
    plain_.clear();
}

void TEncryptingSink::Write(const char* data, std::size_t size) {
    while (size > 0) {
        // A full chunk is sealed only once more follows: the last one is flagged.
        if (plain_.size() == kChunkSize) Seal(false);
        const std::size_t k = std::min(size, kChunkSize - plain_.size());
        plain_.append(data, k);
        data += k;
        size -= k;
    }
}

void TEncryptingSink::Finish() {
    Seal(true);
}

std::string Encrypt(std::string_view plaintext, std::string_view passphrase, int workFactor) {
    TStringSink out;
    TEncryptingSink sink(passphrase, workFactor, out);
    out.Bytes.reserve(plaintext.size() + plaintext.size() / kChunkSize * kTagSize + 256);
    sink.Write(plaintext.data(), plaintext.size());
    sink.Finish();
    return std::move(out.Bytes);
}

void Wipe(std::string& secret) {
    // The spare capacity too: a text that shrank leaves its former tail there.
    sodium_memzero(secret.data(), secret.capacity());
    secret.clear();
}

}  // namespace dorvanta::age
