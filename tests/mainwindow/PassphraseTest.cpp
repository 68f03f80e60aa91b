// The passphrase of an encrypted collection: asked masked, a new one twice, and
// three tries to open a file; the plain format's password box is MainWindowTest's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <filesystem>

#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "store/AgeFile.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::TempDir;
using Inputs = std::vector<std::optional<QString>>;

class PassphraseTest : public testing::MainWindowFixture {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        MainWindowFixture::SetUp();
    }
    void TearDown() override {
        Messages().SetTestMode(true);
        MainWindowFixture::TearDown();
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
    }
    static void Queue(const Inputs& inputs) {
        for (const auto& input : inputs) Messages().QueueInput(input);
    }
    // Every question so far that was a password box.
    static std::vector<AskedQuestion> PasswordBoxes() {
        std::vector<AskedQuestion> out;
        for (const auto& q : Messages().Asked()) {
            if (q.kind == AskedQuestion::Kind::Input) out.push_back(q);
        }
        return out;
    }
};

TEST_F(PassphraseTest, OpeningAnEncryptedFileGivesThreeTries) {
    TempDir dir;
    TDocument sealed;
    sealed.Password = "Sesam-\xC3\xA4";  // an encrypted collection's password is UTF-8
    sealed.Format = TDocument::TFormat::Encrypted;
    sealed.Keys = {{"Giro", "Bank", {{"PIN", "4711", "", 1.0}}}};
    const std::string path = dir.File("g.pdt.age");
    SaveDocument(sealed, path);
    const QString file = QString::fromStdString(path);
    const QString prompts[] = {
        "Die Datei \"" + file +
            "\" ist passwortgeschützt. Geben Sie das erforderliche Passwort ein, um die Daten "
            "zu laden.",
        "Das Passwort ist falsch. Sie haben noch 2 Versuche. Geben Sie das Passwort der Datei \"" +
            file + "\" ein, um die Daten zu laden.",
        "Das Passwort ist falsch. Sie haben noch einen Versuch. Geben Sie das Passwort der Datei "
        "\"" +
            file + "\" ein, um die Daten zu laden.",
    };
    struct Case {
        const char* name;
        Inputs inputs;
        bool loaded;
        bool wrongMessage;
    };
    const Case cases[] = {
        {"right at the first", {"Sesam-\u00e4"}, true, false},
        {"right at the second", {"sesam-\u00e4", "Sesam-\u00e4"}, true, false},
        {"right at the third", {"x", "", "Sesam-\u00e4"}, true, false},
        {"three wrong", {"x", "y", "Sesam"}, false, true},
        {"cancelled at the second", {"x", std::nullopt}, false, false},
        {"cancelled at once", {std::nullopt}, false, false},
    };
    for (const bool background : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (background ? ", in the background" : ""));
            Messages().ClearLog();
            Form().MenuItem_NewClick();
            Queue(c.inputs);
            if (c.wrongMessage) Messages().QueueAnswer(MsgButton::Ok);
            Form().OpenFile(file, background);
            const auto boxes = PasswordBoxes();
            ASSERT_EQ(boxes.size(), c.inputs.size());
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                EXPECT_EQ(boxes[i].caption, "Passwort");
                EXPECT_EQ(boxes[i].text, prompts[i]);
                EXPECT_TRUE(boxes[i].password);
                EXPECT_FALSE(boxes[i].repeat);
                EXPECT_TRUE(boxes[i].initial.isEmpty());
                EXPECT_EQ(boxes[i].textAnswer,
                          c.inputs[i] ? std::optional<QString>("<hidden>") : std::nullopt);
            }
            const AskedQuestion& last = Messages().Asked().back();
            EXPECT_EQ(last.caption == "Ungültiges Passwort", c.wrongMessage);
            if (c.wrongMessage) {
                EXPECT_EQ(last.text,
                          "Das angegebene Passwort ist nicht gültig. Die Datei kann "
                          "nicht angezeigt werden.");
            }
            EXPECT_EQ(Doc().Keys.size(), c.loaded ? 1u : 0u);
            EXPECT_EQ(Form().windowTitle(), c.loaded ? "Dorvanta - [" + file + "]" : "Dorvanta");
            EXPECT_EQ(Doc().Format,
                      c.loaded ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain);
            EXPECT_FALSE(Doc().Loading);
            EXPECT_FALSE(Doc().Modified);
        }
    }
}

