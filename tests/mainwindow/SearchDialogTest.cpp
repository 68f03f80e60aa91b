// The search dialog's hit list: the rows it shows, what activating a row selects,
// when the rows go away, and that they keep positions rather than texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <set>

#include "dialogs/CategoryDialog.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "support/MainWindowFixture.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "store/Search.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using Rows = std::vector<std::pair<QString, QString>>;

class SearchDialogTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        StartWindow(false, false);
        // Windows-1252 bytes: 0x80 is the euro sign, 0xFC 'ü'.
        ShowKeys({{"Giro", "Bank", {{"IBAN", "DE12 \x80", "Haus", 1.0}, {"PIN", "4711", "", 2.0}}},
                  {"Pin-Ablage", "Bank", {}},
                  {"Privat", "Mail", {{"Adresse", "a@b.c", "PIN-Brief f\xFCr M\xFCller", 3.0}}}});
        Form().MenuItem_SearchClick();
    }
    void TearDown() override { CloseWindow(false); }
    TSearchDialog& Search() { return *form_->SearchDialog; }
    QAbstractItemModel& Model() { return *Search().ResultModel; }

    // Searches with the dialog's default boxes, sub-category names included.
    void Find(const QString& text) {
        Search().CheckBox_SubKeys->setChecked(true);
        Search().Edit_SearchFor->setText(text);
        Search().Button_Search->click();
    }
    Rows Shown() {
        Rows rows;
        for (int r = 0; r < Model().rowCount(); ++r) {
            rows.emplace_back(Model().index(r, 0).data().toString(),
                              Model().index(r, 1).data().toString());
        }
        return rows;
    }
};

