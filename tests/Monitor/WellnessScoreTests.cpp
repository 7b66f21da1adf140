#include "Vigilor/Monitor/WellnessScore.h"

#include "Foundation/Iso8601.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <vector>

// Failure messages show a day's score as its JSON object rather than raw bytes.
void PrintTo(const DailyWellnessScore& score, std::ostream* out) {
    *out << jsonText(score.toJSON());
}

namespace {

using Kind = WellnessEventKind;
using Ledger = std::vector<WellnessLedgerEvent>;

Date at(const char* iso) {
    return *parseIso8601Strict(iso);
}

WellnessLedgerEvent event(Kind kind, Date when = Date(), std::optional<double> duration = std::nullopt) {
    WellnessLedgerEvent result;
    result.kind = kind;
    result.occurredAt = when;
    result.durationSeconds = duration;
    return result;
}

// How many events of each kind a day holds; dismissals alternate between eye and walk prompts.
struct DayMix {
    int eyeRests;
    int walks;
    int lockAways;
    int dismissals;
    int skips;
};

void append(Ledger& ledger, DayMix mix, Date when) {
    const auto add = [&](Kind kind, int count) {
        for (int i = 0; i < count; ++i)
            ledger.push_back(event(kind, when));
    };
    add(Kind::eyeRest, mix.eyeRests);
    add(Kind::movementCredit, mix.walks);
    add(Kind::lockAway, mix.lockAways);
    for (int i = 0; i < mix.dismissals; ++i)
        ledger.push_back(event(i % 2 == 0 ? Kind::eyeDismissed : Kind::walkDismissed, when));
    add(Kind::walkSkipped, mix.skips);
}

Ledger eventsOf(DayMix mix, Date when = Date()) {
    Ledger ledger;
    append(ledger, mix, when);
    return ledger;
}

DailyWellnessScore expectedScore(std::vector<int64_t> figures, bool hasData) {
    DailyWellnessScore score;
    score.score = figures[0];
    score.eyeComponent = figures[1];
    score.moveComponent = figures[2];
    score.followComponent = figures[3];
    score.eyeRests = figures[4];
    score.walks = figures[5];
    score.movementMinutes = figures[6];
    score.lockAways = figures[7];
    score.hasData = hasData;
    return score;
}

} // namespace

TEST(WellnessScoreEngine, ScoresADayFromItsEvents) {
    const struct {
        const char* name;
        Ledger events;
        // score, eye, move, follow, eye rests, walks, movement minutes, lock-aways
        std::vector<int64_t> figures;
        bool hasData;
    } cases[] = {
        {"no events: follow-through counts as full, score stays 0", {}, {0, 0, 0, 100, 0, 0, 0, 0}, false},
        {"4 rests, 3 walks, 1 dismissal: 57.50000000000001 rounds up",
         eventsOf({4, 3, 0, 1, 0}),
         {58, 50, 50, 88, 4, 3, 0, 0},
         true},
        {"1 rest, 6 walks, 3 lock-aways, 6 dismissals: 57.49999999999999 rounds down",
         eventsOf({1, 6, 3, 6, 0}),
         {57, 13, 100, 63, 1, 6, 0, 3},
         true},
        {"a single lock-away is followed", eventsOf({0, 0, 1, 0, 0}), {20, 0, 0, 100, 0, 0, 0, 1}, true},
        {"only skipped walks", eventsOf({0, 0, 0, 0, 2}), {0, 0, 0, 0, 0, 0, 0, 0}, true},
        {"targets met", eventsOf({8, 6, 0, 0, 0}), {100, 100, 100, 100, 8, 6, 0, 0}, true},
        {"targets exceeded add nothing", eventsOf({12, 9, 0, 0, 0}), {100, 100, 100, 100, 12, 9, 0, 0}, true},
        {"3 rests, 3 walks: 37.5 rounds up", eventsOf({3, 3, 0, 0, 0}), {55, 38, 50, 100, 3, 3, 0, 0}, true},
        {"one rest: 12.5 rounds away from zero, not to even",
         eventsOf({1, 0, 0, 0, 0}),
         {25, 13, 0, 100, 1, 0, 0, 0},
         true},
        {"eye and walk dismissals both count against follow-through",
         {event(Kind::eyeRest), event(Kind::eyeDismissed), event(Kind::walkDismissed)},
         {12, 13, 0, 33, 1, 0, 0, 0},
         true},
        {"dismissals alone", eventsOf({0, 0, 0, 3, 0}), {0, 0, 0, 0, 0, 0, 0, 0}, true},
    };
    const Date day = Date(800'000'000);
    for (const auto& c : cases) {
        DailyWellnessScore expected = expectedScore(c.figures, c.hasData);
        expected.day = day;
        EXPECT_EQ(WellnessScoreEngine::dailyScore(day, c.events), expected) << c.name;
    }
}

