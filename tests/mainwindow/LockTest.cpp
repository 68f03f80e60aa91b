// The lock of the window: what a locked window shows and keeps, how it comes
// back, and that no text of the collection stays in the process's memory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <random>

#include "dialogs/CategoryDialog.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/ScreenLockWatcher.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "store/AgeFile.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/MemoryScan.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::Mask;
using testing::PlacesInMemory;
using testing::ReadBytes;
using testing::TempDir;

class LockTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        StartWindow();
    }
    void TearDown() override {
        CloseWindow();
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
    }
    // Opens a saved collection under "geheim": Bank (Giro: IBAN, PIN), Mail (Privat).
    void OpenSample(const TempDir& dir) {
        TDocument doc;
        doc.Password = "geheim";
        doc.Format = TDocument::TFormat::Encrypted;
        doc.Keys = {{"Giro", "Bank", {{"IBAN", "DE12", "Haus", 1.5}, {"PIN", "4711", "", 2.0}}},
                    {"Privat", "Mail", {{"Adresse", "a@b.c", "", 3.0}}}};
        path_ = dir.File("daten.pdt.age");
        SaveDocument(doc, path_);
        Messages().QueueInput(QStringLiteral("geheim"));
        Form().OpenFile(QString::fromStdString(path_));
        ASSERT_EQ(Doc().Keys.size(), 2u);
    }
    // Masked random texts, so that no earlier run or library holds them by chance.
    struct TMarkers {
        std::string title, value, info, password;
    };
    // Saves a collection of one entry of new markers under the password marker and
    // opens it, typing the password; the entry shown in the lists and the editor,
    // its value copied.
    TMarkers OpenMarked(const TempDir& dir) {
        const auto marker = [this](const char* kind) {
            return Mask(std::string(kind) + "-" + std::to_string(random_()));
        };
        TMarkers m{marker("Titel"), marker("Wert"), marker("Info"), marker("Kennwort")};
        TDocument doc;
        doc.Password = Mask(m.password);
        doc.Keys = {{"Giro", "Bank", {{Mask(m.title), Mask(m.value), Mask(m.info), 1.5}}}};
        doc.Format = TDocument::TFormat::Encrypted;
        path_ = dir.File("marken.pdt.age");
        SaveDocument(doc, path_);
        doc.Wipe();
        Messages().QueueInput(QString::fromStdString(Mask(m.password)));
        Form().OpenFile(QString::fromStdString(path_));
        Form().CategoryPane().SelectKeyRow(0);
        Form().CategoryPane().ListBox_KeysClick();
        Form().EntryPane().SelectEntryRow(0);
        Form().EntryPane().CopyField(1);
        return m;
    }
    bool ShowsLockedPage() {
        return Form().LockPane().currentWidget() == Form().LockPane().LockedPage();
    }

    std::string path_;
    std::mt19937_64 random_{std::random_device{}()};
};

