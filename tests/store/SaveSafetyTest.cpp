// A failed save must leave the previous file exactly as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "store/AgeFile.h"
#include "store/FileIO.h"
#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

TDocument BigDocument() {
    TDocument doc;
    doc.Keys.push_back({"k", "p", {}});
    for (int i = 0; i < 2000; ++i)
        doc.Keys[0].Data.push_back({std::to_string(i), "value", "", 1.0});
    return doc;
}

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Runs `action` with writes limited to 1 KiB, which then fail the way they do on
// a full disk.
template <class Action>
auto UnderFileSizeLimit(Action action) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 1024;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto result = action();
    setrlimit(RLIMIT_FSIZE, &old);
    return result;
}

TEST(SaveSafety, FullDiskLeavesTheOldFileAndNoLeftovers) {
    TempDir dir;
    const std::string path = dir.File("daten.pdt");
    WriteBytes(path, "OLD CONTENT");
    const std::string message = UnderFileSizeLimit([&] {
        try {
            SaveDocument(BigDocument(), path);
        } catch (const EStoreError& e) {
            return std::string(e.what());
        }
        return std::string();
    });
    EXPECT_EQ(message, kMsgWriteError);
    EXPECT_EQ(ReadBytes(path), "OLD CONTENT");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SaveSafety, UnwritableFolderLeavesTheOldFile) {
    TempDir dir;
    const fs::path folder = dir.Path() / "ro";
    fs::create_directory(folder);
    const std::string path = (folder / "daten.pdt").string();
    WriteBytes(path, "OLD CONTENT");
    chmod(path.c_str(), 0644);
    chmod(folder.c_str(), 0555);
    // Root writes anywhere, so the attempt runs in a child without privileges.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
        try {
            SaveDocument(BigDocument(), path);
        } catch (const EStoreError& e) {
            _exit(std::string(e.what()) == "Datei " + path + " kann nicht erstellt werden" ? 0
                                                                                           : 11);
        }
        _exit(12);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(path), "OLD CONTENT");
}

TEST(SaveSafety, PermissionsAndSymbolicLinks) {
    TempDir dir;
    const std::string fresh = dir.File("neu.pdt");
    SaveDocument(TDocument{}, fresh);
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    chmod(fresh.c_str(), 0640);
    SaveDocument(BigDocument(), fresh);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Saving through a link writes the file it names and keeps the link.
    const std::string link = dir.File("link.pdt");
    fs::create_symlink("neu.pdt", link);
    SaveDocument(TDocument{}, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(fresh), std::string("\x01\x06\x00\x00", 4));
}

TEST(SaveSafety, MissingFolderCannotBeCreated) {
    TempDir dir;
    const std::string path = dir.File("gibt/es/nicht.pdt");
    try {
        SaveDocument(TDocument{}, path);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht erstellt werden");
    }
}

// A path of exactly `length` bytes under `dir`: folders of 200-byte names, made
// one inside the other (mkdir takes no path that long), and a file name.
std::string PathOfLength(const std::string& dir, std::size_t length) {
    std::string path = dir;
    int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (length - path.size() > 250) {
        const std::string name(200, 'd');
        ::mkdirat(folder, name.c_str(), 0700);
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = inner;
        path += "/" + name;
    }
    ::close(folder);
    return path + "/" + std::string(length - path.size() - 1, 'f');
}

