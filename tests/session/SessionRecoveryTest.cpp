// Unsaved changes kept in a recovery file when the desktop session ends, and
// offered at the next open of their collection.
#include <sys/stat.h>

#include "SessionFixture.h"

namespace dorvanta {
namespace {

using TRecovery = TSessionDecisions::TRecovery;

// "title=value" of every entry of the document.
std::vector<std::string> Entries(const TDocument& doc) {
    std::vector<std::string> found;
    for (const TDataKey& key : doc.Keys) {
        for (const TDataRec& rec : key.Data) found.push_back(rec.Title + "=" + rec.Value);
    }
    return found;
}

TDocument Konten(const std::string& password, TFormat format) {
    TDocument doc;
    doc.Password = password;
    doc.Format = format;
    doc.Keys = {{"Giro", "Bank", {{"Konto", "alt", "", 46000.0}}}};
    return doc;
}

class SessionRecoveryTest : public DocumentSessionTest {};

TEST_F(SessionRecoveryTest, UnsavedChangesAreKeptSealedAndOfferedAtTheNextOpen) {
    struct Case {
        const char* name;
        TFormat format;
        bool locked;
        const char* changedPassword;  // set with the unsaved changes, else nullptr
        TRecovery answer;
        std::vector<std::optional<std::string>> typed;  // asked for the recovery
        std::vector<std::string> log;                   // at the next open
        std::vector<std::string> shown;
        bool modified;
        bool fileStays;
    };
    const std::vector<std::string> kept = {"Konto=alt", "PIN=1234"};
    const std::vector<std::string> file = {"Konto=alt"};
    const Case cases[] = {
        {"locked, restored",
         TFormat::Plain,
         true,
         nullptr,
         TRecovery::Restore,
         {},
         {"open password", "recovery"},
         kept,
         true,
         false},
        {"unlocked, restored",
         TFormat::Plain,
         false,
         nullptr,
         TRecovery::Restore,
         {},
         {"open password", "recovery"},
         kept,
         true,
         false},
        {"encrypted, locked, restored",
         TFormat::Encrypted,
         true,
         nullptr,
         TRecovery::Restore,
         {},
         {"open password", "recovery"},
         kept,
         true,
         false},
        {"discarded",
         TFormat::Plain,
         true,
         nullptr,
         TRecovery::Discard,
         {},
         {"open password", "recovery"},
         file,
         false,
         false},
        {"later",
         TFormat::Encrypted,
         true,
         nullptr,
         TRecovery::Later,
         {},
         {"open password", "recovery"},
         file,
         false,
         true},
        // Sealed under a password changed with the changes: asked for.
        {"other password",
         TFormat::Plain,
         true,
         "neu",
         TRecovery::Restore,
         {"falsch", "neu"},
         {"open password", "recovery", "open password", "wrong password", "open password"},
         kept,
         true,
         false},
        {"other passphrase",
         TFormat::Encrypted,
         false,
         "neu",
         TRecovery::Restore,
         {"neu"},
         {"open password", "recovery", "open password"},
         kept,
         true,
         false},
        {"password cancelled",
         TFormat::Plain,
         true,
         "neu",
         TRecovery::Restore,
         {std::nullopt},
         {"open password", "recovery", "open password"},
         file,
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            dir.File(std::string(c.name) + (c.format == TFormat::Plain ? ".pdt" : ".pdt.age"));
        SaveDocument(Konten("pw", c.format), path);
        TDocumentSession ended;
        ask.passwords = {"pw"};
        ASSERT_TRUE(ended.Open(path, ask));
        ended.AddEntry(0, "PIN", "1234", "");
        if (c.changedPassword) ended.SetPassword(c.changedPassword);
        if (c.locked) {
            ASSERT_TRUE(ended.Lock(ask));
        }
        const auto recovery = ended.KeepForRecovery(dir.File("Einstellungen"));
        ASSERT_EQ(recovery, path + ".wiederherstellen.age");
        // The seal as memory holds it: an age container, readable by its owner only.
        struct stat st {};
        ASSERT_EQ(::stat(recovery->c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::string bytes = ReadBytes(*recovery);
        EXPECT_EQ(bytes.rfind("age-encryption.org/v1\n", 0), 0u);
        EXPECT_EQ(bytes.find("1234"), std::string::npos);

        ask.log.clear();
        ask.passwords = {"pw"};
        ask.passwords.insert(ask.passwords.end(), c.typed.begin(), c.typed.end());
        ask.recoveries = {c.answer};
        TDocumentSession next;
        ASSERT_TRUE(next.Open(path, ask));
        EXPECT_EQ(ask.log, c.log);
        EXPECT_EQ(Entries(next.Document()), c.shown);
        EXPECT_EQ(next.Modified(), c.modified);
        EXPECT_EQ(next.Format(), c.format);
        EXPECT_EQ(next.FileName(), path);
        EXPECT_EQ(std::filesystem::exists(*recovery), c.fileStays);
        if (c.modified) {
            EXPECT_EQ(next.Password(), c.changedPassword ? c.changedPassword : "pw");
        }
        std::filesystem::remove(*recovery);
    }
}

TEST_F(SessionRecoveryTest, WhatCannotOrNeedNotBeKeptWritesNoRecoveryFile) {
    const std::string folder = dir.File("Einstellungen");
    std::filesystem::create_directory(folder);
    // Unchanged: nothing to keep.
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Konten("pw", TFormat::Plain), path);
    ask.passwords = {"pw"};
    ASSERT_TRUE(session.Open(path, ask));
    EXPECT_EQ(session.KeepForRecovery(folder), std::nullopt);
    // No password to seal with.
    session.New();
    session.AddKey("Bank", "Giro");
    EXPECT_EQ(session.KeepForRecovery(folder), std::nullopt);
    // An untitled collection's go to the folder given, and come back untitled.
    session.SetPassword("pw");
    const auto recovery = session.KeepForRecovery(folder);
    ASSERT_EQ(recovery, folder + "/Unbenannt.wiederherstellen.age");
    ask.log.clear();
    ask.passwords = {"pw"};
    ask.recoveries = {TRecovery::Restore};
    TDocumentSession next;
    ASSERT_TRUE(next.Open(path, ask));
    next.OfferRecovery(*recovery, ask, true);
    EXPECT_EQ(ask.log, (std::vector<std::string>{"open password", "recovery"}));
    EXPECT_EQ(next.FileName(), "");
    EXPECT_TRUE(next.Modified());
    ASSERT_EQ(next.Document().Keys.size(), 1u);
    EXPECT_EQ(next.Document().Keys[0].Name, "Giro");
    EXPECT_FALSE(std::filesystem::exists(*recovery));
    // A folder that cannot be written: a German error.
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    try {
        (void)next.KeepForRecovery(folder);
        if (::geteuid() != 0) ADD_FAILURE() << "written into a read-only folder";
    } catch (const EStoreError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + *recovery + " kann nicht erstellt werden");
    }
}

}  // namespace
}  // namespace dorvanta
