// Nothing overwritten behind the user's back: a save over a file that another
// program changed since it was opened asks first, and "Sicherungskopie beim
// Speichern" keeps the file a save replaces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>
#include <functional>

#include "mainwindow/MainWindow.h"
#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/AgeFile.h"
#include "store/FileIO.h"
#include "store/PdtFile.h"
#include "support/MainWindowFixture.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

const QString kCaption = QStringLiteral("Datei wurde geändert");

class FileChangeTest : public testing::MainWindowFixture {
  protected:
    void TearDown() override {
        CloseWindow();
        Messages().ClearLog();
    }

    // How often the question about a changed file was asked.
    static int ChangeQuestions() {
        int n = 0;
        for (const auto& q : Messages().Asked()) n += q.caption == kCaption;
        return n;
    }

    // A collection whose one sub-category is `key`.
    static TDocument Collection(const std::string& key) {
        TDocument doc;
        doc.Keys = {{key, "Bank", {{"IBAN", "DE12", "", 1.5}}}};
        return doc;
    }
    // The name of the first sub-category in the file `path` names ("" when none can be read).
    static std::string KeyIn(const std::string& path, const std::string& password = {}) {
        TDocument doc;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) { return std::optional(password); };
        try {
            if (!LoadDocument(doc, path, hooks) || doc.Keys.empty()) return {};
        } catch (const EStoreError&) {
            return {};
        }
        return doc.Keys[0].Name;
    }

    // Opens `path` as Open does and changes the document: a save writes "Unsere".
    void OpenAndChange(const std::string& path) {
        Doc().Modified = false;
        Form().OpenFile(QString::fromStdString(path));
        ASSERT_EQ(Session().FileName(), path);
        ASSERT_TRUE(Session().Stamp().Known);
        Doc().Keys[0].Name = "Unsere";
        Doc().Modified = true;
    }
};

// The three ways to a save over the file the document came from.
struct Operation {
    const char* name;
    // Queues what the operation asks before the change question.
    std::function<void(const std::string& path)> queue;
    // True when the save (or what it was part of) went on.
    std::function<bool(TMainWindow&)> run;
};

// What another program does to the file, and how the question is answered.
struct Change {
    const char* name;
    std::function<void(const std::string& path, const TempDir& dir)> before;  // before the save
    std::function<void(const std::string& path)> duringQuestion;  // at the first question
    QStringList answers;                                          // to the change question
    std::optional<QString> saveAsName;  // "Speichern unter...": the name chosen ("" = cancel)
    int questions;
    const char* keyInFile;  // what the file holds afterwards
    bool wentOn;
};

