// Merges in the session: the changed-file question's "Zusammenführen" and the
// conflict copies a sync tool leaves beside a collection.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "SessionFixture.h"

namespace dorvanta {
namespace {

using TCopies = TSessionDecisions::TConflictCopies;

// A collection of one sub-category "Bank" / "Giro" with the given entries
// (title, value), dated in the order given.
TDocument Giro(std::initializer_list<std::pair<const char*, const char*>> entries,
               const std::string& password = {}, TFormat format = TFormat::Plain) {
    TDocument doc;
    doc.Password = password;
    doc.Format = format;
    doc.Keys = {{"Giro", "Bank", {}}};
    double date = 46000.0;
    for (const auto& [title, value] : entries)
        doc.Keys[0].Data.push_back({title, value, "", date++});
    return doc;
}

// "title=value" of every entry the file holds.
std::vector<std::string> EntriesIn(const std::string& path, const std::string& password = {}) {
    TDocument doc;
    TLoadHooks hooks;
    hooks.AskPassword = [&](const std::string&) { return std::optional(password); };
    EXPECT_TRUE(LoadDocument(doc, path, hooks));
    std::vector<std::string> found;
    for (const TDataKey& key : doc.Keys) {
        for (const TDataRec& rec : key.Data) found.push_back(rec.Title + "=" + rec.Value);
    }
    return found;
}

class SessionMergeTest : public DocumentSessionTest {
  protected:
    void SetUp() override {
        DocumentSessionTest::SetUp();
        QObject::connect(&session, &TDocumentSession::Merged, [this](const QString& summary) {
            merged.push_back(summary.toStdString());
        });
    }
    std::vector<std::string> merged;
};

TEST_F(SessionMergeTest, MergeAtTheChangedFileQuestionKeepsBothSidesAndSaves) {
    struct Case {
        const char* name;
        TFormat format;
        std::string filePassword;  // what the other program saved under
        std::vector<std::optional<std::string>> typed;
        std::vector<std::string> log;
        std::vector<std::string> saved;
        std::string summary;
        std::optional<TFormat> fileFormat = {};  // the other program's, when not the same
        std::string savedPassword = {};          // when not the file's
    };
    const std::vector<Case> cases = {
        {"plain",
         TFormat::Plain,
         "",
         {},
         {"changed file"},
         {"Karte=1111", "Konto=neu", "PIN=9999"},
         "1 Eintrag übernommen"},
        {"encrypted, same passphrase",
         TFormat::Encrypted,
         "geheim",
         {},
         {"changed file"},
         {"Karte=1111", "Konto=neu", "PIN=9999"},
         "1 Eintrag übernommen"},
        // The other program changed the passphrase: asked once, then taken.
        {"encrypted, other passphrase",
         TFormat::Encrypted,
         "neu-pw",
         {"falsch", "neu-pw"},
         {"changed file", "open password", "open password"},
         {"Karte=1111", "Konto=neu", "PIN=9999"},
         "1 Eintrag übernommen"},
        // Replaced by a plain copy: its Windows-1252 password becomes the passphrase.
        {"encrypted, replaced by a plain copy",
         TFormat::Encrypted,
         "p\xE4sse",
         {"p\xE4sse"},
         {"changed file", "open password"},
         {"Karte=1111", "Konto=neu", "PIN=9999"},
         "1 Eintrag übernommen",
         TFormat::Plain,
         "p\xC3\xA4sse"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".pdt");
        const std::string own = c.format == TFormat::Encrypted ? "geheim" : "";
        SaveDocument(Giro({{"Konto", "alt"}, {"PIN", "1234"}}, own, c.format), path);
        if (!own.empty()) ask.passwords = {own};
        ASSERT_TRUE(session.Open(path, ask));
        // Here: PIN changed and Karte added; there: Konto changed.
        session.UpdateEntry(0, 1, "PIN", "9999", "");
        session.AddEntry(0, "Karte", "1111", "");
        TDocument other = Giro({{"Konto", "neu"}, {"PIN", "1234"}}, c.filePassword,
                               c.fileFormat.value_or(c.format));
        other.Keys[0].Data[0].Date = 46100.0;
        SaveDocument(other, path);
        ask.log.clear();
        merged.clear();
        ask.changed = {TChanged::Merge};
        ask.passwords.assign(c.typed.begin(), c.typed.end());
        ASSERT_TRUE(session.Save(ask));
        EXPECT_EQ(ask.log, c.log);
        EXPECT_EQ(merged, std::vector<std::string>{c.summary});
        EXPECT_FALSE(session.Modified());
        const std::string filePassword = !c.savedPassword.empty() ? c.savedPassword
                                         : c.filePassword.empty() ? own
                                                                  : c.filePassword;
        EXPECT_EQ(EntriesIn(path, filePassword), c.saved);
        // The base is now what was saved: saving again asks nothing.
        ask.log.clear();
        EXPECT_TRUE(session.Save(ask));
        EXPECT_TRUE(ask.log.empty());
    }
}

TEST_F(SessionMergeTest, BothSidesChangingOneEntryKeepTheOlderAsACopyAndSayIt) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Giro({{"Konto", "alt"}}), path);
    ASSERT_TRUE(session.Open(path, ask));
    session.UpdateEntry(0, 0, "Konto", "hier", "");
    TDocument other = Giro({{"Konto", "dort"}});
    other.Keys[0].Data[0].Date = 40000.0;  // older than the change made here
    SaveDocument(other, path);
    ask.changed = {TChanged::Merge};
    ASSERT_TRUE(session.Save(ask));
    EXPECT_EQ(ask.log, (std::vector<std::string>{"changed file", "conflicts 1"}));
    EXPECT_EQ(EntriesIn(path), (std::vector<std::string>{
                                   "Konto=hier", "Konto (Konflikt vom 06.07.2009 00:00)=dort"}));
}

