// The entry and sub-category sorts at n = 1,000, 20,000 and 100,000 items. Each family
// BM_X has a baseline BM_Baseline_X on the same input, measured in the same run at 1,000
// and 20,000 only (it is O(n^2): many seconds at 100,000); read figures as ratios to it
// (bench/run-benchmarks.sh prints them).
//   BM_Entries, BM_Keys: the whole sort (collation keys, ranks, order, moving the items);
//     baseline: the same with the former literal exchange procedure on the ranks.
//   BM_Order: the exchange order alone on the ranks of the same entries;
//     baseline: the literal exchange procedure on those ranks.
// Entries come generated in four arrangements, and as users have them (Realistic,
// bench/RealisticData.h); sub-categories Random and Realistic.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "bench/RealisticData.h"
#include "store/Collation.h"
#include "store/Document.h"
#include "store/ExchangeOrder.h"

namespace {

using namespace dorvanta;

enum class Pattern {
    RandomCaseDup,  // random titles, 10 % of them repeating an earlier one in other case
    TenTitles,      // 10 distinct titles
    ReversedPairs,  // pairs of equal titles, the pairs in descending order
    SortedPlusOne,  // RandomCaseDup sorted, then one appended equal to the middle one
    Realistic,      // entries as users have them (bench/RealisticData.h)
};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
    return text;
}

std::string Numbered(const char* prefix, std::uint32_t number) {
    std::string digits = std::to_string(number);
    return prefix + std::string(9 - std::min<std::size_t>(9, digits.size()), '0') + digits;
}

std::vector<TDataRec> MakeEntries(Pattern pattern, std::size_t n) {
    std::mt19937 rng(11);
    std::vector<TDataRec> entries;
    entries.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::string title;
        switch (pattern) {
            case Pattern::Realistic:
                entries.push_back(bench::RealisticEntry(rng));
                continue;
            case Pattern::RandomCaseDup:
            case Pattern::SortedPlusOne:
                title = (i > 0 && rng() % 10 == 0) ? Upper(entries[rng() % i].Title)
                                                   : Numbered("Titel ", rng() % 1000000000);
                break;
            case Pattern::TenTitles:
                title = Numbered("Titel ", rng() % 10);
                break;
            case Pattern::ReversedPairs:
                title =
                    Numbered(i % 2 ? "TITEL " : "Titel ", static_cast<std::uint32_t>(n - i / 2));
                break;
        }
        entries.push_back({std::move(title), "Wert " + std::to_string(i), "Info", 45000.5});
    }
    if (pattern == Pattern::SortedPlusOne && n > 0) {
        entries.pop_back();
        SortEntryList(entries);
        entries.push_back({Upper(entries[entries.size() / 2].Title), "neu", "", 45000.5});
    }
    return entries;
}

// n sub-categories under n / 100 parents (100,000 under 1,000), in random order.
std::vector<TDataKey> MakeKeys(std::size_t n) {
    std::mt19937 rng(13);
    std::vector<TDataKey> keys;
    keys.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        keys.push_back({Numbered("Rubrik ", rng() % 1000000),
                        Numbered("Oberrubrik ", rng() % std::max<std::size_t>(1, n / 100)),
                        {}});
    }
    return keys;
}

// The former sort, for the baselines: ranks as Document.cpp formed them, then the literal
// procedure.
template <typename Less>
std::vector<std::uint32_t> Ranks(std::size_t n, Less less) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), less);
    std::vector<std::uint32_t> rank(n);
    std::uint32_t current = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && less(order[k - 1], order[k])) ++current;
        rank[order[k]] = current;
    }
    return rank;
}

std::vector<std::uint32_t> LiteralExchangeOrder(std::vector<std::uint32_t> rank) {
    const std::size_t n = rank.size();
    std::vector<std::uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (rank[i] > rank[j]) {
                std::swap(rank[i], rank[j]);
                std::swap(perm[i], perm[j]);
            }
        }
    }
    return perm;
}

template <typename T>
void LiteralExchangeSort(std::vector<T>& items, std::vector<std::uint32_t> rank) {
    const std::size_t n = items.size();
    const std::vector<std::uint32_t> perm = LiteralExchangeOrder(std::move(rank));
    std::vector<T> sorted;
    sorted.reserve(n);
    for (std::uint32_t p : perm) sorted.push_back(std::move(items[p]));
    items = std::move(sorted);
}

