// The production sorts must give exactly the sequence of the exchange procedure,
// ties included. The procedure itself, with direct collator comparisons, is the oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "store/Collation.h"
#include "store/Document.h"
#include "store/ExchangeOrder.h"
#include "store/Import.h"

namespace dorvanta {
namespace {

template <typename T, typename After>
void ExchangeOracle(std::vector<T>& items, After after) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (after(items[i], items[j])) std::swap(items[i], items[j]);
        }
    }
}

bool KeyAfter(const TDataKey& a, const TDataKey& b) {
    const int c = ParentCollator().Compare(a.Parent.str(), b.Parent.str());
    return c > 0 || (c == 0 && CompareAsciiCI(a.Name, b.Name) > 0);
}

bool EntryAfter(const TDataRec& a, const TDataRec& b) {
    return TitleCollator().Compare(a.Title, b.Title) > 0;
}

std::string Pick(std::mt19937& rng, const std::vector<std::string>& pool) {
    return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
}

class SortOracle : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { SetCollationLocale(GetParam()); }
    void TearDown() override { SetCollationLocale(""); }
};

// Small pools make ties frequent: equal titles in other cases, identical titles
// with different values, accents, empty texts.
const std::vector<std::string> kWords = {"a",      "A",    "b",  "B", "abc", "ABC",  "Abc",
                                         "\xE4",   "\xC4", "ae", "",  "z",   "Bank", "bank",
                                         "b\xE4r", "Bar",  "10", "9", " x",  "x"};

TEST_P(SortOracle, EntriesMatchTheExchangeProcedure) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
        std::vector<TDataRec> items;
        for (std::size_t i = 0; i < n; ++i) {
            // Odd rounds: a sorted list with a few items appended, as after additions.
            if (round % 2 == 1 && i == n - n / 4) ExchangeOracle(items, EntryAfter);
            items.push_back({Pick(rng, kWords), std::to_string(i), "", 0});
        }
        const std::vector<TDataRec> input = items;
        std::vector<TDataRec> expected = items;
        ExchangeOracle(expected, EntryAfter);
        const auto from = SortEntryList(items);
        ASSERT_EQ(items.size(), expected.size());
        ASSERT_EQ(from.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(items[i].Value, expected[i].Value) << "round " << round << " pos " << i;
            ASSERT_EQ(items[i].Value, input[from[i]].Value) << "round " << round;
        }
    }
}

TEST_P(SortOracle, KeysMatchTheExchangeProcedure) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
        std::vector<TDataKey> items;
        for (std::size_t i = 0; i < n; ++i) {
            TDataKey key{Pick(rng, kWords), Pick(rng, kWords), {}};
            key.Data.push_back({std::to_string(i), "", "", 0});  // identity travels with the key
            items.push_back(std::move(key));
        }
        std::vector<TDataKey> expected = items;
        ExchangeOracle(expected, KeyAfter);
        SortKeyList(items);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(items[i].Data[0].Title, expected[i].Data[0].Title)
                << "round " << round << " pos " << i;
        }
    }
}

TEST_P(SortOracle, EqualNamesUnderOneParentAreNeverSwappedDirectly) {
    std::vector<TDataKey> keys = {{"abc", "P", {{"1", "", "", 0}}},
                                  {"ABC", "P", {{"2", "", "", 0}}}};
    SortKeyList(keys);
    EXPECT_EQ(keys[0].Data[0].Title, "1");
}

INSTANTIATE_TEST_SUITE_P(Locales, SortOracle, ::testing::Values("root", "de_DE"));

// The procedure itself on integer ranks, tracking where each item came from.
std::vector<std::uint32_t> LiteralExchangeOrder(std::vector<std::uint32_t> rank) {
    std::vector<std::uint32_t> from(rank.size());
    for (std::uint32_t i = 0; i < from.size(); ++i) from[i] = i;
    for (std::size_t i = 0; i < rank.size(); ++i) {
        for (std::size_t j = i + 1; j < rank.size(); ++j) {
            if (rank[i] > rank[j]) {
                std::swap(rank[i], rank[j]);
                std::swap(from[i], from[j]);
            }
        }
    }
    return from;
}

