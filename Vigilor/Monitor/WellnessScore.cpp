#include "WellnessScore.h"

#include "Foundation/LocalCalendar.h"
#include "Foundation/Rounding.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double eyeRestTarget = 8; // rests a day that fill the eye part
constexpr double walkTarget = 6;    // walks a day that fill the movement part
constexpr int historyDays = 30;
constexpr int weekDays = 7;
constexpr int64_t streakBar = 50;
constexpr int64_t trendMargin = 4; // a weekly change of up to this many points is flat

// What one day's events add up to; the score is computed from these counts alone.
struct DayTally {
    int64_t eyeRests = 0;
    int64_t walks = 0;
    int64_t lockAways = 0;
    int64_t dismissals = 0;
    int64_t skips = 0;
    double movementSeconds = 0;

    void add(const WellnessLedgerEvent& event);
    int64_t followed() const { return eyeRests + walks + lockAways; }
};

void DayTally::add(const WellnessLedgerEvent& event) {
    switch (event.kind) {
    case WellnessEventKind::eyeRest:
        ++eyeRests;
        break;
    case WellnessEventKind::movementCredit:
        ++walks;
        // The ledger is read back from a file the user can edit: one non-finite or negative length
        // must not wipe out (NaN), saturate (infinity) or eat into the real walks of the day.
        if (event.durationSeconds && std::isfinite(*event.durationSeconds) && *event.durationSeconds >= 0)
            movementSeconds += *event.durationSeconds;
        break;
    case WellnessEventKind::lockAway:
        ++lockAways;
        break;
    case WellnessEventKind::eyeDismissed:
    case WellnessEventKind::walkDismissed:
        ++dismissals;
        break;
    case WellnessEventKind::walkSkipped:
        ++skips;
        break;
    }
}

int64_t percent(double ratio) {
    return roundedInteger(ratio * 100);
}

DailyWellnessScore scoreOf(Date day, const DayTally& tally) {
    const int64_t opportunities = tally.followed() + tally.dismissals + tally.skips;
    const double eyeRatio = std::min(double(tally.eyeRests) / eyeRestTarget, 1.0);
    const double moveRatio = std::min(double(tally.walks) / walkTarget, 1.0);
    const double followRatio = opportunities > 0 ? double(tally.followed()) / double(opportunities) : 1.0;
    // Evaluated in exactly this order: the sum lands on 57.50000000000001 for 4 rests, 3 walks and one
    // dismissal, which must round to 58 like everywhere else the score is shown.
    const double rawScore = (followRatio * 0.2 + (eyeRatio * 0.4 + moveRatio * 0.4)) * 100;

    DailyWellnessScore score;
    score.day = day;
    score.hasData = tally.eyeRests > 0 || tally.walks > 0 || tally.lockAways > 0 || tally.dismissals > 0 ||
                    tally.skips > 0;
    score.score = score.hasData ? roundedInteger(rawScore) : 0;
    score.eyeComponent = percent(eyeRatio);
    score.moveComponent = percent(moveRatio);
    score.followComponent = percent(followRatio);
    score.eyeRests = tally.eyeRests;
    score.walks = tally.walks;
    score.movementMinutes = roundedInteger(tally.movementSeconds / 60);
    score.lockAways = tally.lockAways;
    return score;
}

// Rounded mean over the days that have data; days without any event do not pull it down.
int64_t average(std::span<const DailyWellnessScore> days) {
    int64_t sum = 0;
    int64_t count = 0;
    for (const auto& day : days) {
        if (!day.hasData)
            continue;
        sum += day.score;
        ++count;
    }
    return count == 0 ? 0 : roundedInteger(double(sum) / double(count));
}

DeskHealthTrend trendOf(int64_t lastWeek, int64_t weekBefore) {
    if (lastWeek > weekBefore + trendMargin)
        return DeskHealthTrend::up;
    if (lastWeek < weekBefore - trendMargin)
        return DeskHealthTrend::down;
    return DeskHealthTrend::flat;
}

// Half-open calendar days [start, end), oldest first, the last holding `now`. Each day is formed by
// calendar arithmetic, so days across a daylight-saving change are 23 or 25 hours long.
struct DayWindows {
    std::vector<Date> starts;
    std::vector<Date> ends;

    DayWindows(int days, Date now);
    // The index of the day holding `date`, or -1 when it falls in none.
    std::ptrdiff_t indexOf(Date date) const;
};

DayWindows::DayWindows(int days, Date now) {
    starts.reserve(size_t(days));
    ends.reserve(size_t(days));
    for (int i = 0; i < days; ++i) {
        starts.push_back(LocalCalendar::startOfDay(now, i - (days - 1)));
        ends.push_back(LocalCalendar::startOfDay(starts.back(), 1));
    }
}