// A new passphrase, for an encrypted save of a collection without one and for
// "Passwort..." on an encrypted collection: only two equal, storable, not empty
// texts are taken; whatever else changes nothing.
TEST_F(PassphraseTest, ANewPassphraseIsTypedTwiceAndAnythingElseChangesNothing) {
    TempDir dir;
    struct Case {
        const char* name;
        Inputs inputs;
        std::optional<std::string> taken;
        QString warning;  // empty: none
    };
    const Case cases[] = {
        {"equal", {"Neu-\u00e4", "Neu-\u00e4"}, "Neu-\xC3\xA4", {}},
        {"different",
         {"Neu-\u00e4", "Neu-\u00c4"},
         std::nullopt,
         "Die beiden Passwörter stimmen nicht überein. Es wurde nichts gespeichert."},
        {"the repeat empty",
         {"Neu", ""},
         std::nullopt,
         "Die beiden Passwörter stimmen nicht überein. Es wurde nichts gespeichert."},
        {"both empty",
         {"", ""},
         std::nullopt,
         "Eine verschlüsselte Datei braucht ein Passwort. Legen Sie zuerst mit „Passwort...“ "
         "eines fest."},
        {"beyond Windows-1252", {"\u0141", "\u0141"}, "\xC5\x81", {}},
        {"cancelled", {std::nullopt}, std::nullopt, {}},
        {"the repeat cancelled", {"Neu", std::nullopt}, std::nullopt, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto checkBox = [&](std::size_t boxes) {
            const auto asked = PasswordBoxes();
            ASSERT_EQ(asked.size(), boxes);
            EXPECT_TRUE(asked.back().password);
            EXPECT_TRUE(asked.back().repeat);
            EXPECT_TRUE(asked.back().initial.isEmpty());
            EXPECT_EQ(Messages().Asked().back().text == c.warning, !c.warning.isEmpty());
        };
        // Save as encrypted, the collection without a password.
        Messages().ClearLog();
        Doc().Modified = false;  // what the case before left is dropped unasked
        Form().MenuItem_NewClick();
        Session().AddKey("Bank", "Giro");
        const std::string path = dir.File("s" + std::to_string(++n) + ".pdt.age");
        Messages().QueueFileName(QString::fromStdString(path));
        Messages().QueueFileFilter(QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)"));
        Queue(c.inputs);
        if (!c.warning.isEmpty()) Messages().QueueAnswer(MsgButton::Ok);
        EXPECT_EQ(Form().MenuItem_SaveUnderClick(), c.taken.has_value());
        checkBox(1);
        EXPECT_EQ(std::filesystem::exists(path), c.taken.has_value());
        EXPECT_EQ(Doc().Password, c.taken.value_or(""));
        EXPECT_EQ(Doc().Modified, !c.taken);

        // "Passwort..." on an encrypted collection, whether changed or not before.
        for (const bool modified : {false, true}) {
            SCOPED_TRACE(modified ? "modified" : "unmodified");
            Messages().ClearLog();
            Doc().Format = TDocument::TFormat::Encrypted;
            Doc().Password = "Alt";
            Doc().Modified = modified;
            Queue(c.inputs);
            if (!c.warning.isEmpty()) Messages().QueueAnswer(MsgButton::Ok);
            Form().MenuItem_PasswordClick();
            checkBox(1);
            EXPECT_EQ(Doc().Password, c.taken.value_or("Alt"));
            EXPECT_EQ(Doc().Modified, modified || c.taken);
        }
    }
}

// Saved encrypted, the plain file the collection came from is offered for
// deletion, "Nein" the default; the name the dialog held gets both suffixes.
TEST_F(PassphraseTest, TheEncryptedSaveAsAsksWhetherToDeleteThePlainFile) {
    TempDir dir;
    for (const MsgButton answer : {MsgButton::Yes, MsgButton::No}) {
        SCOPED_TRACE(ButtonName(answer).toStdString());
        TDocument plain;
        plain.Password = "Sesam";
        plain.Keys = {{"Giro", "Bank", {{"PIN", "4711", "", 1.0}}}};
        const std::string from = dir.File("Meine Daten.pdt");
        SaveDocument(plain, from);
        Messages().QueueInput(QStringLiteral("Sesam"));
        Form().OpenFile(QString::fromStdString(from));
        Messages().ClearLog();
        Messages().QueueFileName(QString::fromStdString(dir.File("Meine Daten.age")));
        Messages().QueueFileFilter(QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)"));
        Messages().QueueAnswer(answer);
        EXPECT_TRUE(Form().MenuItem_SaveUnderClick());
        EXPECT_TRUE(age::IsEncrypted(testing::ReadBytes(dir.File("Meine Daten.pdt.age"))));
        EXPECT_FALSE(std::filesystem::exists(dir.File("Meine Daten.age")));
        EXPECT_EQ(std::filesystem::exists(from), answer == MsgButton::No);
        ASSERT_EQ(Messages().Asked().size(), 2u);
        const AskedQuestion& q = Messages().Asked().back();
        EXPECT_EQ(q.text, "Die unverschlüsselte Datei „" + QString::fromStdString(from) +
                              "“ liegt noch neben der verschlüsselten. Jetzt löschen?");
        EXPECT_EQ(q.buttons, (std::vector<MsgButton>{MsgButton::Yes, MsgButton::No}));
        EXPECT_EQ(q.defaultButton, MsgButton::No);
        EXPECT_EQ(q.escapeButton, MsgButton::No);
        std::filesystem::remove(dir.File("Meine Daten.pdt.age"));
    }
}

// The real box of "Passwort..." on an encrypted collection: two empty masked
// fields, whatever the passphrase is; "Passwort anzeigen" shows them.
TEST_F(PassphraseTest, PasswordCommandOnAnEncryptedCollectionNeverShowsThePassphrase) {
    Doc().Format = TDocument::TFormat::Encrypted;
    Doc().Password = "Alt-Geheim";
    Doc().Modified = false;
    Messages().SetTestMode(false);
    std::vector<AskedQuestion> asked;  // outside test mode only the hook sees them
    Messages().SetAskedHook([&](const AskedQuestion& q) { asked.push_back(q); });
    QStringList texts;
    std::vector<QLineEdit::EchoMode> masked;
    std::vector<QLineEdit::EchoMode> shown;
    const testing::TModalDriver<QDialog> driver([&](QDialog& dialog) {
        const auto fields = dialog.findChildren<QLineEdit*>();
        for (QLineEdit* field : fields) {
            texts << field->text();
            masked.push_back(field->echoMode());
            // Any character, and more than a plain file's 255.
            EXPECT_EQ(field->maxLength(), 4096);
            EXPECT_EQ(field->validator(), nullptr);
        }
        auto* show = dialog.findChild<QCheckBox*>();
        if (show) show->click();
        for (QLineEdit* field : fields) shown.push_back(field->echoMode());
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &escape);
    });
    Form().MenuItem_PasswordClick();
    Messages().SetTestMode(true);
    EXPECT_EQ(texts, (QStringList{"", ""}));
    EXPECT_EQ(masked, (std::vector{QLineEdit::Password, QLineEdit::Password}));
    EXPECT_EQ(shown, (std::vector{QLineEdit::Normal, QLineEdit::Normal}));
    EXPECT_EQ(Doc().Password, "Alt-Geheim");
    EXPECT_FALSE(Doc().Modified);
    Messages().SetAskedHook(nullptr);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].textAnswer.has_value());
}

