// The main window with a large collection: 10,000 sub-categories under 500 parents
// holding 100,000 entries, and one sub-category of 100,000 entries. Read every figure as a ratio to
// BM_Baseline_PaintEmptyList, which paints the same list viewport with no rows, measured in the
// same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdlib>
#include <random>

#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "store/PdtFile.h"

namespace {

using namespace dorvanta;

QString BigFile() {
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        std::mt19937 rng(7);
        TDocument doc;
        for (int k = 0; k < 10000; ++k) {
            TDataKey key{"Rubrik " + std::to_string(k), "Oberrubrik " + std::to_string(k / 20), {}};
            for (int e = 0; e < 10; ++e) {
                key.Data.push_back({"Titel " + std::to_string(e),
                                    "Wert " + std::to_string(rng() % 100000), "Info", 45000.5});
            }
            doc.Keys.push_back(std::move(key));
        }
        doc.SortKeys();
        path = dir.filePath("big.pdt");
        SaveDocument(doc, path.toStdString());
    }
    return path;
}

// One sub-category holding 100,000 entries between two small ones.
QString OneLargeFile() {
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        TDocument doc;
        doc.Keys.push_back({"Klein", "A", {{"Titel", "Wert", "Info", 45000.5}}});
        TDataKey large{"Gross", "B", {}};
        for (int e = 0; e < 100000; ++e) {
            large.Data.push_back(
                {"Titel " + std::to_string(e), "Wert " + std::to_string(e), "Info", 45000.5});
        }
        doc.Keys.push_back(std::move(large));
        doc.Keys.push_back({"Klein", "C", {{"Titel", "Wert", "Info", 45000.5}}});
        path = dir.filePath("large.pdt");
        SaveDocument(doc, path.toStdString());
    }
    return path;
}

TForm1& Window() {
    static TForm1* form = [] {
        auto* f = new TForm1;
        f->show();
        QApplication::processEvents();
        return f;
    }();
    return *form;
}

void Paint(TForm1& form) {
    QPixmap target(form.ListBox_Keys->viewport()->size());
    form.ListBox_Keys->viewport()->render(&target);
    benchmark::DoNotOptimize(target.cacheKey());
}

// Scrolls in uneven steps through the whole list, repainting after each.
void ScrollAndPaint(TForm1& form, benchmark::State& state) {
    QScrollBar* bar = form.ListBox_Keys->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + 997 * 13) % std::max(1, bar->maximum());
        bar->setValue(position);
        Paint(form);
    }
}

void BM_Baseline_PaintEmptyList(benchmark::State& state) {
    TForm1& form = Window();
    form.MenuItem_NewClick();
    for (auto _ : state) Paint(form);
}
BENCHMARK(BM_Baseline_PaintEmptyList)->Unit(benchmark::kMicrosecond);

void BM_Open_10kKeys_100kEntries(benchmark::State& state) {
    TForm1& form = Window();
    const QString path = BigFile();
    for (auto _ : state) {
        form.OpenFile(path);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Open_10kKeys_100kEntries)->Unit(benchmark::kMillisecond);

// One scroll step repaints the visible rows; args: "Daten zeigen..." up (0) or down (1).
void BM_ScrollAndPaint(benchmark::State& state) {
    TForm1& form = Window();
    form.OpenFile(BigFile());
    form.SpeedButton_ShowData->setChecked(state.range(0) != 0);
    form.SpeedButton_ShowDataClick();
    ScrollAndPaint(form, state);
    form.SpeedButton_ShowData->setChecked(false);
}
BENCHMARK(BM_ScrollAndPaint)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// With "Daten zeigen..." down, the 100,000 entry lines of one row: a repaint draws
// only the lines inside the viewport.
void BM_ScrollAndPaint_OneSubCategoryOf100kEntries(benchmark::State& state) {
    TForm1& form = Window();
    form.OpenFile(OneLargeFile());
    form.SpeedButton_ShowData->setChecked(true);
    form.SpeedButton_ShowDataClick();
    form.ListBox_Keys->SetItemIndex(1);
    form.ListBox_KeysClick();
    ScrollAndPaint(form, state);
    form.SpeedButton_ShowData->setChecked(false);
}
BENCHMARK(BM_ScrollAndPaint_OneSubCategoryOf100kEntries)->Unit(benchmark::kMicrosecond);

// Selecting the sub-category of 100,000 entries: the entry list shows them.
void BM_SelectSubCategoryOf100kEntries(benchmark::State& state) {
    TForm1& form = Window();
    form.OpenFile(OneLargeFile());
    for (auto _ : state) {
        form.SelectKeyRow(state.iterations() % 2 == 0 ? 1 : 0);
        form.ListBox_KeysClick();
        Paint(form);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_SelectSubCategoryOf100kEntries)->Unit(benchmark::kMillisecond);

// Storing one new entry from the editor into the sub-category of 100,000 entries:
// the entries are sorted again and the entry list shows the new order.
void BM_StoreEntryIn100kSubCategory(benchmark::State& state) {
    TForm1& form = Window();
    form.OpenFile(OneLargeFile());
    form.SelectKeyRow(1);
    form.ListBox_KeysClick();
    int n = 0;
    for (auto _ : state) {
        form.Edit_DataName->setText(QStringLiteral("Neu %1").arg(n++));
        form.Button_ApplyDataClick();
        QApplication::processEvents();
    }
    form.Document().Modified = false;
}
BENCHMARK(BM_StoreEntryIn100kSubCategory)->Unit(benchmark::kMillisecond);

// Selecting another sub-category: the entry list is refilled and the list repainted.
void BM_SwitchSubCategory(benchmark::State& state) {
    TForm1& form = Window();
    form.OpenFile(BigFile());
    form.SpeedButton_CompressView->setChecked(state.range(0) != 0);
    form.SpeedButton_ShowDataClick();
    std::mt19937 rng(3);
    for (auto _ : state) {
        form.ListBox_Keys->SetItemIndex(static_cast<int>(rng() % 10000));
        form.ListBox_KeysClick();
        Paint(form);
    }
    form.SpeedButton_CompressView->setChecked(false);
}
BENCHMARK(BM_SwitchSubCategory)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
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
