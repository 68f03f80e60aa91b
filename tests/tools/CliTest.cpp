#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "store/Collation.h"
#include "store/ErrorMessage.h"
#include "store/Mask.h"
#include "store/PdtEncrypted.h"
#include "store/PdtFile.h"
#include "support/CliRun.h"
#include "support/SortCases.h"
#include "support/TempDir.h"
#include "tools/Cli.h"

namespace dorvanta::cli {
namespace {

using dorvanta::testing::Hex;
using dorvanta::testing::ReadBytes;
using dorvanta::testing::TempDir;
using dorvanta::testing::WriteBytes;

using Result = dorvanta::testing::CliResult;
using dorvanta::testing::Cli;

const std::string kExample51 =
    Hex("01 06 00 02 00 06 04 42 61 6E 6B 06 03 65 69 6D 02 02 06 03 65 69 6D 06 00 06 00"
        "11 00 00 00 00 D0 5E E2 40 02 01 14 07 00 00 00 7C E2 82 AC E2 80 9E 00");

TEST(Cli, DumpAndBuildRoundTripTheExample) {
    TempDir dir;
    WriteBytes(dir.File("a.pdt"), kExample51);
    const Result dump = Cli({"dump", dir.File("a.pdt")});
    ASSERT_EQ(dump.code, kOk) << dump.err;
    EXPECT_NE(dump.out.find("\"parent\": \"Bank\""), std::string::npos);
    EXPECT_NE(dump.out.find("\"date\": 37622.5"), std::string::npos);
    WriteBytes(dir.File("a.json"), dump.out);
    const Result build = Cli({"build", dir.File("a.json"), dir.File("b.pdt")});
    ASSERT_EQ(build.code, kOk) << build.err;
    EXPECT_EQ(ReadBytes(dir.File("b.pdt")), kExample51);
}

TEST(Cli, BuildWritesTheEmptyDocumentAndBothStringLengths) {
    TempDir dir;
    WriteBytes(dir.File("empty.json"), "{}");
    ASSERT_EQ(Cli({"build", dir.File("empty.json"), dir.File("e.pdt")}).code, kOk);
    EXPECT_EQ(ReadBytes(dir.File("e.pdt")), Hex("01 06 00 00"));
    WriteBytes(dir.File("long.json"), "{\"keys\": [{\"parent\": \"" + std::string(255, 'a') +
                                          "\", \"name\": \"\"}, {\"parent\": \"" +
                                          std::string(256, 'a') + "\", \"name\": \"\"}]}");
    ASSERT_EQ(Cli({"build", dir.File("long.json"), dir.File("l.pdt")}).code, kOk);
    const std::string bytes = ReadBytes(dir.File("l.pdt"));
    EXPECT_EQ(bytes.substr(5, 2), Hex("06 FF"));
    EXPECT_EQ(bytes.substr(5 + 2 + 255 + 2 + 2, 5), Hex("0C 00 01 00 00"));
}

TEST(Cli, TextsAreUtf8OutsideAndWindows1252Inside) {
    TempDir dir;
    WriteBytes(
        dir.File("in.json"),
        R"({"password": "p\u00e4", "keys": [{"parent": "B\u00e4nke \u20ac", "name": "\u0081",)"
        R"( "entries": [{"title": "t", "value": "v", "info": "i", "date": 0.1}]}]})");
    ASSERT_EQ(Cli({"build", dir.File("in.json"), dir.File("o.pdt")}).code, kOk);
    TDocument doc;
    TLoadHooks hooks;
    hooks.AskPassword = [](const std::string&) { return std::optional<std::string>("p\xE4"); };
    ASSERT_TRUE(LoadDocument(doc, dir.File("o.pdt"), hooks));
    EXPECT_EQ(doc.Keys[0].Parent, "B\xE4nke \x80");
    EXPECT_EQ(doc.Keys[0].Name, "\x81");
    EXPECT_EQ(doc.Keys[0].Data[0].Date, 0.1);

    const Result dump = Cli({"dump", dir.File("o.pdt"), "--password", "p\xC3\xA4"});
    ASSERT_EQ(dump.code, kOk) << dump.err;
    EXPECT_NE(dump.out.find("B\xC3\xA4nke \xE2\x82\xAC"), std::string::npos);

    WriteBytes(dir.File("bad.json"), R"({"keys": [{"parent": "\u03a9", "name": "x"}]})");
    const Result bad = Cli({"build", dir.File("bad.json"), dir.File("x.pdt")});
    EXPECT_EQ(bad.code, kError);
    EXPECT_NE(bad.err.find("Windows-1252"), std::string::npos);
}

TEST(Cli, PasswordMissingOrWrong) {
    TempDir dir;
    TDocument doc;
    doc.Password = "Geheim";
    SaveDocument(doc, dir.File("p.pdt"));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"dump", dir.File("p.pdt")}, {"dump", dir.File("p.pdt"), "--password", "geheim"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.code, kWrongPassword);
        EXPECT_EQ(r.err, std::string(kMsgWrongPassword) + "\n");
    }
    EXPECT_EQ(Cli({"dump", dir.File("p.pdt"), "--password=Geheim"}).code, kOk);
}

