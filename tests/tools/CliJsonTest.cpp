// The JSON of dump and search against the writer it replaced, which built one Qt
// JSON document per string: every output must stay the same to the byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <streambuf>
#include <tuple>

#include "store/Cp1252.h"
#include "store/PdtFile.h"
#include "store/Search.h"
#include "support/CliRun.h"
#include "support/TempDir.h"
#include "tools/Cli.h"
#include "tools/JsonOut.h"

namespace dorvanta::cli {
namespace {

using dorvanta::testing::ReadBytes;
using dorvanta::testing::TempDir;
using dorvanta::testing::WriteBytes;

// The writer's output block: 1 MiB.
constexpr std::size_t kOutputBlock = 1048576;

// ---- the former writer, kept as the reference ----

std::string OldJsonUtf8String(const std::string& utf8) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromStdString(utf8)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

std::string OldJsonString(const std::string& cp1252) {
    return OldJsonUtf8String(Cp1252ToUtf8(cp1252));
}

std::string OldJsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest).toStdString();
}

std::string OldWriteJson(const TDocument& doc) {
    std::ostringstream out;
    out << "{\"password\": " << OldJsonString(doc.Password) << ", \"keys\": [";
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        out << (k ? ",\n  " : "\n  ") << "{\"parent\": " << OldJsonString(key.Parent)
            << ", \"name\": " << OldJsonString(key.Name) << ", \"entries\": [";
        for (std::size_t e = 0; e < key.Data.size(); ++e) {
            const TDataRec& rec = key.Data[e];
            out << (e ? ",\n    " : "\n    ") << "{\"title\": " << OldJsonString(rec.Title)
                << ", \"value\": " << OldJsonString(rec.Value)
                << ", \"info\": " << OldJsonString(rec.Info)
                << ", \"date\": " << OldJsonNumber(rec.Date) << "}";
        }
        out << (key.Data.empty() ? "]}" : "\n  ]}");
    }
    out << (doc.Keys.empty() ? "]}\n" : "\n]}\n");
    return out.str();
}

std::string OldWriteHits(const TDocument& doc, const std::vector<TSearchHit>& hits) {
    std::ostringstream out;
    out << "[";
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const TSearchHit& hit = hits[i];
        out << (i ? ",\n  " : "\n  ")
            << "{\"source\": " << OldJsonUtf8String(kSourceNames[static_cast<int>(hit.Source)])
            << ", \"value\": " << OldJsonString(HitText(doc, hit)) << ", \"key\": " << hit.KeyIndex
            << ", \"entry\": " << hit.DataIndex << "}";
    }
    out << (hits.empty() ? "]\n" : "\n]\n");
    return out.str();
}

// ---- helpers ----

// Empty when equal, else where the texts begin to differ (a whole dump would drown the log).
std::string Difference(const std::string& actual, const std::string& expected) {
    if (actual == expected) return {};
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    const std::size_t from = at < 40 ? 0 : at - 40;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           ", first difference at " + std::to_string(at) + ":\n  got      " +
           actual.substr(from, 80) + "\n  expected " + expected.substr(from, 80);
}

using Result = dorvanta::testing::CliResult;
using dorvanta::testing::Cli;

// The command line that opens a loaded document: its own password, if any.
std::vector<std::string> WithPassword(std::vector<std::string> args, const TDocument& doc) {
    if (!doc.Password.empty()) {
        args.push_back("--password");
        args.push_back(Cp1252ToUtf8(doc.Password));
    }
    return args;
}

bool LoadBytes(TDocument& doc, const std::string& bytes) {
    TLoadHooks hooks;
    hooks.AskPassword = [&doc](const std::string&) { return std::optional(doc.Password); };
    try {
        return LoadDocumentFromBytes(doc, bytes, "t.pdt", hooks);
    } catch (const std::exception&) {
        return false;
    }
}

