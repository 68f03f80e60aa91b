#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "store/DateTime.h"
#include "store/Merge.h"

namespace dorvanta {
namespace {

// 12:00 on the given day of March 2026.
double March(int day) {
    return EncodeDateTime({2026, 3, day, 12, 0});
}

std::string Trim(const std::string& text) {
    const auto from = text.find_first_not_of(' ');
    return from == std::string::npos ? ""
                                     : text.substr(from, text.find_last_not_of(' ') + 1 - from);
}

// "pw:secret; A/k: Konto=1@5, Bank=2@5; B/m:" — entry title=value@day of March.
TDocument Doc(const std::string& outline) {
    TDocument doc;
    std::istringstream keys(outline);
    for (std::string part; std::getline(keys, part, ';');) {
        part = Trim(part);
        if (part.empty()) continue;
        if (part.starts_with("pw:")) {
            doc.Password = part.substr(3);
            continue;
        }
        const auto slash = part.find('/'), colon = part.find(':');
        TDataKey key{part.substr(slash + 1, colon - slash - 1), part.substr(0, slash), {}};
        std::istringstream entries(part.substr(colon + 1));
        for (std::string e; std::getline(entries, e, ',');) {
            e = Trim(e);
            const auto eq = e.find('='), at = e.find('@');
            key.Data.push_back({e.substr(0, eq), e.substr(eq + 1, at - eq - 1), "",
                                March(std::stoi(e.substr(at + 1)))});
        }
        doc.Keys.push_back(std::move(key));
    }
    return doc;
}

std::string Dump(const TDocument& doc) {
    std::string out = doc.Password.empty() ? "" : "pw:" + doc.Password;
    for (const TDataKey& key : doc.Keys) {
        out += (out.empty() ? "" : "; ") + key.Parent.str() + "/" + key.Name + ":";
        for (std::size_t i = 0; i < key.Data.size(); ++i) {
            const TDataRec& rec = key.Data[i];
            out += (i ? ", " : " ") + rec.Title + "=" + rec.Value + "@" +
                   std::to_string(DecodeDateTime(rec.Date).day);
        }
    }
    return out;
}

struct MergeCase {
    const char* name;
    const char* base;  // nullptr: MergeWithoutBase
    const char* ours;
    const char* theirs;
    const char* expected;
    const char* summary;
};

const MergeCase kCases[] = {
    {"theirs adds", "A/k: x=1@1", "A/k: x=1@1", "A/k: x=1@1, y=2@2", "A/k: x=1@1, y=2@2",
     "1 Eintrag übernommen"},
    {"both change other entries of one key", "A/k: x=1@1, y=2@1", "A/k: x=9@2, y=2@1",
     "A/k: x=1@1, y=8@3, z=3@3", "A/k: x=9@2, y=8@3, z=3@3", "2 Einträge übernommen"},
    {"the same change on both sides once", "A/k: x=1@1", "A/k: n=5@2, x=2@2", "A/k: x=2@2",
     "A/k: n=5@2, x=2@2", "0 Einträge übernommen"},
    {"both changed: ours later", "A/k: Konto=1@1", "A/k: Konto=2@5", "A/k: Konto=3@4",
     "A/k: Konto=2@5, Konto (Konflikt vom 04.03.2026 12:00)=3@4",
     "0 Einträge übernommen, 1 Konflikt"},
    {"both changed: theirs later, both added one title", "A/k: Konto=1@1",
     "A/k: Konto=2@4, Neu=1@6", "A/k: Konto=3@5, Neu=2@7",
     "A/k: Konto=3@5, Konto (Konflikt vom 04.03.2026 12:00)=2@4, Neu=2@7, "
     "Neu (Konflikt vom 06.03.2026 12:00)=1@6",
     "0 Einträge übernommen, 2 Konflikte"},
    {"deleted in ours, changed in theirs", "A/k: x=1@1, y=1@1", "A/k: y=1@1, z=1@1",
     "A/k: x=2@2, y=1@1", "A/k: x=2@2, y=1@1, z=1@1", "0 Einträge übernommen, 1 Konflikt"},
    {"changed in ours, deleted in theirs", "A/k: x=1@1, y=1@1", "A/k: x=2@2, y=1@1",
     "A/k: y=1@1, z=1@1", "A/k: x=2@2, y=1@1, z=1@1", "1 Eintrag übernommen, 1 Konflikt"},
    {"theirs deletes", "A/k: x=1@1, y=1@1", "A/k: x=1@1, y=1@1, z=1@2", "A/k: y=1@1",
     "A/k: y=1@1, z=1@2", "1 Eintrag übernommen"},
    {"equal titles pair in order", "A/k: K=a@1, K=b@1", "A/k: K=a@1, K=b2@2", "A/k: K=a2@3, K=b@1",
     "A/k: K=a2@3, K=b2@2", "1 Eintrag übernommen"},
    {"equal entries: each side deletes one", "A/k: K=a@1, K=a@1, K=a@1", "A/k: K=a@1, K=a@1, L=1@1",
     "A/k: K=a@1, K=a@1", "A/k: K=a@1, K=a@1, L=1@1", "0 Einträge übernommen"},
    {"empty base, both add the same", "", "A/k: x=1@1",
     "A/k: x=1@1; A/m:", "A/k: x=1@1; A/m:", "0 Einträge, 1 Unterrubrik übernommen"},
    {"theirs empties the collection", "A/k: x=1@1; B/k:", "A/k: x=1@1; B/k:", "", "",
     "1 Eintrag, 2 Unterrubriken übernommen"},
    {"keys added on both sides sort", "A/k: x=1@1", "A/k: x=1@1; A/z:", "A/a:; A/k: x=1@1",
     "A/a:; A/k: x=1@1; A/z:", "0 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in ours, theirs adds in it", "A/k: x=1@1", "B/k: x=1@1", "A/k: x=1@1, y=2@2",
     "B/k: x=1@1, y=2@2", "1 Eintrag übernommen"},
    {"parent renamed in theirs, ours adds in it", "A/k: x=1@1; A/m: z=1@1",
     "A/k: x=1@1, y=2@2; A/m: z=1@1", "B/k: x=1@1; B/m: z=1@1", "B/k: x=1@1, y=2@2; B/m: z=1@1",
     "0 Einträge, 2 Unterrubriken übernommen"},
    {"parent renamed on both sides", "A/k: x=1@1", "B/k: x=1@1", "C/k: x=1@1", "B/k: x=1@1",
     "0 Einträge übernommen, 1 Konflikt"},
    {"key deleted in theirs keeps ours' new entry", "A/k: x=1@1, w=1@1", "A/k: w=1@1, x=1@1, y=2@2",
     "", "A/k: y=2@2", "0 Einträge übernommen, 1 Konflikt"},
    {"key deleted in ours keeps theirs' change", "A/k: x=1@1, w=1@1; A/m: z=1@1", "A/m: z=1@1",
     "A/k: w=1@1, x=3@3; A/m: z=1@1", "A/k: x=3@3; A/m: z=1@1",
     "0 Einträge übernommen, 1 Konflikt"},
    {"parent renamed in ours, a key deleted and another changed in theirs",
     "Bank/A: x=1@1; Bank/B: y=1@1", "Geld/A: x=1@1; Geld/B: y=1@1", "Bank/A: x=2@2",
     "Geld/A: x=2@2", "2 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in theirs, a key deleted and another changed in ours",
     "Bank/A: x=1@1; Bank/B: y=1@1", "Bank/A: x=2@2", "Geld/A: x=1@1; Geld/B: y=1@1",
     "Geld/A: x=2@2", "0 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in ours, the only key emptied and one deleted in theirs", "Bank/A:; Bank/B:",
     "Geld/A:; Geld/B:", "Bank/A:", "Geld/A:", "0 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in ours onto an existing one, a key deleted in theirs",
     "Bank/A: x=1@1; Bank/B: y=1@1; Geld/C: z=1@1", "Geld/A: x=1@1; Geld/B: y=1@1; Geld/C: z=1@1",
     "Bank/A: x=2@2; Geld/C: z=1@1", "Geld/A: x=2@2; Geld/C: z=1@1",
     "2 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in theirs onto an existing one, a key deleted in ours",
     "Bank/A: x=1@1; Bank/B: y=1@1; Geld/C: z=1@1", "Bank/A: x=2@2; Geld/C: z=1@1",
     "Geld/A: x=1@1; Geld/B: y=1@1; Geld/C: z=1@1", "Geld/A: x=2@2; Geld/C: z=1@1",
     "0 Einträge, 1 Unterrubrik übernommen"},
    {"parent renamed in ours, a key added under the old name, a key deleted in theirs",
     "Bank/A: x=1@1; Bank/B: y=1@1", "Bank/N:; Geld/A: x=1@1; Geld/B: y=1@1", "Bank/A: x=2@2",
     "Bank/N:; Geld/A: x=2@2", "2 Einträge, 1 Unterrubrik übernommen"},
    {"password changed in ours", "pw:a", "pw:b", "pw:a", "pw:b", "0 Einträge übernommen"},
    {"password changed in theirs", "pw:a", "pw:a", "pw:c", "pw:c", "0 Einträge übernommen"},
    {"password changed on both sides", "pw:a", "pw:b", "pw:c", "pw:b",
     "0 Einträge übernommen, 1 Konflikt"},
    {"without base: by date", nullptr, "pw:a; A/k: Konto=1@2, x=1@1", "A/k: Konto=2@3, y=1@1",
     "pw:a; A/k: Konto=2@3, Konto (Konflikt vom 02.03.2026 12:00)=1@2, x=1@1, y=1@1",
     "1 Eintrag übernommen, 2 Konflikte"},
};

TEST(Merge, Cases) {
    for (const MergeCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const TMergeResult r = c.base ? Merge(Doc(c.base), Doc(c.ours), Doc(c.theirs))
                                      : MergeWithoutBase(Doc(c.ours), Doc(c.theirs));
        EXPECT_EQ(Dump(r.Document), c.expected);
        EXPECT_EQ(MergeSummary(r), c.summary);
    }
}

TEST(Merge, ConflictLinesAndSummaryPlurals) {
    const TMergeResult r =
        Merge(Doc("pw:a; A/k: Konto=1@1, x=1@1, y=1@1"), Doc("pw:b; A/k: Konto=2@4, y=1@1"),
              Doc("pw:c; A/k: Konto=3@5, x=2@2; \xC4rger/m: q=1@1"));
    std::vector<std::string> lines;
    for (const auto& c : r.Conflicts) lines.push_back(ConflictLine(c));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "„A“ / „k“: „Konto“ wurde auf beiden Seiten geändert; die ältere Fassung "
                         "steht als „Konto (Konflikt vom 04.03.2026 12:00)“ daneben.",
                         "„A“ / „k“: „x“ wurde auf einer Seite gelöscht und auf der anderen "
                         "geändert; der geänderte Eintrag bleibt.",
                         "Das Passwort wurde auf beiden Seiten geändert; das Passwort dieses "
                         "Fensters bleibt."}));
    EXPECT_EQ(MergeSummary(r), "2 Einträge, 1 Unterrubrik übernommen, 3 Konflikte");
    EXPECT_EQ(ConflictLine({TMergeConflict::TKind::KeyDeletedEntriesKept, "\xC4rger", "m", "", ""}),
              "Die Unterrubrik „Ärger“ / „m“ wurde auf einer Seite gelöscht; die auf der anderen "
              "Seite hinzugefügten oder geänderten Einträge bleiben.");
}

