#include "store/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace dorvanta {
namespace {

constexpr double kMsPerDay = 86400000.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(const DateTimeParts& p) {
    const double days = static_cast<double>(
        DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) -
        kEpochOffset);
    const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
    // Before the epoch the time still counts forwards from midnight.
    return days >= 0 ? days + ms / kMsPerDay : days - ms / kMsPerDay;
}

DateTimeParts DecodeDateTime(double value) {
    DateTimeParts p;
    if (!std::isfinite(value)) return p;
    value = std::fmax(-693593.0, std::fmin(2958465.0, value));  // years 1 to 9999
    double whole = std::trunc(value);
    double frac = std::fabs(value - whole);
    auto ms = static_cast<std::int64_t>(std::llround(frac * kMsPerDay));
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    CivilFromDays(static_cast<std::int64_t>(whole) + kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

double NowDateTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&t, &local);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms)});
}

}  // namespace dorvanta
