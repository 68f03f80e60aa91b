#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <filesystem>

#include "dialogs/CategoryDialog.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/EntryModel.h"
#include "mainwindow/KeyListBox.h"
#include "mainwindow/MainWindow.h"
#include "platform/Cp1252Validator.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/AgeFile.h"
#include "store/DateTime.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::TempDir;

class MainWindowTest : public testing::MainWindowFixture {
  protected:
    static QStringList AskedTexts() {
        QStringList out;
        for (const auto& q : Messages().Asked()) out << q.text;
        return out;
    }

    // A saved collection: Bank (Giro with three entries, Spar), Mail (Privat).
    std::string SampleFile(const TempDir& dir, const std::string& password = {}) {
        TDocument doc;
        doc.Password = password;
        doc.Keys = {{"Giro",
                     "Bank",
                     {{"IBAN", "DE12", "Haus", 1.5},
                      {"Online", "kunde", "", 2.0},
                      {"PIN", "4711", "EC", 3.25}}},
                    {"Spar", "Bank", {}},
                    {"Privat", "Mail", {{"Adresse", "a@b.c", "", 4.0}}}};
        const std::string path = dir.File("sample.pdt");
        SaveDocument(doc, path);
        return path;
    }

    // The start file is read once the window is on screen.
    void WaitForStartFile() {
        for (int i = 0; i < 500 && Form().StartLoading(); ++i) QTest::qWait(10);
        ASSERT_FALSE(Form().StartLoading());
    }

    void SelectKey(int index) {
        Form().CategoryPane().List()->SetItemIndex(index);
        Form().CategoryPane().ListBox_KeysClick();
    }

    void TypeEntry(const QString& title, const QString& value = {}, const QString& info = {}) {
        Form().EntryPane().NameEdit()->setText(title);
        Form().EntryPane().ValueEdit()->setText(value);
        Form().EntryPane().InfoEdit()->setText(info);
    }
};

TEST_F(MainWindowTest, FirstStartShowsTheDesignedEmptyWindow) {
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    EXPECT_FALSE(Form().CategoryPane().ShowDataAction()->isChecked());
    EXPECT_FALSE(Form().CategoryPane().CompressViewAction()->isChecked());
    EXPECT_EQ(Form().ClientSize().width(), 790);
    EXPECT_FALSE(Named<QToolButton>(Form(), "SpeedButton_DelKey")->isEnabled());
    EXPECT_FALSE(Form().EntryPane().NewButton()->isEnabled());
    EXPECT_FALSE(Form().EntryPane().ApplyButton()->isEnabled());
    EXPECT_EQ(Form().CategoryPane().List()->Count(), 0);
    EXPECT_EQ(Form().CategoryPane().LineHeight(), QFontMetrics(Form().font()).height() + 1);
    // Clearing the clipboard is offered in the options menu, off until chosen.
    QMenu* options = nullptr;
    for (QAction* a : Form().menuBar()->actions()) {
        if (a->text() == "&Optionen") options = a->menu();
    }
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->actions().contains(Named<QAction>(Form(), "MenuItem_ClearClipboard")));
    EXPECT_EQ(Named<QAction>(Form(), "MenuItem_ClearClipboard")->text(),
              "Zwischenablage nach 30 Sekunden leeren");
    EXPECT_TRUE(Named<QAction>(Form(), "MenuItem_ClearClipboard")->isCheckable());
    EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_ClearClipboard")->isChecked());
}

TEST_F(MainWindowTest, WindowSettingsAreWrittenAtTheEndAndReadAtTheStart) {
    Form().CategoryPane().ShowDataAction()->setChecked(true);
    Form().SetClientSize(QSize(900, 400));
    form_.reset();
    TSettingsStore reg(Hive::CurrentUser);
    ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", false));
    EXPECT_TRUE(reg.ReadBool("ShowData"));
    EXPECT_FALSE(reg.ReadBool("CompressView"));
    EXPECT_EQ(reg.ReadInteger("Form1Width"), 900);
    EXPECT_EQ(reg.ReadInteger("Form1Height"), 400);
    EXPECT_EQ(reg.GetDataType("ClearClipboard"), RegDataType::Integer);
    EXPECT_EQ(reg.ReadInteger("ClearClipboard"), 0);

    NewWindow();
    EXPECT_TRUE(Form().CategoryPane().ShowDataAction()->isChecked());
    EXPECT_EQ(Form().ClientSize(), QSize(900, 400));
    EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_ClearClipboard")->isChecked());
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(true);
    form_.reset();
    EXPECT_EQ(reg.ReadInteger("ClearClipboard"), 1);
    NewWindow();
    EXPECT_TRUE(Named<QAction>(Form(), "MenuItem_ClearClipboard")->isChecked());
}

TEST_F(MainWindowTest, StoredSizesOutsideSaneBoundsAreClamped) {
    struct Case {
        std::int32_t width, height;
        QSize client;
    };
    const Case cases[] = {
        {900, 400, {900, 400}},
        {INT32_MAX, INT32_MAX, {16384, 16384}},
        {0x7FFF, 0x10000, {16384, 16384}},
        {INT32_MIN, INT32_MIN, {201, 329}},
        {0, -1, {201, 329}},
    };
    for (const Case& c : cases) {
        form_.reset();
        {
            TSettingsStore reg(Hive::CurrentUser);
            ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", false));
            reg.WriteInteger("Form1Width", c.width);
            reg.WriteInteger("Form1Height", c.height);
        }
        NewWindow();
        EXPECT_EQ(Form().ClientSize(), c.client) << c.width << " x " << c.height;
        // Even a window larger than the screen starts with its top-left on it.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_GE(Form().x(), area.left());
        EXPECT_GE(Form().y(), area.top());
    }
}

