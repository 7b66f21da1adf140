#include "LocalCalendar.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

namespace {

// glibc's tzset() looks at /etc/localtime again (a stat) on every call while TZ is unset, and the
// calendar is asked several times a tick. So the zone is loaded again when TZ changes, and otherwise
// once a minute, which is soon enough for a zone the user changes while the application runs.
void followZone() {
    using Clock = std::chrono::steady_clock;
    static std::mutex mutex;
    static std::optional<Clock::time_point> lastLook;
    static std::string lastVariable;
    const std::lock_guard lock(mutex);
    const char* variable = std::getenv("TZ");
    const std::string current = variable ? std::string("=") + variable : std::string();
    const auto now = Clock::now();
    if (lastLook && current == lastVariable && now - *lastLook < std::chrono::minutes(1))
        return;
    tzset();
    lastLook = now;
    lastVariable = current;
}

std::tm localParts(Date date) {
    followZone();
    const auto seconds = static_cast<std::time_t>(std::floor(date.unixTime()));
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return parts;
}

// Local midnight of a (possibly unnormalised) calendar day. Where a zone skips midnight, mktime moves
// forward to the first instant that exists, which is where that day starts.
Date midnight(int year, int month0, int day) {
    std::tm parts{};
    parts.tm_year = year;
    parts.tm_mon = month0;
    parts.tm_mday = day;
    parts.tm_isdst = -1;
    return Date::fromUnixTime(double(mktime(&parts)));
}

} // namespace

namespace LocalCalendar {

Date startOfDay(Date date) {
    return startOfDay(date, 0);
}

Date startOfDay(Date date, int addingDays) {
    const std::tm parts = localParts(date);
    return midnight(parts.tm_year, parts.tm_mon, parts.tm_mday + addingDays);
}

Date addingDays(Date date, int days) {
    std::tm parts = localParts(date);
    const double fraction = date.unixTime() - std::floor(date.unixTime());
    parts.tm_mday += days;
    parts.tm_isdst = -1;
    return Date::fromUnixTime(double(mktime(&parts)) + fraction);
}

std::optional<Date> dateOf(const CivilDateTime& wallClock) {
    if (!wallClock.isValid())
        return std::nullopt;
    followZone();
    std::tm parts{};
    parts.tm_year = wallClock.year - 1900;
    parts.tm_mon = wallClock.month - 1;
    parts.tm_mday = wallClock.day;
    parts.tm_hour = wallClock.hour;
    parts.tm_min = wallClock.minute;
    parts.tm_sec = wallClock.second;
    parts.tm_isdst = -1;
    return Date::fromUnixTime(double(mktime(&parts)));
}

bool isSameDay(Date a, Date b) {
    const std::tm x = localParts(a), y = localParts(b);
    return x.tm_year == y.tm_year && x.tm_yday == y.tm_yday;
}

std::string timeText(Date date, bool withSeconds) {
    const std::tm parts = localParts(date);
    char buffer[16];
    if (withSeconds)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
    else
        std::snprintf(buffer, sizeof buffer, "%02d:%02d", parts.tm_hour, parts.tm_min);
    return buffer;
}

} // namespace LocalCalendar