TEST_F(LockTest, LockingHidesEverythingAndUnlockingBringsItBackAsItWas) {
    TempDir dir;
    struct Case {
        const char* name;
        bool changed;
        int keyRow;
        int entryRow;
    };
    for (const Case& c : {Case{"saved, PIN selected", false, 0, 1},
                          Case{"changed, Privat selected", true, 1, -1}}) {
        SCOPED_TRACE(c.name);
        OpenSample(dir);
        Form().CategoryPane().SelectKeyRow(c.keyRow);
        Form().CategoryPane().ListBox_KeysClick();
        Form().EntryPane().SelectEntryRow(c.entryRow);
        if (c.changed) Session().AddKey("Neu", "Neu");
        const std::string file = ReadBytes(path_);
        const int keyRow = Form().CategoryPane().SelectedKeyRow();

        Form().LockPane().MenuItem_LockClick();
        EXPECT_TRUE(Session().Locked());
        EXPECT_TRUE(ShowsLockedPage());
        EXPECT_EQ(Form().windowTitle().toStdString(), "Dorvanta - [" + path_ + "] (gesperrt)");
        EXPECT_TRUE(
            Form().LockPane().LockedLabel()->text().contains(QString::fromStdString(path_)));
        EXPECT_EQ(Form().LockPane().LockAction()->text(), "&Entsperren");
        EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_Save")->isEnabled());
        EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_Search")->isEnabled());
        EXPECT_EQ(Form().CategoryPane().List()->Count(), 0);
        EXPECT_TRUE(Form().EntryPane().ValueEdit()->text().isEmpty());
        EXPECT_FALSE(Form().EntryPane().ValueEdit()->isUndoAvailable());
        EXPECT_TRUE(Doc().Keys.empty());

        // Two wrong tries, then the right one.
        for (const char* typed : {"falsch", "Geheim", "geheim"})
            Messages().QueueInput(QString(typed));
        Form().LockPane().UnlockButton()->click();
        EXPECT_FALSE(Session().Locked());
        EXPECT_FALSE(ShowsLockedPage());
        EXPECT_EQ(Form().windowTitle().toStdString(), "Dorvanta - [" + path_ + "]");
        EXPECT_EQ(Form().LockPane().LockAction()->text(), "&Sperren");
        EXPECT_TRUE(Named<QAction>(Form(), "MenuItem_Save")->isEnabled());
        EXPECT_EQ(Doc().Keys.size(), c.changed ? 3u : 2u);
        EXPECT_EQ(Session().Modified(), c.changed);
        EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), keyRow);
        EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), c.entryRow);
        EXPECT_EQ(Form().CategoryPane().List()->Count(), c.changed ? 3 : 2);
        EXPECT_EQ(ReadBytes(path_), file);  // never saved
        Doc().Modified = false;
    }
}

TEST_F(LockTest, ThreeWrongPasswordsKeepItLockedAndADialogOpenAtLockTimeIsCancelled) {
    TempDir dir;
    OpenSample(dir);
    // The new-category dialog is open when the lock comes (as from the screen's lock).
    QTimer::singleShot(0, [this] {
        Form().CategoryPane().Dialog()->Edit_Title->setText(QStringLiteral("Halb getippt"));
        Form().LockPane().RequestLock();
    });
    Form().CategoryPane().SpeedButton_NewKeyClick();
    EXPECT_FALSE(Form().CategoryPane().Dialog()->isVisible());
    EXPECT_TRUE(Session().Locked());

    for (int i = 0; i < 3; ++i) Messages().QueueInput(QStringLiteral("falsch"));
    Messages().QueueAnswer(MsgButton::Ok);
    EXPECT_FALSE(Form().LockPane().UnlockWithPrompt());
    EXPECT_TRUE(Session().Locked());
    EXPECT_EQ(Messages().Asked().back().caption, "Ungültiges Passwort");
    Messages().QueueInput(QStringLiteral("geheim"));
    EXPECT_TRUE(Form().LockPane().UnlockWithPrompt());
    EXPECT_EQ(Doc().Keys.size(), 2u);  // the cancelled dialog added nothing

    // A collection without a password cannot be locked: it says so.
    Form().MenuItem_NewClick();
    Messages().QueueAnswer(MsgButton::Ok);
    Form().LockPane().MenuItem_LockClick();
    EXPECT_FALSE(Session().Locked());
    EXPECT_EQ(Messages().Asked().back().caption, "Sperren");
}

// A lock asked for while an open or a save waits at a question wins within the
// event loop's turn: the question is closed, every further one is cancelled, the
// work ends writing nothing, and the lock follows.
TEST_F(LockTest, ALockWinsOverTheQuestionsOfARunningSave) {
    TempDir dir;
    // A save: the file was replaced by a version under another password;
    // "Zusammenführen" asks for it, the lock comes at the first (wrong) answer.
    OpenSample(dir);
    Session().AddKey("Neu", "Neu");
    TDocument other;
    other.Password = "anders";
    other.Format = TDocument::TFormat::Encrypted;
    other.Keys = {{"Fremd", "Bank", {{"TAN", "1", "", 4.0}}}};
    SaveDocument(other, path_);
    const std::string theirs = ReadBytes(path_);
    bool requested = false;
    Messages().SetAskedHook([&](const AskedQuestion& q) {
        if (q.kind == AskedQuestion::Kind::Input && !requested) {
            requested = true;
            Form().LockPane().RequestLock();
        }
    });
    Messages().QueueAnswer(QStringLiteral("Zusammenführen"));
    Messages().QueueInput(QStringLiteral("falsch"));
    Messages().QueueInput(QStringLiteral("anders"));  // a second try would have merged
    EXPECT_FALSE(Form().MenuItem_SaveClick());
    Messages().SetAskedHook(nullptr);
    QApplication::processEvents();
    EXPECT_TRUE(requested);
    EXPECT_TRUE(Session().Locked());
    EXPECT_TRUE(Session().Modified());
    EXPECT_EQ(ReadBytes(path_), theirs);
    EXPECT_FALSE(Messages().CancelsQuestions());
    Messages().QueueInput(QStringLiteral("geheim"));
    ASSERT_TRUE(Form().LockPane().UnlockWithPrompt());
    EXPECT_EQ(Doc().Keys.size(), 3u);  // nothing of theirs came in
    Doc().Modified = false;
}

