// Opening and saving encrypted collections through the document's file functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "store/AgeFile.h"
#include "store/Cp1252.h"
#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class EncryptedPdtTest : public ::testing::Test {
  protected:
    void SetUp() override { SetEncryptionWorkFactor(10); }
    void TearDown() override { SetEncryptionWorkFactor(age::kWriteWorkFactor); }

    static TDocument Sample(const std::string& password) {
        TDocument doc;
        doc.Password = password;
        doc.Keys = {{"Giro", "Bank", {{"PIN", "4711 \xE4\xF6\xFC", "EC", 3.25}}},
                    {"Privat", "Mail", {}}};
        doc.Format = TDocument::TFormat::Encrypted;
        return doc;
    }

    // What a load told its caller.
    struct Outcome {
        bool loaded = false;
        int prompts = 0;
        int wrongMessages = 0;
        int resets = 0;
    };
    static Outcome Open(TDocument& doc, const std::string& path,
                        std::optional<std::string> typed) {
        Outcome o;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) {
            ++o.prompts;
            return typed;
        };
        hooks.ShowWrongPassword = [&] { ++o.wrongMessages; };
        hooks.ResetToNew = [&] {
            ++o.resets;
            doc.ClearDocument();
        };
        o.loaded = LoadDocument(doc, path, hooks);
        return o;
    }
};

TEST_F(EncryptedPdtTest, SavedFileHoldsThePlainBytesWithoutTheirPassphraseUnderItsUtf8) {
    TempDir dir;
    const TDocument doc = Sample("Geheim-\xC3\xA4");  // an encrypted document keeps UTF-8
    const std::string path = dir.File("a.pdt.age");
    SaveDocument(doc, path);
    const std::string file = ReadBytes(path);
    ASSERT_TRUE(age::IsEncrypted(file));
    EXPECT_NE(file.find("-> scrypt "), std::string::npos);
    age::TMemorySource source(file);
    std::string plain;
    age::Decrypt(source, "Geheim-\xC3\xA4", plain);
    // The passphrase is not inside its own plaintext: the stored password is empty.
    TDocument bare = doc;
    bare.Password.clear();
    EXPECT_EQ(plain, EncodeDocument(bare));
}

TEST_F(EncryptedPdtTest, OpeningAnswersLikeAPlainProtectedFile) {
    TempDir dir;
    // Named like a plain file: the first line decides.
    const std::string path = dir.File("a.pdt");
    SaveDocument(Sample("Geheim-\xC3\xA4"), path);
    struct Case {
        std::optional<std::string> typed;
        bool loaded;
        int wrongMessages;
    };
    const Case cases[] = {
        {"Geheim-\xC3\xA4", true, 0},
        {"geheim-\xC3\xA4", false, 1},
        {"", false, 1},
        {std::nullopt, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.value_or("<cancel>"));
        TDocument doc;
        doc.AddKey("alt", "alt");
        const Outcome o = Open(doc, path, c.typed);
        EXPECT_EQ(o.loaded, c.loaded);
        EXPECT_EQ(o.prompts, 1);
        EXPECT_EQ(o.wrongMessages, c.wrongMessages);
        EXPECT_EQ(o.resets, c.loaded ? 0 : 1);
        EXPECT_FALSE(doc.Loading);
        if (c.loaded) {
            EXPECT_EQ(doc.Format, TDocument::TFormat::Encrypted);
            ASSERT_EQ(doc.Keys.size(), 2u);
            EXPECT_EQ(doc.Keys[0].Data[0].Value, "4711 \xE4\xF6\xFC");
        } else {
            EXPECT_TRUE(doc.Keys.empty());
            EXPECT_EQ(doc.Format, TDocument::TFormat::Plain);
        }
    }
}

