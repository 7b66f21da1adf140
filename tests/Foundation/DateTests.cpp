#include "Foundation/Date.h"
#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Date, ConvertsToAndFromUnixTime) {
    EXPECT_EQ(Date().unixTime(), 978'307'200.0);
    EXPECT_EQ(Date::fromUnixTime(978'307'200.0), Date(0));
    EXPECT_EQ(Date::fromUnixTime(0).timeIntervalSinceReferenceDate(), -978'307'200.0);
    EXPECT_EQ(Date(10).timeIntervalSince(Date(4)), 6);
    EXPECT_LT(Date::distantPast(), Date::fromUnixTime(0));
}

TEST(Iso8601, WritesUtcWithWholeSeconds) {
    const struct {
        double unix;
        const char* text;
    } cases[] = {
        {1'772'353'800, "2026-03-01T08:30:00Z"},
        {1'772'353'800.999, "2026-03-01T08:30:00Z"}, // fractions dropped, not rounded up
        {0, "1970-01-01T00:00:00Z"},
        {951'782'400, "2000-02-29T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(iso8601String(Date::fromUnixTime(c.unix)), c.text) << c.unix;
}

TEST(Iso8601, ReadsStrictAndLenientForms) {
    const struct {
        const char* text;
        std::optional<double> strict;
        std::optional<double> lenient;
    } cases[] = {
        {"2026-03-01T08:30:00Z", 1'772'353'800, 1'772'353'800},
        {"2026-03-01T09:30:00+01:00", 1'772'353'800, 1'772'353'800},
        {"2026-03-01T03:00:00-05:30", 1'772'353'800, 1'772'353'800},
        {"2026-03-01T08:30:00.250Z", std::nullopt, 1'772'353'800.25},
        {"2026-03-01T08:30:00.5+00:00", std::nullopt, 1'772'353'800.5},
        {"2026-03-01T08:30:00", std::nullopt, std::nullopt},      // no zone
        {"2026-03-01 08:30:00Z", std::nullopt, std::nullopt},     // no T
        {"2026-02-30T08:30:00Z", std::nullopt, std::nullopt},     // no such day
        {"2026-03-01T24:00:00Z", std::nullopt, std::nullopt},     // no such hour
        {"2026-03-01T08:30:00.Z", std::nullopt, std::nullopt},    // empty fraction
        {"2026-03-01T08:30:00Zjunk", std::nullopt, std::nullopt}, // trailing text
        {"2026-03-01T08:30:00+0100", std::nullopt, std::nullopt}, // offset without colon
        {"9999-12-31T23:30:00Z", 253'402'299'000, 253'402'299'000},
        {"9999-12-31T23:30:00-01:00", std::nullopt, std::nullopt}, // year 10000 in UTC
        {"0001-01-01T00:30:00+01:00", std::nullopt, std::nullopt}, // year 0 in UTC
        {"0000-06-01T00:00:00Z", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto strict = parseIso8601Strict(c.text);
        const auto lenient = parseIso8601Lenient(c.text);
        ASSERT_EQ(strict.has_value(), c.strict.has_value()) << c.text;
        ASSERT_EQ(lenient.has_value(), c.lenient.has_value()) << c.text;
        if (strict) {
            EXPECT_DOUBLE_EQ(strict->unixTime(), *c.strict) << c.text;
        }
        if (lenient) {
            EXPECT_DOUBLE_EQ(lenient->unixTime(), *c.lenient) << c.text;
        }
    }
    // A fraction that a double rounds up to the next second stays in the second the text names, at the
    // last second of year 9999 too.
    for (const char* text : {"9999-12-31T23:59:59.99999Z", "2026-03-01T08:30:00.99999999999Z"})
        EXPECT_EQ(std::floor(parseIso8601Lenient(text)->unixTime()),
                  std::floor(parseIso8601Strict(std::string(text, 19) + "Z")->unixTime()))
            << text;
}

// Whatever is written reads back as the same second, at the edges of the years four digits name too;
// a date read (a fraction that a double rounds up included) is written as the second its text names.
TEST(Iso8601, WhatIsWrittenReadsBack) {
    constexpr double latest = 253'402'300'799, earliest = -62'135'596'800;
    const struct {
        const char* name;
        Date date;
        const char* text;
    } cases[] = {
        {"the last second", Date::fromUnixTime(latest + 0.5), "9999-12-31T23:59:59Z"},
        {"year 10000", Date::fromUnixTime(latest + 1), "9999-12-31T23:59:59Z"},
        {"the first second", Date::fromUnixTime(earliest), "0001-01-01T00:00:00Z"},
        {"year 0", Date::fromUnixTime(earliest - 1), "0001-01-01T00:00:00Z"},
        {"infinity", Date(INFINITY), "9999-12-31T23:59:59Z"},
        {"not a number", Date(NAN), "0001-01-01T00:00:00Z"},
        {"read 9999 with a long fraction", *parseIso8601Lenient("9999-12-31T23:59:59.999999Z"),
         "9999-12-31T23:59:59Z"},
        {"read 2026 with a long fraction", *parseIso8601Lenient("2026-03-01T08:30:00.99999999999Z"),
         "2026-03-01T08:30:00Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(iso8601String(c.date), c.text) << c.name;
        EXPECT_EQ(iso8601String(parseIso8601Strict(c.text).value()), c.text) << c.name;
    }
}

// Berlin: clocks go forward on 2026-03-29 (23-hour day) and back on 2026-10-25 (25-hour day).
class LocalCalendarBerlin : public ::testing::Test {
protected:
    ScopedTimeZone zone{"Europe/Berlin"};
};

TEST_F(LocalCalendarBerlin, DaysAcrossDaylightSavingChangesLast23And25Hours) {
    const struct {
        const char* noonUtc;
        double hours;
    } cases[] = {
        {"2026-03-29T10:00:00Z", 23},
        {"2026-10-25T11:00:00Z", 25},
        {"2026-06-15T10:00:00Z", 24},
    };
    for (const auto& c : cases) {
        const Date noon = *parseIso8601Strict(c.noonUtc);
        const Date start = LocalCalendar::startOfDay(noon);
        const Date next = LocalCalendar::startOfDay(noon, 1);
        EXPECT_EQ(next.timeIntervalSince(start), c.hours * 3600) << c.noonUtc;
    }
}

TEST_F(LocalCalendarBerlin, StartOfDayIsLocalMidnight) {
    // 00:30 local on 1 March is still 23:30 UTC of 28 February.
    const Date earlyMorning = *parseIso8601Strict("2026-02-28T23:30:00Z");
    EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(earlyMorning)), "2026-02-28T23:00:00Z");
    // Exactly midnight belongs to the new day.
    const Date midnight = *parseIso8601Strict("2026-02-28T23:00:00Z");
    EXPECT_EQ(LocalCalendar::startOfDay(midnight), midnight);
    EXPECT_FALSE(LocalCalendar::isSameDay(midnight, midnight.addingTimeInterval(-1)));
    EXPECT_TRUE(LocalCalendar::isSameDay(midnight, midnight.addingTimeInterval(86'399)));
}

TEST_F(LocalCalendarBerlin, CountsCalendarDaysBackAcrossMonthsAndDaylightSaving) {
    const Date april2 = *parseIso8601Strict("2026-04-02T10:00:00Z");
    EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(april2, -6)),
              "2026-03-26T23:00:00Z"); // before the change, UTC+1
    EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(april2, -1)),
              "2026-03-31T22:00:00Z"); // after it, UTC+2
    EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(april2, -120)), "2025-12-02T23:00:00Z");
}

TEST_F(LocalCalendarBerlin, AddsCalendarDaysKeepingTheWallClockTime) {
    const Date april2 = *parseIso8601Strict("2026-04-02T10:00:30Z"); // 12:00:30 local, summer time
    EXPECT_EQ(iso8601String(LocalCalendar::addingDays(april2, -7)),
              "2026-03-26T11:00:30Z"); // 12:00:30 winter time
    EXPECT_EQ(LocalCalendar::addingDays(april2, -7).timeIntervalSince(april2), -(7 * 86'400 - 3600));
    EXPECT_EQ(iso8601String(LocalCalendar::addingDays(april2, 0)), "2026-04-02T10:00:30Z");
    EXPECT_EQ(LocalCalendar::addingDays(Date(100.25), 1).timeIntervalSinceReferenceDate(), 86'400 + 100.25);
}

TEST_F(LocalCalendarBerlin, WritesLocalClockTimes) {
    const Date date = *parseIso8601Strict("2026-07-01T06:05:09Z");
    EXPECT_EQ(LocalCalendar::timeText(date, true), "08:05:09");
    EXPECT_EQ(LocalCalendar::timeText(date, false), "08:05");
}

TEST(LocalCalendar, FollowsATimeZoneChangeBetweenCalls) {
    const Date date = *parseIso8601Strict("2026-07-01T23:30:00Z");
    {
        ScopedTimeZone utc("UTC");
        EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(date)), "2026-07-01T00:00:00Z");
    }
    ScopedTimeZone tokyo("Asia/Tokyo");
    EXPECT_EQ(iso8601String(LocalCalendar::startOfDay(date)), "2026-07-01T15:00:00Z");
}
