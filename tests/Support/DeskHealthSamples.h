#pragma once

#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <string>
#include <vector>

// Coaching figures for the dashboard's and the share card's tests: a desk-health month, the three
// period summaries and lock-log lines, shaped like the monitor's.
namespace DeskHealthSamples {

// One day, `dayNumber` days after 2001-01-01.
inline DailyWellnessScore day(int dayNumber, int64_t score, bool hasData = true, int64_t eyeRests = 0,
                              int64_t walks = 0) {
    DailyWellnessScore d;
    d.day = Date(dayNumber * 86'400.0);
    d.score = hasData ? score : 0;
    d.eyeComponent = 50;
    d.moveComponent = 50;
    d.followComponent = 100;
    d.eyeRests = eyeRests;
    d.walks = walks;
    d.hasData = hasData;
    return d;
}

// `days` days ending today at `todayScore`: every fifth day without data, the others spread from 12
// to 96; each day with data counts one eye rest more than its walks.
inline std::vector<DailyWellnessScore> history(int64_t todayScore, int days = 30) {
    std::vector<DailyWellnessScore> result;
    for (int i = 0; i < days; ++i) {
        const bool hasData = i == days - 1 || i % 5 != 2;
        const int64_t score = i == days - 1 ? todayScore : 12 + (i * 37) % 85;
        result.push_back(day(9000 + i, score, hasData, hasData ? 2 + i % 3 : 0, hasData ? 1 + i % 3 : 0));
    }
    return result;
}

// A month with enough data, today at `todayScore`, the week averaging 71 and rising.
inline DeskHealthSummary week(int64_t todayScore, int64_t streak, int days = 30) {
    DeskHealthSummary s;
    s.history = history(todayScore, days);
    s.today = s.history.back();
    s.today.eyeComponent = 75;
    s.today.moveComponent = 50;
    s.today.followComponent = 88;
    s.today.eyeRests = 6;
    s.today.walks = 1;
    s.history.back() = s.today;
    s.last7Average = 71;
    s.last30Average = 64;
    s.trend = DeskHealthTrend::up;
    s.streak = {streak, streak + 2};
    s.hasEnoughData = true;
    return s;
}

inline std::vector<WellnessPeriodSummary> periods() {
    const auto period = [](std::string label, int64_t scale) {
        WellnessPeriodSummary p;
        p.label = std::move(label);
        p.eyeRests = 4 * scale;
        p.movementCredits = 3 * scale;
        p.dismissedNudges = scale;
        p.skippedWalks = scale - 1;
        p.lockAways = scale;
        p.movementMinutes = 9 * scale;
        p.followedCount = p.eyeRests + p.movementCredits + p.lockAways;
        p.opportunityCount = p.followedCount + p.dismissedNudges + p.skippedWalks;
        return p;
    };
    return {period("Today", 1), period("7 days", 6), period("30 days", 25)};
}

// Lock-log lines of the kinds the monitor writes, the last one newest.
inline void logLockEvents(ActivityLog& log, int count) {
    static const char* const texts[] = {"Locked by Zorvi after 14s away", "Screen unlocked",
                                        "Manual lock requested from the dashboard",
                                        "Screen locked by Zorvi (Auto)"};
    for (int i = 0; i < count; ++i)
        log.appendLockEvent(texts[i % 4]);
}

} // namespace DeskHealthSamples
