// The settings store with large hive files. Read every figure as a ratio to the
// baseline of the same run that reads the same file's bytes:
//  - LargeFile: a 30 MB hive of 2,000 keys with 200 values each and a 1 MB binary
//    value over continuation lines; opening a key and reading one value parses it
//    whole (one byte of the file changes before each pass, so no parse is reused).
//  - ManyValues: one key of 8,000 values, every one read after a fresh parse, and
//    again with the parse kept from before (as a running program reads).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/RegTree.h"
#include "platform/Settings.h"
#include "store/FileIO.h"

namespace {

using namespace dorvanta;

constexpr int kManyValues = 8000;
const std::string kManyKey = "Software\\QZ\\Dorvanta";

// The beginning of each file: a key with a value "Toggle" of one letter, "a" or "b".
std::string TogglePart(Hive hive) {
    return "REGEDIT4\n\n[" + std::string(HiveName(hive)) +
           "\\Software\\QZ\\Toggle]\n\"Toggle\"=\"a\"\n";
}
// Where that letter is.
std::size_t TogglePlace(Hive hive) {
    return TogglePart(hive).size() - 3;
}

std::string LargeHiveText() {
    std::string text = TogglePart(Hive::CurrentUser);
    char line[160];
    for (int k = 0; k < 2000; ++k) {
        std::snprintf(line, sizeof line, "[HKEY_CURRENT_USER\\Software\\QZ\\Bench\\Key%04d]\n", k);
        text += line;
        for (int v = 0; v < 200; ++v) {
            std::snprintf(line, sizeof line,
                          "\"Value%03d\"=\"C:\\\\Daten\\\\Ordner %04d\\\\Datei %03d mit "
                          "etwas Text.pdt\"\n",
                          v, k, v);
            text += line;
        }
        text += '\n';
    }
    text += "[HKEY_CURRENT_USER\\Software\\QZ\\Bench\\Binary]\n\"Blob\"=hex:00";
    for (int i = 1; i < (1 << 20); ++i) text += i % 25 == 0 ? ",\\\n  ab" : ",ab";
    text += "\n";
    return text;
}

std::string ManyValuesHiveText() {
    std::string text = TogglePart(Hive::LocalMachine);
    text += "[HKEY_LOCAL_MACHINE\\" + kManyKey + "]\n";
    char line[64];
    for (int i = 0; i < kManyValues; ++i) {
        std::snprintf(line, sizeof line, "\"Value%d\"=dword:%08x\n", i, i);
        text += line;
    }
    return text;
}

// The hive files in a folder of their own, made once, removed at the end.
struct Files {
    std::filesystem::path folder;
    Files() {
        char pattern[] = "/tmp/dorvanta-settings-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("DORVANTA_REGISTRY_DIR", folder.c_str(), 1);
        WriteFileAtomically(HiveFilePath(Hive::CurrentUser), LargeHiveText());
        WriteFileAtomically(HiveFilePath(Hive::LocalMachine), ManyValuesHiveText());
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

// Changes one byte of the file in place (a value "Toggle" between "a" and "b") and
// gives it a new modification time: the store must read and parse it again.
void Modify(Hive hive) {
    static long tick = 0;
    const std::string path = HiveFilePath(hive);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    char byte = 0;
    const off_t at = static_cast<off_t>(TogglePlace(hive));
    if (::pread(fd, &byte, 1, at) == 1) {
        byte = byte == 'a' ? 'b' : 'a';
        if (::pwrite(fd, &byte, 1, at) != 1) byte = 0;
    }
    ::close(fd);
    timespec times[2] = {{0, UTIME_OMIT}, {1700000000, ++tick % 1000000000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void ReadBytes(benchmark::State& state, Hive hive) {
    TheFiles();
    std::string bytes;
    for (auto _ : state) {
        ReadWholeFile(HiveFilePath(hive), bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_Baseline_LargeFile(benchmark::State& state) {
    ReadBytes(state, Hive::CurrentUser);
}
BENCHMARK(BM_Baseline_LargeFile)->Unit(benchmark::kMillisecond);

void BM_LargeFileOpenAndReadAValue(benchmark::State& state) {
    TheFiles();
    const std::uint64_t parses = reg::ParseCount();
    for (auto _ : state) {
        state.PauseTiming();
        Modify(Hive::CurrentUser);
        state.ResumeTiming();
        TSettingsStore reg(Hive::CurrentUser);
        if (!reg.OpenKey("Software\\QZ\\Bench\\Key1999", false)) state.SkipWithError("no key");
        benchmark::DoNotOptimize(reg.ReadString("Value199"));
    }
    state.counters["parses"] = static_cast<double>(reg::ParseCount() - parses);
}
BENCHMARK(BM_LargeFileOpenAndReadAValue)->Unit(benchmark::kMillisecond);

void BM_Baseline_ManyValues(benchmark::State& state) {
    ReadBytes(state, Hive::LocalMachine);
}
BENCHMARK(BM_Baseline_ManyValues)->Unit(benchmark::kMillisecond);

void ReadAllValues(benchmark::State& state, bool modify) {
    TheFiles();
    const std::uint64_t parses = reg::ParseCount();
    for (auto _ : state) {
        if (modify) {
            state.PauseTiming();
            Modify(Hive::LocalMachine);
            state.ResumeTiming();
        }
        TSettingsStore reg(Hive::LocalMachine);
        if (!reg.OpenKey(kManyKey, false)) state.SkipWithError("no key");
        std::int64_t sum = 0;
        for (int i = 0; i < kManyValues; ++i) sum += reg.ReadInteger("Value" + std::to_string(i));
        if (sum != std::int64_t{kManyValues} * (kManyValues - 1) / 2) state.SkipWithError("sum");
    }
    state.counters["parses"] = static_cast<double>(reg::ParseCount() - parses);
}

void BM_ManyValuesRead8000AfterAParse(benchmark::State& state) {
    ReadAllValues(state, true);
}
BENCHMARK(BM_ManyValuesRead8000AfterAParse)->Unit(benchmark::kMillisecond);

void BM_ManyValuesRead8000Parsed(benchmark::State& state) {
    ReadAllValues(state, false);
}
BENCHMARK(BM_ManyValuesRead8000Parsed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