std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    return all;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Dates a file may hold: zero of both signs, fractions of many digits, the
// borders of the decimal form, extremes, subnormals, NaN and infinities.
// clang-format off
const std::vector<double> kDates = {
    0.0, -0.0, 1.0, -1.0, 37622.0, 37622.5, -36522.25, 0.1, 1.0 / 3, 44123.635416666664,
    100000.0 / 3, 1e5, 1.2e6, 1.2e7, 123456789012345678.0, 9007199254740993.0, 1e15, 1e16,
    1e21, 1e300, DBL_MAX, -DBL_MAX, 1e-4, 0.001, 0.0001234, 1.234e-5, -1.5e-7, 5e-324,
    DBL_MIN, kNaN, -kNaN, kInf, -kInf, 2958465.99999, 1e-320};
// clang-format on

// Texts that exercise every escape: each byte alone, all bytes in a row, runs of
// controls, quotes and backslashes, the C1 range of Windows-1252.
std::vector<std::string> TrickyTexts() {
    const std::string all = AllBytes();
    std::vector<std::string> texts = {"",
                                      all,
                                      std::string(all.rbegin(), all.rend()),
                                      "\"\\\"\\\\\"",
                                      "/\\/",
                                      "a\tb\nc\rd\be\ff\x0b\x7f",
                                      std::string("\0\0x\0", 4),
                                      "\x80\x81\x8d\x8f\x90\x9d\x9f",
                                      "K\xe4se \x84Zitat\x93 \x96 \x80 100 \xdf"};
    for (int b = 0; b < 256; ++b) texts.push_back(std::string(1, static_cast<char>(b)));
    std::string c1;
    for (int b = 0x80; b <= 0x9f; ++b) c1 += static_cast<char>(b);
    texts.push_back(c1);
    std::string controls;
    for (int b = 0; b < 0x20; ++b) controls += static_cast<char>(b);
    texts.push_back(controls);
    return texts;
}

std::string RandomText(std::mt19937& rng, std::size_t maxSize) {
    std::string text(std::uniform_int_distribution<std::size_t>(0, maxSize)(rng), '\0');
    for (char& c : text) c = static_cast<char>(rng());
    return text;
}

// A collection that puts every tricky text into every field, random texts
// besides, all the dates, groups of keys under one parent and keys without entries.
TDocument GeneratedDocument(unsigned seed) {
    std::mt19937 rng(seed);
    const std::vector<std::string> tricky = TrickyTexts();
    auto pick = [&]() { return rng() % 2 ? tricky[rng() % tricky.size()] : RandomText(rng, 60); };
    TDocument doc;
    doc.Password = seed % 2 ? std::string() : "p\x80\"\\\x01" + RandomText(rng, 20);
    std::size_t next = 0;  // walks the tricky texts so that each shows up in each field
    for (int k = 0; k < 120; ++k) {
        TDataKey key;
        key.Parent = k % 4 != 0 && !doc.Keys.empty() ? doc.Keys.back().Parent
                                                     : TSharedText(tricky[k % tricky.size()]);
        key.Name = k % 3 ? pick() : tricky[(k * 7) % tricky.size()];
        const int entries = k % 5 == 0 ? 0 : static_cast<int>(rng() % 12);
        for (int e = 0; e < entries; ++e) {
            TDataRec rec;
            rec.Title = tricky[next % tricky.size()];
            rec.Value = tricky[(next + 1) % tricky.size()];
            rec.Info = pick();
            rec.Date = kDates[next % kDates.size()];
            if (rng() % 3 == 0) {
                std::uint64_t bits = (static_cast<std::uint64_t>(rng()) << 32) | rng();
                std::memcpy(&rec.Date, &bits, sizeof bits);
            }
            ++next;
            key.Data.push_back(rec);
        }
        doc.Keys.push_back(std::move(key));
    }
    return doc;
}

// Dumps `bytes` with the program and with the former writer; both must agree.
void ExpectSameDump(const std::string& bytes, const TempDir& dir) {
    TDocument doc;
    ASSERT_TRUE(LoadBytes(doc, bytes));
    WriteBytes(dir.File("d.pdt"), bytes);
    const Result dump = Cli(WithPassword({"dump", dir.File("d.pdt")}, doc));
    ASSERT_EQ(dump.code, kOk) << dump.err;
    EXPECT_EQ(dump.err, "");
    EXPECT_EQ(Difference(dump.out, OldWriteJson(doc)), "");
}