TEST(WellnessScoreEngine, SumsWalkDurationsIntoRoundedMinutes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        std::vector<std::optional<double>> durations;
        int64_t minutes;
    } cases[] = {
        {"100 s, 50 s and one without a length: 2.5 rounds up", {100.0, 50.0, std::nullopt}, 3},
        {"just under half a minute over", {89.0}, 1},
        {"exactly half a minute over", {90.0}, 2},
        {"no lengths at all", {std::nullopt, std::nullopt}, 0},
        {"a NaN length does not wipe out the others", {nan, 120.0}, 2},
        {"an infinite length does not saturate the day", {infinity, 120.0}, 2},
        {"a negative length does not eat into real walks", {-600.0, 120.0}, 2},
    };
    for (const auto& c : cases) {
        Ledger events;
        for (const auto& duration : c.durations)
            events.push_back(event(Kind::movementCredit, Date(), duration));
        // Lengths on other kinds are not movement.
        events.push_back(event(Kind::eyeRest, Date(), 600.0));
        const auto score = WellnessScoreEngine::dailyScore(Date(), events);
        EXPECT_EQ(score.movementMinutes, c.minutes) << c.name;
        EXPECT_EQ(score.walks, int64_t(c.durations.size())) << c.name;
    }
}

TEST(WellnessScoreEngine, DailyScoreLeavesTheChoiceOfEventsToTheCaller) {
    const Ledger events = {event(Kind::eyeRest, Date(0)), event(Kind::eyeRest, Date(900'000'000))};
    const auto score = WellnessScoreEngine::dailyScore(Date(500'000'000), events);
    EXPECT_EQ(score.day, Date(500'000'000));
    EXPECT_EQ(score.eyeRests, 2);
}

// Berlin: clocks go forward on 2026-03-29 (23-hour day) and back on 2026-10-25 (25-hour day).
class WellnessScoreBerlin : public ::testing::Test {
protected:
    ScopedTimeZone zone{"Europe/Berlin"};
};

