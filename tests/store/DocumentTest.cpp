#include <gtest/gtest.h>

#include "store/Collation.h"
#include "store/Cp1252.h"
#include "store/Document.h"
#include "support/SortCases.h"

namespace dorvanta {
namespace {

std::vector<std::string> Titles(const TDataKey& key) {
    std::vector<std::string> out;
    for (const auto& rec : key.Data) out.push_back(rec.Title);
    return out;
}

std::vector<std::string> Parents(const TDocument& doc) {
    std::vector<std::string> out;
    for (const auto& key : doc.Keys) out.push_back(key.Parent);
    return out;
}

// The orders must hold both under a German locale and under C/POSIX, where
// the root collation stands in.
class DocumentOrder : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { SetCollationLocale(GetParam()); }
    void TearDown() override { SetCollationLocale(""); }
};

TEST_P(DocumentOrder, EntryTitlesIgnoreCase) {
    TDocument doc;
    doc.Now = [] { return 1.0; };
    const int k = doc.AddKey("P", "K");
    for (const char* t : {"Zeta", "alpha", "Beta"}) doc.AddEntry(k, t, "", "");
    EXPECT_EQ(Titles(doc.Keys[k]), (std::vector<std::string>{"alpha", "Beta", "Zeta"}));
    EXPECT_EQ(doc.Keys[k].Data[0].Date, 1.0);
}

TEST_P(DocumentOrder, ParentsAreCaseSensitiveAndGroupedByBytes) {
    TDocument doc;
    doc.AddKey("Bank", "x");
    doc.AddKey("bank", "y");
    doc.AddKey("Bank", "z");
    ASSERT_EQ(doc.Keys.size(), 3u);
    // Two groups: both Bank keys together, bank apart.
    const auto parents = Parents(doc);
    EXPECT_EQ(std::count(parents.begin(), parents.end(), "Bank"), 2);
    int starts = 0;
    for (int i = 0; i < 3; ++i) starts += doc.IsGroupStart(i);
    EXPECT_EQ(starts, 2);
}

TEST_P(DocumentOrder, GermanUmlautsSortAmongTheirLetters) {
    TDocument doc;
    for (const char* p : {"Zins", "\xC4pfel", "Birne", "Apfel"}) doc.AddKey(p, "k");
    // A with umlaut sorts beside A, not after Z as its byte value would.
    EXPECT_EQ(Parents(doc), (std::vector<std::string>{"Apfel", "\xC4pfel", "Birne", "Zins"}));
}

TEST_P(DocumentOrder, KeyNamesUseAsciiCaseInsensitiveOrder) {
    TDocument doc;
    doc.AddKey("P", "beta");
    doc.AddKey("P", "Alpha");
    doc.AddKey("P", "\xE4pfel");  // umlaut sorts by byte value, after z
    doc.AddKey("P", "zulu");
    std::vector<std::string> names;
    for (const auto& k : doc.Keys) names.push_back(k.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "zulu", "\xE4pfel"}));
}

