// What a load and a save remember of their file, how a later look at the disk
// compares with it, the digest behind both, and the backup copy of a save.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>

#include "store/AgeFile.h"
#include "store/ContentDigest.h"
#include "store/FileIO.h"
#include "store/FileStamp.h"
#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

// Runs `check` in a child process that cannot write where only root could (the
// tests may run as root, who writes anywhere); true when it returned true.
bool AsUnprivileged(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TDocument Sample(const std::string& key = "Giro") {
    TDocument doc;
    doc.Keys = {{key, "Bank", {{"IBAN", "DE12", "Haus", 1.5}}}};
    return doc;
}

// Sets a file's modification time to `seconds` (its status-change time becomes now).
void Touch(const std::string& path, long seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

// Pieces of any size give the digest of the whole.
TEST(ContentDigest, PiecesGiveTheDigestOfTheWhole) {
    std::mt19937 random(20);
    for (std::size_t n = 0; n < 700; n += (n < 200 ? 1 : 37)) {
        std::string bytes(n, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        TContentDigest digest;
        for (std::size_t at = 0; at < n;) {
            const std::size_t piece = std::min<std::size_t>(n - at, random() % 150);
            digest.Update(bytes.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(digest.Final(), TContentDigest::Of(bytes)) << n;
        if (n > 0) {  // one bit changed anywhere changes the digest
            std::string changed = bytes;
            changed[random() % n] ^= static_cast<char>(1 << (random() % 8));
            EXPECT_NE(TContentDigest::Of(changed), TContentDigest::Of(bytes)) << n;
        }
    }
}

// A load remembers the file's status and the digest of every byte it holds: the
// pdt bytes, or an encrypted file's encrypted bytes, bytes after the list's end
// included.
TEST(FileStamp, LoadAndSaveRememberTheFileTheyReadOrWrote) {
    TempDir dir;
    SetEncryptionWorkFactor(1);
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* password;  // typed at the prompt
    };
    const Case cases[] = {
        {"plain", [](const std::string& p) { SaveDocument(Sample(), p); }, nullptr},
        {"protected",
         [](const std::string& p) {
             TDocument doc = Sample();
             doc.Password = "geheim";
             SaveDocument(doc, p);
         },
         "geheim"},
        {"encrypted",
         [](const std::string& p) {
             TDocument doc = Sample();
             doc.Password = "geheim";
             doc.Format = TDocument::TFormat::Encrypted;
             SaveDocument(doc, p);
         },
         "geheim"},
        {"with a tail",
         [](const std::string& p) {
             WriteBytes(p, EncodeDocument(Sample()) + std::string(100000, 'T'));
         },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".pdt");
        c.make(path);
        TDocument doc;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) -> std::optional<std::string> {
            return c.password ? std::optional<std::string>(c.password) : std::nullopt;
        };
        TFileStamp stamp;
        ASSERT_TRUE(LoadDocument(doc, path, hooks, &stamp));
        const std::string bytes = ReadBytes(path);
        const struct stat st = StatOf(path);
        EXPECT_TRUE(stamp.Known);
        EXPECT_TRUE(stamp.Settled);
        EXPECT_TRUE(stamp.HasDigest);
        EXPECT_EQ(stamp.Digest, TContentDigest::Of(bytes));
        EXPECT_EQ(stamp.DigestedSize, bytes.size());
        EXPECT_EQ(stamp.Inode, st.st_ino);
        // Read just after it was written: its times could still be those of a rewrite.
        EXPECT_FALSE(SameStatus(stamp, st));
        EXPECT_EQ(CompareWithDisk(path, stamp), TDiskState::Unchanged);

        // A save remembers what it wrote, the same way.
        const TFileStamp saved = SaveDocument(doc, path);
        const std::string written = ReadBytes(path);
        EXPECT_TRUE(saved.Known && saved.Settled && saved.HasDigest);
        EXPECT_EQ(saved.Digest, TContentDigest::Of(written));
        EXPECT_EQ(saved.DigestedSize, written.size());
        EXPECT_FALSE(SameStatus(saved, StatOf(path)));
        EXPECT_EQ(CompareWithDisk(path, saved), TDiskState::Unchanged);
    }
    SetEncryptionWorkFactor(age::kWriteWorkFactor);

    // A refused password remembers nothing; nor does a failed load.
    const std::string locked = dir.File("protected.pdt");
    TDocument doc;
    TFileStamp stamp;
    stamp.Known = true;
    TLoadHooks cancel;
    cancel.AskPassword = [](const std::string&) { return std::nullopt; };
    EXPECT_FALSE(LoadDocument(doc, locked, cancel, &stamp));
    EXPECT_FALSE(stamp.Known);
    stamp.Known = true;
    WriteBytes(dir.File("kaputt.pdt"), "\x02");
    EXPECT_THROW(LoadDocument(doc, dir.File("kaputt.pdt"), {}, &stamp), EStoreError);
    EXPECT_FALSE(stamp.Known);
}

// A load sets the format of the file it reads: a plain file opened after an
// encrypted one is saved plain again.
TEST(FileStamp, ALoadSetsTheFormatOfItsFile) {
    TempDir dir;
    SetEncryptionWorkFactor(1);
    TDocument encrypted = Sample();
    encrypted.Password = "geheim";
    encrypted.Format = TDocument::TFormat::Encrypted;
    SaveDocument(encrypted, dir.File("e.pdt.age"));
    SaveDocument(Sample(), dir.File("p.pdt"));
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
    TDocument doc;
    TLoadHooks hooks;
    hooks.AskPassword = [](const std::string&) { return std::optional<std::string>("geheim"); };
    ASSERT_TRUE(LoadDocument(doc, dir.File("e.pdt.age"), hooks));
    EXPECT_EQ(doc.Format, TDocument::TFormat::Encrypted);
    ASSERT_TRUE(LoadDocument(doc, dir.File("p.pdt"), hooks));
    EXPECT_EQ(doc.Format, TDocument::TFormat::Plain);
    EXPECT_EQ(EncodeFile(doc), ReadBytes(dir.File("p.pdt")));
}

// The file system without anonymous temporary files gives the same stamp.
TEST(FileStamp, TheNamedTemporaryFileReportsTheFileItBecame) {
    TempDir dir;
    const std::string path = dir.File("a.pdt");
    for (const auto kind : {detail::TempFileKind::Anonymous, detail::TempFileKind::Named}) {
        TContentDigest sha;
        struct stat written {};
        TWriteOptions options;
        options.Digest = &sha;
        options.Written = &written;
        ASSERT_EQ(detail::WriteFileAtomically(path, "INHALT", kind, options),
                  AtomicWriteResult::Ok);
        const struct stat now = StatOf(path);
        EXPECT_EQ(written.st_ino, now.st_ino);
        EXPECT_EQ(written.st_ctim.tv_nsec, now.st_ctim.tv_nsec);
        EXPECT_EQ(written.st_mtim.tv_nsec, now.st_mtim.tv_nsec);
        EXPECT_EQ(sha.Final(), TContentDigest::Of("INHALT"));
    }
}

// A file with gigabytes after its list's end is not read to its end; it is
// remembered by its status, and any other status counts as a change.
TEST(FileStamp, AHugeTailIsRememberedByItsStatusAlone) {
    TempDir dir;
    const std::string path = dir.File("gross.pdt");
    WriteBytes(path, EncodeDocument(Sample()));
    fs::resize_file(path, 1ull << 34);
    TDocument doc;
    TFileStamp stamp;
    ASSERT_TRUE(LoadDocument(doc, path, {}, &stamp));
    EXPECT_TRUE(stamp.Known);
    EXPECT_FALSE(stamp.HasDigest);
    EXPECT_EQ(CompareWithDisk(path, stamp), TDiskState::Unchanged);
    Touch(path, 1000000000);
    EXPECT_EQ(CompareWithDisk(path, stamp), TDiskState::Changed);
}

// The table of what another program may have done to the file since.
TEST(FileStamp, TheDiskComparedWithTheStamp) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path, const TempDir&)> change;
        TDiskState state;
    };
    const std::string other = EncodeDocument(Sample("Fremd"));
    const Case cases[] = {
        {"unchanged", [](auto&, auto&) {}, TDiskState::Unchanged},
        {"touched, same bytes", [](auto& p, auto&) { Touch(p, 1000000000); },
         TDiskState::Unchanged},
        {"rewritten in place with the same bytes",
         [](auto& p, auto&) { WriteBytes(p, ReadBytes(p)); }, TDiskState::Unchanged},
        {"replaced by a copy of itself",
         [](auto& p, auto& d) {
             fs::copy_file(p, d.File("kopie"));
             fs::rename(d.File("kopie"), p);
         },
         TDiskState::Unchanged},
        {"other bytes", [&](auto& p, auto&) { WriteFileAtomically(p, other); },
         TDiskState::Changed},
        {"other bytes of the same size, in place, time set back",
         [](auto& p, auto&) {
             const struct stat st = StatOf(p);
             std::string bytes = ReadBytes(p);
             bytes.back() ^= 1;
             WriteBytes(p, bytes);
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, p.c_str(), times, 0);
         },
         TDiskState::Changed},
        {"deleted", [](auto& p, auto&) { fs::remove(p); }, TDiskState::Missing},
        {"replaced by a link to other bytes",
         [&](auto& p, auto& d) {
             WriteBytes(d.File("fremd.pdt"), other);
             fs::remove(p);
             fs::create_symlink(d.File("fremd.pdt"), p);
         },
         TDiskState::Changed},
        {"replaced by a link to the same bytes",
         [](auto& p, auto& d) {
             fs::rename(p, d.File("echt.pdt"));
             fs::create_symlink(d.File("echt.pdt"), p);
         },
         TDiskState::Unchanged},
        {"replaced by a link to nothing",
         [](auto& p, auto& d) {
             fs::remove(p);
             fs::create_symlink(d.File("nichts.pdt"), p);
         },
         TDiskState::Missing},
        {"replaced by a folder",
         [](auto& p, auto&) {
             fs::remove(p);
             fs::create_directory(p);
         },
         TDiskState::Changed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("a.pdt");
        const TFileStamp stamp = SaveDocument(Sample(), path);
        c.change(path, dir);
        TFileStamp now;
        EXPECT_EQ(CompareWithDisk(path, stamp, &now), c.state);
        if (c.state != TDiskState::Changed) {
            EXPECT_EQ(now.Known, c.state == TDiskState::Unchanged);
        }
        // What was found is the start of the next comparison: a file changed again
        // after it was looked at is a change, even when its bytes are the first ones.
        if (c.state == TDiskState::Changed && now.Known) {
            EXPECT_EQ(CompareWithDisk(path, now), TDiskState::Unchanged);
            WriteFileAtomically(path, EncodeDocument(Sample()));
            EXPECT_EQ(CompareWithDisk(path, now), TDiskState::Changed);
        }
    }
    // A file that cannot be read is a change: nothing vouches for its bytes.
    TempDir dir;
    const std::string path = dir.File("a.pdt");
    const TFileStamp stamp = SaveDocument(Sample(), path);
    Touch(path, 1000000000);
    ::chmod(path.c_str(), 0);
    EXPECT_TRUE(
        AsUnprivileged([&] { return CompareWithDisk(path, stamp) == TDiskState::Changed; }));
    // Nothing remembered compares with nothing.
    EXPECT_EQ(CompareWithDisk(path, TFileStamp{}), TDiskState::Changed);
}

