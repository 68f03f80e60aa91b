// A collection's password changes form with its format: Windows-1252 of at most
// 255 characters in a plain file, any UTF-8 passphrase in an encrypted one.
#include "SessionFixture.h"
#include "store/StoreError.h"

namespace dorvanta {
namespace {

const std::string kLodz = "\xC5\x82\xC3\xB3" "d\xC5\xBA";  // "łódź"

class PassphraseFormat : public DocumentSessionTest {};

TEST_F(PassphraseFormat, SaveAsConvertsThePasswordOrRefusesWithoutWriting) {
    struct Case {
        const char* name;
        TFormat from;
        std::string password;  // as the file of format `from` holds it
        std::optional<std::string> asked;  // a new password asked for
        std::string opens;     // what opens the written file; empty: nothing written
    };
    const std::string longOne(300, 'x');
    const Case cases[] = {
        {"plain to encrypted", TFormat::Plain, "Geheim-\xE4", {}, "Geheim-\xC3\xA4"},
        {"unprotected to encrypted", TFormat::Plain, "", kLodz, kLodz},
        {"encrypted to plain", TFormat::Encrypted, "Geheim-\xC3\xA4", {}, "Geheim-\xE4"},
        {"not Windows-1252", TFormat::Encrypted, kLodz, {}, ""},
        {"too long for plain", TFormat::Encrypted, longOne, {}, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool toPlain = c.from == TFormat::Encrypted;
        const std::string path = Collection("from" + std::to_string(++n), "Giro", c.password, c.from);
        ask.passwords = {c.password};
        if (c.password.empty()) ask.passwords.clear();
        ASSERT_TRUE(session.Open(path, ask));
        const std::string target = dir.File("to" + std::to_string(n));
        ask.targets = {TSessionDecisions::TSaveTarget{target, toPlain ? TFormat::Plain : TFormat::Encrypted}};
        if (c.asked) ask.passwords = {*c.asked};
        ask.deletes = {false};
        if (c.opens.empty()) {
            try {
                session.SaveAs(ask);
                ADD_FAILURE() << "saved";
            } catch (const EStoreError& e) {
                EXPECT_STREQ(e.what(),
                             "Das Passwort dieser verschl\xC3\xBCsselten Sammlung kann eine "
                             "unverschl\xC3\xBCsselte Datei nicht speichern: sie erlaubt "
                             "h\xC3\xB6" "chstens 255 Zeichen, die Windows-1252 darstellen kann. "
                             "\xC3\x84ndern Sie zuerst das Passwort. Es wurde nichts gespeichert.");
            }
            EXPECT_FALSE(std::filesystem::exists(target));
            EXPECT_EQ(session.Password(), c.password);
            EXPECT_EQ(session.Format(), c.from);
            EXPECT_EQ(session.FileName(), path);
            continue;
        }
        ASSERT_TRUE(session.SaveAs(ask));
        ask.deletes.clear();
        EXPECT_EQ(session.Password(), c.opens);
        EXPECT_EQ(KeyIn(target, c.opens), "Giro");
        // The lock seals under the password in its new form.
        ASSERT_TRUE(session.Lock(ask));
        EXPECT_FALSE(session.Unlock(c.password == c.opens ? "x" : c.password, ask));
        EXPECT_TRUE(session.Unlock(c.opens, ask));
        EXPECT_EQ(session.Password(), c.opens);
    }
}

}  // namespace
}  // namespace dorvanta