bool Same(const TDocument& a, const TDocument& b) {
    const auto sameRec = [](const TDataRec& x, const TDataRec& y) {
        return x.Title == y.Title && x.Value == y.Value && x.Info == y.Info && x.Date == y.Date;
    };
    return a.Password == b.Password &&
           std::equal(a.Keys.begin(), a.Keys.end(), b.Keys.begin(), b.Keys.end(),
                      [&](const TDataKey& x, const TDataKey& y) {
                          return x.Parent == y.Parent && x.Name == y.Name &&
                                 std::equal(x.Data.begin(), x.Data.end(), y.Data.begin(),
                                            y.Data.end(), sameRec);
                      });
}

// A few random edits through the document's own operations, each write a new value.
void Edit(TDocument& doc, std::mt19937& rng, int& serial) {
    static const char* kTitles[] = {"Konto", "konto", "Bank", "\xD6l", "B\xE4ume"};
    static const char* kNames[] = {"k", "K", "m", "\xFC"};
    static const char* kParents[] = {"A", "\xC4", "B", "a"};
    doc.Now = [&serial] { return March(1) + serial / 1000.0; };
    const auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(rng() % n); };
    for (int edits = pick(6); edits-- > 0;) {
        const std::string value = "v" + std::to_string(++serial);
        const int op = pick(doc.Keys.empty() ? 1 : 7);
        if (op == 0) {
            doc.AddKey(kParents[pick(4)], kNames[pick(4)]);
            continue;
        }
        const std::int32_t key = pick(doc.Keys.size());
        const std::size_t entries = doc.Keys[key].Data.size();
        if (op == 1) {
            doc.DeleteKey(key);
        } else if (op == 2) {
            doc.RenameParent(key, kParents[pick(4)] + std::string(pick(2) ? "" : "2"));
        } else if (op <= 4 || entries == 0) {
            doc.AddEntry(key, kTitles[pick(5)], value, "i");
        } else if (op == 5) {
            doc.UpdateEntry(key, pick(entries), kTitles[pick(5)], value, "j");
        } else {
            doc.DeleteEntry(key, pick(entries));
        }
    }
}