TEST_F(SessionMergeTest, AFileThatCannotBeMergedAsksAgain) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Giro({{"Konto", "alt"}}), path);
    ASSERT_TRUE(session.Open(path, ask));
    session.AddEntry(0, "PIN", "1234", "");
    WriteBytes(path, "kein Dokument");
    ask.changed = {TChanged::Merge, TChanged::Cancel};
    EXPECT_FALSE(session.Save(ask));
    EXPECT_EQ(ask.log, (std::vector<std::string>{
                           "changed file", "error: Ungültiger Eigenschaftswert", "changed file"}));
    EXPECT_EQ(ReadBytes(path), "kein Dokument");
    EXPECT_TRUE(session.Modified());
}

// Sets a file's modification time to the whole second `seconds`.
void SetModified(const std::string& path, std::time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(SessionMergeTest, ConflictCopiesAreOfferedAtOpenAndGoAfterTheSaveUnlessChanged) {
    // What the sync tool does to the copy between the merge and the save.
    enum class TMeanwhile { Nothing, Rewrite, Delete };
    struct Case {
        const char* name;
        TCopies answer;
        bool backup;
        TMeanwhile meanwhile;
        std::vector<std::string> entries;  // in the window after the open
        std::string copyHolds;             // "": gone
        std::string backupHolds;           // "": no KOPIE.bak
    };
    const std::vector<std::string> merged = {"Konto=alt", "PIN=1234"};
    const Case cases[] = {
        {"merged", TCopies::Merge, false, TMeanwhile::Nothing, merged, "", ""},
        {"merged, backups", TCopies::Merge, true, TMeanwhile::Nothing, merged, "", "PIN=1234"},
        {"later", TCopies::Later, false, TMeanwhile::Nothing, {"Konto=alt"}, "PIN=1234", ""},
        {"never", TCopies::Never, false, TMeanwhile::Nothing, {"Konto=alt"}, "PIN=1234", ""},
        // Same size and modification time, within the same second: only the
        // bytes tell, and the newer copy stays.
        {"rewritten", TCopies::Merge, false, TMeanwhile::Rewrite, merged, "PIN=9876", ""},
        {"rewritten, backups", TCopies::Merge, true, TMeanwhile::Rewrite, merged, "PIN=9876", ""},
        {"deleted", TCopies::Merge, false, TMeanwhile::Delete, merged, "", ""},
        {"deleted, backups", TCopies::Merge, true, TMeanwhile::Delete, merged, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("Konten.pdt");
        const std::string copy = dir.File("Konten (Laptop's conflicted copy 2026-12-08).pdt");
        std::filesystem::remove(copy);
        std::filesystem::remove(copy + ".bak");
        SaveDocument(Giro({{"Konto", "alt"}}), path);
        SaveDocument(Giro({{"Konto", "alt"}, {"PIN", "1234"}}), copy);
        const std::time_t second = std::time(nullptr);
        SetModified(copy, second);
        ask.log.clear();
        ask.copies = {c.answer};
        session.SetBackupOnSave(c.backup);
        ASSERT_TRUE(session.Open(path, ask));
        EXPECT_EQ(ask.log, std::vector<std::string>{"conflict copies 1"});
        std::vector<std::string> shown;
        for (const TDataRec& rec : session.Document().Keys[0].Data) {
            shown.push_back(rec.Title + "=" + rec.Value);
        }
        EXPECT_EQ(shown, c.entries);
        EXPECT_EQ(session.Modified(), c.answer == TCopies::Merge);
        if (c.meanwhile == TMeanwhile::Rewrite) {
            // In place, the same length, the same second.
            const std::string scratch = dir.File("scratch.pdt");
            SaveDocument(Giro({{"Konto", "alt"}, {"PIN", "9876"}}), scratch);
            const std::string bytes = ReadBytes(scratch);
            ASSERT_EQ(bytes.size(), std::filesystem::file_size(copy));
            WriteBytes(copy, bytes);
            SetModified(copy, second);
        } else if (c.meanwhile == TMeanwhile::Delete) {
            std::filesystem::remove(copy);
        }
        ask.log.clear();
        ASSERT_TRUE(session.Save(ask));
        EXPECT_TRUE(ask.log.empty());
        EXPECT_EQ(EntriesIn(path), c.entries);
        EXPECT_EQ(std::filesystem::exists(copy), !c.copyHolds.empty());
        if (!c.copyHolds.empty() && std::filesystem::exists(copy)) {
            EXPECT_EQ(EntriesIn(copy).back(), c.copyHolds);
        }
        EXPECT_EQ(std::filesystem::exists(copy + ".bak"), !c.backupHolds.empty());
        if (!c.backupHolds.empty()) {
            EXPECT_EQ(EntriesIn(copy + ".bak").back(), c.backupHolds);
        }
        // A copy that stays is offered again at the next open.
        ask.log.clear();
        ask.copies = {TCopies::Later};
        ASSERT_TRUE(session.Open(path, ask));
        EXPECT_EQ(ask.log.size(), c.copyHolds.empty() ? 0u : 1u);
        ask.copies.clear();
    }
}

TEST_F(SessionMergeTest, TheBaseFollowsOpenSaveAndLock) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Giro({{"Konto", "alt"}}, "pw"), path);
    EXPECT_FALSE(session.HasBase());
    ask.passwords = {"pw"};
    ASSERT_TRUE(session.Open(path, ask));
    EXPECT_TRUE(session.HasBase());
    // Locked unchanged, the base comes back; locked with changes, it is gone.
    ASSERT_TRUE(session.Lock(ask));
    EXPECT_FALSE(session.HasBase());
    ASSERT_TRUE(session.Unlock("pw", ask));
    EXPECT_TRUE(session.HasBase());
    session.AddEntry(0, "PIN", "1", "");
    EXPECT_EQ(session.Base().Keys[0].Data.size(), 1u);
    ASSERT_TRUE(session.Lock(ask));
    ASSERT_TRUE(session.Unlock("pw", ask));
    EXPECT_FALSE(session.HasBase());
    ASSERT_TRUE(session.Save(ask));
    EXPECT_EQ(session.Base().Keys[0].Data.size(), 2u);
    session.New();
    EXPECT_FALSE(session.HasBase());
}

