#pragma once

#include "Foundation/Date.h"
#include "Foundation/Json.h"
#include "Foundation/RawValueEnum.h"
#include "Vigilor/Config/PresenceModels.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The desk-health records: one day's score, and the 30-day picture with its averages, trend and
// streak.

struct DailyWellnessScore {
    Date day; // start of the calendar day
    int64_t score = 0;
    int64_t eyeComponent = 0;
    int64_t moveComponent = 0;
    int64_t followComponent = 0;
    int64_t eyeRests = 0;
    int64_t walks = 0;
    int64_t movementMinutes = 0;
    int64_t lockAways = 0;
    bool hasData = false;

    // An object keyed by the field names, `day` as seconds since 2001-01-01 UTC. Nothing stores it;
    // the form exists for diagnostics and for peers that want a day's figures.
    Json toJSON() const;
    // Every one of the ten keys is required; throws JsonDecodingError otherwise.
    static DailyWellnessScore fromJSON(const Json& object);

    bool operator==(const DailyWellnessScore&) const = default;
};

struct WellnessStreak {
    int64_t current = 0;
    int64_t best = 0;

    bool operator==(const WellnessStreak&) const = default;
};

enum class DeskHealthTrend { up, flat, down };
template <> struct RawValues<DeskHealthTrend> {
    static constexpr std::array cases{
        std::pair{DeskHealthTrend::up, std::string_view("up")},
        std::pair{DeskHealthTrend::flat, std::string_view("flat")},
        std::pair{DeskHealthTrend::down, std::string_view("down")},
    };
};

enum class DeskHealthBand { building, onTrack, strong };
template <> struct RawValues<DeskHealthBand> {
    static constexpr std::array cases{
        std::pair{DeskHealthBand::building, std::string_view("building")},
        std::pair{DeskHealthBand::onTrack, std::string_view("onTrack")},
        std::pair{DeskHealthBand::strong, std::string_view("strong")},
    };
};

// The band a score falls in: 80 and above strong, 50 to 79 on track, below 50 building.
DeskHealthBand deskHealthBand(int64_t score);
// The band's display title: "Building", "On track", "Strong".
std::string_view title(DeskHealthBand band);

struct DeskHealthSummary {
    DailyWellnessScore today;
    std::vector<DailyWellnessScore> history; // 30 days, oldest first, ending with today
    int64_t last7Average = 0;
    int64_t last30Average = 0;
    DeskHealthTrend trend = DeskHealthTrend::flat;
    WellnessStreak streak;
    bool hasEnoughData = false;

    bool operator==(const DeskHealthSummary&) const = default;
};

// Turns the wellness ledger into daily desk-health scores and the 30-day summary. Pure functions of
// their arguments: nothing is kept between calls, so a refresh always reflects the ledger and the
// clock as they are. Calendar days are those of the local time zone at the moment of the call.
namespace WellnessScoreEngine {

// The score of the day starting at `day` from events the caller has already limited to that day;
// the events' own dates are not looked at.
DailyWellnessScore dailyScore(Date day, std::span<const WellnessLedgerEvent> events);

// `days` daily scores, oldest first, the last one for the calendar day of `now`. A count of 0 or
// below gives an empty list. Events outside the window (including any dated after today) count for
// no day.
std::vector<DailyWellnessScore> dailyScores(std::span<const WellnessLedgerEvent> events, int days, Date now);

// The 30-day picture for the day of `now`.
DeskHealthSummary summary(std::span<const WellnessLedgerEvent> events, Date now);

// Runs of days scoring at or above `bar`, over days oldest first. Days without data neither break
// nor extend a run.
WellnessStreak streak(std::span<const DailyWellnessScore> days, int64_t bar);

} // namespace WellnessScoreEngine
