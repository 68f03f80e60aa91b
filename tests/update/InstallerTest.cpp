#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>
#include <zip.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <string>
#include <vector>

#include "store/StoreError.h"
#include "tests/update/TestSupport.h"
#include "update/Installer.h"

using namespace dorvanta;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes, int mode = 0600) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    chmod(QFile::encodeName(path).constData(), mode);
}

int ModeOf(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

struct Entry {
    const char* name;
    QByteArray content;
    unsigned mode;  // unix mode with type; 0: DOS attributes, 1: a folder entry
};

void MakeZip(const QString& path, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const Entry& e : entries) {
        zip_int64_t i =
            e.mode == 1
                ? zip_dir_add(z, e.name, 0)
                : zip_file_add(z, e.name,
                               zip_source_buffer(z, e.content.constData(), e.content.size(), 0), 0);
        ASSERT_GE(i, 0) << e.name;
        if (e.mode != 1)
            zip_file_set_external_attributes(z, i, 0, e.mode ? ZIP_OPSYS_UNIX : ZIP_OPSYS_DOS,
                                             e.mode << 16);
    }
    ASSERT_EQ(zip_close(z), 0);
}

// Base64 signature of `bytes` under the TEST secret key.
QString Sign(const QByteArray& bytes) {
    EXPECT_GE(sodium_init(), 0);
    const QByteArray sk =
        QByteArray::fromBase64(ReadAll(DORVANTA_UPDATE_TEST_DATA "/TEST-ONLY-update-key.sec"));
    EXPECT_EQ(sk.size(), int(crypto_sign_SECRETKEYBYTES));
    unsigned char sig[crypto_sign_BYTES];
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(bytes.constData()),
                         bytes.size(), reinterpret_cast<const unsigned char*>(sk.constData()));
    return QByteArray(reinterpret_cast<char*>(sig), sizeof sig).toBase64();
}

// The release tool's default template for the program file "dorvanta".
const QStringList kDefaultTemplate = {
    "# dorvanta",
    "cd -- %s || exit 1",
    "rm -f -- 'dorvanta.neu'",
    "cp -- %s'dorvanta' 'dorvanta.neu' && chmod 755 'dorvanta.neu' && mv -f -- 'dorvanta.neu' "
    "'dorvanta'",
    " rm -f -- %s'dorvanta'",
};

}  // namespace

