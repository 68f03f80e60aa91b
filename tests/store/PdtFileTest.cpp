#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

#include "store/Cp1252.h"
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

std::string UInt32Bytes(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

// A key record as the program writes it: marker 0 with its parent, or marker 1.
std::string KeyRecord(const std::string* parent, const std::string& name) {
    std::string out = Hex("02 01");
    if (parent) {
        out = Hex("02 00") +
              (parent->size() <= 255 ? Hex("06") + static_cast<char>(parent->size())
                                     : Hex("0C") + UInt32Bytes(parent->size())) +
              *parent;
    }
    return out + Hex("06") + static_cast<char>(name.size()) + ScrambleText(name);
}

// Loads a file; the error message when it fails.
std::string LoadFileError(const std::string& path, TDocument& doc) {
    try {
        LoadDocument(doc, path);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// A document's file written the plain way, one step after the other: each text
// scrambled on its own, then a short or a long string, or UTF-8 as soon as one
// byte is not ASCII.
std::string PlainEncode(const TDocument& doc) {
    auto text = [](const std::string& t) {
        if (std::any_of(t.begin(), t.end(), [](char c) { return c & 0x80; })) {
            const std::string utf8 = Cp1252ToUtf8(t);
            return Hex("14") + UInt32Bytes(static_cast<std::uint32_t>(utf8.size())) + utf8;
        }
        if (t.size() <= 255) return Hex("06") + static_cast<char>(t.size()) + t;
        return Hex("0C") + UInt32Bytes(static_cast<std::uint32_t>(t.size())) + t;
    };
    std::string out = Hex("01") + text(ScrambleText(doc.Password));
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        out += doc.IsGroupStart(static_cast<std::int32_t>(k))
                   ? Hex("02 00") + text(key.Parent.str())
                   : Hex("02 01");
        out += text(ScrambleText(key.Name));
        for (const TDataRec& rec : key.Data) {
            out += Hex("02 02") + text(ScrambleText(rec.Title)) + text(ScrambleText(rec.Value)) +
                   text(ScrambleText(rec.Info)) + Hex("11");
            std::uint64_t bits;
            std::memcpy(&bits, &rec.Date, 8);
            for (int i = 0; i < 8; ++i) out += static_cast<char>(bits >> (8 * i));
        }
    }
    return out + Hex("00");
}

// Every text of a document in order, the password first.
std::vector<std::string> Texts(const TDocument& doc) {
    std::vector<std::string> texts = {doc.Password};
    for (const TDataKey& key : doc.Keys) {
        texts.insert(texts.end(), {key.Parent.str(), key.Name});
        for (const TDataRec& rec : key.Data) {
            texts.insert(texts.end(), {rec.Title, rec.Value, rec.Info, std::to_string(rec.Date)});
        }
    }
    return texts;
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

// Random documents of every kind of text (everyday ones with umlauts, any bytes,
// ones that scramble to ASCII and so take the string tags, long ones beyond the
// decoder's buffer) are written as the plain encoder writes them, and read back
// from memory and from a file in pieces.
TEST(PdtFormat, RandomDocumentsAreWrittenAsPlainlyEncodedAndReadBack) {
    std::mt19937 rng(51);
    const std::string letters = "abcXYZ019 .,;-\xE4\xF6\xFC\xDF\xC4\xD6\xDC\x80\x84\x93\x96";
    auto text = [&]() -> std::string {
        const unsigned kind = rng() % 9;
        std::string t(kind == 0   ? 0
                      : kind == 7 ? 1000 + rng() % 2000
                                  : rng() % (kind < 4 ? 41 : 300),
                      ' ');
        for (char& c : t) {
            c = kind < 4    ? letters[rng() % letters.size()]
                : kind == 5 ? static_cast<char>(0x20 + rng() % 0x5F)
                : kind == 8 ? static_cast<char>(rng() % 2 ? 0x80 : 0)
                            : static_cast<char>(rng());
        }
        // Scrambling to printable ASCII, or to nothing but 0x00 and 0x80.
        return kind == 5 || kind == 8 ? UnscrambleText(t) : t;
    };
    TempDir dir;
    for (int d = 0; d < 30; ++d) {
        TDocument doc;
        doc.Password = d % 3 ? "" : text();
        for (int k = 0, keys = static_cast<int>(rng() % 40); k < keys; ++k) {
            TDataKey key{text(), k > 0 && rng() % 2 ? doc.Keys.back().Parent.str() : text(), {}};
            for (int e = 0, n = static_cast<int>(rng() % 12); e < n; ++e) {
                key.Data.push_back({text(), text(), text(), static_cast<double>(rng()) / 16});
            }
            doc.Keys.push_back(std::move(key));
        }
        const std::string bytes = EncodeDocument(doc);
        ASSERT_EQ(bytes, PlainEncode(doc)) << d;
        TLoadHooks hooks;
        hooks.AskPassword = [&](const std::string&) { return std::optional(doc.Password); };
        TDocument fromMemory, fromFile;
        ASSERT_TRUE(LoadDocumentFromBytes(fromMemory, bytes, "x", hooks));
        EXPECT_EQ(Texts(fromMemory), Texts(doc)) << d;
        WriteBytes(dir.File("z.pdt"), bytes);
        ASSERT_TRUE(LoadDocument(fromFile, dir.File("z.pdt"), hooks));
        EXPECT_EQ(Texts(fromFile), Texts(doc)) << d;
    }
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
    // Load does not change Modified.
    EXPECT_FALSE(doc.Modified);
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
    // Neither a folder nor a device, nor a pipe without a writer (opening it must not wait).
    const std::string pipe = dir.File("pipe.pdt");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& path : {dir.Path().string(), std::string("/dev/zero"), pipe}) {
        EXPECT_EQ(LoadFileError(path, doc), "Datei " + path + " kann nicht geöffnet werden");
    }
}

// Hundreds of thousands of keys continuing one group under a long parent: the group
// holds its name once, and grouping, saving, sorting and renaming work as before.
TEST(PdtLoad, AGroupOfManyKeysSharesOneParentText) {
    const std::string a = "A", p(2500, 'P'), z = "Z";
    constexpr int kMany = 300000;
    std::string bytes = Hex("01 06 00") + KeyRecord(&a, "") + KeyRecord(&p, "b");
    std::string canonical = bytes;
    bytes += KeyRecord(&p, "a");  // the same name again: still the same group
    canonical += KeyRecord(nullptr, "a");
    std::string tail;
    for (int i = 0; i < kMany; ++i) tail += KeyRecord(nullptr, "");
    tail += KeyRecord(&z, "") + Hex("00");
    bytes += tail;
    canonical += tail;

    TempDir dir;
    WriteBytes(dir.File("bomb.pdt"), bytes);
    TDocument doc;
    ASSERT_EQ(LoadFileError(dir.File("bomb.pdt"), doc), "");
    ASSERT_EQ(doc.Keys.size(), kMany + 4u);
    auto sharedRun = [&](std::size_t first, std::size_t last, const std::string& name) {
        std::size_t shared = 0;
        for (std::size_t k = first; k <= last; ++k) {
            shared += doc.Keys[k].Parent.SharesWith(doc.Keys[first].Parent);
        }
        return std::make_pair(doc.Keys[first].Parent.str() == name, shared);
    };
    const auto whole = std::make_pair(true, std::size_t(kMany) + 2);
    EXPECT_EQ(sharedRun(1, kMany + 2, p), whole);
    std::size_t starts = 0;
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) starts += doc.IsGroupStart(k);
    EXPECT_EQ(starts, 3u);
    EXPECT_EQ(EncodeDocument(doc), canonical);

    doc.SortKeys();  // A, then P: the empty names, "a", "b"; then Z
    EXPECT_EQ(doc.Keys[kMany + 1].Name, "a");
    EXPECT_EQ(doc.Keys[kMany + 2].Name, "b");
    EXPECT_EQ(sharedRun(1, kMany + 2, p), whole);

    EXPECT_TRUE(doc.RenameParent(kMany / 2, "0"));  // sorts before A now
    EXPECT_EQ(sharedRun(0, kMany + 1, "0"), whole);
    EXPECT_EQ(doc.Keys[kMany + 2].Parent, "A");
    EXPECT_EQ(doc.Keys[kMany + 3].Parent, "Z");
}

// The file is read in pieces: texts of every kind across piece boundaries and
// longer than a piece load as they do from memory, and a file cut anywhere fails
// as the same bytes do in memory, keeping the same records.
TEST(PdtFile, ReadingInPiecesMatchesReadingFromMemory) {
    TDocument source;
    std::string high(70001, '\xE4');  // written as UTF-8, twice as long
    for (std::size_t i = 0; i < high.size(); i += 7) high[i] = 'x';
    source.Keys = {{"k", std::string(65530, 'a'), {{"t", std::string(65536, 'v'), "i", 1.5}}},
                   {std::string(200000, 'n'), "b", {{high, "", std::string(300, 'i'), 2}}},
                   {"", high, {}}};
    std::string wide = Hex("02 00 12") + UInt32Bytes(40000);  // a parent of UTF-16 units
    for (int i = 0; i < 40000; ++i) wide += i % 2 ? Hex("E4 00") : Hex("AC 20");
    std::string bytes = EncodeDocument(source);
    bytes.insert(bytes.size() - 1, wide + Hex("06 00"));

    TempDir dir;
    const std::string path = dir.File("lang.pdt");
    std::vector<std::size_t> cuts = {bytes.size(), bytes.size() - 1, 0, 1, 3};
    for (std::size_t at = 65530; at < 65560; at += 3) cuts.push_back(at);
    for (std::size_t at = 5; at < bytes.size(); at += 24989) cuts.push_back(at);
    for (const std::size_t cut : cuts) {
        const std::string part = bytes.substr(0, cut);
        WriteBytes(path, part);
        TDocument fromMemory, fromFile;
        const std::string memoryError = LoadError(part, &fromMemory);
        EXPECT_EQ(LoadFileError(path, fromFile), memoryError) << cut;
        EXPECT_EQ(EncodeDocument(fromFile), EncodeDocument(fromMemory)) << cut;
        if (cut == bytes.size()) {
            ASSERT_EQ(memoryError, "");
            ASSERT_EQ(fromFile.Keys.size(), 4u);
            EXPECT_EQ(fromFile.Keys[1].Data[0].Title, high);
            EXPECT_EQ(fromFile.Keys[3].Parent.size(), 40000u);
            const std::string written = EncodeDocument(source);  // all but the wide parent
            EXPECT_EQ(EncodeDocument(fromFile).substr(0, written.size() - 1),
                      written.substr(0, written.size() - 1));
        }
    }
}

// A huge file, sparse here, is checked as it is read: a bad value fails at once,
// and what follows the end of the list is never read.
TEST(PdtFile, HugeFilesFailAtTheirFirstBadValue) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    const struct {
        std::string head;
        std::uint64_t size;
        std::string message;
    } cases[] = {
        {Hex("02"), 100 * kGiB, kMsgBadValue},  // not a pdt file
        {Hex("01 06 00 02 00 06 01 50 06 01 6E 02 02 07"), 100 * kGiB, kMsgBadValue},  // forged
        {Hex("01 06 00 02 00 0C FF FF FF FF"), kGiB, kMsgReadError},  // more than the file holds
        {Hex("01 06 00 00"), 100 * kGiB, ""},                         // an empty document
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File("gross.pdt");
        WriteBytes(path, c.head);
        std::filesystem::resize_file(path, c.size);
        const auto start = std::chrono::steady_clock::now();
        TDocument doc;
        EXPECT_EQ(LoadFileError(path, doc), c.message) << c.size;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace dorvanta
