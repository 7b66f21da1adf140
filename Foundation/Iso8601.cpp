#include "Iso8601.h"

#include "CivilTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// The first and the last second, in seconds since 1970, that four-digit years can name:
// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr int64_t earliestSecond = -62'135'596'800;
constexpr int64_t latestSecond = 253'402'300'799;

// The second `date` falls in, as the text form writes it: a date beyond the years it can name (or no
// number at all) takes the nearest end, so that whatever is written can be read.
int64_t writtenSecond(Date date) {
    const double second = std::floor(date.unixTime());
    if (second > double(latestSecond))
        return latestSecond;
    if (!(second >= double(earliestSecond))) // NaN too
        return earliestSecond;
    return int64_t(second);
}

struct Cursor {
    std::string_view text;
    size_t pos = 0;

    bool atEnd() const { return pos == text.size(); }
    bool take(char c) {
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    // Exactly `count` decimal digits.
    std::optional<int> digits(int count) {
        if (pos + size_t(count) > text.size())
            return std::nullopt;
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const char c = text[pos + size_t(i)];
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        pos += size_t(count);
        return value;
    }
};

// Seconds of a fraction ".250" (at least one digit); 0 when there is none.
std::optional<double> fraction(Cursor& cursor) {
    if (!cursor.take('.'))
        return 0.0;
    double value = 0, scale = 0.1;
    size_t count = 0;
    while (!cursor.atEnd() && cursor.text[cursor.pos] >= '0' && cursor.text[cursor.pos] <= '9') {
        value += (cursor.text[cursor.pos] - '0') * scale;
        scale /= 10;
        ++cursor.pos;
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    return value;
}

// Offset east of UTC in seconds: "Z", "+hh:mm" or "-hh:mm".
std::optional<int> utcOffset(Cursor& cursor) {
    if (cursor.take('Z'))
        return 0;
    int sign = 0;
    if (cursor.take('+'))
        sign = 1;
    else if (cursor.take('-'))
        sign = -1;
    else
        return std::nullopt;
    const auto hours = cursor.digits(2);
    if (!hours || !cursor.take(':'))
        return std::nullopt;
    const auto minutes = cursor.digits(2);
    if (!minutes || *hours > 23 || *minutes > 59)
        return std::nullopt;
    return sign * (*hours * 3600 + *minutes * 60);
}

std::optional<Date> parse(std::string_view text, bool allowFraction) {
    Cursor c{text};
    const auto year = c.digits(4);
    if (!year || !c.take('-'))
        return std::nullopt;
    const auto month = c.digits(2);
    if (!month || !c.take('-'))
        return std::nullopt;
    const auto day = c.digits(2);
    if (!day || !c.take('T'))
        return std::nullopt;
    const auto hour = c.digits(2);
    if (!hour || !c.take(':'))
        return std::nullopt;
    const auto minute = c.digits(2);
    if (!minute || !c.take(':'))
        return std::nullopt;
    const auto second = c.digits(2);
    if (!second)
        return std::nullopt;
    std::optional<double> fractionalSeconds = 0.0;
    if (allowFraction)
        fractionalSeconds = fraction(c);
    if (!fractionalSeconds)
        return std::nullopt;
    const auto offset = utcOffset(c);
    if (!offset || !c.atEnd())
        return std::nullopt;

    const CivilDateTime civil{*year, *month, *day, *hour, *minute, *second};
    if (!civil.isValid())
        return std::nullopt;
    // The range is checked in UTC, after the offset, because that is the form the date is written in.
    const int64_t utc = civil.secondsSinceUnixEpochAsUtc() - *offset;
    if (utc < earliestSecond || utc > latestSecond)
        return std::nullopt;
    // A fraction close to 1 can round up to the next second in a double (far from 2001 a double holds
    // only a few microseconds); the date then stays at the second the text names, which is the one
    // written back. The second is compared as it is, not as written: at the last second four digits name,
    // the written form of the next one would be that same last second.
    const Date date = Date::fromUnixTime(double(utc) + *fractionalSeconds);
    return std::floor(date.unixTime()) == double(utc) ? date : Date::fromUnixTime(double(utc));
}

} // namespace

std::string iso8601String(Date date) {
    const CivilDateTime civil = CivilDateTime::fromSecondsSinceUnixEpochAsUtc(writtenSecond(date));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", civil.year, civil.month, civil.day,
                  civil.hour, civil.minute, civil.second);
    return buffer;
}

std::optional<Date> parseIso8601Strict(std::string_view text) {
    return parse(text, false);
}

std::optional<Date> parseIso8601Lenient(std::string_view text) {
    return parse(text, true);
}
