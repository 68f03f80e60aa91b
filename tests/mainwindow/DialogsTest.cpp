// The search, import and settings dialogs, driven headless through the main
// window's commands; every question is answered through the message service.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/Mask.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::TempDir;

class DialogsTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        StartWindow(true, false);
        ShowKeys({{"Giro", "Bank", {{"IBAN", "DE12", "Haus", 1.0}, {"PIN", "4711", "", 2.0}}},
                  {"Spar", "Bank", {}},
                  {"Privat", "Mail", {{"Adresse", "a@b.c", "PIN-Brief", 3.0}}}});
    }
    void TearDown() override { CloseWindow(false); }
    QString LastMessage() const {
        return Messages().Asked().empty() ? QString() : Messages().Asked().back().text;
    }

    // Runs a command that opens a modal dialog; `work` acts in the open dialog,
    // which is cancelled afterwards if it is still open.
    void WithModal(QDialog* dialog, const std::function<void()>& command,
                   const std::function<void()>& work) {
        QTimer::singleShot(0, [dialog, work] {
            work();
            if (dialog->isVisible()) dialog->reject();
        });
        command();
    }
};

TEST_F(DialogsTest, SearchSelectsHitsWidensAndResetsOnClose) {
    TSearchDialog& search = *Form().Dialogs().SearchDialog();
    Form().Dialogs().MenuItem_SearchClick();
    EXPECT_TRUE(search.isVisible());
    EXPECT_EQ(search.width(), TSearchDialog::kNarrowWidth);
    EXPECT_FALSE(search.Button_Search->isEnabled());
    search.CheckBox_SubKeys->setChecked(true);
    search.Edit_SearchFor->setText("pin");
    EXPECT_TRUE(search.Button_Search->isEnabled());
    search.Button_Search->click();
    // Giro/PIN title, then Privat's info "PIN-Brief".
    const QAbstractItemModel& rows = *search.ListView_Results->model();
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.index(1, 0).data().toString(), "Info");
    EXPECT_EQ(rows.index(1, 1).data().toString(), "PIN-Brief");
    EXPECT_EQ(search.width(), TSearchDialog::kWideWidth);

    // Activating a hit selects the sub-category and the entry in the main window.
    search.ListView_Results->setCurrentIndex(rows.index(1, 0));
    EXPECT_EQ(Form().CategoryPane().SelectedKeyRow(), 2);
    EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), 0);
    EXPECT_EQ(Form().EntryPane().InfoEdit()->text(), "PIN-Brief");

    // A change that moves entries while the dialog stays open empties the hits.
    Form().EntryPane().SelectEntryRow(0);
    Messages().QueueAnswer(MsgButton::Yes);
    Form().EntryPane().SpeedButton_DeleteDataClick();
    EXPECT_EQ(rows.rowCount(), 0);
    EXPECT_TRUE(search.SearchResults().empty());

    // No hit: a message, the width stays.
    search.Edit_SearchFor->setText("nichts");
    search.Button_Search->click();
    EXPECT_EQ(LastMessage(), "Die Suche hat keine Ergebnisse geliefert.");
    EXPECT_EQ(Messages().Asked().back().caption, "Keine Suchergebnisse");
    EXPECT_EQ(search.width(), TSearchDialog::kWideWidth);

    // A malformed mask reports its error; the hits before it stay listed.
    search.Edit_SearchFor->setText("[");
    EXPECT_THROW(search.Button_SearchClick(), EMaskException);

    search.close();
    Form().Dialogs().MenuItem_SearchClick();
    EXPECT_EQ(search.width(), TSearchDialog::kNarrowWidth);
    EXPECT_TRUE(search.Edit_SearchFor->text().isEmpty());
    EXPECT_TRUE(search.CheckBox_SubKeys->isChecked());  // kept between openings
    // Storing an entry closes the dialog.
    Form().CategoryPane().SelectKeyRow(1);
    Form().CategoryPane().ListBox_KeysClick();
    Form().EntryPane().NameEdit()->setText("Neu");
    Form().EntryPane().Button_ApplyDataClick();
    EXPECT_FALSE(search.isVisible());
}