// A passphrase beyond Windows-1252 or beyond 255 characters opens the file it
// was made with, the lock seals under it, and only it unlocks.
TEST_F(PassphraseTest, AnyUnicodePassphraseOfAnyLengthOpensAndUnlocks) {
    TempDir dir;
    const QString passphrases[] = {QStringLiteral("\u0142\u00f3d\u017a"),
                                   QStringLiteral("Ключ ") + QString(300, u'x')};
    for (const QString& passphrase : passphrases) {
        SCOPED_TRACE(passphrase.left(10).toStdString());
        TDocument sealed;
        sealed.Password = passphrase.toStdString();
        sealed.Format = TDocument::TFormat::Encrypted;
        sealed.Keys = {{"Giro", "Bank", {{"PIN", "4711", "", 1.0}}}};
        const std::string path = dir.File("u.pdt.age");
        SaveDocument(sealed, path);
        Form().MenuItem_NewClick();
        Queue({passphrase});
        Form().OpenFile(QString::fromStdString(path), false);
        ASSERT_EQ(Doc().Keys.size(), 1u);
        Form().LockPane().MenuItem_LockClick();
        ASSERT_TRUE(Session().Locked());
        Queue({passphrase.chopped(1), passphrase});
        EXPECT_TRUE(Form().LockPane().UnlockWithPrompt());
        EXPECT_EQ(Doc().Keys.size(), 1u);
        EXPECT_EQ(Doc().Password, sealed.Password);
    }
}

}  // namespace
}  // namespace dorvanta
