#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <utility>

#include "store/Mask.h"

namespace dorvanta {
namespace {

struct Case {
    const char* mask;
    const char* text;
    bool matches;
};

TEST(Mask, MatchesAsDocumented) {
    const Case cases[] = {
        {"*", "", true},
        {"*", "anything", true},
        {"", "", true},
        {"", "a", false},
        {"a*", "A", true},
        {"a*", "abc", true},
        {"a*", "ba", false},
        {"*b*", "abc", true},
        {"*?", "", true},
        {"?", "", false},
        {"??", "ab", true},
        {"??", "a", false},
        {"??", "abc", false},
        {"[a-c]x", "Bx", true},
        {"[a-c]x", "bX", true},
        {"[a-c]x", "x", false},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "ax", false},
        {"[!a-c]x", "x", false},
        {"[z-a]", "z", true},
        {"[z-a]", "a", false},
        {"[a-]]", "]", true},
        {"[a-]]", "\\", true},
        {"[a-]]", "^", false},
        {"\xE4", "\xC4", false},
        {"\xE4", "\xE4", true},
        {"*.txt", "a.b.TXT", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"**a", "ba", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches)
            << "mask " << c.mask << " text " << c.text;
    }
}

int ErrorPosition(const std::string& mask) {
    try {
        TMask m(mask);
    } catch (const EMaskException& e) {
        return e.Position();
    }
    return 0;
}

TEST(Mask, MalformedMasksReportThePosition) {
    EXPECT_EQ(ErrorPosition("[]"), 2);
    EXPECT_EQ(ErrorPosition("[!]"), 3);
    EXPECT_EQ(ErrorPosition("[abc"), 5);
    EXPECT_EQ(ErrorPosition("[-a]"), 2);
    EXPECT_EQ(ErrorPosition("[a-"), 4);  // a trailing '-' leaves the set open
    try {
        TMask m("x[]");
    } catch (const EMaskException& e) {
        EXPECT_STREQ(e.what(), "'x[]' ist eine ungültige Maske für (3)");
    }
}

TEST(Mask, TheMessageQuotesTheMaskVerbatim) {
    const std::pair<const char*, const char*> cases[] = {
        {"[%s", "'[%s' ist eine ungültige Maske für (4)"},
        {"[%d", "'[%d' ist eine ungültige Maske für (4)"},
        {"%d[", "'%d[' ist eine ungültige Maske für (4)"},
        {"%s%d[]", "'%s%d[]' ist eine ungültige Maske für (6)"},
        {"\xE4[", "'ä[' ist eine ungültige Maske für (3)"},
    };
    for (const auto& [mask, message] : cases) {
        try {
            TMask m(mask);
            ADD_FAILURE() << mask << " accepted";
        } catch (const EMaskException& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(Mask, ThirtySkipStatesAtMost) {
    std::string ok;
    for (int i = 0; i < 30; ++i) ok += "*a";
    EXPECT_EQ(ErrorPosition(ok), 0);
    EXPECT_TRUE(MatchesMask(std::string(30, 'a'), ok));
    EXPECT_FALSE(MatchesMask(std::string(29, 'a'), ok));
    EXPECT_EQ(ErrorPosition(ok + "*a"), 62);  // the 31st literal
    EXPECT_EQ(ErrorPosition(ok + "*"), 62);   // the end state counts too: length + 1
}

// The search field takes texts past 32,767 characters: such a mask still
// matches whole texts only, and passes many short fields at once.
TEST(Mask, AMaskLongerThanQtsFieldLimitMatchesCorrectlyAndQuickly) {
    std::string text;
    for (int i = 0; text.size() < 40000; ++i) text += "Teil " + std::to_string(i) + "; ";
    std::string mask = text;
    mask[0] = '?';
    mask[30000] = '?';
    mask.replace(20000, 7, "*");
    ASSERT_GT(mask.size(), 32767u);
    const TMask compiled(mask);
    EXPECT_TRUE(compiled.Matches(text));
    EXPECT_FALSE(compiled.Matches(text.substr(0, text.size() - 1)));
    EXPECT_FALSE(compiled.Matches(text + "x"));
    EXPECT_FALSE(compiled.Matches(text.substr(1)));
    EXPECT_TRUE(compiled.Matches(text.substr(0, 20000) + "zwischendurch" + text.substr(20000)));
    EXPECT_TRUE(TMask(mask + "*").Matches(text + "x"));
    const TMask leadingSkip("*" + text);
    const std::string start100 = text.substr(0, 100);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100000; ++i) {
        ASSERT_FALSE(compiled.Matches("Teil " + std::to_string(i)));
        ASSERT_FALSE(leadingSkip.Matches(start100));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(Mask, PathologicalBacktrackingEnds) {
    std::string mask;
    for (int i = 0; i < 30; ++i) mask += "*a";
    EXPECT_FALSE(MatchesMask(std::string(200, 'a') + "b", mask + "c"));
}

}  // namespace
}  // namespace dorvanta

namespace dorvanta {
namespace {

// The classic matcher with its explicit stack of retries, over a tiny mask
// language (letters, ?, *, [ab], [!a]); the production matcher must agree.
struct OracleState {
    bool skip = false;
    char kind = 'E';  // L literal, A any, S set, E end
    std::string set;
    bool negate = false;
    char literal = 0;
    bool Accepts(char c) const {
        const char u = (c >= 'a' && c <= 'z') ? c - 32 : c;
        if (kind == 'L') return u == literal;
        if (kind == 'A') return true;
        if (kind == 'S') return (set.find(u) != std::string::npos) != negate;
        return false;
    }
};

std::vector<OracleState> OracleCompile(const std::string& mask) {
    std::vector<OracleState> states;
    bool skip = false;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        OracleState s;
        const char c = mask[i];
        if (c == '*') {
            skip = true;
            continue;
        }
        if (c == '?') {
            if (skip) continue;
            s.kind = 'A';
        } else if (c == '[') {
            s.kind = 'S';
            if (mask[i + 1] == '!') {
                s.negate = true;
                ++i;
            }
            for (++i; mask[i] != ']'; ++i) s.set += static_cast<char>(mask[i] - 32);
        } else {
            s.kind = 'L';
            s.literal = (c >= 'a' && c <= 'z') ? c - 32 : c;
        }
        s.skip = skip;
        skip = false;
        states.push_back(s);
    }
    OracleState end;
    end.skip = skip;
    states.push_back(end);
    return states;
}

bool OracleMatch(const std::vector<OracleState>& states, const std::string& text) {
    std::vector<std::pair<std::size_t, std::size_t>> stack;
    std::size_t p = 0, i = 0;
    for (;;) {
        bool ok = true;
        for (; i < states.size(); ++i) {
            const OracleState& s = states[i];
            if (s.skip) {
                while (p < text.size() && !s.Accepts(text[p])) ++p;
                if (p < text.size()) stack.push_back({p + 1, i});
            }
            if (s.kind == 'E') {
                ok = p == text.size();
                break;
            }
            if (p >= text.size() || !s.Accepts(text[p])) {
                ok = false;
                break;
            }
            ++p;
        }
        if (ok) return true;
        if (stack.empty()) return false;
        std::tie(p, i) = stack.back();
        stack.pop_back();
    }
}

// Masks whose runs between '*' are longer than 64 states, against texts made to
// match them or nearly: the matcher searches such runs a machine word at a time.
TEST(Mask, AgreesWithTheBacktrackingMatcherOnLongRuns) {
    std::mt19937 rng(11);
    const std::vector<std::string> pieces = {"a", "b", "?", "[ab]", "[!a]"};
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n)(rng); };
    for (int round = 0; round < 3000; ++round) {
        std::string mask, text;
        const int runs = pick(3) + 1;
        for (int r = 0; r < runs; ++r) {
            if (r > 0 || pick(1)) {
                mask += '*';
                for (int k = pick(5); k > 0; --k) text += "ab"[pick(1)];
            }
            const int length = std::array{1, 5, 63, 64, 65, 130}[pick(5)];
            for (int k = 0; k < length; ++k) {
                const std::string& piece = pieces[pick(4)];
                mask += piece;
                // A byte the piece accepts.
                if (piece == "a" || piece == "b") {
                    text += piece;
                } else {
                    text += piece == "[!a]" ? 'b' : "ab"[pick(1)];
                }
            }
        }
        if (pick(1)) mask += '*';
        if (pick(1) && !text.empty()) text[pick(static_cast<int>(text.size()) - 1)] ^= 3;  // a<->b
        ASSERT_EQ(MatchesMask(text, mask), OracleMatch(OracleCompile(mask), text))
            << "mask " << mask << " text " << text;
    }
}

// Matching takes one pass over the text per 64 states: a 1,000-character mask
// against a 10 MB text once took a minute. A set stop flag ends a match early.
TEST(Mask, ALongMaskAgainstALongTextTakesOnePass) {
    const std::string text(10 << 20, 'a');
    const std::string middle = "*" + std::string(997, 'a') + "?b*";
    struct Case {
        std::string mask;
        bool matches;
    };
    const Case cases[] = {
        {middle, false},
        {"*" + std::string(998, 'a') + "b", false},
        {"*" + std::string(999, 'a'), true},
        {"*" + std::string(999, 'a') + "*", true},
        {std::string(999, 'a') + "*", true},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(TMask(c.mask).Matches(text), c.matches);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
    const std::atomic<bool> stop{true};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(TMask(middle).Matches(text, &stop));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(Mask, AgreesWithTheBacktrackingMatcher) {
    std::mt19937 rng(7);
    const std::vector<std::string> maskParts = {"a", "b", "A", "?", "*", "**", "[ab]", "[!a]"};
    const std::string letters = "abAB";
    for (int round = 0; round < 20000; ++round) {
        std::string mask, text;
        const int parts = std::uniform_int_distribution<int>(0, 6)(rng);
        for (int k = 0; k < parts; ++k) mask += maskParts[rng() % maskParts.size()];
        const int len = std::uniform_int_distribution<int>(0, 8)(rng);
        for (int k = 0; k < len; ++k) text += letters[rng() % letters.size()];
        ASSERT_EQ(MatchesMask(text, mask), OracleMatch(OracleCompile(mask), text))
            << "mask " << mask << " text " << text;
    }
}

}  // namespace
}  // namespace dorvanta