TEST_F(DialogsTest, ImportChecksInOrderThenAddsSortedEntries) {
    TempDir dir;
    TImportDialog& import = *Form().Dialogs().ImportDialog();
    const std::string file = dir.File("neu.txt");
    testing::WriteBytes(file, "Zeta;1\r\nAlpha;2;x;y\n\n");
    struct Check {
        QString path;
        bool otherChar;
        const char* message;
    };
    const Check checks[] = {
        {"", true, "Die angegebene Quelldatei existiert nicht."},
        {QString::fromStdString(dir.Path().string()), false,
         "Die angegebene Quelldatei existiert nicht."},
        {QString::fromStdString(file), true, "Sie müssen ein Trennungszeichen angeben."},
    };
    Form().CategoryPane().SelectKeyRow(1);
    Form().CategoryPane().ListBox_KeysClick();
    for (const Check& c : checks) {
        Messages().QueueAnswer(MsgButton::Ok);
        WithModal(
            &import, [&] { Form().Dialogs().EintrgefrUnterrubrikimportieren1Click(); },
            [&] {
                import.Edit_File->setText(c.path);
                if (c.otherChar) {
                    import.RadioButton_OtherChar->setChecked(true);
                    import.Edit_OtherChar->clear();
                }
                import.Button_OK->click();
                EXPECT_TRUE(import.isVisible());
            });
        EXPECT_EQ(LastMessage().toStdString(), c.message);
        EXPECT_EQ(Messages().Asked().back().caption, "Ungültige oder unvollständige Angaben");
    }
    EXPECT_TRUE(Doc().Keys[1].Data.empty());

    WithModal(
        &import, [&] { Form().Dialogs().EintrgefrUnterrubrikimportieren1Click(); },
        [&] {
            // Every showing starts from the tab and a disabled "?".
            EXPECT_TRUE(import.RadioButton_Tab->isChecked());
            EXPECT_FALSE(import.Edit_OtherChar->isEnabled());
            EXPECT_EQ(import.Edit_OtherChar->text(), "?");
            EXPECT_TRUE(import.Edit_File->text().isEmpty());
            import.Edit_File->setText(QString::fromStdString(file));
            import.RadioButton_OtherChar->setChecked(true);
            EXPECT_TRUE(import.Edit_OtherChar->isEnabled());
            import.Edit_OtherChar->setText(";");
            import.Button_OK->click();
            EXPECT_FALSE(import.isVisible());
        });
    const auto& data = Doc().Keys[1].Data;
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].Title, "");  // the empty line
    EXPECT_EQ(data[1].Title, "Alpha");
    EXPECT_EQ(data[1].Info, "x;y");
    EXPECT_EQ(data[2].Title, "Zeta");
    EXPECT_TRUE(Doc().Modified);
    EXPECT_EQ(Form().EntryPane().Model()->rowCount(), 3);

    // Without a selected sub-category nothing is imported anywhere.
    Form().CategoryPane().SelectKeyRow(-1);
    Form().CategoryPane().ListBox_KeysClick();
    Messages().QueueAnswer(MsgButton::Ok);
    Form().Dialogs().EintrgefrUnterrubrikimportieren1Click();
    EXPECT_EQ(LastMessage().toStdString(), kMsgNoSubCategory);
    EXPECT_FALSE(import.isVisible());
}

