#pragma once
// The update information file "Updates.ini" as the wizard reads it, and the texts
// it derives from it: whether a release is newer, the list of changes, sizes.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace dorvanta {

class TUpdateInfo {
  public:
    // Parses the file's bytes: [Section] lines and key=value lines; names compare
    // case-insensitively; text that is not UTF-8 is read as Windows-1252. Lines
    // that are neither are ignored. Never fails.
    static TUpdateInfo Parse(const QByteArray& bytes);

    bool HasSection(const QString& section) const;
    // The value as written (not trimmed beyond the line's ends), nothing when absent.
    std::optional<QString> Value(const QString& section, const QString& key) const;

  private:
    QMap<QString, QMap<QString, QString>> sections_;  // by folded names
};

// Splits comma text: leading blanks and control characters are skipped; an item
// is either quoted ("..." with "" for one quote) or runs to the next blank,
// control character or comma; blanks after an item, and a comma with the blanks
// after it, are skipped.
QStringList SplitCommaText(const QString& text);

// A date in the user's short date format (day.month.year on a German system),
// as whole days since 30.12.1899; nothing when it cannot be read.
std::optional<double> ParseShortDate(const QString& text);

// Whether the section `program` exists and its "Date" (a whole day; missing or
// unreadable: `today`) is not earlier than `programDate` (with time of day).
bool IsUpdateAvailable(const TUpdateInfo& info, const QString& program, double programDate,
                       double today);

// The list of changes for the result page: for each item of "News" (default:
// the quoted phrase "keine Angaben gefunden"), "- " + item + "\r\n", leaving out
// items whose date before the first colon is earlier than the day of
// `programDate`. An item whose date cannot be read is kept.
QString NewsList(const TUpdateInfo& info, const QString& program, double programDate);

// "0 Byte", "1,5 KB", "1 MB", "5120 TB": up to TB in steps of 1024, as many
// significant digits as the whole part has plus one, German whatever the desktop's language.
QString FormatSize(std::int64_t bytes);
// The same with a given decimal separator.
QString FormatSize(std::int64_t bytes, QChar decimalSeparator);
// "verbleibende Zeit: 00:01:05" for a share of a day, held within one day.
QString RemainingTimeText(double days);

}  // namespace dorvanta
