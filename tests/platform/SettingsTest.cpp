#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/Settings.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kKey = "Software\\QZ\\Dorvanta";

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("DORVANTA_REGISTRY_DIR", dir_.File("reg").c_str(), 1); }
    void TearDown() override { ::unsetenv("DORVANTA_REGISTRY_DIR"); }

    std::string HiveFile(Hive hive = Hive::CurrentUser) { return HiveFilePath(hive); }

    template <typename F>
    std::string ErrorOf(F&& f) {
        try {
            f();
        } catch (const ESettingsError& e) {
            return e.what();
        }
        return "<no error>";
    }

    TempDir dir_;
};

TEST_F(SettingsTest, EveryTypeRoundTripsThroughTheFile) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
    const std::string umlauts = "Gr\xFC\xDF\x65 \x80 \x81";  // "Grüße € " and an unassigned byte
    const std::string awkward = "C:\\Daten\\\"x\".pdt\r\nzweite Zeile\t\x7F";
    {
        TSettingsStore reg(Hive::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("AutoLoadFile", "C:\\Daten\\a.pdt");
        reg.WriteString("Umlaute", umlauts);
        reg.WriteString("Awkward", awkward);
        reg.WriteString("Empty", "");
        reg.WriteInteger("Form1Width", 790);
        reg.WriteInteger("Min", INT32_MIN);
        reg.WriteInteger("Max", INT32_MAX);
        reg.WriteBool("ShowData", true);
        reg.WriteBool("CompressView", false);
        reg.WriteBinary("Bytes", allBytes);
        reg.WriteBinary("NoBytes", "");
        reg.WriteDateTime("Update", 45444.5);
        reg.WriteString("", "default value");
    }
    TSettingsStore reg(Hive::CurrentUser);
    ASSERT_TRUE(reg.OpenKey("\\" + kKey, false));
    EXPECT_EQ(reg.ReadString("AutoLoadFile"), "C:\\Daten\\a.pdt");
    EXPECT_EQ(reg.ReadString("Umlaute"), umlauts);
    EXPECT_EQ(reg.ReadString("Awkward"), awkward);
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_EQ(reg.ReadInteger("Form1Width"), 790);
    EXPECT_EQ(reg.ReadInteger("Min"), INT32_MIN);
    EXPECT_EQ(reg.ReadInteger("Max"), INT32_MAX);
    EXPECT_TRUE(reg.ReadBool("ShowData"));
    EXPECT_FALSE(reg.ReadBool("CompressView"));
    EXPECT_EQ(reg.ReadBinary("Bytes"), allBytes);
    EXPECT_EQ(reg.ReadBinary("NoBytes"), "");
    EXPECT_EQ(reg.ReadDateTime("Update"), 45444.5);
    EXPECT_EQ(reg.ReadString(""), "default value");
    EXPECT_EQ(reg.GetDataType("ShowData"), RegDataType::Integer);
    EXPECT_EQ(reg.GetDataType("Update"), RegDataType::Binary);
    EXPECT_EQ(reg.GetValueNames().size(), 13u);

    // The file is the readable export format, in UTF-8, private to the user.
    const std::string text = ReadBytes(HiveFile());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n"), std::string::npos);
    EXPECT_NE(text.find("\"AutoLoadFile\"=\"C:\\\\Daten\\\\a.pdt\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Umlaute\"=\"Grüße €"), std::string::npos);
    EXPECT_NE(text.find("\"Form1Width\"=dword:00000316\n"), std::string::npos);
    EXPECT_NE(text.find("\"Min\"=dword:80000000\n"), std::string::npos);
    EXPECT_NE(text.find("\"Update\"=hex:00,00,00,00,90,30,e6,40\n"), std::string::npos);
    EXPECT_NE(text.find("\"Awkward\"=hex(1):"), std::string::npos);
    EXPECT_NE(text.find("@=\"default value\""), std::string::npos);
    for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
        end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        EXPECT_LE(end - pos, 80u) << "long line at " << pos;
    }
    struct stat st {};
    ASSERT_EQ(::stat(HiveFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, ReadsAHandWrittenExport) {
    ::mkdir(dir_.File("reg").c_str(), 0700);
    WriteBytes(HiveFile(Hive::LocalMachine),
               "\xEF\xBB\xBFREGEDIT4\r\n\r\n"
               "; written by hand\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\QZ\\Dorvanta]\r\n"
               "\"NoUpdate\"=\"\"\r\n"
               "\"UpdateInterval\"=dword:0000000E\r\n"
               "\"Update\"=hex:00,00,00,00,\\\r\n"
               "  90,30,e6,40\r\n"
               "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n"
               "\"Name \\\"quoted\\\"\"=\"a\\\\b\"\r\n");
    TSettingsStore reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_TRUE(reg.ValueExists("NoUpdate"));
    EXPECT_EQ(reg.ReadInteger("UpdateInterval"), 14);
    EXPECT_EQ(reg.ReadDateTime("Update"), 45444.5);
    EXPECT_EQ(reg.ReadString("Path"), "%TEMP%");
    EXPECT_EQ(reg.ReadString("Name \"quoted\""), "a\\b");
}

TEST_F(SettingsTest, MissingValuesAndKeysAndNoOpenKey) {
    TSettingsStore reg;
    EXPECT_FALSE(reg.ValueExists("ShowData"));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("AutoLoadFile"); }),
              "Fehler beim Holen der Daten für 'AutoLoadFile'");
    EXPECT_EQ(ErrorOf([&] { reg.WriteBool("ShowData", true); }),
              "Fehler beim Setzen der Daten für 'ShowData'");
    EXPECT_FALSE(reg.DeleteValue("ShowData"));

    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(std::filesystem::exists(HiveFile())) << "a look-up must not create the file";

    ASSERT_TRUE(reg.OpenKey(kKey, true));
    EXPECT_EQ(reg.CurrentPath(), kKey);
    for (auto read : {+[](TSettingsStore& r) { r.ReadInteger("Form1Width"); },
                      +[](TSettingsStore& r) { r.ReadBool("Form1Width"); },
                      +[](TSettingsStore& r) { r.ReadBinary("Form1Width"); },
                      +[](TSettingsStore& r) { r.ReadDateTime("Form1Width"); }}) {
        EXPECT_EQ(ErrorOf([&] { read(reg); }), "Fehler beim Holen der Daten für 'Form1Width'");
    }
    EXPECT_EQ(reg.GetDataType("Form1Width"), RegDataType::Unknown);
    EXPECT_FALSE(reg.DeleteValue("Form1Width"));
    EXPECT_FALSE(reg.DeleteKey("Nothing"));

    // Names in the message are shown as text, not as Windows-1252 bytes.
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("Gr\xF6\xDF\x65"); }),
              "Fehler beim Holen der Daten für 'Größe'");
}