// The start file's conflict copy question is open when the screen locks: the
// question closes at once (not after anyone answers), the lock follows the load.
TEST_F(LockTest, ALockClosesAQuestionOfTheStartLoad) {
    TempDir dir;
    CloseWindow(false);
    TDocument doc;
    doc.Password = "geheim";
    doc.Format = TDocument::TFormat::Encrypted;
    doc.Keys = {{"Giro", "Bank", {{"IBAN", "DE12", "", 1.5}}}};
    path_ = dir.File("daten.pdt.age");
    SaveDocument(doc, path_);
    doc.Password = "anders";
    SaveDocument(doc, dir.File("daten.sync-conflict-20261210-120000-ABCDEFG.pdt.age"));
    StartWindow(true, false, {QString::fromStdString(path_)});
    bool closedByTheLock = false;
    Messages().SetAskedHook([&](const AskedQuestion& q) {
        if (q.caption != QStringLiteral("Konfliktkopien")) return;
        // Stands in for the box while it waits for an answer.
        QDialog open(&Form());
        QTimer::singleShot(0, [this] { Form().LockPane().RequestLock(); });
        QTimer::singleShot(5000, &open, [&open] { open.done(2); });
        closedByTheLock = open.exec() == QDialog::Rejected;
    });
    Messages().QueueInput(QStringLiteral("geheim"));
    Messages().QueueAnswer(QStringLiteral("Zusammenführen"));
    Messages().QueueInput(QStringLiteral("anders"));  // the copy's password: cancelled
    for (int i = 0; i < 50 && !Session().Locked(); ++i) QTest::qWait(20);
    Messages().SetAskedHook(nullptr);
    EXPECT_TRUE(closedByTheLock);
    EXPECT_TRUE(Session().Locked());
    EXPECT_FALSE(Session().Modified());  // the copy was not merged
    Messages().ClearLog();
}

// Text typed into the editor but not yet stored survives a lock, sealed with the
// collection, and is back in the fields after unlocking.
TEST_F(LockTest, AnEditNotYetStoredComesBackAfterUnlocking) {
    TempDir dir;
    struct Case {
        const char* name;
        int row;                    // the entry selected (-1: a new one)
        const char* value;          // typed into Wert (nullptr: nothing typed)
        const char* expectedValue;  // Wert after unlocking
        const char* button;
    };
    const Case cases[] = {
        {"PIN changed", 1, "9999", "9999", "Än&dern"},
        {"PIN as it is", 1, nullptr, "4711", "Än&dern"},
        {"a new entry", -1, "neu getippt", "neu getippt", "Er&stellen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenSample(dir);
        Form().CategoryPane().SelectKeyRow(0);
        Form().CategoryPane().ListBox_KeysClick();
        Form().EntryPane().SelectEntryRow(c.row);
        if (c.row < 0) Form().EntryPane().NameEdit()->setText(QStringLiteral("TAN"));
        if (c.value) Form().EntryPane().ValueEdit()->setText(QString::fromUtf8(c.value));
        Form().LockPane().MenuItem_LockClick();
        ASSERT_TRUE(Session().Locked());
        EXPECT_TRUE(Form().EntryPane().ValueEdit()->text().isEmpty());
        Messages().QueueInput(QStringLiteral("geheim"));
        ASSERT_TRUE(Form().LockPane().UnlockWithPrompt());
        EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), c.row);
        EXPECT_EQ(Form().EntryPane().ValueEdit()->text(), QString::fromUtf8(c.expectedValue));
        EXPECT_EQ(Form().EntryPane().NameEdit()->text(), c.row < 0 ? "TAN" : "PIN");
        EXPECT_EQ(Form().EntryPane().ApplyButton()->text(), c.button);
        EXPECT_EQ(Doc().Keys.size(), 2u);  // the edit is no sub-category
        EXPECT_EQ(Doc().Keys[0].Data.size(), 2u);
        EXPECT_FALSE(Session().TakeDraft());
        // Stored as any edit is.
        Form().EntryPane().Button_ApplyDataClick();
        EXPECT_EQ(Doc().FindEntry(0, c.row < 0 ? "TAN" : "PIN") >= 0, true);
        Doc().Modified = false;
    }
}