TEST_F(DialogsTest, ImportShowsACharacterItCannotStoreAndTakesTheMendedUtf8File) {
    TempDir dir;
    TImportDialog& import = *Form().Dialogs().ImportDialog();
    const std::string file = dir.File("utf8.txt");
    testing::WriteBytes(file, "K\xC3\xA4se\t1\nZ\xC5\x82oty\t2\n");
    Form().CategoryPane().SelectKeyRow(1);
    Form().CategoryPane().ListBox_KeysClick();
    Messages().QueueAnswer(MsgButton::Ok);
    WithModal(
        &import, [&] { Form().Dialogs().EintrgefrUnterrubrikimportieren1Click(); },
        [&] {
            import.Edit_File->setText(QString::fromStdString(file));
            import.Button_OK->click();
            // The dialog stays open with the file named: the user can mend it.
            EXPECT_TRUE(import.isVisible());
            EXPECT_EQ(LastMessage().toStdString(),
                      "Zeile 2 der Datei „" + file +
                          "“ enthält das Zeichen „ł“, das nicht gespeichert werden kann. Es "
                          "wurde nichts importiert.");
            EXPECT_TRUE(Doc().Keys[1].Data.empty());
            EXPECT_FALSE(Doc().Modified);
            testing::WriteBytes(file, "K\xC3\xA4se\t1\nZloty\t2\n");
            import.Button_OK->click();
            EXPECT_FALSE(import.isVisible());
        });
    const auto& data = Doc().Keys[1].Data;
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].Title, "K\xE4se");
    EXPECT_EQ(data[1].Title, "Zloty");
}

TEST_F(DialogsTest, SettingsStoreDeleteAndCancel) {
    TempDir dir;
    TSettingsDialog& settings = *Form().Dialogs().SettingsDialog();
    const std::string file = dir.File("start.pdt");
    testing::WriteBytes(file, "x");
    auto stored = [&]() -> std::optional<std::string> {
        TSettingsStore reg(Hive::CurrentUser);
        if (!reg.OpenKey("Software\\QZ\\Dorvanta", false) || !reg.ValueExists("AutoLoadFile"))
            return std::nullopt;
        return reg.ReadString("AutoLoadFile");
    };
    auto run = [&](const std::function<void()>& work) {
        WithModal(
            &settings, [&] { Form().Dialogs().MenuItem_SettingsClick(); }, work);
    };
    run([&] {
        EXPECT_FALSE(settings.CheckBox_AutoFile->isChecked());
        EXPECT_TRUE(settings.Edit_AutoFile->text().isEmpty());
        settings.Button_OK->click();
    });
    EXPECT_FALSE(stored());

    Messages().QueueAnswer(MsgButton::Ok);
    run([&] {
        settings.CheckBox_AutoFile->setChecked(true);
        settings.Button_OK->click();  // empty path
        EXPECT_TRUE(settings.isVisible());
        settings.Edit_AutoFile->setText(QString::fromStdString(file));
        settings.Button_OK->click();
    });
    EXPECT_EQ(LastMessage(), "Die angegebene Datei existiert nicht.");
    EXPECT_EQ(stored(), file);

    run([&] {
        EXPECT_TRUE(settings.CheckBox_AutoFile->isChecked());
        EXPECT_EQ(settings.Edit_AutoFile->text().toStdString(), file);
        settings.CheckBox_AutoFile->setChecked(false);
        settings.Button_Cancel->click();
    });
    EXPECT_EQ(stored(), file);
    run([&] {
        settings.CheckBox_AutoFile->setChecked(false);
        settings.Button_OK->click();
    });
    EXPECT_FALSE(stored());

    // Ignored while a file is being read.
    Doc().Loading = true;
    Form().Dialogs().MenuItem_SettingsClick();
    Doc().Loading = false;
    EXPECT_FALSE(settings.isVisible());
}

