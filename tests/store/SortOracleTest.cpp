// The production sorts must give exactly the sequence of the exchange procedure,
// ties included. The procedure itself, with direct collator comparisons, is the oracle.
#include <gtest/gtest.h>

#include <random>

#include "store/Collation.h"
#include "store/Document.h"
#include "store/ExchangeOrder.h"

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

}  // namespace
}  // namespace dorvanta