// ---- strings and numbers ----

TEST(CliJson, StringsAreEscapedAsQtDid) {
    // What Qt's compact writer does, spelled out: short escapes only for these
    // five controls, lowercase \u00xx for the others, "/" and DEL unescaped.
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string(1, '\0'), R"("\u0000")"}, {"\x1f", R"("\u001f")"}, {"\x0b", R"("\u000b")"},
        {"\b\f\n\r\t", R"("\b\f\n\r\t")"},     {"\"\\", R"("\"\\")"},   {"/", R"("/")"},
        {"\x7f", "\"\x7f\""},                  {"\x80", "\"\xe2\x82\xac\""},
        {"\x81", "\"\xc2\x81\""},              {"\x9f", "\"\xc5\xb8\""},
        {"\xa0\xff", "\"\xc2\xa0\xc3\xbf\""},  {"", "\"\""}};
    // clang-format on
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(JsonStringOf(text), json) << Cp1252ToUtf8(text);
        EXPECT_EQ(OldJsonString(text), json) << Cp1252ToUtf8(text);
    }

    std::mt19937 rng(5);
    std::vector<std::string> texts = TrickyTexts();
    for (int i = 0; i < 3000; ++i) texts.push_back(RandomText(rng, 80));
    // Longer than one escaping step and, escaped, than one output block.
    std::string huge = RandomText(rng, 0) + std::string(300 * 1024, '\x01') + AllBytes();
    for (int i = 0; i < 40000; ++i) huge += static_cast<char>(rng());
    texts.push_back(huge);
    texts.push_back(std::string(kOutputBlock + 3, 'a'));
    std::ostringstream stream;
    TJsonOut out(stream);
    std::string expectedStream;
    for (const std::string& text : texts) {
        const std::string expected = OldJsonString(text);
        ASSERT_EQ(Difference(JsonStringOf(text), expected), "");
        out.String(text);
        out.Raw(expected);  // past a block, Raw goes straight to the stream
        expectedStream += expected + expected;
    }
    out.Finish();
    EXPECT_EQ(Difference(stream.str(), expectedStream), "");
}

TEST(CliJson, NumbersAreWrittenAsQtDid) {
    // clang-format off
    const std::vector<std::pair<double, std::string>> cases = {
        {0.0, "0"},              {-0.0, "0"},
        {37622, "37622"},        {-37622.5, "-37622.5"},
        {0.1, "0.1"},            {1e5, "1e+05"},
        {1.2e6, "1200000"},      {1.2e7, "1.2e+07"},
        {1000, "1000"},          {0.001, "0.001"},
        {1e-4, "1e-04"},         {0.0001234, "0.0001234"},
        {1.234e-5, "1.234e-05"}, {5e-324, "5e-324"},
        {1e300, "1e+300"},       {-1.5e-7, "-1.5e-07"},
        {kNaN, "null"},          {-kNaN, "null"},
        {kInf, "null"},          {-kInf, "null"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {123456789012345678.0, "123456789012345680"},
        {44123.635416666664, "44123.635416666664"},
        {0.1 + 0.2, "0.30000000000000004"}};
    // clang-format on
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(JsonNumberOf(value), text);
        EXPECT_EQ(OldJsonNumber(value), text);
    }

    std::vector<double> values = kDates;
    std::mt19937_64 rng(11);
    for (int i = 0; i < 300000; ++i) {  // any bit pattern a file may hold
        const std::uint64_t bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
    }
    for (int e = -325; e <= 309; ++e) {  // the borders between the two forms
        for (const double m : {1.0, 1.5, 12.0, 123.0, 1234.0, 12345.0, 123456.0, 9.999})
            values.push_back(m * std::pow(10.0, e));
    }
    std::uniform_real_distribution<double> day(-700000, 3000000);
    for (int i = 0; i < 100000; ++i) {  // dates as a program stores them
        const double d = day(rng);
        values.insert(values.end(),
                      {d, std::round(d), std::round(d * 24) / 24, std::round(d * 86400) / 86400});
    }
    int differ = 0;
    for (const double value : values) {
        if (JsonNumberOf(value) != OldJsonNumber(value) && ++differ <= 10) {
            ADD_FAILURE() << std::hexfloat << value << ": " << JsonNumberOf(value) << " vs "
                          << OldJsonNumber(value);
        }
    }
    EXPECT_EQ(differ, 0);
}

