// The activity log, the lock log, the lock-event log file and the duration formats.
#include "VigilorMonitor.h"

#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/LogFile.h"
#include "Foundation/Paths.h"
#include "Foundation/Rounding.h"

#include <cstdio>

namespace {

constexpr size_t activityLogLimit = 8;
constexpr size_t lockLogLimit = 12;

void prepend(Published<std::vector<std::string>>& log, std::string line, size_t limit) {
    std::vector<std::string> lines = log();
    lines.insert(lines.begin(), std::move(line));
    if (lines.size() > limit)
        lines.resize(limit);
    log = std::move(lines);
}

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

void VigilorMonitor::append(const std::string& text) {
    prepend(events, LocalCalendar::timeText(now(), true) + "  " + text, activityLogLimit);
}

void VigilorMonitor::appendLockEvent(const std::string& text) {
    const Date at = now();
    prepend(lockEvents, LocalCalendar::timeText(at, true) + "  " + text, lockLogLimit);
    diagLog("lockEvent: " + text, at);
}

std::filesystem::path VigilorMonitor::lockEventLogFile() {
    return Paths::zorviLogDirectory() / "zorvi-lock-events.log";
}

// Losing a diagnostic line is better than troubling the user, so failures stay here.
void VigilorMonitor::diagLog(const std::string& message, Date now) {
    (void)LogFile(lockEventLogFile()).append(iso8601String(now) + "  " + message);
}

std::string VigilorMonitor::formatClock(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    return n < 3600 ? printed("%02lld:%02lld", n / 60, n % 60) : hoursAndMinutes(n);
}

std::string VigilorMonitor::formatDuration(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    if (n < 60)
        return std::to_string(n) + "s";
    if (n < 3600)
        return std::to_string(n / 60) + "m";
    return hoursAndMinutes(n);
}

std::string VigilorMonitor::formatDurationWithSeconds(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    if (n < 60)
        return std::to_string(n) + "s";
    if (n < 3600)
        return printed("%lldm %02llds", n / 60, n % 60);
    return hoursAndMinutes(n);
}

std::string VigilorMonitor::formatMinuteSecondClock(double seconds) {
    const int64_t n = wholeSeconds(seconds);
    return printed("%02lld:%02lld", n % 3600 / 60, n % 60);
}
