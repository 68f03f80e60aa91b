#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <cstdint>
#include <tuple>

#include "update/UpdateInfo.h"

namespace dorvanta {
namespace {

const double kJune1 = QDate(1899, 12, 30).daysTo(QDate(2026, 6, 1));

TEST(UpdateInfo, ParsesIniBytesAndSurvivesJunk) {
    const TUpdateInfo info = TUpdateInfo::Parse(
        "K=1\r\n[Dorvanta]\r\n;Date=1.1.2000\r\n DATE = 01.06.2026 \r\nNews=\"M\xFC\", b=c\r\n"
        "date=2.6.2026\r\nno equals\r\n=no key\r\n[x\r\nK=2");
    EXPECT_EQ(info.Value("DORVANTA", "date"), "01.06.2026");
    EXPECT_EQ(info.Value("dorvanta", "NEWS"), QString::fromUtf8("\"Mü\", b=c"));
    EXPECT_EQ(info.Value("Dorvanta", "k"), "2");  // "[x" is no section
    EXPECT_EQ(TUpdateInfo::Parse("[A]\nK=Gr\xC3\xBC\xC3\x9F!").Value("a", "k"),
              QString::fromUtf8("Grüß!"));

    // Ten megabytes of distinct keys with random bytes (NUL, CR, '=', '[' among them).
    QByteArray junk("[A]\nDate=01.06.2026\n");
    for (std::uint32_t i = 0, seed = 1; junk.size() < 10 << 20; ++i) {
        junk += "\nk" + QByteArray::number(i) + "=";
        for (int j = 0; j < 40; ++j)
            junk += static_cast<char>((seed = seed * 1664525 + 1013904223) >> 24);
    }
    const TUpdateInfo big = TUpdateInfo::Parse(junk);
    EXPECT_EQ(big.Value("A", "Date"), "01.06.2026");
    EXPECT_EQ(big.Value("A", "k100000"), std::nullopt);  // far beyond what is read
}

TEST(UpdateInfo, SplitsCommaText) {
    const std::pair<QString, QString> cases[] = {
        {"\"1.6.26: Neu, gut\", 2.6.26:Fix", "[1.6.26: Neu, gut][2.6.26:Fix]"},
        {" \t\r\n,a b ,c,,d, ", "[][a][b][c][][d]"},
        {"\"x \"\"y\"\"\"z,\"\", \"open, end", "[x \"y\"][z][][open, end]"},
        {QString::fromUtf8("a\0b,\0", 5), "[a][b]"},
        {"", ""}};
    for (const auto& [text, items] : cases) {
        QString shown;
        for (const QString& item : SplitCommaText(text)) shown += '[' + item + ']';
        EXPECT_EQ(shown, items) << text.toStdString();
    }
}

TEST(UpdateInfo, ReleaseIsNewerFromTheProgramFilesMomentOn) {
    const std::tuple<const char*, double, bool> cases[] = {
        {"[P]\nDate=01.06.2026", 0.25, false}, {"[P]\nDate=1.6.26", 0, true},
        {"[P]\nDate=31.05.2026", 0, false},    {"[P]\nDate=02.06.26", 0.99, true},
        {"[Q]\nDate=02.06.2026", 0, false},    {"[P]\nNews=x", -0.5, true},  // today: 01.06.
        {"[P]\nDate=31.02.2026", 0.5, false},  {"[P]\nDate=", -1, true}};
    for (const auto& [ini, program, available] : cases)
        EXPECT_EQ(IsUpdateAvailable(TUpdateInfo::Parse(ini), "p", kJune1 + program, kJune1 + 0.6),
                  available)
            << ini;
}

TEST(UpdateInfo, NewsListLeavesOutOlderItems) {
    const std::pair<const char*, QString> cases[] = {
        {"[P]\nNews=31.05.2026:a, \"1.6.2026: b\", 2.6.26:c, d, 31.02.2026:e, \"f: g\"",
         "- 1.6.2026: b\r\n- 2.6.26:c\r\n- d\r\n- 31.02.2026:e\r\n- f: g\r\n"},
        {"[P]\nNews=01.01.2020:a, \"31.05.26: b\"", ""},
        {"[P]\nDate=01.06.2026", "- keine Angaben gefunden\r\n"}};
    for (const auto& [ini, list] : cases)
        EXPECT_EQ(NewsList(TUpdateInfo::Parse(ini), "P", kJune1 + 0.75), list) << ini;
}

TEST(UpdateInfo, FormatsSizes) {
    const std::int64_t t = std::int64_t{1} << 40;
    const std::pair<std::int64_t, QString> cases[] = {
        {0, "0 Byte"},         {1023, "1023 Byte"},      {1065, "1 KB"},    {1536, "1,5 KB"},
        {10189, "9,95 KB"},    {1000000, "976,6 KB"},    {1048576, "1 MB"}, {-1536, "-1,5 KB"},
        {t * 5120, "5120 TB"}, {INT64_MAX, "8388608 TB"}};
    for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatSize(bytes, u','), text) << bytes;
}

// The wizard's sizes are German whatever the desktop's language (see
// GermanFormatsTest for the table of locales).
TEST(UpdateInfo, SizesUseTheGermanDecimalSeparator) {
    EXPECT_EQ(FormatSize(1536), QStringLiteral("1,5 KB"));
    EXPECT_EQ(RemainingTimeText(-1), QStringLiteral("verbleibende Zeit: 00:00:00"));
    EXPECT_EQ(RemainingTimeText(0.5), QStringLiteral("verbleibende Zeit: 12:00:00"));
}

}  // namespace
}  // namespace dorvanta
