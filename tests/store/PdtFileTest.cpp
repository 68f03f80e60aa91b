#include <gtest/gtest.h>

#include <chrono>

#include "store/PdtFile.h"
#include "support/TempDir.h"

namespace dorvanta {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kExample51 =
    Hex("01 06 00 02 00 06 04 42 61 6E 6B 06 03 65 69 6D 02 02 06 03 65 69 6D 06 00 06 00"
        "11 00 00 00 00 D0 5E E2 40 02 01 14 07 00 00 00 7C E2 82 AC E2 80 9E 00");

TDocument ExampleDocument() {
    TDocument doc;
    doc.Keys = {{"abc", "Bank", {{"abc", "", "", 37622.5}}}, {"xyz", "Bank", {}}};
    return doc;
}

// Loads bytes; the error message when it fails.
std::string LoadError(const std::string& bytes, TDocument* into = nullptr) {
    TDocument local;
    TDocument& doc = into ? *into : local;
    try {
        LoadDocumentFromBytes(doc, bytes, "x.pdt");
    } catch (const EStoreError& e) {
        return e.what();
    }
    return "";
}

TEST(Scramble, KnownValuesAndRoundTrip) {
    EXPECT_EQ(ScrambleText(""), "");
    EXPECT_EQ(ScrambleText("abc"), "eim");
    EXPECT_EQ(ScrambleText("\xFF"), "\x01");
    std::string long_(1000, '\0');
    for (std::size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<char>(i * 7);
    EXPECT_EQ(UnscrambleText(ScrambleText(long_)), long_);
}

TEST(PdtFormat, ExampleFileByteForByte) {
    EXPECT_EQ(EncodeDocument(ExampleDocument()), kExample51);
    EXPECT_EQ(kExample51.size(), 51u);
    TDocument doc;
    ASSERT_TRUE(LoadDocumentFromBytes(doc, kExample51, "x.pdt"));
    ASSERT_EQ(doc.Keys.size(), 2u);
    EXPECT_EQ(doc.Keys[1].Name, "xyz");
    EXPECT_EQ(doc.Keys[1].Parent, "Bank");
    EXPECT_EQ(doc.Keys[0].Data[0].Date, 37622.5);
}

TEST(PdtFormat, EmptyDocumentIsFourBytes) {
    EXPECT_EQ(EncodeDocument(TDocument{}), Hex("01 06 00 00"));
    TDocument doc;
    bool asked = false;
    TLoadHooks hooks;
    hooks.AskPassword = [&](const std::string&) {
        asked = true;
        return std::optional<std::string>();
    };
    EXPECT_TRUE(LoadDocumentFromBytes(doc, Hex("01 06 00 00"), "x", hooks));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(doc.Keys.empty());
}

TEST(PdtFormat, StringTagsByLengthAndContent) {
    TDocument doc;
    doc.Keys = {{"", std::string(255, 'a'), {}}};
    std::string bytes = EncodeDocument(doc);
    EXPECT_EQ(bytes.substr(5, 2), Hex("06 FF"));
    doc.Keys[0].Parent = std::string(256, 'a');
    bytes = EncodeDocument(doc);
    EXPECT_EQ(bytes.substr(5, 5), Hex("0C 00 01 00 00"));
    doc.Keys[0].Parent = "\xE4";
    bytes = EncodeDocument(doc);
    EXPECT_EQ(bytes.substr(5, 7), Hex("14 02 00 00 00 C3 A4"));
}

TEST(PdtFormat, RoundTripsEveryByteInEveryField) {
    TDocument doc;
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    doc.Password = all;
    doc.Keys = {{all, all, {{all, all.substr(3), all.substr(100), -1.25}}},
                {"", all, {}},
                {"n", "", {{"", "", "", 0}}}};
    const std::string bytes = EncodeDocument(doc);
    TDocument back;
    TLoadHooks hooks;
    hooks.AskPassword = [&](const std::string&) { return std::optional<std::string>(all); };
    ASSERT_TRUE(LoadDocumentFromBytes(back, bytes, "x", hooks));
    EXPECT_EQ(back.Password, all);
    ASSERT_EQ(back.Keys.size(), 3u);
    EXPECT_EQ(back.Keys[0].Data[0].Info, all.substr(100));
    EXPECT_EQ(back.Keys[0].Data[0].Date, -1.25);
    EXPECT_EQ(back.Keys[1].Parent, all);
    EXPECT_EQ(EncodeDocument(back), bytes);
}

TEST(PdtFormat, AcceptsOtherMarkersIntegersDatesAndStringKinds) {
    // marker 3 (as 16-bit) continues the group; dates as integers are whole days;
    // a wide string and a long string are read too.
    const std::string bytes =
        Hex("01 06 00"
            "02 00 06 01 50 06 01 70"  // key "n" under P
            "03 03 00 06 01 71"        // marker 3: key "o" in the same group
            "02 02 12 01 00 00 00 63 00 0C 00 00 00 00 06 00 04 10 27 00 00"  // entry, date 10000
            "00");
    TDocument doc;
    ASSERT_TRUE(LoadDocumentFromBytes(doc, bytes, "x")) << LoadError(bytes);
    ASSERT_EQ(doc.Keys.size(), 2u);
    EXPECT_EQ(doc.Keys[1].Parent, "P");
    EXPECT_EQ(doc.Keys[1].Name, "o");
    ASSERT_EQ(doc.Keys[1].Data.size(), 1u);
    EXPECT_EQ(doc.Keys[1].Data[0].Title, "a");  // 'c' - 1 - 0 - 1
    EXPECT_EQ(doc.Keys[1].Data[0].Date, 10000.0);
}

TEST(PdtFormat, BrokenUtf8EmptiesTheText) {
    TDocument doc;
    ASSERT_TRUE(
        LoadDocumentFromBytes(doc, Hex("01 06 00 02 00 14 02 00 00 00 C3 41 06 00 00"), "x"));
    EXPECT_EQ(doc.Keys[0].Parent, "");
    ASSERT_TRUE(LoadDocumentFromBytes(doc, Hex("01 06 00 02 00 14 01 00 00 00 C3 06 00 00"), "x"));
    EXPECT_EQ(doc.Keys[0].Parent, "");
    // A character beyond the code page becomes '?'.
    ASSERT_TRUE(
        LoadDocumentFromBytes(doc, Hex("01 06 00 02 00 14 03 00 00 00 E2 88 9E 06 00 00"), "x"));
    EXPECT_EQ(doc.Keys[0].Parent, "?");
}

TEST(PdtFormat, MalformedFilesGiveTheirMessages) {
    EXPECT_EQ(LoadError(""), kMsgReadError);
    EXPECT_EQ(LoadError(Hex("02")), kMsgBadValue);
    EXPECT_EQ(LoadError(Hex("01 06 00")), kMsgReadError);          // truncated after the password
    EXPECT_EQ(LoadError(Hex("01 11 00")), kMsgBadValue);           // password of the wrong kind
    EXPECT_EQ(LoadError(Hex("01 06 00 06 00 00")), kMsgBadValue);  // marker as a string
    EXPECT_EQ(LoadError(Hex("01 06 00 02 01 06 00 00")), kMsgBadValue);  // no group to continue
    EXPECT_EQ(LoadError(Hex("01 06 00 02 02 06 00 06 00 06 00 11 00 00 00 00 00 00 00 00 00")),
              kMsgBadValue);                                  // entry before any key
    EXPECT_EQ(LoadError(Hex("01 06 05 61")), kMsgReadError);  // string cut short
}

TEST(PdtFormat, AbsurdLengthsFailAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadError(Hex("01 0C FF FF FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00")),
              kMsgReadError);
    EXPECT_EQ(LoadError(Hex("01 12 FF FF FF FF 00")), kMsgReadError);
    EXPECT_EQ(LoadError(Hex("01 14 FF FF FF 7F 00")), kMsgReadError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(PdtFormat, FailureKeepsRecordsReadAndLoadingSet) {
    TDocument doc;
    const std::string bytes = kExample51.substr(0, 40);  // cut inside the second key
    EXPECT_EQ(LoadError(bytes, &doc), kMsgReadError);
    EXPECT_TRUE(doc.Loading);
    ASSERT_EQ(doc.Keys.size(), 1u);
    EXPECT_EQ(doc.Keys[0].Data.size(), 1u);
}

TEST(PdtPassword, RightWrongAndCancelled) {
    TDocument source = ExampleDocument();
    source.Password = "Geheim";
    const std::string bytes = EncodeDocument(source);

    for (const auto& [typed, expectOk, expectMessage] :
         std::vector<std::tuple<std::optional<std::string>, bool, bool>>{
             {"Geheim", true, false}, {"geheim", false, true}, {std::nullopt, false, false}}) {
        TDocument doc;
        doc.Modified = true;
        doc.FileName = "old";
        int messages = 0;
        std::string askedFor;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string& path) {
            askedFor = path;
            EXPECT_TRUE(doc.Loading);
            return typed;
        };
        hooks.ShowWrongPassword = [&] { ++messages; };
        EXPECT_EQ(LoadDocumentFromBytes(doc, bytes, "/p/x.pdt", hooks), expectOk);
        EXPECT_EQ(askedFor, "/p/x.pdt");
        EXPECT_EQ(messages, expectMessage ? 1 : 0);
        EXPECT_FALSE(doc.Loading);
        if (expectOk) {
            EXPECT_EQ(doc.Keys.size(), 2u);
            EXPECT_EQ(doc.Password, "Geheim");
        } else {
            EXPECT_TRUE(doc.Keys.empty());
            EXPECT_TRUE(doc.Password.empty());
            EXPECT_TRUE(doc.FileName.empty());
            EXPECT_FALSE(doc.Modified);
        }
    }
}

TEST(PdtFile, SaveAndLoadThroughTheFileSystem) {
    TempDir dir;
    const std::string path = dir.File("daten.pdt");
    SaveDocument(ExampleDocument(), path);
    EXPECT_EQ(ReadBytes(path), kExample51);
    TDocument doc;
    bool rebuilt = false;
    TLoadHooks hooks;
    hooks.RebuildViews = [&] { rebuilt = true; };
    EXPECT_TRUE(LoadDocument(doc, path, hooks));
    EXPECT_TRUE(rebuilt);
    EXPECT_EQ(doc.Keys.size(), 2u);
    // Load changes neither the file name nor Modified.
    EXPECT_TRUE(doc.FileName.empty());
}

TEST(PdtFile, MissingFileOrFolderCannotBeOpened) {
    TempDir dir;
    TDocument doc;
    doc.Keys = ExampleDocument().Keys;
    const std::string missing = dir.File("fehlt.pdt");
    try {
        LoadDocument(doc, missing);
        FAIL();
    } catch (const EStoreError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + missing + " kann nicht geöffnet werden");
    }
    EXPECT_TRUE(doc.Keys.empty());
    EXPECT_FALSE(doc.Loading);
    EXPECT_THROW(LoadDocument(doc, dir.Path().string()), EStoreError);
}

}  // namespace
}  // namespace dorvanta
