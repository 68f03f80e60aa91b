#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <map>
#include <random>
#include <vector>

#include "store/Cp1252.h"
#include "store/Import.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::Hex;

// Memory whose last bytes lie right before an unreadable page: bytes put there
// crash a reader that reads past them.
class TGuardedMemory {
  public:
    TGuardedMemory() {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        base_ = static_cast<char*>(::mmap(nullptr, kPages * page_, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ::mprotect(base_ + (kPages - 1) * page_, page_, PROT_NONE);
    }
    ~TGuardedMemory() { ::munmap(base_, kPages * page_); }
    TGuardedMemory(const TGuardedMemory&) = delete;
    TGuardedMemory& operator=(const TGuardedMemory&) = delete;

    // A copy of `bytes` ending at the guard page.
    char* Put(const std::string& bytes) {
        char* at = base_ + (kPages - 1) * page_ - bytes.size();
        std::copy(bytes.begin(), bytes.end(), at);
        return at;
    }

  private:
    static constexpr std::size_t kPages = 4;
    std::size_t page_ = 0;
    char* base_ = nullptr;
};

// A stored text decoded into a separate buffer, and in place, both read from
// the end of readable memory; the two must agree and write nothing beyond the
// decoded text. "refused" when the text is refused.
std::string Stored(const std::string& utf8) {
    static TGuardedMemory memory;
    char* in = memory.Put(utf8);
    std::string out(utf8.size() + 8, '#');
    const auto size = StoredUtf8ToCp1252(in, utf8.size(), out.data());
    const auto sizeInPlace = StoredUtf8ToCp1252(in, utf8.size(), in);
    if (size != sizeInPlace) return "in place differs";
    if (!size) return "refused";
    if (out.substr(utf8.size()) != std::string(8, '#')) return "wrote beyond";
    out.resize(*size);
    if (std::string(in, *size) != out) return "in place differs";
    return out;
}

// The file's rule for its UTF-8 texts, one character after the other: a stray
// byte and a character the code page lacks become '?', a cut-off sequence or a
// missing continuation byte refuses the text.
std::string PlainStored(const std::string& utf8, const std::map<char32_t, char>& byteOf) {
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = lead < 0x80   ? 1
                                : lead < 0xC0 ? 0
                                : lead < 0xE0 ? 2
                                : lead < 0xF0 ? 3
                                : lead < 0xF8 ? 4
                                              : 0;
        if (len == 0) {
            out += '?';
            ++i;
            continue;
        }
        if (i + len > utf8.size()) return "refused";
        char32_t cp = len == 1 ? lead : lead & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) return "refused";
            cp = (cp << 6) | (c & 0x3F);
        }
        const auto it = byteOf.find(cp);
        out += it == byteOf.end() ? '?' : it->second;
        i += len;
    }
    return out;
}

// ICU's windows-1252 converter: the code point of every byte.
std::vector<char32_t> IcuCodePoints() {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-1252", &status);
    std::vector<char32_t> cps;
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        UChar u[2] = {};
        status = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(converter, u, 2, &in, 1, &status);
        cps.push_back(U_SUCCESS(status) && n == 1 ? u[0] : 0xFFFD);
    }
    ucnv_close(converter);
    return cps;
}

std::string IcuUtf8(char32_t cp) {
    const UChar u = static_cast<UChar>(cp);
    char out[8];
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out, sizeof out, &n, &u, 1, &status);
    return std::string(out, static_cast<std::size_t>(n));
}

TEST(Cp1252, EveryByteRoundTripsThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const auto back = Utf8ToCp1252Strict(Cp1252ToUtf8(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1252, MapsTheHighControlRowAndTheUnassignedBytes) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x84"), "\xE2\x80\x9E");  // low double quote
    EXPECT_EQ(Cp1252ToUtf8("\xE4"), "\xC3\xA4");      // a umlaut
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Cp1252ToCodePoint(b), b);
}

