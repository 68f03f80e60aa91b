// The main window with large collections of today's generated data and of realistic
// data (bench/RealisticData.h): 10,000 to 1,000,000 entries, and one sub-category of
// 100,000 entries. Read every figure as a ratio to BM_Baseline_PaintEmptyList, which
// paints the same list viewport with no rows, measured in the same run.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "bench/RealisticData.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/CategoryPane.h"
#include "mainwindow/DialogCommands.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "session/DocumentSession.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

enum class TKind { Today, Realistic };

const char* KindName(TKind kind) {
    return kind == TKind::Today ? "today" : "realistic";
}

QString Saved(const TDocument& doc, const QString& name) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(name);
    SaveDocument(doc, path.toStdString());
    return path;
}

// `entries` entries: today's "Rubrik k" sub-categories of 10 entries, 20 to a parent;
// or a realistic collection. Made once per kind and size.
QString BigFile(TKind kind, int entries) {
    static std::map<std::pair<TKind, int>, QString> paths;
    QString& path = paths[{kind, entries}];
    if (path.isEmpty()) {
        TDocument doc;
        if (kind == TKind::Realistic) {
            doc = bench::RealisticDocument(entries);
        } else {
            std::mt19937 rng(7);
            for (int k = 0; k < entries / 10; ++k) {
                TDataKey key{
                    "Rubrik " + std::to_string(k), "Oberrubrik " + std::to_string(k / 20), {}};
                for (int e = 0; e < 10; ++e) {
                    key.Data.push_back({"Titel " + std::to_string(e),
                                        "Wert " + std::to_string(rng() % 100000), "Info", 45000.5});
                }
                doc.Keys.push_back(std::move(key));
            }
            doc.SortKeys();
        }
        path = Saved(doc, QStringLiteral("big-%1-%2.pdt").arg(KindName(kind)).arg(entries));
    }
    return path;
}

// One sub-category holding 100,000 entries between two small ones.
QString OneLargeFile(TKind kind) {
    static std::map<TKind, QString> paths;
    QString& path = paths[kind];
    if (path.isEmpty()) {
        TDocument doc;
        doc.Keys.push_back({"Klein", "A", {{"Titel", "Wert", "Info", 45000.5}}});
        TDataKey large{"Gross", "B", {}};
        std::mt19937 rng(5);
        for (int e = 0; e < 100000; ++e) {
            large.Data.push_back(kind == TKind::Realistic
                                     ? bench::RealisticEntry(rng)
                                     : TDataRec{"Titel " + std::to_string(e),
                                                "Wert " + std::to_string(e), "Info", 45000.5});
        }
        if (kind == TKind::Realistic) SortEntryList(large.Data);
        doc.Keys.push_back(std::move(large));
        doc.Keys.push_back({"Klein", "C", {{"Titel", "Wert", "Info", 45000.5}}});
        path = Saved(doc, QStringLiteral("large-%1.pdt").arg(KindName(kind)));
    }
    return path;
}

TMainWindow& Window() {
    static TMainWindow* form = [] {
        auto* f = new TMainWindow(*new TDocumentSession);
        f->show();
        QApplication::processEvents();
        return f;
    }();
    return *form;
}

void Paint(TMainWindow& form) {
    QPixmap target(form.CategoryPane().List()->viewport()->size());
    form.CategoryPane().List()->viewport()->render(&target);
    benchmark::DoNotOptimize(target.cacheKey());
}

// Scrolls in uneven steps through the whole list, repainting after each.
void ScrollAndPaint(TMainWindow& form, benchmark::State& state) {
    QScrollBar* bar = form.CategoryPane().List()->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + 997 * 13) % std::max(1, bar->maximum());
        bar->setValue(position);
        Paint(form);
    }
}

void BM_Baseline_PaintEmptyList(benchmark::State& state) {
    TMainWindow& form = Window();
    form.MenuItem_NewClick();
    for (auto _ : state) Paint(form);
}
BENCHMARK(BM_Baseline_PaintEmptyList)->Unit(benchmark::kMicrosecond);

