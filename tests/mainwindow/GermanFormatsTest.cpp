// Every date and number the windows show is German, whatever language the
// desktop has: the table starts this test program afresh under each locale, as
// the program itself would start, and the child checks the texts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <cstdlib>
#include <string>

#include "mainwindow/EntryPane.h"
#include "mainwindow/FieldEdit.h"
#include "mainwindow/MainWindow.h"
#include "platform/GermanFormat.h"
#include "store/DateTime.h"
#include "update/UpdateInfo.h"

namespace dorvanta {
namespace {

constexpr char kChildLocale[] = "DORVANTA_TEST_CHILD_LOCALE";

TEST(GermanFormats, AreTheSameUnderEveryDesktopLocale) {
    struct Case {
        const char* lang;
        const char* systemLocale;  // how Qt reads the environment
    };
    const Case cases[] = {{"C.UTF-8", "C"}, {"en_US.UTF-8", "en_US"}, {"de_DE.UTF-8", "de_DE"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANG"), QString::fromLatin1(c.lang));
        env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(c.lang));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QString::fromLatin1(kChildLocale), QString::fromLatin1(c.systemLocale));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=GermanFormatsUnderLocale.*")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    }
}

// Run by the table above in a fresh process; skipped on its own.
TEST(GermanFormatsUnderLocale, ShowsGermanDatesAndNumbers) {
    const char* expected = std::getenv(kChildLocale);
    if (!expected) GTEST_SKIP() << "started by GermanFormats.AreTheSameUnderEveryDesktopLocale";
    ASSERT_EQ(QLocale::system().name().toStdString(), expected);
    // Anything in the process may set the default locale; the texts do not follow it.
    const QLocale before;
    QLocale::setDefault(QLocale::system());

    const std::pair<DateTimeParts, QString> dates[] = {
        {{2025, 12, 9, 12, 0, 0, 0}, "Datum des Eintrags: 09.12.2025 12:00:00"},
        {{2003, 1, 1, 9, 5, 7, 0}, "Datum des Eintrags: 01.01.2003 09:05:07"},
        {{1999, 7, 31, 23, 59, 59, 0}, "Datum des Eintrags: 31.07.1999 23:59:59"},
        {{2025, 12, 9, 0, 0, 0, 0}, "Datum des Eintrags: 09.12.2025"},
    };
    for (const auto& [parts, text] : dates) {
        EXPECT_EQ(TEntryPane::EntryDateHint(EncodeDateTime(parts)), text);
    }
    // The update wizard's sizes and time left.
    EXPECT_EQ(FormatSize(1536), "1,5 KB");
    EXPECT_EQ(FormatSize(1000000), "976,6 KB");
    EXPECT_EQ(RemainingTimeText(65.0 / 86400), "verbleibende Zeit: 00:01:05");
    EXPECT_EQ(RemainingTimeText(2.0), "verbleibende Zeit: 23:59:59");
    // The file dialog's size and date columns.
    EXPECT_EQ(GermanLocale().formattedDataSize(123456), "120,56 KiB");
    EXPECT_EQ(GermanShortDateTime(QDateTime(QDate(2026, 12, 8), QTime(14, 5))), "08.12.26 14:05");
    // The status tip of a field too long to edit.
    TFieldEdit field;
    field.SetField(std::string(70000, 'a'));
    EXPECT_TRUE(field.statusTip().contains("mit 70.000 Zeichen"))
        << field.statusTip().toStdString();

    QLocale::setDefault(before);
}

}  // namespace
}  // namespace dorvanta