// Heavy ties and the shapes whose members travel far: all equal, reversed pairs (then a
// descending run: one far member per class), a sorted run with one item appended,
// one class before all smaller items, and large inputs.
// The document keeps the collation keys of sorted entries for the next sort; a
// random run of entry and key operations must give exactly the orders of fresh sorts.
TEST_P(SortOracle, KeptSortKeysNeverChangeAnOrder) {
    std::mt19937 rng(11);
    const std::vector<std::string> titles = {"a", "A", "b", "B", "\xE4", "\xC4", "ab", "Ab", "z"};
    TDocument doc;
    doc.Now = [] { return 1.0; };
    for (int k = 0; k < 3; ++k) doc.Keys.push_back({"K" + std::to_string(k), "P", {}});
    for (int step = 0; step < 3000; ++step) {
        const int key = static_cast<int>(rng() % doc.Keys.size());
        std::vector<TDataRec> shadow = doc.Keys[key].Data;
        const std::string title = Pick(rng, titles), value = std::to_string(step);
        const std::size_t size = shadow.size();
        switch (rng() % 6) {
            case 0:
            case 1:
                doc.AddEntry(key, title, value, "");
                shadow.push_back({title, value, "", 1.0});
                SortEntryList(shadow);
                break;
            case 2:
                if (size == 0) continue;
                {
                    const auto e = static_cast<std::int32_t>(rng() % size);
                    doc.UpdateEntry(key, e, title, value, "");
                    shadow[e] = {title, value, "", 1.0};
                    SortEntryList(shadow);
                }
                break;
            case 3:
                if (size == 0) continue;
                {
                    const auto e = static_cast<std::int32_t>(rng() % size);
                    doc.DeleteEntry(key, e);
                    shadow.erase(shadow.begin() + e);
                }
                break;
            case 4:
                doc.AddKey(Pick(rng, {"P", "p", "Q"}), "K" + value);
                continue;
            default:
                if (doc.Keys.size() > 3)
                    doc.DeleteKey(static_cast<std::int32_t>(rng() % doc.Keys.size()));
                continue;
        }
        const auto& data = doc.Keys[key].Data;
        ASSERT_EQ(data.size(), shadow.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            ASSERT_EQ(data[i].Value, shadow[i].Value) << "step " << step << " place " << i;
        }
    }
}

TEST(SortExchangeOrder, MatchesTheLiteralProcedure) {
    std::mt19937 rng(2024);
    auto below = [&](std::uint32_t k) {
        return std::uniform_int_distribution<std::uint32_t>(0, k - 1)(rng);
    };
    std::vector<std::vector<std::uint32_t>> inputs;
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint32_t> r(below(41));
        const std::uint32_t classes = 1 + below(round % 4 == 0 ? 40 : 5);
        const std::uint32_t spread = round % 5 == 0 ? 100000000 : 1;  // sparse ranks too
        for (auto& x : r) x = below(classes) * spread;
        inputs.push_back(std::move(r));
    }
    for (std::uint32_t n : {1u, 2u, 3u, 8u, 17u, 64u}) {
        std::vector<std::uint32_t> equal(n, 7), pairs, oneClass(n, 1), run;
        for (std::uint32_t i = 0; i < n; ++i) pairs.push_back(n - i / 2);
        for (std::uint32_t i = 0; i < n; ++i) oneClass.push_back(below(2));
        for (std::uint32_t i = 0; i < n; ++i) run.push_back(2 * (i / 2));
        inputs.insert(inputs.end(), {equal, pairs, oneClass});
        for (std::uint32_t i = 0; i < n; ++i) pairs.push_back(n - i);
        inputs.push_back(pairs);
        for (std::uint32_t x : {0u, 1u, n / 2, n / 2 + 1, n - 1, n, n + 1}) {
            run.push_back(x);  // even: ties a pair of the run; odd: falls between
            inputs.push_back(run);
            run.pop_back();
        }
    }
    for (std::uint32_t classes : {2u, 30u, 1000u}) {
        std::vector<std::uint32_t> r(2000);
        for (auto& x : r) x = below(classes);
        inputs.push_back(std::move(r));
    }
    for (const auto& rank : inputs) {
        ASSERT_EQ(ExchangeOrder(rank), LiteralExchangeOrder(rank))
            << ::testing::PrintToString(rank);
    }
}

