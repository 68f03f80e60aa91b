#pragma once
// Dates and numbers as the program shows them: German, whatever language the
// desktop has. The whole interface is German, so "9 Dec 2025" or "1.5 KB" beside
// German words would read wrong; neither the system locale nor the default one
// (which anything in the process may set) is asked.

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

namespace dorvanta {

// German as spoken in Germany, made explicitly.
QLocale GermanLocale();
// "09.12.2025"
QString GermanDate(const QDate& date);
// "12:00:00"
QString GermanTime(const QTime& time);
// "09.12.25 12:00", Qt's short German form, as a file list shows it.
QString GermanShortDateTime(const QDateTime& dateTime);
// "70.000"
QString GermanNumber(qlonglong number);

}  // namespace dorvanta
