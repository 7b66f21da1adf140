#include "CivilTime.h"

namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

} // namespace

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int year, int month, int day) {
    const int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    const int64_t era = floorDiv(y, 400);
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool CivilDateTime::isValid() const {
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month) && hour >= 0 &&
           hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

int64_t CivilDateTime::secondsSinceUnixEpochAsUtc() const {
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

CivilDateTime CivilDateTime::fromSecondsSinceUnixEpochAsUtc(int64_t seconds) {
    const int64_t days = floorDiv(seconds, 86400);
    const int64_t secondOfDay = seconds - days * 86400;
    const int64_t z = days + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day, int(secondOfDay / 3600), int(secondOfDay % 3600 / 60), int(secondOfDay % 60)};
}
