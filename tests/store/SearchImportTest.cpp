#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <random>
#include <tuple>

#include "store/Import.h"
#include "store/Mask.h"
#include "store/Search.h"
#include "store/StoreError.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

// Option letters: n names, T/V/I leave titles/values/info out, e exact, w no wildcard.
TSearchOptions Options(const std::string& letters) {
    auto has = [&](char c) { return letters.find(c) != std::string::npos; };
    return {has('n'), !has('T'), !has('V'), !has('I'), has('e'), !has('w')};
}

// The hits as "key.entry+source" (N T V I), then "!message" if the search threw.
std::string Search(const TDocument& doc, const std::string& text, const TSearchOptions& options) {
    std::vector<TSearchHit> hits{{9, 9, TSearchSource::Info}};  // appended to, never cleared
    std::string out;
    try {
        SearchDocument(doc, text, options, hits);
    } catch (const EMaskException& e) {
        out = std::string(" !") + e.what();
    }
    std::string list;
    for (std::size_t i = 1; i < hits.size(); ++i) {
        const TSearchHit& h = hits[i];
        list += " " + std::to_string(h.KeyIndex) +
                (h.DataIndex >= 0 ? "." + std::to_string(h.DataIndex) : "") +
                "NTVI"[static_cast<int>(h.Source)];
    }
    list += out;
    return hits[0].KeyIndex != 9 ? "cleared" : list.empty() ? list : list.substr(1);
}

TEST(Search, UpperCasesAsWindows1252) {
    EXPECT_EQ(UpperCaseCp1252("az\xE4\xF6\xFC\xE9\xFE\xF7\xDF\xB5\xFF\x9A\x9C\x9E\x8A\xC4 1"),
              "AZ\xC4\xD6\xDC\xC9\xDE\xF7\xDF\xB5\x9F\x8A\x8C\x8E\x8A\xC4 1");
}

TEST(Search, FindsBySubstringThenWholeMask) {
    TDocument doc;
    doc.Keys = {{"Konto []abc", "P", {{"ABC", "", "xABCx"}, {"aXYc", "zabcz", "a*c"}}},
                {"?", "P", {{"x", "\304B", "\344?"}}}};
    const std::array<const char*, 3> cases[] = {
        {"*", "n", "0N 0.0T 0.0V 0.0I 0.1T 0.1V 0.1I 1N 1.0T 1.0V 1.0I"},  // empty fields too
        {"a*c", "", "0.0T 0.1T 0.1I"},  // not zabcz; a*c literally
        {"a*c", "w", "0.1I"},
        {"?", "n", "1N 1.0T 1.0I"},
        {"abc", "n", "0N 0.0T 0.0I 0.1V"},  // the name first, then the entry fields
        {"abc", "e", "0.0T 0.1V"},          // ABC as a mask (a..z fold); xABCx not whole
        {"\344b", "", "1.0V"},
        {"\344b", "e", ""},          // ä against Ä: only a..z fold in the mask
        {"\304*", "", "1.0V 1.0I"},  // the mask sees the upper-cased field
        {"\304*", "e", "1.0V"},
        {"x", "nT", "0.0I"},
        {"x", "VI", "0.1T 1.0T"},
        {"x", "e", "0.0I 1.0T"},
        {"[", "n", "0N !'[' ist eine ungültige Maske für (2)"},  // fails at ABC
        {"[]", "n", "0N !'[]' ist eine ungültige Maske für (2)"},
        {"o [", "n", "0N !'O [' ist eine ungültige Maske für (4)"},  // the mask as used
        {"[", "nw", "0N"},                                           // the mask never compiled
    };
    for (const auto& [text, options, expected] : cases) {
        EXPECT_EQ(Search(doc, text, Options(options)), expected) << text << " /" << options;
    }
    std::vector<TSearchHit> hits;
    SearchDocument(doc, "abc", Options("n"), hits);
    std::string texts;
    for (const TSearchHit& h : hits) texts += HitText(doc, h) + "|";
    EXPECT_EQ(texts, "Konto []abc|ABC|xABCx|zabcz|");
}

// The search compiles the mask once; it must behave as MatchesMask field by field.
TEST(Search, AStopEndsTheSearchAndKeepsWhatItFound) {
    TDocument doc;
    doc.Keys = {{"K", "P", {{"a", "b", "c"}, {std::string(4 << 20, 'x'), "y", "z"}}}};
    std::atomic<bool> stop{false};
    std::vector<TSearchHit> hits;
    SearchDocument(doc, "*", TSearchOptions{}, hits, &stop);
    EXPECT_EQ(hits.size(), 6u);
    stop = true;
    hits.clear();
    SearchDocument(doc, "*", TSearchOptions{}, hits, &stop);
    EXPECT_TRUE(hits.empty());
    // Kept as found: the list is appended to, never emptied by a stop.
    hits = {{0, 0, TSearchSource::Title}};
    SearchDocument(doc, "*X*?Y*", TSearchOptions{}, hits, &stop);
    EXPECT_EQ(hits.size(), 1u);
}