// Texts that differ only by accent, only by case, or by both, sorted as entry
// titles (case ignored, accents not) and as parents (neither ignored).
TEST_P(DocumentOrder, AccentsAndCaseDecideAtTheirCollationLevels) {
    for (const testing::TSortCase& c : testing::kAccentAndCaseCases) {
        std::vector<TDataRec> entries;
        std::vector<TDataKey> keys;
        for (const std::string& text : testing::SortCaseWords(c.List)) {
            entries.push_back({text, "", "", 0.0});
            keys.push_back({"k", text, {}});
        }
        SortEntryList(entries);
        SortKeyList(keys);
        std::string titles, parents;
        for (const TDataRec& e : entries) titles += (titles.empty() ? "" : " ") + e.Title;
        for (const TDataKey& k : keys) parents += (parents.empty() ? "" : " ") + k.Parent.str();
        EXPECT_EQ(Cp1252ToUtf8(titles), c.Titles) << c.List;
        EXPECT_EQ(Cp1252ToUtf8(parents), c.Parents) << c.List;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, DocumentOrder, ::testing::Values("root", "de_DE"));

TEST(Document, AddKeyWithDuplicateReturnsTheFirstEqualKey) {
    TDocument doc;
    const int first = doc.AddKey("P", "abc");
    doc.Keys[first].Data.push_back({"marker", "", "", 0});
    const int second = doc.AddKey("P", "abc");
    EXPECT_EQ(doc.Keys.size(), 2u);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(doc.Modified);
}

TEST(Document, UpdateKeyMovesEntriesWithTheKey) {
    TDocument doc;
    doc.AddKey("A", "one");
    const int k = doc.AddKey("B", "two");
    doc.AddEntry(k, "t", "v", "i");
    const int moved = doc.UpdateKey(k, "0", "two");
    EXPECT_EQ(moved, 0);
    ASSERT_EQ(doc.Keys[0].Data.size(), 1u);
    EXPECT_EQ(doc.Keys[0].Data[0].Value, "v");
}

TEST(Document, RenameParentRenamesTheWholeRunAroundTheKey) {
    TDocument doc;
    for (const char* n : {"a", "b", "c"}) doc.AddKey("G", n);
    doc.AddKey("Z", "d");
    doc.Modified = false;
    EXPECT_FALSE(doc.RenameParent(1, "G"));
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(doc.RenameParent(1, "H"));
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(Parents(doc), (std::vector<std::string>{"H", "H", "H", "Z"}));
    // Renaming onto another group's name merges the groups.
    EXPECT_TRUE(doc.RenameParent(3, "H"));
    EXPECT_EQ(Parents(doc), (std::vector<std::string>{"H", "H", "H", "H"}));
}

TEST(Document, RenameParentOnlyTouchesTheUnbrokenRun) {
    TDocument doc;
    doc.Keys = {{"a", "G", {}}, {"b", "X", {}}, {"c", "G", {}}};  // unsorted on purpose
    EXPECT_TRUE(doc.RenameParent(2, "A"));
    EXPECT_EQ(Parents(doc), (std::vector<std::string>{"A", "G", "X"}));
}

// The keys of a group share one parent text whichever operation put them there;
// grouping still goes by the bytes, so a text made apart still joins its group.
TEST(Document, GroupsShareOneParentText) {
    TDocument doc;
    doc.AddKey("Bank", "a");
    doc.AddKey(std::string("Bank"), "b");
    doc.UpdateKey(doc.AddKey("Mail", "c"), "Bank", "c");
    doc.AddKey("Alpha", "x");  // moves the group along
    auto groupShares = [&](std::size_t first, std::size_t last) {
        bool shared = true;
        for (std::size_t k = first; k <= last; ++k) {
            shared = shared && doc.Keys[k].Parent.SharesWith(doc.Keys[first].Parent);
        }
        return shared;
    };
    ASSERT_EQ(Parents(doc), (std::vector<std::string>{"Alpha", "Bank", "Bank", "Bank"}));
    EXPECT_TRUE(groupShares(1, 3));
    doc.Keys[3].Parent = std::string("Bank");  // a copy of its own
    EXPECT_FALSE(doc.IsGroupStart(3));
    EXPECT_TRUE(doc.RenameParent(3, "Konto"));
    EXPECT_EQ(Parents(doc), (std::vector<std::string>{"Alpha", "Konto", "Konto", "Konto"}));
    EXPECT_TRUE(groupShares(1, 3));
    EXPECT_FALSE(doc.Keys[0].Parent.SharesWith(doc.Keys[1].Parent));
}

TEST(Document, GroupStartsAndDeletion) {
    TDocument doc;
    doc.AddKey("P", "only");
    EXPECT_TRUE(doc.IsGroupStart(0));
    doc.AddKey("P", "second");
    EXPECT_FALSE(doc.IsGroupStart(1));
    doc.AddEntry(0, "t", "", "");
    doc.Modified = false;
    doc.DeleteEntry(0, 0);
    EXPECT_TRUE(doc.Keys[0].Data.empty());
    EXPECT_TRUE(doc.Modified);
    doc.DeleteKey(1);
    doc.DeleteKey(0);
    EXPECT_TRUE(doc.Keys.empty());
}

TEST(Document, FindEntryIsExact) {
    TDocument doc;
    const int k = doc.AddKey("P", "K");
    doc.AddEntry(k, "PIN", "1234", "");
    EXPECT_EQ(doc.FindEntry(k, "PIN"), 0);
    EXPECT_EQ(doc.FindEntry(k, "pin"), -1);
}

TEST(Document, UpdateEntryRestampsAndResorts) {
    TDocument doc;
    double clock = 1.0;
    doc.Now = [&] { return clock; };
    const int k = doc.AddKey("P", "K");
    doc.AddEntry(k, "a", "", "");
    doc.AddEntry(k, "b", "", "");
    clock = 2.0;
    EXPECT_EQ(doc.UpdateEntry(k, 0, "c", "v", "i"), 1);  // its place after the re-sort
    EXPECT_EQ(Titles(doc.Keys[k]), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(doc.Keys[k].Data[1].Date, 2.0);
    EXPECT_EQ(doc.Keys[k].Data[0].Date, 1.0);
}

TEST(Document, ClearKeepsLoading) {
    TDocument doc;
    doc.AddKey("P", "K");
    doc.SetPassword("x");
    doc.Loading = true;
    doc.ClearDocument();
    EXPECT_TRUE(doc.Keys.empty());
    EXPECT_TRUE(doc.Password.empty());
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(doc.Loading);
}

TEST(Document, SetPasswordAlwaysMarksModified) {
    TDocument doc;
    doc.SetPassword("");
    EXPECT_TRUE(doc.Modified);
}

TEST(Collation, LocaleComesFromTheEnvironment) {
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    setenv("LC_ALL", "de_DE.UTF-8@euro", 1);
    EXPECT_EQ(CollationLocaleFromEnvironment(), "de_DE");
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(CollationLocaleFromEnvironment(), "");
    setenv("LC_ALL", "POSIX", 1);
    EXPECT_EQ(CollationLocaleFromEnvironment(), "");
    if (saved)
        setenv("LC_ALL", keep.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(Collation, AsciiCaseInsensitiveOrder) {
    EXPECT_EQ(CompareAsciiCI("abc", "ABC"), 0);
    EXPECT_LT(CompareAsciiCI("ab", "ABC"), 0);
    EXPECT_GT(CompareAsciiCI("\xE4", "z"), 0);
    EXPECT_GT(CompareAsciiCI("[", "a"), 0);
}

}  // namespace
}  // namespace dorvanta