TEST_F(WellnessScoreBerlin, PutsEachEventInItsCalendarDay) {
    const struct {
        const char* name;
        const char* now;
        std::vector<const char*> dayStarts; // oldest first, the last is today
        std::vector<const char*> eyeRests;
        std::vector<int64_t> perDay;
    } cases[] = {
        {"the 23-hour day and the evening before it",
         "2026-03-30T10:00:00Z",
         {"2026-03-27T23:00:00Z", "2026-03-28T23:00:00Z", "2026-03-29T22:00:00Z"},
         {"2026-03-28T22:30:00Z", "2026-03-29T21:30:00Z", "2026-03-29T22:00:00Z"},
         {1, 1, 1}},
        {"the 25-hour day holds both its first and its extra hour",
         "2026-10-26T11:00:00Z",
         {"2026-10-23T22:00:00Z", "2026-10-24T22:00:00Z", "2026-10-25T23:00:00Z"},
         {"2026-10-24T21:59:59Z", "2026-10-24T22:30:00Z", "2026-10-25T22:30:00Z", "2026-10-25T23:00:00Z"},
         {1, 2, 1}},
        {"midnight opens the new day; events outside the window count nowhere",
         "2026-06-15T10:00:00Z",
         {"2026-06-13T22:00:00Z", "2026-06-14T22:00:00Z"},
         {"2026-06-13T21:59:59Z", "2026-06-14T21:59:59Z", "2026-06-14T22:00:00Z", "2026-06-15T21:59:59Z",
          "2026-06-15T22:00:00Z", "2027-01-01T00:00:00Z"},
         {1, 2}},
        {"a one-day series is today alone",
         "2026-06-15T21:59:59Z",
         {"2026-06-14T22:00:00Z"},
         {"2026-06-14T21:00:00Z", "2026-06-15T12:00:00Z"},
         {1}},
    };
    for (const auto& c : cases) {
        Ledger ledger;
        for (const char* time : c.eyeRests)
            ledger.push_back(event(Kind::eyeRest, at(time)));
        const auto scores = WellnessScoreEngine::dailyScores(ledger, int(c.dayStarts.size()), at(c.now));
        ASSERT_EQ(scores.size(), c.dayStarts.size()) << c.name;
        for (size_t i = 0; i < scores.size(); ++i) {
            EXPECT_EQ(iso8601String(scores[i].day), c.dayStarts[i]) << c.name << ", day " << i;
            EXPECT_EQ(scores[i].eyeRests, c.perDay[i]) << c.name << ", day " << i;
        }
    }
}

TEST_F(WellnessScoreBerlin, ADayCountOfZeroOrLessGivesNoDays) {
    const Ledger ledger = {event(Kind::eyeRest, at("2026-06-15T10:00:00Z"))};
    for (int days : {0, -1, -30})
        EXPECT_TRUE(WellnessScoreEngine::dailyScores(ledger, days, at("2026-06-15T12:00:00Z")).empty())
            << days;
}

TEST_F(WellnessScoreBerlin, AnEmptyLedgerGivesThirtyEmptyDays) {
    // The window reaches back across the change to summer time.
    const Date now = at("2026-04-02T10:00:00Z");
    const auto summary = WellnessScoreEngine::summary({}, now);

    ASSERT_EQ(summary.history.size(), 30u);
    EXPECT_EQ(iso8601String(summary.history.front().day), "2026-03-03T23:00:00Z");
    EXPECT_EQ(iso8601String(summary.history.back().day), "2026-04-01T22:00:00Z");
    for (const auto& day : summary.history) {
        DailyWellnessScore expected = expectedScore({0, 0, 0, 100, 0, 0, 0, 0}, false);
        expected.day = day.day;
        EXPECT_EQ(day, expected);
    }
    EXPECT_EQ(summary.today, summary.history.back());
    EXPECT_EQ(summary.last7Average, 0);
    EXPECT_EQ(summary.last30Average, 0);
    EXPECT_EQ(summary.trend, DeskHealthTrend::flat);
    EXPECT_EQ(summary.streak, (WellnessStreak{0, 0}));
    EXPECT_FALSE(summary.hasEnoughData);
}