TEST_F(SettingsTest, WrongTypesGiveTheTypeError) {
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Text", "1");
    reg.WriteInteger("Number", 1);
    reg.WriteBinary("Update", std::string(4, '\0'));
    reg.WriteString("Update2", "45444");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Text"); }), "Ungültiger Datentyp für 'Text'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBool("Text"); }), "Ungültiger Datentyp für 'Text'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("Number"); }), "Ungültiger Datentyp für 'Number'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinary("Number"); }), "Ungültiger Datentyp für 'Number'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadDateTime("Update"); }), "Ungültiger Datentyp für 'Update'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadDateTime("Update2"); }), "Ungültiger Datentyp für 'Update2'");
    reg.WriteBinary("Update", std::string(9, '\0'));
    EXPECT_EQ(ErrorOf([&] { reg.ReadDateTime("Update"); }), "Ungültiger Datentyp für 'Update'");

    // Writing another type replaces the value's type, as in the registry.
    reg.WriteInteger("Text", 5);
    EXPECT_EQ(reg.ReadInteger("Text"), 5);
}

TEST_F(SettingsTest, NamesCompareCaseInsensitivelyAndKeepTheirSpelling) {
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\QZ\\Dorvanta", true));
    reg.WriteInteger("ShowData", 1);
    reg.WriteInteger("SHOWDATA", 0);
    reg.WriteString("\xC4nderung", "x");  // "Änderung"
    reg.CloseKey();

    ASSERT_TRUE(reg.OpenKey("software\\qz\\DORVANTA", false));
    EXPECT_FALSE(reg.ReadBool("showdata"));
    EXPECT_EQ(reg.ReadString("\xE4NDERUNG"), "x");  // "äNDERUNG"
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"ShowData", "\xC4nderung"}));
    // One key, first spelling kept.
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("Software", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"QZ"});
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey("", false));
    EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"SOFTWARE"});
}

