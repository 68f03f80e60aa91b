#include "tools/JsonOut.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "store/Cp1252.h"
#include "store/PdtFile.h"
#include "store/StoreError.h"

namespace dorvanta::cli {
namespace {

// Input bytes escaped per step: small enough that their worst case (6 bytes
// each) fits the buffer's spare room, so a huge text never needs a huge buffer.
constexpr std::size_t kChunk = 16 * 1024;
// The escape loop stores 8 bytes for every input byte and advances by fewer.
constexpr std::size_t kStoreSlack = 8;

// One byte's text inside a JSON string; 8 bytes in all, so it is copied in one store.
struct TEscaped {
    char text[7];
    std::uint8_t size;
};
static_assert(sizeof(TEscaped) == 8);

// Qt's compact JSON writes \b \f \n \r \t \" and \\ as such, the other
// controls below 0x20 as \u00xx with lowercase hex, and everything else (/,
// DEL, the C1 controls included) as plain UTF-8.
const std::array<TEscaped, 256>& EscapeTable() {
    static const std::array<TEscaped, 256> table = [] {
        std::array<TEscaped, 256> result{};
        constexpr std::pair<char, const char*> kShort[] = {
            {'"', "\\\""}, {'\\', "\\\\"}, {'\b', "\\b"}, {'\f', "\\f"},
            {'\n', "\\n"}, {'\r', "\\r"},  {'\t', "\\t"}};
        constexpr const char* kHex = "0123456789abcdef";
        for (int byte = 0; byte < 256; ++byte) {
            const char c = static_cast<char>(byte);
            std::string text = byte < 0x20
                                   ? std::string("\\u00") + kHex[byte >> 4] + kHex[byte & 15]
                                   : Cp1252ToUtf8(std::string_view(&c, 1));
            for (const auto& [plain, escaped] : kShort) {
                if (c == plain) text = escaped;
            }
            std::memcpy(result[byte].text, text.data(), text.size());
            result[byte].size = static_cast<std::uint8_t>(text.size());
        }
        return result;
    }();
    return table;
}

// Escapes `text` to `dst`, which has room for 6 bytes per input byte plus kStoreSlack.
char* Escape(char* dst, std::string_view text, const std::array<TEscaped, 256>& table) {
    for (const char c : text) {
        const TEscaped& escaped = table[static_cast<unsigned char>(c)];
        std::memcpy(dst, &escaped, sizeof escaped);
        dst += escaped.size;
    }
    return dst;
}

// Writes a finite, non-zero double to `dst` (room for 32 bytes) as Qt's shortest
// 'g' format does: the exponent form when it is shorter, the decimal one otherwise.
char* FormatNumber(char* dst, double value) {
    // std::to_chars gives the same shortest round-trip digits as Qt, and its
    // exponent form is Qt's to the byte ("1e+05", "1.5e-07", "1e+300").
    char sci[32];
    const char* const end =
        std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
    const char* p = sci;
    if (*p == '-') *dst++ = *p++;
    const char* const e = static_cast<const char*>(std::memchr(p, 'e', end - p));
    char digits[20];
    int count = 0;
    for (const char* q = p; q < e; ++q) {
        if (*q != '.') digits[count++] = *q;
    }
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    const int point = exponent + 1;  // digits before the decimal point
    const int decimalSize = point <= 0 ? 2 - point + count : point >= count ? point : count + 1;
    if (decimalSize > end - p) return std::copy(p, end, dst);
    if (point <= 0) {
        *dst++ = '0';
        *dst++ = '.';
        dst = std::fill_n(dst, -point, '0');
        return std::copy(digits, digits + count, dst);
    }
    if (point >= count) {
        dst = std::copy(digits, digits + count, dst);
        return std::fill_n(dst, point - count, '0');
    }
    dst = std::copy(digits, digits + point, dst);
    *dst++ = '.';
    return std::copy(digits + point, digits + count, dst);
}

char* WriteNumber(char* dst, double value) {
    if (!std::isfinite(value)) return std::copy_n("null", 4, dst);
    if (value == 0) {  // -0 too
        *dst++ = '0';
        return dst;
    }
    return FormatNumber(dst, value);
}

}  // namespace

std::string JsonStringOf(std::string_view cp1252) {
    const auto& table = EscapeTable();
    std::size_t size = 2;
    for (const char c : cp1252) size += table[static_cast<unsigned char>(c)].size;
    std::string json(size + kStoreSlack, '\0');
    json[0] = '"';
    Escape(json.data() + 1, cp1252, table);
    json[size - 1] = '"';
    json.resize(size);
    return json;
}

std::string JsonNumberOf(double value) {
    char text[32];
    return std::string(text, WriteNumber(text, value));
}

TJsonOut::TJsonOut(std::ostream& out) : out_(out) {
    buffer_.resize(kBlock + 6 * kChunk + 64);
}

char* TJsonOut::Room(std::size_t bytes) {
    if (used_ >= kBlock || used_ + bytes > buffer_.size()) Flush();
    return buffer_.data() + used_;
}

void TJsonOut::Flush() {
    if (used_ == 0) return;
    out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
    used_ = 0;
    if (!out_) throw EStoreError(kMsgWriteError);
}

void TJsonOut::Raw(std::string_view text) {
    if (text.size() > kBlock) {  // a huge parent name: straight to the stream
        Flush();
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out_) throw EStoreError(kMsgWriteError);
        return;
    }
    char* const dst = Room(text.size());
    std::memcpy(dst, text.data(), text.size());
    used_ += text.size();
}

void TJsonOut::String(std::string_view cp1252) {
    const auto& table = EscapeTable();
    char* dst = Room(1);
    *dst++ = '"';
    for (;;) {
        const std::size_t n = std::min(cp1252.size(), kChunk);
        used_ = dst - buffer_.data();
        dst = Escape(Room(6 * n + 1 + kStoreSlack), cp1252.substr(0, n), table);
        cp1252.remove_prefix(n);
        if (cp1252.empty()) break;
    }
    *dst++ = '"';
    used_ = dst - buffer_.data();
}

void TJsonOut::Number(double value) {
    used_ = WriteNumber(Room(32), value) - buffer_.data();
}

void TJsonOut::Integer(std::int64_t value) {
    char* const dst = Room(24);
    used_ = std::to_chars(dst, dst + 24, value).ptr - buffer_.data();
}

void TJsonOut::Finish() {
    Flush();
    out_.flush();
    if (!out_) throw EStoreError(kMsgWriteError);
}

}  // namespace dorvanta::cli
