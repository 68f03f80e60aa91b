// The category list as a screen reader sees it: one item per row, named
// "Oberrubrik – Unterrubrik", with its states; items made only when asked for and
// dropped with the rows. (The events a reader hears run over AT-SPI in
// tests/e2e/atspi_e2e.sh: without a reader Qt sends none.)
#include <gtest/gtest.h>

#include <QAccessible>
#include <QToolButton>
#include <string>
#include <vector>

#include "mainwindow/KeyListBox.h"
#include "mainwindow/ListAccessibility.h"
#include "mainwindow/MainWindow.h"
#include "support/MainWindowFixture.h"

namespace dorvanta {
namespace {

class KeyListAccessibilityTest : public testing::MainWindowFixture {
  protected:
    TKeyListBox& List() { return *Form().CategoryPane().List(); }
    QAccessibleInterface& Reader() { return *QAccessible::queryAccessibleInterface(&List()); }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int i = 0; i < Reader().childCount(); ++i) {
            names.push_back(Reader().child(i)->text(QAccessible::Name).toStdString());
        }
        return names;
    }
    // Per item: s(elected), h(idden: neither visible nor showing), - otherwise.
    std::string States() {
        std::string states;
        for (int i = 0; i < Reader().childCount(); ++i) {
            const QAccessible::State s = Reader().child(i)->state();
            EXPECT_TRUE(s.selectable && s.focusable) << i;
            states += s.selected ? 's' : s.invisible ? 'h' : '-';
        }
        return states;
    }
};

TEST_F(KeyListAccessibilityTest, EveryRowIsAnItemNamedByParentAndName) {
    // Windows-1252 bytes: 0xF6 'ö', 0xDF 'ß', 0xFC 'ü'.
    const std::string sizes = std::string("Gr\xF6\xDF") + "en";
    ShowKeys({{"Giro", "Bank", {}},
              {"Tagesgeld", "Bank", {}},
              {"Schuhe f\xFCr J\xF6rg", sizes, {}},
              {"H\xFCte", sizes, {}},
              {"Privat", "Mail", {}}});
    QAccessibleInterface& list = Reader();
    EXPECT_EQ(list.role(), QAccessible::List);
    EXPECT_EQ(list.text(QAccessible::Name), "Rubriken");
    EXPECT_EQ(List().AccessibleItems().Made(), 0);  // nothing until a reader asks
    const std::vector<std::string> names = {"Bank – Giro", "Bank – Tagesgeld",
                                            "Größen – Schuhe für Jörg", "Größen – Hüte",
                                            "Mail – Privat"};
    EXPECT_EQ(Names(), names);
    for (int i = 0; i < list.childCount(); ++i) {
        QAccessibleInterface* item = list.child(i);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->childCount(), 0);
        EXPECT_EQ(item->parent(), &list);
        EXPECT_EQ(list.indexOfChild(item), i);
        EXPECT_EQ(list.child(i), item) << "a row stays the same object";
        EXPECT_EQ(list.childAt(item->rect().center().x(), item->rect().center().y()), item);
    }
    EXPECT_EQ(list.child(-1), nullptr);
    EXPECT_EQ(list.child(5), nullptr);
    EXPECT_EQ(States(), "-----");

    // The name is read from the document each time: an edited name shows at once.
    Doc().Keys[0].Name = "Konto";
    EXPECT_EQ(list.child(0)->text(QAccessible::Name), "Bank – Konto");
    Form().CategoryPane().SelectKeyRow(3);
    EXPECT_EQ(States(), "---s-");

    // "Ansicht filtern" refills the list: the former items are gone (a reader asking
    // for one by its id finds nothing), and the rows of the other parents stay items,
    // those without a line of their own hidden (the first of a group keeps its band).
    const QAccessible::Id former = QAccessible::uniqueId(list.child(0));
    Form().CategoryPane().SelectKeyRow(0);
    Form().CategoryPane().ListBox_KeysClick();
    Form().CategoryPane().CompressViewAction()->trigger();
    EXPECT_EQ(QAccessible::accessibleInterface(former), nullptr);
    EXPECT_EQ(List().AccessibleItems().Made(), 0);
    EXPECT_EQ(Reader().childCount(), 5);
    EXPECT_EQ(States(), "s--h-");
    Form().CategoryPane().CompressViewAction()->trigger();
    EXPECT_EQ(States(), "s----");
    // Emptied: no items.
    Doc().Keys.clear();
    Form().CategoryPane().UpdtListBox(true, {});
    EXPECT_EQ(Reader().childCount(), 0);
    EXPECT_EQ(List().AccessibleItems().Made(), 0);
}

TEST_F(KeyListAccessibilityTest, ALongListMakesOnlyTheItemsAReaderAsksFor) {
    std::vector<TDataKey> keys;
    for (int i = 0; i < 100000; ++i) {
        keys.push_back({"K" + std::to_string(i), "P" + std::to_string(i / 100), {}});
    }
    ShowKeys(keys);
    ASSERT_EQ(Reader().childCount(), 100000);
    EXPECT_EQ(Reader().child(99999)->text(QAccessible::Name), "P999 – K99999");
    EXPECT_EQ(Reader().child(0)->text(QAccessible::Name), "P0 – K0");
    EXPECT_EQ(List().AccessibleItems().Made(), 2);
    // The last row lies below the window: an item, but not showing.
    EXPECT_TRUE(Reader().child(99999)->state().offscreen);
    EXPECT_FALSE(Reader().child(0)->state().offscreen);
}

}  // namespace
}  // namespace dorvanta