// ---- dump and search ----

TEST(CliJson, DumpOfGeneratedCollectionsMatchesTheFormerWriter) {
    TempDir dir;
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const TDocument doc = GeneratedDocument(seed);
        const std::string bytes = EncodeDocument(doc);
        TDocument loaded;
        ASSERT_TRUE(LoadBytes(loaded, bytes));
        // The file holds the texts and dates unchanged, so the dump sees every byte.
        ASSERT_EQ(loaded.Keys.size(), doc.Keys.size());
        for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
            ASSERT_EQ(loaded.Keys[k].Parent, doc.Keys[k].Parent);
            ASSERT_EQ(loaded.Keys[k].Name, doc.Keys[k].Name);
            ASSERT_EQ(loaded.Keys[k].Data.size(), doc.Keys[k].Data.size());
            for (std::size_t e = 0; e < doc.Keys[k].Data.size(); ++e) {
                const TDataRec& a = loaded.Keys[k].Data[e];
                const TDataRec& b = doc.Keys[k].Data[e];
                ASSERT_EQ(std::tie(a.Title, a.Value, a.Info), std::tie(b.Title, b.Value, b.Info));
                ASSERT_EQ(std::memcmp(&a.Date, &b.Date, sizeof a.Date), 0);
            }
        }
        ExpectSameDump(bytes, dir);
    }
}

TEST(CliJson, DumpOfHugeTextsAndEmptyCollectionsMatchesTheFormerWriter) {
    TempDir dir;
    std::mt19937 rng(3);
    TDocument empty;
    TDocument keyOnly;
    keyOnly.Keys.push_back({"\n", "\"", {}});
    TDocument huge;  // a parent past one output block, escaped to six bytes a byte
    huge.Keys.push_back({"n", std::string(kOutputBlock / 2, '\x02') + AllBytes(), {}});
    huge.Keys.push_back({"m", huge.Keys[0].Parent, {}});
    TDataRec rec;
    rec.Title = RandomText(rng, 0) + std::string(200000, '"');
    rec.Value = std::string(kOutputBlock + 1, '\x80');
    rec.Date = 37622.5;
    huge.Keys[1].Data = {rec, rec};
    for (const TDocument* doc : {&empty, &keyOnly, &huge}) {
        ExpectSameDump(EncodeDocument(*doc), dir);
    }
}