TEST_F(MainWindowTest, SettingsThatCannotBeStoredAreReportedAtTheEnd) {
    form_.reset();
    const QByteArray saved = qgetenv("DORVANTA_REGISTRY_DIR");
    qputenv("DORVANTA_REGISTRY_DIR", "/dev/null/keine");  // no folder can be made there
    for (int i = 0; i < 4; ++i) Messages().QueueAnswer(MsgButton::Ok);
    NewWindow();
    form_.reset();
    qputenv("DORVANTA_REGISTRY_DIR", saved);
    ASSERT_FALSE(Messages().Asked().empty());
    EXPECT_EQ(Messages().Asked().back().text.toStdString(),
              "Fehler beim Setzen der Daten für 'ShowData'");
    EXPECT_EQ(Messages().Asked().back().caption, "Dorvanta");
    Messages().ClearLog();
    NewWindow();
}

TEST_F(MainWindowTest, AutoLoadFileOpensAtStartAndAMissingOneLeavesAnEmptyWindow) {
    TempDir dir;
    const std::string path = SampleFile(dir);
    form_.reset();
    {
        TSettingsStore reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", true));
        reg.WriteString("AutoLoadFile", path);
    }
    NewWindow();
    form_->show();
    // Painted first, empty; the file follows.
    EXPECT_TRUE(Form().StartLoading());
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    WaitForStartFile();
    EXPECT_EQ(Doc().Keys.size(), 3u);
    EXPECT_EQ(Form().windowTitle(), QString::fromStdString("Dorvanta - [" + path + "]"));
    form_.reset();

    std::filesystem::remove(path);
    Messages().QueueAnswer(MsgButton::Ok);
    NewWindow();
    form_->show();
    WaitForStartFile();
    ASSERT_FALSE(Messages().Asked().empty());
    const AskedQuestion& error = Messages().Asked().back();
    EXPECT_EQ(error.caption, "Dorvanta");
    EXPECT_EQ(error.icon, MsgIcon::Error);
    EXPECT_EQ(error.text, QString::fromStdString("Datei " + path + " kann nicht geöffnet werden."));
    EXPECT_TRUE(Doc().Keys.empty());
    EXPECT_FALSE(Doc().Loading);
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
}

