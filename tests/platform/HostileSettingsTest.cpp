// Settings files edited by hand or made to harm: deep keys, non-files, many values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/RegTree.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kKey = "Software\\QZ\\Dorvanta";

class HostileSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("DORVANTA_REGISTRY_DIR", dir_.File("reg").c_str(), 1);
        ::mkdir(dir_.File("reg").c_str(), 0700);
    }
    void TearDown() override { ::unsetenv("DORVANTA_REGISTRY_DIR"); }

    static std::string ErrorOfOpen(TSettingsStore& reg, const std::string& path, bool create) {
        try {
            return reg.OpenKey(path, create) ? "<opened>" : "<refused>";
        } catch (const ESettingsError& e) {
            return e.what();
        }
    }

    // "K\K\...": `levels` key names below the root.
    static std::string DeepPath(std::size_t levels) {
        std::string path = "K";
        for (std::size_t i = 1; i < levels; ++i) path += "\\K";
        return path;
    }

    TempDir dir_;
};

TEST(RegKeyTest, AVeryDeepTreeIsFreedWithoutRecursion) {
    auto root = std::make_unique<reg::RegKey>();
    reg::RegKey* key = root.get();
    for (int i = 0; i < 300000; ++i) {
        key = (key->subkeys["K"] = std::make_unique<reg::RegKey>("K")).get();
    }
    root.reset();  // a recursive destructor overflows the stack here
}

TEST_F(HostileSettingsTest, KeysBeyondTheLimitsAreDamageAndNeverCreated) {
    const std::string prefix =
        "Die Einstellungsdatei '" + HiveFilePath(Hive::CurrentUser) + "' ist beschädigt (Zeile ";
    const std::string tooDeep = "3: Schlüssel zu tief verschachtelt (mehr als 512 Ebenen)).";
    std::string manyDeepKeys;  // 400 KB of lines that would write out as 100 MB
    for (int i = 0; i < 400; ++i) {
        manyDeepKeys += "[HKEY_CURRENT_USER\\" + std::to_string(i) + "\\" + DeepPath(511) + "]\n";
    }
    struct Case {
        std::string keyLines;
        std::string error;  // the end of the message; empty when the file reads
    };
    const Case cases[] = {
        {"[HKEY_CURRENT_USER\\" + DeepPath(512) + "]\n", ""},
        {"[HKEY_CURRENT_USER\\" + DeepPath(513) + "]\n", tooDeep},
        {"[HKEY_CURRENT_USER\\" + DeepPath(250000) + "]\n", tooDeep},
        {manyDeepKeys, "zu viele verschachtelte Schlüssel für die Dateigröße)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyLines.substr(0, 40) + "... " + std::to_string(c.keyLines.size()));
        const std::string content = "REGEDIT4\n\n" + c.keyLines + "\"A\"=\"1\"\n";
        WriteBytes(HiveFilePath(Hive::CurrentUser), content);
        TSettingsStore reg;
        if (c.error.empty()) {
            EXPECT_EQ(ErrorOfOpen(reg, DeepPath(512), false), "<opened>");
            EXPECT_EQ(reg.ReadString("A"), "1");
        } else {
            const std::string error = ErrorOfOpen(reg, kKey, false);
            EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
            EXPECT_NE(error.find(c.error + " Sie wird nicht verändert."), std::string::npos)
                << error;
        }
        EXPECT_EQ(ReadBytes(HiveFilePath(Hive::CurrentUser)), content);
    }

    // Through the store itself: the deepest key allowed is written and read back;
    // one level more is refused rather than stored as a file that reads as damaged.
    ::unlink(HiveFilePath(Hive::CurrentUser).c_str());
    TSettingsStore reg;
    EXPECT_EQ(ErrorOfOpen(reg, DeepPath(513), true), "<refused>");
    EXPECT_FALSE(reg.KeyExists("\\K"));
    ASSERT_EQ(ErrorOfOpen(reg, DeepPath(512), true), "<opened>");
    reg.WriteInteger("N", 7);
    TSettingsStore fresh;
    ASSERT_EQ(ErrorOfOpen(fresh, DeepPath(512), false), "<opened>");
    EXPECT_EQ(fresh.ReadInteger("N"), 7);
    EXPECT_TRUE(fresh.DeleteKey("\\K"));
    EXPECT_FALSE(fresh.KeyExists("\\K"));
}

TEST_F(HostileSettingsTest, AHiveThatIsNoRegularFileIsRefusedWithoutWaiting) {
    const std::string path = HiveFilePath(Hive::CurrentUser);
    const std::string message = "Die Einstellungsdatei '" + path + "' kann nicht gelesen werden.";
    for (auto make : {+[](const char* p) { return ::mkfifo(p, 0600); },
                      +[](const char* p) { return ::mkdir(p, 0700); }}) {
        ASSERT_EQ(make(path.c_str()), 0);
        TSettingsStore reg;
        EXPECT_EQ(ErrorOfOpen(reg, kKey, false), message);
        EXPECT_EQ(ErrorOfOpen(reg, kKey, true), message);
        ::remove(path.c_str());
    }
}

TEST_F(HostileSettingsTest, TheFileIsParsedOncePerChange) {
    constexpr int kValues = 1000;
    const std::string path = HiveFilePath(Hive::CurrentUser);
    std::string content = "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + kKey + "]\n";
    for (int i = 0; i < kValues; ++i) {
        char line[48];
        std::snprintf(line, sizeof line, "\"V%d\"=dword:%08x\n", i, i);
        content += line;
    }
    WriteBytes(path, content);
    // The parses since the last call.
    std::uint64_t counted = reg::ParseCount();
    auto newParses = [&counted] {
        const std::uint64_t before = counted;
        counted = reg::ParseCount();
        return counted - before;
    };

    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    for (int i = 0; i < kValues; ++i) ASSERT_EQ(reg.ReadInteger("v" + std::to_string(i)), i);
    EXPECT_EQ(reg.GetValueNames().size(), std::size_t{kValues});
    EXPECT_TRUE(reg.KeyExists("\\Software\\QZ"));
    EXPECT_EQ(newParses(), 1u) << "reading";

    // Our own changes need no parse, and another instance sees them at once.
    reg.WriteInteger("V0", -1);
    EXPECT_TRUE(reg.DeleteValue("V1"));
    TSettingsStore other;
    ASSERT_TRUE(other.OpenKey(kKey, false));
    EXPECT_EQ(other.ReadInteger("V0"), -1);
    EXPECT_FALSE(other.ValueExists("V1"));
    EXPECT_EQ(other.ReadInteger("V999"), 999);
    EXPECT_EQ(other.GetValueNames().size(), std::size_t{kValues - 1});
    EXPECT_EQ(newParses(), 0u) << "after our own changes";

    // A change from elsewhere is seen, even one keeping the size and the inode,
    // told by the modification time alone.
    std::string changed = ReadBytes(path);
    const std::size_t at = changed.find("\"V999\"=dword:000003e7");
    ASSERT_NE(at, std::string::npos);
    changed.replace(at, 21, "\"V999\"=dword:00000063");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    WriteBytes(path, changed);
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(reg.ReadInteger("V999"), 99);
    EXPECT_EQ(reg.ReadInteger("V998"), 998);
    EXPECT_EQ(newParses(), 1u) << "after a change from elsewhere";

    // A damaged file is parsed once as well, and reported at every read.
    WriteBytes(path, changed + "kaputt\n");
    for (int i = 0; i < 3; ++i) EXPECT_THROW(reg.ReadInteger("V2"), ESettingsError);
    EXPECT_EQ(newParses(), 1u) << "reading a damaged file";
}

