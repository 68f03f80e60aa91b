// Stopping a search: a long one runs beside the window and keeps its hits when
// stopped; one stopped before its first hit does not claim to have found nothing.
#include "SearchDialogFixture.h"

namespace dorvanta {
namespace {

// Its own suite: a fixture of another file is another type to the test framework.
class SearchStopTest : public SearchDialogTest {};

TEST_F(SearchStopTest, ALongSearchRunsBesideTheWindowAndStopsKeepingItsHits) {
    const std::string mask = "*" + std::string(997, 'a') + "?b*";  // 1,000 characters
    const std::string hit = std::string(997, 'a') + "xb";
    Doc().Keys = {{"Treffer", "A", {{"t1", hit, "i", 1.0}, {"t2", hit, "i", 1.0}}},
                  {"Lang", "B", {}}};
    for (int e = 0; e < 40; ++e)
        Doc().Keys[1].Data.push_back({"t", std::string(4 << 20, 'a'), "i", 1.0});
    Form().CategoryPane().UpdtListBox(true, {});
    Form().CategoryPane().SelectKeyRow(0);
    Form().CategoryPane().ListBox_KeysClick();
    const std::vector<TSearchHit> found = {{0, 0, TSearchSource::Value},
                                           {0, 1, TSearchSource::Value}};
    struct Case {
        const char* name;
        std::function<void(TMainWindow&, TSearchDialog&)> stop;
    };
    const Case cases[] = {
        {"Escape", [](TMainWindow&, TSearchDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Schließen",
         [](TMainWindow&, TSearchDialog& d) { QTest::mouseClick(d.Button_Close, Qt::LeftButton); }},
        {"close box", [](TMainWindow&, TSearchDialog& d) { d.close(); }},
        {"main window closed", [](TMainWindow& f, TSearchDialog&) { f.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Messages().ClearLog();
        Form().Dialogs().MenuItem_SearchClick();
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
            QTest::mouseClick(Named<QToolButton>(Form(), "SpeedButton_DelKey"), Qt::LeftButton);
            QTest::keyClick(Form().CategoryPane().List(), Qt::Key_Down);
            QTest::keyClick(&Form(), Qt::Key_N, Qt::ControlModifier);
            EXPECT_TRUE(Messages().Asked().empty());
            EXPECT_EQ(Doc().Keys.size(), 2u);
            EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 0);
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
TEST_F(SearchStopTest, ASearchStoppedBeforeItsFirstHitDoesNotSayItFoundNothing) {
    struct Case {
        const char* name;
        const char* text;
        std::function<void(TSearchDialog&)> stop;  // none: the search runs to its end
        std::vector<TSearchHit> found;
        const char* told;  // the message afterwards; "" for none
    };
    const Case cases[] = {
        {"Escape", "a@b.c", [](TSearchDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, {}, ""},
        {"Schließen",
         "a@b.c",
         [](TSearchDialog& d) { QTest::mouseClick(d.Button_Close, Qt::LeftButton); },
         {},
         ""},
        {"not stopped", "a@b.c", nullptr, {{2, 0, TSearchSource::Value}}, ""},
        {"not stopped, no hit",
         "nirgends",
         nullptr,
         {},
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
        Form().Dialogs().MenuItem_SearchClick();
    }
}

// Counts which rows the view asks for texts.

}  // namespace
}  // namespace dorvanta