// Shapes of many items around the two ways of counting smaller items: a few tie
// classes in a long list (scans), many of them (a tree), ties at either end.
TEST(SortExchangeOrder, LongListsMatchTheLiteralProcedure) {
    std::mt19937 rng(77);
    const std::uint32_t n = 2500;
    std::vector<std::vector<std::uint32_t>> inputs;
    std::vector<std::uint32_t> distinct(n);
    for (std::uint32_t i = 0; i < n; ++i) distinct[i] = i;
    std::shuffle(distinct.begin(), distinct.end(), rng);
    for (std::uint32_t ties : {1u, 3u, 40u, 1200u}) {
        std::vector<std::uint32_t> r = distinct;
        for (std::uint32_t t = 0; t < ties; ++t) r[rng() % n] = r[rng() % n];
        inputs.push_back(r);
    }
    std::vector<std::uint32_t> r = distinct;
    r[0] = r[n - 1];  // a tie between the first and the last item
    inputs.push_back(r);
    r = distinct;
    for (std::uint32_t i = 0; i < 10; ++i) r[n - 1 - i] = n;  // ties behind everything
    inputs.push_back(r);
    r = distinct;
    for (std::uint32_t i = 0; i < 10; ++i) r[i * 7] = 0;  // ties below everything
    inputs.push_back(r);
    r.assign(n, 0);
    for (std::uint32_t i = 0; i < n; ++i) r[i] = (n - i) / 3;  // descending triples
    inputs.push_back(r);
    for (const auto& rank : inputs) ASSERT_EQ(ExchangeOrder(rank), LiteralExchangeOrder(rank));
}

// The procedure's order of titles, from ranks by direct collator comparisons.
std::vector<std::uint32_t> OracleOrder(const std::vector<TDataRec>& items) {
    const auto less = [&](std::uint32_t a, std::uint32_t b) {
        return TitleCollator().Compare(items[a].Title, items[b].Title) < 0;
    };
    std::vector<std::uint32_t> byTitle(items.size());
    for (std::uint32_t i = 0; i < byTitle.size(); ++i) byTitle[i] = i;
    std::stable_sort(byTitle.begin(), byTitle.end(), less);
    std::vector<std::uint32_t> rank(items.size());
    for (std::size_t k = 1; k < byTitle.size(); ++k) {
        rank[byTitle[k]] = rank[byTitle[k - 1]] + (less(byTitle[k - 1], byTitle[k]) ? 1 : 0);
    }
    return LiteralExchangeOrder(rank);
}

// Titles as lists have them: shared prefixes longer than a key's first eight bytes,
// case and accent variants, repeats near and far, very short and empty titles.
std::string ListTitle(std::mt19937& rng) {
    static const std::vector<std::string> prefixes = {
        "", "", "Konto Sparkasse ", "konto sparkasse ", "www.", "WWW.", "\xC4rzte ", "Aerzte "};
    static const std::vector<std::string> bodies = {"a",    "A",  "\xE4", "\xC4", "ae",
                                                    "b",    "10", "9",    " x",   "\x80",
                                                    "\x96", "-",  "",     "Bank", "bank"};
    std::string title = prefixes[rng() % prefixes.size()];
    for (int parts = rng() % 3; parts >= 0; --parts) title += bodies[rng() % bodies.size()];
    return title;
}

