#include "store/PdtWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <sodium.h>

#include "store/ByteSink.h"
#include "store/Cp1252.h"
#include "store/Document.h"
#include "store/PdtFormat.h"
#include "store/VectorState.h"

namespace dorvanta {
namespace {

using namespace pdt;

// The file's bytes while they are written: room is made ahead in small steps
// and filled through a pointer; what is complete goes on to the sink in pieces of
// about kStep bytes. The buffer is wiped at the end: it held plain texts.
class TOutput {
  public:
    explicit TOutput(TByteSink& sink) : sink_(sink) { bytes_.resize(2 * kStep); }
    ~TOutput() { sodium_memzero(bytes_.data(), bytes_.size()); }
    TOutput(const TOutput&) = delete;
    TOutput& operator=(const TOutput&) = delete;

    // Room for n bytes at the end; Advance tells how many were written there.
    char* Room(std::size_t n) {
        if (used_ >= kStep) Flush();
        if (n > bytes_.size() - used_) {
            // A long text: the buffer grows for it (wiping what it leaves).
            std::string larger(used_ + n, '\0');
            std::memcpy(larger.data(), bytes_.data(), used_);
            sodium_memzero(bytes_.data(), bytes_.size());
            bytes_.swap(larger);
        }
        return bytes_.data() + used_;
    }
    void Advance(std::size_t n) { used_ += n; }

    void Flush() {
        if (used_ > 0) sink_.Write(bytes_.data(), used_);
        used_ = 0;
    }

  private:
    static constexpr std::size_t kStep = 64 * 1024;
    TByteSink& sink_;
    std::string bytes_;
    std::size_t used_ = 0;
};

void WriteUInt32(char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A text as the file holds it, scrambled on the way when asked: UTF-8 when a
// byte (after scrambling) is not ASCII, else a short or a long string. The UTF-8
// goes straight to the output; a text that turns out to be ASCII moves to its
// place behind the shorter tag.
void PutText(TOutput& out, const std::string& text, bool scramble) {
    const std::size_t n = text.size();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    char* const head = out.Room(5 + 3 * n + 1);  // one more for the last four-byte store
    char* o = head + 5;
    // The scramble adds n + 3j + 1 to byte j.
    auto add = static_cast<unsigned char>(scramble ? n + 1 : 0);
    const unsigned char step = scramble ? 3 : 0;
    unsigned high = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const auto byte = static_cast<unsigned char>(in[j] + add);
        add = static_cast<unsigned char>(add + step);
        high |= byte;
        const TUtf8OfByte& utf8 = kUtf8OfCp1252[byte];
        std::memcpy(o, &utf8, 4);
        o += utf8.Size;
    }
    if (high >= 0x80) {
        const auto size = static_cast<std::size_t>(o - (head + 5));
        head[0] = static_cast<char>(kUtf8String);
        WriteUInt32(head + 1, static_cast<std::uint32_t>(size));
        out.Advance(5 + size);
    } else if (n <= 255) {
        head[0] = static_cast<char>(kString);
        head[1] = static_cast<char>(n);
        std::memmove(head + 2, head + 5, n);
        // No copy of the text's tail stays behind its end: the plain bytes of an
        // encrypted file are wiped up to their end only.
        std::memset(head + 2 + n, 0, 3);
        out.Advance(2 + n);
    } else {
        head[0] = static_cast<char>(kLString);
        WriteUInt32(head + 1, static_cast<std::uint32_t>(n));
        out.Advance(5 + n);
    }
}

void PutMarker(TOutput& out, Marker m) {
    char* at = out.Room(2);
    at[0] = static_cast<char>(kInt8);
    at[1] = static_cast<char>(m);
    out.Advance(2);
}

void PutDate(TOutput& out, double date) {
    std::uint64_t bits;
    std::memcpy(&bits, &date, sizeof bits);
    char* at = out.Room(9);
    at[0] = static_cast<char>(kDate);
    for (int i = 0; i < 8; ++i) at[1 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    out.Advance(9);
}

void PutTag(TOutput& out, Tag tag) {
    *out.Room(1) = static_cast<char>(tag);
    out.Advance(1);
}

}  // namespace

std::string ScrambleText(const std::string& text) {
    const std::size_t n = text.size();
    std::string out(n, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    auto add = static_cast<unsigned char>(n + 1);  // n + 3j + 1 for byte j
    for (std::size_t j = 0; j < n; ++j) {
        bytes[j] = static_cast<unsigned char>(in[j] + add);
        add = static_cast<unsigned char>(add + 3);
    }
    return out;
}

void EncodeDocumentTo(const TDocument& doc, TByteSink& sink, bool withPassword) {
    ClearUpperVectorState();
    TOutput out(sink);
    PutTag(out, kListBegin);
    PutText(out, withPassword ? doc.Password : std::string(), true);
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        if (doc.IsGroupStart(static_cast<std::int32_t>(k))) {
            PutMarker(out, kMarkerGroupStart);
            PutText(out, key.Parent, false);
        } else {
            PutMarker(out, kMarkerSameGroup);
        }
        PutText(out, key.Name, true);
        for (const TDataRec& rec : key.Data) {
            PutMarker(out, kMarkerEntry);
            PutText(out, rec.Title, true);
            PutText(out, rec.Value, true);
            PutText(out, rec.Info, true);
            PutDate(out, rec.Date);
        }
    }
    PutTag(out, kEndOfList);
    out.Flush();
}

std::string EncodeDocument(const TDocument& doc) {
    TStringSink sink;
    EncodeDocumentTo(doc, sink);
    return std::move(sink.Bytes);
}

}  // namespace dorvanta