namespace {

// Noon on the local day `daysAgo` before 2026-06-30 in Berlin.
Date noonDaysAgo(int daysAgo) {
    return at("2026-06-30T10:00:00Z").addingTimeInterval(-86'400.0 * daysAgo);
}

struct ScoredDay {
    int daysAgo;
    DayMix mix;
};

DeskHealthSummary summaryOf(const std::vector<ScoredDay>& days) {
    Ledger ledger;
    for (const auto& day : days)
        append(ledger, day.mix, noonDaysAgo(day.daysAgo));
    return WellnessScoreEngine::summary(ledger, noonDaysAgo(0));
}

// Mixes that score exactly the figure in their name.
constexpr DayMix score20{0, 0, 1, 0, 0};
constexpr DayMix score55{3, 3, 0, 0, 0};
constexpr DayMix score56{1, 5, 1, 1, 0};
constexpr DayMix score60{0, 6, 0, 0, 0};
constexpr DayMix score64{4, 4, 0, 1, 0};
constexpr DayMix score65{1, 6, 0, 0, 0};
constexpr DayMix score72{5, 4, 0, 0, 0};
constexpr DayMix score73{4, 5, 0, 0, 0};
constexpr DayMix score100{8, 6, 0, 0, 0};
constexpr DayMix skipsOnly{0, 0, 0, 0, 1};

} // namespace

TEST_F(WellnessScoreBerlin, AveragesOnlyDaysWithData) {
    const struct {
        const char* name;
        std::vector<ScoredDay> days;
        int64_t last7;
        int64_t last30;
    } cases[] = {
        {"72 and 73 average to 73 (half away from zero)", {{0, score72}, {1, score73}}, 73, 73},
        {"an older day counts for 30 days only", {{0, score72}, {1, score73}, {20, score20}}, 73, 55},
        {"the window's first day is in, the day before it is out", {{29, score20}, {30, score100}}, 0, 20},
        {"a day of skips has data and pulls the average down", {{0, score60}, {3, skipsOnly}}, 30, 30},
    };
    for (const auto& c : cases) {
        const auto summary = summaryOf(c.days);
        EXPECT_EQ(summary.last7Average, c.last7) << c.name;
        EXPECT_EQ(summary.last30Average, c.last30) << c.name;
    }
}

TEST_F(WellnessScoreBerlin, ComparesTheLastWeekWithTheWeekBefore) {
    const struct {
        const char* name;
        std::vector<ScoredDay> days;
        DeskHealthTrend trend;
    } cases[] = {
        {"60 against 56 is within the margin", {{0, score60}, {10, score56}}, DeskHealthTrend::flat},
        {"60 against 64 is within the margin", {{0, score60}, {10, score64}}, DeskHealthTrend::flat},
        {"60 against 55 is up", {{0, score60}, {10, score55}}, DeskHealthTrend::up},
        {"60 against 65 is down", {{0, score60}, {10, score65}}, DeskHealthTrend::down},
        {"13 days ago is the previous week's oldest day",
         {{0, score60}, {13, score65}},
         DeskHealthTrend::down},
        {"7 days ago is the previous week's newest day", {{0, score60}, {7, score65}}, DeskHealthTrend::down},
        {"14 days ago is in neither week", {{0, score60}, {14, score65}}, DeskHealthTrend::up},
        {"6 days ago belongs to the last week", {{0, score60}, {6, score65}}, DeskHealthTrend::up},
        {"nothing lately after a good week is down", {{10, score65}}, DeskHealthTrend::down},
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaryOf(c.days).trend, c.trend) << c.name;
}

TEST_F(WellnessScoreBerlin, NeedsTwoDaysWithDataForEnoughData) {
    const struct {
        const char* name;
        std::vector<ScoredDay> days;
        bool enough;
    } cases[] = {
        {"one day", {{3, score60}}, false},
        {"two events on the same day", {{3, score60}, {3, score20}}, false},
        {"two days", {{3, score60}, {29, score20}}, true},
        {"a second day outside the window", {{3, score60}, {30, score20}}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaryOf(c.days).hasEnoughData, c.enough) << c.name;
}

TEST_F(WellnessScoreBerlin, SummaryCarriesTodayAndTheStreakOverTheHistory) {
    // Today has no events yet; yesterday and the day before reach the bar, 31 days ago is forgotten.
    const auto summary = summaryOf({{1, score72}, {2, score55}, {3, score20}, {31, score100}});
    EXPECT_FALSE(summary.today.hasData);
    EXPECT_EQ(iso8601String(summary.today.day), "2026-06-29T22:00:00Z");
    EXPECT_EQ(summary.history[28].score, 72);
    EXPECT_EQ(summary.streak, (WellnessStreak{2, 2}));
}

TEST(WellnessScoreEngine, CountsStreaksOverDaysWithData) {
    constexpr int none = -1; // a day without data
    const struct {
        const char* name;
        std::vector<int> scores; // oldest first
        int64_t bar;
        WellnessStreak expected;
    } cases[] = {
        {"no days", {}, 50, {0, 0}},
        {"a day without data neither breaks nor extends", {60, 70, none, 55, 40, 80, 90}, 50, {2, 3}},
        {"today without data is skipped", {50, 50, 65, none}, 50, {3, 3}},
        {"a day with data at 0 breaks the run", {60, 70, 0}, 50, {0, 2}},
        {"only days without data", {none, none}, 50, {0, 0}},
        {"the bar itself counts", {49, 50, 50}, 50, {2, 2}},
        {"the best run may be the current one", {80, 20, 80, 80, 80}, 50, {3, 3}},
        {"another bar", {60, 70, 75}, 70, {2, 2}},
    };
    for (const auto& c : cases) {
        std::vector<DailyWellnessScore> days;
        for (int score : c.scores) {
            DailyWellnessScore day;
            day.hasData = score != none;
            day.score = day.hasData ? score : 0;
            days.push_back(day);
        }
        EXPECT_EQ(WellnessScoreEngine::streak(days, c.bar), c.expected) << c.name;
    }
}

TEST(DeskHealthBand, FollowsTheScoreAndHasATitle) {
    const struct {
        int64_t score;
        DeskHealthBand band;
        const char* raw;
        const char* title;
    } cases[] = {
        {100, DeskHealthBand::strong, "strong", "Strong"},
        {80, DeskHealthBand::strong, "strong", "Strong"},
        {79, DeskHealthBand::onTrack, "onTrack", "On track"},
        {50, DeskHealthBand::onTrack, "onTrack", "On track"},
        {49, DeskHealthBand::building, "building", "Building"},
        {0, DeskHealthBand::building, "building", "Building"},
    };
    for (const auto& c : cases) {
        const DeskHealthBand band = deskHealthBand(c.score);
        EXPECT_EQ(band, c.band) << c.score;
        EXPECT_EQ(rawValue(band), c.raw) << c.score;
        EXPECT_EQ(title(band), c.title) << c.score;
    }
}

TEST(DailyWellnessScore, WritesAndReadsItsTenFields) {
    DailyWellnessScore score = expectedScore({58, 50, 50, 88, 4, 3, 7, 1}, true);
    score.day = Date(796'000'000);
    EXPECT_EQ(jsonText(score.toJSON()),
              R"({"day":796000000.0,"score":58,"eyeComponent":50,"moveComponent":50,"followComponent":88,)"
              R"("eyeRests":4,"walks":3,"movementMinutes":7,"lockAways":1,"hasData":true})");
    EXPECT_EQ(DailyWellnessScore::fromJSON(score.toJSON()), score);
}

TEST(DailyWellnessScore, RefusesObjectsMissingAFieldOrOfTheWrongType) {
    const Json complete = expectedScore({58, 50, 50, 88, 4, 3, 7, 1}, true).toJSON();
    for (const auto& [key, value] : complete.items()) {
        Json missing = complete;
        missing.erase(key);
        EXPECT_THROW(DailyWellnessScore::fromJSON(missing), JsonDecodingError) << "without " << key;
        Json null = complete;
        null[key] = nullptr;
        EXPECT_THROW(DailyWellnessScore::fromJSON(null), JsonDecodingError) << key << " null";
    }
    Json fractional = complete;
    fractional["score"] = 57.5;
    EXPECT_THROW(DailyWellnessScore::fromJSON(fractional), JsonDecodingError);
    Json text = complete;
    text["hasData"] = "true";
    EXPECT_THROW(DailyWellnessScore::fromJSON(text), JsonDecodingError);
}
