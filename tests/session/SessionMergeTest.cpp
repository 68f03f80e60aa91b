// Merges in the session: the changed-file question's "Zusammenführen" and the
// conflict copies a sync tool leaves beside a collection.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "session/DocumentSession.h"
#include "store/AgeFile.h"
#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using TFormat = TDocument::TFormat;
using TChanged = TSessionDecisions::TChangedFile;
using TCopies = TSessionDecisions::TConflictCopies;

class TMergeDecisions final : public TSessionDecisions {
  public:
    std::deque<std::optional<std::string>> passwords;
    std::deque<TChanged> changed;
    std::deque<TCopies> copies;
    std::vector<std::string> log;

    std::optional<std::string> AskOpenPassword(const std::string&) override {
        log.push_back("password");
        if (passwords.empty()) return std::nullopt;
        auto answer = passwords.front();
        passwords.pop_front();
        return answer;
    }
    void ShowWrongPassword() override { log.push_back("wrong password"); }
    std::optional<std::string> AskNewPassword() override { return std::nullopt; }
    TChangedFile AskChangedFile(const std::string&) override {
        log.push_back("changed");
        const TChanged answer = changed.empty() ? TChanged::Cancel : changed.front();
        if (!changed.empty()) changed.pop_front();
        return answer;
    }
    TConflictCopies AskMergeConflictCopies(const std::string&,
                                           const std::vector<std::string>& found) override {
        log.push_back("copies " + std::to_string(found.size()));
        const TCopies answer = copies.empty() ? TCopies::Later : copies.front();
        if (!copies.empty()) copies.pop_front();
        return answer;
    }
    void ReportMergeConflicts(const std::vector<std::string>& lines) override {
        log.push_back("conflicts " + std::to_string(lines.size()));
    }
    std::optional<TSaveTarget> AskSaveTarget(const std::string&, TFormat) override {
        return std::nullopt;
    }
    void ReportBackupFailed(const std::string&) override { log.push_back("backup failed"); }
    void ReportLoadError(std::exception_ptr) override { log.push_back("load error"); }
    void RunBusy(const std::function<void()>& work) override { work(); }
};

// A collection of one sub-category "Bank" / "Giro" with the given entries
// (title, value), dated in the order given.
TDocument Collection(std::initializer_list<std::pair<const char*, const char*>> entries,
                     const std::string& password = {}, TFormat format = TFormat::Plain) {
    TDocument doc;
    doc.Password = password;
    doc.Format = format;
    doc.Keys = {{"Giro", "Bank", {}}};
    double date = 46000.0;
    for (const auto& [title, value] : entries) doc.Keys[0].Data.push_back({title, value, "", date++});
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

class SessionMergeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEncryptionWorkFactor(1);
        QObject::connect(&session, &TDocumentSession::Merged,
                         [this](const QString& summary) { merged.push_back(summary.toStdString()); });
    }
    void TearDown() override { SetEncryptionWorkFactor(age::kWriteWorkFactor); }

    testing::TempDir dir;
    TDocumentSession session;
    TMergeDecisions ask;
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
    };
    const std::vector<Case> cases = {
        {"plain", TFormat::Plain, "", {}, {"changed"},
         {"Karte=1111", "Konto=neu", "PIN=9999"}, "1 Eintrag übernommen"},
        {"encrypted, same passphrase", TFormat::Encrypted, "geheim", {}, {"changed"},
         {"Karte=1111", "Konto=neu", "PIN=9999"}, "1 Eintrag übernommen"},
        // The other program changed the passphrase: asked once, then taken.
        {"encrypted, other passphrase", TFormat::Encrypted, "neu-pw", {"falsch", "neu-pw"},
         {"changed", "password", "password"},
         {"Karte=1111", "Konto=neu", "PIN=9999"}, "1 Eintrag übernommen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".pdt");
        const std::string own = c.format == TFormat::Encrypted ? "geheim" : "";
        SaveDocument(Collection({{"Konto", "alt"}, {"PIN", "1234"}}, own, c.format), path);
        if (!own.empty()) ask.passwords = {own};
        ASSERT_TRUE(session.Open(path, ask));
        // Here: PIN changed and Karte added; there: Konto changed.
        session.UpdateEntry(0, 1, "PIN", "9999", "");
        session.AddEntry(0, "Karte", "1111", "");
        TDocument other = Collection({{"Konto", "neu"}, {"PIN", "1234"}}, c.filePassword, c.format);
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
        const std::string filePassword = c.filePassword.empty() ? own : c.filePassword;
        EXPECT_EQ(EntriesIn(path, filePassword), c.saved);
        // The base is now what was saved: saving again asks nothing.
        ask.log.clear();
        EXPECT_TRUE(session.Save(ask));
        EXPECT_TRUE(ask.log.empty());
    }
}