TEST_F(EncryptedPdtTest, AskPassphraseGivesThreeTriesEachOneKeyDerivation) {
    TempDir dir;
    const std::string sealed = dir.File("a.pdt.age");
    SaveDocument(Sample("Sesam"), sealed);
    TDocument plainDoc = Sample("Sesam");
    plainDoc.Format = TDocument::TFormat::Plain;
    const std::string locked = dir.File("b.pdt");
    SaveDocument(plainDoc, locked);
    using Answers = std::vector<std::optional<std::string>>;
    struct Case {
        const char* name;
        std::string path;
        Answers answers;
        bool loaded;
        std::vector<int> asked;  // the tries AskPassphrase was asked for; 0: AskPassword
        int wrongMessages;
        int derivations;  // runs of RunBusy
    };
    const Case cases[] = {
        {"right at once", sealed, {"Sesam"}, true, {1}, 0, 1},
        {"right at the second", sealed, {"sesam", "Sesam"}, true, {1, 2}, 0, 2},
        {"right at the third, an empty one costs nothing",
         sealed,
         {"x", "", "Sesam"},
         true,
         {1, 2, 3},
         0,
         2},
        {"three wrong", sealed, {"x", "y", "z"}, false, {1, 2, 3}, 1, 3},
        {"cancelled at the second", sealed, {"x", std::nullopt}, false, {1, 2}, 0, 1},
        {"cancelled at once", sealed, {std::nullopt}, false, {1}, 0, 0},
        {"a plain file asks AskPassword once", locked, {"x"}, false, {0}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDocument doc;
        doc.AddKey("alt", "alt");
        std::vector<int> asked;
        int wrong = 0;
        int busy = 0;
        std::size_t next = 0;
        const auto answer = [&]() -> std::optional<std::string> {
            return next < c.answers.size() ? c.answers[next++] : std::optional<std::string>("-");
        };
        TLoadHooks hooks;
        hooks.AskPassphrase = [&](const std::string& path, int attempt) {
            EXPECT_EQ(path, c.path);
            asked.push_back(attempt);
            return answer();
        };
        hooks.AskPassword = [&](const std::string&) {
            asked.push_back(0);
            return answer();
        };
        hooks.ShowWrongPassword = [&] { ++wrong; };
        hooks.RunBusy = [&](const std::function<void()>& work) {
            ++busy;
            work();
        };
        EXPECT_EQ(LoadDocument(doc, c.path, hooks), c.loaded);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(wrong, c.wrongMessages);
        EXPECT_EQ(busy, c.derivations);
        EXPECT_FALSE(doc.Loading);
        EXPECT_EQ(doc.Keys.size(), c.loaded ? 2u : 0u);
        EXPECT_EQ(doc.Password, c.loaded ? "Sesam" : "");
    }
}

TEST_F(EncryptedPdtTest, ThePassphraseBecomesThePasswordWhateverThePayloadStores) {
    TempDir dir;
    for (const std::string inner : {"", "anders"}) {
        const std::string path = dir.File("x.pdt.age");
        WriteBytes(path, age::Encrypt(EncodeDocument(Sample(inner)), "Sesam", 10));
        TDocument doc;
        ASSERT_TRUE(Open(doc, path, "Sesam").loaded);
        EXPECT_EQ(doc.Password, "Sesam");
        // Saved again, the inner stream holds no password (the passphrase guards it).
        SaveDocument(doc, path);
        std::string plain;
        const std::string file = ReadBytes(path);
        age::TMemorySource source(file);
        age::Decrypt(source, "Sesam", plain);
        TDocument inside;
        EXPECT_TRUE(LoadDocumentFromBytes(inside, plain, path));
        EXPECT_EQ(inside.Password, "");
        EXPECT_EQ(inside.Keys.size(), 2u);
        EXPECT_TRUE(Open(doc, path, "Sesam").loaded);
        EXPECT_EQ(doc.Password, "Sesam");
        // Decrypted into a plain file (the tool's decrypt), it is protected by it.
        doc.Format = TDocument::TFormat::Plain;
        SaveDocument(doc, dir.File("x.pdt"));
        const Outcome decrypted = Open(inside, dir.File("x.pdt"), "Sesam");
        EXPECT_TRUE(decrypted.loaded);
        EXPECT_EQ(decrypted.prompts, 1);
    }
}

TEST_F(EncryptedPdtTest, RefusalsNameTheFileAndTheReasonBeforeAnyPrompt) {
    TempDir dir;
    const std::string path = dir.File("x.pdt.age");
    const std::string good = age::Encrypt(EncodeDocument(Sample("pw")), "pw", 10);
    const std::size_t stanza = good.find("-> scrypt ");
    const std::size_t factorAt = good.find(" 10\n", stanza);
    const std::size_t macAt = good.find("\n--- ") + 5;
    std::string flippedChunk = good;
    flippedChunk.back() ^= 1;
    std::string flippedMac = good;
    flippedMac[macAt] = flippedMac[macAt] == 'A' ? 'B' : 'A';
    struct Case {
        const char* name;
        std::string bytes;
        std::string message;  // part of it
        int prompts;
    };
    const std::string damaged = "Die Datei " + path + " ist beschädigt";
    const Case cases[] = {
        {"not a collection", age::Encrypt("kein pdt", "pw", 10), damaged, 1},
        {"chunk tag", flippedChunk, damaged, 1},
        {"header MAC", flippedMac, damaged, 1},
        {"cut after the header", good.substr(0, macAt + 44), damaged, 1},
        {"bad first line", "age-encryption.org/v1\n-> scrypt\n", damaged, 0},
        {"work factor", good.substr(0, factorAt) + " 21" + good.substr(factorAt + 3),
         "Arbeitsfaktor 21", 0},
        {"two stanzas",
         good.substr(0, stanza) + good.substr(stanza, macAt - 5 - stanza + 1) + good.substr(stanza),
         "mehr als einen Empfängerblock", 0},
        {"key file", "age-encryption.org/v1\n-> X25519 abc\nAAAA\n--- " + std::string(43, 'A') + "\n",
         "nicht mit einem Passwort verschlüsselt, sondern für einen Schlüssel (Verfahren „X25519“)",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.bytes);
        TDocument doc;
        int prompts = 0;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) {
            ++prompts;
            return std::optional<std::string>("pw");
        };
        try {
            LoadDocument(doc, path, hooks);
            ADD_FAILURE() << "opened";
        } catch (const EStoreError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_EQ(prompts, c.prompts);
    }
}

// The payload is read as it is decrypted: a chunk that fails anywhere, even
// after the list's end, refuses the file and leaves nothing of what was read.
TEST_F(EncryptedPdtTest, AFailingChunkAnywhereRefusesTheFileAndWipesWhatWasRead) {
    TempDir dir;
    const std::string path = dir.File("x.pdt.age");
    TDocument big = Sample("");
    for (int i = 0; i < 6000; ++i) big.Keys[0].Data.push_back({"Titel", "Wert \xFC", "", 1.0});
    const std::string pdt = EncodeDocument(big);
    ASSERT_GT(pdt.size(), 2 * 65536u);  // past two chunks of the format
    const std::string whole = age::Encrypt(pdt, "pw", 10);
    // Bytes after the list's end, filling a further chunk.
    const std::string tail = age::Encrypt(pdt + std::string(70000, 'x'), "pw", 10);
    const auto flip = [](std::string bytes, std::size_t fromEnd) {
        bytes[bytes.size() - fromEnd] ^= 1;
        return bytes;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"middle chunk", flip(whole, whole.size() / 2)},
        {"last chunk", flip(whole, 20)},
        {"chunk after the list", flip(tail, 20)},
        {"cut", whole.substr(0, whole.size() - 1)},
        {"grown", whole + "x"},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteBytes(path, bytes);
        TDocument doc;
        int rebuilt = 0;
        TLoadHooks hooks;
        hooks.AskPassword = [](const std::string&) { return std::optional<std::string>("pw"); };
        hooks.RebuildViews = [&] { ++rebuilt; };
        EXPECT_THROW(LoadDocument(doc, path, hooks), EStoreError);
        EXPECT_TRUE(doc.Keys.empty());
        EXPECT_EQ(doc.Password, "");
        EXPECT_EQ(rebuilt, 0);
    }
    WriteBytes(path, tail);
    TDocument doc;
    EXPECT_TRUE(Open(doc, path, "pw").loaded);
    EXPECT_EQ(doc.Keys[0].Data.size(), 6001u);
}

TEST_F(EncryptedPdtTest, AnEncryptedSaveWithoutPasswordWritesNothing) {
    TempDir dir;
    const std::string path = dir.File("x.pdt.age");
    WriteBytes(path, "alt");
    EXPECT_THROW(SaveDocument(Sample(""), path), EStoreError);
    EXPECT_EQ(ReadBytes(path), "alt");
    // The plain format is unchanged by the new field.
    TDocument plain = Sample("");
    plain.Format = TDocument::TFormat::Plain;
    SaveDocument(plain, path);
    EXPECT_EQ(ReadBytes(path), EncodeDocument(plain));
}

}  // namespace
}  // namespace dorvanta