// A path that open() cannot take (PATH_MAX, 4096 bytes with its end) is refused
// before anything is written, in either format; one byte less saves and reopens.
TEST(SaveSafety, PathsTooLongToReopenAreRefused) {
    TempDir dir;
    const std::string refusal =
        "Der Pfad der Datei ist zu lang (höchstens 4.095 Bytes): unter ihm ließe sich die "
        "Datei nicht wieder öffnen. Es wurde nichts gespeichert.";
    const int workFactor = EncryptionWorkFactor();
    SetEncryptionWorkFactor(1);
    struct Case {
        std::size_t length;
        bool encrypted;
        bool saved;
    };
    for (const Case& c : {Case{4095, false, true}, Case{4095, true, true}, Case{4096, false, false},
                          Case{4096, true, false}, Case{4100, false, false}}) {
        SCOPED_TRACE(std::to_string(c.length) + (c.encrypted ? " age" : " pdt"));
        const std::string path = PathOfLength(dir.Path().string(), c.length);
        ASSERT_EQ(path.size(), c.length);
        TDocument doc;
        doc.Keys.push_back({"Unter", TSharedText("Ober"), {}});
        doc.Password = "Geheim";
        if (c.encrypted) doc.Format = TDocument::TFormat::Encrypted;
        std::string error;
        try {
            SaveDocument(doc, path);
        } catch (const EStoreError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.saved ? "" : refusal);
        int files = 0;  // no temporary file either
        for (const auto& entry :
             std::filesystem::directory_iterator(path.substr(0, path.rfind('/')))) {
            files += entry.is_directory() ? 0 : 1;
        }
        EXPECT_EQ(files, c.saved ? 1 : 0);
        if (!c.saved) continue;
        TDocument read;
        TLoadHooks hooks;
        hooks.AskPassword = [](const std::string&) { return std::optional<std::string>("Geheim"); };
        hooks.AskPassphrase = [](const std::string&, int) {
            return std::optional<std::string>("Geheim");
        };
        EXPECT_TRUE(LoadDocument(read, path, hooks));
        EXPECT_EQ(read.Keys.size(), 1u);
        std::filesystem::remove(path);
    }
    SetEncryptionWorkFactor(workFactor);
}

// The exit code of `action` run in a child with the user and group `id`
// (root may write anything, so rights are checked without privileges).
int RunAs(uid_t id, const std::function<int()>& action) {
    const pid_t child = fork();
    if (child == 0) _exit(setgid(id) == 0 && setuid(id) == 0 ? action() : 99);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr uid_t kNobody = 65534;

// Both ways of making the temporary file: the anonymous one, and the named one
// that file systems without anonymous files get.
TEST(SaveSafety, ReplacementKeepsAttributesAndFailsCleanlyEitherWay) {
    for (const auto kind : {detail::TempFileKind::Anonymous, detail::TempFileKind::Named}) {
        SCOPED_TRACE(kind == detail::TempFileKind::Anonymous ? "anonymous" : "named");
        TempDir dir;
        const std::string path = dir.File("daten.pdt");
        ASSERT_EQ(detail::WriteFileAtomically(path, "NEW", kind), AtomicWriteResult::Ok);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);

        // An existing file keeps its permissions and owner; the save replaces it,
        // so a second hard link keeps the old contents.
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        const bool root = geteuid() == 0;  // only root may give the file another group
        if (root) {
            ASSERT_EQ(chown(path.c_str(), 0, kNobody), 0);
        }
        ASSERT_EQ(link(path.c_str(), dir.File("zweiter.pdt").c_str()), 0);
        ASSERT_EQ(detail::WriteFileAtomically(path, "NEWER", kind), AtomicWriteResult::Ok);
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        if (root) {
            EXPECT_EQ(st.st_gid, kNobody);
        }
        EXPECT_EQ(ReadBytes(path), "NEWER");
        EXPECT_EQ(ReadBytes(dir.File("zweiter.pdt")), "NEW");

        // Past a file-size limit: the old file stays and nothing is left behind.
        EXPECT_EQ(UnderFileSizeLimit([&] {
                      return detail::WriteFileAtomically(path, std::string(4096, 'x'), kind);
                  }),
                  AtomicWriteResult::WriteFailed);
        EXPECT_EQ(ReadBytes(path), "NEWER");
        EXPECT_EQ(FilesIn(dir.Path()), 2u);
    }
}