// Locked with unsaved changes, the session merges without base, but it still
// knows the file's password: a password changed on one side only is no conflict.
TEST_F(SessionMergeTest, AfterALockThePasswordIsMergedAgainstTheFiles) {
    struct Case {
        const char* name;
        std::string window;  // the window's new password ("": kept "alt")
        bool changedAfterLock;
        int locks;
        std::string theirs;  // the other program's password
        std::vector<std::string> log;
        std::string summary;
        std::string saved;  // the password of the file saved
    };
    const std::vector<Case> cases = {
        {"window changed it",
         "neu",
         false,
         1,
         "alt",
         {"changed file", "open password"},
         "1 Eintrag übernommen",
         "neu"},
        {"window changed it, locked twice",
         "neu",
         false,
         2,
         "alt",
         {"changed file", "open password"},
         "1 Eintrag übernommen",
         "neu"},
        {"window changed it after the lock",
         "neu",
         true,
         1,
         "alt",
         {"changed file", "open password"},
         "1 Eintrag übernommen",
         "neu"},
        {"the other program changed it",
         "",
         false,
         1,
         "anders",
         {"changed file", "open password"},
         "1 Eintrag übernommen",
         "anders"},
        {"both changed it",
         "neu",
         false,
         1,
         "anders",
         {"changed file", "open password", "conflicts 1"},
         "1 Eintrag übernommen, 1 Konflikt",
         "neu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".pdt");
        SaveDocument(Giro({{"Konto", "alt"}}, "alt"), path);
        ask.passwords = {"alt"};
        ASSERT_TRUE(session.Open(path, ask));
        session.AddEntry(0, "PIN", "1", "");
        if (!c.window.empty() && !c.changedAfterLock) session.SetPassword(c.window);
        for (int i = 0; i < c.locks; ++i) {
            const std::string password = session.Password();
            ASSERT_TRUE(session.Lock(ask));
            ASSERT_TRUE(session.Unlock(password, ask));
        }
        ASSERT_FALSE(session.HasBase());
        if (!c.window.empty() && c.changedAfterLock) session.SetPassword(c.window);
        SaveDocument(Giro({{"Konto", "alt"}, {"Karte", "2"}}, c.theirs), path);
        ask.log.clear();
        merged.clear();
        ask.changed = {TChanged::Merge};
        ask.passwords = {c.theirs};
        ASSERT_TRUE(session.Save(ask));
        EXPECT_EQ(ask.log, c.log);
        EXPECT_EQ(merged, std::vector<std::string>{c.summary});
        EXPECT_EQ(EntriesIn(path, c.saved),
                  (std::vector<std::string>{"Karte=2", "Konto=alt", "PIN=1"}));
    }
}

}  // namespace
}  // namespace dorvanta