TEST_F(SearchDialogTest, RowsShowKindAndTextInDocumentOrder) {
    const QString brief = QStringLiteral("PIN-Brief für Müller");
    struct Case {
        QString text;
        std::function<void(TSearchDialog&)> boxes;
        Rows rows;
    };
    const auto none = [](TSearchDialog&) {};
    const Case cases[] = {
        // Each key's name before its entries; title, value, info per entry.
        {"pin", none, {{"Titel", "PIN"}, {"Unterrubrikname", "Pin-Ablage"}, {"Info", brief}}},
        {"pin", [](TSearchDialog& d) { d.CheckBox_SubKeys->setChecked(false); },
         {{"Titel", "PIN"}, {"Info", brief}}},
        {"IN", none, {{"Titel", "PIN"}, {"Unterrubrikname", "Pin-Ablage"}, {"Info", brief}}},
        {"IN", [](TSearchDialog& d) { d.CheckBox_Exact->setChecked(true); },
         {{"Titel", "PIN"}, {"Info", brief}}},
        {"pin", [](TSearchDialog& d) { d.CheckBox_Info->setChecked(false); },
         {{"Titel", "PIN"}, {"Unterrubrikname", "Pin-Ablage"}}},
        // Texts leave the code page both ways: the search text and the shown value.
        {"*€", none, {{"Wert", "DE12 €"}}},
        {"MÜLLER", none, {{"Info", brief}}},
        {"4?11", none, {{"Wert", "4711"}}},
        {"4?11", [](TSearchDialog& d) { d.CheckBox_Wildcard->setChecked(false); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Search().close();
        Form().MenuItem_SearchClick();
        for (QCheckBox* box : {Search().CheckBox_Exact, Search().CheckBox_Titles,
                               Search().CheckBox_Values, Search().CheckBox_Info,
                               Search().CheckBox_Wildcard}) {
            box->setChecked(box != Search().CheckBox_Exact);
        }
        Search().CheckBox_SubKeys->setChecked(true);
        c.boxes(Search());
        Search().Edit_SearchFor->setText(c.text);
        Search().Button_Search->click();
        EXPECT_EQ(Shown(), c.rows);
        EXPECT_EQ(Model().rowCount(), static_cast<int>(Search().SearchResults().size()));
    }
    EXPECT_EQ(Model().columnCount(), 2);
    EXPECT_EQ(Model().headerData(0, Qt::Horizontal).toString(), "Quelle");
    EXPECT_EQ(Model().headerData(1, Qt::Horizontal).toString(), "Wert");
    // A flat list: no row has rows under it.
    Find("pin");
    EXPECT_EQ(Model().rowCount(Model().index(0, 0)), 0);
    EXPECT_FALSE(Model().index(0, 1).data(Qt::DecorationRole).isValid());
}

// Each box of "Suchen in" ticked alone and unticked alone, in a document where
// each kind of field has a hit of its own: a box controls its field and no other.
TEST_F(SearchDialogTest, EachScopeBoxControlsItsOwnFieldAlone) {
    Doc().Keys = {{"Anderes", "P", {{"x", "y", "z", 1.0}}},
                  {"Treffer-Name", "P", {{"Treffer-Titel", "Treffer-Wert", "Treffer-Info", 2.0}}}};
    Form().UpdtListBox(true, {});
    QCheckBox* const boxes[] = {Search().CheckBox_SubKeys, Search().CheckBox_Titles,
                                Search().CheckBox_Values, Search().CheckBox_Info};
    const Rows hits = {{"Unterrubrikname", "Treffer-Name"},
                       {"Titel", "Treffer-Titel"},
                       {"Wert", "Treffer-Wert"},
                       {"Info", "Treffer-Info"}};
    for (int box = 0; box < 4; ++box) {
        for (const bool alone : {true, false}) {
            SCOPED_TRACE(boxes[box]->text().toStdString() + (alone ? " alone" : " left out"));
            Rows expected;
            for (int b = 0; b < 4; ++b) {
                boxes[b]->setChecked((b == box) == alone);
                if ((b == box) == alone) expected.push_back(hits[b]);
            }
            Search().Edit_SearchFor->setText("treffer");
            Search().Button_Search->click();
            EXPECT_EQ(Shown(), expected);
        }
    }
}

TEST_F(SearchDialogTest, EveryFieldMatchesStarInTheStoreSearchesOrder) {
    Find("*");
    TSearchOptions options;
    options.Names = true;
    std::vector<TSearchHit> hits;
    SearchDocument(Doc(), "*", options, hits);
    ASSERT_EQ(Search().SearchResults(), hits);
    ASSERT_EQ(Model().rowCount(), static_cast<int>(hits.size()));
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const QModelIndex row = Model().index(static_cast<int>(i), 0);
        EXPECT_EQ(row.data().toString(),
                  QString::fromUtf8(kSourceNames[static_cast<int>(hits[i].Source)]));
        EXPECT_EQ(row.siblingAtColumn(1).data().toString(), ToQString(HitText(Doc(), hits[i])));
    }
}

TEST_F(SearchDialogTest, ActivatingARowSelectsItsSubCategoryAndEntry) {
    struct Step {
        const char* how;
        std::function<void(QTreeView&)> act;
        int key;
        int entry;  // -1: none, for a sub-category's name
        QString info;
    };
    const auto click = [](int row) {
        return [row](QTreeView& view) {
            const QRect cell = view.visualRect(view.model()->index(row, 1));
            QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
        };
    };
    const auto key = [](Qt::Key k) { return [k](QTreeView& view) { QTest::keyClick(&view, k); }; };
    const Step steps[] = {
        {"click the info row", click(2), 2, 0, "PIN-Brief für Müller"},
        {"click the name row", click(1), 1, -1, ""},
        {"click the title row", click(0), 0, 1, ""},
        {"down to the name row", key(Qt::Key_Down), 1, -1, ""},
        {"end", key(Qt::Key_End), 2, 0, "PIN-Brief für Müller"},
        {"home", key(Qt::Key_Home), 0, 1, ""},
        {"set current", [](QTreeView& v) { v.setCurrentIndex(v.model()->index(2, 0)); }, 2, 0,
         "PIN-Brief für Müller"},
    };
    Find("pin");
    ASSERT_EQ(Model().rowCount(), 3);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.how);
        // Somewhere else first, so each step has to move the selection.
        Form().SelectKeyRow(-1);
        Form().ListBox_KeysClick();
        s.act(*Search().ListView_Results);
        EXPECT_EQ(Form().SelectedKeyRow(), s.key);
        EXPECT_EQ(Form().SelectedEntryRow(), s.entry);
        EXPECT_EQ(Form().Edit_Info->text(), s.info);
    }
}