TEST(SaveSafety, APreparedSaveLeavesNothingUntilCommittedAndClearsKilledSavesLeftovers) {
    TempDir dir;
    const std::string path = dir.File("a.pdt");
    WriteBytes(path, "ALT");
    const auto age = [&](const std::string& name, int seconds) {
        const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.File(name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    };
    enum Hold { None, Open, Locked };  // how this process holds the file meanwhile
    struct Case {
        const char* name;
        int age;
        Hold hold;
        bool removed;
    };
    const Case leftovers[] = {
        {".a.pdt.dorvanta-Ab3xY9.tmp", 120, None, true},
        {".a.pdt.bak.dorvanta-Qz09aZ.tmp", 120, None, true},
        {".a.pdt.dorvanta-Ab3xY8.tmp", 10, None, false},
        {".a.pdt.dorvanta-Ab3xY7.tmp", 120, Open, false},
        {".a.pdt.dorvanta-Ab3xY6.tmp", 120, Locked, false},
        {".a.pdt.dorvanta-Ab3xY.tmp", 120, None, false},
        {".a.pdt.dorvanta-Ab3xY9z.tmp", 120, None, false},
        {".a.pdt.dorvanta-Ab-xY9.tmp", 120, None, false},
        {".a.pdt.dorvanta-Ab3xY9", 120, None, false},
        {".a.pdt.dorvanta-Ab3xY9.tmpx", 120, None, false},
        {".b.pdt.dorvanta-Ab3xY9.tmp", 120, None, false},
        {"a.pdt.dorvanta-Ab3xY9.tmp", 120, None, false},
        {".a.pdtx.dorvanta-Ab3xY9.tmp", 120, None, false},
        // Other programs' files beside it, named as our temporary files were once.
        {".a.pdt.Ab3xY9", 120, None, false},
        {".a.pdt.bak.Qz09aZ", 120, None, false},
        {".a.pdt.Ab12Cd", 120, Open, false},
        {".a.pdt.backup", 120, None, false},
        {".a.pdt.kopie1", 120, None, false},
        {".a.pdt.bak.sicher", 120, None, false},
    };
    std::vector<int> held;
    for (const Case& c : leftovers) {
        WriteBytes(dir.File(c.name), "REST");
        age(c.name, c.age);
        if (c.hold == None) continue;
        held.push_back(::open(dir.File(c.name).c_str(), O_RDONLY | O_CLOEXEC));
        if (c.hold == Locked) {
            ASSERT_EQ(::flock(held.back(), LOCK_EX | LOCK_NB), 0);
        }
    }
    // Of the pattern, but a link (not followed, the file it names untouched) and a folder.
    WriteBytes(dir.File("ziel"), "ZIEL");
    ASSERT_EQ(::symlink("ziel", dir.File(".a.pdt.dorvanta-Link01.tmp").c_str()), 0);
    age(".a.pdt.dorvanta-Link01.tmp", 120);
    fs::create_directory(dir.File(".a.pdt.dorvanta-Ordner.tmp"));
    age(".a.pdt.dorvanta-Ordner.tmp", 120);
    for (const auto kind : {detail::TempFileKind::Anonymous, detail::TempFileKind::Named}) {
        SCOPED_TRACE(kind == detail::TempFileKind::Anonymous ? "anonymous" : "named");
        const std::size_t before = FilesIn(dir.Path());
        {
            TPreparedWrite write;
            ASSERT_EQ(write.Open(path, {}, kind), AtomicWriteResult::Ok);
            write.Write("NEU", 3);
            ASSERT_EQ(write.Finish(), AtomicWriteResult::Ok);
            EXPECT_EQ(ReadBytes(path), "ALT");
        }
        // Dropped without Commit: nothing of it stays.
        EXPECT_EQ(ReadBytes(path), "ALT");
        const bool named = kind == detail::TempFileKind::Named;
        EXPECT_EQ(FilesIn(dir.Path()), before - (named ? 2 : 0));
    }
    for (const Case& c : leftovers) {
        EXPECT_EQ(fs::exists(dir.File(c.name)), !c.removed) << c.name;
    }
    EXPECT_TRUE(fs::is_symlink(dir.File(".a.pdt.dorvanta-Link01.tmp")));
    EXPECT_TRUE(fs::is_directory(dir.File(".a.pdt.dorvanta-Ordner.tmp")));
    EXPECT_EQ(ReadBytes(dir.File("ziel")), "ZIEL");
    for (const int fd : held) ::close(fd);
}

// Another program's file put in place after the caller's last look at the target
// (renamed over it, as editors and sync tools save, written into it, or removed)
// is not overwritten: the commit leaves it and reports the change. Looked at
// again, the same prepared save is committed.
TEST(SaveSafety, AFileChangedAfterTheLastLookIsKeptAndReported) {
    const struct {
        const char* name;
        std::function<void(const std::string& path)> change;
        const char* left;  // what the other program left at the path; nullptr: nothing
    } cases[] = {
        {"renamed over",
         [](const std::string& path) {
             WriteBytes(path + ".neu", "FREMD");
             ASSERT_EQ(rename((path + ".neu").c_str(), path.c_str()), 0);
         },
         "FREMD"},
        {"written into", [](const std::string& path) { WriteBytes(path, "FREMD UND MEHR"); },
         "FREMD UND MEHR"},
        {"removed", [](const std::string& path) { ASSERT_EQ(unlink(path.c_str()), 0); }, nullptr},
    };
    for (const auto kind : {detail::TempFileKind::Anonymous, detail::TempFileKind::Named}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) +
                         (kind == detail::TempFileKind::Anonymous ? ", anonymous" : ", named"));
            TempDir dir;
            const std::string path = dir.File("daten.pdt");
            WriteBytes(path, "ALT");
            // An hour old, so that a rewrite now gives another modification time.
            const timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
            TPreparedSave save(BigDocument(), path, {}, kind);
            const TFileStamp looked = StampOfFile(path);
            c.change(path);
            try {
                save.Commit(&looked);
                ADD_FAILURE() << "committed over the other program's file";
            } catch (const EFileChangedMeanwhile& e) {
                EXPECT_EQ(std::string(e.what()), "Datei " + path +
                                                     " wurde soeben von einem anderen Programm "
                                                     "geändert und nicht überschrieben");
            }
            if (c.left) {
                EXPECT_EQ(ReadBytes(path), c.left);
            } else {
                EXPECT_FALSE(fs::exists(path));
            }
            const TFileStamp again = StampOfFile(path);
            save.Commit(&again);
            TDocument loaded;
            ASSERT_TRUE(LoadDocument(loaded, path));
            EXPECT_EQ(loaded.Keys.at(0).Data.size(), 2000u);
            EXPECT_EQ(FilesIn(dir.Path()), 1u);
        }
    }
}