TEST_F(MainWindowTest, AFileOnTheCommandLineOpensInPlaceOfTheStartFile) {
    TempDir dir;
    const std::string named = SampleFile(dir);
    const std::string other = dir.File("other.pdt");
    std::filesystem::copy_file(named, other);
    {
        TSettingsStore reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", true));
        reg.WriteString("AutoLoadFile", other);
    }
    // A protected one: its prompt is asked from the worker that reads the file.
    TempDir protectedDir;
    const std::string locked = SampleFile(protectedDir, "Geheim");
    const QString relative = QDir::current().relativeFilePath(QString::fromStdString(named));
    struct Case {
        QStringList arguments;
        QString title;
        bool error;
        std::optional<QString> password = std::nullopt;
    };
    const Case cases[] = {
        {{relative, QStringLiteral("ignored")},
         QString::fromStdString("Dorvanta - [" + named + "]"),
         false},
        {{}, QString::fromStdString("Dorvanta - [" + other + "]"), false},
        {{QString::fromStdString(dir.File("missing.pdt"))}, QStringLiteral("Dorvanta"), true},
        {{QString::fromStdString(locked)},
         QString::fromStdString("Dorvanta - [" + locked + "]"),
         false,
         QStringLiteral("Geheim")},
        {{QString::fromStdString(locked)}, QStringLiteral("Dorvanta"), true, QStringLiteral("x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        form_.reset();
        Messages().ClearLog();
        if (c.password) Messages().QueueInput(*c.password);
        if (c.error) Messages().QueueAnswer(MsgButton::Ok);
        NewWindow(c.arguments);
        form_->show();
        WaitForStartFile();
        EXPECT_EQ(Form().windowTitle(), c.title);
        const QString last =
            Messages().Asked().empty() ? QString() : Messages().Asked().back().caption;
        EXPECT_EQ(last == "Dorvanta" || last == "Ungültiges Passwort", c.error)
            << last.toStdString();
        EXPECT_EQ(Doc().Keys.empty(), c.error);
    }
}

TEST_F(MainWindowTest, CloseQuestionAnswers) {
    Doc().Modified = true;
    Messages().QueueAnswer(MsgButton::Cancel);
    EXPECT_FALSE(Form().close());
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Messages().Asked().back().text, "Wollen Sie die aktuelle Datei speichern?");
    EXPECT_EQ(Messages().Asked().back().caption, "Warnung");

    Messages().QueueAnswer(MsgButton::No);
    EXPECT_TRUE(Form().close());

    // Yes on an untitled document asks for a name; cancelling it keeps the window
    // and the changes, for closing, New and Open alike.
    Form().show();
    Doc().AddKey("Bank", "Giro");
    TempDir dir;
    const QString other = QString::fromStdString(SampleFile(dir));
    struct Command {
        std::function<bool()> run;  // true when the pending action went on
        bool choosesFile;           // Open asks for its file before the question
    };
    const Command commands[] = {{[&] { return Form().close(); }, false},
                                {[&] {
                                     Form().MenuItem_NewClick();
                                     return Doc().Keys.empty();
                                 },
                                 false},
                                {[&] {
                                     Form().MenuItem_OpenClick();
                                     return Doc().Keys.size() != 1;
                                 },
                                 true}};
    for (const Command& command : commands) {
        if (command.choosesFile) Messages().QueueFileName(other);
        Messages().QueueAnswer(MsgButton::Yes);
        Messages().QueueFileName(std::nullopt);
        EXPECT_FALSE(command.run());
        EXPECT_EQ(Messages().Asked().back().kind, AskedQuestion::Kind::SaveFile);
        EXPECT_EQ(Doc().Keys.size(), 1u);
        EXPECT_TRUE(Doc().Modified);
        Messages().ClearLog();
    }
    // A save that writes lets the close go on.
    Messages().QueueAnswer(MsgButton::Yes);
    Messages().QueueFileName(QString::fromStdString(dir.File("neu.pdt")));
    EXPECT_TRUE(Form().close());
}

TEST_F(MainWindowTest, FailedSaveOnCloseKeepsTheWindowOpen) {
    TempDir dir;
    Doc().Modified = true;
    Session().AssignFileName(dir.File("no/such/folder/x.pdt"));
    Messages().QueueAnswer(MsgButton::Yes);  // save
    Messages().QueueAnswer(MsgButton::Ok);   // the error box
    EXPECT_FALSE(Form().close());
    EXPECT_TRUE(Doc().Modified);
    EXPECT_EQ(Messages().Asked().back().caption, "Dorvanta");
}

TEST_F(MainWindowTest, OpenWithPasswordRightWrongCaseAndCancelled) {
    TempDir dir;
    const std::string path = SampleFile(dir, "Geheim");

    Messages().QueueInput(QString("Geheim"));
    Form().OpenFile(QString::fromStdString(path));
    EXPECT_EQ(Doc().Keys.size(), 3u);
    EXPECT_EQ(Form().windowTitle(), QString::fromStdString("Dorvanta - [" + path + "]"));
    EXPECT_FALSE(Doc().Modified);
    const AskedQuestion& prompt = Messages().Asked().back();
    EXPECT_EQ(prompt.caption, "Passwort");
    EXPECT_EQ(prompt.text, QString::fromStdString(
                               "Die Datei \"" + path +
                               "\" ist passwortgeschützt. Geben Sie das erforderliche Passwort "
                               "ein, um die Daten zu laden."));
    EXPECT_EQ(prompt.maxLength, 255);
    EXPECT_FALSE(prompt.password);

    Messages().QueueInput(QString("geheim"));
    Messages().QueueAnswer(MsgButton::Ok);
    Form().OpenFile(QString::fromStdString(path));
    EXPECT_EQ(Messages().Asked().back().caption, "Ungültiges Passwort");
    EXPECT_TRUE(Doc().Keys.empty());
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    EXPECT_EQ(Form().CategoryPane().List()->Count(), 0);

    const auto before = Messages().Asked().size();
    Messages().QueueInput(std::nullopt);
    Form().OpenFile(QString::fromStdString(path));
    EXPECT_EQ(Messages().Asked().size(), before + 1);  // the prompt only, no message
    EXPECT_TRUE(Doc().Keys.empty());
    EXPECT_TRUE(Session().FileName().empty());
    EXPECT_FALSE(Doc().Loading);
}

TEST_F(MainWindowTest, FailedLoadResetsToAnEmptyUntitledWindow) {
    TempDir dir;
    const std::string good = SampleFile(dir);
    Form().OpenFile(QString::fromStdString(good));
    SelectKey(0);
    // The same file cut short after its first key.
    std::string bytes = testing::ReadBytes(good);
    testing::WriteBytes(dir.File("cut.pdt"), bytes.substr(0, 30));
    Messages().QueueFileName(QString::fromStdString(dir.File("cut.pdt")));
    Messages().QueueAnswer(MsgButton::Ok);
    // The error box comes first, the reset after it.
    QString titleDuringError;
    Messages().SetAskedHook([&](const AskedQuestion&) { titleDuringError = Form().windowTitle(); });
    Form().MenuItem_OpenClick();
    EXPECT_EQ(Messages().Asked().back().caption, "Dorvanta");
    EXPECT_EQ(titleDuringError, QString::fromStdString("Dorvanta - [" + good + "]"));
    EXPECT_TRUE(Doc().Keys.empty());
    EXPECT_FALSE(Doc().Loading);
    EXPECT_TRUE(Session().FileName().empty());
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    EXPECT_EQ(Form().CategoryPane().List()->Count(), 0);
    EXPECT_EQ(Form().EntryPane().Model()->rowCount(), 0);
    // The file commands work again.
    Doc().Modified = true;
    Messages().QueueFileName(std::nullopt);
    Form().MenuItem_SaveClick();
    EXPECT_TRUE(Doc().Modified);
}

TEST_F(MainWindowTest, OpenAsksAboutChangesOnlyAfterAFileWasChosen) {
    TempDir dir;
    const std::string path = SampleFile(dir);
    Doc().AddKey("P", "K");
    Messages().QueueFileName(std::nullopt);
    Form().MenuItem_OpenClick();
    EXPECT_EQ(Messages().Asked().size(), 1u);
    Messages().QueueFileName(QString::fromStdString(path));
    Messages().QueueAnswer(MsgButton::Cancel);
    Form().MenuItem_OpenClick();
    EXPECT_EQ(Doc().Keys.size(), 1u);
    EXPECT_TRUE(Doc().Modified);
}

TEST_F(MainWindowTest, SaveAsSetsTheNameAndSaveWritesIt) {
    TempDir dir;
    Doc().AddKey("Bank", "Giro");
    const QString path = QString::fromStdString(dir.File("neu.pdt"));
    Messages().QueueFileName(path);
    Form().MenuItem_SaveClick();
    EXPECT_EQ(Form().windowTitle(), "Dorvanta - [" + path + "]");
    EXPECT_FALSE(Doc().Modified);
    TDocument back;
    ASSERT_TRUE(LoadDocument(back, path.toStdString()));
    EXPECT_EQ(back.Keys.size(), 1u);
    // New after that: untitled again, so the next Save asks for a name.
    Form().MenuItem_NewClick();
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    Doc().Modified = true;
    Messages().QueueFileName(std::nullopt);
    Form().MenuItem_SaveClick();
    EXPECT_EQ(Messages().Asked().back().kind, AskedQuestion::Kind::SaveFile);
}

TEST_F(MainWindowTest, EncryptedSaveAsAsksForAPasswordAndSaveKeepsTheFormat) {
    TempDir dir;
    SetEncryptionWorkFactor(10);
    Doc().AddKey("Bank", "Giro");
    const QString base = QString::fromStdString(dir.File("geheim"));
    const QString path = base + ".pdt.age";
    // No password yet: cancelling or leaving it empty (which is said) writes nothing.
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional(QString())}) {
        Messages().QueueFileName(base);
        Messages().QueueFileFilter(QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)"));
        Messages().QueueInput(answer);
        if (answer) {
            Messages().QueueInput(answer);  // "Passwort wiederholen"
            Messages().QueueAnswer(MsgButton::Ok);
        }
        EXPECT_FALSE(Form().MenuItem_SaveUnderClick());
        EXPECT_FALSE(std::filesystem::exists(path.toStdString()));
        EXPECT_TRUE(Doc().Modified);
        EXPECT_EQ(Messages().Asked().back().caption, "Passwort");
    }
    // The type's suffix is added, the password box asked once (both its fields),
    // the file encrypted.
    Messages().QueueFileName(base);
    Messages().QueueFileFilter(QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)"));
    Messages().QueueInput(QString("Sesam-\u00f6"));
    Messages().QueueInput(QString("Sesam-\u00f6"));
    EXPECT_TRUE(Form().MenuItem_SaveUnderClick());
    EXPECT_EQ(Form().windowTitle(), "Dorvanta - [" + path + "]");
    EXPECT_FALSE(Doc().Modified);
    const AskedQuestion& dialog = Messages().Asked()[Messages().Asked().size() - 2];
    EXPECT_EQ(dialog.filter, "Private Daten (*.pdt);;Private Daten, verschlüsselt (*.pdt.age)");
    EXPECT_TRUE(age::IsEncrypted(testing::ReadBytes(path.toStdString())));
    // Save keeps the format without asking again.
    Doc().AddKey("Mail", "Privat");
    const auto asked = Messages().Asked().size();
    EXPECT_TRUE(Form().MenuItem_SaveClick());
    EXPECT_EQ(Messages().Asked().size(), asked);
    // Reopened with the password, through Open's filter, it is the same document.
    Form().MenuItem_NewClick();
    Messages().QueueFileName(path);
    Messages().QueueInput(QString("Sesam-\u00f6"));
    Form().MenuItem_OpenClick();
    EXPECT_EQ(Messages().Asked()[Messages().Asked().size() - 2].filter,
              "Private Daten (*.pdt *.pdt.age *.age);;Private Daten (*.pdt);;"
              "Private Daten, verschlüsselt (*.pdt.age);;Alle Dateien (*)");
    EXPECT_EQ(Doc().Keys.size(), 2u);
    EXPECT_EQ(Doc().Format, TDocument::TFormat::Encrypted);
    EXPECT_EQ(Doc().Password, "Sesam-\xC3\xB6");  // UTF-8 while encrypted
    // Save as a plain file: the type decides; the password stays the file's, in
    // Windows-1252.
    const QString plain = QString::fromStdString(dir.File("klar"));
    Messages().QueueFileName(plain);
    Messages().QueueFileFilter(QStringLiteral("Private Daten (*.pdt)"));
    EXPECT_TRUE(Form().MenuItem_SaveUnderClick());
    EXPECT_EQ(testing::ReadBytes(plain.toStdString() + ".pdt"), EncodeDocument(Doc()));
    EXPECT_EQ(Doc().Password, "Sesam-\xF6");
    // A damaged encrypted file: the error box, then an empty untitled window.
    std::string bytes = testing::ReadBytes(path.toStdString());
    bytes.back() ^= 1;
    testing::WriteBytes(path.toStdString(), bytes);
    Messages().QueueInput(QString("Sesam-\u00f6"));
    Messages().QueueAnswer(MsgButton::Ok);
    Form().OpenFile(path);
    EXPECT_EQ(Messages().Asked().back().caption, "Dorvanta");
    EXPECT_EQ(Messages().Asked().back().text,
              "Die Datei " + path + " ist beschädigt und kann nicht geöffnet werden.");
    EXPECT_TRUE(Doc().Keys.empty());
    EXPECT_EQ(Doc().Format, TDocument::TFormat::Plain);
    EXPECT_EQ(Form().windowTitle(), "Dorvanta");
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
}

