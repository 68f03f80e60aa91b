#include "update/UpdateInfo.h"

#include <QDate>
#include <QLocale>
#include <QStringView>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "platform/GermanFormat.h"
#include "platform/TextConv.h"

namespace dorvanta {
namespace {

// An honest Updates.ini holds a few kilobytes. The file comes from a server, so
// beyond these limits it is not read on: a hostile answer cannot make us hold
// much memory or spend long on it.
constexpr qsizetype kMaxReadBytes = qsizetype{1} << 20;
constexpr int kMaxEntries = 10000;

// A date is short; anything longer is not one, whatever the locale would make of it.
constexpr qsizetype kMaxDateLength = 40;

// The bytes that are read: all of them, or those up to the last line break
// within the limit, so that no character is cut in half.
QByteArrayView ReadablePart(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    if (view.size() <= kMaxReadBytes) return view;
    view = view.first(kMaxReadBytes);
    for (qsizetype i = view.size(); i > 0; --i) {
        if (view[i - 1] == '\n' || view[i - 1] == '\r') return view.first(i);
    }
    return view;
}

QString Decode(QByteArrayView bytes) {
    return DecodeUtf8OrCp1252(
        std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
}

QString Fold(QStringView name) {
    return name.trimmed().toString().toCaseFolded();
}

// Two-digit years fall into the hundred years around today: from fifty years
// back to 49 years ahead.
int ExpandTwoDigitYear(int yy) {
    const int current = QDate::currentDate().year();
    int year = current / 100 * 100 + yy;
    if (year > current + 49) year -= 100;
    if (year < current - 50) year += 100;
    return year;
}

// d.M.yyyy or d.M.yy with one or two digits for day and month.
QDate GermanDate(QStringView text) {
    int fields[3] = {0, 0, 0};
    int lengths[3] = {0, 0, 0};
    int field = 0;
    for (const QChar c : text) {
        if (c == u'.') {
            if (++field > 2) return {};
        } else if (c >= u'0' && c <= u'9') {
            if (++lengths[field] > 4) return {};
            fields[field] = fields[field] * 10 + (c.unicode() - u'0');
        } else {
            return {};
        }
    }
    if (field != 2 || lengths[0] < 1 || lengths[0] > 2 || lengths[1] < 1 || lengths[1] > 2 ||
        (lengths[2] != 2 && lengths[2] != 4)) {
        return {};
    }
    const int year = lengths[2] == 2 ? ExpandTwoDigitYear(fields[2]) : fields[2];
    return QDate(year, fields[1], fields[0]);
}

QDate SystemShortDate(const QString& text) {
    const QLocale system = QLocale::system();
    const QString format = system.dateFormat(QLocale::ShortFormat);
    QDate date = system.toDate(text, format);
    // Qt puts two-digit years into the 1900s.
    if (date.isValid() && format.contains(QLatin1String("yy")) &&
        !format.contains(QLatin1String("yyyy"))) {
        date = QDate(ExpandTwoDigitYear(date.year() % 100), date.month(), date.day());
    }
    return date;
}

}  // namespace

TUpdateInfo TUpdateInfo::Parse(const QByteArray& bytes) {
    TUpdateInfo info;
    const QString text = Decode(ReadablePart(bytes));
    const QStringView all(text);
    std::optional<QString> section;  // none before the first [Section]
    int entries = 0;
    qsizetype start = 0;
    while (start < all.size() && entries < kMaxEntries) {
        qsizetype end = start;
        while (end < all.size() && all[end] != u'\n' && all[end] != u'\r') ++end;
        const QStringView line = all.sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            if (close < 0) continue;
            section = Fold(line.sliced(1, close - 1));
            info.sections_[*section];
            ++entries;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!section || equals <= 0) continue;
        const QString key = Fold(line.first(equals));
        if (key.isEmpty()) continue;
        // Of repeated keys the first counts: a later line cannot override it.
        QMap<QString, QString>& keys = info.sections_[*section];
        if (!keys.contains(key)) {
            keys.insert(key, line.sliced(equals + 1).trimmed().toString());
            ++entries;
        }
    }
    return info;
}

bool TUpdateInfo::HasSection(const QString& section) const {
    return sections_.contains(Fold(section));
}

std::optional<QString> TUpdateInfo::Value(const QString& section, const QString& key) const {
    const auto keys = sections_.constFind(Fold(section));
    if (keys == sections_.cend()) return std::nullopt;
    const auto value = keys->constFind(Fold(key));
    if (value == keys->cend()) return std::nullopt;
    return *value;
}

QStringList SplitCommaText(const QString& text) {
    QStringList items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    // NUL counts as a control character too: it must not stop or stall the reader.
    const auto skipBlanks = [&] {
        while (i < n && text[i].unicode() <= u' ') ++i;
    };
    skipBlanks();
    while (i < n) {
        if (text[i] == u'"') {
            QString item;
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            items += item;
        } else {
            const qsizetype begin = i;
            while (i < n && text[i].unicode() > u' ' && text[i] != u',') ++i;
            items += text.mid(begin, i - begin);
        }
        skipBlanks();
        if (i < n && text[i] == u',') {
            ++i;
            skipBlanks();
        }
    }
    return items;
}

std::optional<double> ParseShortDate(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxDateLength) return std::nullopt;
    QDate date = GermanDate(trimmed);
    if (!date.isValid()) date = SystemShortDate(trimmed);
    if (!date.isValid()) return std::nullopt;
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

bool IsUpdateAvailable(const TUpdateInfo& info, const QString& program, double programDate,
                       double today) {
    if (!info.HasSection(program)) return false;
    const std::optional<QString> text = info.Value(program, QStringLiteral("Date"));
    const std::optional<double> date = text ? ParseShortDate(*text) : std::nullopt;
    // A release is a whole day; the program file's date has a time of day, so a
    // release of the same day is older than a program file changed after midnight.
    return std::floor(date.value_or(today)) >= programDate;
}

QString NewsList(const TUpdateInfo& info, const QString& program, double programDate) {
    const QString news = info.Value(program, QStringLiteral("News"))
                             .value_or(QStringLiteral("\"keine Angaben gefunden\""));
    const double programDay = std::floor(programDate);
    QString list;
    for (const QString& item : SplitCommaText(news)) {
        const qsizetype colon = item.indexOf(u':');
        if (colon >= 0) {
            const std::optional<double> date = ParseShortDate(item.left(colon));
            if (date && *date < programDay) continue;  // already in the installed program
        }
        list += QStringLiteral("- ") + item + QStringLiteral("\r\n");
    }
    return list;
}

QString FormatSize(std::int64_t bytes, QChar decimalSeparator) {
    static const char* const kUnits[] = {"Byte", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (std::fabs(value) >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    const double whole = std::fabs(std::round(value));
    int digits = 1;
    for (double power = 10; whole >= power; power *= 10) ++digits;
    // Qt's 'g' form, unlike printf's, does not follow the C locale's separator.
    QString number = QString::number(value, 'g', digits + 1);
    number.replace(u'.', decimalSeparator);
    return number + u' ' + QLatin1String(kUnits[unit]);
}

QString FormatSize(std::int64_t bytes) {
    return FormatSize(bytes, GermanLocale().decimalPoint().front());
}

QString RemainingTimeText(double days) {
    const int ms = static_cast<int>(std::clamp(days, 0.0, 0.99999) * 86400000.0);
    return QStringLiteral("verbleibende Zeit: ") + GermanTime(QTime(0, 0).addMSecs(ms));
}

}  // namespace dorvanta
