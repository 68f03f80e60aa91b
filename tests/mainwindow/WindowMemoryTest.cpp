// What the window holds beside the document: the category list keeps one height
// per row and no copies of the rows' texts.
#include <gtest/gtest.h>
#include <malloc.h>

#include <QApplication>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "session/DocumentSession.h"

namespace dorvanta {
namespace {

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

TEST(WindowMemoryTest, CategoryRowsCostAHeightAndNoCopiesOfTheirTexts) {
    TDocumentSession session;
    TMainWindow form(session, QStringList{});
    form.show();
    QApplication::processEvents();
    constexpr int kKeys = 100000;
    for (const std::size_t nameLength : {0u, 15u, 200u}) {
        SCOPED_TRACE(nameLength);
        form.MenuItem_NewClick();  // an empty list
        TDocument& doc = form.Session().Document();
        const TSharedText parent = std::string(nameLength, 'P');
        for (int k = 0; k < kKeys; ++k) {
            std::string name = std::to_string(k);
            name.resize(std::max(name.size(), nameLength), 'N');
            doc.Keys.push_back({std::move(name), parent, {}});
        }
        malloc_trim(0);
        const std::size_t before = HeapInUse();
        form.CategoryPane().UpdtListBox(true, {});
        const double perRow = (static_cast<double>(HeapInUse()) - before) / kKeys;
        ASSERT_EQ(form.CategoryPane().List()->Count(), kKeys);
        EXPECT_LT(perRow, 12.0) << "bytes per row";
        // The selection still finds its sub-category again after a refill that moves it.
        form.CategoryPane().SelectKeyRow(kKeys - 1);
        form.CategoryPane().ListBox_KeysClick();
        doc.Keys.insert(doc.Keys.begin(), TDataKey{"A", parent, {}});
        form.CategoryPane().UpdtListBox(true, {});
        EXPECT_EQ(form.CategoryPane().SelectedKeyRow(), kKeys);
    }
    form.Session().Document().Modified = false;
}

}  // namespace
}  // namespace dorvanta
