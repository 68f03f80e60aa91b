// The production sorts must give exactly the sequence of the exchange procedure,
// ties included. The procedure itself, with direct collator comparisons, is the oracle.
#include <gtest/gtest.h>

#include <random>

#include "store/Collation.h"
#include "store/Document.h"

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
    const int c = ParentCollator().Compare(a.Parent, b.Parent);
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
            items.push_back({Pick(rng, kWords), std::to_string(i), "", 0});
        }
        std::vector<TDataRec> expected = items;
        ExchangeOracle(expected, EntryAfter);
        SortEntryList(items);
        ASSERT_EQ(items.size(), expected.size());
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(items[i].Value, expected[i].Value) << "round " << round << " pos " << i;
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

}  // namespace
}  // namespace dorvanta