// Sorts with kept keys as the program does: whole lists, entries appended (an
// import, one entry added), changed and deleted, another collation in between.
// Every order must be the procedure's, and the kept block must not grow without end.
TEST_P(SortOracle, KeptKeysGiveTheProceduresOrderThroughAllChanges) {
    std::mt19937 rng(5);
    for (int round = 0; round < 12; ++round) {
        std::vector<TDataRec> items;
        TSortKeyCache cache;
        std::uint32_t serial = 0;
        const auto add = [&](std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
                // A third repeat a title of the list, half of them right behind it.
                std::string title = ListTitle(rng);
                if (!items.empty() && rng() % 3 == 0) {
                    title = rng() % 2 ? items.back().Title : items[rng() % items.size()].Title;
                }
                items.push_back({title, std::to_string(serial++), "", 0});
            }
        };
        for (int step = 0; step < 7; ++step) {
            switch (step) {
                case 0:
                    add(rng() % 700);
                    break;
                case 1:
                    add(rng() % 300);
                    break;  // an import into a sorted list
                case 2:
                    add(1);
                    break;
                case 3:
                    for (int k = 0; k < 20 && !items.empty(); ++k) {
                        items[rng() % items.size()] = {ListTitle(rng), std::to_string(serial++), "",
                                                       0};
                    }
                    break;
                case 4:
                    for (int k = 0; k < 200 && !items.empty(); ++k) {
                        // As TDocument::DeleteEntry does it, the entry's kept key too.
                        const auto e = static_cast<std::ptrdiff_t>(rng() % items.size());
                        items.erase(items.begin() + e);
                        cache.Slots.erase(cache.Slots.begin() + e);
                    }
                    add(5);
                    break;
                case 5:
                    add(3);
                    break;  // after the kept block was written anew
                default:
                    SetCollationLocale(std::string(GetParam()) == "root" ? "de_DE" : "root");
                    add(3);
                    break;
            }
            const std::vector<TDataRec> input = items;
            const std::vector<std::uint32_t> expected = OracleOrder(input);
            const std::vector<std::uint32_t> from = SortEntryList(items, &cache);
            ASSERT_EQ(from, expected) << "round " << round << " step " << step;
            for (std::size_t i = 0; i < items.size(); ++i) {
                ASSERT_EQ(items[i].Value, input[from[i]].Value) << "round " << round;
            }
            std::size_t live = 0;
            ASSERT_EQ(cache.Slots.size(), items.size());
            for (const auto& slot : cache.Slots) live += slot.TitleSize + slot.KeySize;
            EXPECT_LE(cache.Bytes.size(), 2 * live + 1) << "round " << round << " step " << step;
        }
        SetCollationLocale(GetParam());
    }
}

// A large import into a filled sub-category whose keys were kept, lines repeating
// titles of the list and of each other, then a second import on top.
TEST_P(SortOracle, ImportsIntoAKeptListInTheProceduresOrder) {
    std::mt19937 rng(8);
    TDocument doc;
    doc.Now = [] { return 3.0; };
    doc.Keys.push_back({"K", "P", {}});
    for (int k = 0; k < 400; ++k) doc.AddEntry(0, ListTitle(rng), "old" + std::to_string(k), "");
    std::vector<TDataRec> shadow = doc.Keys[0].Data;
    for (int import = 0; import < 2; ++import) {
        std::string text;
        for (int line = 0; line < 1500; ++line) {
            const std::string title = line % 4 == 0 ? shadow[rng() % shadow.size()].Title
                                      : line % 4 == 1 && line > 1 ? text.substr(0, text.find('\t'))
                                                                  : ListTitle(rng);
            const std::string value = "new" + std::to_string(import) + "." + std::to_string(line);
            text = title + "\t" + value + "\r\n" + text;
            shadow.push_back({title, value, "", 3.0});
        }
        // The text was built back to front: the shadow's new entries in file order.
        std::reverse(shadow.end() - 1500, shadow.end());
        ASSERT_EQ(ImportEntriesFromBytes(doc, 0, text, "x", '\t'), 1500);
        const std::vector<std::uint32_t> expected = OracleOrder(shadow);
        const auto& data = doc.Keys[0].Data;
        ASSERT_EQ(data.size(), shadow.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            ASSERT_EQ(data[i].Value, shadow[expected[i]].Value)
                << "import " << import << " place " << i;
        }
        shadow = data;
    }
}

}  // namespace
}  // namespace dorvanta
