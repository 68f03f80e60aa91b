#include "store/Cp1252.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dorvanta {
namespace {

// 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t CodePointOf(unsigned byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : static_cast<char16_t>(byte);
}

// The way back is two tables, so that a text of a million characters costs a
// million look-ups and not a search each: every code point below U+0800 (all one-
// and two-byte UTF-8) directly, and the seventeen above it by a hash of their
// two low bytes, checked against the full code point. '?' stands for a code point
// the code page cannot hold.
constexpr char32_t kDirect = 0x800;

constexpr std::array<unsigned char, kDirect> MakeDirect() {
    std::array<unsigned char, kDirect> table{};
    for (auto& b : table) b = '?';
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (CodePointOf(byte) < kDirect)
            table[CodePointOf(byte)] = static_cast<unsigned char>(byte);
    }
    return table;
}
constexpr std::array<unsigned char, kDirect> kDirectBytes = MakeDirect();

constexpr unsigned HashSlot(char32_t cp) {
    return (cp ^ (cp >> 8)) & 0xFF;
}

// Each slot: the code point shifted left by eight, its byte below; 0 is empty.
constexpr std::array<std::uint32_t, 256> MakeHashed() {
    std::array<std::uint32_t, 256> table{};
    for (unsigned byte = 0x80; byte <= 0x9F; ++byte) {
        const char32_t cp = CodePointOf(byte);
        if (cp < kDirect) continue;
        if (table[HashSlot(cp)] != 0) throw "two code points share a slot";
        table[HashSlot(cp)] = (static_cast<std::uint32_t>(cp) << 8) | byte;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kHashedBytes = MakeHashed();

// Any code point up to 0x1FFFFF (what four UTF-8 bytes spell): its byte, or '?'.
inline unsigned char ByteOrQuestionMark(char32_t cp) {
    if (cp < kDirect) return kDirectBytes[cp];
    const std::uint32_t slot = kHashedBytes[HashSlot(cp)];
    return (slot >> 8) == cp ? static_cast<unsigned char>(slot) : '?';
}

// The byte of a one- or two-byte character by its lead byte and the low six
// bits of the byte after it (which a one-byte character ignores): a look-up
// instead of telling the two apart, which a scrambled text mixes at random.
constexpr std::array<unsigned char, 0xE0 << 6> MakePairs() {
    std::array<unsigned char, 0xE0 << 6> table{};
    for (unsigned lead = 0; lead < 0xE0; ++lead) {
        for (unsigned low = 0; low < 0x40; ++low) {
            const unsigned cp = lead < 0x80 ? lead : ((lead & 0x1F) << 6) | low;
            table[(lead << 6) | low] = kDirectBytes[cp];
        }
    }
    return table;
}
constexpr std::array<unsigned char, 0xE0 << 6> kPairBytes = MakePairs();

// The length of a character by its lead byte where it is one, two or three bytes; 0 otherwise.
constexpr std::array<unsigned char, 256> MakeLengths() {
    std::array<unsigned char, 256> lengths{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        lengths[byte] = byte < 0x80 ? 1 : byte < 0xC0 ? 0 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 0;
    }
    return lengths;
}
constexpr std::array<unsigned char, 256> kLengths = MakeLengths();

#if defined(__SSE2__)
// The n < 16 bytes at p in the low lanes and zeros above, without reading past p + n.
inline __m128i LoadPart(const unsigned char* p, std::size_t n) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    if (n >= 8) {
        std::memcpy(&low, p, 8);
        if (n > 8) {
            std::memcpy(&high, p + n - 8, 8);
            high >>= 8 * (16 - n);
        }
    } else if (n >= 4) {
        std::uint32_t head;
        std::uint32_t tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + n - 4, 4);
        low = head | (std::uint64_t{tail} << (8 * (n - 4)));
    } else if (n > 0) {
        low = p[0] | (std::uint64_t{p[n / 2]} << (8 * (n / 2))) |
              (std::uint64_t{p[n - 1]} << (8 * (n - 1)));
    }
    return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// One bit per byte of a window of up to 64 bytes.
struct TWindowBits {
    std::uint64_t Continuation = 0;  // 10xxxxxx
    std::uint64_t TwoOrMore = 0;     // lead bytes 0xC0 and up
    std::uint64_t ThreeOrMore = 0;   // 0xE0 and up
    std::uint64_t FourOrMore = 0;    // 0xF0 and up
};

inline TWindowBits WindowBits(const unsigned char* window, std::size_t w) {
    TWindowBits bits;
    const __m128i high = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0));
    auto mask = [](__m128i lanes, std::size_t at) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(lanes))) << at;
    };
    for (std::size_t at = 0; at < w; at += 16) {
        const __m128i v = w - at >= 16
                              ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + at))
                              : LoadPart(window + at, w - at);
        bits.Continuation |= mask(_mm_cmpeq_epi8(_mm_and_si128(v, top), high), at);
        // Unsigned comparisons as signed ones, with the top bit flipped.
        const __m128i flipped = _mm_xor_si128(v, high);
        bits.TwoOrMore |= mask(_mm_cmpgt_epi8(flipped, _mm_set1_epi8(0x3F)), at);
        bits.ThreeOrMore |= mask(_mm_cmpgt_epi8(flipped, _mm_set1_epi8(0x5F)), at);
        bits.FourOrMore |= mask(_mm_cmpgt_epi8(flipped, _mm_set1_epi8(0x6F)), at);
    }
    return bits;
}
#endif