TEST_F(LockTest, IdleTimeAndTheScreenLockAndClosingALockedChangedCollectionAsksToUnlock) {
    TempDir dir;
    OpenSample(dir);
    Form().LockPane().SetIdleLockInterval(20);
    for (int i = 0; i < 100 && !Session().Locked(); ++i) QTest::qWait(10);
    EXPECT_TRUE(Session().Locked());
    Messages().QueueInput(QStringLiteral("geheim"));
    ASSERT_TRUE(Form().LockPane().UnlockWithPrompt());
    Form().LockPane().SetIdleLockInterval(0);
    // The screen's lock, as the bus watcher tells it, follows the option.
    for (const bool on : {false, true}) {
        Form().LockPane().LockOnScreenLockAction()->setChecked(on);
        emit Form().LockPane().ScreenLock()->ScreenLocked();
        emit Form()
            .LockPane()
            .ScreenLock()
            ->ScreenLocked();  // one lock of the screen may come twice
        EXPECT_EQ(Session().Locked(), on);
    }
    Messages().QueueInput(QStringLiteral("geheim"));
    ASSERT_TRUE(Form().LockPane().UnlockWithPrompt());

    Session().AddKey("Neu", "Neu");
    Form().LockPane().MenuItem_LockClick();
    Messages().QueueInput(std::nullopt);  // the unlock cancelled: the window stays
    EXPECT_FALSE(Form().close());
    EXPECT_TRUE(Session().Locked());
    Messages().QueueInput(QStringLiteral("geheim"));
    Messages().QueueAnswer(MsgButton::No);  // "Wollen Sie die aktuelle Datei speichern?"
    EXPECT_TRUE(Form().close());
    EXPECT_FALSE(Session().Locked());
}