// Files too large, or with a line too long, are damaged: refused by their size before
// a byte is read, by their first bytes when they are of another kind, and by the
// first long line before anything is converted; the file stays as it is.
TEST_F(HostileSettingsTest, SizeAndLineLimitsAreDamageNamingTheReason) {
    const std::string path = HiveFilePath(Hive::CurrentUser);
    const std::string prefix = "Die Einstellungsdatei '" + path + "' ist beschädigt (";
    const std::string suffix = "). Sie wird nicht verändert.";
    const std::string key = "[HKEY_CURRENT_USER\\" + kKey + "]\n";
    // The limits: lines of 1 MiB, files of 64 MiB.
    const std::size_t line = 1048576;
    const std::uint64_t file = 67108864;
    const std::string fits(line - 6, 'x');  // "A"="..." of exactly 1 MiB
    const std::string hexLine = "\"B\"=hex:" + std::string(line / 2, '0') + "\\\n";
    struct Case {
        const char* name;
        std::string head;     // written as it is
        std::uint64_t holes;  // then this many zero bytes without disk room (truncate)
        std::string reason;   // empty: the file reads
    };
    const Case cases[] = {
        {"sparse, over the cap", "", file + 1, "Datei größer als 64 MiB"},
        {"header, then over the cap", "REGEDIT4\n\n" + key + "\"A\"=\"", file,
         "Datei größer als 64 MiB"},
        {"no header, a long first line", std::string(100, 'x'), file - 200,
         "Zeile 1: Kopfzeile REGEDIT4 fehlt"},
        {"UTF-16", "\xFF\xFE", 1000, "Zeile 1: UTF-16-Datei im Format"},
        {"a value line one byte too long", "REGEDIT4\n\n" + key + "\"A\"=\"" + fits + "x\"\n", 0,
         "Zeile 4: Zeile länger als 1 MiB"},
        {"a line without end", "REGEDIT4\n\n" + key + "\"A\"=\"", line, "Zeile 4: Zeile länger"},
        {"blanks before the header", std::string(line + 1, ' ') + "\nREGEDIT4\n", 0,
         "Zeile 1: Zeile länger als 1 MiB"},
        {"continued hex lines past the limit", "REGEDIT4\n\n" + key + hexLine + hexLine + "00\n", 0,
         "Zeile 5: Zeile länger als 1 MiB"},
        {"the longest line", "REGEDIT4\n\n" + key + "\"A\"=\"" + fits + "\"\n", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.head);
        if (c.holes) {
            const auto size = static_cast<off_t>(c.head.size() + c.holes);
            ASSERT_EQ(::truncate(path.c_str(), size), 0);
        }
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        TSettingsStore reg;
        const std::string error = ErrorOfOpen(reg, kKey, false);
        if (c.reason.empty()) {
            EXPECT_EQ(error, "<opened>");
            EXPECT_EQ(reg.ReadString("A"), fits);
        } else {
            EXPECT_EQ(error.rfind(prefix + c.reason, 0), 0u) << error.substr(0, 200);
            EXPECT_NE(error.find(suffix), std::string::npos) << error.substr(0, 200);
            // A change is refused with the same message, and the file stays.
            EXPECT_EQ(ErrorOfOpen(reg, kKey, true), error);
        }
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
}

TEST(HiveStartTest, TheFirstBytesTellAFileOfAnotherKind) {
    struct Case {
        std::string start;
        bool more;           // the file goes on past these bytes
        std::string reason;  // empty: passes (good, or cannot tell yet)
    };
    const std::string longLine(40, 'x');
    const Case cases[] = {
        {"REGEDIT4\n", true, ""},
        {"\xEF\xBB\xBF\r\n  \r\nREGEDIT4\r\n[HKEY", true, ""},
        {"REGED", true, ""},
        {"   ", true, ""},
        {"", false, ""},
        {"Windows Registry Editor Version 5.00", true, ""},  // "\r\n" may follow
        {"Windows Registry Editor Version 5.00\r\n", true, "Format „Windows Registry"},
        {longLine, true, "Kopfzeile REGEDIT4 fehlt"},
        {"REGED", false, "Kopfzeile REGEDIT4 fehlt"},
        {"\n\nREGEDIT5\n", true, "Kopfzeile REGEDIT4 fehlt"},
        {"\xFE\xFF", true, "UTF-16-Datei"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        try {
            reg::CheckStart(c.start, c.more);
            EXPECT_EQ(c.reason, "");
        } catch (const reg::DamagedFile& damaged) {
            EXPECT_NE(c.reason, "");
            EXPECT_EQ(damaged.reason.rfind(c.reason, 0), 0u) << damaged.reason;
        }
    }
}

// A value whose line would be too long to read back is not stored; the file stays.
TEST_F(HostileSettingsTest, AHiveThatCouldNotBeReadBackIsNotWritten) {
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("A", "1");
    const std::string before = ReadBytes(HiveFilePath(Hive::CurrentUser));
    EXPECT_THROW(reg.WriteString("B", std::string(1048576, 'x')), ESettingsError);
    EXPECT_EQ(ReadBytes(HiveFilePath(Hive::CurrentUser)), before);
    TSettingsStore fresh;
    ASSERT_TRUE(fresh.OpenKey(kKey, false));
    EXPECT_EQ(fresh.ReadString("A"), "1");
    EXPECT_FALSE(fresh.ValueExists("B"));
}

// The clearing delay as a hand-edited file may hold it: only the offered choices
// are taken, anything else (another number, another type) reads as 30 seconds.
TEST_F(HostileSettingsTest, AnEditedClipboardDelayReadsAsAnOfferedChoiceOrThirty) {
    struct Case {
        const char* line;  // the value's line in the program's key; empty: missing
        std::int32_t seconds;
    };
    const Case cases[] = {
        {"", 30},
        {"\"ClearClipboardSeconds\"=dword:0000000a", 10},
        {"\"ClearClipboardSeconds\"=dword:0000001e", 30},
        {"\"clearclipboardseconds\"=dword:0000003c", 60},
        {"\"ClearClipboardSeconds\"=dword:00000078", 120},
        {"\"ClearClipboardSeconds\"=dword:0000002d", 30},
        {"\"ClearClipboardSeconds\"=dword:00000000", 30},
        {"\"ClearClipboardSeconds\"=dword:00002710", 30},
        {"\"ClearClipboardSeconds\"=dword:fffffff6", 30},
        {"\"ClearClipboardSeconds\"=dword:80000000", 30},
        {"\"ClearClipboardSeconds\"=\"60\"", 30},
        {"\"ClearClipboardSeconds\"=hex:3c,00,00,00", 30},
        {"\"ClearClipboardSeconds\"=hex(2):36,30,00", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteBytes(HiveFilePath(Hive::CurrentUser),
                   "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n" +
                       std::string(c.line) + "\n\"ClearClipboard\"=dword:00000001\n");
        TSettingsStore reg;
        ASSERT_EQ(ErrorOfOpen(reg, kKey, false), "<opened>");
        EXPECT_EQ(settings::ReadClearClipboardSeconds(reg), c.seconds);
    }
}

}  // namespace
}  // namespace dorvanta
