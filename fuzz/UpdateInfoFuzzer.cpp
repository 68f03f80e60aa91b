// Reads the input as an "Updates.ini" from the server and derives from it what the
// update wizard shows for the program "Dorvanta": whether a release is newer and
// the list of changes. The news splitter must read back every list it would have
// to quote, and never fail on any text.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzSupport.h"
#include "update/UpdateInfo.h"

namespace {

using namespace dorvanta;

[[noreturn]] void Fail(const char* what, const QString& text) {
    fuzz::Fail("fuzz_updateinfo", what, text.toUtf8().constData());
}

// The items quoted as the server would write them, so that every one of them,
// blanks, commas and quotes included, comes back as it was.
QString QuoteItems(const QStringList& items) {
    QString text;
    for (QString item : items) {
        if (!text.isEmpty()) text += QStringLiteral(", ");
        text += u'"' + item.replace(u'"', QStringLiteral("\"\"")) + u'"';
    }
    return text;
}

void CheckCommaText(const QString& text) {
    const QStringList items = SplitCommaText(text);
    if (SplitCommaText(QuoteItems(items)) != items) Fail("quoted items read back different", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TUpdateInfo info = TUpdateInfo::Parse(bytes);
    const QString program = QStringLiteral("Dorvanta");
    // 1 June 2026 at noon, as days since 30.12.1899.
    const double programDate = 46174.5;
    const bool available = IsUpdateAvailable(info, program, programDate, 46175);
    if (available && !info.HasSection(program)) Fail("an update without its section", program);

    const QString news = NewsList(info, program, programDate);
    if (!news.isEmpty() && !(news.startsWith(QStringLiteral("- ")) && news.endsWith(u'\n')))
        Fail("a news list that is not a list", news);
    if (const auto text = info.Value(program, QStringLiteral("News"))) CheckCommaText(*text);
    if (const auto text = info.Value(program, QStringLiteral("Date"))) ParseShortDate(*text);
    CheckCommaText(QString::fromUtf8(bytes));

    // The file's first bytes as a size, for the size texts of the same page.
    std::int64_t sizeValue = 0;
    if (size > 0) std::memcpy(&sizeValue, data, size < sizeof sizeValue ? size : sizeof sizeValue);
    if (FormatSize(sizeValue, u',').isEmpty()) Fail("an empty size text", program);
    return 0;
}