// Decodes the character at `p` to `o` and moves both on; false when a sequence
// is cut off or lacks a continuation byte.
inline bool DecodeOne(const unsigned char*& p, const unsigned char* end, char*& o) {
    const unsigned lead = *p;
    std::size_t len;
    char32_t cp;
    if (lead < 0x80) {
        *o++ = static_cast<char>(lead);
        ++p;
        return true;
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
        *o++ = '?';  // a continuation byte without its lead, or 0xF8..0xFF
        ++p;
        return true;
    }
    if (len > static_cast<std::size_t>(end - p)) return false;
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    *o++ = static_cast<char>(ByteOrQuestionMark(cp));
    p += len;
    return true;
}

// The length of the well-formed sequence at `p` whose lead byte is above 0x7F,
// with its code point in `cp`; 0 when it is malformed or cut off (the second
// byte's range rules out overlong forms, surrogates and what lies beyond U+10FFFF).
inline std::size_t DecodeWellFormed(const unsigned char* p, const unsigned char* end,
                                    char32_t& cp) {
    const unsigned lead = *p;
    std::size_t len = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (len == 0 || len > static_cast<std::size_t>(end - p) || p[1] < low || p[1] > high) return 0;
    cp = lead & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    return len;
}

// The offset of the first byte above 0x7F from `from` on, eight bytes at a time.
inline std::size_t SkipAscii(std::string_view text, std::size_t from) {
    std::size_t i = from;
    for (std::uint64_t word; i + 8 <= text.size(); i += 8) {
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

constexpr std::array<TUtf8OfByte, 256> MakeUtf8() {
    std::array<TUtf8OfByte, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char32_t cp = CodePointOf(byte);
        TUtf8OfByte& u = table[byte];
        if (cp < 0x80) {
            u = {{static_cast<char>(cp), 0, 0}, 1};
        } else if (cp < 0x800) {
            u = {{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F)), 0},
                 2};
        } else {
            u = {
                {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (cp & 0x3F))},
                3};
        }
    }
    return table;
}

}  // namespace

extern constexpr std::array<TUtf8OfByte, 256> kUtf8OfCp1252 = MakeUtf8();
static_assert(sizeof(TUtf8OfByte) == 4);

char32_t Cp1252ToCodePoint(unsigned char byte) {
    return CodePointOf(byte);
}

