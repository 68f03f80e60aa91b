// The search dialog's hit list: the rows it shows, what activating a row selects,
// when the rows go away, and that they keep positions rather than texts.
#include "SearchDialogFixture.h"

namespace dorvanta {
namespace {

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
        {"pin",
         [](TSearchDialog& d) { d.CheckBox_SubKeys->setChecked(false); },
         {{"Titel", "PIN"}, {"Info", brief}}},
        {"IN", none, {{"Titel", "PIN"}, {"Unterrubrikname", "Pin-Ablage"}, {"Info", brief}}},
        {"IN",
         [](TSearchDialog& d) { d.CheckBox_Exact->setChecked(true); },
         {{"Titel", "PIN"}, {"Info", brief}}},
        {"pin",
         [](TSearchDialog& d) { d.CheckBox_Info->setChecked(false); },
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
        Form().Dialogs().MenuItem_SearchClick();
        for (QCheckBox* box :
             {Search().CheckBox_Exact, Search().CheckBox_Titles, Search().CheckBox_Values,
              Search().CheckBox_Info, Search().CheckBox_Wildcard}) {
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
    Form().CategoryPane().UpdtListBox(true, {});
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
        Form().CategoryPane().SelectKeyRow(-1);
        Form().CategoryPane().ListBox_KeysClick();
        s.act(*Search().ListView_Results);
        EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), s.key);
        EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), s.entry);
        EXPECT_EQ(Form().EntryPane().InfoEdit()->text(), s.info);
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
    Form().CategoryPane().UpdtListBox(true, {});
    Form().CategoryPane().SelectKeyRow(1);
    Form().CategoryPane().ListBox_KeysClick();
    EXPECT_EQ(Model().index(2, 0).data().toString(), "Info");
    EXPECT_EQ(Model().index(2, 1).data().toString(), "");
    Search().ListView_Results->setCurrentIndex(Model().index(2, 0));
    EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 1);
    Doc().Keys[0].Data.pop_back();  // the entry of row 0
    EXPECT_EQ(Model().index(0, 1).data().toString(), "");
    Search().ListView_Results->setCurrentIndex(Model().index(0, 0));
    EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 1);
    // Row 1, the name of key 1, is still good.
    Form().CategoryPane().SelectKeyRow(0);
    Form().CategoryPane().ListBox_KeysClick();
    Search().ListView_Results->setCurrentIndex(Model().index(1, 0));
    EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 1);
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
             Form().EntryPane().SelectEntryRow(0);
             Messages().QueueAnswer(MsgButton::Yes);
             Form().EntryPane().SpeedButton_DeleteDataClick();
         },
         true},
        {"the category dialog's OK",
         [&] {
             WithModal(
                 *Form().CategoryPane().Dialog(),
                 [&] { Form().CategoryPane().ListBox_KeysDblClick(); },
                 [&] {
                     Form().CategoryPane().Dialog()->Edit_Title->setText("Zeta");
                     Form().CategoryPane().Dialog()->Button_OK->click();
                 });
         },
         true},
        {"the category dialog cancelled",
         [&] {
             WithModal(
                 *Form().CategoryPane().Dialog(),
                 [&] { Form().CategoryPane().ListBox_KeysDblClick(); }, [] {});
         },
         false},
        {"rename the parent",
         [&] {
             Messages().QueueInput(QString("Aaa"));
             Form().CategoryPane().MenuItem_ChangeKeyNameClick();
         },
         true},
        {"an import",
         [&] {
             TImportDialog& import = *Form().Dialogs().ImportDialog();
             WithModal(
                 import, [&] { Form().Dialogs().EintrgefrUnterrubrikimportieren1Click(); },
                 [&] {
                     import.Edit_File->setText(QString::fromStdString(file));
                     import.RadioButton_OtherChar->setChecked(true);
                     import.Edit_OtherChar->setText(";");
                     import.Button_OK->click();
                 });
         },
         true},
        {"select another sub-category",
         [&] {
             Form().CategoryPane().SelectKeyRow(2);
             Form().CategoryPane().ListBox_KeysClick();
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        Form().CategoryPane().SelectKeyRow(0);
        Form().CategoryPane().ListBox_KeysClick();
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

        Form().Dialogs().MenuItem_SearchClick();
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
        EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 2);
        EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), 0);
        Search().close();
        Form().Dialogs().MenuItem_SearchClick();
    }
}

// A search that takes a while runs beside the window: the dialog shows "Suche
// läuft…" and takes Escape, "Schließen" and its close box, which stop the search
// and keep the hits found so far; the main window takes no input meanwhile, and
// closing it stops the search instead.
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
    mask[0] = '?';                // not a substring: matched as a mask
    mask.replace(20000, 5, "*");  // a skip in the middle
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

// Enter, Return and Space on a hit show it in the main window as a click does, also
// on a row the keyboard is on but has not selected (as after tabbing into the list)
// and on one that is selected already; the dialog stays open, and its default
// button does not search anew (the field holds a text without hits by then).
TEST_F(SearchDialogTest, EnterAndSpaceOnAHitShowIt) {
    struct Step {
        const char* how;
        int row;
        bool selected;  // the row is selected before the key
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int keyRow;
        int entry;
        std::string title;
    };
    const Step steps[] = {
        {"Return on the info row", 2, false, Qt::Key_Return, Qt::NoModifier, 2, 0, "Adresse"},
        {"Space on the title row", 0, false, Qt::Key_Space, Qt::NoModifier, 0, 1, "PIN"},
        {"keypad Enter on the name row", 1, false, Qt::Key_Enter, Qt::KeypadModifier, 1, -1, ""},
        {"Return on the selected title row", 0, true, Qt::Key_Return, Qt::NoModifier, 0, 1, "PIN"},
        {"Space on the selected info row", 2, true, Qt::Key_Space, Qt::NoModifier, 2, 0, "Adresse"},
    };
    Find("pin");
    ASSERT_EQ(Model().rowCount(), 3);
    Search().Edit_SearchFor->setText("xyz");
    QTreeView& view = *Search().ListView_Results;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.how);
        view.selectionModel()->setCurrentIndex(
            Model().index(s.row, 0),
            s.selected ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                       : QItemSelectionModel::Clear);
        // Somewhere else in the main window, so that only the key can bring the hit back.
        Form().CategoryPane().SelectKeyRow(-1);
        Form().CategoryPane().ListBox_KeysClick();
        ASSERT_EQ(Form().CategoryPane().SelectedKeyRow(), -1);
        QTest::keyClick(&view, s.key, s.modifiers);
        EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), s.keyRow);
        EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), s.entry);
        EXPECT_EQ(Form().EntryPane().NameEdit()->text().toStdString(), s.title);
        EXPECT_TRUE(view.selectionModel()->isRowSelected(s.row));
        EXPECT_TRUE(Search().isVisible());
        EXPECT_EQ(Search().SearchResults().size(), 3u);
        EXPECT_TRUE(Unanswered().isEmpty()) << Unanswered().toStdString();
    }
}

}  // namespace
}  // namespace dorvanta