TEST_F(MainWindowTest, PasswordCommandSetsModifiedEvenWhenCancelled) {
    Doc().Password = "alt";
    Messages().QueueInput(std::nullopt);
    Form().MenuItem_PasswordClick();
    EXPECT_EQ(Doc().Password, "alt");
    EXPECT_TRUE(Doc().Modified);
    Messages().QueueInput(QString("neu\u00e4"));
    Form().MenuItem_PasswordClick();
    EXPECT_EQ(Doc().Password, "neu\xE4");
    Messages().QueueInput(QString());
    Form().MenuItem_PasswordClick();
    EXPECT_TRUE(Doc().Password.empty());
}

TEST_F(MainWindowTest, BlockedCommandsDoNothingWhileLoading) {
    Doc().Loading = true;
    Form().MenuItem_OpenClick();
    Form().MenuItem_SaveClick();
    Form().MenuItem_SaveUnderClick();
    Form().MenuItem_PasswordClick();
    EXPECT_TRUE(Messages().Asked().empty());
    EXPECT_FALSE(Doc().Modified);
    Doc().Loading = false;
}

TEST_F(MainWindowTest, RowHeightsFollowTheViews) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    const int line = Form().CategoryPane().LineHeight();
    const int header = Form().CategoryPane().HeaderHeight();
    TKeyListBox* list = Form().CategoryPane().List();
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->RowHeight(0), header + line);
    EXPECT_EQ(list->RowHeight(1), line);

    Form().CategoryPane().ShowDataAction()->setChecked(true);
    Form().CategoryPane().SpeedButton_ShowDataClick();
    EXPECT_EQ(list->RowHeight(0), header + 4 * line);  // three entries
    EXPECT_EQ(list->RowHeight(1), line);

    // Filtered right after a load: nothing selected, only the header bands remain.
    Form().CategoryPane().CompressViewAction()->setChecked(true);
    Form().CategoryPane().SpeedButton_ShowDataClick();
    EXPECT_EQ(list->RowHeight(0), header);
    EXPECT_EQ(list->RowHeight(1), 0);
    EXPECT_EQ(list->RowHeight(2), header);

    // Selecting a group's row expands that group only.
    SelectKey(2);
    EXPECT_EQ(list->RowHeight(0), header);
    EXPECT_EQ(list->RowHeight(2), header + 2 * line);
    EXPECT_EQ(list->ItemIndex(), 2);
}

