#include "Vigilor/Monitor/DurationText.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

// Whole seconds, halves away from zero; negative durations count as none.
int64_t wholeSeconds(double seconds) {
    return std::max<int64_t>(0, roundedInteger(seconds));
}

std::string printed(const char* format, int64_t a, int64_t b) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, format, static_cast<long long>(a), static_cast<long long>(b));
    return buffer;
}

std::string hoursAndMinutes(int64_t n) {
    return printed("%lldh %lldm", n / 3600, n / 60 % 60);
}

} // namespace

std::string formatClock(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    return n < 3600 ? printed("%02lld:%02lld", n / 60, n % 60) : hoursAndMinutes(n);
}

std::string formatDuration(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    if (n < 60)
        return std::to_string(n) + "s";
    if (n < 3600)
        return std::to_string(n / 60) + "m";
    return hoursAndMinutes(n);
}

std::string formatDurationWithSeconds(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    if (n < 60)
        return std::to_string(n) + "s";
    if (n < 3600)
        return printed("%lldm %02llds", n / 60, n % 60);
    return hoursAndMinutes(n);
}

std::string formatMinuteSecondClock(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    return printed("%02lld:%02lld", n % 3600 / 60, n % 60);
}