TEST_F(SettingsTest, RelativeAndRootedPaths) {
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey("Software\\QZ", true));
    ASSERT_TRUE(reg.OpenKey("Dorvanta", true));  // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\QZ\\Dorvanta");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Other\\", true));  // rooted; trailing '\' ignored
    EXPECT_EQ(reg.CurrentPath(), "Software\\Other");
    EXPECT_TRUE(reg.KeyExists("\\Software\\QZ\\Dorvanta"));
    EXPECT_FALSE(reg.KeyExists("Dorvanta"));  // relative to Software\Other
    EXPECT_FALSE(reg.OpenKey("\\Software\\\\Broken", true)) << "empty key name";
    EXPECT_FALSE(reg.OpenKey("\\Software\\Bad\nName", true));
}

TEST_F(SettingsTest, DeleteKeyRemovesEverythingBelowIt) {
    TSettingsStore reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\QZ\\Dorvanta\\Deep\\Deeper", true));
    reg.WriteString("a", "1");
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\QZ\\Dorvanta", false));
    reg.WriteInteger("UpdateInterval", 7);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\QZ\\Sibling", true));
    reg.WriteString("keep", "me");

    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\QZ", true));
    ASSERT_TRUE(reg.KeyExists("dorvanta"));
    EXPECT_TRUE(reg.DeleteKey("dorvanta"));
    EXPECT_FALSE(reg.DeleteKey("Dorvanta")) << "second delete finds nothing";

    TSettingsStore fresh(Hive::LocalMachine);
    EXPECT_FALSE(fresh.KeyExists("\\SOFTWARE\\QZ\\Dorvanta"));
    EXPECT_FALSE(fresh.KeyExists("\\SOFTWARE\\QZ\\Dorvanta\\Deep\\Deeper"));
    EXPECT_TRUE(fresh.KeyExists("\\SOFTWARE\\QZ")) << "the parent stays, even when empty";
    ASSERT_TRUE(fresh.OpenKey("SOFTWARE\\QZ\\Sibling", false));
    EXPECT_EQ(fresh.ReadString("keep"), "me");
    EXPECT_EQ(ReadBytes(HiveFile(Hive::LocalMachine)).find("Deeper"), std::string::npos);

    // The other hive is a file of its own and untouched.
    EXPECT_FALSE(std::filesystem::exists(HiveFile(Hive::CurrentUser)));
}

TEST_F(SettingsTest, AKeyDeletedElsewhereTakesNoMoreWrites) {
    TSettingsStore window;
    ASSERT_TRUE(window.OpenKey(kKey, true));
    window.WriteBool("ShowData", true);

    TSettingsStore uninstall;
    ASSERT_TRUE(uninstall.OpenKey("SOFTWARE\\QZ", true));
    ASSERT_TRUE(uninstall.DeleteKey("Dorvanta"));

    // The uninstalled settings must not come back through a key left open.
    EXPECT_FALSE(window.ValueExists("ShowData"));
    EXPECT_EQ(ErrorOf([&] { window.WriteInteger("Form1Width", 1); }),
              "Fehler beim Setzen der Daten für 'Form1Width'");
    EXPECT_FALSE(uninstall.KeyExists("Dorvanta"));
}

TEST_F(SettingsTest, ADamagedHiveIsReportedAndNeverOverwritten) {
    ::mkdir(dir_.File("reg").c_str(), 0700);
    const std::string good = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QZ\\Dorvanta]\n";
    const std::string damaged[] = {
        "Just some text\n",
        "REGEDIT4\n\n\"Orphan\"=\"value\"\n",
        good + "\"Bytes\"=hex:00,zz\n",
        good + "\"Number\"=dword:123456789\n",
        good + "\"Open=\"value\n",
        good + "\"Bad\"=\"\\n\"\n",
        good + "\"Name\"=-\n",
        good + "\"\xE2\x88\x9E\"=\"Text\"\n",  // a name "∞", not in Windows-1252
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n",
    };
    for (const auto& content : damaged) {
        SCOPED_TRACE(content);
        WriteBytes(HiveFile(), content);
        TSettingsStore reg;
        const std::string error = ErrorOf([&] { reg.OpenKey(kKey, true); });
        EXPECT_NE(error.find("Die Einstellungsdatei '" + HiveFile() + "' ist beschädigt (Zeile"),
                  std::string::npos)
            << error;
        EXPECT_FALSE(reg.HasCurrentKey());
        EXPECT_EQ(ReadBytes(HiveFile()), content);
    }

    // A key opened before the damage: writes and deletes refuse, the file stays.
    WriteBytes(HiveFile(), good + "\"A\"=\"1\"\n");
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    WriteBytes(HiveFile(), good + "\"A\"=\"1\n");
    EXPECT_NE(ErrorOf([&] { reg.WriteString("B", "2"); }).find("beschädigt"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { reg.DeleteValue("A"); }).find("beschädigt"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { reg.DeleteKey("\\Software"); }).find("beschädigt"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { reg.ValueExists("A"); }).find("beschädigt"), std::string::npos);
    EXPECT_EQ(ReadBytes(HiveFile()), good + "\"A\"=\"1\n");
}