// With "Daten zeigen..." down, every entry change shows at once in the row of its
// sub-category, without moving the selection or the scroll position.
TEST_F(MainWindowTest, EntryChangesShowInTheCategoryListAtOnce) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    Form().CategoryPane().ShowDataAction()->setChecked(true);
    Form().CategoryPane().SpeedButton_ShowDataClick();
    Form().SetClientSize(QSize(790, 329));
    TKeyListBox* list = Form().CategoryPane().List();
    const int line = Form().CategoryPane().LineHeight();
    SelectKey(1);  // Bank/Spar, no entries yet
    for (int i = 0; i < 30; ++i) {
        TypeEntry(QString("E%1").arg(i, 2, 10, QChar('0')));
        Form().EntryPane().Button_ApplyDataClick();
    }
    EXPECT_EQ(list->RowHeight(1), 31 * line);
    list->verticalScrollBar()->setValue(40);
    Form().EntryPane().SelectEntryRow(3);
    TypeEntry("Anders");
    Form().EntryPane().Button_ApplyDataClick();  // change
    Form().EntryPane().SelectEntryRow(0);
    Messages().QueueAnswer(MsgButton::Yes);
    Form().EntryPane().SpeedButton_DeleteDataClick();
    EXPECT_EQ(list->RowHeight(1), 30 * line);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(list->verticalScrollBar()->value(), 40);
}

// Enter in an editor field is left to the field when there is nothing to write
// into; a right click without a selection opens no empty menu; a double click
// below the last row edits the selected sub-category.
TEST_F(MainWindowTest, KeysAndClicksReachTheirTargets) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    int returns = 0;
    QObject::connect(Form().EntryPane().ValueEdit(), &QLineEdit::returnPressed, [&] { ++returns; });
    QTest::keyClick(Form().EntryPane().ValueEdit(), Qt::Key_Return);
    EXPECT_EQ(returns, 1);
    SelectKey(2);
    TypeEntry("Neu");
    QTest::keyClick(Form().EntryPane().ValueEdit(), Qt::Key_Return);
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(Doc().Keys[2].Data.size(), 2u);

    QWidget* viewport = Form().CategoryPane().List()->viewport();
    auto rightClick = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &event);
        const bool shown = Form().CategoryPane().ContextMenu()->isVisible();
        Form().CategoryPane().ContextMenu()->hide();
        return shown;
    };
    Form().CategoryPane().List()->SetItemIndex(-1);
    EXPECT_FALSE(rightClick());
    Form().CategoryPane().List()->SetItemIndex(0);
    EXPECT_TRUE(rightClick());

    SelectKey(1);
    QString caption;
    QTimer::singleShot(0, [&] {
        caption = Form().CategoryPane().Dialog()->windowTitle();
        Form().CategoryPane().Dialog()->reject();
    });
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 5));
    EXPECT_EQ(caption, "Rubrik bearbeiten");
    EXPECT_EQ(Form().CategoryPane().List()->ItemIndex(), 1);
}

TEST_F(MainWindowTest, FilteredClickInTheSameGroupRefillsNothing) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    Form().CategoryPane().CompressViewAction()->setChecked(true);
    Form().CategoryPane().SpeedButton_ShowDataClick();
    SelectKey(0);
    EXPECT_EQ(Form().CategoryPane().LastFillIndex(), 0);
    SelectKey(1);
    EXPECT_EQ(Form().CategoryPane().LastFillIndex(), 0);  // same group: no refill
    SelectKey(2);
    EXPECT_EQ(Form().CategoryPane().LastFillIndex(), 2);
}

TEST_F(MainWindowTest, RenameParentMergesGroupsAndKeepsTheSelection) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(2);  // Mail / Privat
    Messages().QueueInput(QString("Bank"));
    Form().CategoryPane().MenuItem_ChangeKeyNameClick();
    EXPECT_EQ(Messages().Asked().back().caption, "Neuer Rubrikname");
    EXPECT_EQ(Messages().Asked().back().initial, "Mail");
    EXPECT_TRUE(Doc().Modified);
    ASSERT_EQ(Doc().Keys.size(), 3u);
    int starts = 0;
    for (int i = 0; i < 3; ++i) starts += Doc().IsGroupStart(i);
    EXPECT_EQ(starts, 1);
    const int sel = Form().CategoryPane().List()->ItemIndex();
    ASSERT_GE(sel, 0);
    EXPECT_EQ(Doc().Keys[sel].Name, "Privat");
    EXPECT_EQ(Session().ShownKey(), sel);
}

TEST_F(MainWindowTest, DeletingTheOnlyKeyOfAParentRemovesItsGroup) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(2);
    Messages().QueueAnswer(MsgButton::No);
    Form().CategoryPane().SpeedButton_DelKeyClick();
    EXPECT_EQ(Doc().Keys.size(), 3u);
    Messages().QueueAnswer(MsgButton::Yes);
    Form().CategoryPane().SpeedButton_DelKeyClick();
    EXPECT_EQ(Messages().Asked().back().text,
              "Soll die markierte Rubrik wirklich gelöscht werden?");
    EXPECT_EQ(Doc().Keys.size(), 2u);
    EXPECT_EQ(Form().CategoryPane().List()->Count(), 2);
    EXPECT_EQ(Form().CategoryPane().List()->ItemIndex(), -1);
    EXPECT_EQ(Form().EntryPane().Model()->rowCount(), 0);
    EXPECT_FALSE(Named<QToolButton>(Form(), "SpeedButton_DelKey")->isEnabled());
}

