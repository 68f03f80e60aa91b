#include "store/PdtWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sodium.h>

#include "store/Cp1252.h"
#include "store/Document.h"
#include "store/PdtFormat.h"
#include "store/VectorState.h"

namespace dorvanta {
namespace {

using namespace pdt;

// The file's bytes while they are written: room is made ahead in small steps
// (within the capacity reserved at the start) and filled through a pointer.
class TOutput {
  public:
    explicit TOutput(std::size_t expected) { bytes_.reserve(expected); }

    // Room for n bytes at the end; Advance tells how many were written there.
    char* Room(std::size_t n) {
        if (n > bytes_.size() - used_) bytes_.resize(used_ + std::max(n, kStep));
        return bytes_.data() + used_;
    }
    void Advance(std::size_t n) { used_ += n; }

    std::string Finish() {
        bytes_.resize(used_);
        return std::move(bytes_);
    }

  private:
    static constexpr std::size_t kStep = 64 * 1024;
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

// Room reserved once from the texts: markers, tags and lengths add at most 6
// bytes per text and 11 per record, and a scrambled text written as UTF-8
// takes about one and a half times its bytes (twice at most in practice;
// more only makes the output grow once).
std::size_t ExpectedSize(const TDocument& doc) {
    std::size_t size = 64 + doc.Password.size() * 3;
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        // A parent is written once per group, not once per key.
        const bool start = doc.IsGroupStart(static_cast<std::int32_t>(k));
        size += 32 + ((start ? key.Parent.size() : 0) + key.Name.size()) * 2;
        for (const TDataRec& rec : key.Data) {
            size += 40 + (rec.Title.size() + rec.Value.size() + rec.Info.size()) * 2;
        }
    }
    return size;
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

std::string EncodeDocument(const TDocument& doc) {
    ClearUpperVectorState();
    TOutput out(ExpectedSize(doc));
    PutTag(out, kListBegin);
    if (doc.Format == TDocument::TFormat::Encrypted) {
        // The collection inside an age file holds its passphrase as a plain file's
        // password where one can (it opens as such once age has decrypted it), else
        // none: the encryption around it is its protection.
        auto password = PasswordForFormat(doc.Password, doc.Format, TDocument::TFormat::Plain)
                            .value_or(std::string());
        PutText(out, password, true);
        sodium_memzero(password.data(), password.size());
    } else {
        PutText(out, doc.Password, true);
    }
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
    return out.Finish();
}

}  // namespace dorvanta