TEST_F(LockTest, TheLockOptionsAreReadAndKeptWhateverTheSettingsFileHolds) {
    struct Case {
        const char* name;
        std::function<void(TSettingsStore&)> plant;
        bool onScreenLock;
        int minutes;
        QString checked;  // the chosen item of "Automatisch sperren nach"
    };
    const Case cases[] = {
        {"nothing stored", [](TSettingsStore&) {}, true, 0, "Nie"},
        {"offered",
         [](TSettingsStore& r) {
             r.WriteInteger("LockAfterMinutes", 15);
             r.WriteInteger("LockOnScreenLock", 0);
         },
         false, 15, "15 Minuten"},
        {"edited by hand", [](TSettingsStore& r) { r.WriteInteger("LockAfterMinutes", 45); }, true,
         45, "45 Minuten"},
        {"negative", [](TSettingsStore& r) { r.WriteInteger("LockAfterMinutes", -3); }, true, 0,
         "Nie"},
        {"past a day", [](TSettingsStore& r) { r.WriteInteger("LockAfterMinutes", 1441); }, true, 0,
         "Nie"},
        {"text",
         [](TSettingsStore& r) {
             r.WriteString("LockAfterMinutes", "5");
             r.WriteString("LockOnScreenLock", "0");
         },
         true, 0, "Nie"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form_.reset();
        TSettingsStore(Hive::CurrentUser).DeleteKey("\\Software\\QZ\\Dorvanta");
        {
            TSettingsStore reg(Hive::CurrentUser);
            ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", true));
            c.plant(reg);
        }
        Messages().ClearLog();
        NewWindow();
        EXPECT_EQ(Form().LockPane().LockOnScreenLockAction()->isChecked(), c.onScreenLock);
        EXPECT_EQ(Form().LockPane().LockAfterMinutes(), c.minutes);
        QString checked;
        for (QAction* a : Form().LockPane().LockAfterMenu()->actions()) {
            if (a->isChecked()) checked = a->text();
        }
        EXPECT_EQ(checked, c.checked);
        form_.reset();
        TSettingsStore reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", false));
        EXPECT_EQ(reg.ReadInteger("LockAfterMinutes"), c.minutes);
        EXPECT_EQ(reg.ReadInteger("LockOnScreenLock"), c.onScreenLock ? 1 : 0);
    }
    NewWindow();
}

TEST_F(LockTest, NoTextOfALockedCollectionStaysInMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory as it was";
#endif
    TempDir dir;
    const TMarkers m = OpenMarked(dir);
    const std::string &value = m.value, &info = m.info, &password = m.password;
    // The texts also go to the search.
    Form().Dialogs().MenuItem_SearchClick();
    Form().Dialogs().SearchDialog()->Edit_SearchFor->setText(QStringLiteral("*"));
    Form().Dialogs().SearchDialog()->Button_Search->click();
    QApplication::processEvents();
    for (const std::string* text : {&value, &info, &password}) {
        EXPECT_GT(PlacesInMemory(*text), 0) << "the scan must see the open collection";
    }

    // An edit not yet stored is sealed with the collection, not kept readable.
    const std::string draft = Mask("Entwurf-" + std::to_string(random_()));
    Form().EntryPane().InfoEdit()->setText(QString::fromStdString(Mask(draft)));

    Form().LockPane().MenuItem_LockClick();
    ASSERT_TRUE(Session().Locked());
    QApplication::processEvents();
    EXPECT_EQ(PlacesInMemory(value), 0);
    EXPECT_EQ(PlacesInMemory(info), 0);
    EXPECT_EQ(PlacesInMemory(password), 0);
    EXPECT_EQ(PlacesInMemory(draft), 0);

    Messages().QueueInput(QString::fromStdString(Mask(password)));
    EXPECT_TRUE(Form().LockPane().UnlockWithPrompt());
    EXPECT_EQ(Doc().Keys[0].Data[0].Value, Mask(value));
    EXPECT_EQ(Form().EntryPane().InfoEdit()->text().toStdString(), Mask(draft));
}

// New, Open (taken or refused) and closing the window leave as little behind as a lock.
TEST_F(LockTest, NoTextOfAReplacedOrClosedCollectionStaysInMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory as it was";
#endif
    TempDir dir;
    {
        TDocument other;  // a plain collection to open instead
        other.Keys = {{"Andere", "", {{"Nichts", "x", "", 1.0}}}};
        SaveDocument(other, dir.File("andere.pdt"));
    }
    struct Case {
        const char* name;
        std::function<void()> replace;
    };
    const Case cases[] = {
        {"Neu", [this] { Form().MenuItem_NewClick(); }},
        {"Öffnen", [&] { Form().OpenFile(QString::fromStdString(dir.File("andere.pdt"))); }},
        {"abgelehntes Öffnen",
         [&] {
             Messages().QueueAnswer(MsgButton::Ok);  // the file cannot be opened
             Form().OpenFile(QString::fromStdString(dir.File("fehlt.pdt")));
         }},
        {"Schließen", [this] { EXPECT_TRUE(Form().close()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TMarkers m = OpenMarked(dir);
        QApplication::processEvents();
        for (const std::string* text : {&m.title, &m.value, &m.info, &m.password}) {
            ASSERT_GT(PlacesInMemory(*text), 0) << "the scan must see the open collection";
        }
        c.replace();
        QApplication::processEvents();
        for (const std::string* text : {&m.title, &m.value, &m.info, &m.password}) {
            EXPECT_EQ(PlacesInMemory(*text), 0) << Mask(*text);
        }
    }
}

}  // namespace
}  // namespace dorvanta