TEST_F(FileChangeTest, ASaveOverAFileChangedElsewhereAsksFirst) {
    const std::string theirs = EncodeDocument(Collection("Fremde"));
    const auto replace = [&](const std::string& p) { WriteFileAtomically(p, theirs); };
    const auto touch = [](const std::string& p) {
        const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, p.c_str(), times, 0);
    };
    const auto linkToTheirs = [&](const std::string& p, const TempDir& d) {
        WriteBytes(d.File("fremd.pdt"), theirs);
        fs::remove(p);
        fs::create_symlink(d.File("fremd.pdt"), p);
    };
    const auto nothing = [](const std::string&, const TempDir&) {};
    const QString over = QStringLiteral("Überschreiben");
    const QString saveAs = QStringLiteral("Speichern unter...");
    const QString cancel = QStringLiteral("Abbrechen");
    const QString merge = QStringLiteral("Zusammenführen");
    // clang-format off
    const Change changes[] = {
        {"unchanged", nothing, {}, {}, {}, 0, "Unsere", true},
        {"touched, same bytes", [&](auto& p, auto&) { touch(p); }, {}, {}, {}, 0, "Unsere", true},
        {"changed bytes, Abbrechen", [&](auto& p, auto&) { replace(p); }, {}, {cancel}, {}, 1,
         "Fremde", false},
        {"changed bytes, Überschreiben", [&](auto& p, auto&) { replace(p); }, {}, {over}, {}, 1,
         "Unsere", true},
        // Both renamed the one sub-category: both names are kept, the file's first.
        {"changed bytes, Zusammenführen", [&](auto& p, auto&) { replace(p); }, {}, {merge}, {}, 1,
         "Fremde", true},
        {"changed bytes, Speichern unter... another name", [&](auto& p, auto&) { replace(p); }, {},
         {saveAs}, QStringLiteral("anders.pdt"), 1, "Fremde", true},
        {"changed bytes, Speichern unter... cancelled", [&](auto& p, auto&) { replace(p); }, {},
         {saveAs}, QString(), 1, "Fremde", false},
        {"deleted", [](auto& p, auto&) { fs::remove(p); }, {}, {}, {}, 0, "Unsere", true},
        {"replaced by a link, Abbrechen", linkToTheirs, {}, {cancel}, {}, 1, "Fremde", false},
        {"replaced by a link, Überschreiben", linkToTheirs, {}, {over}, {}, 1, "Unsere", true},
        {"changed during the question, Überschreiben twice", [&](auto& p, auto&) { replace(p); },
         [&](auto& p) { WriteFileAtomically(p, EncodeDocument(Collection("Dritte"))); },
         {over, over}, {}, 2, "Unsere", true},
        {"changed during the question, then Abbrechen", [&](auto& p, auto&) { replace(p); },
         [&](auto& p) { WriteFileAtomically(p, EncodeDocument(Collection("Dritte"))); },
         {over, cancel}, {}, 2, "Dritte", false},
        {"deleted during the question, Überschreiben", [&](auto& p, auto&) { replace(p); },
         [](auto& p) { fs::remove(p); }, {over}, {}, 1, "Unsere", true},
        {"touched during the question, Überschreiben", [&](auto& p, auto&) { replace(p); },
         [&](auto& p) { touch(p); }, {over}, {}, 1, "Unsere", true},
    };
    // clang-format on
    const Operation operations[] = {
        {"Speichern", [](const std::string&) {},
         [](TMainWindow& form) { return form.MenuItem_SaveClick(); }},
        {"Speichern unter, derselbe Name",
         [](const std::string& path) {
             MessageService::Instance().QueueFileName(QString::fromStdString(path));
         },
         [](TMainWindow& form) { return form.MenuItem_SaveUnderClick(); }},
        {"Ja auf die Frage beim Schließen",
         [](const std::string&) { MessageService::Instance().QueueAnswer(MsgButton::Yes); },
         [](TMainWindow& form) {
             const bool closed = form.close();
             if (closed) form.show();
             return closed;
         }},
    };
    for (const Operation& op : operations) {
        for (const Change& c : changes) {
            SCOPED_TRACE(std::string(op.name) + " / " + c.name);
            TempDir dir;
            const std::string path = dir.File("a.pdt");
            SaveDocument(Collection("Erste"), path);
            OpenAndChange(path);
            c.before(path, dir);
            Messages().ClearLog();
            bool asked = false;
            // A merge overwrites the log's texts: the wording is read as it is asked.
            std::vector<AskedQuestion> questions;
            Messages().SetAskedHook([&](const AskedQuestion& q) {
                if (q.caption == kCaption) questions.push_back(q);
                if (q.caption != kCaption || asked) return;
                asked = true;
                if (c.duringQuestion) c.duringQuestion(path);
            });
            op.queue(path);
            for (const QString& answer : c.answers) Messages().QueueAnswer(answer);
            if (c.saveAsName) {
                Messages().QueueFileName(c.saveAsName->isEmpty()
                                             ? std::nullopt
                                             : std::optional(QString::fromStdString(
                                                   dir.File(c.saveAsName->toStdString()))));
            }
            const bool wentOn = op.run(Form());
            Messages().SetAskedHook(nullptr);

            EXPECT_EQ(wentOn, c.wentOn);
            EXPECT_EQ(ChangeQuestions(), c.questions);
            EXPECT_EQ(KeyIn(path), c.keyInFile);
            EXPECT_EQ(Doc().Modified, !c.wentOn);
            EXPECT_TRUE(Unanswered().isEmpty()) << Unanswered().toStdString();
            if (c.saveAsName && !c.saveAsName->isEmpty()) {
                const std::string other = dir.File(c.saveAsName->toStdString());
                EXPECT_EQ(KeyIn(other), "Unsere");
                EXPECT_EQ(Session().FileName(), other);
            } else {
                EXPECT_EQ(Session().FileName(), path);
            }
            // The question's wording, asked about this file.
            for (const AskedQuestion& q : questions) {
                EXPECT_EQ(q.text.toStdString(),
                          "Die Datei " + path +
                              " wurde seit dem Öffnen von einem anderen Programm geändert. Wenn "
                              "Sie jetzt speichern, gehen diese Änderungen verloren.");
                EXPECT_EQ(q.icon, MsgIcon::Warning);
                EXPECT_EQ(q.choices, (QStringList{merge, over, saveAs, cancel}));
                EXPECT_EQ(q.defaultChoice, 0);
                EXPECT_EQ(q.escapeChoice, 3);
            }
            // A save that wrote remembers what it wrote: the next save asks nothing.
            if (c.wentOn) {
                Messages().ClearLog();
                EXPECT_TRUE(Form().MenuItem_SaveClick());
                EXPECT_EQ(ChangeQuestions(), 0);
            }
            Messages().ClearLog();
        }
    }
}

