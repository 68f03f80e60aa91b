// Store throughput. Figures are read as ratios against the Baseline benchmark of
// the same run (copying the same bytes), so machines of other speeds compare.
// The search is read against its own baseline, the substring pass alone over the
// same million fields.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "store/Document.h"
#include "store/FileIO.h"
#include "store/Import.h"
#include "store/Mask.h"
#include "store/PdtFile.h"
#include "store/Search.h"

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

// One million searched fields: 10,000 sub-category names and the titles, values
// and info texts of 330,000 entries.
const TDocument& Million() {
    static const TDocument doc = MakeDocument(10000, 33);
    return doc;
}

// No field holds the text "*7?1*" itself, so every field fails the substring
// test and, with the wildcard test on, goes through the mask as well.
void SearchMillion(benchmark::State& state, bool wildcard) {
    TSearchOptions options;
    options.Names = true;
    options.Wildcard = wildcard;
    std::vector<TSearchHit> hits;
    for (auto _ : state) {
        hits.clear();
        SearchDocument(Million(), "*7?1*", options, hits);
        benchmark::DoNotOptimize(hits.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
    state.counters["hits"] = static_cast<double>(hits.size());
}

void BM_Baseline_SearchSubstringOnly_1MFields(benchmark::State& state) {
    SearchMillion(state, false);
}
BENCHMARK(BM_Baseline_SearchSubstringOnly_1MFields)->Unit(benchmark::kMillisecond);

void BM_SearchMask_1MFields(benchmark::State& state) {
    SearchMillion(state, true);
}
BENCHMARK(BM_SearchMask_1MFields)->Unit(benchmark::kMillisecond);

// A 100,000-line text file (title, value, info) for the import into a
// sub-category of 10,000 entries; removed at exit.
class ImportFile {
  public:
    ImportFile()
        : path_(std::filesystem::temp_directory_path() /
                ("dorvanta-bench-" + std::to_string(::getpid()) + ".txt")) {
        std::mt19937 rng(7);
        std::ofstream out(path_, std::ios::binary);
        for (int i = 0; i < 100000; ++i) {
            out << "Import " << rng() % 100000 << "\tWert " << i << "\tInfo \xE4\xF6\xFC\r\n";
        }
    }
    ~ImportFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

const ImportFile& Lines100k() {
    static const ImportFile file;
    return file;
}

TDocument TenThousandEntries() {
    TDocument doc = MakeDocument(1, 10000);
    doc.SortEntries(0);
    doc.Now = [] { return 45000.5; };
    return doc;
}

void BM_Import_100kLinesInto10kEntries(benchmark::State& state) {
    const TDocument start = TenThousandEntries();
    for (auto _ : state) {
        state.PauseTiming();
        TDocument doc = start;
        state.ResumeTiming();
        benchmark::DoNotOptimize(ImportEntries(doc, 0, Lines100k().Path(), '\t'));
    }
}
BENCHMARK(BM_Import_100kLinesInto10kEntries)->Unit(benchmark::kMillisecond);

// The import's two parts: reading and splitting the lines onto the entries ...
void BM_ImportRead_100kLines(benchmark::State& state) {
    const TDocument start = TenThousandEntries();
    for (auto _ : state) {
        state.PauseTiming();
        TDocument doc = start;
        state.ResumeTiming();
        std::string bytes;
        ReadWholeFile(Lines100k().Path(), bytes);
        auto& data = doc.Keys[0].Data;
        for (const std::string& line : SplitImportLines(bytes)) {
            data.push_back(SplitImportLine(line, '\t'));
        }
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(BM_ImportRead_100kLines)->Unit(benchmark::kMillisecond);

// ... and the one sort of the 110,000 entries afterwards.
void BM_ImportSort_110kEntries(benchmark::State& state) {
    TDocument appended = TenThousandEntries();
    std::string bytes;
    ReadWholeFile(Lines100k().Path(), bytes);
    for (const std::string& line : SplitImportLines(bytes)) {
        appended.Keys[0].Data.push_back(SplitImportLine(line, '\t'));
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TDataRec> entries = appended.Keys[0].Data;
        state.ResumeTiming();
        SortEntryList(entries);
    }
}
BENCHMARK(BM_ImportSort_110kEntries)->Unit(benchmark::kMillisecond);

// ---- One million entries: load and save against the floor of reading the file's
// bytes and copying the document's strings; peak memory against the texts' size.

// 20,000 sub-categories of 50 entries each.
const std::string& MillionFile() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("dorvanta-bench-1m-" + std::to_string(::getpid()) + ".pdt"))
                                     .string();
        SaveDocument(MakeDocument(20000, 50), file);
        return file;
    }();
    return path;
}

std::size_t TextBytes(const TDocument& doc) {
    std::size_t n = 0;
    for (const TDataKey& key : doc.Keys) {
        n += key.Name.size() + key.Parent.size();
        for (const TDataRec& rec : key.Data)
            n += rec.Title.size() + rec.Value.size() + rec.Info.size();
    }
    return n;
}

// Kilobytes of a /proc/self/status field ("VmHWM", "VmRSS").
long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    }
    return 0;
}

// Starts the peak anew (Linux: writing 5 to clear_refs resets VmHWM).
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_Baseline_File_ReadBytesAndCopyStrings_1MEntries(benchmark::State& state) {
    TDocument doc;
    LoadDocument(doc, MillionFile());
    for (auto _ : state) {
        std::string bytes;
        ReadWholeFile(MillionFile(), bytes);
        TDocument copy;
        copy.Keys = doc.Keys;
        benchmark::DoNotOptimize(copy.Keys.data());
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_Baseline_File_ReadBytesAndCopyStrings_1MEntries)->Unit(benchmark::kMillisecond);

void BM_File_Load_1MEntries(benchmark::State& state) {
    double texts = 0, held = 0, peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const long before = StatusKb("VmRSS");
        ResetPeak();
        state.ResumeTiming();
        TDocument doc;
        LoadDocument(doc, MillionFile());
        state.PauseTiming();
        texts = static_cast<double>(TextBytes(doc));
        held = static_cast<double>(StatusKb("VmRSS") - before) * 1024.0;
        peak = std::max(peak, static_cast<double>(StatusKb("VmHWM") - before) * 1024.0);
        state.ResumeTiming();
    }
    // The load's peak memory against what the loaded texts occupy in memory (the
    // strings with their bookkeeping), and against their bare bytes.
    state.counters["peak_per_held"] = held > 0 ? peak / held : 0;
    state.counters["peak_per_text_bytes"] = texts > 0 ? peak / texts : 0;
    state.counters["held_MB"] = held / 1e6;
}
BENCHMARK(BM_File_Load_1MEntries)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_File_Save_1MEntries(benchmark::State& state) {
    TDocument doc;
    LoadDocument(doc, MillionFile());
    const std::string out = MillionFile() + ".out";
    for (auto _ : state) SaveDocument(doc, out);
    std::filesystem::remove(out);
}
BENCHMARK(BM_File_Save_1MEntries)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(MillionFile(), ignored);
    return 0;
}