// An encrypted file takes any UTF-8 passphrase, a plain file only Windows-1252 of
// at most 255 characters; no refusal shows the password. "--" ends the options.
TEST(Cli, PasswordsOfEitherFormatAndFileNamesAfterTheOptions) {
    TempDir dir;
    const int workFactor = EncryptionWorkFactor();
    SetEncryptionWorkFactor(1);
    SaveDocument(TDocument(), dir.File("a.pdt"));
    const std::string lodz = "\xC5\x82\xC3\xB3" "d\xC5\xBA", longOne(300, 'x');
    const std::string notPlain =
        "Das Passwort einer unverschl\xC3\xBCsselten Datei besteht aus h\xC3\xB6"
        "chstens 255 Zeichen, die Windows-1252 darstellen kann; dieses Passwort passt nicht.\n";
    const std::string notKept =
        "Das Passwort der verschl\xC3\xBCsselten Datei passt nicht in eine unverschl\xC3\xBC"
        "sselte Datei (h\xC3\xB6"
        "chstens 255 Zeichen, die Windows-1252 darstellen kann). Geben Sie mit --password ein "
        "anderes an. Es wurde nichts gespeichert.\n";
    const std::string unknown = "Unbekannte Option \"--pasword\" (siehe --help; ein Dateiname, "
                                "der mit - beginnt, folgt nach --)\n";
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
        const char* written;  // the file the command writes, if any
    };
    const Case cases[] = {
        {{"encrypt", dir.File("a.pdt"), "l.age", "--password", lodz}, kOk, "", "l.age"},
        {{"dump", "l.age", "--password=" + lodz}, kOk, "", nullptr},
        {{"dump", "l.age", "--password", "lodz"}, kWrongPassword, std::string(kMsgWrongPassword) + "\n", nullptr},
        {{"encrypt", dir.File("a.pdt"), "long.age", "--password", longOne}, kOk, "", "long.age"},
        {{"dump", "long.age", "--password", longOne}, kOk, "", nullptr},
        {{"decrypt", "l.age", "l.pdt", "--password", lodz}, kError, notPlain, nullptr},
        {{"decrypt", "long.age", "l.pdt", "--password", longOne}, kError, notPlain, nullptr},
        {{"decrypt", "l.age", "l.pdt", "--password-stdin"}, kError, notPlain, nullptr},
        {{"decrypt", "l.age", "l.pdt"}, kError, notKept, nullptr},  // typed to open it
        {{"encrypt", dir.File("a.pdt"), "--password", lodz, "--"}, kError, "Falsche Anzahl Argumente f\xC3\xBCr \"encrypt\" (siehe --help)\n", nullptr},
        {{"encrypt", dir.File("a.pdt"), "--password", lodz, "--", "--"}, kOk, "", "--"},
        {{"encrypt", "--password", lodz, "--", dir.File("a.pdt"), "-b.age"}, kOk, "", "-b.age"},
        {{"dump", dir.File("a.pdt"), "--pasword=" + lodz}, kError, unknown, nullptr},
        {{"dump", dir.File("a.pdt"), "-x"}, kError, "Unbekannte Option \"-x\" (siehe --help; ein Dateiname, der mit - beginnt, folgt nach --)\n", nullptr},
        {{"build", "--", "-", "x.pdt"}, kError, "Datei - kann nicht ge\xC3\xB6""ffnet werden\n", nullptr},
        {{"match", "--", "-a*", "-abc"}, kOk, "", nullptr},
        {{"match", "-a*", "-abc"}, kError, "Unbekannte Option \"-a*\" (siehe --help; ein Dateiname, der mit - beginnt, folgt nach --)\n", nullptr},
    };
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.File(""));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args.back());
        std::istringstream stdinLine(lodz + "\n");
        TPasswordInput input;
        input.Stdin = &stdinLine;
        input.Ask = [&](const char*) { return TPrompted{TPrompted::TState::Typed, lodz}; };
        std::ostringstream out, err;
        EXPECT_EQ(cli::Run(c.args, out, err, input), c.code);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(err.str().find(lodz), std::string::npos);  // never shown
        if (c.written) {
            EXPECT_TRUE(std::filesystem::exists(c.written));
        }
        EXPECT_FALSE(std::filesystem::exists("l.pdt"));
    }
    std::filesystem::current_path(cwd);
    SetEncryptionWorkFactor(workFactor);
}