// Only the file the document came from is compared: Save as onto another file
// (which the file dialog has asked about) and a document never read ask nothing.
TEST_F(FileChangeTest, OtherFilesAndUnrememberedNamesAreNotCompared) {
    TempDir dir;
    const std::string path = dir.File("a.pdt");
    const std::string other = dir.File("b.pdt");
    SaveDocument(Collection("Erste"), path);
    SaveDocument(Collection("Zweite"), other);
    OpenAndChange(path);
    WriteFileAtomically(path, EncodeDocument(Collection("Fremde")));
    Messages().QueueFileName(QString::fromStdString(other));
    EXPECT_TRUE(Form().MenuItem_SaveUnderClick());
    EXPECT_EQ(ChangeQuestions(), 0);
    EXPECT_EQ(KeyIn(other), "Unsere");
    EXPECT_EQ(KeyIn(path), "Fremde");

    // The same file by another name is the same file: a link to the name, or
    // another hard link to the file.
    const std::string link = dir.File("verweis.pdt");
    const std::string hardLink = dir.File("zweiter-name.pdt");
    fs::create_symlink(other, link);
    fs::create_hard_link(other, hardLink);
    Messages().QueueFileName(QString::fromStdString(hardLink));
    Messages().QueueAnswer(QStringLiteral("Abbrechen"));
    {
        // Other bytes written into the file (the hard link shares them).
        std::string bytes = ReadBytes(other);
        bytes.back() ^= 1;
        WriteBytes(other, bytes);
    }
    Doc().Modified = true;
    EXPECT_FALSE(Form().MenuItem_SaveUnderClick());
    EXPECT_EQ(ChangeQuestions(), 1);
    WriteFileAtomically(other, EncodeDocument(Collection("Fremde")));
    Messages().QueueFileName(QString::fromStdString(link));
    Messages().QueueAnswer(QStringLiteral("Abbrechen"));
    Doc().Modified = true;
    EXPECT_FALSE(Form().MenuItem_SaveUnderClick());
    EXPECT_EQ(ChangeQuestions(), 2);
    EXPECT_EQ(Session().FileName(), other);

    // A name set without a load or a save has nothing to compare with.
    Messages().ClearLog();
    Session().New();
    Session().AssignFileName(path);
    EXPECT_TRUE(Form().MenuItem_SaveClick());
    EXPECT_EQ(ChangeQuestions(), 0);
}