// A link in a sticky folder that everyone may write (like /tmp) is followed only
// when it belongs to the user or to the folder's owner, at every link of a chain,
// whatever the system's fs.protected_symlinks says.
TEST(SaveSafety, LinksInSharedFoldersAreFollowedOnlyWhenTrusted) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    constexpr uid_t kOther = 12345;
    struct Case {
        const char* what;
        mode_t folderMode;
        uid_t folderOwner, linkOwner;
        bool throughOwnLink, followed;
    };
    const Case cases[] = {
        {"own link", 01777, 0, 0, false, true},
        {"someone else's link", 01777, 0, kOther, false, false},
        {"someone else's link behind an own link", 01777, 0, kOther, true, false},
        {"the folder owner's link", 01777, kOther, kOther, false, true},
        {"a folder that is not sticky", 0777, 0, kOther, false, true},
        {"a sticky folder only its owner writes", 01755, 0, kOther, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path shared = dir.Path() / "shared";
        fs::create_directory(shared);
        ASSERT_EQ(chown(shared.c_str(), c.folderOwner, 0), 0);
        ASSERT_EQ(chmod(shared.c_str(), c.folderMode), 0);
        const std::string victim = dir.File("notes.txt");
        WriteBytes(victim, "VICTIM");
        const std::string link = (shared / "export.pdt").string();
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        ASSERT_EQ(lchown(link.c_str(), c.linkOwner, 0), 0);
        const std::string path = c.throughOwnLink ? dir.File("mine.pdt") : link;
        if (c.throughOwnLink) {
            ASSERT_EQ(symlink(link.c_str(), path.c_str()), 0);
        }

        EXPECT_EQ(WriteFileAtomically(path, "NEW"),
                  c.followed ? AtomicWriteResult::Ok : AtomicWriteResult::CannotCreate);
        EXPECT_EQ(ReadBytes(victim), c.followed ? "NEW" : "VICTIM");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(FilesIn(shared), 1u);
    }
}

