#include "store/PdtFile.h"

#include <cstdint>
#include <cstring>

#include "store/Cp1252.h"
#include "store/FileIO.h"

namespace dorvanta {
namespace {

enum Tag : unsigned char {
    kEndOfList = 0x00,
    kListBegin = 0x01,
    kInt8 = 0x02,
    kInt16 = 0x03,
    kInt32 = 0x04,
    kString = 0x06,
    kLString = 0x0C,
    kDate = 0x11,
    kWString = 0x12,
    kUtf8String = 0x14,
};

enum Marker : int { kMarkerGroupStart = 0, kMarkerSameGroup = 1, kMarkerEntry = 2 };

[[noreturn]] void ReadError() {
    throw EStoreError(kMsgReadError);
}
[[noreturn]] void BadValue() {
    throw EStoreError(kMsgBadValue);
}

// ---- writing ----

void PutUInt32(std::string& out, std::uint32_t v) {
    char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    out.append(bytes, 4);
}

void PutString(std::string& out, const std::string& text) {
    bool high = false;
    for (unsigned char c : text) high = high || c >= 0x80;
    if (high) {
        const std::string utf8 = Cp1252ToUtf8(text);
        out += static_cast<char>(kUtf8String);
        PutUInt32(out, static_cast<std::uint32_t>(utf8.size()));
        out += utf8;
    } else if (text.size() <= 255) {
        out += static_cast<char>(kString);
        out += static_cast<char>(text.size());
        out += text;
    } else {
        out += static_cast<char>(kLString);
        PutUInt32(out, static_cast<std::uint32_t>(text.size()));
        out += text;
    }
}

void PutMarker(std::string& out, Marker m) {
    out += static_cast<char>(kInt8);
    out += static_cast<char>(m);
}

void PutDate(std::string& out, double date) {
    std::uint64_t bits;
    std::memcpy(&bits, &date, sizeof bits);
    char bytes[9];
    bytes[0] = static_cast<char>(kDate);
    for (int i = 0; i < 8; ++i) bytes[1 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    out.append(bytes, 9);
}

// ---- reading ----

// UTF-8 to Windows-1252 as stored strings need it: a cut-off sequence or a lead
// byte without its continuation bytes empties the whole text; characters the
// code page cannot hold, and stray bytes, become '?'.
std::string DecodeStoredUtf8(const char* data, std::size_t size) {
    std::string out;
    out.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(data[i]);
        std::size_t len;
        char32_t cp;
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            len = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            len = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            len = 4;
            cp = lead & 0x07;
        } else {
            out += '?';
            ++i;
            continue;
        }
        if (i + len > size) return {};
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(data[i + k]);
            if ((c & 0xC0) != 0x80) return {};
            cp = (cp << 6) | (c & 0x3F);
        }
        const auto byte = CodePointToCp1252(cp);
        out += byte ? static_cast<char>(*byte) : '?';
        i += len;
    }
    return out;
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

class Reader {
  public:
    explicit Reader(const std::string& bytes) : data_(bytes.data()), size_(bytes.size()) {}

    unsigned char Tag() { return Byte(); }
    unsigned char PeekTag() {
        if (pos_ >= size_) ReadError();
        return static_cast<unsigned char>(data_[pos_]);
    }

    std::int32_t Integer() { return IntegerOfTag(Tag()); }

    std::string String() {
        const unsigned char tag = Tag();
        std::size_t n;
        switch (tag) {
            case kString:
                n = Byte();
                return std::string(Take(n), n);
            case kLString:
                n = UInt32();
                return std::string(Take(n), n);
            case kUtf8String:
                n = UInt32();
                return DecodeStoredUtf8(Take(n), n);
            case kWString:
                n = UInt32();
                return DecodeUtf16(Take(2 * n), n);
            default:
                BadValue();
        }
    }