// The stop is asked between entries and between the 1 MiB pieces of a long field:
// stopped at a chosen ask, the search has examined exactly that far.
TEST(Search, AStopIsNoticedBetweenEntriesAndBetweenPiecesOfAField) {
    TDocument oneHugeField;  // "B" only at the end of its fourth MiB
    oneHugeField.Keys = {{"K", "P", {{"t", std::string((4 << 20) - 1, 'x') + "b", "i"}}}};
    TDocument manyEntries;
    manyEntries.Keys = {{"K", "P", std::vector<TDataRec>(1000, {"a", "a", "a", 0.0})}};
    struct Case {
        const char* name;
        const TDocument& doc;
        const char* text;
        const char* options;
        int stopAtAsk;  // 0: never
        std::size_t hits;
        int asks;
    };
    const Case cases[] = {
        // Asks: the key, entry 0, then one per piece: the "b" lies in the fourth.
        {"huge field, unstopped", oneHugeField, "*b*", "TI", 0, 1, 6},
        {"huge field, stopped after its first piece", oneHugeField, "*b*", "TI", 4, 0, 4},
        // Asks: the key, then one per entry.
        {"many entries, unstopped", manyEntries, "a", "", 0, 3000, 1001},
        {"many entries, stopped after the first", manyEntries, "a", "", 3, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int asks = 0;
        TStopCheck stop;
        stop.Probe = [&] {
            ++asks;
            return c.stopAtAsk != 0 && asks >= c.stopAtAsk;
        };
        std::vector<TSearchHit> hits;
        SearchDocument(c.doc, c.text, Options(c.options), hits, stop);
        EXPECT_EQ(hits.size(), c.hits);
        EXPECT_EQ(asks, c.asks);
    }
}

TEST(Search, AgreesWithMatchesMaskFieldByField) {
    std::mt19937 rng(7);
    auto word = [&](int most) {
        std::string s(rng() % (most + 1), ' ');
        for (char& c : s) c = "aAb\xE4\xC4*?[]!-x"[rng() % 12];
        return s;
    };
    for (int round = 0; round < 1000; ++round) {
        TDocument doc;
        for (int k = rng() % 3; k > 0; --k) {
            doc.Keys.push_back({word(3), "P", {}});
            for (int e = rng() % 3; e > 0; --e)
                doc.Keys.back().Data.push_back({word(4), word(4), word(4)});
        }
        const std::string text = word(4);
        const TSearchOptions options{rng() % 2 == 0, rng() % 4 != 0, rng() % 4 != 0,
                                     rng() % 4 != 0, rng() % 2 == 0, rng() % 4 != 0};
        const auto up = [&](const std::string& s) {
            return options.Exact ? s : UpperCaseCp1252(s);
        };
        std::string expected;
        try {
            for (const TDataKey& key : doc.Keys) {
                auto test = [&](bool on, const std::string& f) {
                    return on && (up(f).find(up(text)) != std::string::npos ||
                                  (options.Wildcard && MatchesMask(up(f), up(text))));
                };
                const std::string k = std::to_string(&key - doc.Keys.data());
                if (test(options.Names, key.Name)) expected += " " + k + "N";
                for (const TDataRec& r : key.Data) {
                    const std::string e = k + "." + std::to_string(&r - key.Data.data());
                    if (test(options.Titles, r.Title)) expected += " " + e + "T";
                    if (test(options.Values, r.Value)) expected += " " + e + "V";
                    if (test(options.Info, r.Info)) expected += " " + e + "I";
                }
            }
        } catch (const EMaskException& e) {
            expected += std::string(" !") + e.what();
        }
        ASSERT_EQ(Search(doc, text, options), expected.empty() ? "" : expected.substr(1)) << round;
    }
}

TEST(Import, SplitsLinesAtEveryKindOfBreakUpToNul) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a\r\nb\n", {"a", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\rb\r", {"a", "", "b"}},
        {std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {std::string("\0a", 2), {}},
    };
    for (const auto& [bytes, lines] : cases) EXPECT_EQ(SplitImportLines(bytes), lines) << bytes;
}

TEST(Import, SplitsTitleValueAndTheRestAsInfo) {
    const std::tuple<const char*, char, const char*> cases[] = {
        {"a\tb\tc\td", '\t', "a|b|c\td"},
        {"\tx", '\t', "|x|"},
        {"a\t\tc", '\t', "a||c"},
        {"a\t", '\t', "a||"},
        {"", '\t', "||"},
        {"a b;c;d;", ';', "a b|c|d;"},
        {"a b;c d", ' ', "a|b;c|d"},
    };
    for (const auto& [line, separator, fields] : cases) {
        const TDataRec r = SplitImportLine(line, separator);
        EXPECT_EQ(r.Title + "|" + r.Value + "|" + r.Info, fields) << line;
    }
}