// A loop or a chain longer than the kernel follows (40 links) fails instead of
// replacing the first link with a file.
TEST(SaveSafety, LinkLoopsAndOverlongChainsFail) {
    TempDir dir;
    const auto chain = [&](const std::string& prefix, int links) {
        for (int i = 0; i < links; ++i)
            fs::create_symlink(prefix + std::to_string(i + 1),
                               dir.File(prefix + std::to_string(i)));
        return dir.File(prefix + "0");
    };
    fs::create_symlink("self", dir.File("self"));
    fs::create_symlink("b", dir.File("a"));
    fs::create_symlink("a", dir.File("b"));
    const struct {
        std::string path;
        AtomicWriteResult result;
    } cases[] = {
        {dir.File("self"), AtomicWriteResult::CannotCreate},
        {dir.File("a"), AtomicWriteResult::CannotCreate},
        {chain("long", 41), AtomicWriteResult::CannotCreate},
        {chain("ok", 40), AtomicWriteResult::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(WriteFileAtomically(c.path, "NEW"), c.result);
        EXPECT_TRUE(fs::is_symlink(c.path));
    }
    EXPECT_EQ(ReadBytes(dir.File("ok40")), "NEW");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("long41"))));
}

// A file the user may not write is not replaced, though the folder would allow
// it; root may write anything, as in place.
TEST(SaveSafety, FilesTheUserMayNotWriteAreKept) {
    if (geteuid() != 0) GTEST_SKIP() << "switching users needs root";
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0711), 0);
    const fs::path folder = dir.Path() / "user";
    fs::create_directory(folder);
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    const struct {
        const char* name;
        mode_t mode;
        uid_t owner;
        bool replaced;
    } cases[] = {
        {"read-only.pdt", 0444, kNobody, false},
        {"roots.pdt", 0644, 0, false},
        {"writable.pdt", 0644, kNobody, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (folder / c.name).string();
        WriteBytes(path, "OLD");
        ASSERT_EQ(chown(path.c_str(), c.owner, c.owner), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        const int code =
            RunAs(kNobody, [&] { return static_cast<int>(WriteFileAtomically(path, "NEW")); });
        EXPECT_EQ(code, static_cast<int>(c.replaced ? AtomicWriteResult::Ok
                                                    : AtomicWriteResult::CannotCreate));
        EXPECT_EQ(ReadBytes(path), c.replaced ? "NEW" : "OLD");
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_uid, c.owner);
    }
    const std::string readOnly = (folder / "read-only.pdt").string();
    EXPECT_EQ(WriteFileAtomically(readOnly, "ROOT"), AtomicWriteResult::Ok);
    EXPECT_EQ(ReadBytes(readOnly), "ROOT");
    EXPECT_EQ(FilesIn(folder), 3u);
}

// A file made read-only while an encrypted save derives its key is kept, with the
// message a read-only file gets at the start; nothing of the save stays. Run as
// an ordinary user, as root may write anything.
TEST(SaveSafety, AFileMadeReadOnlyDuringTheSaveIsKept) {
    const bool root = geteuid() == 0;
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0711), 0);
    const fs::path folder = dir.Path() / "user";
    fs::create_directory(folder);
    if (root) {
        ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    }
    for (const auto kind : {detail::TempFileKind::Anonymous, detail::TempFileKind::Named}) {
        SCOPED_TRACE(kind == detail::TempFileKind::Anonymous ? "anonymous" : "named");
        const std::string path = (folder / "daten.pdt").string();
        WriteBytes(path, "OLD");
        ASSERT_EQ(chmod(path.c_str(), 0644), 0);
        if (root) {
            ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
        }
        const auto save = [&] {
            SetEncryptionWorkFactor(1);
            TDocument doc;
            doc.Keys.push_back({"k", "p", {{"Konto", "1", "", 1.0}}});
            doc.Format = TDocument::TFormat::Encrypted;
            doc.Password = "geheim";
            const TBusyRunner derive = [&](const std::function<void()>& work) {
                work();
                ::chmod(path.c_str(), 0444);
            };
            try {
                TPreparedSave(doc, path, derive, kind).Commit();
            } catch (const EStoreError& e) {
                return std::string(e.what()) == "Datei " + path + " kann nicht erstellt werden" ? 0
                                                                                                : 2;
            }
            return 1;
        };
        EXPECT_EQ(root ? RunAs(kNobody, save) : save(), 0);
        SetEncryptionWorkFactor(age::kWriteWorkFactor);
        EXPECT_EQ(ReadBytes(path), "OLD");
        EXPECT_EQ(FilesIn(folder), 1u);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
        ASSERT_EQ(unlink(path.c_str()), 0);
    }
}

}  // namespace
}  // namespace dorvanta