TEST(CliJson, DumpOfTheLoaderCorpusAndItsMutantsMatchesTheFormerWriter) {
    TempDir dir;
    std::mt19937 rng(17);
    int loaded = 0;
    for (const auto& file : std::filesystem::directory_iterator(DORVANTA_LOAD_CORPUS)) {
        SCOPED_TRACE(file.path().filename().string());
        const std::string original = ReadBytes(file.path().string());
        TDocument doc;
        ASSERT_TRUE(LoadBytes(doc, original));
        ExpectSameDump(original, dir);
        for (int i = 0; i < 400; ++i) {
            std::string bytes = original;
            const int flips = 1 + static_cast<int>(rng() % 3);
            for (int f = 0; f < flips && !bytes.empty(); ++f) {
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
            }
            if (rng() % 4 == 0 && !bytes.empty()) bytes.resize(rng() % bytes.size());
            TDocument mutant;
            if (!LoadBytes(mutant, bytes)) continue;
            ++loaded;
            ExpectSameDump(bytes, dir);
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(loaded, 100);  // the mutants reach the writer, not only the loader's errors
}

TEST(CliJson, SearchOutputMatchesTheFormerWriter) {
    TempDir dir;
    const TDocument doc = GeneratedDocument(4);
    const std::string bytes = EncodeDocument(doc);
    TDocument loaded;
    ASSERT_TRUE(LoadBytes(loaded, bytes));
    WriteBytes(dir.File("s.pdt"), bytes);
    struct Case {
        std::vector<std::string> flags;
        std::string text;  // UTF-8
        TSearchOptions options;
    };
    const std::vector<Case> cases = {
        {{"--names"}, "*", {.Names = true}},  // every field of the collection
        {{}, "\xe2\x82\xac", {}},
        {{"--no-titles", "--no-info"}, "?", {.Titles = false, .Info = false}},
        {{"--exact", "--no-wildcard"}, "\xc3\xa4\xc3\xa4zzqq", {.Exact = true, .Wildcard = false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> args = {"search", dir.File("s.pdt"), c.text};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const Result r = Cli(WithPassword(args, loaded));
        std::vector<TSearchHit> hits;
        SearchDocument(loaded, *Utf8ToCp1252Strict(c.text), c.options, hits);
        EXPECT_EQ(r.code, hits.empty() ? kNoMatch : kOk) << r.err;
        EXPECT_EQ(Difference(r.out, OldWriteHits(loaded, hits)), "");
    }
}

// ---- a failing output ----

// Takes `limit` bytes and fails every write after them, as a full disk does.
class TLimitedBuffer : public std::streambuf {
  public:
    explicit TLimitedBuffer(std::size_t limit) : limit_(limit) {}
    std::string text;
    std::vector<std::size_t> writes;  // the size of each write

  protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        writes.push_back(static_cast<std::size_t>(n));
        const std::size_t take = std::min(static_cast<std::size_t>(n), limit_ - text.size());
        text.append(s, take);
        return static_cast<std::streamsize>(take);
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()) || text.size() >= limit_)
            return traits_type::eof();
        text += traits_type::to_char_type(c);
        return c;
    }

  private:
    std::size_t limit_;
};

TEST(CliJson, AFailedWriteIsAnErrorAndNotSuccess) {
    TempDir dir;
    TDocument doc;
    doc.Keys.push_back({"Ober", "Unter", {}});
    doc.Keys[0].Data.assign(30000, TDataRec{"Titel \x80", std::string(100, 'v'), "Info", 1.5});
    WriteBytes(dir.File("big.pdt"), EncodeDocument(doc));
    const std::string full = OldWriteJson(doc);
    ASSERT_GT(full.size(), 2 * kOutputBlock);
    const std::vector<std::string> commands[] = {{"dump", dir.File("big.pdt")},
                                                 {"search", dir.File("big.pdt"), "v*"}};
    for (const auto& args : commands) {
        for (const std::size_t limit : {std::size_t(0), std::size_t(10), kOutputBlock - 1,
                                        kOutputBlock + 1, std::size_t(-1)}) {
            SCOPED_TRACE(args[0] + " " + std::to_string(limit));
            TLimitedBuffer buffer(limit);
            std::ostream out(&buffer);
            std::ostringstream err;
            const int code = cli::Run(args, out, err);
            if (limit == std::size_t(-1)) {
                EXPECT_EQ(std::make_pair(code, err.str()), std::make_pair(int(kOk), std::string()));
                if (args[0] == "dump") {
                    EXPECT_EQ(Difference(buffer.text, full), "");
                    // Written in blocks of a little over 1 MiB, the last one less.
                    EXPECT_GE(buffer.writes.size(), 2u);
                    for (std::size_t i = 0; i + 1 < buffer.writes.size(); ++i) {
                        EXPECT_GE(buffer.writes[i], kOutputBlock) << i;
                        EXPECT_LT(buffer.writes[i], 2 * kOutputBlock) << i;
                    }
                }
            } else {
                EXPECT_EQ(std::make_pair(code, err.str()),
                          std::make_pair(int(kError), std::string("Stream-Schreibfehler\n")));
            }
        }
    }

    // The real program: a small output fails only at the last flush.
    WriteBytes(dir.File("small.pdt"), EncodeDocument(TDocument()));
    for (const std::string file : {"small.pdt", "big.pdt"}) {
        const int raw = std::system((std::string(DORVANTA_CLI_PATH) + " dump " + dir.File(file) +
                                     " >/dev/full 2>" + dir.File("err"))
                                        .c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == kError) << file << " " << raw;
        EXPECT_EQ(ReadBytes(dir.File("err")), "Stream-Schreibfehler\n") << file;
    }
}

}  // namespace
}  // namespace dorvanta::cli