void ExpectSorted(TDocument doc) {
    for (const auto& moved : {SortKeyList(doc.Keys)}) {
        for (std::size_t i = 0; i < moved.size(); ++i) ASSERT_EQ(moved[i], i);
    }
    for (TDataKey& key : doc.Keys) {
        const auto moved = SortEntryList(key.Data);
        for (std::size_t i = 0; i < moved.size(); ++i) ASSERT_EQ(moved[i], i) << key.Name;
    }
}

// Every value a side wrote that it still holds reaches the result.
void ExpectWritesKept(const TDocument& result, const TDocument& side, const TDocument* base) {
    std::multiset<std::string> had, got;
    if (base) {
        for (const auto& key : base->Keys)
            for (const auto& rec : key.Data) had.insert(rec.Value);
    }
    for (const auto& key : result.Keys)
        for (const auto& rec : key.Data) got.insert(rec.Value);
    for (const auto& key : side.Keys) {
        for (const auto& rec : key.Data) {
            if (!had.contains(rec.Value)) {
                ASSERT_TRUE(got.contains(rec.Value)) << rec.Value;
            }
        }
    }
}

// Two sub-categories of one parent and name: they pair in their order, whatever
// their entries, so which one a side deleted is not told.
bool HasTwins(const TDocument& doc) {
    return std::adjacent_find(doc.Keys.begin(), doc.Keys.end(),
                              [](const TDataKey& a, const TDataKey& b) {
                                  return a.Parent == b.Parent && a.Name == b.Name;
                              }) != doc.Keys.end();
}

