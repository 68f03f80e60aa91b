#pragma once
// Encrypted collections as standard "age" files (age-encryption.org/v1) with a
// passphrase: one scrypt recipient stanza wraps a random file key; the header is
// authenticated with HMAC-SHA-256; the payload is ChaCha20-Poly1305 in chunks of
// 64 KiB, the last one flagged. Such a file can always be recovered with any age
// implementation (`age -d`), without this program.
//
// The reader trusts nothing: every header line is bounded before it is stored,
// the recipient stanza is checked before the expensive key derivation starts,
// and the payload is decrypted one chunk at a time as its reader asks for it.
// Writing encrypts each chunk as the plaintext arrives.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/ByteSink.h"
#include "store/StoreMessages.h"  // kMsgDamaged and the other refusals

namespace dorvanta {
class TContentDigest;
}

namespace dorvanta::age {

inline constexpr std::string_view kIntro = "age-encryption.org/v1";
// What the format's reference tool writes: about a second and 256 MiB.
inline constexpr int kWriteWorkFactor = 18;
// Larger factors are refused before any work (2^20 already takes 1 GiB).
inline constexpr int kMaxWorkFactor = 20;
inline constexpr std::size_t kFileKeySize = 16;
inline constexpr std::size_t kChunkSize = 64 * 1024;

// How reading failed, in the terms of the format's test vectors.
enum class Failure {
    Header,    // malformed header, or a work factor beyond the limit
    Hmac,      // the header's MAC does not match
    Payload,   // a chunk fails its tag, is missing, short, or follows the last one
    NoMatch,   // the passphrase does not unwrap the file key, or no stanza is scrypt
};

// A refusal. Message() is a German pattern with %s for the file's path.
class EAgeError : public std::runtime_error {
  public:
    EAgeError(Failure kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Failure Kind() const { return kind_; }

  private:
    Failure kind_;
};

// True when the bytes begin with the format's first line ("age-encryption.org/v1"
// and its line feed).
bool IsEncrypted(std::string_view firstBytes);

// Where the encrypted bytes come from: a file read piece by piece, or memory.
class TSource {
  public:
    virtual ~TSource() = default;
    // Up to n bytes into buf; 0 at the end. Throws EStoreError on a read error.
    virtual std::size_t Read(char* buf, std::size_t n) = 0;
    // The total number of bytes the source holds (what the plaintext is sized from).
    virtual std::uint64_t Size() const = 0;
};

class TMemorySource final : public TSource {
  public:
    explicit TMemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t Read(char* buf, std::size_t n) override;
    std::uint64_t Size() const override { return bytes_.size(); }

  private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// A file descriptor read from its current position; `size` as fstat reported it.
// `digest`, when given, digests the encrypted bytes as they are read.
class TFdSource final : public TSource {
  public:
    TFdSource(int fd, std::uint64_t size, TContentDigest* digest = nullptr)
        : fd_(fd), size_(size), digest_(digest) {}
    std::size_t Read(char* buf, std::size_t n) override;
    std::uint64_t Size() const override { return size_; }