TEST(Cli, SortOrdersKeysAndEntries) {
    TempDir dir;
    WriteBytes(
        dir.File("in.json"),
        R"({"keys": [{"parent": "Z", "name": "b", "entries": [{"title": "Zeta"}, {"title": "alpha"}]},)"
        R"( {"parent": "A", "name": "a"}]})");
    ASSERT_EQ(Cli({"build", dir.File("in.json"), dir.File("u.pdt")}).code, kOk);
    ASSERT_EQ(Cli({"sort", dir.File("u.pdt"), dir.File("s.pdt")}).code, kOk);
    const Result dump = Cli({"dump", dir.File("s.pdt")});
    EXPECT_LT(dump.out.find("\"parent\": \"A\""), dump.out.find("\"parent\": \"Z\""));
    EXPECT_LT(dump.out.find("alpha"), dump.out.find("Zeta"));
}

class CliSortOrder : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { SetCollationLocale(GetParam()); }
    void TearDown() override { SetCollationLocale(""); }
};

// The store's accent and case cases through build, sort and dump: one key per
// text of a case, the first holding every text as an entry.
TEST_P(CliSortOrder, AccentsAndCaseDecideAtTheirCollationLevels) {
    TempDir dir;
    auto texts = [](const std::string& dump, const char* field) {
        const std::regex re("\"" + std::string(field) + "\": \"([^\"]*)\"");
        std::string out;
        for (auto it = std::sregex_iterator(dump.begin(), dump.end(), re);
             it != std::sregex_iterator(); ++it) {
            out += (out.empty() ? "" : " ") + (*it)[1].str();
        }
        return out;
    };
    for (const auto& c : dorvanta::testing::kAccentAndCaseCases) {
        const auto words = dorvanta::testing::SortCaseWords(c.List);
        std::string entries, json;
        for (const std::string& word : words) {
            entries += (entries.empty() ? "{\"title\": \"" : ", {\"title\": \"") +
                       Cp1252ToUtf8(word) + "\"}";
        }
        for (const std::string& word : words) {
            json +=
                (json.empty() ? "{\"keys\": [" : ", ") +
                ("{\"parent\": \"" + Cp1252ToUtf8(word) + "\", \"name\": \"k\", \"entries\": [") +
                (&word == &words[0] ? entries : "") + "]}";
        }
        WriteBytes(dir.File("in.json"), json + "]}");
        ASSERT_EQ(Cli({"build", dir.File("in.json"), dir.File("u.pdt")}).code, kOk) << c.List;
        ASSERT_EQ(Cli({"sort", dir.File("u.pdt"), dir.File("s.pdt")}).code, kOk) << c.List;
        const Result dump = Cli({"dump", dir.File("s.pdt")});
        EXPECT_EQ(texts(dump.out, "title"), c.Titles) << c.List;
        EXPECT_EQ(texts(dump.out, "parent"), c.Parents) << c.List;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, CliSortOrder, ::testing::Values("root", "de_DE"));

TEST(Cli, ErrorsCarryTheGermanMessages) {
    TempDir dir;
    WriteBytes(dir.File("t.pdt"), Hex("01 06 00"));
    Result r = Cli({"dump", dir.File("t.pdt")});
    EXPECT_EQ(r.code, kError);
    EXPECT_EQ(r.err, "Stream-Lesefehler\n");
    r = Cli({"dump", dir.File("none.pdt")});
    EXPECT_EQ(r.err, "Datei " + dir.File("none.pdt") + " kann nicht geöffnet werden\n");
    r = Cli({"match", "[abc", "x"});
    EXPECT_EQ(r.code, kError);
    EXPECT_EQ(r.err, "'[abc' ist eine ungültige Maske für (5)\n");
    r = Cli({"match", "[%s", "abc"});  // the mask comes out verbatim, never re-read
    EXPECT_EQ(r.err, "'[%s' ist eine ungültige Maske für (4)\n");
    EXPECT_EQ(Cli({"frobnicate"}).code, kError);
    EXPECT_EQ(Cli({"build", "only-one"}).code, kError);
}

TEST(Cli, SearchPrintsHitsAndImportWritesTheResult) {
    TempDir dir;
    WriteBytes(dir.File("in.json"),
               R"({"password": "p", "keys": [{"parent": "P", "name": "K\u00e4se",)"
               R"( "entries": [{"title": "abc", "value": "x"}]}]})");
    ASSERT_EQ(Cli({"build", dir.File("in.json"), dir.File("a.pdt")}).code, kOk);
    const std::string pdt = dir.File("a.pdt");
    Result r = Cli({"search", pdt, "\xC3\x84S", "--names", "--no-values", "--password=p"});
    EXPECT_EQ(r.code, kOk) << r.err;
    EXPECT_EQ(r.out,
              "[\n  {\"source\": \"Unterrubrikname\", \"value\": \"K\xC3\xA4se\", \"key\": 0, "
              "\"entry\": -1}\n]\n");
    r = Cli({"search", pdt, "\xC3\x84S", "--exact", "--password=p"});
    EXPECT_EQ(std::make_pair(r.code, r.out), std::make_pair(int(kNoMatch), std::string("[]\n")));
    r = Cli({"search", pdt, "[a", "--password=p"});
    EXPECT_EQ(std::make_tuple(r.code, r.out, r.err),
              std::make_tuple(int(kError), std::string(),
                              std::string("'[A' ist eine ungültige Maske für (3)\n")));

    WriteBytes(dir.File("in.txt"), "b;1;i;j\na");
    r = Cli({"import", pdt, "0", dir.File("in.txt"), dir.File("b.pdt"), "--separator", ";",
             "--password", "p"});
    ASSERT_EQ(r.code, kOk) << r.err;
    r = Cli({"dump", dir.File("b.pdt"), "--password", "p"});
    EXPECT_LT(r.out.find("\"title\": \"a\""), r.out.find("\"title\": \"abc\""));
    EXPECT_NE(r.out.find("\"title\": \"b\", \"value\": \"1\", \"info\": \"i;j\""),
              std::string::npos);
    // A UTF-8 file: its umlaut comes in; a character outside Windows-1252 writes nothing.
    WriteBytes(dir.File("utf8.txt"), "\xEF\xBB\xBFK\xC3\xA4se;2\n");
    r = Cli({"import", pdt, "0", dir.File("utf8.txt"), dir.File("d.pdt"), "--separator", ";",
             "--password", "p"});
    ASSERT_EQ(r.code, kOk) << r.err;
    r = Cli({"dump", dir.File("d.pdt"), "--password", "p"});
    EXPECT_NE(r.out.find("\"title\": \"K\xC3\xA4se\", \"value\": \"2\""), std::string::npos);
    WriteBytes(dir.File("utf8.txt"), "a\n\xE2\x82\xAC \xC5\x81\n");
    r = Cli({"import", pdt, "0", dir.File("utf8.txt"), dir.File("e.pdt"), "--password", "p"});
    EXPECT_EQ(std::make_pair(r.code, r.err),
              std::make_pair(int(kError), "Zeile 2 der Datei „" + dir.File("utf8.txt") +
                                              "“ enthält das Zeichen „Ł“, das nicht gespeichert "
                                              "werden kann. Es wurde nichts importiert.\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("e.pdt")));
    for (const char* key : {"1", "x", "-1"}) {
        r = Cli({"import", pdt, key, dir.File("in.txt"), dir.File("c.pdt"), "--password", "p"});
        EXPECT_EQ(r.code, kError) << key;
        EXPECT_NE(r.err.find("Rubrik"), std::string::npos) << r.err;
    }
}

TEST(Cli, RealBinaryExitCodes) {
    auto status = [](const std::string& args) {
        const int raw = std::system(
            (std::string(DORVANTA_CLI_PATH) + " " + args + " 2>/dev/null >/dev/null").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status("match 'a*' ABC"), 0);
    EXPECT_EQ(status("match 'a*' ba"), 1);
    EXPECT_EQ(status("match '[]' x"), 2);
    EXPECT_EQ(status("--help"), 0);
    EXPECT_EQ(status("match '\xC3\xA4' '\xC3\x84'"), 1);  // only a..z fold
}

TEST(Cli, ErrorsNeverShowALibrarysText) {
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { throw std::bad_alloc(); }, kMsgOutOfMemory},
        {[] { std::vector<char>().reserve(std::vector<char>().max_size() + 1); }, kMsgOutOfMemory},
        {[] { (void)std::string("x").at(5); }, kMsgUnknownError},
        {[] { (void)std::stoi("x"); }, kMsgUnknownError},
        {[] { (void)std::filesystem::file_size("/nicht/da"); }, kMsgUnknownError},
        {[] { throw 42; }, kMsgUnknownError},
        {[] { throw EStoreError(kMsgReadError); }, kMsgReadError},
        {[] { TMask("[a"); }, "'[a' ist eine ungültige Maske für (3)"},
        {[] { throw std::runtime_error("basic_string::_M_create"); }, kMsgUnknownError},
    };
    for (const auto& [raise, expected] : cases) {
        std::string message;
        try {
            raise();
        } catch (...) {
            message = CurrentErrorMessage();
        }
        EXPECT_EQ(message, expected);
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

struct ChildResult {
    int code;
    std::string err;
    long peakBytes;
};

// Runs the real program with its output to /dev/null, its address space limited
// to `limit` bytes (0: unlimited).
ChildResult RunChild(const std::vector<std::string>& args, rlim_t limit,
                     const std::string& errPath) {
    std::vector<std::string> all = {DORVANTA_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit space{limit, limit};
        if (limit != 0) ::setrlimit(RLIMIT_AS, &space);
        ::dup2(::open("/dev/null", O_WRONLY), 1);
        ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(errPath),
            usage.ru_maxrss * 1024};
}

// Dumping a megabyte of keys under one 2,500-byte parent stays within a few times
// the file's size; a value too large for the memory there is gets a German message.
TEST(Cli, RealBinaryMemoryStaysNearTheFileSize) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory hides the program's";
    TempDir dir;
    std::string bomb = Hex("01 06 00 02 00 0C C4 09 00 00") + std::string(2500, 'P') + Hex("06 00");
    while (bomb.size() < (1u << 20)) bomb += Hex("02 01 06 00");
    bomb += Hex("00");
    WriteBytes(dir.File("bomb.pdt"), bomb);
    const ChildResult dump = RunChild({"dump", dir.File("bomb.pdt")}, 0, dir.File("err"));
    EXPECT_EQ(std::make_pair(dump.code, dump.err), std::make_pair(int(kOk), std::string()));
    EXPECT_LE(dump.peakBytes, 4 * static_cast<long>(bomb.size()) + (50l << 20));

    const std::string huge = dir.File("huge.pdt");  // a parent of 288 MiB, sparse
    WriteBytes(huge, Hex("01 06 00 02 00 0C 00 00 00 12"));
    std::filesystem::resize_file(huge, 0x12000000 + 64);
    const ChildResult tight = RunChild({"dump", huge}, 200u << 20, dir.File("err"));
    EXPECT_EQ(std::make_pair(tight.code, tight.err),
              std::make_pair(int(kError), std::string(kMsgOutOfMemory) + "\n"));
}

// "build" refuses a JSON file over its stated cap before reading a byte of it.
TEST(Cli, BuildRefusesAJsonFileOverItsCapUnread) {
    EXPECT_NE(Cli({"--help"}).out.find("256 MiB"), std::string::npos);
    TempDir dir;
    const std::uint64_t cap = std::uint64_t{256} << 20;
    struct Case {
        std::string head;  // then zero bytes up to `size` (sparse)
        std::uint64_t size;
        std::string error;  // empty: written
    };
    const std::string json = dir.File("in.json");
    const Case cases[] = {
        {"{", cap + 1,
         "Die JSON-Datei " + json + " ist größer als 256 MiB und wird nicht gelesen\n"},
        {"x", std::uint64_t{1} << 30,
         "Die JSON-Datei " + json + " ist größer als 256 MiB und wird nicht gelesen\n"},
        {"{\"keys\": []}", 12, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        WriteBytes(json, c.head);
        std::filesystem::resize_file(json, c.size);
        // With 64 MiB of address space: reading the file would fail otherwise.
        const ChildResult r = RunChild({"build", json, dir.File("out.pdt")},
                                       kSanitized ? 0 : 64u << 20, dir.File("err"));
        EXPECT_EQ(r.err, c.error);
        EXPECT_EQ(r.code, c.error.empty() ? int(kOk) : int(kError));
    }
}

}  // namespace
}  // namespace dorvanta::cli