// One side renames a parent while the other deletes a sub-category of its group
// (or the renamed one itself), which it returns; the random edits come after.
TDataKey RenameAndDelete(TDocument& renaming, TDocument& deleting, std::mt19937& rng) {
    if (renaming.Keys.empty()) return {};
    static const char* kParents[] = {"A", "\xC4", "B", "Neu"};
    const std::size_t renamed = rng() % renaming.Keys.size();
    std::size_t first = renamed, last = renamed;
    const auto& keys = renaming.Keys;
    while (first > 0 && keys[first - 1].Parent == keys[renamed].Parent) --first;
    while (last + 1 < keys.size() && keys[last + 1].Parent == keys[renamed].Parent) ++last;
    const std::size_t deleted = first + rng() % (last - first + 1);
    TDataKey gone = deleting.Keys[deleted];
    deleting.DeleteKey(static_cast<std::int32_t>(deleted));
    renaming.RenameParent(static_cast<std::int32_t>(renamed), kParents[rng() % 4]);
    return HasTwins(renaming) ? TDataKey{} : gone;
}

// That sub-category, left as it was by the renaming side (but for its parent), is
// gone from the result under whatever name: none of its entries' values (each
// written once) is found there.
void ExpectDeletedStayGone(const TDocument& result, const TDataKey& deleted,
                           const TDocument& renaming) {
    const auto sameEntries = [](const TDataRec& a, const TDataRec& b) {
        return a.Title == b.Title && a.Value == b.Value;
    };
    const bool unchanged =
        std::any_of(renaming.Keys.begin(), renaming.Keys.end(), [&](const TDataKey& k) {
            return k.Name == deleted.Name &&
                   std::equal(k.Data.begin(), k.Data.end(), deleted.Data.begin(),
                              deleted.Data.end(), sameEntries);
        });
    if (deleted.Data.empty() || !unchanged || HasTwins(renaming)) return;
    for (const TDataKey& key : result.Keys) {
        for (const TDataRec& rec : key.Data) {
            ASSERT_FALSE(std::any_of(deleted.Data.begin(), deleted.Data.end(),
                                     [&](const TDataRec& d) { return d.Value == rec.Value; }))
                << deleted.Parent.str() << "/" << deleted.Name << " came back in " << Dump(result);
        }
    }
}