void BM_Open(benchmark::State& state, TKind kind, int entries) {
    TMainWindow& form = Window();
    const QString path = BigFile(kind, entries);
    for (auto _ : state) {
        form.OpenFile(path);
        QApplication::processEvents();
    }
    if (static_cast<int>(form.Session().Document().Keys.size()) < entries / 100)
        state.SkipWithError("not opened");
}

// One scroll step repaints the visible rows, with "Daten zeigen..." up or down.
void BM_ScrollAndPaint(benchmark::State& state, TKind kind, bool showData) {
    TMainWindow& form = Window();
    form.OpenFile(BigFile(kind, 100000));
    form.CategoryPane().ShowDataAction()->setChecked(showData);
    form.CategoryPane().SpeedButton_ShowDataClick();
    ScrollAndPaint(form, state);
    form.CategoryPane().ShowDataAction()->setChecked(false);
}

// With "Daten zeigen..." down, the 100,000 entry lines of one row: a repaint draws
// only the lines inside the viewport.
void BM_ScrollAndPaint_OneSubCategoryOf100kEntries(benchmark::State& state, TKind kind) {
    TMainWindow& form = Window();
    form.OpenFile(OneLargeFile(kind));
    form.CategoryPane().ShowDataAction()->setChecked(true);
    form.CategoryPane().SpeedButton_ShowDataClick();
    form.CategoryPane().List()->SetItemIndex(1);
    form.CategoryPane().ListBox_KeysClick();
    ScrollAndPaint(form, state);
    form.CategoryPane().ShowDataAction()->setChecked(false);
}

// Selecting the sub-category of 100,000 entries: the entry list shows them.
void BM_SelectSubCategoryOf100kEntries(benchmark::State& state, TKind kind) {
    TMainWindow& form = Window();
    form.OpenFile(OneLargeFile(kind));
    for (auto _ : state) {
        form.CategoryPane().SelectKeyRow(state.iterations() % 2 == 0 ? 1 : 0);
        form.CategoryPane().ListBox_KeysClick();
        Paint(form);
        QApplication::processEvents();
    }
}

// Storing one new entry from the editor into the sub-category of 100,000 entries:
// the entries are sorted again and the entry list shows the new order.
void BM_StoreEntryIn100kSubCategory(benchmark::State& state, TKind kind) {
    TMainWindow& form = Window();
    form.OpenFile(OneLargeFile(kind));
    form.CategoryPane().SelectKeyRow(1);
    form.CategoryPane().ListBox_KeysClick();
    int n = 0;
    for (auto _ : state) {
        form.EntryPane().NameEdit()->setText(QStringLiteral("Neu %1").arg(n++));
        form.EntryPane().Button_ApplyDataClick();
        QApplication::processEvents();
    }
    form.Session().Document().Modified = false;
}

// Selecting another sub-category: the entry list is refilled and the list repainted,
// in the full or the compressed view.
void BM_SwitchSubCategory(benchmark::State& state, TKind kind, bool compressed) {
    TMainWindow& form = Window();
    form.OpenFile(BigFile(kind, 100000));
    form.CategoryPane().CompressViewAction()->setChecked(compressed);
    form.CategoryPane().SpeedButton_ShowDataClick();
    std::mt19937 rng(3);
    const int rows = std::max(1, form.CategoryPane().List()->Count());
    for (auto _ : state) {
        form.CategoryPane().List()->SetItemIndex(static_cast<int>(rng() % rows));
        form.CategoryPane().ListBox_KeysClick();
        Paint(form);
    }
    form.CategoryPane().CompressViewAction()->setChecked(false);
}

// A sub-category holding one entry whose value is `megabytes` MB of realistic text,
// beside a small one.
QString LongValueFile(int megabytes) {
    static std::map<int, QString> paths;
    QString& path = paths[megabytes];
    if (path.isEmpty()) {
        std::mt19937 rng(11);
        std::string value;
        const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
        while (value.size() < size) value += bench::RealisticText(rng) + ' ';
        value.resize(size);
        TDocument doc;
        doc.Keys.push_back({"Kurz", "A", {{"Titel", "Wert", "Info", 45000.5}}});
        doc.Keys.push_back({"Lang", "A", {{"Titel", std::move(value), "Info", 45000.5}}});
        path = Saved(doc, QStringLiteral("long-value-%1.pdt").arg(megabytes));
    }
    return path;
}

long VmHwmKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    long kb = -1;
    char line[256];
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmHWM: %ld", &kb) == 1) break;
    }
    if (status) std::fclose(status);
    return kb;
}

// Selecting the sub-category whose one entry holds a 20 MB value (with "Daten
// zeigen..." up or down): the entry list and the category list paint. Goal: <= 100 ms
// (x_goal reads <= 1 when met). peak_growth_MB: how far the process's peak memory
// rose during the run.
void BM_SelectSubCategoryWithLongValue(benchmark::State& state, bool showData) {
    TMainWindow& form = Window();
    form.OpenFile(LongValueFile(20));
    form.CategoryPane().ShowDataAction()->setChecked(showData);
    form.CategoryPane().SpeedButton_ShowDataClick();
    QApplication::processEvents();
    const long peakBefore = VmHwmKb();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        form.CategoryPane().SelectKeyRow(0);
        form.CategoryPane().ListBox_KeysClick();
        QApplication::processEvents();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        form.CategoryPane().SelectKeyRow(1);
        form.CategoryPane().ListBox_KeysClick();
        Paint(form);
        QPixmap entries(form.EntryPane().List()->viewport()->size());
        form.EntryPane().List()->viewport()->render(&entries);
        QApplication::processEvents();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["x_goal"] = seconds / static_cast<double>(state.iterations()) / 0.1;
    state.counters["peak_growth_MB"] = static_cast<double>(VmHwmKb() - peakBefore) / 1024;
    form.CategoryPane().ShowDataAction()->setChecked(false);
    form.MenuItem_NewClick();
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Search "*" in the search dialog with names, titles, values and infos ticked: every
// sub-category and every entry is a hit. Counters: hits, the heap the hit list holds
// per hit, and what is still held once the dialog has closed (goals: <= 1 s, <= 100
// bytes per hit, freed on close; x_goal_* read <= 1 when met).
void BM_SearchDialogAllHits(benchmark::State& state, TKind kind, int entries) {
    TMainWindow& form = Window();
    form.OpenFile(BigFile(kind, entries));
    QApplication::processEvents();
    double hits = 0, perHit = 0, heldAfterClose = 0, seconds = 0;
    for (auto _ : state) {
        form.Dialogs().MenuItem_SearchClick();
        TSearchDialog& search = *form.Dialogs().SearchDialog();
        const std::array boxes{search.CheckBox_SubKeys, search.CheckBox_Titles,
                               search.CheckBox_Values, search.CheckBox_Info};
        std::array<bool, 4> were{};
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            were[b] = boxes[b]->isChecked();
            boxes[b]->setChecked(true);
        }
        search.Edit_SearchFor->setText(QStringLiteral("*"));
        QApplication::processEvents();
        const std::size_t before = HeapInUse();
        const auto start = std::chrono::steady_clock::now();
        search.Button_SearchClick();
        QApplication::processEvents();  // the view lays out and paints its visible rows
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += took;
        state.SetIterationTime(took);
        hits = static_cast<double>(search.SearchResults().size());
        perHit = hits > 0 ? static_cast<double>(HeapInUse() - before) / hits : 0;
        search.close();
        for (std::size_t b = 0; b < boxes.size(); ++b) boxes[b]->setChecked(were[b]);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        malloc_trim(0);
        const std::size_t after = HeapInUse();
        heldAfterClose = after > before ? static_cast<double>(after - before) : 0;
    }
    if (hits < entries) state.SkipWithError("fewer hits than entries");
    state.counters["hits"] = hits;
    state.counters["x_goal_time"] = seconds / static_cast<double>(state.iterations());
    state.counters["bytes_per_hit"] = perHit;
    state.counters["x_goal_bytes"] = perHit / 100;
    state.counters["held_after_close_MB"] = heldAfterClose / 1e6;
}