// File paths are no Windows-1252 texts: any string value may hold any character,
// which a path reads whole and a text reader refuses as of the wrong type.
TEST_F(SettingsTest, PathsKeepCharactersBeyondWindows1252) {
    ::mkdir(dir_.File("reg").c_str(), 0700);
    const std::string header = "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + kKey + "]\n";
    struct Case {
        const char* path;  // UTF-8
        const char* inFile;
    };
    for (const Case& c :
         {Case{"/home/a/Z\xC5\x82oty.pdt", "/home/a/Z\xC5\x82oty.pdt"},
          Case{"/tmp/\xE2\x88\x9E \xF0\x9F\x94\x91.pdt", "/tmp/\xE2\x88\x9E \xF0\x9F\x94\x91.pdt"},
          Case{"/tmp/M\xC3\xBCller \xE2\x82\xAC.pdt", "/tmp/M\xC3\xBCller \xE2\x82\xAC.pdt"}}) {
        SCOPED_TRACE(c.path);
        // Written by hand: the file is good, its other values count.
        WriteBytes(HiveFile(), header + "\"AutoLoadFile\"=\"" + c.inFile +
                                   "\"\n\"BackupOnSave\"=dword:00000001\n");
        {
            TSettingsStore reg;
            ASSERT_TRUE(reg.OpenKey(kKey, false));
            EXPECT_EQ(reg.ReadPath("AutoLoadFile"), c.path);
            EXPECT_EQ(reg.GetDataType("AutoLoadFile"), RegDataType::String);
            EXPECT_EQ(reg.ReadInteger("BackupOnSave"), 1);
            reg.WriteInteger("N", 2);  // the path is written back unchanged
            reg.WritePath("Other", c.path);
        }
        const std::string file = ReadBytes(HiveFile());
        EXPECT_NE(file.find(std::string("\"AutoLoadFile\"=\"") + c.inFile + "\"\n"),
                  std::string::npos)
            << file;
        EXPECT_NE(file.find(std::string("\"Other\"=\"") + c.inFile + "\"\n"), std::string::npos);
        TSettingsStore reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        EXPECT_EQ(reg.ReadPath("Other"), c.path);
    }
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_THROW(reg.WritePath("Bad", "/tmp/a\xC3("), ESettingsError);  // no UTF-8
}

// A collection's path may hold any character but NUL, a line feed too: each is
// kept as one value ("Nie für diese Datei") and read back whole, also by a parse
// of the file written.
TEST_F(SettingsTest, PathsWithControlCharactersRoundTrip) {
    ::mkdir(dir_.File("reg").c_str(), 0700);
    const std::string merge = "\\" + kKey + "\\NoConflictMerge";
    const std::vector<std::string> paths = {
        "/tmp/a\nb.pdt",
        "/tmp/a\rb.pdt",
        "/tmp/a\tb.pdt",
        "/tmp/a\\b.pdt",
        "/tmp/a=b.pdt",
        "/tmp/\"a\".pdt",
        "/tmp/a\\\n\"=hex:00\\",
        "/tmp/\x01\x7F\x1B.pdt",
        "/tmp/Z\xC5\x82oty\n.pdt",  // beyond Windows-1252, with a line feed
        "/tmp/Z\xC5\x82oty\r\n\"=\\.pdt",
        "/tmp/M\xC3\xBCller\n\xE2\x82\xAC.pdt",  // Windows-1252, with a line feed
    };
    {
        TSettingsStore reg;
        ASSERT_TRUE(reg.OpenKey(merge, true));
        for (std::size_t i = 0; i < paths.size(); ++i) {
            reg.WritePath(std::to_string(i + 1), paths[i]);
        }
    }
    // One more line by hand: the file is parsed again, not taken from the last write.
    WriteBytes(HiveFile(), ReadBytes(HiveFile()) + "\"Hand\"=\"1\"\n");
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(merge, false));
    EXPECT_EQ(reg.ReadString("Hand"), "1");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(reg.GetDataType(std::to_string(i + 1)), RegDataType::String);
        EXPECT_EQ(reg.ReadPath(std::to_string(i + 1)), paths[i]);
    }
    const std::string file = ReadBytes(HiveFile());
    EXPECT_NE(file.find("\"9\"=hex(10001):2f,74,6d,70,2f,5a,c5,82,6f,74,79,0a,2e,70,64,74\n"),
              std::string::npos)
        << file;
}