TEST_F(SearchDialogTest, RowsReadTheDocumentAndNeverReachPastIt) {
    Find("pin");
    ASSERT_EQ(Model().rowCount(), 3);
    // A row holds a position: a text edited in place shows as it is now.
    Doc().Keys[0].Data[1].Title = "PIN \xE4";
    EXPECT_EQ(Model().index(0, 1).data().toString(), "PIN ä");
    // A position the document no longer has shows nothing and selects nothing.
    Doc().Keys.pop_back();
    Form().UpdtListBox(true, {});
    Form().SelectKeyRow(1);
    Form().ListBox_KeysClick();
    EXPECT_EQ(Model().index(2, 0).data().toString(), "Info");
    EXPECT_EQ(Model().index(2, 1).data().toString(), "");
    Search().ListView_Results->setCurrentIndex(Model().index(2, 0));
    EXPECT_EQ(Form().SelectedKeyRow(), 1);
    Doc().Keys[0].Data.pop_back();  // the entry of row 0
    EXPECT_EQ(Model().index(0, 1).data().toString(), "");
    Search().ListView_Results->setCurrentIndex(Model().index(0, 0));
    EXPECT_EQ(Form().SelectedKeyRow(), 1);
    // Row 1, the name of key 1, is still good.
    Form().SelectKeyRow(0);
    Form().ListBox_KeysClick();
    Search().ListView_Results->setCurrentIndex(Model().index(1, 0));
    EXPECT_EQ(Form().SelectedKeyRow(), 1);
}

// Runs `command`, which shows `dialog` modally; `work` acts in it, and a dialog
// still open afterwards is cancelled.
void WithModal(QDialog& dialog, const std::function<void()>& command,
               const std::function<void()>& work) {
    QTimer::singleShot(0, [&dialog, work] {
        work();
        if (dialog.isVisible()) dialog.reject();
    });
    command();
}

