#pragma once

#include "Foundation/LocalCalendar.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/WellnessHistory.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <string>
#include <vector>

// Coaching figures for the dashboard's and the share card's tests: a desk-health month, a month of
// ledger events and lock-log lines, shaped like the monitor's.
namespace DeskHealthSamples {

// The relay's status record as the phone leaves it, with its recovery figures.
inline ZorviStatusSnapshot phoneRecovery(double hrvMs, double restingHeartRate, const std::string& band) {
    ZorviStatusSnapshot fetched;
    fetched.recoveryHrvMs = hrvMs;
    fetched.recoveryRestingHeartRate = restingHeartRate;
    fetched.recoveryBand = band;
    return fetched;
}

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

// Today's events of a ledger month.
struct Today {
    int eyeRests = 0;
    int walks = 0;
    int dismissals = 0; // dismissed eye nudges
};

// Records into `history` a month ending at `now`: at noon of each earlier day but every fifth, six eye
// rests and three five-minute walks (a score of 70), and at `now` today's events. Eight eye rests and six
// walks make 100; six walks and six dismissals 50 with an empty eye bar; dismissals alone 0.
inline void recordMonth(WellnessHistory& history, Date now, Today today) {
    const auto repeat = [&](int count, WellnessEventKind kind, std::optional<double> seconds, Date at) {
        for (int i = 0; i < count; ++i)
            history.record(kind, seconds, at);
    };
    for (int day = -29; day < 0; ++day) {
        if (day % 5 == -2)
            continue;
        const Date noon = LocalCalendar::startOfDay(now, day).addingTimeInterval(43'200);
        repeat(6, WellnessEventKind::eyeRest, 20, noon);
        repeat(3, WellnessEventKind::movementCredit, 300, noon);
    }
    repeat(today.eyeRests, WellnessEventKind::eyeRest, 20, now);
    repeat(today.walks, WellnessEventKind::movementCredit, 300, now);
    repeat(today.dismissals, WellnessEventKind::eyeDismissed, std::nullopt, now);
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
