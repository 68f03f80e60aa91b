// Texts of a collection kept beside the document: the questions' log, the real
// boxes' fields, the category dialog kept between uses and the search field. A
// lock, New, Open and closing the window leave none of them in memory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <random>

#include "dialogs/CategoryDialog.h"
#include "dialogs/SearchDialog.h"
#include "mainwindow/MainWindow.h"
#include "store/AgeFile.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/MemoryScan.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::Mask;
using testing::PlacesInMemory;
using testing::TempDir;

class ForgottenTextsTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        StartWindow();
    }
    void TearDown() override {
        Messages().SetTestMode(true);
        CloseWindow();
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
    }
    // A masked random text, so that no earlier run or library holds it by chance.
    std::string Marker(const char* kind) {
        return Mask(std::string(kind) + "-" + std::to_string(random_()));
    }
    static QString Typed(const std::string& masked) { return QString::fromStdString(Mask(masked)); }
    // Saves a plain collection under `password`: parent/name with one entry
    // "PIN" of `value`, and returns its path.
    std::string SavePlain(const TempDir& dir, const std::string& password,
                          const std::string& parent, const std::string& name,
                          const std::string& value) {
        TDocument doc;
        doc.Password = Mask(password);
        doc.Keys = {{Mask(name), Mask(parent), {{"PIN", value, "", 1.5}}}};
        const std::string path = dir.File("texte.pdt");
        SaveDocument(doc, path);
        doc.Wipe();
        return path;
    }

    std::mt19937_64 random_{std::random_device{}()};
};

TEST_F(ForgottenTextsTest, NoQuestionOrDialogKeepsATextOfALockedReplacedOrClosedCollection) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory as it was";
#endif
    TempDir dir;
    struct Wipe {
        const char* name;
        std::function<void()> run;
    };
    const Wipe wipes[] = {
        {"Sperren", [this] { Form().LockPane().MenuItem_LockClick(); }},
        {"Neu", [this] { Form().MenuItem_NewClick(); }},
        {"Öffnen",
         [&] {
             TDocument other;
             other.Keys = {{"Andere", "", {{"Nichts", "x", "", 1.0}}}};
             SaveDocument(other, dir.File("andere.pdt"));
             Form().OpenFile(QString::fromStdString(dir.File("andere.pdt")));
         }},
        {"Schließen", [this] { EXPECT_TRUE(Form().close()); }},
    };
    for (const Wipe& wipe : wipes) {
        SCOPED_TRACE(wipe.name);
        const std::string password = Marker("Kennwort"), parent = Marker("Rubrik"),
                          name = Marker("Unterrubrik"), typedName = Marker("Getippt"),
                          searched = Marker("Gesucht");
        const std::string path = SavePlain(dir, password, parent, name, "1");
        // The plain format's password box: typed in clear.
        Messages().QueueInput(Typed(password));
        Form().OpenFile(QString::fromStdString(path));
        ASSERT_EQ(Doc().Keys.size(), 1u);
        // "Passwort...": the current password is the box's initial text.
        Messages().QueueInput(std::nullopt);
        Form().MenuItem_PasswordClick();
        // Both sides change the entry: the conflict's line names the sub-category
        // and its parent.
        Session().UpdateEntry(0, 0, "PIN", "2", "");
        SavePlain(dir, password, parent, name, "3");
        Messages().QueueAnswer(QStringLiteral("Zusammenführen"));
        Messages().QueueAnswer(MsgButton::Ok);  // "Beim Zusammenführen wurde beides behalten"
        ASSERT_TRUE(Form().MenuItem_SaveClick());
        ASSERT_NE(Messages().Asked().back().text.indexOf(Typed(name)), -1);
        // The category dialog: a typed name, cancelled; its list holds the parent.
        Form().CategoryPane().SelectKeyRow(0);
        QTimer::singleShot(0, [this, &typedName] {
            QTest::keyClicks(Form().CategoryPane().Dialog()->Edit_Title, Typed(typedName));
            Form().CategoryPane().Dialog()->reject();
        });
        Form().CategoryPane().SpeedButton_NewKeyClick();
        // The search field, the dialog left open.
        Form().Dialogs().MenuItem_SearchClick();
        QTest::keyClicks(Form().Dialogs().SearchDialog()->Edit_SearchFor, Typed(searched));
        QApplication::processEvents();
        const std::pair<const char*, const std::string*> texts[] = {{"Passwort", &password},
                                                                    {"Rubrik", &parent},
                                                                    {"Unterrubrik", &name},
                                                                    {"Name im Dialog", &typedName},
                                                                    {"Suchtext", &searched}};
        for (const auto& [what, text] : texts) {
            ASSERT_GT(PlacesInMemory(*text), 0) << what << ": the scan must see it";
        }

        wipe.run();
        QApplication::processEvents();
        for (const auto& [what, text] : texts) EXPECT_EQ(PlacesInMemory(*text), 0) << what;
        if (Session().Locked()) {
            Messages().QueueInput(Typed(password));
            ASSERT_TRUE(Form().LockPane().UnlockWithPrompt());
        }
        Doc().Modified = false;
    }
}

// The real boxes (no test mode): what was typed stays only with the caller, and
// the log keeps nothing.
TEST_F(ForgottenTextsTest, TheRealPasswordBoxesLeaveNothingTypedBehind) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory as it was";
#endif
    TempDir dir;
    const std::string password = Marker("Kennwort"), replaced = Marker("Neu");
    const std::string path = SavePlain(dir, password, Marker("Rubrik"), Marker("Name"), "1");
    Messages().SetTestMode(false);
    // Types `text` in place of what the field holds, and Enter (OK).
    const auto typeAndAccept = [](const std::string& text) {
        return [text](QDialog& box) {
            auto* field = box.findChild<QLineEdit*>();
            field->selectAll();
            QTest::keyClicks(field, Typed(text));
            QTest::keyClick(field, Qt::Key_Return);
        };
    };
    {
        const testing::TModalDriver<QDialog> driver(typeAndAccept(password));
        Form().OpenFile(QString::fromStdString(path));
    }
    ASSERT_EQ(Doc().Keys.size(), 1u);
    {
        const testing::TModalDriver<QDialog> driver(typeAndAccept(replaced));
        Form().MenuItem_PasswordClick();
    }
    ASSERT_EQ(Doc().Password, Mask(replaced));
    Messages().SetTestMode(true);
    EXPECT_TRUE(Messages().Asked().empty());
    QApplication::processEvents();
    ASSERT_GT(PlacesInMemory(replaced), 0) << "the scan must see the password";

    Form().LockPane().MenuItem_LockClick();
    ASSERT_TRUE(Session().Locked());
    QApplication::processEvents();
    EXPECT_EQ(PlacesInMemory(password), 0) << "typed at open";
    EXPECT_EQ(PlacesInMemory(replaced), 0) << "typed into \"Passwort...\"";
    Messages().QueueInput(Typed(replaced));
    EXPECT_TRUE(Form().LockPane().UnlockWithPrompt());
    Doc().Modified = false;
}

}  // namespace
}  // namespace dorvanta
