// The document session's life cycle without any window: what each operation
// leaves (file, name, format, Modified, Loading), which questions it asks and
// which heard it sends, in order.
#include "SessionFixture.h"

namespace dorvanta {
namespace {
using Strings = std::vector<std::string>;

TEST_F(DocumentSessionTest, OpenInEachFormatAndEachWayItCanFail) {
    const std::string plain = Collection("a.pdt", "Giro");
    const std::string locked = Collection("b.pdt", "Spar", "geheim");
    const std::string sealed = Collection("c.pdt.age", "Depot", "geheim", TFormat::Encrypted);
    struct Case {
        const char* name;
        std::string path;
        std::deque<std::optional<std::string>> passwords;
        bool loaded;
        std::string key;  // the first sub-category afterwards
        TFormat format;
        Strings asked;
        Strings heard;
    };
    const Case cases[] = {
        {"plain",
         plain,
         {},
         true,
         "Giro",
         TFormat::Plain,
         {},
         {"about to replace", "loaded", "name a.pdt", "unmodified"}},
        {"protected",
         locked,
         {"geheim"},
         true,
         "Spar",
         TFormat::Plain,
         {"open password"},
         {"about to replace", "loaded", "name b.pdt", "unmodified"}},
        {"encrypted",
         sealed,
         {"geheim"},
         true,
         "Depot",
         TFormat::Encrypted,
         {"open password"},
         {"about to replace", "loaded", "name c.pdt.age", "unmodified"}},
        {"wrong password",
         locked,
         {"falsch"},
         false,
         "",
         TFormat::Plain,
         {"open password", "wrong password"},
         {"about to replace", "name -", "reset", "unmodified", "loaded"}},
        {"cancelled",
         sealed,
         {std::nullopt},
         false,
         "",
         TFormat::Plain,
         {"open password"},
         {"about to replace", "name -", "reset", "unmodified", "loaded"}},
        {"missing",
         dir.File("fehlt.pdt"),
         {},
         false,
         "",
         TFormat::Plain,
         {"error: Datei " + dir.File("fehlt.pdt") + " kann nicht geöffnet werden"},
         {"about to replace", "name -", "reset", "unmodified"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each open starts from an untitled, changed document.
        session.New();
        session.AddKey("Alt", "Alt");
        heard.clear();
        ask.log.clear();
        ask.passwords = c.passwords;
        EXPECT_EQ(session.Open(c.path, ask), c.loaded);
        EXPECT_EQ(ask.log, c.asked);
        EXPECT_EQ(heard, c.heard);
        EXPECT_EQ(session.Document().Keys.empty() ? "" : session.Document().Keys[0].Name, c.key);
        EXPECT_EQ(Name(), c.loaded ? std::filesystem::path(c.path).filename().string() : "-");
        EXPECT_EQ(session.Format(), c.format);
        EXPECT_EQ(session.Stamp().Known, c.loaded);
        EXPECT_FALSE(session.Modified());
        EXPECT_FALSE(session.Loading());
    }
}

// An encrypted file is asked for up to three times; a decider that does not ask
// by try number is asked its open-password question each time.
TEST_F(DocumentSessionTest, AnEncryptedFileGivesThreeTries) {
    const std::string sealed = Collection("t.pdt.age", "Depot", "geheim", TFormat::Encrypted);
    struct Case {
        std::deque<std::optional<std::string>> passwords;
        bool loaded;
        Strings asked;
    };
    const Case cases[] = {
        {{"x", "y", "geheim"}, true, {"open password", "open password", "open password"}},
        {{"x", "y", "z"},
         false,
         {"open password", "open password", "open password", "wrong password"}},
        {{"x", std::nullopt}, false, {"open password", "open password"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked.size());
        session.New();
        ask.log.clear();
        ask.passwords = c.passwords;
        EXPECT_EQ(session.Open(sealed, ask), c.loaded);
        EXPECT_EQ(ask.log, c.asked);
        EXPECT_EQ(Name(), c.loaded ? "t.pdt.age" : "-");
        EXPECT_EQ(session.Password(), c.loaded ? "geheim" : "");
        EXPECT_FALSE(session.Loading());
    }
}

TEST_F(DocumentSessionTest, SaveAndSaveAsInBothFormatsWithTheirPasswords) {
    struct Case {
        const char* name;
        bool saveAs;  // else Save of the untitled document, which becomes Save as
        TFormat format;
        std::string password;  // the document's before the save
        std::deque<std::optional<std::string>> passwords;
        bool written;
        Strings asked;
    };
    const Case cases[] = {
        {"plain", false, TFormat::Plain, "", {}, true, {"save target"}},
        {"encrypted, password asked",
         true,
         TFormat::Encrypted,
         "",
         {"neu"},
         true,
         {"save target", "new password"}},
        {"encrypted, own password", true, TFormat::Encrypted, "alt", {}, true, {"save target"}},
        {"encrypted, password cancelled",
         true,
         TFormat::Encrypted,
         "",
         {std::nullopt},
         false,
         {"save target", "new password"}},
        {"encrypted, empty password",
         false,
         TFormat::Encrypted,
         "",
         {""},
         false,
         {"save target", "new password"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.New();
        session.AddKey("Bank", "Giro");
        if (!c.password.empty()) session.SetPassword(c.password);
        const std::string path = dir.File("s" + std::to_string(++n) + ".pdt");
        ask.log.clear();
        heard.clear();
        ask.targets = {TSessionDecisions::TSaveTarget{path, c.format}};
        ask.passwords = c.passwords;
        EXPECT_EQ(c.saveAs ? session.SaveAs(ask) : session.Save(ask), c.written);
        EXPECT_EQ(ask.log, c.asked);
        EXPECT_EQ(std::filesystem::exists(path), c.written);
        EXPECT_EQ(session.Modified(), !c.written);
        if (!c.written) {
            EXPECT_EQ(Name(), "-");
            EXPECT_TRUE(heard.empty());
            continue;
        }
        EXPECT_EQ(heard, (Strings{"name " + std::filesystem::path(path).filename().string(),
                                  "unmodified"}));
        EXPECT_EQ(session.Format(), c.format);
        EXPECT_EQ(ReadBytes(path).rfind("age-encryption.org/v1\n", 0) == 0,
                  c.format == TFormat::Encrypted);
        const std::string password =
            c.password.empty() && !c.passwords.empty() ? *c.passwords.front() : c.password;
        EXPECT_EQ(KeyIn(path, password), "Giro");
        // A second Save goes to the same file without a question.
        ask.log.clear();
        session.AddKey("Bank", "Tages");
        EXPECT_TRUE(session.Save(ask));
        EXPECT_TRUE(ask.log.empty());
        EXPECT_TRUE(session.Stamp().Known);
    }
}

// Saved encrypted under a new name, a document read from a plain file that is
// still there offers to delete that file; every other save as leaves it alone.
TEST_F(DocumentSessionTest, AnEncryptedSaveAsOffersToDeleteThePlainFileItCameFrom) {
    struct Case {
        const char* name;
        const char* from;  // the file opened first; empty: a new document
        TFormat from_format;
        const char* to;
        TFormat to_format;
        std::deque<bool> deletes;
        Strings asked;
        bool fromKept;
    };
    const Case cases[] = {
        {"Ja deletes",
         "a.pdt",
         TFormat::Plain,
         "a.pdt.age",
         TFormat::Encrypted,
         {true},
         {"save target", "delete plain file"},
         false},
        {"Nein keeps",
         "b.pdt",
         TFormat::Plain,
         "b.pdt.age",
         TFormat::Encrypted,
         {false},
         {"save target", "delete plain file"},
         true},
        {"encrypted to encrypted",
         "c.pdt.age",
         TFormat::Encrypted,
         "d.pdt.age",
         TFormat::Encrypted,
         {},
         {"save target"},
         true},
        {"plain to plain",
         "e.pdt",
         TFormat::Plain,
         "f.pdt",
         TFormat::Plain,
         {},
         {"save target"},
         true},
        {"first save",
         "",
         TFormat::Plain,
         "g.pdt.age",
         TFormat::Encrypted,
         {},
         {"save target"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string from;
        if (*c.from) {
            from = Collection(c.from, "Giro", "geheim", c.from_format);
            ask.passwords = {"geheim"};
            ASSERT_TRUE(session.Open(from, ask));
        } else {
            session.New();
            session.SetPassword("geheim");
        }
        ask.log.clear();
        ask.deletes = c.deletes;
        ask.deleteAsked.clear();
        ask.targets = {TSessionDecisions::TSaveTarget{dir.File(c.to), c.to_format}};
        EXPECT_TRUE(session.SaveAs(ask));
        EXPECT_EQ(ask.log, c.asked);
        EXPECT_EQ(std::filesystem::exists(from), c.fromKept && *c.from);
        EXPECT_EQ(ask.deleteAsked, c.deletes.empty() ? "" : from);
        EXPECT_EQ(KeyIn(dir.File(c.to), "geheim"), *c.from ? "Giro" : "");
        EXPECT_EQ(session.FileName(), dir.File(c.to));
    }
    // The plain file gone meanwhile: nothing to ask.
    const std::string gone = Collection("h.pdt", "Giro", "geheim");
    ask.passwords = {"geheim"};
    ASSERT_TRUE(session.Open(gone, ask));
    std::filesystem::remove(gone);
    ask.log.clear();
    ask.targets = {TSessionDecisions::TSaveTarget{dir.File("h.pdt.age"), TFormat::Encrypted}};
    EXPECT_TRUE(session.SaveAs(ask));
    EXPECT_EQ(ask.log, Strings{"save target"});
}

TEST_F(DocumentSessionTest, AFileChangedElsewhereIsAskedAboutWithEachAnswer) {
    struct Case {
        const char* name;
        std::deque<TChanged> answers;
        bool saved;
        std::string inFile;  // the first sub-category in the opened file afterwards
        std::string name2;   // the session's file afterwards
    };
    const Case cases[] = {
        {"overwrite", {TChanged::Overwrite}, true, "Unsere", "a.pdt"},
        {"cancel", {TChanged::Cancel}, false, "Fremde", "a.pdt"},
        {"save as", {TChanged::SaveAs}, true, "Fremde", "anders.pdt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Collection("a.pdt", "Giro");
        ASSERT_TRUE(session.Open(path, ask));
        session.UpdateKey(0, "Bank", "Unsere");
        // Another program writes the file meanwhile (another length, so the
        // stamp differs at once).
        Collection("a.pdt", "Fremde");
        ask.log.clear();
        ask.changed = c.answers;
        ask.targets = {TSessionDecisions::TSaveTarget{dir.File("anders.pdt"), TFormat::Plain}};
        EXPECT_EQ(session.Save(ask), c.saved);
        EXPECT_EQ(ask.log.front(), "changed file");
        EXPECT_EQ(KeyIn(path), c.inFile);
        EXPECT_EQ(Name(), c.name2);
        EXPECT_EQ(session.Modified(), !c.saved);
    }
    // A name given without reading the file remembers nothing: no question.
    session.AssignFileName(dir.File("a.pdt"));
    ask.log.clear();
    EXPECT_TRUE(session.Save(ask));
    EXPECT_TRUE(ask.log.empty());
}

TEST_F(DocumentSessionTest, BackupOnSaveKeepsTheReplacedFile) {
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        const std::string path = Collection("b.pdt", "Vorher");
        std::filesystem::remove(path + ".bak");
        ASSERT_TRUE(session.Open(path, ask));
        session.SetBackupOnSave(on);
        session.UpdateKey(0, "Bank", "Nachher");
        EXPECT_TRUE(session.Save(ask));
        EXPECT_EQ(KeyIn(path), "Nachher");
        EXPECT_EQ(std::filesystem::exists(path + ".bak"), on);
        if (on) {
            EXPECT_EQ(KeyIn(path + ".bak"), "Vorher");
        }
    }
    // A folder in the backup's place: the file is saved all the same, and that is said.
    const std::string path = Collection("c.pdt", "Vorher");
    std::filesystem::create_directory(path + ".bak");
    ASSERT_TRUE(session.Open(path, ask));
    session.UpdateKey(0, "Bank", "Nachher");
    ask.log.clear();
    EXPECT_TRUE(session.Save(ask));
    EXPECT_EQ(ask.log, Strings{"backup failed"});
    EXPECT_EQ(KeyIn(path), "Nachher");
}

// Another program replaces the file while the key is derived, or in the very
// moment the save puts its file in place, after its last look at the file.
TEST_F(DocumentSessionTest, AFileReplacedWhileTheSaveEncryptsIsAskedAboutAndBackedUp) {
    struct Case {
        const char* name;
        bool atCommit;
        TChanged answer;
        bool saved;
        std::string inFile;  // afterwards
        std::string inBackup;
    };
    const Case cases[] = {
        {"overwrite", false, TChanged::Overwrite, true, "Unsere", "Fremde"},
        {"cancel", false, TChanged::Cancel, false, "Fremde", ""},
        {"overwrite at the commit", true, TChanged::Overwrite, true, "Unsere", "Fremde"},
        {"cancel at the commit", true, TChanged::Cancel, false, "Fremde", "Giro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Collection("e.pdt.age", "Giro", "Sesam", TFormat::Encrypted);
        std::filesystem::remove(path + ".bak");
        ask.passwords = {"Sesam"};
        ASSERT_TRUE(session.Open(path, ask));
        session.SetBackupOnSave(true);
        session.UpdateKey(0, "Bank", "Unsere");
        const auto replace = [&] {
            Collection("e.pdt.age", "Fremde", "Sesam", TFormat::Encrypted);
        };
        if (c.atCommit) {
            detail::SetBeforeCommitHook([&](const std::string& name) {
                if (name != "e.pdt.age") return;
                detail::SetBeforeCommitHook(nullptr);
                replace();
            });
        } else {
            ask.afterBusy = [&] {
                ask.afterBusy = nullptr;
                replace();
            };
        }
        ask.log.clear();
        ask.changed = {c.answer};
        EXPECT_EQ(session.Save(ask), c.saved);
        detail::SetBeforeCommitHook(nullptr);
        EXPECT_EQ(ask.log, Strings{"changed file"});
        EXPECT_EQ(KeyIn(path, "Sesam"), c.inFile);
        EXPECT_EQ(session.Modified(), !c.saved);
        const bool backedUp = std::filesystem::exists(path + ".bak");
        EXPECT_EQ(backedUp ? KeyIn(path + ".bak", "Sesam") : "", c.inBackup);
        // Nothing else is left in the folder (a cancelled save's file is gone).
        std::size_t files = 0;
        for (const auto& f : std::filesystem::directory_iterator(dir.File(""))) {
            files += f.path().filename().string().starts_with(".");
        }
        EXPECT_EQ(files, 0u);
    }
}

TEST_F(DocumentSessionTest, EditsAnnounceWhatChangedAndTheModifiedState) {
    const std::string path = Collection("e.pdt", "Giro");
    ASSERT_TRUE(session.Open(path, ask));
    heard.clear();
    session.AddEntry(0, "PIN", "4711", "");
    session.AddEntry(0, "Alpha", "1", "");  // sorts first
    EXPECT_EQ(session.UpdateEntry(0, 0, "Zulu", "2", ""), 2);
    session.DeleteEntry(0, 1);
    EXPECT_EQ(session.AddKey("Mail", "Privat"), 1);
    session.RenameParent(1, "Post");
    session.DeleteKey(0);
    session.SetPassword("neu");
    session.SetPassword("");
    session.RequestShow(0, -1);
    EXPECT_EQ(heard, (Strings{"entries 0 0 -1", "modified", "entries 0 0 -1", "entries 0 1 2",
                              "entries 0 2 1", "keys 1 ", "keys -1 Post", "keys -1 "}));
    EXPECT_TRUE(session.Modified());
    EXPECT_EQ(session.Password(), "");
    ASSERT_EQ(session.Document().Keys.size(), 1u);
    EXPECT_EQ(session.Document().Keys[0].Parent, "Post");
}

TEST_F(DocumentSessionTest, ALockSealsTheDocumentAndOnlyItsPasswordOpensIt) {
    struct Case {
        const char* name;
        bool modified;  // unsaved changes when locked
        int keyRow;     // the selection when locked
        int shownKey;
    };
    const Case cases[] = {{"saved, nothing selected", false, -1, -1},
                          {"changed, second selected", true, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Collection("l.pdt.age", "Giro", "geheim", TFormat::Encrypted);
        ask.passwords = {"geheim"};
        ASSERT_TRUE(session.Open(path, ask));
        session.AddKey("Mail", "Privat");
        if (!c.modified) {
            ASSERT_TRUE(session.Save(ask));
        }
        session.SetSelectedKeyRow(c.keyRow);
        session.SetShownKey(c.shownKey);
        const std::string before = EncodeDocument(session.Document());
        const std::string file = ReadBytes(path);
        heard.clear();
        ask.log.clear();

        ASSERT_TRUE(session.Lock(ask));
        EXPECT_EQ(heard, (Strings{"about to lock", "locked"}));
        EXPECT_TRUE(session.Locked());
        EXPECT_FALSE(session.CanLock());
        EXPECT_TRUE(session.Document().Keys.empty());
        EXPECT_EQ(session.Password(), "");
        EXPECT_EQ(session.Modified(), c.modified);
        EXPECT_EQ(session.SelectedKeyRow(), -1);
        // Nothing saves or changes a locked document.
        EXPECT_FALSE(session.Save(ask));
        session.AddKey("Neu", "Neu");
        EXPECT_TRUE(session.Document().Keys.empty());

        for (const char* wrong : {"", "Geheim", "geheim "}) {
            EXPECT_FALSE(session.Unlock(wrong, ask)) << wrong;
        }
        EXPECT_TRUE(session.Locked());
        heard.clear();
        ASSERT_TRUE(session.Unlock("geheim", ask));
        EXPECT_EQ(heard.front(), "unlocked");
        EXPECT_EQ(EncodeDocument(session.Document()), before);
        EXPECT_EQ(session.Password(), "geheim");
        EXPECT_EQ(session.Format(), TFormat::Encrypted);
        EXPECT_EQ(session.Modified(), c.modified);
        EXPECT_EQ(session.SelectedKeyRow(), c.keyRow);
        EXPECT_EQ(session.ShownKey(), c.shownKey);
        EXPECT_EQ(ReadBytes(path), file);
        EXPECT_TRUE(ask.log.empty());  // a lock asks nothing
    }
    // Without a password there is nothing to lock with.
    session.New();
    session.AddKey("Bank", "Giro");
    EXPECT_FALSE(session.CanLock());
    EXPECT_FALSE(session.Lock(ask));
    EXPECT_FALSE(session.Locked());
}

}  // namespace
}  // namespace dorvanta
