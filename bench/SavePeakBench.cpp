// Peak memory of saving and opening a realistic collection of about 100 MB
// (bench/RealisticData.h) in both formats, each case in a fresh process of this
// program: a benchmark process keeps memory its earlier rounds freed. The case
// process reads the collection, resets its high-water mark (/proc/self/clear_refs)
// and reports VmHWM after the one operation. The counters give each peak and its
// ratio to the plain save of the same run. Encrypted cases run at work factor 1:
// at the saves' factor 18 the key derivation adds its fixed 256 MiB.
//
//   save_peak_bench [benchmark options]
//   save_peak_bench --case OP DOCUMENT FILE   one case (what the benchmark runs)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bench/RealisticData.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

constexpr std::size_t kEntries = 670000;  // about 100 MB of pdt file
const std::string kPassword = "Sch\xFCssel-\xC4rger 42";

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

TLoadHooks Hooks() {
    TLoadHooks hooks;
    hooks.AskPassword = [](const std::string&) { return std::optional<std::string>(kPassword); };
    return hooks;
}

// One operation: "save-plain", "save-encrypted", "save-backup" (the plain DOCUMENT
// read first, then written to FILE; the last keeping FILE's former bytes as its
// backup copy first, as the session does), "open" (FILE read). Prints the peak in KiB.
int RunCase(const std::string& op, const std::string& document, const std::string& file) {
    SetEncryptionWorkFactor(1);
    TDocument doc;
    const bool save = op.starts_with("save");
    if (save) {
        LoadDocument(doc, document, Hooks());
        doc.Password = kPassword;
        doc.Format =
            op == "save-encrypted" ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain;
    }
    std::ofstream("/proc/self/clear_refs") << "5";
    if (save) {
        if (op == "save-backup" && BackupFile(file) != TBackupResult::Made) return 1;
        SaveDocument(doc, file);
    } else if (!LoadDocument(doc, file, Hooks()) || doc.Keys.empty()) {
        return 1;
    }
    std::printf("%ld\n", StatusKb("VmHWM:"));
    return 0;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("dorvanta-peak-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

struct TFiles {
    std::string plain = TempPath("plain.pdt");
    std::string encrypted = TempPath("enc.pdt.age");
    std::string out = TempPath("out");
    TFiles() {
        SetEncryptionWorkFactor(1);
        TDocument doc = bench::RealisticDocument(kEntries);
        doc.Password = kPassword;
        SaveDocument(doc, plain);
        doc.Format = TDocument::TFormat::Encrypted;
        SaveDocument(doc, encrypted);
    }
    ~TFiles() {
        for (const std::string& p : {plain, encrypted, out, BackupPath(out)}) {
            std::filesystem::remove(p);
        }
    }
};

const TFiles& Files() {
    static const TFiles files;
    return files;
}

// The peak of one case in a child process, in MB.
double PeakMb(const std::string& op, const std::string& file) {
    const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --case " + op + " " +
                                Files().plain + " " + file;
    FILE* pipe = ::popen(command.c_str(), "r");
    long kb = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
        ::pclose(pipe);
    }
    return static_cast<double>(kb) / 1024.0;
}

// The plain save's peak of this run, which the other cases are read against.
double& BaselineMb() {
    static double mb = 0;
    return mb;
}

void Peak(benchmark::State& state, const std::string& op, const std::string& file,
          bool baseline = false) {
    double mb = 0;
    for (auto _ : state) mb = PeakMb(op, file);
    if (mb <= 0) state.SkipWithError("case failed");
    if (baseline) BaselineMb() = mb;
    state.counters["peak_MB"] = mb;
    state.counters["file_MB"] =
        static_cast<double>(std::filesystem::file_size(Files().plain)) / 1e6;
    if (BaselineMb() > 0) state.counters["x_plain_save"] = mb / BaselineMb();
}

void BM_Baseline_PeakSavePlain(benchmark::State& state) {
    Peak(state, "save-plain", Files().out, true);
}
void BM_PeakSaveEncrypted(benchmark::State& state) {
    Peak(state, "save-encrypted", Files().out);
}
// The former file (the baseline's) copied to its backup before the save.
void BM_PeakSaveWithBackup(benchmark::State& state) {
    Peak(state, "save-backup", Files().out);
}
void BM_PeakOpenPlain(benchmark::State& state) {
    Peak(state, "open", Files().plain);
}
void BM_PeakOpenEncrypted(benchmark::State& state) {
    Peak(state, "open", Files().encrypted);
}
BENCHMARK(BM_Baseline_PeakSavePlain)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakSaveEncrypted)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakSaveWithBackup)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakOpenPlain)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakOpenEncrypted)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--case") return RunCase(argv[2], argv[3], argv[4]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
