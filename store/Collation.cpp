#include "store/Collation.h"

#include <unicode/ucol.h>

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "store/Cp1252.h"
#include "store/StoreError.h"
#include "store/StoreMessages.h"

namespace dorvanta {

int CompareAsciiCI(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = AsciiUpper(static_cast<unsigned char>(a[i]));
        const unsigned char y = AsciiUpper(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

Collator::Collator(Case caseRule, const std::string& icuLocale) {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(icuLocale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator_ = ucol_open("", &status);
    }
    if (U_FAILURE(status) || collator_ == nullptr) {
        throw EStoreError(kMsgNoCollator);
    }
    // Secondary strength ignores case but keeps accents apart.
    ucol_setStrength(collator_, caseRule == Case::Insensitive ? UCOL_SECONDARY : UCOL_TERTIARY);
}

Collator::~Collator() {
    ucol_close(collator_);
}

int Collator::Compare(std::string_view a, std::string_view b) const {
    const std::u16string ua = Cp1252ToUtf16(a);
    const std::u16string ub = Cp1252ToUtf16(b);
    const UCollationResult r = ucol_strcoll(
        collator_, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
        reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

std::string Collator::SortKey(std::string_view text) const {
    std::string key;
    AppendSortKey(text, key);
    return key;
}

std::size_t Collator::AppendSortKey(std::string_view text, std::string& out) const {
    // Every Windows-1252 byte is one UTF-16 unit; the buffer is kept between calls,
    // since a sort asks for a key per title.
    static const auto units = [] {
        std::array<char16_t, 256> table{};
        for (unsigned b = 0; b < 256; ++b) {
            table[b] = static_cast<char16_t>(Cp1252ToCodePoint(static_cast<unsigned char>(b)));
        }
        return table;
    }();
    thread_local std::u16string u;
    u.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) u[i] = units[static_cast<unsigned char>(text[i])];
    const auto* src = reinterpret_cast<const UChar*>(u.data());
    const auto len = static_cast<int32_t>(u.size());
    const std::size_t start = out.size();
    std::size_t room = u.size() * 3 + 16;
    for (;;) {
        out.resize(start + room);
        const int32_t needed =
            ucol_getSortKey(collator_, src, len, reinterpret_cast<uint8_t*>(out.data() + start),
                            static_cast<int32_t>(room));
        if (needed <= static_cast<int32_t>(room)) {
            // The key ends with a NUL byte that does not count in the order.
            const std::size_t size = needed > 0 ? static_cast<std::size_t>(needed) - 1 : 0;
            out.resize(start + size);
            return size;
        }
        room = static_cast<std::size_t>(needed);
    }
}

std::string CollationLocaleFromEnvironment() {
    const char* value = nullptr;
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') {
            value = v;
            break;
        }
    }
    if (value == nullptr) return "";
    std::string locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX") return "";
    return locale;
}

namespace {

struct CollatorPair {
    explicit CollatorPair(const std::string& locale)
        : parent(Collator::Case::Sensitive, locale), title(Collator::Case::Insensitive, locale) {}
    Collator parent;
    Collator title;
};

std::unique_ptr<CollatorPair>& Current() {
    static std::unique_ptr<CollatorPair> current;
    if (!current) current = std::make_unique<CollatorPair>(CollationLocaleFromEnvironment());
    return current;
}

}  // namespace

const Collator& ParentCollator() {
    return Current()->parent;
}
const Collator& TitleCollator() {
    return Current()->title;
}

namespace {
std::uint64_t generation = 0;
}  // namespace

std::uint64_t CollationGeneration() {
    return generation;
}

void SetCollationLocale(const std::string& icuLocale) {
    ++generation;
    Current() = std::make_unique<CollatorPair>(icuLocale.empty() ? CollationLocaleFromEnvironment()
                                                                 : icuLocale);
}

}  // namespace dorvanta