TEST_F(MainWindowTest, CreatingAndChangingEntries) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(0);
    ASSERT_EQ(Form().EntryPane().Model()->rowCount(), 3);
    EXPECT_TRUE(Form().EntryPane().ApplyButton()->isEnabled());

    // A duplicate title is refused when creating...
    TypeEntry("PIN", "0000");
    Messages().QueueAnswer(MsgButton::Ok);
    Form().EntryPane().Button_ApplyDataClick();
    EXPECT_EQ(Messages().Asked().back().caption, "Ungültige oder unvollständige Eingaben");
    EXPECT_EQ(Doc().Keys[0].Data.size(), 3u);
    EXPECT_EQ(Form().EntryPane().ValueEdit()->text(), "0000");  // the input stays
    // ...but one differing in case is a new title.
    TypeEntry("pin", "1");
    Form().EntryPane().Button_ApplyDataClick();
    EXPECT_EQ(Doc().Keys[0].Data.size(), 4u);
    EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), -1);
    EXPECT_EQ(Form().EntryPane().Model()->rowCount(), 4);

    // Changing a title to an existing one is accepted, and the row follows its entry.
    Form().EntryPane().SelectEntryRow(1);  // Online
    EXPECT_EQ(Form().EntryPane().ApplyButton()->text(), "Än&dern");
    EXPECT_EQ(Form().EntryPane().NameEdit()->text(), "Online");
    TypeEntry("Aaa first", "moved");
    Form().EntryPane().Button_ApplyDataClick();
    EXPECT_EQ(Form().EntryPane().SelectedEntryRow(), 0);
    EXPECT_EQ(Doc().Keys[0].Data[0].Value, "moved");
    EXPECT_EQ(Form().EntryPane().NameEdit()->text(), "Aaa first");
    Form().EntryPane().SelectEntryRow(0);
    TypeEntry("PIN");
    Form().EntryPane().Button_ApplyDataClick();
    EXPECT_EQ(Doc().FindEntry(0, "PIN") >= 0, true);
    int pins = 0;
    for (const auto& rec : Doc().Keys[0].Data) pins += rec.Title == "PIN";
    EXPECT_EQ(pins, 2);
    EXPECT_TRUE(Doc().Modified);
}

TEST_F(MainWindowTest, EnterCreatesAndStartsTheNextEntry) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(1);  // Spar, no entries
    TypeEntry("Konto", "123", "info");
    QTest::keyClick(Form().EntryPane().InfoEdit(), Qt::Key_Return);
    ASSERT_EQ(Doc().Keys[1].Data.size(), 1u);
    EXPECT_EQ(Doc().Keys[1].Data[0].Info, "info");
    EXPECT_TRUE(Form().EntryPane().NameEdit()->text().isEmpty());
    EXPECT_EQ(Form().EntryPane().ApplyButton()->text(), "Er&stellen");

    // An empty title: the message, and the fields are emptied all the same.
    TypeEntry("", "lost");
    Messages().QueueAnswer(MsgButton::Ok);
    QTest::keyClick(Form().EntryPane().ValueEdit(), Qt::Key_Return);
    EXPECT_EQ(Messages().Asked().back().text, "Sie müssen einen Titel für den Wert eingeben.");
    EXPECT_TRUE(Form().EntryPane().ValueEdit()->text().isEmpty());
    EXPECT_EQ(Doc().Keys[1].Data.size(), 1u);
}

TEST_F(MainWindowTest, EnterWithoutASubCategoryDoesNothing) {
    TypeEntry("x");
    QTest::keyClick(Form().EntryPane().NameEdit(), Qt::Key_Return);
    EXPECT_TRUE(Messages().Asked().empty());
    EXPECT_EQ(Form().EntryPane().NameEdit()->text(), "x");
}

TEST_F(MainWindowTest, DeleteAndCopyEntries) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(0);
    Form().EntryPane().SelectEntryRow(2);  // PIN
    EXPECT_TRUE(Form().EntryPane().CopyButton()->isEnabled());
    Form().EntryPane().CopyField(1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "4711");
    Messages().QueueAnswer(MsgButton::Yes);
    Form().EntryPane().SpeedButton_DeleteDataClick();
    EXPECT_EQ(Doc().Keys[0].Data.size(), 2u);
    EXPECT_EQ(Form().EntryPane().Model()->rowCount(), 2);
    EXPECT_FALSE(Form().EntryPane().DeleteButton()->isEnabled());
    EXPECT_FALSE(Form().EntryPane().CopyButton()->isEnabled());
}

// Whether the clipboard's content is marked for clipboard histories to leave out.
bool ClipboardMarkedSecret() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->data("x-kde-passwordManagerHint") == "secret";
}

TEST_F(MainWindowTest, CopiedTextsAreMarkedSecretAndClearedOnlyWhileStillOurs) {
    struct Case {
        const char* name;
        bool clearOption;
        const char* userCopy;  // copied in another place after ours; nullptr: none
        bool endProgram;       // the program ends before the delay runs out
        const char* left;      // the clipboard's text afterwards
    };
    const Case cases[] = {
        {"delay", true, nullptr, false, ""},
        {"delay, other text since", true, "fremd", false, "fremd"},
        {"delay, same text copied elsewhere", true, "4711", false, "4711"},
        {"delay, option off", false, nullptr, false, "4711"},
        {"end", true, nullptr, true, ""},
        {"end, other text since", true, "fremd", true, "fremd"},
        {"end, option off", false, nullptr, true, "4711"},
    };
    TempDir dir;
    const QString file = QString::fromStdString(SampleFile(dir));
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        Form().OpenFile(file);
        SelectKey(0);
        Form().EntryPane().SelectEntryRow(2);  // PIN 4711
        Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(c.clearOption);
        Form().ClipboardOptions().SetClipboardClearDelay(c.endProgram ? 30000 : 50);
        Form().EntryPane().CopyField(1);
        EXPECT_EQ(clipboard->text(), "4711");
        EXPECT_TRUE(clipboard->mimeData()->formats().contains("text/plain"));
        EXPECT_TRUE(ClipboardMarkedSecret());
        if (c.userCopy) clipboard->setText(c.userCopy);
        if (c.endProgram) {
            form_.reset();
        } else if (*c.left) {
            QTest::qWait(300);
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard->text().isEmpty(); }, 5000));
        }
        EXPECT_EQ(clipboard->text(), c.left);
        EXPECT_EQ(ClipboardMarkedSecret(), !c.userCopy && *c.left);
    }
    NewWindow();
}