    double Date() {
        const unsigned char tag = Tag();
        if (tag != kDate) return static_cast<double>(IntegerOfTag(tag));
        const char* p = Take(8);
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(p[i]);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

  private:
    std::int32_t IntegerOfTag(unsigned char tag) {
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

    unsigned char Byte() { return static_cast<unsigned char>(*Take(1)); }

    std::uint32_t UInt32() {
        const char* p = Take(4);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
        return v;
    }

    // Every length is checked against what remains before anything is allocated.
    const char* Take(std::size_t n) {
        if (n > size_ - pos_) ReadError();
        const char* p = data_ + pos_;
        pos_ += n;
        return p;
    }

    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string ScrambleText(const std::string& text) {
    std::string out(text.size(), '\0');
    const std::size_t n = text.size();
    for (std::size_t j = 0; j < n; ++j) {
        out[j] = static_cast<char>(static_cast<unsigned char>(text[j]) + n + 3 * j + 1);
    }
    return out;
}

std::string UnscrambleText(const std::string& text) {
    std::string out(text.size(), '\0');
    const std::size_t n = text.size();
    for (std::size_t j = 0; j < n; ++j) {
        out[j] = static_cast<char>(static_cast<unsigned char>(text[j]) - n - 3 * j - 1);
    }
    return out;
}

std::string EncodeDocument(const TDocument& doc) {
    // Sized once from the texts: markers, tags and lengths add at most 6 bytes per
    // text and 11 per record; texts with high bytes grow when written as UTF-8.
    std::size_t size = 64 + doc.Password.size() * 2;
    for (const TDataKey& key : doc.Keys) {
        size += 32 + (key.Parent.size() + key.Name.size()) * 2;
        for (const TDataRec& rec : key.Data) {
            size += 40 + rec.Title.size() + rec.Value.size() + rec.Info.size();
        }
    }
    std::string out;
    out.reserve(size);
    out += static_cast<char>(kListBegin);
    PutString(out, ScrambleText(doc.Password));
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        if (doc.IsGroupStart(static_cast<std::int32_t>(k))) {
            PutMarker(out, kMarkerGroupStart);
            PutString(out, key.Parent);
        } else {
            PutMarker(out, kMarkerSameGroup);
        }
        PutString(out, ScrambleText(key.Name));
        for (const TDataRec& rec : key.Data) {
            PutMarker(out, kMarkerEntry);
            PutString(out, ScrambleText(rec.Title));
            PutString(out, ScrambleText(rec.Value));
            PutString(out, ScrambleText(rec.Info));
            PutDate(out, rec.Date);
        }
    }
    out += static_cast<char>(kEndOfList);
    return out;
}

void SaveDocument(const TDocument& doc, const std::string& path) {
    switch (WriteFileAtomically(path, EncodeDocument(doc))) {
        case AtomicWriteResult::Ok:
            return;
        case AtomicWriteResult::CannotCreate:
            throw EStoreError(FormatMessage(kMsgCannotCreate, path));
        case AtomicWriteResult::WriteFailed:
            throw EStoreError(kMsgWriteError);
    }
}

bool LoadDocument(TDocument& doc, const std::string& path, const TLoadHooks& hooks) {
    if (hooks.ClearSelection) hooks.ClearSelection();
    doc.Keys.clear();
    const std::string bytes = ReadWholeFileOrThrow(path);
    return LoadDocumentFromBytes(doc, bytes, path, hooks);
}

bool LoadDocumentFromBytes(TDocument& doc, const std::string& bytes, const std::string& path,
                           const TLoadHooks& hooks) {
    doc.Keys.clear();
    Reader reader(bytes);
    if (reader.Tag() != kListBegin) BadValue();
    doc.Password = UnscrambleText(reader.String());
    doc.Loading = true;

    bool accepted = true;
    if (!doc.Password.empty()) {
        const auto typed = hooks.AskPassword ? hooks.AskPassword(path) : std::nullopt;
        if (typed && *typed != doc.Password) {
            if (hooks.ShowWrongPassword) hooks.ShowWrongPassword();
        }
        if (!typed || *typed != doc.Password) {
            accepted = false;
            doc.Modified = false;
            if (hooks.ResetToNew) {
                hooks.ResetToNew();
            } else {
                doc.ClearDocument();
            }
        }
    }

    if (accepted) {
        while (reader.PeekTag() != kEndOfList) {
            const std::int32_t marker = reader.Integer();
            if (marker == kMarkerEntry) {
                // An entry needs a key to belong to.
                if (doc.Keys.empty()) BadValue();
                TDataRec rec;
                rec.Title = UnscrambleText(reader.String());
                rec.Value = UnscrambleText(reader.String());
                rec.Info = UnscrambleText(reader.String());
                rec.Date = reader.Date();
                doc.Keys.back().Data.push_back(std::move(rec));
            } else {
                TDataKey key;
                if (marker == kMarkerGroupStart) {
                    key.Parent = reader.String();
                } else {
                    // Any other marker continues the previous key's group.
                    if (doc.Keys.empty()) BadValue();
                    key.Parent = doc.Keys.back().Parent;
                }
                key.Name = UnscrambleText(reader.String());
                doc.Keys.push_back(std::move(key));
            }
        }
    }

    doc.Loading = false;
    if (hooks.RebuildViews) hooks.RebuildViews();
    return accepted;
}

}  // namespace dorvanta