TEST(Cp1252, RefusesWhatTheCodePageCannotHoldAndMalformedUtf8) {
    EXPECT_FALSE(Utf8ToCp1252Strict("\xCE\xA9"));          // Greek Omega
    EXPECT_FALSE(Utf8ToCp1252Strict("\xF0\x9F\x98\x80"));  // emoji
    EXPECT_FALSE(Utf8ToCp1252Strict("\xC3"));              // cut off
    EXPECT_FALSE(Utf8ToCp1252Strict("\xC3\x41"));          // no continuation
    EXPECT_FALSE(Utf8ToCp1252Strict("\xE0\x80\x80"));      // overlong
    EXPECT_EQ(Utf8ToCp1252Strict("Gr\xC3\xBC\xC3\x9F"
                                 "e \xE2\x82\xAC"),
              "Gr\xFC\xDF"
              "e \x80");
}

// How the file's UTF-8 texts have always been read, invalid ones included. Each
// case is read alone and amid plain text around the 64-byte windows the decoder
// works in; a refused case refuses the whole text.
TEST(Cp1252, StoredUtf8KeepsItsRulesForEveryKindOfInput) {
    const struct {
        const char* utf8;  // hex
        std::string text;  // "refused" when the text is refused
    } cases[] = {
        // clang-format off
        {"", ""},
        {"47 72 C3 BC C3 9F 65", "Gr\xFC\xDF" "e"},
        {"C3 A4 C3 B6 C3 BC C3 84 C3 96 C3 9C", "\xE4\xF6\xFC\xC4\xD6\xDC"},
        // The code page's top row both ways; the five bytes it leaves unassigned
        // are the C1 controls of the same value.
        {"E2 82 AC", "\x80"}, {"C2 81", "\x81"}, {"E2 80 9A", "\x82"}, {"C6 92", "\x83"},
        {"E2 80 9E", "\x84"}, {"E2 80 A6", "\x85"}, {"E2 80 A0", "\x86"}, {"E2 80 A1", "\x87"},
        {"CB 86", "\x88"}, {"E2 80 B0", "\x89"}, {"C5 A0", "\x8A"}, {"E2 80 B9", "\x8B"},
        {"C5 92", "\x8C"}, {"C2 8D", "\x8D"}, {"C5 BD", "\x8E"}, {"C2 8F", "\x8F"},
        {"C2 90", "\x90"}, {"E2 80 98", "\x91"}, {"E2 80 99", "\x92"}, {"E2 80 9C", "\x93"},
        {"E2 80 9D", "\x94"}, {"E2 80 A2", "\x95"}, {"E2 80 93", "\x96"}, {"E2 80 94", "\x97"},
        {"CB 9C", "\x98"}, {"E2 84 A2", "\x99"}, {"C5 A1", "\x9A"}, {"E2 80 BA", "\x9B"},
        {"C5 93", "\x9C"}, {"C2 9D", "\x9D"}, {"C5 BE", "\x9E"}, {"C5 B8", "\x9F"},
        // The other C1 controls, and characters beyond the code page, some in
        // the look-up slots of ones inside it (U+30BC and U+120AC share the euro's).
        {"C2 80", "?"}, {"C2 9F", "?"}, {"CE A9", "?"}, {"E2 88 9E", "?"}, {"E3 82 BC", "?"},
        {"F0 92 82 AC", "?"}, {"F0 9F 98 80", "?"}, {"EF BF BF", "?"},
        // Overlong forms stand for what they spell.
        {"C0 80", std::string(1, '\0')}, {"C1 81", "A"}, {"E0 80 80", std::string(1, '\0')},
        {"E0 81 81", "A"}, {"E0 83 A4", "\xE4"}, {"F0 80 80 80", std::string(1, '\0')},
        {"F0 82 82 AC", "\x80"},
        // Surrogates and code points beyond U+10FFFF are characters the code page lacks.
        {"ED A0 80", "?"}, {"ED BF BF", "?"}, {"F4 8F BF BF", "?"}, {"F4 90 80 80", "?"},
        {"F7 BF BF BF", "?"},
        // Stray bytes become '?' each.
        {"80", "?"}, {"61 BF 62", "a?b"}, {"F8", "?"}, {"FF", "?"}, {"FE FF", "??"},
        {"F8 80 80 80 80", "?????"}, {"C3 A4 A4", "\xE4?"}, {"E2 82 AC 82 AC", "\x80??"},
        // Cut off by the end, or a lead byte without its continuation bytes.
        {"C3", "refused"}, {"61 62 C3", "refused"}, {"E2 82", "refused"}, {"F0 9F 98", "refused"},
        {"C3 41", "refused"}, {"E2 41 AC", "refused"}, {"E2 82 41", "refused"},
        {"F0 9F 41 80", "refused"}, {"C3 C3 A4", "refused"}, {"C0 F8", "refused"},
        {"E2 82 F8", "refused"}, {"F7 BF BF", "refused"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string utf8 = Hex(c.utf8);
        EXPECT_EQ(Stored(utf8), c.text) << c.utf8;
        for (const std::size_t before : {1, 61, 62, 63, 64, 126}) {
            for (const std::string& after :
                 {std::string(), std::string("z"), std::string(70, 'z')}) {
                const std::string around = std::string(before, 'a') + utf8 + after;
                const std::string expected =
                    c.text == "refused" ? c.text : std::string(before, 'a') + c.text + after;
                EXPECT_EQ(Stored(around), expected) << c.utf8 << " after " << before;
            }
        }
    }
    // The top row the other way.
    for (int b = 0x80; b <= 0x9F; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = Cp1252ToUtf8(byte);
        EXPECT_EQ(Stored(utf8), byte) << b;
        EXPECT_EQ(Utf8ToCp1252Strict(utf8), byte) << b;
        EXPECT_EQ(CodePointToCp1252(Cp1252ToCodePoint(static_cast<unsigned char>(b))),
                  static_cast<unsigned char>(b));
    }
}

// The top row of the code page, byte by byte against its fixed code points (in
// Unicode's table CP1252.TXT), both ways: two entries swapped show in both rows.
// The five bytes the code page leaves unassigned stand for the C1 controls of
// their value; the other C1 controls have no byte. An import, whose file is
// Windows-1252, keeps every byte, so it shows as its code point afterwards.
TEST(Cp1252, TheTopRowHasItsFixedCodePointsBothWaysAndThroughAnImport) {
    // clang-format off
    constexpr char32_t kTopRow[32] = {
        U'€', 0x81, U'‚', U'ƒ', U'„', U'…', U'†', U'‡', U'ˆ', U'‰', U'Š', U'‹', U'Œ', 0x8D, U'Ž', 0x8F,
        0x90, U'‘', U'’', U'“', U'”', U'•', U'–', U'—', U'˜', U'™', U'š', U'›', U'œ', 0x9D, U'ž', U'Ÿ',
    };
    // clang-format on
    auto utf8 = [](char32_t cp) {
        return cp < 0x800 ? std::string{static_cast<char>(0xC0 | cp >> 6),
                                        static_cast<char>(0x80 | (cp & 0x3F))}
                          : std::string{static_cast<char>(0xE0 | cp >> 12),
                                        static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                                        static_cast<char>(0x80 | (cp & 0x3F))};
    };
    std::string file;
    for (unsigned b = 0x80; b <= 0x9F; ++b) file += std::to_string(b) + "\t" + char(b) + "\r\n";
    TDocument doc;
    doc.Now = [] { return 1.0; };
    doc.AddKey("P", "K");
    ASSERT_EQ(ImportEntriesFromBytes(doc, 0, file, "top.txt", '\t'), 32);
    int assigned = 0;
    for (unsigned b = 0x80; b <= 0x9F; ++b) {
        SCOPED_TRACE(::testing::Message() << std::hex << b);
        const char32_t cp = kTopRow[b - 0x80];
        const std::string byte(1, static_cast<char>(b));
        assigned += cp != b;
        EXPECT_EQ(Cp1252ToCodePoint(static_cast<unsigned char>(b)), cp);
        EXPECT_EQ(Cp1252ToUtf16(byte), std::u16string(1, static_cast<char16_t>(cp)));
        EXPECT_EQ(Cp1252ToUtf8(byte), utf8(cp));
        EXPECT_EQ(CodePointToCp1252(cp), static_cast<unsigned char>(b));
        EXPECT_EQ(Utf8ToCp1252Strict(utf8(cp)), byte);
        EXPECT_EQ(Stored(utf8(cp)), byte);
        if (cp != b) {  // the C1 control of the byte's value has no byte
            EXPECT_EQ(CodePointToCp1252(b), std::nullopt);
            EXPECT_EQ(Utf8ToCp1252Strict(utf8(b)), std::nullopt);
            EXPECT_EQ(Stored(utf8(b)), "?");
        }
        const auto& entries = doc.Keys[0].Data;
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const TDataRec& r) {
            return r.Title == std::to_string(b);
        });
        ASSERT_NE(it, entries.end());
        EXPECT_EQ(Cp1252ToUtf8(it->Value), utf8(cp));
    }
    EXPECT_EQ(assigned, 27);
}