TEST_F(MainWindowTest, ANewCopyRestartsTheClearingDelay) {
    TempDir dir;
    Form().OpenFile(QString::fromStdString(SampleFile(dir)));
    SelectKey(0);
    Form().EntryPane().SelectEntryRow(2);
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(true);
    Form().ClipboardOptions().SetClipboardClearDelay(600);
    QClipboard* clipboard = QGuiApplication::clipboard();
    Form().EntryPane().CopyField(1);
    QTest::qWait(350);
    Form().EntryPane().CopyField(1);
    QElapsedTimer sinceSecondCopy;
    sinceSecondCopy.start();
    QTest::qWait(350);
    // Past the first copy's delay; checked only if the machine kept within the second's.
    if (sinceSecondCopy.elapsed() < 600) {
        EXPECT_EQ(clipboard->text(), "4711");
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard->text().isEmpty(); }, 5000));
    // Turning the option off keeps a copy on the clipboard.
    Form().EntryPane().CopyField(1);
    Named<QAction>(Form(), "MenuItem_ClearClipboard")->setChecked(false);
    QTest::qWait(800);
    EXPECT_EQ(clipboard->text(), "4711");
}

// Types text one character (code point) at a time, as a keyboard with any layout would.
void Type(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, length));
        QApplication::sendEvent(widget, &press);
        i += length - 1;
    }
}

// A refused character beeps and is named: in the main window's status bar, in a
// dialog in a tool tip at the field. A paste keeps what can be stored.
TEST_F(MainWindowTest, RefusedCharactersAreNamedTypedOrPastedInTheWindowAndInDialogs) {
    const QString hintL = QString::fromUtf8(
        "Das Zeichen \xE2\x80\x9E\xC5\x82\xE2\x80\x9C kann in Dorvanta-Dateien nicht gespeichert "
        "werden.");
    EXPECT_EQ(RefusedCharacterHint(QString::fromUtf8("\xC5\x82")), hintL);

    TCategoryDialog* category = Form().CategoryPane().Dialog();
    category->show();
    Form().Dialogs().SearchDialog()->Open();
    struct Field {
        const char* name;
        QLineEdit* edit;
        bool inMainWindow;
    };
    const Field fields[] = {
        {"main window: Name", Form().EntryPane().NameEdit(), true},
        {"main window: Info", Form().EntryPane().InfoEdit(), true},
        {"Neue Rubrik: Titel", category->Edit_Title, false},
        {"Neue Rubrik: Rubrik (combo box)", category->ComboBox_Key->lineEdit(), false},
        {"Suchen: Suchen nach", Form().Dialogs().SearchDialog()->Edit_SearchFor, false},
    };
    enum class How { Typed, Pasted };
    struct Case {
        How how;
        const char* before;  // the field's text, the cursor at its end
        const char* input;
        const char* after;
        const char* refused;  // the character named, nullptr: no hint, no beep
    };
    const Case cases[] = {
        {How::Typed, "ab", "\xC5\x82", "ab", "\xC5\x82"},  // ł
        {How::Typed, "",
         "a\xE2\x86\x92"
         "b",
         "ab", "\xE2\x86\x92"},  // →
        {How::Typed, "x", "\xE2\x82\xAC\xC3\xA4\xC3\x9F", "x\xE2\x82\xAC\xC3\xA4\xC3\x9F",
         nullptr},                                                     // € ä ß fit
        {How::Typed, "", "\xF0\x9F\x98\x80", "", "\xF0\x9F\x98\x80"},  // an emoji, whole
        // "łódź": ó and d stay.
        {How::Pasted, "ab",
         "\xC5\x82\xC3\xB3"
         "d\xC5\xBA",
         "ab\xC3\xB3"
         "d",
         "\xC5\x82"},
        // "x∞y→": the first refused one is named.
        {How::Pasted, "",
         "x\xE2\x88\x9E"
         "y\xE2\x86\x92",
         "xy", "\xE2\x88\x9E"},
        {How::Pasted, "a", "\xE2\x86\x92\xE2\x86\x92", "a", "\xE2\x86\x92"},  // nothing to keep
        {How::Pasted, "",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x80\x93 \xE2\x82\xAC",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x80\x93 \xE2\x82\xAC",
         nullptr},  // all fit
    };
    for (const Field& field : fields) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(field.name) +
                         (c.how == How::Typed ? ", typed " : ", pasted ") + c.input);
            QLineEdit* edit = field.edit;
            edit->setText(QString::fromUtf8(c.before));
            edit->end(false);
            Form().statusBar()->clearMessage();
            const QString untouched = QStringLiteral("kein Hinweis");
            if (!field.inMainWindow) QToolTip::showText(QPoint(1, 1), untouched, edit);
            const int beeps = BeepsInTestMode();
            if (c.how == How::Typed) {
                Type(edit, QString::fromUtf8(c.input));
            } else {
                QGuiApplication::clipboard()->setText(QString::fromUtf8(c.input));
                edit->paste();
            }
            EXPECT_EQ(edit->text().toStdString(), c.after);
            EXPECT_EQ(edit->cursorPosition(), edit->text().size());
            const QString hint =
                c.refused ? RefusedCharacterHint(QString::fromUtf8(c.refused)) : QString();
            EXPECT_EQ(BeepsInTestMode() - beeps, c.refused ? 1 : 0);
            if (field.inMainWindow) {
                EXPECT_EQ(Form().statusBar()->currentMessage().toStdString(), hint.toStdString());
            } else {
                EXPECT_TRUE(QToolTip::isVisible());
                EXPECT_EQ(QToolTip::text().toStdString(),
                          (c.refused ? hint : untouched).toStdString());
                EXPECT_TRUE(Form().statusBar()->currentMessage().isEmpty());
            }
        }
    }
    QToolTip::hideText();
    Form().Dialogs().SearchDialog()->close();
    category->reject();
}

