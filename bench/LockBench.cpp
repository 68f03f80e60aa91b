// Locking and unlocking the window while it shows a realistic collection of
// 100,000 entries (bench/RealisticData.h), at the work factor saves use. Each is
// one key derivation, measured alone in the Baseline row, plus its own work:
// sealing or opening the document, wiping or refilling the lists. The goal is
// under 2 s each beyond the derivation: read Lock - Baseline and Unlock - Baseline.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <filesystem>

#include "bench/RealisticData.h"
#include "mainwindow/CategoryPane.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/MainWindow.h"
#include "platform/FreedMemory.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

constexpr int kEntries = 100000;
const std::string kPassword = "Sch\xFCssel-\xC4rger 42";  // Windows-1252

// The window with the collection open, a sub-category and an entry selected.
TMainWindow& Window() {
    static TMainWindow* window = [] {
        TDocument doc = bench::RealisticDocument(kEntries);
        doc.Password = kPassword;
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("dorvanta-lock-bench-" + std::to_string(::getpid()) + ".pdt"))
                                     .string();
        SaveDocument(doc, path);
        auto* w = new TMainWindow(*new TDocumentSession);
        w->show();
        MessageService::Instance().QueueInput(ToQString(kPassword));
        w->OpenFile(QString::fromStdString(path));
        std::filesystem::remove(path);
        w->CategoryPane().SelectKeyRow(0);
        w->CategoryPane().ListBox_KeysClick();
        w->EntryPane().SelectEntryRow(0);
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

std::size_t Entries(const TDocument& doc) {
    std::size_t n = 0;
    for (const TDataKey& key : doc.Keys) n += key.Data.size();
    return n;
}

void Lock(TMainWindow& w) {
    w.LockPane().MenuItem_LockClick();
    QApplication::processEvents();
}

void Unlock(TMainWindow& w) {
    MessageService::Instance().QueueInput(ToQString(kPassword));
    w.LockPane().UnlockWithPrompt();
    QApplication::processEvents();
}

void BM_Baseline_KeyDerivation_WorkFactor18(benchmark::State& state) {
    const std::string passphrase = Cp1252ToUtf8(kPassword);
    for (auto _ : state) benchmark::DoNotOptimize(age::Encrypt("", passphrase, 18));
}
BENCHMARK(BM_Baseline_KeyDerivation_WorkFactor18)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Lock_100kEntries(benchmark::State& state) {
    TMainWindow& w = Window();
    SetEncryptionWorkFactor(18);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        Lock(w);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!w.Session().Locked()) state.SkipWithError("not locked");
        Unlock(w);
    }
    state.counters["entries"] = static_cast<double>(Entries(w.Session().Document()));
}
BENCHMARK(BM_Lock_100kEntries)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_Unlock_100kEntries(benchmark::State& state) {
    TMainWindow& w = Window();
    SetEncryptionWorkFactor(18);
    for (auto _ : state) {
        Lock(w);
        QElapsedTimer timer;
        timer.start();
        Unlock(w);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (w.Session().Locked()) state.SkipWithError("not unlocked");
    }
    state.counters["entries"] = static_cast<double>(Entries(w.Session().Document()));
}
BENCHMARK(BM_Unlock_100kEntries)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    OverwriteFreedMemory();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    setenv("DORVANTA_REGISTRY_DIR", settings.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);
    MessageService::Instance().SetTestMode(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
