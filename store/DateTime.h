#pragma once
// Date-times are days since 30 December 1899 as a double, the time of day as
// the fraction, in local time, with millisecond resolution.

#include <cstdint>

namespace dorvanta {

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

double EncodeDateTime(const DateTimeParts& parts);
// Rounds to the nearest millisecond; values far outside the calendar are clamped.
DateTimeParts DecodeDateTime(double value);
// The present moment in local time.
double NowDateTime();

}  // namespace dorvanta
