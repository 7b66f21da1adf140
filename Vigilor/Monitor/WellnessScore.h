#pragma once

#include "Foundation/Date.h"
#include "Foundation/RawValueEnum.h"

#include <cstdint>
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
