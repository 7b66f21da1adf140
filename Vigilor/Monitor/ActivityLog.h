#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"

#include <filesystem>
#include <string>
#include <vector>

// One line of a log the interface shows: the local time it was written at, and what happened.
struct LogLine {
    std::string time; // "HH:mm:ss"
    std::string text;
    // The line as a list shows it: the time, two spaces, the text.
    std::string shown() const { return time + "  " + text; }
    bool operator==(const LogLine&) const = default;
};
std::vector<std::string> shownLines(const std::vector<LogLine>& lines);

// The two short logs the interface shows, newest first: the activity log (what Zorvi did and saw) and
// the lock log (who locked and unlocked the session, and why). Every lock line also goes to the
// lock-event log file, which outlives the process. This is the only writer of both; every part of the
// monitor that has something to tell the user is handed it.
class ActivityLog {
public:
    static constexpr size_t activityLogLimit = 8;
    static constexpr size_t lockLogLimit = 12;

    ActivityLog(ObservableObject& publisher, const Clock& clock)
        : clock_(clock)
        , events_(publisher, {})
        , lockEvents_(publisher, {}) {}

    const std::vector<LogLine>& events() const { return events_(); }
    const std::vector<LogLine>& lockEvents() const { return lockEvents_(); }

    void append(const std::string& text);
    void appendLockEvent(const std::string& text);

    // A diagnostic line in the lock-event log file only; losing one is better than troubling the user.
    static void diagLog(const std::string& message, Date now = SystemClock::shared().now());
    static std::filesystem::path lockEventLogFile();

private:
    const Clock& clock_;
    Published<std::vector<LogLine>> events_;
    Published<std::vector<LogLine>> lockEvents_;
};