TEST(Import, AppendsWithOneTimeStampAndSortsOnceOrChangesNothing) {
    testing::TempDir dir;
    testing::WriteBytes(dir.File("in.txt"), "z\tv1\n\r\nb\ti\tx\ty\r\nA");
    testing::WriteBytes(dir.File("empty.txt"), "");
    testing::WriteBytes(dir.File("long.txt"), std::string(1000000, '\n'));
    testing::WriteBytes(dir.File("huge.txt"), "a\tb\n");
    std::filesystem::resize_file(dir.File("huge.txt"), 100ull << 30);  // sparse
    const std::array<std::string, 3> cases[] = {
        {"in.txt", ",7;A,7;b,7;c,1;m,1;z,7;|1", "4"},  // entries "title,date;", clock calls
        {"empty.txt", "c,1;m,1;|1", "0"},
        {"none.txt", "m,1;c,1;|0", "Datei " + dir.File("none.txt") + " kann nicht geöffnet werden"},
        {"", "m,1;c,1;|0", "Datei " + dir.File("") + " kann nicht geöffnet werden"},  // a folder
        {"long.txt", "m,1;c,1;|0",
         FormatMessage(kMsgTooManyLines, {dir.File("long.txt"), "1000000"})},
        {"huge.txt", "m,1;c,1;|0",
         FormatMessage(kMsgImportFileTooBig, {dir.File("huge.txt"), "256"})},
    };
    for (const auto& [file, entries, result] : cases) {
        TDocument doc;
        int calls = 0;
        doc.Now = [&] { return ++calls + 6.0; };
        doc.Keys = {{"K", "P", {{"m", "", "", 1.0}, {"c", "", "", 1.0}}}};
        std::string got;
        try {
            got = std::to_string(ImportEntries(doc, 0, dir.File(file), '\t'));
        } catch (const EStoreError& e) {
            got = e.what();
        }
        EXPECT_EQ(got, result);
        std::string list;
        for (const TDataRec& r : doc.Keys[0].Data)
            list += r.Title + "," + std::to_string(int(r.Date)) + ";";
        EXPECT_EQ(list + "|" + std::to_string(calls), entries) << file;
        EXPECT_EQ(doc.Modified, result.size() == 1) << file;
    }
}

TEST(Import, ReadsUtf8OrWindows1252AndRefusesWhatTheCodePageCannotHold) {
    // Bytes of the file; the entries "title|value|info;" in Windows-1252, or the message.
    const std::pair<std::string, std::string> cases[] = {
        {"\xEF\xBB\xBFp\xC3\xA4sswort\tw\xE2\x82\xAC", "p\xE4sswort|w\x80|;"},  // mark dropped
        {"\xC3\xBC\xC3\x9F\r\nx\t\xE2\x80\x9Eq\xE2\x80\x9C\t\xC2\x81",
         "\xFC\xDF||;x|\x84q\x93|\x81;"},
        {"M\xFCller\t\xE4\xF6\xDF", "M\xFCller|\xE4\xF6\xDF|;"},  // Windows-1252 umlauts
        {"a\tb\tc\td", "a|b|c\td;"},
        {"\xEF\xBB\xBF", ""},
        {std::string("\xC3\xA4\0\xFF", 4), "\xE4||;"},  // the text ends at NUL
        // Not UTF-8 somewhere: every byte as it stands.
        {"\xC3\xA4\t\xC5\x82\t\xE4", "\xC3\xA4|\xC5\x82|\xE4;"},
        {"\xC0\xAF", "\xC0\xAF||;"},                  // overlong
        {"\xED\xA0\x80", "\xED\xA0\x80||;"},          // a surrogate
        {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80||;"},  // beyond U+10FFFF
        {"a\xC3", "a\xC3||;"},                        // cut off
        // UTF-8 with a character Windows-1252 cannot hold.
        {"a\nb\r\nc\r\xC5\x82o",
         "!Zeile 4 der Datei „x.txt“ enthält das Zeichen „ł“, das nicht "
         "gespeichert werden kann. Es wurde nichts importiert."},
        {"\xC3\xA4\t\xF0\x9F\x98\x80\t\xE2\x80\x8B",
         "!Zeile 1 der Datei „x.txt“ enthält das Zeichen „😀“, das nicht gespeichert werden kann. "
         "Es wurde nichts importiert."},
        {"\xEF\xBB\xBF\n\n\xE2\x80\x8B",
         "!Zeile 3 der Datei „x.txt“ enthält das Zeichen „U+200B“, "
         "das nicht gespeichert werden kann. Es wurde nichts "
         "importiert."},
        {"\xEF\xBB\xBF\xC3\xA4\r\n\xE4",
         "!Die Datei „x.txt“ beginnt als UTF-8-Text, doch Zeile 2 "
         "ist kein gültiges UTF-8. Es wurde nichts importiert."},
    };
    for (const auto& [bytes, expected] : cases) {
        TDocument doc;
        doc.Keys = {{"K", "P", {}}};
        std::string got;
        try {
            ImportEntriesFromBytes(doc, 0, bytes, "x.txt", '\t');
            for (const TDataRec& r : doc.Keys[0].Data)
                got += r.Title + "|" + r.Value + "|" + r.Info + ";";
        } catch (const EStoreError& e) {
            got = std::string("!") + e.what();
            EXPECT_TRUE(doc.Keys[0].Data.empty() && !doc.Modified) << bytes;
        }
        EXPECT_EQ(got, expected) << bytes;
    }
}

}  // namespace
}  // namespace dorvanta