TEST(InstallerTest, FillInstallScript) {
    const QString rm = "rm -f -- '/t/Update.bat'";
    struct Row {
        QStringList lines;
        QString restartPath;  // empty: no restart
        QStringList cleanup;
        QStringList expected;
    } rows[] = {
        {{"# a", "x %s", "y %s %s", "cp %sa %s", " rm %sa", "z %s %s"},
         "",
         {},
         {"# a", "x '/p/'", "y '/p/' ", "cp '/t/'a '/p/'", " rm '/t/'a", "z '/t/' ", rm}},
        {{" a %s", "# b %s", "%s%s"}, "", {}, {" a '/t/'", "# b '/t/'", "'/t/'", rm}},
        {{"# 100%% %s", "%%s %s %", "%d%", "%s%%%s", "", "%s", "%s"},
         "",
         {},
         {"# 100%% %s", "%s '/p/' %", "%d%", "'/t/'%'/p/'", "", "'/p/'", "'/p/'", rm}},
        {{}, "/p/it's", {}, {"'/p/it'\\''s' >/dev/null 2>&1 &", rm}},
        // The files the script needs go whenever it ends, ahead of the template.
        {{"# a", "cd %s"},
         "",
         {"a", "it's"},
         {"dorvanta_cleanup() { rm -f -- '/t/a' '/t/it'\\''s' '/t/Update.bat'; }",
          "trap dorvanta_cleanup EXIT", "# a", "cd '/p/'", rm}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FillInstallScript(row.lines, "/p/", "/t/", row.restartPath,
                                    !row.restartPath.isEmpty(), row.cleanup),
                  row.expected)
            << row.lines.join('|').toStdString();

    // The default template, run with hostile folder names: exactly the copy and
    // the restart happen, nothing the names spell out is executed.
    QTemporaryDir base;
    const QString p = base.path() + "/prog 'q' $HOME `touch inj1` $(touch inj2)/";
    const QString t = base.path() + "/tmp \"x\" ';touch inj3;'/";
    ASSERT_TRUE(QDir().mkpath(p) && QDir().mkpath(t));
    const QByteArray program = "#!/bin/sh\n: > \"$(dirname -- \"$0\")/restarted\"\n";
    WriteAll(p + "dorvanta", "old", 0700);
    WriteAll(t + "dorvanta", program, 0700);
    WriteAll(t + "Update.bat",
             FillInstallScript(kDefaultTemplate, p, t, p + "dorvanta", true, {"dorvanta", "x y"})
                 .join('\n')
                 .toUtf8());
    WriteAll(t + "x y", "a file the script needs");
    QProcess sh;
    sh.setWorkingDirectory(base.path());
    sh.start("/bin/sh", {t + "Update.bat"});
    ASSERT_TRUE(sh.waitForFinished(10000));
    EXPECT_EQ(sh.exitCode(), 0) << sh.readAllStandardError().toStdString();
    for (int i = 0; i < 100 && !QFile::exists(p + "restarted"); ++i) QThread::msleep(50);
    EXPECT_EQ(ReadAll(p + "dorvanta"), program);
    EXPECT_EQ(ModeOf(p + "dorvanta"), 0755);
    EXPECT_EQ(Listing(p), QStringList({"dorvanta", "restarted"}));
    EXPECT_EQ(Listing(t), QStringList());
    for (QDirIterator it(base.path(), QDirIterator::Subdirectories); it.hasNext();)
        EXPECT_FALSE(it.next().contains("/inj")) << it.filePath().toStdString();

    // A script that stops early (the program's folder is gone) still removes the
    // files it was given and itself.
    WriteAll(t + "dorvanta", program, 0700);
    WriteAll(t + "x y", "a file the script needs");
    WriteAll(t + "Update.bat",
             FillInstallScript(kDefaultTemplate, base.path() + "/gone/", t,
                               base.path() + "/gone/dorvanta", true, {"dorvanta", "x y"})
                 .join('\n')
                 .toUtf8());
    sh.start("/bin/sh", {t + "Update.bat"});
    ASSERT_TRUE(sh.waitForFinished(10000));
    EXPECT_EQ(sh.exitCode(), 1);
    EXPECT_EQ(Listing(t), QStringList());
}

TEST(InstallerTest, ExtractArchive) {
    QTemporaryDir base;
    const QString out = base.path() + "/out/";
    ASSERT_TRUE(QDir().mkpath(out));
    WriteAll(out + "stale", "old", 0644);
    WriteAll(base.path() + "/victim", "keep");
    ASSERT_TRUE(QFile::link(base.path() + "/victim", out + "evil"));  // replaced, not followed
    struct Row {
        Entry entry;
        const char* file;  // "" when skipped
        int mode;
    } rows[] = {
        {{"a/b/prog", "P", 0100755}, "prog", 0700},
        {{"../evil", "E", 0100644}, "evil", 0600},
        {{"..", "D", 0100644}, "", 0},
        {{"x/.", "D", 0100644}, "", 0},
        {{"dir/", "", 1}, "", 0},
        {{"x\\y", "Y", 0100644}, "y", 0600},
        {{"stale", "new", 0100644}, "stale", 0600},
        {{"link", "victim", 0120777}, "", 0},
        {{"bad\nname", "N", 0100644}, "", 0},
        {{"c:\\win\\plain", "W", 0}, "plain", 0600},
    };
    std::vector<Entry> entries;
    QStringList expectedFiles;
    for (const Row& row : rows) {
        entries.push_back(row.entry);
        if (*row.file) expectedFiles << row.file;
    }
    const QString archive = base.path() + "/a.zip";
    MakeZip(archive, entries);
    EXPECT_EQ(ExtractArchive(archive, out), expectedFiles);  // in archive order
    expectedFiles.sort();
    EXPECT_EQ(Listing(out), expectedFiles);
    EXPECT_EQ(Listing(base.path()), QStringList({"a.zip", "out", "victim"}));
    for (const Row& row : rows) {
        if (!*row.file) continue;
        EXPECT_EQ(ReadAll(out + row.file), row.entry.content) << row.file;
        EXPECT_EQ(ModeOf(out + row.file), row.mode) << row.file;
    }

    // Too many bytes in all, and no archive at all: German errors, and nothing
    // extracted stays (neither a temporary file nor the entries written before).
    const QString small = base.path() + "/small/";
    ASSERT_TRUE(QDir().mkpath(small));
    WriteAll(small + "mine", "not from the archive");
    EXPECT_THAT([&] { ExtractArchive(archive, small, 3); },
                ::testing::ThrowsMessage<EStoreError>(::testing::HasSubstr("ist zu groß")));
    EXPECT_EQ(Listing(small), QStringList({"mine"}));
    EXPECT_THAT(
        [&] { ExtractArchive(base.path() + "/victim", small); },
        ::testing::ThrowsMessage<EStoreError>(::testing::HasSubstr("nicht gelesen werden")));
}

// The build's own key is the one configured, and nothing else: a build without
// DORVANTA_UPDATE_PUBLIC_KEY has none (it never trusts the TEST key).
TEST(InstallerTest, TheBuildTrustsOnlyItsConfiguredKey) {
    const QByteArray configured = QByteArray(DORVANTA_BUILD_UPDATE_KEY).trimmed();
    EXPECT_EQ(UpdatePublicKey(), QByteArray::fromBase64(configured));
    if (configured.isEmpty()) {
        EXPECT_TRUE(UpdatePublicKey().isEmpty());
    } else {
        EXPECT_EQ(UpdatePublicKey().size(), int(crypto_sign_PUBLICKEYBYTES));
    }
    ASSERT_EQ(dorvanta::testing::TestUpdateKey().size(), int(crypto_sign_PUBLICKEYBYTES));
    if (configured.isEmpty()) {
        EXPECT_NE(UpdatePublicKey(), dorvanta::testing::TestUpdateKey());
    }
}

TEST(InstallerTest, IsBareFileName) {
    for (const char* good : {"Dorvanta-1.6.0.0.zip", "a", "x y #1?.zip", "100%.zip", "ä.zip"})
        EXPECT_TRUE(IsBareFileName(QString::fromUtf8(good))) << good;
    for (const char* bad : {"", ".", "..", "../x", "../../x", "a/b.zip", "/etc/passwd", "a\\b.zip",
                            "..\\x", "x..zip", "a\tb.zip", "a\rb", "a\x7f"})
        EXPECT_FALSE(IsBareFileName(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(IsBareFileName(QString("a") + QChar(0) + "b"));
}

TEST(InstallerTest, PrepareInstallation) {
    const QByteArray key = dorvanta::testing::TestUpdateKey();
    enum Sig { Good, Forged, Malformed, None, Keyless };
    enum Content { Plain, NoScript, Extra, TooMany, TooBig };
    enum Outcome { Prepared, Missing, Throws };
    struct Row {
        Sig sig;
        Content content;
        bool archive;
        const char* zipName;
        Outcome result;
        QStringList left;  // the temporary folder afterwards, besides "mine" (not ours)
    } const rows[] = {
        {Good, Plain, true, "u.zip", Prepared, {"Update.bat", "prog"}},
        {Forged, Plain, true, "u.zip", Missing, {}},
        {Malformed, Plain, true, "u.zip", Missing, {}},
        {None, Plain, true, "u.zip", Missing, {}},
        {Keyless, Plain, true, "u.zip", Missing, {}},  // a build without a key
        {Good, Plain, false, "u.zip", Missing, {}},
        {Forged, Plain, true, "../u.zip", Missing, {}},  // not ours: left where it is
        // Every way out of a failed preparation leaves nothing of the archive.
        {Good, NoScript, true, "u.zip", Throws, {}},
        {Good, TooMany, true, "u.zip", Throws, {}},
        {Good, TooBig, true, "u.zip", Throws, {}},
        // Entries the template does not name go at once; the script removes the rest.
        {Good, Extra, true, "u.zip", Prepared, {"Update.bat", "prog"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.sig << row.content << row.archive << row.zipName);
        QTemporaryDir base;
        const QString t = base.path() + "/t/";
        ASSERT_TRUE(QDir().mkpath(t));
        WriteAll(t + "mine", "not from the archive");
        const QString archive = QDir::cleanPath(t + row.zipName);
        std::vector<Entry> entries = {{"prog", QByteArray(100, 'P'), 0100755}};
        if (row.content != NoScript)
            entries.push_back(
                {"Update.bat", "# x\r\necho %s\r\n\r\nls %s %s\r\n rm %sprog\r\n", 0100644});
        std::vector<std::string> names;  // the entries' names must outlive MakeZip
        if (row.content == Extra) {
            entries.push_back({"stray", "S", 0100644});
            entries.push_back({"sub/other", "O", 0100644});
        }
        if (row.content == TooBig) entries.push_back({"big", QByteArray(200, 'B'), 0100644});
        if (row.content == TooMany) {
            for (int i = 0; i < 10000; ++i) names.push_back("f" + std::to_string(i));
            for (const std::string& name : names) entries.push_back({name.c_str(), "", 0100644});
        }
        MakeZip(archive, entries);
        const QByteArray bytes = ReadAll(archive);
        WriteAll(t + "Update.bat", "stale");  // must not pass for the archive's script
        const QString sig = row.sig == Forged      ? Sign(bytes + "x")
                            : row.sig == Malformed ? Sign(bytes).left(80) + "@@"
                            : row.sig == None      ? QString()
                                                   : Sign(bytes);
        const QByteArray usedKey = row.sig == Keyless ? QByteArray() : key;
        EXPECT_EQ(VerifyArchiveSignature(archive, sig, usedKey), row.sig == Good);
        EXPECT_FALSE(VerifyArchiveSignature(archive, sig, key.left(31)));
        EXPECT_FALSE(VerifyArchiveSignature(archive, sig, QByteArray()));
        if (!row.archive) QFile::remove(archive);

        const QString programPath = base.path() + "/b i'n/dorvanta";
        // "prog" and "Update.bat" are written before "big" passes the limit.
        const qint64 maxBytes = row.content == TooBig ? 200 : kMaxExtractedBytes;
        const auto prepare = [&] {
            return PrepareInstallation(t, row.zipName, sig, programPath, false, usedKey, maxBytes);
        };
        if (row.result == Throws) {
            EXPECT_THROW(prepare(), EStoreError);
        } else {
            EXPECT_EQ(int(prepare()), int(row.result == Prepared ? TPrepareResult::Prepared
                                                                 : TPrepareResult::ArchiveMissing));
        }
        EXPECT_EQ(QFile::exists(archive), row.archive && row.zipName != QString("u.zip"));
        QStringList left = Listing(t);
        left.removeAll("mine");
        if (row.result != Prepared) left.removeAll("Update.bat");  // the stale one may stay
        left.sort();
        EXPECT_EQ(left, row.left);
        if (row.result != Prepared) continue;

        const QString p = ShellQuote(base.path() + "/b i'n/"), tq = ShellQuote(t);
        const QString script = ShellQuote(t + "Update.bat");
        EXPECT_EQ(ReadAll(t + "Update.bat").toStdString(),
                  ("dorvanta_cleanup() { rm -f -- " + ShellQuote(t + "prog") + " " + script +
                   "; }\ntrap dorvanta_cleanup EXIT\n# x\necho " + p + "\n\nls " + tq + " " + p +
                   "\n rm " + tq + "prog\nrm -f -- " + script + "\n")
                      .toStdString());
        EXPECT_EQ(ModeOf(t + "Update.bat"), 0700);
        // The script, once run, leaves nothing of the update behind.
        QProcess sh;
        sh.start("/bin/sh", {t + "Update.bat"});
        ASSERT_TRUE(sh.waitForFinished(10000));
        EXPECT_EQ(Listing(t), QStringList({"mine"}));
    }
}