// The conversions against ICU's windows-1252 converter and the plain rule above:
// every byte and code point, every text of up to two bytes, and random texts of
// the shape a file holds, whole and damaged.
TEST(Cp1252, AgreesWithIcuAndThePlainRuleEverywhere) {
    const std::vector<char32_t> icu = IcuCodePoints();
    std::map<char32_t, char> byteOf;
    std::vector<std::string> wrong;
    for (int b = 0; b < 256; ++b) {
        byteOf[icu[b]] = static_cast<char>(b);
        const std::string byte(1, static_cast<char>(b));
        if (Cp1252ToCodePoint(static_cast<unsigned char>(b)) != icu[b] ||
            Cp1252ToUtf8(byte) != IcuUtf8(icu[b]) || Utf8ToCp1252Strict(IcuUtf8(icu[b])) != byte) {
            wrong.push_back("byte " + std::to_string(b));
        }
    }
    for (char32_t cp = 0; cp <= 0x110000; ++cp) {
        const auto it = byteOf.find(cp);
        const int expected = it == byteOf.end() ? -1 : static_cast<unsigned char>(it->second);
        const auto got = CodePointToCp1252(cp);
        if ((got ? *got : -1) != expected) wrong.push_back("code point " + std::to_string(cp));
    }
    auto check = [&](const std::string& utf8) {
        const std::string got = Stored(utf8);
        if (got != PlainStored(utf8, byteOf)) wrong.push_back("UTF-8 " + utf8 + " gave " + got);
    };
    for (int a = 0; a < 256; ++a) {
        check(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b) check({static_cast<char>(a), static_cast<char>(b)});
    }
    for (int a = 0xC0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            for (int c : {0x00, 0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xAC, 0xBF, 0xC3, 0xE2, 0xFF}) {
                check({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
            }
        }
    }
    std::mt19937 rng(1252);
    const std::string letters =
        "abcdeXYZ0123456789 .,;:-/()\xE4\xF6\xFC\xDF\xC4\xD6\xDC\x80\x84\x93\x96";
    for (int i = 0; i < 20000 && wrong.size() < 20; ++i) {
        std::string text(rng() % (i % 10 == 0 ? 400 : 60), '\0');
        for (char& c : text) {
            c = i % 2 ? static_cast<char>(rng()) : letters[rng() % letters.size()];
        }
        std::string utf8;
        for (unsigned char c : text) utf8 += IcuUtf8(icu[c]);
        if (Cp1252ToUtf8(text) != utf8) wrong.push_back("text to UTF-8 " + text);
        check(utf8);
        if (utf8.empty()) continue;
        std::string damaged = utf8;
        damaged[rng() % damaged.size()] = static_cast<char>(rng());
        check(damaged);
        damaged = utf8;
        damaged.insert(rng() % damaged.size(), 1, static_cast<char>(0x80 + rng() % 0x80));
        check(damaged);
        check(utf8.substr(0, rng() % utf8.size()));
    }
    wrong.resize(std::min<std::size_t>(wrong.size(), 20));
    EXPECT_EQ(wrong, std::vector<std::string>());
}

}  // namespace
}  // namespace dorvanta
