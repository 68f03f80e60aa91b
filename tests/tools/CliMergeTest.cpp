// dorvanta-cli merge on plain, encrypted, damaged and missing inputs: the exit
// status, what stderr says, and what (if anything) was written.
#include <gtest/gtest.h>

#include <filesystem>

#include "store/Cp1252.h"
#include "store/PdtFile.h"
#include "support/CliRun.h"
#include "support/TempDir.h"

namespace dorvanta::cli {
namespace {

using dorvanta::testing::Cli;
using dorvanta::testing::ReadBytes;
using dorvanta::testing::TempDir;
using dorvanta::testing::WriteBytes;

// The entries of one sub-category "Ober" / "Unter": title, value, date.
using Entries = std::vector<TDataRec>;

const Entries kBase = {{"A", "a0", "", 40000.5}, {"B", "b0", "", 40000.5}};
const Entries kOursA = {{"A", "a1", "", 40001.5}, {"B", "b0", "", 40000.5}};
const Entries kTheirsA = {{"A", "a2", "", 40002.5}, {"B", "b0", "", 40000.5}};
const Entries kTheirsB = {{"A", "a0", "", 40000.5}, {"B", "b2", "", 40002.5}};

class CliMerge : public ::testing::Test {
  protected:
    void SetUp() override { SetEncryptionWorkFactor(1); }
    void TearDown() override { SetEncryptionWorkFactor(workFactor_); }

    // Saves `entries` as `name`: *.age encrypted under "Geheim", else plain.
    std::string Save(const std::string& name, const Entries& entries) {
        TDocument doc;
        doc.Keys.push_back({"Unter", TSharedText("Ober"), entries});
        if (name.ends_with(".age")) {
            doc.Format = TDocument::TFormat::Encrypted;
            doc.Password = "Geheim";
        }
        SaveDocument(doc, dir_.File(name));
        return dir_.File(name);
    }

    // "A=a1 B=b2 (age)": the entries of a written file and its format.
    static std::string Contents(const std::string& path) {
        TDocument doc;
        TLoadHooks hooks;
        hooks.AskPassword = [](const std::string&) { return std::optional<std::string>("Geheim"); };
        if (!LoadDocument(doc, path, hooks)) return "?";
        std::string text;
        for (const TDataRec& rec : doc.Keys.at(0).Data) text += rec.Title + "=" + rec.Value + " ";
        return text + (doc.Format == TDocument::TFormat::Encrypted ? "(age)" : "(pdt)");
    }