// An encrypted file is compared by its encrypted bytes, and "Speichern unter..."
// keeps the chosen format.
TEST_F(FileChangeTest, EncryptedFilesAreComparedToo) {
    SetEncryptionWorkFactor(1);
    TempDir dir;
    const std::string path = dir.File("a.pdt.age");
    TDocument first = Collection("Erste");
    first.Password = "geheim";
    first.Format = TDocument::TFormat::Encrypted;
    SaveDocument(first, path);
    Messages().QueueInput(QStringLiteral("geheim"));
    OpenAndChange(path);
    EXPECT_EQ(Doc().Format, TDocument::TFormat::Encrypted);
    // The same texts encrypted anew are other bytes.
    SaveDocument(first, path);
    Messages().QueueAnswer(QStringLiteral("Abbrechen"));
    EXPECT_FALSE(Form().MenuItem_SaveClick());
    EXPECT_EQ(ChangeQuestions(), 1);
    Messages().QueueAnswer(QStringLiteral("Überschreiben"));
    EXPECT_TRUE(Form().MenuItem_SaveClick());
    EXPECT_EQ(KeyIn(path, "geheim"), "Unsere");
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
}

TEST_F(FileChangeTest, BackupOptionIsInTheOptionsMenuAndKeptInTheSettings) {
    QMenu* options = nullptr;
    for (QAction* a : Form().menuBar()->actions()) {
        if (a->text() == "&Optionen") options = a->menu();
    }
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->actions().contains(Named<QAction>(Form(), "MenuItem_BackupOnSave")));
    EXPECT_EQ(Named<QAction>(Form(), "MenuItem_BackupOnSave")->text(),
              "Sicherungskopie beim Speichern");
    EXPECT_TRUE(Named<QAction>(Form(), "MenuItem_BackupOnSave")->isCheckable());
    EXPECT_FALSE(Named<QAction>(Form(), "MenuItem_BackupOnSave")->isChecked());

    TSettingsStore reg(Hive::CurrentUser);
    for (const bool on : {true, false, true}) {
        Named<QAction>(Form(), "MenuItem_BackupOnSave")->setChecked(on);
        form_.reset();
        ASSERT_TRUE(reg.OpenKey("Software\\QZ\\Dorvanta", false));
        EXPECT_EQ(reg.GetDataType("BackupOnSave"), RegDataType::Integer);
        EXPECT_EQ(reg.ReadInteger("BackupOnSave"), on ? 1 : 0);
        reg.CloseKey();
        NewWindow();
        EXPECT_EQ(Named<QAction>(Form(), "MenuItem_BackupOnSave")->isChecked(), on);
    }
}