TEST_F(MainWindowTest, RefusingKeepsTheUndoHistoryAndTheProgramsOwnText) {
    QLineEdit* edit = Form().EntryPane().ValueEdit();
    edit->setText("a");
    Type(edit, "bc");
    Type(edit, QString::fromUtf8("\xC5\x82"));
    EXPECT_EQ(edit->text(), "abc");
    EXPECT_TRUE(edit->isUndoAvailable());
    edit->undo();
    EXPECT_EQ(edit->text(), "a");

    // A text the program sets (a path chosen in a file dialog) stays as it is; a
    // character typed to it that fits is taken, one that does not is refused.
    const QString path = QString::fromUtf8("/home/\xC5\x81ucja/a.pdt");  // Łucja
    edit->setText(path);
    EXPECT_EQ(edit->text(), path);
    EXPECT_FALSE(edit->hasAcceptableInput());
    const int beeps = BeepsInTestMode();
    Type(edit, "x");
    EXPECT_EQ(edit->text(), path + "x");
    EXPECT_EQ(BeepsInTestMode(), beeps);
    Type(edit, QString::fromUtf8("\xC5\x82"));
    EXPECT_EQ(edit->text(), path + "x");
    EXPECT_EQ(BeepsInTestMode(), beeps + 1);
    // In the middle of the text: only the pasted character goes, the cursor stays after it.
    edit->setText("abcd");
    edit->setCursorPosition(2);
    QGuiApplication::clipboard()->setText(QString::fromUtf8("X\xC5\x82Y"));
    edit->paste();
    EXPECT_EQ(edit->text(), "abXYcd");
    EXPECT_EQ(edit->cursorPosition(), 4);
    // Replacing a selection.
    edit->setSelection(1, 2);
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8("\xE2\x86\x92"
                          "Z"));
    edit->paste();
    EXPECT_EQ(edit->text(), "aZYcd");
    EXPECT_EQ(edit->cursorPosition(), 2);
    Form().statusBar()->clearMessage();
}

TEST_F(MainWindowTest, EntryDateHintIsGerman) {
    const double noon = EncodeDateTime({2003, 1, 1, 12, 0, 0, 0});
    EXPECT_EQ(TEntryPane::EntryDateHint(noon), "Datum des Eintrags: 01.01.2003 12:00:00");
    // Midnight leaves the time out.
    EXPECT_EQ(TEntryPane::EntryDateHint(EncodeDateTime({2003, 1, 1})),
              "Datum des Eintrags: 01.01.2003");
}

TEST_F(MainWindowTest, EllipsisTextCutsAtLeastTwoCharacters) {
    const QFont font = Form().font();
    const QFontMetrics metrics(font);
    EXPECT_EQ(TCategoryPane::EllipsisText("kurz", font, 1000), "kurz");
    const QString longText = "Ein recht langer Titel fuer die Liste";
    const QString cut =
        TCategoryPane::EllipsisText(longText, font, metrics.horizontalAdvance(longText) - 1);
    EXPECT_TRUE(cut.endsWith("..."));
    EXPECT_LE(cut.size() - 3, longText.size() - 2);
    EXPECT_LE(metrics.horizontalAdvance(cut), metrics.horizontalAdvance(longText) - 1);
    EXPECT_EQ(TCategoryPane::EllipsisText(longText, font, 1), "...");
}

TEST_F(MainWindowTest, TheRightPartKeepsTwoHundredPixels) {
    struct Case {
        int list, requested;  // list width and requested client width before
        bool dragging;
        int width, listAfter;  // the client width granted and the list width after
    };
    const Case cases[] = {
        {300, 600, false, 600, 300}, {300, 250, false, 250, 50}, {150, 220, false, 220, 20},
        {100, 250, false, 250, 50},  {99, 250, false, 299, 99},  {50, 220, false, 250, 50},
        {300, 400, true, 500, 300},
    };
    const int menu = Form().height() - Form().ClientSize().height();
    QWidget* handle = Named<QSplitter>(Form(), "Splitter1")->handle(1);
    for (const Case& c : cases) {
        Form().SetListWidth(c.list);
        if (c.dragging) QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 20));
        int w = c.requested, h = 400 + menu;
        Form().FormCanResize(w, h);
        if (c.dragging) QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(2, 20));
        EXPECT_EQ(w, c.width) << c.list << " " << c.requested;
        EXPECT_EQ(Form().ListWidth(), c.listAfter) << c.list << " " << c.requested;
        EXPECT_EQ(h, 400 + menu);
    }
    int w = 800, h = 300 + menu;
    Form().FormCanResize(w, h);
    EXPECT_EQ(h, 329 + menu);
    // The window itself: shrinking it squeezes the list as far as the rule says.
    Form().SetListWidth(300);
    Form().SetClientSize(QSize(250, 400));
    QApplication::processEvents();
    EXPECT_EQ(Form().ClientSize().width(), 250);
    EXPECT_EQ(Named<QSplitter>(Form(), "Splitter1")->sizes().value(0), 50);
}

}  // namespace
}  // namespace dorvanta
