// Store and command-line throughput at 10,000, 100,000 and 1,000,000 entries, each on
// two kinds of data: "today" (generated "Titel 123" texts, nearly all ASCII) and
// "realistic" (bench/RealisticData.h). Names read BM_<what>/<size>/<kind>.
//
// Load, dump and import are timed against a floor, the least the operation could
// cost, measured in the same iterations (alternating, untimed), so both see the same
// machine load; the counters floor_ms and x_floor (time / floor) give it:
//   Load:   reading the file and copying the loaded document's strings;
//   Dump:   a load and writing the JSON bytes;
//   Import: reading the text file and one sort of the resulting entries.
// Search is read against its Baseline (the substring pass alone), everything else
// against BM_Baseline_CopyBytes of the same size and kind (copying the file's bytes).
// Peak memory is measured by peak_mem, in a fresh process per case.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "bench/RealisticData.h"
#include "store/Document.h"
#include "store/FileIO.h"
#include "store/Import.h"
#include "store/Mask.h"
#include "store/PdtFile.h"
#include "store/Search.h"
#include "tools/Cli.h"

namespace {

using namespace dorvanta;

enum class TKind { Today, Realistic };

const char* KindName(TKind kind) {
    return kind == TKind::Today ? "today" : "realistic";
}

// Today's data: sub-categories "Rubrik <random>" under 500 parents, 10 entries each
// (50 at a million entries, as that file always had).
TDocument MakeDocument(std::size_t keys, std::size_t entriesPerKey) {
    std::mt19937 rng(42);
    TDocument doc;
    doc.Keys.reserve(keys);
    for (std::size_t k = 0; k < keys; ++k) {
        TDataKey key{"Rubrik " + std::to_string(rng() % 100000),
                     "Oberrubrik " + std::to_string(k % 500),
                     {}};
        for (std::size_t e = 0; e < entriesPerKey; ++e) {
            key.Data.push_back({"Titel " + std::to_string(rng() % 1000),
                                "Wert \xE4\xF6\xFC " + std::to_string(e), "Info", 45000.5});
        }
        doc.Keys.push_back(std::move(key));
    }
    return doc;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("dorvanta-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// Files written for the run, removed at exit.
struct TTempFiles {
    std::vector<std::string> paths;
    ~TTempFiles() {
        std::error_code ignored;
        for (const std::string& p : paths) std::filesystem::remove(p, ignored);
    }
};
TTempFiles g_files;

std::string SizeLabel(std::size_t count) {
    return count % 1000000 == 0 ? std::to_string(count / 1000000) + "M"
                                : std::to_string(count / 1000) + "k";
}

std::string Label(TKind kind, std::size_t count) {
    return SizeLabel(count) + "-" + KindName(kind);
}

// Made once per kind and size, and kept: the 1M documents take seconds to make.
const TDocument& Doc(TKind kind, std::size_t entries) {
    static std::map<std::string, std::unique_ptr<TDocument>> docs;
    auto& doc = docs[Label(kind, entries)];
    if (!doc) {
        doc =
            std::make_unique<TDocument>(kind == TKind::Realistic ? bench::RealisticDocument(entries)
                                        : entries >= 1000000     ? MakeDocument(entries / 50, 50)
                                                                 : MakeDocument(entries / 10, 10));
    }
    return *doc;
}

const std::string& File(TKind kind, std::size_t entries) {
    static std::map<std::string, std::string> files;
    std::string& path = files[Label(kind, entries)];
    if (path.empty()) {
        path = TempPath(Label(kind, entries) + ".pdt");
        SaveDocument(Doc(kind, entries), path);
        g_files.paths.push_back(path);
    }
    return path;
}

std::size_t EntryCount(const TDocument& doc) {
    std::size_t n = 0;
    for (const TDataKey& key : doc.Keys) n += key.Data.size();
    return n;
}

// Whether a load gave back exactly what was saved.
bool SameTexts(const TDocument& a, const TDocument& b) {
    if (a.Keys.size() != b.Keys.size()) return false;
    for (std::size_t k = 0; k < a.Keys.size(); ++k) {
        const TDataKey& x = a.Keys[k];
        const TDataKey& y = b.Keys[k];
        if (x.Name != y.Name || x.Parent != y.Parent || x.Data.size() != y.Data.size())
            return false;
        for (std::size_t e = 0; e < x.Data.size(); ++e) {
            const TDataRec& r = x.Data[e];
            const TDataRec& s = y.Data[e];
            if (r.Title != s.Title || r.Value != s.Value || r.Info != s.Info || r.Date != s.Date)
                return false;
        }
    }
    return true;
}

// Adds the time spent in the callables it runs; with a state, only that time is
// the benchmark's.
class TStopwatch {
  public:
    explicit TStopwatch(benchmark::State* state) : state_(state) {}
    template <typename F>
    void operator()(F&& f) {
        if (state_) state_->ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        f();
        seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (state_) state_->PauseTiming();
    }
    double Seconds() const { return seconds_; }
    // A wrong result, reported once timing runs again: skipping while it is paused
    // trips the library's checks.
    void Fail(const char* message) { failure = message; }
    const char* failure = nullptr;

  private:
    benchmark::State* state_;
    double seconds_ = 0;
};

// Runs body(timed) once per iteration; only what body hands to `timed` is timed,
// so preparing inputs and freeing results stay outside.
template <typename Body>
void Timed(benchmark::State& state, Body body) {
    TStopwatch timed(&state);
    for (auto _ : state) {
        state.PauseTiming();
        body(timed);
        state.ResumeTiming();
        if (timed.failure) state.SkipWithError(timed.failure);
    }
}

// The same with a floor run untimed before each: counters floor_ms and x_floor.
// Returns the seconds timed.
template <typename Body, typename Floor>
double AgainstFloor(benchmark::State& state, Body body, Floor floor) {
    TStopwatch timed(&state);
    TStopwatch floorTimed(nullptr);
    // One round of the floor first, not counted: else only the floor's first round
    // would pay for memory new to the process.
    floor(floorTimed);
    floorTimed = TStopwatch(nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        floor(floorTimed);
        body(timed);
        state.ResumeTiming();
        if (timed.failure) state.SkipWithError(timed.failure);
    }
    state.counters["floor_ms"] = 1e3 * floorTimed.Seconds() / state.iterations();
    state.counters["x_floor"] = timed.Seconds() / floorTimed.Seconds();
    return timed.Seconds();
}

// Takes bytes as a pipe would: each is copied once into a small buffer and dropped.
class TSink : public std::streambuf {
  public:
    TSink() { setp(buffer_, buffer_ + sizeof buffer_); }

  protected:
    int_type overflow(int_type c) override {
        setp(buffer_, buffer_ + sizeof buffer_);
        if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }

  private:
    char buffer_[1 << 16];
};

void BM_Baseline_CopyBytes(benchmark::State& state, TKind kind, std::size_t entries) {
    const std::string bytes = EncodeDocument(Doc(kind, entries));
    for (auto _ : state) {
        std::string copy = bytes;
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_Load(benchmark::State& state, TKind kind, std::size_t entries) {
    const std::string& path = File(kind, entries);
    TDocument loaded;
    LoadDocument(loaded, path);
    if (!SameTexts(loaded, Doc(kind, entries))) return state.SkipWithError("loaded other texts");
    AgainstFloor(
        state,
        [&](TStopwatch& timed) {
            TDocument doc;
            timed([&] { LoadDocument(doc, path); });
            if (EntryCount(doc) != entries) timed.Fail("entries lost");
        },
        [&](TStopwatch& timed) {
            std::string bytes;
            TDocument copy;
            timed([&] {
                ReadWholeFile(path, bytes);
                copy.Keys = loaded.Keys;
            });
        });
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_Save(benchmark::State& state, TKind kind, std::size_t entries) {
    const TDocument& doc = Doc(kind, entries);
    const std::string out = TempPath(Label(kind, entries) + "-saved.pdt");
    Timed(state, [&](TStopwatch& timed) { timed([&] { SaveDocument(doc, out); }); });
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(out)));
    std::filesystem::remove(out);
}

// What "dorvanta-cli sort" does between load and save.
void BM_Sort(benchmark::State& state, TKind kind, std::size_t entries) {
    const TDocument& source = Doc(kind, entries);
    Timed(state, [&](TStopwatch& timed) {
        TDocument doc;  // no collation keys kept from an earlier sort, as after a load
        doc.Keys = source.Keys;
        timed([&] {
            doc.SortKeys();
            for (std::size_t k = 0; k < doc.Keys.size(); ++k)
                doc.SortEntries(static_cast<std::int32_t>(k));
        });
    });
}

void BM_AddKey(benchmark::State& state, TKind kind, std::size_t entries) {
    TDocument doc;
    doc.Keys = Doc(kind, entries).Keys;
    doc.SortKeys();
    const std::string parent = doc.Keys[doc.Keys.size() / 2].Parent;
    Timed(state, [&](TStopwatch& timed) {
        std::int32_t k = 0;
        timed([&] { k = doc.AddKey(parent, "Neu"); });
        doc.DeleteKey(k);
    });
}

void BM_MatchMask(benchmark::State& state, TKind kind, std::size_t entries) {
    const TDocument& doc = Doc(kind, entries);
    const TMask mask("*wert*[0-9]");
    for (auto _ : state) {
        int hits = 0;
        for (const auto& key : doc.Keys)
            for (const auto& rec : key.Data) hits += mask.Matches(rec.Value);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(entries));
}

// No field holds the text "*7?1*" itself, so every field fails the substring test
// and, with the wildcard test on, goes through the mask as well.
void Search(benchmark::State& state, TKind kind, std::size_t entries, bool wildcard) {
    const TDocument& doc = Doc(kind, entries);
    TSearchOptions options;
    options.Names = true;
    options.Wildcard = wildcard;
    std::vector<TSearchHit> hits;
    for (auto _ : state) {
        hits.clear();
        SearchDocument(doc, "*7?1*", options, hits);
        benchmark::DoNotOptimize(hits.data());
    }
    state.SetItemsProcessed(state.iterations() *
                            static_cast<int64_t>(3 * entries + doc.Keys.size()));
    state.counters["hits"] = static_cast<double>(hits.size());
}

void BM_Baseline_Search(benchmark::State& state, TKind kind, std::size_t entries) {
    Search(state, kind, entries, false);
}

void BM_Search(benchmark::State& state, TKind kind, std::size_t entries) {
    Search(state, kind, entries, true);
}

// "dorvanta-cli dump FILE" through the tool's own entry point.
void BM_Dump(benchmark::State& state, TKind kind, std::size_t entries) {
    const std::string& path = File(kind, entries);
    std::ostringstream first, err;
    if (cli::Run({"dump", path}, first, err) != cli::kOk) return state.SkipWithError("dump failed");
    const std::string json = std::move(first).str();
    TSink sink;
    std::ostream out(&sink);
    AgainstFloor(
        state,
        [&](TStopwatch& timed) {
            int status = cli::kError;
            timed([&] { status = cli::Run({"dump", path}, out, err); });
            if (status != cli::kOk) timed.Fail("dump failed");
        },
        [&](TStopwatch& timed) {
            TDocument doc;
            timed([&] {
                LoadDocument(doc, path);
                out.write(json.data(), static_cast<std::streamsize>(json.size()));
            });
        });
    state.counters["json_MB"] = json.size() / 1e6;
}

// Import of `lines` lines into a sub-category of 1,000 entries.
constexpr std::size_t kImportBase = 1000;

std::string TodayImportText(std::size_t lines) {
    std::mt19937 rng(7);
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += "Import " + std::to_string(rng() % 100000) + "\tWert " + std::to_string(i) +
                "\tInfo \xE4\xF6\xFC\r\n";
    }
    return text;
}

void BM_Import(benchmark::State& state, TKind kind, std::size_t lines) {
    const std::string path = TempPath(Label(kind, lines) + "-import.txt");
    const std::string text =
        kind == TKind::Realistic ? bench::RealisticImportText(lines) : TodayImportText(lines);
    std::ofstream(path, std::ios::binary) << text;
    g_files.paths.push_back(path);

    TDocument start;
    if (kind == TKind::Realistic) {
        std::mt19937 rng(1);
        start.Keys = bench::RealisticKeys(1, rng);
        for (std::size_t e = 0; e < kImportBase; ++e)
            start.Keys[0].Data.push_back(bench::RealisticEntry(rng));
    } else {
        start.Keys = MakeDocument(1, kImportBase).Keys;
    }
    SortEntryList(start.Keys[0].Data);
    // The entries as the import appends them, for the floor's sort.
    std::vector<TDataRec> appended = start.Keys[0].Data;
    for (const std::string& line : SplitImportLines(text)) {
        appended.push_back(SplitImportLine(line, '\t'));
    }

    const double seconds = AgainstFloor(
        state,
        [&](TStopwatch& timed) {
            TDocument doc;
            doc.Keys = start.Keys;
            timed([&] { ImportEntries(doc, 0, path, '\t'); });
            if (doc.Keys[0].Data.size() != kImportBase + lines) timed.Fail("lines lost");
        },
        [&](TStopwatch& timed) {
            std::vector<TDataRec> entries = appended;
            std::string bytes;
            timed([&] {
                ReadWholeFile(path, bytes);
                SortEntryList(entries);
            });
        });
    state.counters["ns_per_line"] = seconds * 1e9 / static_cast<double>(state.iterations() * lines);
}

void Register() {
    using Fn = void (*)(benchmark::State&, TKind, std::size_t);
    const std::pair<const char*, Fn> families[] = {
        {"BM_Baseline_CopyBytes", BM_Baseline_CopyBytes},
        {"BM_Load", BM_Load},
        {"BM_Save", BM_Save},
        {"BM_Sort", BM_Sort},
        {"BM_AddKey", BM_AddKey},
        {"BM_MatchMask", BM_MatchMask},
        {"BM_Baseline_Search", BM_Baseline_Search},
        {"BM_Search", BM_Search},
        {"BM_Dump", BM_Dump},
    };
    const auto add = [](const std::string& name, Fn fn, TKind kind, std::size_t count) {
        auto* b = benchmark::RegisterBenchmark(name.c_str(), fn, kind, count)
                      ->Unit(benchmark::kMillisecond);
        // A few rounds are enough for the large cases, which take seconds each.
        if (count >= 999000) b->Iterations(3);
    };
    for (const TKind kind : {TKind::Today, TKind::Realistic}) {
        for (const std::size_t entries : {10000, 100000, 1000000}) {
            for (const auto& [family, fn] : families) {
                add(std::string(family) + "/" + SizeLabel(entries) + "/" + KindName(kind), fn, kind,
                    entries);
            }
        }
        // 999,000 lines take the sub-category to the most it may hold.
        for (const std::size_t lines : {10000, 100000, 999000}) {
            add("BM_Import/" + SizeLabel(lines) + "/" + KindName(kind), BM_Import, kind, lines);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
