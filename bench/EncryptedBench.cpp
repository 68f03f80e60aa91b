// Encrypted against plain files: opening and saving one realistic collection of
// 100,000 entries (bench/RealisticData.h). Every encrypted figure is read against the
// plain Baseline of the same run. At work factor 18 (what saves write) the key
// derivation is a fixed cost, measured alone in the KeyDerivation rows, so the
// encrypted open beyond it is (OpenEncrypted18 - OpenKeyDerivation18) against
// the baseline; at work factor 1 the derivation is negligible and the ratio of
// the remaining work shows directly.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "bench/RealisticData.h"
#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/Document.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

constexpr int kEntries = 100000;
const std::string kPassword = "Sch\xFCssel-\xC4rger 42";  // Windows-1252

const TDocument& Collection() {
    static const TDocument doc = [] {
        TDocument d = bench::RealisticDocument(kEntries);
        d.Password = kPassword;
        return d;
    }();
    return doc;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("dorvanta-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// The collection saved once per format and work factor; removed at exit.
struct TFiles {
    std::string plain = TempPath("plain.pdt");
    std::string encrypted1 = TempPath("wf1.pdt");
    std::string encrypted18 = TempPath("wf18.pdt");
    TFiles() {
        TDocument doc = Collection();
        SaveDocument(doc, plain);
        doc.Format = TDocument::TFormat::Encrypted;
        SetEncryptionWorkFactor(1);
        SaveDocument(doc, encrypted1);
        SetEncryptionWorkFactor(18);
        SaveDocument(doc, encrypted18);
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
    }
    ~TFiles() {
        for (const std::string& p : {plain, encrypted1, encrypted18}) std::filesystem::remove(p);
    }
};

const TFiles& Files() {
    static const TFiles files;
    return files;
}

void Processed(benchmark::State& state, const std::string& path) {
    state.SetItemsProcessed(state.iterations() * kEntries);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

void Open(benchmark::State& state, const std::string& path) {
    TLoadHooks hooks;
    hooks.AskPassword = [](const std::string&) { return std::optional<std::string>(kPassword); };
    std::size_t entries = 0;
    for (auto _ : state) {
        TDocument doc;
        if (!LoadDocument(doc, path, hooks)) state.SkipWithError("refused");
        entries = 0;
        for (const TDataKey& key : doc.Keys) entries += key.Data.size();
    }
    if (entries != kEntries) state.SkipWithError("not all entries loaded");
    Processed(state, path);
}

void Save(benchmark::State& state, TDocument::TFormat format, int workFactor) {
    TDocument doc = Collection();
    doc.Format = format;
    SetEncryptionWorkFactor(workFactor);
    const std::string path = TempPath("save.pdt");
    for (auto _ : state) SaveDocument(doc, path);
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
    Processed(state, path);
    std::filesystem::remove(path);
}

void BM_Baseline_Open_100kEntries(benchmark::State& state) {
    Open(state, Files().plain);
}
BENCHMARK(BM_Baseline_Open_100kEntries)->Unit(benchmark::kMillisecond);

void BM_OpenEncrypted_WorkFactor1_100kEntries(benchmark::State& state) {
    Open(state, Files().encrypted1);
}
BENCHMARK(BM_OpenEncrypted_WorkFactor1_100kEntries)->Unit(benchmark::kMillisecond);

void BM_OpenEncrypted_WorkFactor18_100kEntries(benchmark::State& state) {
    Open(state, Files().encrypted18);
}
BENCHMARK(BM_OpenEncrypted_WorkFactor18_100kEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

// The fixed part of opening: unwrapping the file key of a header at factor 18.
void BM_OpenKeyDerivation_WorkFactor18(benchmark::State& state) {
    const std::string file = age::Encrypt("", Cp1252ToUtf8(kPassword), 18);
    age::TMemorySource source(file);
    const age::THeader header = age::ReadHeader(source);
    const std::string passphrase = Cp1252ToUtf8(kPassword);
    unsigned char key[age::kFileKeySize];
    for (auto _ : state) {
        age::UnwrapFileKey(header, passphrase, key);
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_OpenKeyDerivation_WorkFactor18)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Baseline_Save_100kEntries(benchmark::State& state) {
    Save(state, TDocument::TFormat::Plain, age::kWriteWorkFactor);
}
BENCHMARK(BM_Baseline_Save_100kEntries)->Unit(benchmark::kMillisecond);

void BM_SaveEncrypted_WorkFactor1_100kEntries(benchmark::State& state) {
    Save(state, TDocument::TFormat::Encrypted, 1);
}
BENCHMARK(BM_SaveEncrypted_WorkFactor1_100kEntries)->Unit(benchmark::kMillisecond);

void BM_SaveEncrypted_WorkFactor18_100kEntries(benchmark::State& state) {
    Save(state, TDocument::TFormat::Encrypted, 18);
}
BENCHMARK(BM_SaveEncrypted_WorkFactor18_100kEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

// The fixed part of saving: an empty payload at factor 18.
void BM_SaveKeyDerivation_WorkFactor18(benchmark::State& state) {
    const std::string passphrase = Cp1252ToUtf8(kPassword);
    for (auto _ : state) benchmark::DoNotOptimize(age::Encrypt("", passphrase, 18));
}
BENCHMARK(BM_SaveKeyDerivation_WorkFactor18)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
