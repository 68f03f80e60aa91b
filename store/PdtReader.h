#pragma once
// The tagged values of a pdt file, read from bytes in memory or straight from an
// open file. Every length is checked against what remains of the input before
// anything is allocated, and a file is read in pieces as its values need them:
// a broken file fails at its first bad byte, and memory follows what was read,
// whatever size the file claims or has.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/PdtFormat.h"

namespace dorvanta {
class TContentDigest;
namespace age {
class TSource;
}
}  // namespace dorvanta

namespace dorvanta::pdt {

// Throw EStoreError with kMsgReadError and kMsgBadValue (store/StoreMessages.h).
[[noreturn]] void ReadError();
[[noreturn]] void BadValue();

class TPdtReader {
  public:
    // Reads `bytes`, which must outlive the reader.
    explicit TPdtReader(std::string_view bytes);
    // Reads the `size` bytes of an open file from its current position; the caller
    // keeps and closes the descriptor. `digest`, when given, digests every byte
    // read from the file, as it arrives.
    TPdtReader(int fd, std::uint64_t size, TContentDigest* digest = nullptr);
    // Reads the Size() bytes of a source (an encrypted file's plaintext, as it is
    // decrypted); its buffer is wiped when the reader ends.
    explicit TPdtReader(age::TSource& source);
    ~TPdtReader();
    TPdtReader(const TPdtReader&) = delete;
    TPdtReader& operator=(const TPdtReader&) = delete;

    unsigned char Tag() { return Byte(); }
    unsigned char PeekTag();
    std::int32_t Integer() { return IntegerOfTag(Tag()); }
    // A text of any string kind, as Windows-1252 bytes.
    std::string String();
    // A date, or an integer taken as whole days.
    double Date();

    // The bytes not yet consumed.
    std::uint64_t Remaining() const { return static_cast<std::uint64_t>(end_ - cur_) + unread_; }

  private:
    std::int32_t IntegerOfTag(unsigned char tag);
    unsigned char Byte() { return static_cast<unsigned char>(*Take(1)); }
    std::uint32_t UInt32();

    // The next n bytes, contiguous; valid until the next read.
    const char* Take(std::size_t n) {
        if (n > static_cast<std::size_t>(end_ - cur_)) Fill(n);
        const char* p = cur_;
        cur_ += n;
        return p;
    }
    // Brings at least n bytes into the buffer (a small n: values are read whole
    // only by TakeText).
    void Fill(std::size_t n);
    // The next n bytes as a string; a long one goes from the file straight into it.
    std::string TakeText(std::uint64_t n);
    // Up to n bytes from the file or the source, digested; fails at their end.
    std::size_t ReadSome(char* into, std::size_t n);

    const char* cur_ = nullptr;  // the buffered bytes not yet consumed
    const char* end_ = nullptr;
    std::uint64_t unread_ = 0;  // bytes of the file not yet in the buffer
    int fd_ = -1;
    age::TSource* source_ = nullptr;
    TContentDigest* digest_ = nullptr;
    std::vector<char> buffer_;
};

}  // namespace dorvanta::pdt
