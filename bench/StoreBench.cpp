// Store throughput. Figures are read as ratios against the Baseline benchmark of
// the same run (copying the same bytes), so machines of other speeds compare.
#include <benchmark/benchmark.h>

#include <random>

#include "store/Document.h"
#include "store/Mask.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

// 10,000 sub-categories under 500 parents with 10 entries each (100,000 entries).
TDocument MakeDocument(int keys, int entriesPerKey) {
    std::mt19937 rng(42);
    TDocument doc;
    doc.Keys.reserve(keys);
    for (int k = 0; k < keys; ++k) {
        TDataKey key{"Rubrik " + std::to_string(rng() % 100000),
                     "Oberrubrik " + std::to_string(k % 500),
                     {}};
        for (int e = 0; e < entriesPerKey; ++e) {
            key.Data.push_back({"Titel " + std::to_string(rng() % 1000),
                                "Wert \xE4\xF6\xFC " + std::to_string(e), "Info", 45000.5});
        }
        doc.Keys.push_back(std::move(key));
    }
    return doc;
}

const TDocument& Big() {
    static const TDocument doc = MakeDocument(10000, 10);
    return doc;
}

void BM_Baseline_CopyBytes(benchmark::State& state) {
    const std::string bytes = EncodeDocument(Big());
    for (auto _ : state) {
        std::string copy = bytes;
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Baseline_CopyBytes);

void BM_Encode_10kKeys_100kEntries(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(EncodeDocument(Big()));
}
BENCHMARK(BM_Encode_10kKeys_100kEntries)->Unit(benchmark::kMillisecond);

void BM_Load_10kKeys_100kEntries(benchmark::State& state) {
    const std::string bytes = EncodeDocument(Big());
    for (auto _ : state) {
        TDocument doc;
        LoadDocumentFromBytes(doc, bytes, "bench.pdt");
        benchmark::DoNotOptimize(doc.Keys.data());
    }
}
BENCHMARK(BM_Load_10kKeys_100kEntries)->Unit(benchmark::kMillisecond);

void BM_SortKeys_10k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TDataKey> keys = Big().Keys;
        state.ResumeTiming();
        SortKeyList(keys);
    }
}
BENCHMARK(BM_SortKeys_10k)->Unit(benchmark::kMillisecond);

void BM_AddKey_Into10k(benchmark::State& state) {
    TDocument doc = Big();
    doc.SortKeys();
    for (auto _ : state) {
        const int k = doc.AddKey("Oberrubrik 250", "Neu");
        state.PauseTiming();
        doc.DeleteKey(k);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddKey_Into10k)->Unit(benchmark::kMillisecond);

void BM_MatchMask_100kTexts(benchmark::State& state) {
    const TMask mask("*wert*[0-9]");
    for (auto _ : state) {
        int hits = 0;
        for (const auto& key : Big().Keys)
            for (const auto& rec : key.Data) hits += mask.Matches(rec.Value);
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_MatchMask_100kTexts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