  private:
    int fd_;
    std::uint64_t size_;
    TContentDigest* digest_;
};

struct TStanza {
    std::string Type;
    std::vector<std::string> Args;
    std::string Body;  // decoded
};

struct THeader {
    std::vector<TStanza> Stanzas;
    std::string MacInput;  // the header's bytes up to and including "---"
    unsigned char Mac[32] = {};
    std::uint64_t Length = 0;  // bytes of the header, its last line feed included
};

// Reads and checks the header's syntax (Failure::Header). The source is left at
// the payload's nonce.
THeader ReadHeader(TSource& source);

// Throws Failure::Header unless the header is one scrypt stanza with a work
// factor of at most maxWorkFactor; the message then names the reason.
// Returns the work factor.
int CheckPassphraseHeader(const THeader& header, int maxWorkFactor = kMaxWorkFactor);

// Unwraps the file key with the passphrase (the expensive step). NoMatch when the
// passphrase is wrong.
void UnwrapFileKey(const THeader& header, std::string_view passphrase,
                   unsigned char fileKey[kFileKeySize]);

// Throws Failure::Hmac when the header's MAC does not match the file key.
void VerifyHeaderMac(const THeader& header, const unsigned char fileKey[kFileKeySize]);

// The payload's plaintext, read from `source` (left at the payload's nonce) one
// chunk at a time, each authenticated before any of it is handed on. Size() is
// the plaintext's length as the file's length gives it. A chunk that fails, is
// short or missing throws Failure::Payload (a missing nonce Failure::Header); so
// does Finish() when the chunks read so far were not all of them. Its buffers
// are wiped when it ends. `buffer`, when given, is the one the chunks are
// decrypted in (sized and wiped here all the same), so its owner can see that.
class TDecryptingSource final : public TSource {
  public:
    TDecryptingSource(TSource& source, const THeader& header,
                      const unsigned char fileKey[kFileKeySize], std::string* buffer = nullptr);
    ~TDecryptingSource() override;
    TDecryptingSource(const TDecryptingSource&) = delete;
    TDecryptingSource& operator=(const TDecryptingSource&) = delete;
    std::size_t Read(char* buf, std::size_t n) override;
    std::uint64_t Size() const override { return plainSize_; }
    // Reads and authenticates the chunks not yet read, and checks that the file
    // ends with the last one: what was read is then the whole payload.
    void Finish();

  private:
    void NextChunk();

    TSource& source_;
    unsigned char key_[32] = {};
    std::uint64_t chunks_ = 0;
    std::uint64_t next_ = 0;  // the next chunk to decrypt
    std::uint64_t lastLength_ = 0;
    std::uint64_t plainSize_ = 0;
    std::string ownChunk_;
    std::string& chunk_;
    std::size_t pos_ = 0, end_ = 0;  // the decrypted bytes of chunk_ not yet read
};

// Encrypts what is written to it into an age file under the passphrase, which it
// writes to `out`: the header at once (after the slow key derivation), each chunk
// when the next byte after it arrives, and the last one at Finish(). The key and
// the plaintext buffer are wiped when it ends. std::invalid_argument for an empty
// passphrase or a work factor outside 1 to kMaxWorkFactor.
class TEncryptingSink final : public TByteSink {
  public:
    TEncryptingSink(std::string_view passphrase, int workFactor, TByteSink& out);
    ~TEncryptingSink() override;
    TEncryptingSink(const TEncryptingSink&) = delete;
    TEncryptingSink& operator=(const TEncryptingSink&) = delete;
    void Write(const char* data, std::size_t size) override;
    void Finish();

  private:
    void Seal(bool last);

    TByteSink& out_;
    unsigned char key_[32] = {};
    std::uint64_t counter_ = 0;
    std::string plain_;  // the chunk being filled
    std::string sealed_;
};

// Reads nonce and chunks to the end of the source and decrypts them into out
// (replaced; sized once). A missing or short nonce is Failure::Header, anything
// wrong after it Failure::Payload.
void DecryptPayload(TSource& source, const THeader& header,
                    const unsigned char fileKey[kFileKeySize], std::string& out);

// The whole reading: header, stanza check, key, MAC, payload. `plaintext` is
// replaced; the caller wipes it after use.
void Decrypt(TSource& source, std::string_view passphrase, std::string& plaintext,
             int maxWorkFactor = kMaxWorkFactor);

// An age file of the plaintext under the passphrase; std::invalid_argument for an
// empty passphrase or a work factor outside 1 to kMaxWorkFactor.
std::string Encrypt(std::string_view plaintext, std::string_view passphrase,
                    int workFactor = kWriteWorkFactor);

// Overwrites the string's bytes, its spare capacity included, with zeros (and
// then empties it).
void Wipe(std::string& secret);

// Wipes a string whenever the scope is left.
class TWipeGuard {
  public:
    explicit TWipeGuard(std::string& s) : s_(s) {}
    ~TWipeGuard() { Wipe(s_); }
    TWipeGuard(const TWipeGuard&) = delete;
    TWipeGuard& operator=(const TWipeGuard&) = delete;

  private:
    std::string& s_;
};

}  // namespace dorvanta::age