TEST(Merge, RandomEditsOnBothSides) {
    for (unsigned seed = 1; seed <= 1000; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        int serial = 0;
        TDocument base;
        for (int i = 0; i < 4; ++i) Edit(base, rng, serial);
        TDocument ours = base, theirs = base;
        const bool ourRename = rng() % 2;
        TDocument& renaming = ourRename ? ours : theirs;
        const TDataKey deleted =
            rng() % 2 ? RenameAndDelete(renaming, ourRename ? theirs : ours, rng) : TDataKey{};
        Edit(ours, rng, serial);
        Edit(theirs, rng, serial);
        if (rng() % 4 == 0) ours.Password = "o";
        for (const TDocument* x : {&ours, &theirs}) {
            ASSERT_TRUE(Same(Merge(base, *x, base).Document, *x));
            ASSERT_TRUE(Same(Merge(base, base, *x).Document, *x));
            ASSERT_TRUE(Same(Merge(base, *x, *x).Document, *x));
            ASSERT_TRUE(Same(MergeWithoutBase(*x, *x).Document, *x));
        }
        const TMergeResult r = Merge(base, ours, theirs);
        ExpectSorted(r.Document);
        ExpectWritesKept(r.Document, ours, &base);
        ExpectWritesKept(r.Document, theirs, &base);
        ExpectDeletedStayGone(r.Document, deleted, renaming);
        const TMergeResult two = MergeWithoutBase(ours, theirs);
        ExpectSorted(two.Document);
        ExpectWritesKept(two.Document, ours, nullptr);
        ExpectWritesKept(two.Document, theirs, nullptr);
    }
}

}  // namespace
}  // namespace dorvanta
