#include "Vigilor/Monitor/ActivityLog.h"

#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/LogFile.h"
#include "Foundation/Paths.h"

namespace {

void prepend(Published<std::vector<LogLine>>& log, LogLine line, size_t limit) {
    std::vector<LogLine> lines = log();
    lines.insert(lines.begin(), std::move(line));
    if (lines.size() > limit)
        lines.resize(limit);
    log = std::move(lines);
}

} // namespace

std::vector<std::string> shownLines(const std::vector<LogLine>& lines) {
    std::vector<std::string> shown;
    shown.reserve(lines.size());
    for (const LogLine& line : lines)
        shown.push_back(line.shown());
    return shown;
}

void ActivityLog::append(const std::string& text) {
    prepend(events_, {LocalCalendar::timeText(clock_.now(), true), text}, activityLogLimit);
}

void ActivityLog::appendLockEvent(const std::string& text) {
    const Date at = clock_.now();
    prepend(lockEvents_, {LocalCalendar::timeText(at, true), text}, lockLogLimit);
    diagLog("lockEvent: " + text, at);
}

std::filesystem::path ActivityLog::lockEventLogFile() {
    return Paths::zorviLogDirectory() / "zorvi-lock-events.log";
}

void ActivityLog::diagLog(const std::string& message, Date now) {
    (void)LogFile(lockEventLogFile()).append(iso8601String(now) + "  " + message);
}
