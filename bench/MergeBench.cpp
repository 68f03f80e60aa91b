// Merging two versions of a 100,000-entry realistic collection (bench/RealisticData.h)
// with 1,000 changes on each side, against loading one of them from its pdt bytes,
// timed alternately in the same iterations so both see the same machine load. The
// counters give both times, x_load (merge ÷ load) and the peak memory the first
// merge of the process added (merge_peak_MB, from maxrss), beside the file size.
// BM_MergeEqualTitles does the same with one sub-category of 100,000 equal titles.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <random>

#include "bench/RealisticData.h"
#include "store/Merge.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

double MaxRssMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 1,000 edits as a person makes them: mostly changed values, some new and some
// deleted entries, now and then a new sub-category.
TDocument Edited(const TDocument& base, unsigned seed) {
    TDocument doc = base;
    std::mt19937 rng(seed);
    doc.Now = [] { return 46100.5; };
    for (int i = 0; i < 1000; ++i) {
        const auto key = static_cast<std::int32_t>(rng() % doc.Keys.size());
        const auto size = doc.Keys[key].Data.size();
        const unsigned what = rng() % 100;
        if (what < 60 && size > 0) {
            const auto entry = static_cast<std::int32_t>(rng() % size);
            const TDataRec was = doc.Keys[key].Data[entry];
            doc.UpdateEntry(key, entry, was.Title, bench::RealisticText(rng), was.Info);
        } else if (what < 85) {
            const TDataRec rec = bench::RealisticEntry(rng);
            doc.AddEntry(key, rec.Title, rec.Value, rec.Info);
        } else if (what < 98 && size > 0) {
            doc.DeleteEntry(key, static_cast<std::int32_t>(rng() % size));
        } else {
            doc.AddKey(doc.Keys[key].Parent, bench::RealisticText(rng));
        }
    }
    return doc;
}

void MergeAgainstLoad(benchmark::State& state, const TDocument& base) {
    const TDocument ours = Edited(base, 1), theirs = Edited(base, 2);
    const std::string bytes = EncodeDocument(theirs);
    const double rssBefore = MaxRssMB();
    std::size_t conflicts = Merge(base, ours, theirs).Conflicts.size();
    const double mergePeak = MaxRssMB() - rssBefore;
    double mergeSeconds = 0, loadSeconds = 0;
    for (auto _ : state) {
        // Each timed up to its result, without freeing it.
        auto start = std::chrono::steady_clock::now();
        {
            TMergeResult result = Merge(base, ours, theirs);
            benchmark::DoNotOptimize(result.Document.Keys.data());
            mergeSeconds += Since(start);
        }
        start = std::chrono::steady_clock::now();
        {
            TDocument loaded;
            LoadDocumentFromBytes(loaded, bytes, "bench.pdt");
            benchmark::DoNotOptimize(loaded.Keys.data());
            loadSeconds += Since(start);
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["merge_ms"] = mergeSeconds / n * 1000;
    state.counters["load_ms"] = loadSeconds / n * 1000;
    state.counters["x_load"] = mergeSeconds / loadSeconds;
    state.counters["merge_peak_MB"] = mergePeak;
    state.counters["file_MB"] = bytes.size() / 1e6;
    state.counters["conflicts"] = static_cast<double>(conflicts);
}

void BM_MergeAgainstLoad(benchmark::State& state) {
    MergeAgainstLoad(state, bench::RealisticDocument(100000));
}
BENCHMARK(BM_MergeAgainstLoad)->Unit(benchmark::kMillisecond)->Iterations(10);

// The worst case for pairing by title: one sub-category of 100,000 entries, all "Konto".
void BM_MergeEqualTitles(benchmark::State& state) {
    TDocument base;
    base.Keys.push_back({"Banken", "Girokonten", {}});
    std::mt19937 rng(3);
    for (int i = 0; i < 100000; ++i) {
        TDataRec rec = bench::RealisticEntry(rng);
        rec.Title = "Konto";
        base.Keys[0].Data.push_back(std::move(rec));
    }
    MergeAgainstLoad(state, base);
}
BENCHMARK(BM_MergeEqualTitles)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