TEST_F(SearchDialogTest, ChangesThatMoveEntriesEmptyTheList) {
    testing::TempDir dir;
    const std::string file = dir.File("neu.txt");
    testing::WriteBytes(file, "Alpha;1\r\n");
    struct Case {
        const char* change;
        std::function<void()> act;
        bool empties;
    };
    const Case cases[] = {
        {"delete an entry",
         [&] {
             Form().SelectEntryRow(0);
             Messages().QueueAnswer(MsgButton::Yes);
             Form().SpeedButton_DeleteDataClick();
         },
         true},
        {"the category dialog's OK",
         [&] {
             WithModal(*Form().CategoryDialog, [&] { Form().ListBox_KeysDblClick(); }, [&] {
                 Form().CategoryDialog->Edit_Title->setText("Zeta");
                 Form().CategoryDialog->Button_OK->click();
             });
         },
         true},
        {"the category dialog cancelled",
         [&] { WithModal(*Form().CategoryDialog, [&] { Form().ListBox_KeysDblClick(); }, [] {}); }, false},
        {"rename the parent",
         [&] {
             Messages().QueueInput(QString("Aaa"));
             Form().MenuItem_ChangeKeyNameClick();
         },
         true},
        {"an import",
         [&] {
             TImportDialog& import = *Form().ImportDialog;
             WithModal(import, [&] { Form().EintrgefrUnterrubrikimportieren1Click(); }, [&] {
                 import.Edit_File->setText(QString::fromStdString(file));
                 import.RadioButton_OtherChar->setChecked(true);
                 import.Edit_OtherChar->setText(";");
                 import.Button_OK->click();
             });
         },
         true},
        {"select another sub-category",
         [&] {
             Form().SelectKeyRow(2);
             Form().ListBox_KeysClick();
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        Form().SelectKeyRow(0);
        Form().ListBox_KeysClick();
        Find("*");
        ASSERT_GT(Model().rowCount(), 0);
        c.act();
        EXPECT_TRUE(Search().isVisible());
        EXPECT_EQ(Model().rowCount() == 0, c.empties);
        EXPECT_EQ(Search().SearchResults().empty(), c.empties);
        if (c.empties) {
            EXPECT_EQ(Search().SearchResults().capacity(), 0u);
        }
    }
}

TEST_F(SearchDialogTest, ClosingFreesTheHitsAndTheListWorksAfterwards) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Find("*");
        ASSERT_GT(Model().rowCount(), 0);
        QPointer<QTreeView> shown = Search().ListView_Results;
        Search().close();
        EXPECT_EQ(Model().rowCount(), 0);
        EXPECT_EQ(Search().SearchResults().capacity(), 0u);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The view that held the rows is gone with its per-row memory; one list remains.
        EXPECT_TRUE(shown.isNull());
        EXPECT_EQ(Search().GroupBox2->findChildren<QTreeView*>().size(), 1);

        Form().MenuItem_SearchClick();
        QTreeView& view = *Search().ListView_Results;
        EXPECT_EQ(view.model(), &Model());
        EXPECT_TRUE(view.isVisibleTo(&Search()));
        EXPECT_EQ(view.geometry(), QRect(16, 24, 297, 102));
        EXPECT_TRUE(view.uniformRowHeights());
        EXPECT_FALSE(view.rootIsDecorated());
        EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(view.selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_EQ(view.header()->sectionResizeMode(1), QHeaderView::ResizeToContents);
        EXPECT_EQ(Search().CheckBox_Wildcard->nextInFocusChain(), &view);
        Find("müller");
        ASSERT_EQ(Model().rowCount(), 1);
        view.setCurrentIndex(Model().index(0, 0));
        EXPECT_EQ(Form().SelectedKeyRow(), 2);
        EXPECT_EQ(Form().SelectedEntryRow(), 0);
        Search().close();
        Form().MenuItem_SearchClick();
    }
}

// A search that takes a while runs beside the window: the dialog shows "Suche
// läuft…" and takes Escape, "Schließen" and its close box, which stop the search
// and keep the hits found so far; the main window takes no input meanwhile, and
// closing it stops the search instead.
TEST_F(SearchDialogTest, ALongSearchRunsBesideTheWindowAndStopsKeepingItsHits) {
    const std::string mask = "*" + std::string(997, 'a') + "?b*";  // 1,000 characters
    const std::string hit = std::string(997, 'a') + "xb";
    Doc().Keys = {{"Treffer", "A", {{"t1", hit, "i", 1.0}, {"t2", hit, "i", 1.0}}},
                  {"Lang", "B", {}}};
    for (int e = 0; e < 40; ++e) Doc().Keys[1].Data.push_back({"t", std::string(4 << 20, 'a'), "i", 1.0});
    Form().UpdtListBox(true, {});
    Form().SelectKeyRow(0);
    Form().ListBox_KeysClick();
    const std::vector<TSearchHit> found = {{0, 0, TSearchSource::Value},
                                           {0, 1, TSearchSource::Value}};
    struct Case {
        const char* name;
        std::function<void(TMainWindow&, TSearchDialog&)> stop;
    };
    const Case cases[] = {
        {"Escape", [](TMainWindow&, TSearchDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Schließen", [](TMainWindow&, TSearchDialog& d) { QTest::mouseClick(d.Button_Close, Qt::LeftButton); }},
        {"close box", [](TMainWindow&, TSearchDialog& d) { d.close(); }},
        {"main window closed", [](TMainWindow& f, TSearchDialog&) { f.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Messages().ClearLog();
        Form().MenuItem_SearchClick();
        Search().Edit_SearchFor->setText(QString::fromLatin1(mask.c_str()));
        bool seen = false;
        QElapsedTimer sinceStop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (seen || !Search().Label_Searching->isVisible()) return;
            seen = true;
            EXPECT_EQ(Search().Label_Searching->text(), "Suche läuft…");
            EXPECT_FALSE(Search().CheckBox_Wildcard->isVisible());
            EXPECT_FALSE(Search().Edit_SearchFor->isEnabled());
            EXPECT_FALSE(Search().Button_Search->isEnabled());
            EXPECT_TRUE(Search().Button_Close->isEnabled());
            // The main window's commands take no input: nothing is asked or deleted.
            QTest::mouseClick(Form().SpeedButton_DelKey, Qt::LeftButton);
            QTest::keyClick(Form().ListBox_Keys, Qt::Key_Down);
            QTest::keyClick(&Form(), Qt::Key_N, Qt::ControlModifier);
            EXPECT_TRUE(Messages().Asked().empty());
            EXPECT_EQ(Doc().Keys.size(), 2u);
            EXPECT_EQ(Form().SelectedKeyRow(), 0);
            sinceStop.start();
            c.stop(Form(), Search());
        });
        poll.start(10);
        QElapsedTimer total;
        total.start();
        Search().Button_Search->click();
        poll.stop();
        ASSERT_TRUE(seen) << "the search ended after " << total.elapsed() << " ms";
        EXPECT_LT(sinceStop.elapsed(), 1500);
        EXPECT_EQ(Search().SearchResults(), found);
        EXPECT_TRUE(Search().isVisible());
        EXPECT_TRUE(Form().isVisible());
        EXPECT_EQ(Search().width(), TSearchDialog::kWideWidth);
        EXPECT_FALSE(Search().Label_Searching->isVisible());
        EXPECT_TRUE(Search().CheckBox_Wildcard->isVisible());
        EXPECT_TRUE(Search().Edit_SearchFor->isEnabled());
        EXPECT_TRUE(Messages().Asked().empty());  // a stopped search tells of no hits
        EXPECT_FALSE(Search().Searching());
        // Now closing closes.
        QTest::keyClick(&Search(), Qt::Key_Escape);
        EXPECT_FALSE(Search().isVisible());
    }
}

// A search stopped before its first hit found nothing only because it stopped: like
// one stopped after some hits it tells of none, and the dialog stays open. The only
// hit lies in the last entry, and the stop comes before the first field is examined.
TEST_F(SearchDialogTest, ASearchStoppedBeforeItsFirstHitDoesNotSayItFoundNothing) {
    struct Case {
        const char* name;
        const char* text;
        std::function<void(TSearchDialog&)> stop;  // none: the search runs to its end
        std::vector<TSearchHit> found;
        const char* told;  // the message afterwards; "" for none
    };
    const Case cases[] = {
        {"Escape", "a@b.c", [](TSearchDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, {}, ""},
        {"Schließen", "a@b.c",
         [](TSearchDialog& d) { QTest::mouseClick(d.Button_Close, Qt::LeftButton); }, {}, ""},
        {"not stopped", "a@b.c", nullptr, {{2, 0, TSearchSource::Value}}, ""},
        {"not stopped, no hit", "nirgends", nullptr, {},
         "Die Suche hat keine Ergebnisse geliefert."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Messages().ClearLog();
        QSemaphore stopped;
        if (c.stop) {
            // The search waits on its thread until the dialog has taken the stop.
            Search().BeforeSearching = [&] { EXPECT_TRUE(stopped.tryAcquire(1, 10000)); };
            QTimer::singleShot(0, &Search(), [&] {
                EXPECT_TRUE(Search().Searching());
                c.stop(Search());
                stopped.release();
            });
        }
        Find(QString::fromUtf8(c.text));
        Search().BeforeSearching = nullptr;
        EXPECT_FALSE(Search().Searching());
        EXPECT_EQ(Search().SearchResults(), c.found);
        EXPECT_TRUE(Search().isVisible());
        EXPECT_FALSE(Search().Label_Searching->isVisible());
        std::string told;
        for (const AskedQuestion& q : Messages().Asked()) told += q.text.toStdString();
        EXPECT_EQ(told, c.told);
        Messages().ClearLog();
        Search().close();
        Form().MenuItem_SearchClick();
    }
}

// Counts which rows the view asks for texts.
class RowCounter : public QIdentityProxyModel {
  public:
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole) asked.insert(index.row());
        return QIdentityProxyModel::data(index, role);
    }
    mutable std::set<int> asked;
};

TEST_F(SearchDialogTest, ALongListAsksOnlyForTheRowsItShowsAndASample) {
    TDataKey& key = Doc().Keys[0];
    key.Data.clear();
    for (int i = 0; i < 20000; ++i) key.Data.push_back({"T" + std::to_string(i), "W", "I", 1.0});
    RowCounter counter;
    counter.setSourceModel(&Model());
    QTreeView& view = *Search().ListView_Results;
    view.setModel(&counter);
    Find("*");
    ASSERT_EQ(counter.rowCount(), 60006);
    QApplication::processEvents();
    view.viewport()->repaint();
    view.scrollToBottom();
    view.viewport()->repaint();
    // The column widths sample at most 1000 rows; the rest is what was on screen.
    EXPECT_GT(counter.asked.size(), 0u);
    EXPECT_LT(counter.asked.size(), 1100u);
    EXPECT_TRUE(counter.asked.count(60005));
    view.setModel(&Model());
}

// A pasted search text is not cut at QLineEdit's default of 32,767 characters,
// and a mask that long still matches what it should, and quickly.
TEST_F(SearchDialogTest, APastedTextLongerThanQtsDefaultLimitIsKeptAndMatched) {
    std::string value;
    for (int i = 0; value.size() < 40000; ++i) value += "Teil " + std::to_string(i) + "; ";
    value.resize(40000);
    Doc().Keys[2].Data.push_back({"Lang", value, "", 4.0});
    // Many short fields the long mask has to pass by.
    for (int i = 0; i < 20000; ++i) Doc().Keys[1].Data.push_back({"T", "W", "I", 1.0});
    Search().CheckBox_SubKeys->setChecked(true);
    QLineEdit& field = *Search().Edit_SearchFor;

    struct Case {
        const char* what;
        std::string text;  // pasted; the value is the only hit
    };
    std::string mask = value;
    mask[0] = '?';                              // not a substring: matched as a mask
    mask.replace(20000, 5, "*");                // a skip in the middle
    const Case cases[] = {{"the whole value", value},
                          {"a mask with ? and *", mask},
                          {"the value in other case", UpperCaseCp1252(value)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QGuiApplication::clipboard()->setText(ToQString(c.text));
        field.clear();
        field.paste();
        ASSERT_EQ(field.text().size(), static_cast<qsizetype>(c.text.size()));
        QElapsedTimer timer;
        timer.start();
        Search().Button_Search->click();
        EXPECT_LT(timer.elapsed(), 2000);
        // The list shows the value's first 1,000 characters; the hit is the whole value.
        EXPECT_EQ(Shown(), (Rows{{"Wert", ToQString(value.substr(0, 1000)) + QChar(0x2026)}}));
        ASSERT_EQ(Search().SearchResults().size(), 1u);
        EXPECT_TRUE(HitText(Doc(), Search().SearchResults()[0]) == value);
    }
    // One character more than the whole value is no hit.
    QGuiApplication::clipboard()->setText(ToQString(value + "x"));
    field.clear();
    field.paste();
    EXPECT_EQ(field.text().size(), 40001);
    Search().Button_Search->click();
    EXPECT_TRUE(Shown().empty());
    Messages().ClearLog();  // "Die Suche hat keine Ergebnisse geliefert."
}

}  // namespace
}  // namespace dorvanta