// The backup copy: the previous bytes exactly, the file's permissions, replaced
// atomically; nothing when there is no file; Failed when it cannot be written.
// Overwrites a file's bytes in place with as many others, keeping its inode.
void RewriteInPlace(const std::string& path) {
    std::string bytes = ReadBytes(path);
    bytes.back() = static_cast<char>(bytes.back() ^ 1);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// A rewrite of the same size within the timestamp granularity of a load or save
// keeps every time on a file system of whole seconds: the content tells.
void ExpectSameSecondRewriteSeen(const std::string& dir, bool simulate) {
    struct Case {
        const char* name;
        bool save;
    };
    for (const Case& c : {Case{"laden", false}, Case{"speichern", true}}) {
        SCOPED_TRACE(c.name);
        if (simulate && c.save) continue;  // a save's own times are not whole seconds here
        const std::string path = dir + "/" + c.name + ".pdt";
        SaveDocument(Sample(), path);
        struct timespec now {};
        // Start early in a second, so that stamp and rewrite share it.
        do ::clock_gettime(CLOCK_REALTIME, &now);
        while (now.tv_nsec > 300'000'000);
        if (simulate) Touch(path, now.tv_sec);
        TFileStamp stamp;
        TDocument doc;
        if (c.save) {
            stamp = SaveDocument(Sample(), path);
        } else {
            ASSERT_TRUE(LoadDocument(doc, path, {}, &stamp));
        }
        RewriteInPlace(path);
        if (simulate) {
            // What whole seconds would show: the times of the stamp.
            Touch(path, now.tv_sec);
            stamp.Changed = StatOf(path).st_ctim;
        }
        EXPECT_EQ(CompareWithDisk(path, stamp), TDiskState::Changed);
        const TFileStamp settled = StampOfFile(path);
        EXPECT_EQ(CompareWithDisk(path, settled), TDiskState::Unchanged);
    }
}

TEST(FileStamp, ASameSecondRewriteIsSeen) {
    TempDir dir;
    ExpectSameSecondRewriteSeen(dir.File(""), true);
    // The real thing where it can be made: ext4 with 128-byte inodes keeps whole
    // seconds (only root can mount it).
    const std::string image = dir.File("coarse.img"), mount = dir.File("coarse");
    fs::create_directory(mount);
    const std::string make = "truncate -s 8M " + image + " && mkfs.ext4 -q -I 128 " + image + " >/dev/null" +
                             " 2>&1 && mount -o loop " + image + " " + mount +
                             " 2>/dev/null";
    if (::geteuid() != 0 || std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "no ext4 with whole seconds to mount";
    }
    ExpectSameSecondRewriteSeen(mount, false);
    EXPECT_EQ(std::system(("umount " + mount).c_str()), 0);
}

TEST(FileStamp, BackupCopies) {
    TempDir dir;
    const std::string path = dir.File("a.pdt");
    const std::string bak = dir.File("a.pdt.bak");
    EXPECT_EQ(BackupPath(path), bak);
    EXPECT_EQ(BackupFile(path), TBackupResult::NoFile);  // the first save
    EXPECT_FALSE(fs::exists(bak));

    WriteBytes(path, "ERSTE");
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(BackupFile(path), TBackupResult::Made);
    EXPECT_EQ(ReadBytes(bak), "ERSTE");
    EXPECT_EQ(StatOf(bak).st_mode & 07777, 0640u);
    // An older backup is replaced, not written into: a hard link to it keeps it.
    fs::create_hard_link(bak, dir.File("alt.bak"));
    WriteBytes(path, "ZWEITE");
    ::chmod(path.c_str(), 0604);
    EXPECT_EQ(BackupFile(path), TBackupResult::Made);
    EXPECT_EQ(ReadBytes(bak), "ZWEITE");
    EXPECT_EQ(StatOf(bak).st_mode & 07777, 0604u);
    EXPECT_EQ(ReadBytes(dir.File("alt.bak")), "ERSTE");
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }

    // An encrypted file's backup is its encrypted bytes.
    SetEncryptionWorkFactor(1);
    TDocument doc = Sample();
    doc.Password = "geheim";
    doc.Format = TDocument::TFormat::Encrypted;
    const std::string encrypted = dir.File("e.pdt.age");
    SaveDocument(doc, encrypted);
    SetEncryptionWorkFactor(age::kWriteWorkFactor);
    EXPECT_EQ(BackupFile(encrypted), TBackupResult::Made);
    EXPECT_EQ(ReadBytes(encrypted + ".bak"), ReadBytes(encrypted));
    EXPECT_TRUE(age::IsEncrypted(ReadBytes(encrypted + ".bak")));

    // A backup name taken by a folder, a read-only folder, an unreadable file.
    const std::string blocked = dir.File("b.pdt");
    WriteBytes(blocked, "B");
    fs::create_directory(blocked + ".bak");
    EXPECT_EQ(BackupFile(blocked), TBackupResult::Failed);
    const fs::path ro = dir.Path() / "ro";
    fs::create_directory(ro);
    const std::string inRo = (ro / "c.pdt").string();
    WriteBytes(inRo, "C");
    ::chmod(inRo.c_str(), 0644);
    ::chmod(ro.c_str(), 0555);
    EXPECT_TRUE(AsUnprivileged([&] { return BackupFile(inRo) == TBackupResult::Failed; }));
    EXPECT_FALSE(fs::exists(inRo + ".bak"));
    ::chmod(ro.c_str(), 0755);
    ::chmod(inRo.c_str(), 0);
    EXPECT_TRUE(AsUnprivileged([&] { return BackupFile(inRo) == TBackupResult::Failed; }));
    // A folder where the file was is no file to copy.
    EXPECT_EQ(BackupFile(dir.Path().string()), TBackupResult::NoFile);
}

}  // namespace
}  // namespace dorvanta