TEST_F(FileChangeTest, BackupOnSave) {
    SetEncryptionWorkFactor(1);
    struct Case {
        const char* name;
        bool on;
        bool firstSave;  // Save as to a name where no file is yet
        bool encrypted;
        bool blocked;  // a folder holds the backup's name
        bool backup;   // a backup of the previous file is there afterwards
        bool reported;
    };
    const Case cases[] = {
        {"off", false, false, false, false, false, false},
        {"on", true, false, false, false, true, false},
        {"on, first save", true, true, false, false, false, false},
        {"on, encrypted", true, false, true, false, true, false},
        {"on, backup not writable", true, false, false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File(c.encrypted ? "a.pdt.age" : "a.pdt");
        const std::string bak = path + ".bak";
        Named<QAction>(Form(), "MenuItem_BackupOnSave")->setChecked(c.on);
        if (c.firstSave) {
            Doc().ClearDocument();
            Doc().Keys = Collection("Unsere").Keys;
            Messages().QueueFileName(QString::fromStdString(path));
            EXPECT_TRUE(Form().MenuItem_SaveUnderClick());
        } else {
            TDocument first = Collection("Erste");
            if (c.encrypted) {
                first.Password = "geheim";
                first.Format = TDocument::TFormat::Encrypted;
                Messages().QueueInput(QStringLiteral("geheim"));
            }
            SaveDocument(first, path);
            ::chmod(path.c_str(), 0640);
            const std::string previous = ReadBytes(path);
            if (c.blocked) fs::create_directory(bak);
            OpenAndChange(path);
            if (c.reported) Messages().QueueAnswer(MsgButton::Ok);
            EXPECT_TRUE(Form().MenuItem_SaveClick());
            if (c.backup) {
                EXPECT_EQ(ReadBytes(bak), previous);
                EXPECT_EQ(KeyIn(bak, "geheim"), "Erste");
                EXPECT_EQ(age::IsEncrypted(ReadBytes(bak)), c.encrypted);
                struct stat st {};
                ASSERT_EQ(::stat(bak.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, 0640u);
            }
        }
        EXPECT_EQ(KeyIn(path, "geheim"), "Unsere");  // the save happened
        EXPECT_EQ(fs::is_regular_file(bak), c.backup);
        EXPECT_FALSE(Doc().Modified);
        const bool reported =
            !Messages().Asked().empty() && Messages().Asked().back().caption == "Sicherungskopie";
        EXPECT_EQ(reported, c.reported);
        if (reported) {
            EXPECT_EQ(Messages().Asked().back().text.toStdString(),
                      "Die Sicherungskopie " + bak +
                          " konnte nicht angelegt werden. Die Datei wurde ohne "
                          "Sicherungskopie gespeichert.");
            EXPECT_EQ(Messages().Asked().back().icon, MsgIcon::Warning);
        }
        // A second save keeps the first save's file.
        if (c.backup) {
            Doc().Keys[0].Name = "Neuere";
            EXPECT_TRUE(Form().MenuItem_SaveClick());
            EXPECT_EQ(KeyIn(bak, "geheim"), "Unsere");
        }
        Messages().ClearLog();
    }
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
}

// A folder the user may not write: the backup fails. When the file itself lies
// elsewhere (the name is a link), the save still happens and the failed backup
// is reported; when the file lies in that folder too, the save cannot happen
// either, and only its error is shown (the file is as it was, so nothing is lost).
TEST_F(FileChangeTest, BackupInAReadOnlyFolder) {
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all, fs::perm_options::add);
    const fs::path ro = dir.Path() / "ro";
    const fs::path rw = dir.Path() / "rw";
    fs::create_directory(ro);
    fs::create_directory(rw);
    fs::permissions(rw, fs::perms::all, fs::perm_options::add);
    const std::string real = (rw / "a.pdt").string();
    const std::string linked = (ro / "a.pdt").string();
    const std::string inside = (ro / "b.pdt").string();
    SaveDocument(Collection("Erste"), real);
    SaveDocument(Collection("Erste"), inside);
    ::chmod(real.c_str(), 0666);
    ::chmod(inside.c_str(), 0666);
    fs::create_symlink(real, linked);
    ::chmod(ro.c_str(), 0555);
    Named<QAction>(Form(), "MenuItem_BackupOnSave")->setChecked(true);

    struct Case {
        std::string path;
        bool saved;
        const char* lastCaption;
        std::string lastText;
    };
    const Case cases[] = {
        {linked, true, "Sicherungskopie",
         "Die Sicherungskopie " + linked +
             ".bak konnte nicht angelegt werden. Die Datei wurde ohne Sicherungskopie "
             "gespeichert."},
        {inside, false, "Dorvanta", "Datei " + inside + " kann nicht erstellt werden."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        OpenAndChange(c.path);
        Messages().ClearLog();
        // Root writes anywhere: the save runs in a child process without privileges,
        // which tells by its exit status what it saw.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
            Messages().QueueAnswer(MsgButton::Ok);
            bool saved = false;
            RunGuarded([&] { saved = Form().MenuItem_SaveClick(); });
            const auto& asked = Messages().Asked();
            if (saved != c.saved) ::_exit(11);
            if (asked.size() != 1 || !asked[0].answered) ::_exit(12);
            if (asked[0].caption != c.lastCaption) ::_exit(13);
            if (asked[0].text.toStdString() != c.lastText) ::_exit(14);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(KeyIn(c.path), c.saved ? "Unsere" : "Erste");
        EXPECT_FALSE(fs::exists(c.path + ".bak"));
    }
    ::chmod(ro.c_str(), 0755);
}

}  // namespace
}  // namespace dorvanta