void FormerSortEntries(std::vector<TDataRec>& entries) {
    std::vector<std::string> keys(entries.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        keys[i] = TitleCollator().SortKey(entries[i].Title);
    LiteralExchangeSort(entries, Ranks(keys.size(), [&](std::uint32_t a, std::uint32_t b) {
                            return keys[a] < keys[b];
                        }));
}

void FormerSortKeys(std::vector<TDataKey>& keys) {
    std::vector<std::string> parents(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        parents[i] = ParentCollator().SortKey(keys[i].Parent.str());
    LiteralExchangeSort(keys, Ranks(keys.size(), [&](std::uint32_t a, std::uint32_t b) {
                            const int c = parents[a].compare(parents[b]);
                            return c != 0 ? c < 0 : CompareAsciiCI(keys[a].Name, keys[b].Name) < 0;
                        }));
}

template <typename T, typename Sort>
void SortCopies(benchmark::State& state, const std::vector<T>& input, Sort sort) {
    std::vector<T> items;
    for (auto _ : state) {
        state.PauseTiming();
        items = input;  // also frees the last round's items outside the timing
        state.ResumeTiming();
        sort(items);
        benchmark::DoNotOptimize(items.data());
    }
}

std::vector<std::uint32_t> TitleRanks(const std::vector<TDataRec>& entries) {
    std::vector<std::string> keys(entries.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        keys[i] = TitleCollator().SortKey(entries[i].Title);
    return Ranks(keys.size(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
}

// The add path: TDocument::AddEntry; removing the entry again is not timed.
void AddToSorted(benchmark::State& state) {
    std::vector<TDataRec> entries = MakeEntries(Pattern::SortedPlusOne, state.range(0));
    const TDataRec added = entries.back();
    entries.pop_back();
    TDocument doc;
    doc.Now = [] { return 45000.5; };
    doc.Keys.push_back({"Rubrik", "Oberrubrik", std::move(entries)});
    for (auto _ : state) {
        doc.AddEntry(0, added.Title, added.Value, added.Info);
        state.PauseTiming();
        const auto& data = doc.Keys[0].Data;
        const auto it = std::find_if(data.begin(), data.end(),
                                     [&](const TDataRec& e) { return e.Value == added.Value; });
        doc.DeleteEntry(0, static_cast<std::int32_t>(it - data.begin()));
        state.ResumeTiming();
    }
}

void BM_Entries(benchmark::State& state, Pattern pattern) {
    if (pattern == Pattern::SortedPlusOne) return AddToSorted(state);
    SortCopies(state, MakeEntries(pattern, state.range(0)),
               [](std::vector<TDataRec>& e) { return SortEntryList(e); });
}
void BM_Baseline_Entries(benchmark::State& state, Pattern pattern) {
    SortCopies(state, MakeEntries(pattern, state.range(0)), FormerSortEntries);
}
void BM_Order(benchmark::State& state, Pattern pattern) {
    const auto rank = TitleRanks(MakeEntries(pattern, state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ExchangeOrder(rank).data());
}
void BM_Baseline_Order(benchmark::State& state, Pattern pattern) {
    const auto rank = TitleRanks(MakeEntries(pattern, state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(LiteralExchangeOrder(rank).data());
}

void AllSizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
}
void BaselineSizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
}
#define PATTERN(name)                                                                  \
    BENCHMARK_CAPTURE(BM_Entries, name, Pattern::name)->Apply(AllSizes);               \
    BENCHMARK_CAPTURE(BM_Baseline_Entries, name, Pattern::name)->Apply(BaselineSizes); \
    BENCHMARK_CAPTURE(BM_Order, name, Pattern::name)->Apply(AllSizes);                 \
    BENCHMARK_CAPTURE(BM_Baseline_Order, name, Pattern::name)->Apply(BaselineSizes)
PATTERN(RandomCaseDup);
PATTERN(TenTitles);
PATTERN(ReversedPairs);
PATTERN(SortedPlusOne);
PATTERN(Realistic);

// The literal procedure as users' files were sorted by it: every pair compared by
// the collator. Too slow beyond a few thousand entries; figures at 20,000 are
// extrapolated from these by n^2.
void BM_LiteralCollator_Entries(benchmark::State& state, Pattern pattern) {
    SortCopies(state, MakeEntries(pattern, state.range(0)), [](std::vector<TDataRec>& e) {
        const Collator& collator = TitleCollator();
        for (std::size_t i = 0; i < e.size(); ++i) {
            for (std::size_t j = i + 1; j < e.size(); ++j) {
                if (collator.Compare(e[i].Title, e[j].Title) > 0) std::swap(e[i], e[j]);
            }
        }
    });
}
BENCHMARK_CAPTURE(BM_LiteralCollator_Entries, RandomCaseDup, Pattern::RandomCaseDup)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LiteralCollator_Entries, ReversedPairs, Pattern::ReversedPairs)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond);

// Sub-categories: SortKeyList.
void BM_Keys_Random(benchmark::State& state) {
    SortCopies(state, MakeKeys(state.range(0)), SortKeyList);
}
BENCHMARK(BM_Keys_Random)->Apply(AllSizes);

void BM_Baseline_Keys_Random(benchmark::State& state) {
    SortCopies(state, MakeKeys(state.range(0)), FormerSortKeys);
}
BENCHMARK(BM_Baseline_Keys_Random)->Apply(BaselineSizes);

// Realistic names under 1,000 parents, in no order.
std::vector<TDataKey> RealisticKeys(std::size_t n) {
    std::mt19937 rng(17);
    return bench::RealisticKeys(n, rng);
}

void BM_Keys_Realistic(benchmark::State& state) {
    SortCopies(state, RealisticKeys(state.range(0)), SortKeyList);
}
BENCHMARK(BM_Keys_Realistic)->Apply(AllSizes);

void BM_Baseline_Keys_Realistic(benchmark::State& state) {
    SortCopies(state, RealisticKeys(state.range(0)), FormerSortKeys);
}
BENCHMARK(BM_Baseline_Keys_Realistic)->Apply(BaselineSizes);

}  // namespace

BENCHMARK_MAIN();