TEST_F(SettingsTest, ReadsWindows1252AndNamesTheUtf16Format) {
    ::mkdir(dir_.File("reg").c_str(), 0700);
    const std::string key = kKey + "\\M\xFCller";
    // Not UTF-8 throughout (the last value would be malformed UTF-8): all Windows-1252.
    WriteBytes(HiveFile(), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + key +
                               "]\r\n\"Gr\xF6\xDF\x65\"=\"\x80 5\"\r\n\"Text\"=\"\xC3\x28\"\r\n");
    {
        TSettingsStore reg;
        ASSERT_TRUE(reg.OpenKey(key, false));
        EXPECT_EQ(reg.ReadString("gr\xD6\xDF\x45"), "\x80 5");
        EXPECT_EQ(reg.ReadString("Text"), "\xC3\x28");
        reg.WriteInteger("N", 1);
    }
    EXPECT_NE(ReadBytes(HiveFile()).find("Müller]\n\"Größe\"=\"€ 5\"\n\"Text\"=\"Ã(\"\n"),
              std::string::npos);

    const std::string header = "Windows Registry Editor Version 5.00";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char c : header + "\r\n") {
        le += {c, '\0'};
        be += {'\0', c};
    }
    const std::string prefix =
        "Die Einstellungsdatei '" + HiveFile() + "' ist beschädigt (Zeile 1: ";
    const std::string unsupported =
        "Format „" + header +
        "“ wird nicht unterstützt; bitte als REGEDIT4 (Win9x/NT4) exportieren)."
        " Sie wird nicht verändert.";
    for (const auto& [content, message] :
         {std::pair{le, prefix + "UTF-16-Datei im " + unsupported},
          std::pair{be, prefix + "UTF-16-Datei im " + unsupported},
          std::pair{header + "\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n", prefix + unsupported}}) {
        WriteBytes(HiveFile(), content);
        TSettingsStore reg;
        EXPECT_EQ(ErrorOf([&] { reg.OpenKey(kKey, true); }), message);
        EXPECT_EQ(ReadBytes(HiveFile()), content);
    }
}

TEST_F(SettingsTest, AStoreThatCannotBeWrittenReportsIt) {
    // A folder below a plain file cannot be created, not even by root.
    WriteBytes(dir_.File("plain"), "x");
    ::setenv("DORVANTA_REGISTRY_DIR", dir_.File("plain/reg").c_str(), 1);
    TSettingsStore reg;
    EXPECT_FALSE(reg.OpenKey(kKey, true));
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("ApplicationFileName", "x"); }),
              "Fehler beim Setzen der Daten für 'ApplicationFileName'");
}

TEST_F(SettingsTest, TheStoreFolderFollowsTheEnvironment) {
    ::unsetenv("DORVANTA_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", dir_.File("cfg").c_str(), 1);
    EXPECT_EQ(HiveFilePath(Hive::LocalMachine),
              dir_.File("cfg") + "/Dorvanta/HKEY_LOCAL_MACHINE.reg");
    TSettingsStore reg(Hive::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(kKey, true)) << "creates the folders on first use";
    struct stat st {};
    ASSERT_EQ(::stat((dir_.File("cfg") + "/Dorvanta").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, FourProcessesWritingAtOnceLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kPerProcess = 40;
    {
        TSettingsStore reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
    }
    pid_t children[kProcesses];
    for (int c = 0; c < kProcesses; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            int status = 0;
            try {
                TSettingsStore reg;
                if (!reg.OpenKey(kKey, false)) ::_exit(2);
                for (int i = 0; i < kPerProcess; ++i) {
                    const std::string name =
                        std::string(1, static_cast<char>('A' + c)) + std::to_string(i);
                    reg.WriteInteger(name, i);
                    if (i % 2 == 0) reg.WriteString(name + "s", name);
                }
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    TSettingsStore reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.GetValueNames().size(),
              std::size_t{kProcesses} * (kPerProcess + kPerProcess / 2));
    for (char c = 'A'; c < 'A' + kProcesses; ++c) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string name = std::string(1, c) + std::to_string(i);
            EXPECT_EQ(reg.ReadInteger(name), i) << name;
        }
    }
}

}  // namespace
}  // namespace dorvanta