    const int workFactor_ = EncryptionWorkFactor();
    TempDir dir_;
};

TEST_F(CliMerge, ExitStatusMessagesAndWrittenFile) {
    const std::string base = Save("base.pdt", kBase), oursA = Save("ours.pdt", kOursA),
                      theirsA = Save("theirsA.pdt", kTheirsA),
                      theirsB = Save("theirsB.pdt", kTheirsB);
    const std::string baseAge = Save("base.age", kBase), oursAge = Save("ours.age", kOursA),
                      theirsBAge = Save("theirsB.age", kTheirsB);
    std::string damaged = ReadBytes(theirsB);
    damaged.resize(damaged.size() - 3);
    WriteBytes(dir_.File("damaged.pdt"), damaged);
    WriteBytes(dir_.File("empty"), "");
    const std::string out = dir_.File("out.pdt"), missing = dir_.File("fehlt.pdt");
    const std::string wrong = std::string(kMsgWrongPassword) + "\n";
    const auto bothChanged = [](const std::string& title, const std::string& day) {
        return "„Ober“ / „Unter“: „" + title +
               "“ wurde auf beiden Seiten geändert; die ältere Fassung steht als „" + title +
               " (Konflikt vom " + day + " 12:00)“ daneben.\n";
    };
    const std::string damagedMessage = "Stream-Lesefehler\n";

    struct Case {
        const char* what;
        std::vector<std::string> args;  // after "merge"
        int code;
        std::string err;
        std::string written;  // Contents of OUT; "" when nothing was written
    };
    const Case cases[] = {
        {"clean", {base, oursA, theirsB, out}, 0, "", "A=a1 B=b2 (pdt)"},
        {"conflict",
         {base, oursA, theirsA, out},
         1,
         bothChanged("A", "07.07.2009") + "0 Einträge übernommen, 1 Konflikt\n",
         "A=a2 A (Konflikt vom 07.07.2009 12:00)=a1 B=b0 (pdt)"},
        {"encrypted into ours",
         {baseAge, oursAge, theirsBAge, oursAge, "--password", "Geheim"},
         0,
         "",
         "A=a1 B=b2 (age)"},
        {"plain ours of encrypted sides",
         {baseAge, oursA, theirsBAge, out, "--password=Geheim"},
         0,
         "",
         "A=a1 B=b2 (pdt)"},
        {"encrypted ours of plain sides",
         {base, oursAge, theirsB, out, "--password", "Geheim"},
         0,
         "",
         "A=a1 B=b2 (age)"},
        // Theirs without a password still gives an encrypted file under the one given.
        {"theirs unprotected",
         {baseAge, oursAge, theirsB, out, "--password", "Geheim"},
         0,
         "",
         "A=a1 B=b2 (age)"},
        {"no common version",
         {dir_.File("empty"), oursA, theirsB, out},
         1,
         bothChanged("A", "06.07.2009") + bothChanged("B", "06.07.2009") +
             "0 Einträge übernommen, 2 Konflikte\n",
         "A=a1 A (Konflikt vom 06.07.2009 12:00)=a0 B=b2 B (Konflikt vom 06.07.2009 12:00)=b0 "
         "(pdt)"},
        {"wrong password",
         {baseAge, oursAge, theirsBAge, oursAge, "--password", "geheim"},
         3,
         wrong,
         ""},
        {"no password", {base, oursAge, theirsB, out}, 3, wrong, ""},
        {"damaged", {base, oursA, dir_.File("damaged.pdt"), out}, 2, damagedMessage, ""},
        {"damaged into ours",
         {base, oursA, dir_.File("damaged.pdt"), oursA},
         2,
         damagedMessage,
         ""},
        {"missing",
         {missing, oursA, theirsB, out},
         2,
         "Datei " + missing + " kann nicht geöffnet werden\n",
         ""},
        {"empty ours", {base, dir_.File("empty"), theirsB, out}, 2, damagedMessage, ""},
        {"three files",
         {base, oursA, theirsB},
         2,
         "Falsche Anzahl Argumente für \"merge\" (siehe --help)\n",
         ""},
        {"search switch",
         {base, oursA, theirsB, out, "--names"},
         2,
         "Die Option --names gilt nicht für \"merge\"\n",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"merge"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string target = c.args.size() >= 4 ? c.args[3] : out;
        const std::string before = ReadBytes(target);
        const auto r = Cli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        if (c.written.empty()) {
            EXPECT_EQ(ReadBytes(target), before);  // also: out.pdt still missing
        } else {
            EXPECT_EQ(Contents(target), c.written);
        }
        std::filesystem::remove(out);
    }
}

// The same password read from a plain file (Windows-1252) and from an encrypted
// one (UTF-8) is one password: the result opens with it in either format.
TEST_F(CliMerge, PasswordsAcrossFormats) {
    const auto save = [&](const std::string& name, const std::string& utf8) {
        TDocument doc;
        doc.Keys.push_back({"Unter", TSharedText("Ober"), kBase});
        doc.Format =
            name.ends_with(".age") ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain;
        doc.Password = name.ends_with(".age") ? utf8 : *Utf8ToCp1252Strict(utf8);
        SaveDocument(doc, dir_.File(name));
        return dir_.File(name);
    };
    // Whether `path` opens with `utf8` (as its format keeps it), and its format.
    const auto opensWith = [](const std::string& path, const std::string& utf8) {
        TDocument doc;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) { return Utf8ToCp1252Strict(utf8); };
        hooks.AskPassphrase = [&](const std::string&, int attempt) {
            return attempt == 1 ? std::optional<std::string>(utf8) : std::nullopt;
        };
        if (!LoadDocument(doc, path, hooks)) return std::string("?");
        return std::string(doc.Format == TDocument::TFormat::Encrypted ? "age" : "pdt");
    };
    const std::string pw = "Zq7ä";
    const std::string plainBase = save("b.pdt", pw), plainOurs = save("o.pdt", pw),
                      plainTheirs = save("t.pdt", pw), ageOurs = save("o.age", pw),
                      ageTheirs = save("t.age", pw), bareBase = save("bare-b.pdt", ""),
                      bareOurs = save("bare-o.pdt", ""), polish = save("pl.age", "Zq7ł");
    const std::string out = dir_.File("out");
    struct Case {
        const char* what;
        std::vector<std::string> args;  // after "merge"
        int code;
        std::string err;
        std::string opens;  // opensWith(OUT, "Zq7ä"); "" when nothing was written
    };
    const Case cases[] = {
        {"plain/plain", {plainBase, plainOurs, plainTheirs, out, "--password", pw}, 0, "", "pdt"},
        {"plain/encrypted", {plainBase, plainOurs, ageTheirs, out, "--password", pw}, 0, "", "pdt"},
        {"encrypted/plain", {plainBase, ageOurs, plainTheirs, out, "--password", pw}, 0, "", "age"},
        {"no base, plain/encrypted",
         {dir_.File("empty"), plainOurs, ageTheirs, out, "--password", pw},
         0,
         "",
         "pdt"},
        {"theirs' new password beyond Windows-1252, plain ours",
         {bareBase, bareOurs, polish, out, "--password", "Zq7ł"},
         2,
         "Das Passwort des Ergebnisses passt nicht in eine unverschlüsselte Datei (höchstens"
         " 255 Zeichen, die Windows-1252 darstellen kann). Es wurde nichts gespeichert.\n",
         ""},
    };
    WriteBytes(dir_.File("empty"), "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"merge"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = Cli(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(std::filesystem::exists(out) ? opensWith(out, pw) : "", c.opens);
        std::filesystem::remove(out);
    }
}

}  // namespace
}  // namespace dorvanta::cli
