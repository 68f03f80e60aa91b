// The category and entry panes on a session of their own, without the main
// window: each refreshes itself from the session's signals, and the two meet
// only through the session.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "mainwindow/CategoryPane.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/KeyListBox.h"
#include "platform/MessageService.h"
#include "platform/SecretClipboard.h"
#include "session/DocumentSession.h"

namespace dorvanta {
namespace {

class PaneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageService::Instance().ClearLog();
        session_.Document().Keys = {
            {"Giro", "Bank", {{"IBAN", "DE12", "", 1.0}, {"PIN", "4711", "", 2.0}}},
            {"Gr\xf6\xdf"
             "en",
             "Privat",
             {{"Schuhe", "43", "J\xf6rg", 3.0}}},  // Windows-1252
        };
        keys_.UpdateLineHeight();
        keys_.UpdtListBox(true, {});
    }
    void TearDown() override { session_.Document().Modified = false; }

    TDocumentSession session_;
    TSecretClipboard clipboard_;
    TCategoryPane keys_{session_, clipboard_};
    TEntryPane entries_{session_, clipboard_};
};

TEST_F(PaneTest, ChoosingACategoryShowsItsEntriesThroughTheSession) {
    EXPECT_EQ(keys_.List()->Count(), 2);
    EXPECT_EQ(keys_.ItemText(1), QString::fromUtf8("Privat \u2013 Größen"));
    EXPECT_FALSE(entries_.NewEntryAction()->isEnabled());

    struct Case {
        int row;
        int shownKey, entries;
        bool canCreate;
    };
    for (const Case c : {Case{1, 1, 1, true}, Case{0, 0, 2, true}, Case{-1, -1, 0, false}}) {
        SCOPED_TRACE(c.row);
        keys_.SelectKeyRow(c.row);
        keys_.ListBox_KeysClick();
        EXPECT_EQ(session_.ShownKey(), c.shownKey);
        EXPECT_EQ(entries_.Model()->rowCount(), c.entries);
        EXPECT_EQ(entries_.NewEntryAction()->isEnabled(), c.canCreate);
        EXPECT_EQ(entries_.ApplyButton()->isEnabled(), c.canCreate);
        EXPECT_EQ(keys_.DeleteKeyAction()->isEnabled(), c.canCreate);
    }
}

TEST_F(PaneTest, EditsReachTheOtherPaneAndAskTheFrameToCloseTheSearch) {
    keys_.SelectKeyRow(0);
    keys_.ListBox_KeysClick();
    QSignalSpy keyEdits(&keys_, &TCategoryPane::EditStarting);
    QSignalSpy entryEdits(&entries_, &TEntryPane::EditStarting);

    // A new entry from the editor: the category row grows with "Daten zeigen...".
    keys_.ShowDataAction()->setChecked(true);
    keys_.SpeedButton_ShowDataClick();
    const int before = keys_.List()->RowHeight(0);
    entries_.NewEntryAction()->trigger();
    entries_.NameEdit()->setText("TAN");
    entries_.ValueEdit()->setText("123456");
    entries_.Button_ApplyDataClick();
    EXPECT_EQ(entryEdits.count(), 1);
    EXPECT_EQ(session_.Document().FindEntry(0, "TAN"), 2);
    EXPECT_EQ(entries_.Model()->rowCount(), 3);
    EXPECT_EQ(keys_.List()->RowHeight(0), before + keys_.LineHeight());

    // Deleting the sub-category empties the entry pane.
    MessageService::Instance().QueueAnswer(MsgButton::Yes);
    keys_.SpeedButton_DelKeyClick();
    EXPECT_EQ(keyEdits.count(), 1);
    EXPECT_EQ(session_.Document().Keys.size(), 1u);
    EXPECT_EQ(entries_.Model()->rowCount(), 0);
    EXPECT_EQ(entries_.NameEdit()->text(), "");

    // A replaced document leaves neither pane a text of the former one.
    keys_.SelectKeyRow(0);
    keys_.ListBox_KeysClick();
    entries_.SelectEntryRow(0);
    ASSERT_EQ(entries_.NameEdit()->text(), "Schuhe");
    session_.New();
    EXPECT_EQ(keys_.List()->Count(), 0);
    EXPECT_EQ(entries_.Model()->rowCount(), 0);
    EXPECT_EQ(entries_.NameEdit()->text(), "");
    EXPECT_EQ(session_.ShownKey(), -1);
}

}  // namespace
}  // namespace dorvanta
