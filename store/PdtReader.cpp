#include "store/PdtReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sodium.h>

#include "store/AgeFile.h"
#include "store/ContentDigest.h"
#include "store/Cp1252.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta::pdt {
namespace {

// What the buffer of a file holds at a time; longer texts go straight into their string.
constexpr std::size_t kChunk = 64 * 1024;

// Texts up to this size in UTF-8 are decoded on the stack.
constexpr std::size_t kShortText = 1024;

// Decodes a text's stored UTF-8 in place. A cut-off sequence or a lead byte
// without its continuation bytes empties the whole text.
void Decode(std::string& text) {
    const auto size = StoredUtf8ToCp1252(text.data(), text.size(), text.data());
    if (size) {
        text.resize(*size);
    } else {
        text = std::string();
    }
}

std::string DecodeUtf16(const char* data, std::size_t units) {
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u =
            static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                  (static_cast<unsigned char>(data[2 * i + 1]) << 8));
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char16_t low =
                static_cast<char16_t>(static_cast<unsigned char>(data[2 * i + 2]) |
                                      (static_cast<unsigned char>(data[2 * i + 3]) << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) ++i;  // one character beyond the code page
            out += '?';
            continue;
        }
        const auto byte = CodePointToCp1252(u);
        out += byte ? static_cast<char>(*byte) : '?';
    }
    return out;
}

}  // namespace

void ReadError() {
    throw EStoreError(kMsgReadError);
}

void BadValue() {
    throw EStoreError(kMsgBadValue);
}

TPdtReader::TPdtReader(std::string_view bytes)
    : cur_(bytes.data()), end_(bytes.data() + bytes.size()) {}

TPdtReader::TPdtReader(int fd, std::uint64_t size, TContentDigest* digest)
    : unread_(size), fd_(fd), digest_(digest) {}

TPdtReader::TPdtReader(age::TSource& source) : unread_(source.Size()), source_(&source) {}

TPdtReader::~TPdtReader() {
    if (source_ && !buffer_.empty()) sodium_memzero(buffer_.data(), buffer_.size());
}

std::size_t TPdtReader::ReadSome(char* into, std::size_t n) {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, unread_));
    for (;;) {
        const ssize_t got = source_ ? static_cast<ssize_t>(source_->Read(into, n))
                                    : ::read(fd_, into, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) ReadError();  // failed, or the file has become shorter
        if (digest_) digest_->Update(into, static_cast<std::size_t>(got));
        unread_ -= static_cast<std::uint64_t>(got);
        return static_cast<std::size_t>(got);
    }
}

unsigned char TPdtReader::PeekTag() {
    if (cur_ == end_) Fill(1);
    return static_cast<unsigned char>(*cur_);
}

std::string TPdtReader::String() {
    const unsigned char tag = Tag();
    switch (tag) {
        case kString:
            return TakeText(Byte());
        case kLString:
            return TakeText(UInt32());
        case kUtf8String: {
            // The UTF-8 length bounds the decoded one. A usual text is decoded
            // into a buffer here and then held at its exact size (a string of the
            // UTF-8 size would hold room for a third more, and on the heap where
            // the text itself fits inside the string); a long one in place, in
            // the string it was read into.
            const std::size_t n = UInt32();
            if (n <= kShortText && n <= static_cast<std::size_t>(end_ - cur_)) {
                char decoded[kShortText];
                const auto size = StoredUtf8ToCp1252(Take(n), n, decoded);
                return size ? std::string(decoded, *size) : std::string();
            }
            std::string text = TakeText(n);
            Decode(text);
            return text;
        }
        case kWString: {
            const std::size_t units = UInt32();
            if (2 * units <= static_cast<std::size_t>(end_ - cur_)) {
                return DecodeUtf16(Take(2 * units), units);
            }
            const std::string raw = TakeText(2 * static_cast<std::uint64_t>(units));
            return DecodeUtf16(raw.data(), units);
        }
        default:
            BadValue();
    }
}

double TPdtReader::Date() {
    const unsigned char tag = Tag();
    if (tag != kDate) return static_cast<double>(IntegerOfTag(tag));
    const char* p = Take(8);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(p[i]);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

std::int32_t TPdtReader::IntegerOfTag(unsigned char tag) {
    switch (tag) {
        case kInt8:
            return static_cast<std::int8_t>(Byte());
        case kInt16: {
            const char* p = Take(2);
            return static_cast<std::int16_t>(static_cast<unsigned char>(p[0]) |
                                             (static_cast<unsigned char>(p[1]) << 8));
        }
        case kInt32:
            return static_cast<std::int32_t>(UInt32());
        default:
            BadValue();
    }
}

std::uint32_t TPdtReader::UInt32() {
    const char* p = Take(4);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

void TPdtReader::Fill(std::size_t n) {
    if (n > Remaining()) ReadError();  // bytes in memory never get here: all are buffered
    const auto have = static_cast<std::size_t>(end_ - cur_);
    const std::size_t want = std::max(n, kChunk);
    if (buffer_.size() < want) {
        std::vector<char> larger(want);
        std::copy(cur_, end_, larger.begin());
        if (source_ && !buffer_.empty()) sodium_memzero(buffer_.data(), buffer_.size());
        buffer_.swap(larger);
    } else {
        std::memmove(buffer_.data(), cur_, have);
    }
    std::size_t filled = have;
    while (filled < n) filled += ReadSome(buffer_.data() + filled, buffer_.size() - filled);
    cur_ = buffer_.data();
    end_ = cur_ + filled;
}

std::string TPdtReader::TakeText(std::uint64_t n) {
    if (n > Remaining()) ReadError();
    const auto have = static_cast<std::size_t>(end_ - cur_);
    if (n <= have || n <= kChunk) {
        const auto size = static_cast<std::size_t>(n);
        return std::string(Take(size), size);
    }
    std::string text(static_cast<std::size_t>(n), '\0');
    std::copy(cur_, end_, text.begin());
    cur_ = end_;
    for (std::size_t filled = have; filled < text.size();) {
        filled += ReadSome(text.data() + filled, text.size() - filled);
    }
    return text;
}

}  // namespace dorvanta::pdt