// The search dialog over long fields: "a" over 100 values of 1 MB (every one a hit,
// the list shows their beginnings), and a 1,000-character mask against one value of
// 10 MB. Counters: seconds per search (x_goal against 1 s) and the rise of the
// process's peak memory.
void BM_SearchDialogLongFields(benchmark::State& state, bool longMask) {
    TMainWindow& form = Window();
    TDocument& doc = form.Session().Document();
    doc.ClearDocument();
    TDataKey key{"Lang", "A", {}};
    std::string text;
    if (longMask) {
        key.Data.push_back({"Titel", std::string(10 << 20, 'a'), "Info", 45000.5});
        text = "*" + std::string(997, 'a') + "?b*";
    } else {
        for (int e = 0; e < 100; ++e)
            key.Data.push_back(
                {"Titel " + std::to_string(e), std::string(1 << 20, 'a'), "Info", 45000.5});
        text = "a";
    }
    doc.Keys.push_back(std::move(key));
    form.CategoryPane().UpdtListBox(true, {});
    form.CategoryPane().ListBox_KeysClick();
    QApplication::processEvents();
    const long peakBefore = VmHwmKb();
    double seconds = 0;
    for (auto _ : state) {
        form.Dialogs().MenuItem_SearchClick();
        TSearchDialog& search = *form.Dialogs().SearchDialog();
        search.Edit_SearchFor->setText(QString::fromLatin1(text.c_str()));
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        search.Button_SearchClick();
        QApplication::processEvents();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += took;
        state.SetIterationTime(took);
        const std::size_t hits = search.SearchResults().size();
        search.close();
        QApplication::processEvents();
        if (hits != (longMask ? 0u : 100u)) {
            state.SkipWithError("hits");
            break;
        }
    }
    state.counters["x_goal"] = seconds / static_cast<double>(state.iterations());
    state.counters["peak_growth_MB"] = static_cast<double>(VmHwmKb() - peakBefore) / 1024;
    form.MenuItem_NewClick();
}

// Names read BM_<what>/<entries>/<kind of data>.
void Register() {
    for (const TKind kind : {TKind::Today, TKind::Realistic}) {
        const std::string suffix = std::string("/") + KindName(kind);
        for (const auto& [label, entries] :
             {std::pair{"10k", 10000}, {"100k", 100000}, {"1M", 1000000}}) {
            benchmark::RegisterBenchmark(("BM_Open/" + (label + suffix)).c_str(), BM_Open, kind,
                                         entries)
                ->Unit(benchmark::kMillisecond);
        }
        const std::string search = "BM_SearchDialogAllHits/1M" + suffix;
        benchmark::RegisterBenchmark(search.c_str(), BM_SearchDialogAllHits, kind, 1000000)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()  // the search alone, not the dialog's opening and closing
            ->Iterations(2);
        if (kind == TKind::Today) {
            for (const bool showData : {false, true}) {
                benchmark::RegisterBenchmark(showData
                                                 ? "BM_SelectSubCategoryWithLongValue_ShowData/20MB"
                                                 : "BM_SelectSubCategoryWithLongValue/20MB",
                                             BM_SelectSubCategoryWithLongValue, showData)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(3);
            }
        }
        if (kind == TKind::Today) {
            for (const bool longMask : {false, true}) {
                benchmark::RegisterBenchmark(
                    longMask ? "BM_SearchDialogLongMask/10MB" : "BM_SearchDialogLongFields/100x1MB",
                    BM_SearchDialogLongFields, longMask)
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime()
                    ->Iterations(2);
            }
        }
        const auto us = [&](const std::string& name, auto fn, auto... args) {
            benchmark::RegisterBenchmark((name + "/100k" + suffix).c_str(), fn, kind, args...)
                ->Unit(benchmark::kMicrosecond);
        };
        us("BM_ScrollAndPaint", BM_ScrollAndPaint, false);
        us("BM_ScrollAndPaint_ShowData", BM_ScrollAndPaint, true);
        us("BM_ScrollAndPaint_OneSubCategory", BM_ScrollAndPaint_OneSubCategoryOf100kEntries);
        us("BM_SelectSubCategory", BM_SelectSubCategoryOf100kEntries);
        us("BM_StoreEntryInSubCategory", BM_StoreEntryIn100kSubCategory);
        us("BM_SwitchSubCategory", BM_SwitchSubCategory, false);
        us("BM_SwitchSubCategory_Compressed", BM_SwitchSubCategory, true);
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    setenv("DORVANTA_REGISTRY_DIR", settings.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);
    MessageService::Instance().SetTestMode(true);
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