TEST_F(SessionMergeTest, BothSidesChangingOneEntryKeepTheOlderAsACopyAndSayIt) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Collection({{"Konto", "alt"}}), path);
    ASSERT_TRUE(session.Open(path, ask));
    session.UpdateEntry(0, 0, "Konto", "hier", "");
    TDocument other = Collection({{"Konto", "dort"}});
    other.Keys[0].Data[0].Date = 40000.0;  // older than the change made here
    SaveDocument(other, path);
    ask.changed = {TChanged::Merge};
    ASSERT_TRUE(session.Save(ask));
    EXPECT_EQ(ask.log, (std::vector<std::string>{"changed", "conflicts 1"}));
    EXPECT_EQ(EntriesIn(path),
              (std::vector<std::string>{"Konto=hier", "Konto (Konflikt vom 06.07.2009 00:00)=dort"}));
}

TEST_F(SessionMergeTest, AFileThatCannotBeMergedAsksAgain) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Collection({{"Konto", "alt"}}), path);
    ASSERT_TRUE(session.Open(path, ask));
    session.AddEntry(0, "PIN", "1234", "");
    testing::WriteBytes(path, "kein Dokument");
    ask.changed = {TChanged::Merge, TChanged::Cancel};
    EXPECT_FALSE(session.Save(ask));
    EXPECT_EQ(ask.log, (std::vector<std::string>{"changed", "load error", "changed"}));
    EXPECT_EQ(testing::ReadBytes(path), "kein Dokument");
    EXPECT_TRUE(session.Modified());
}

TEST_F(SessionMergeTest, ConflictCopiesAreOfferedAtOpenAndGoAfterTheSave) {
    struct Case {
        TCopies answer;
        bool backup;
        std::vector<std::string> entries;  // in the window after the open
        bool copyStays;
        bool copyAsBackup;
    };
    const Case cases[] = {
        {TCopies::Merge, false, {"Konto=alt", "PIN=1234"}, false, false},
        {TCopies::Merge, true, {"Konto=alt", "PIN=1234"}, false, true},
        {TCopies::Later, false, {"Konto=alt"}, true, false},
        {TCopies::Never, false, {"Konto=alt"}, true, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File("Konten.pdt");
        const std::string copy = dir.File("Konten (Laptop's conflicted copy 2026-12-08).pdt");
        std::filesystem::remove(copy + ".bak");
        SaveDocument(Collection({{"Konto", "alt"}}), path);
        SaveDocument(Collection({{"Konto", "alt"}, {"PIN", "1234"}}), copy);
        ask.log.clear();
        ask.copies = {c.answer};
        session.SetBackupOnSave(c.backup);
        ASSERT_TRUE(session.Open(path, ask));
        EXPECT_EQ(ask.log, std::vector<std::string>{"copies 1"});
        std::vector<std::string> shown;
        for (const TDataRec& rec : session.Document().Keys[0].Data) {
            shown.push_back(rec.Title + "=" + rec.Value);
        }
        EXPECT_EQ(shown, c.entries);
        EXPECT_EQ(session.Modified(), c.answer == TCopies::Merge);
        ASSERT_TRUE(session.Save(ask));
        EXPECT_EQ(std::filesystem::exists(copy), c.copyStays);
        EXPECT_EQ(std::filesystem::exists(copy + ".bak"), c.copyAsBackup);
        EXPECT_EQ(EntriesIn(path), c.entries);
        std::filesystem::remove(copy);
    }
}

TEST_F(SessionMergeTest, TheBaseFollowsOpenSaveAndLock) {
    const std::string path = dir.File("Konten.pdt");
    SaveDocument(Collection({{"Konto", "alt"}}, "pw"), path);
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

}  // namespace
}  // namespace dorvanta