// The start file must be a file the next start can read; anything else is
// refused with its reason and leaves the dialog open and the setting as it was.
// Root reads a file whatever its mode, so what root cannot read is what is no
// regular file: a named pipe (reading would wait for a writer) or a device.
TEST_F(DialogsTest, SettingsRefuseAStartFileTheStartCouldNotRead) {
    TempDir dir;
    TSettingsDialog& settings = *Form().Dialogs().SettingsDialog();
    const std::string file = dir.File("start.pdt"), locked = dir.File("gesperrt.pdt");
    testing::WriteBytes(file, "x");
    testing::WriteBytes(locked, "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    std::filesystem::create_directory(dir.File("ordner"));
    std::filesystem::create_directory_symlink(dir.File("ordner"), dir.File("zum-ordner"));
    std::filesystem::create_symlink(dir.File("fehlt.pdt"), dir.File("ins-leere"));
    std::filesystem::create_symlink(file, dir.File("zur-datei"));
    testing::WriteBytes(dir.File("Z\xC5\x82oty.pdt"), "x");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const std::string missing = "Die angegebene Datei existiert nicht.";
    const std::string folder = "Der angegebene Pfad ist ein Ordner, keine Datei.";
    const std::string unreadable = "Die angegebene Datei kann nicht gelesen werden.";
    // Each path with the refusal it gets; "" for one that is stored.
    const std::pair<std::string, std::string> cases[] = {
        {"", missing},
        {dir.File("fehlt.pdt"), missing},
        {dir.File("ins-leere"), missing},  // a link to nothing
        {file + "/x", missing},            // a file taken for a folder
        {dir.File("ordner"), folder},
        {dir.File("ordner") + "/", folder},
        {dir.File("zum-ordner"), folder},
        {dir.File("pipe"), unreadable},
        {"/dev/null", unreadable},
        {locked, ::access(locked.c_str(), R_OK) == 0 ? "" : unreadable},
        {dir.File("zur-datei"), ""},
        {dir.File("Z\xC5\x82oty.pdt"), ""},  // beyond Windows-1252
        {file, ""},
    };
    for (const auto& [path, refusal] : cases) {
        SCOPED_TRACE(path);
        TSettingsStore& key = *Form().SettingsKey();
        Messages().ClearLog();
        if (!refusal.empty()) Messages().QueueAnswer(MsgButton::Ok);
        bool open = false;
        WithModal(
            &settings, [&] { Form().Dialogs().MenuItem_SettingsClick(); },
            [&] {
                settings.CheckBox_AutoFile->setChecked(true);
                settings.Edit_AutoFile->setText(QString::fromStdString(path));
                settings.Button_OK->click();
                open = settings.isVisible();
            });
        EXPECT_EQ(LastMessage().toStdString(), refusal);
        EXPECT_EQ(open, !refusal.empty());
        const bool stored = key.ValueExists("AutoLoadFile");
        EXPECT_EQ(stored, refusal.empty());
        if (stored) {
            EXPECT_EQ(key.ReadPath("AutoLoadFile"), path);
            key.DeleteValue("AutoLoadFile");  // no start file for the tests after this one
        }
    }
}

// Without a settings key the start file cannot be stored: the error reaches the
// application's error box from inside the button's slot, and the dialog stays.
TEST_F(DialogsTest, SettingsWithoutAKeyReportTheErrorAndStayOpen) {
    TempDir dir;
    const std::string path = dir.File("start.pdt");
    testing::WriteBytes(path, "x");
    TSettingsDialog settings(&Form(), nullptr);
    settings.show();
    settings.CheckBox_AutoFile->setChecked(true);
    settings.Edit_AutoFile->setText(QString::fromStdString(path));
    Messages().ClearLog();
    Messages().QueueAnswer(MsgButton::Ok);
    settings.Button_OK->click();
    ASSERT_EQ(Messages().Asked().size(), 1u);
    EXPECT_EQ(Messages().Asked().back().caption, "Dorvanta");
    EXPECT_EQ(Messages().Asked().back().text,
              QString::fromUtf8("Fehler beim Setzen der Daten für 'AutoLoadFile'"));
    EXPECT_TRUE(settings.isVisible());
}

}  // namespace
}  // namespace dorvanta
