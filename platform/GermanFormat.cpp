#include "platform/GermanFormat.h"

namespace dorvanta {

QLocale GermanLocale() {
    return QLocale(QLocale::German, QLocale::Germany);
}

QString GermanDate(const QDate& date) {
    // A four-digit year: Qt's short German form has two, which entries decades
    // old would make ambiguous.
    return GermanLocale().toString(date, QStringLiteral("dd.MM.yyyy"));
}

QString GermanTime(const QTime& time) {
    return GermanLocale().toString(time, QStringLiteral("HH:mm:ss"));
}

QString GermanShortDateTime(const QDateTime& dateTime) {
    return GermanLocale().toString(dateTime, QLocale::ShortFormat);
}

QString GermanNumber(qlonglong number) {
    return GermanLocale().toString(number);
}

}  // namespace dorvanta