std::optional<unsigned char> CodePointToCp1252(char32_t cp) {
    const unsigned char byte = ByteOrQuestionMark(cp);
    if (byte == '?' && cp != U'?') return std::nullopt;
    return byte;
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out(3 * text.size() + 1, '\0');
    char* o = out.data();
    for (const char c : text) {
        const TUtf8OfByte& u = kUtf8OfCp1252[static_cast<unsigned char>(c)];
        std::memcpy(o, &u, 4);
        o += u.Size;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::optional<std::string> Utf8ToCp1252Strict(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t len;
        if (lead < 0x80) {
            cp = lead;
            len = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            cp = lead & 0x1F;
            len = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            len = 3;
        } else {
            // Four-byte sequences lie outside the code page; anything else is malformed.
            return std::nullopt;
        }
        if (i + len > utf8.size()) return std::nullopt;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        const auto byte = CodePointToCp1252(cp);
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
        i += len;
    }
    return out;
}

TUtf8Reading ReadUtf8AsCp1252(std::string_view utf8, std::string& out) {
    using TKind = TUtf8Reading::TKind;
    TUtf8Reading reading;
    const auto* const first = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = first + utf8.size();
    char* o = nullptr;
    std::size_t i = SkipAscii(utf8, 0);
    while (i < utf8.size()) {
        char32_t cp = 0;
        const std::size_t len = DecodeWellFormed(first + i, end, cp);
        if (len == 0) return {TKind::NotUtf8, i, 0};
        if (o == nullptr) {
            // Only now, with a first well-formed character: a Windows-1252 text
            // usually fails at its first umlaut and costs no copy.
            out.resize(utf8.size());
            o = out.data() + i;
            std::memcpy(out.data(), utf8.data(), i);
            reading.Kind = TKind::Converted;
        }
        const unsigned char byte = ByteOrQuestionMark(cp);
        if (byte == '?' && reading.Kind == TKind::Converted) reading = {TKind::Unheld, i, cp};
        *o++ = static_cast<char>(byte);
        i += len;
        const std::size_t next = SkipAscii(utf8, i);
        std::memcpy(o, utf8.data() + i, next - i);
        o += next - i;
        i = next;
    }
    if (o != nullptr) out.resize(static_cast<std::size_t>(o - out.data()));
    return reading;
}

std::optional<std::size_t> StoredUtf8ToCp1252(const char* in, std::size_t size, char* out) {
    const auto* const first = reinterpret_cast<const unsigned char*>(in);
    std::size_t done = 0;  // bytes of `in` decoded
    char* o = out;
    // Every character takes at least one byte and gives exactly one, so `o` never
    // passes the next byte to read: decoding in place reads each byte before it
    // is overwritten.
#if defined(__SSE2__)
    // Window by window: where the characters start, and whether they are well
    // formed, follows from the bytes at once rather than one character after
    // the other; one- and two-byte characters then take one path without a
    // branch between them (a scrambled text mixes them at random). The first
    // window with anything else leaves the rest of the text to DecodeOne.
    while (done < size) {
        const unsigned char* const window = first + done;
        const std::size_t w = std::min<std::size_t>(size - done, 64);
        const TWindowBits bits = WindowBits(window, w);
        const std::uint64_t inWindow = w == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << w) - 1;
        std::uint64_t starts = ~bits.Continuation & inWindow;
        if (starts == 0) break;
        // A character cut by the window's end is read with the next window; one
        // cut by the text's end is for DecodeOne to refuse.
        const auto last = static_cast<unsigned>(63 - std::countl_zero(starts));
        const unsigned lastLength = kLengths[window[last]];
        const std::size_t whole = last + lastLength > w || lastLength == 0 ? last : w;
        if (whole == 0) break;
        const std::uint64_t taken = whole == 64 ? inWindow : (std::uint64_t{1} << whole) - 1;
        // Continuation bytes exactly where the lead bytes ask for them, up to and
        // including the start of a cut character, and no four-byte or invalid lead byte.
        const std::uint64_t wanted = (bits.TwoOrMore << 1) | (bits.ThreeOrMore << 2);
        const std::uint64_t checked =
            whole == 64 ? taken : (taken | (std::uint64_t{1} << whole)) & inWindow;
        if (((bits.Continuation ^ wanted) & checked) | (bits.FourOrMore & taken)) break;
        starts &= taken;
        while (starts != 0) {
            const auto at = static_cast<unsigned>(std::countr_zero(starts));
            starts &= starts - 1;
            const unsigned lead = window[at];
            if (lead >= 0xE0) {
                *o++ = static_cast<char>(ByteOrQuestionMark(((lead & 0x0F) << 12) |
                                                            ((window[at + 1] & 0x3F) << 6) |
                                                            (window[at + 2] & 0x3F)));
            } else {
                // A one-byte character looks at itself again, not past the text.
                *o++ =
                    static_cast<char>(kPairBytes[(lead << 6) | (window[at + (lead >> 7)] & 0x3F)]);
            }
        }
        done += whole;
    }
#endif
    const auto* p = first + done;
    const auto* const end = first + size;
    while (p != end) {
        if (!DecodeOne(p, end, o)) return std::nullopt;
    }
    return static_cast<std::size_t>(o - out);
}

std::u16string Cp1252ToUtf16(std::string_view text) {
    std::u16string out;
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = CodePointOf(static_cast<unsigned char>(text[i]));
    }
    return out;
}

}  // namespace dorvanta