std::ptrdiff_t DayWindows::indexOf(Date date) const {
    // The last day starting at or before the date; an event exactly at midnight opens the new day.
    const auto after = std::upper_bound(starts.begin(), starts.end(), date);
    if (after == starts.begin())
        return -1;
    const std::ptrdiff_t index = after - starts.begin() - 1;
    return date < ends[size_t(index)] ? index : -1;
}

} // namespace

Json DailyWellnessScore::toJSON() const {
    Json object = Json::object();
    object["day"] = JsonField::dateValue(day);
    JsonField::write(object, "score", score);
    JsonField::write(object, "eyeComponent", eyeComponent);
    JsonField::write(object, "moveComponent", moveComponent);
    JsonField::write(object, "followComponent", followComponent);
    JsonField::write(object, "eyeRests", eyeRests);
    JsonField::write(object, "walks", walks);
    JsonField::write(object, "movementMinutes", movementMinutes);
    JsonField::write(object, "lockAways", lockAways);
    JsonField::write(object, "hasData", hasData);
    return object;
}

DailyWellnessScore DailyWellnessScore::fromJSON(const Json& object) {
    for (const char* key : {"day", "score", "eyeComponent", "moveComponent", "followComponent", "eyeRests",
                            "walks", "movementMinutes", "lockAways", "hasData"})
        if (!JsonField::has(object, key))
            throw JsonDecodingError(key, "present");
    DailyWellnessScore result;
    JsonField::read(object, "day", result.day);
    JsonField::read(object, "score", result.score);
    JsonField::read(object, "eyeComponent", result.eyeComponent);
    JsonField::read(object, "moveComponent", result.moveComponent);
    JsonField::read(object, "followComponent", result.followComponent);
    JsonField::read(object, "eyeRests", result.eyeRests);
    JsonField::read(object, "walks", result.walks);
    JsonField::read(object, "movementMinutes", result.movementMinutes);
    JsonField::read(object, "lockAways", result.lockAways);
    JsonField::read(object, "hasData", result.hasData);
    return result;
}

DeskHealthBand deskHealthBand(int64_t score) {
    if (score >= 80)
        return DeskHealthBand::strong;
    if (score >= 50)
        return DeskHealthBand::onTrack;
    return DeskHealthBand::building;
}

std::string_view title(DeskHealthBand band) {
    switch (band) {
    case DeskHealthBand::building:
        return "Building";
    case DeskHealthBand::onTrack:
        return "On track";
    case DeskHealthBand::strong:
        return "Strong";
    }
    return {};
}

namespace WellnessScoreEngine {

DailyWellnessScore dailyScore(Date day, std::span<const WellnessLedgerEvent> events) {
    DayTally tally;
    for (const auto& event : events)
        tally.add(event);
    return scoreOf(day, tally);
}

std::vector<DailyWellnessScore> dailyScores(std::span<const WellnessLedgerEvent> events, int days, Date now) {
    if (days <= 0)
        return {};
    // One pass over the ledger into per-day tallies: the ledger may hold 50,000 events, and copying
    // each day's share out first would only cost time.
    const DayWindows windows(days, now);
    std::vector<DayTally> tallies(static_cast<size_t>(days));
    for (const auto& event : events)
        if (const auto index = windows.indexOf(event.occurredAt); index >= 0)
            tallies[size_t(index)].add(event);

    std::vector<DailyWellnessScore> scores;
    scores.reserve(size_t(days));
    for (size_t i = 0; i < tallies.size(); ++i)
        scores.push_back(scoreOf(windows.starts[i], tallies[i]));
    return scores;
}

DeskHealthSummary summary(std::span<const WellnessLedgerEvent> events, Date now) {
    DeskHealthSummary result;
    result.history = dailyScores(events, historyDays, now);
    const std::span<const DailyWellnessScore> history(result.history);
    result.today = history.back();
    result.last7Average = average(history.last(weekDays));
    result.last30Average = average(history);
    const int64_t previousWeekAverage = average(history.subspan(historyDays - 2 * weekDays, weekDays));
    result.trend = trendOf(result.last7Average, previousWeekAverage);
    result.streak = streak(history, streakBar);
    result.hasEnoughData =
        std::count_if(history.begin(), history.end(), [](const auto& day) { return day.hasData; }) > 1;
    return result;
}

WellnessStreak streak(std::span<const DailyWellnessScore> days, int64_t bar) {
    WellnessStreak result;
    int64_t running = 0;
    for (const auto& day : days) {
        if (!day.hasData)
            continue;
        running = day.score < bar ? 0 : running + 1;
        result.best = std::max(result.best, running);
    }
    for (auto day = days.rbegin(); day != days.rend(); ++day) {
        if (!day->hasData)
            continue;
        if (day->score < bar)
            break;
        ++result.current;
    }
    result.best = std::max(result.best, result.current);
    return result;
}

} // namespace WellnessScoreEngine
