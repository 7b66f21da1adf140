#include "Vigilor/Config/PresenceModels.h"

#include <gtest/gtest.h>

TEST(WellnessLedgerEvent, EncodesDatesAsReferenceSecondsAndOmitsAnAbsentDuration) {
    WellnessLedgerEvent event{*UUID::parse("11111111-2222-4333-8444-555555555555"),
                              WellnessEventKind::movementCredit, Date(786'000'000.5), std::nullopt};
    EXPECT_EQ(
        jsonText(event.toJSON()),
        R"({"id":"11111111-2222-4333-8444-555555555555","kind":"movementCredit","occurredAt":786000000.5})");
    EXPECT_EQ(WellnessLedgerEvent::fromJSON(event.toJSON()), event);

    event.durationSeconds = 61;
    EXPECT_EQ(event.toJSON()["durationSeconds"], Json(61.0));
    EXPECT_EQ(WellnessLedgerEvent::fromJSON(event.toJSON()), event);
}

TEST(WellnessLedgerEvent, RefusesEventsWithoutTheirRequiredKeys) {
    const char* bad[] = {
        R"({"kind":"eyeRest","occurredAt":1})",
        R"({"id":"11111111-2222-4333-8444-555555555555","occurredAt":1})",
        R"({"id":"11111111-2222-4333-8444-555555555555","kind":"eyeRest"})",
        R"({"id":"11111111-2222-4333-8444-555555555555","kind":"nap","occurredAt":1})",
        R"({"id":"11111111-2222-4333-8444-555555555555","kind":"eyeRest","occurredAt":"2026-01-01T00:00:00Z"})",
        R"({"id":null,"kind":"eyeRest","occurredAt":1})",
    };
    for (const char* json : bad)
        EXPECT_THROW(WellnessLedgerEvent::fromJSON(*parseJson(json)), JsonDecodingError) << json;
    const auto event = WellnessLedgerEvent::fromJSON(*parseJson(
        R"({"id":"11111111-2222-4333-8444-555555555555","kind":"lockAway","occurredAt":2,"durationSeconds":null})"));
    EXPECT_FALSE(event.durationSeconds);
}

TEST(WellnessPeriodSummary, WritesItsLines) {
    const struct {
        WellnessPeriodSummary summary;
        const char* compact;
        const char* detail;
        int64_t walkRate;
        const char* walkCompact;
        const char* walkDetail;
    } cases[] = {
        {{.label = "Today", .movementMinutes = 30},
         "No data yet",
         "Start with one eye rest or walk",
         0,
         "No walks yet",
         "When a walk is due, move to credit it"},
        {{.label = "Today", .eyeRests = 2, .dismissedNudges = 1, .followedCount = 2, .opportunityCount = 3},
         "67% followed",
         "2 eye, 0 walk, 1 skipped",
         0,
         "No walks yet",
         "When a walk is due, move to credit it"},
        {{.label = "7 days", .eyeRests = 1, .dismissedNudges = 7, .followedCount = 1, .opportunityCount = 8},
         "13% followed",
         "1 eye, 0 walk, 7 skipped",
         0,
         "No walks yet",
         "When a walk is due, move to credit it"},
        {{.label = "Today", .eyeRests = 1, .followedCount = 1, .opportunityCount = 0},
         "0% followed",
         "1 eye, 0 walk, 0 skipped",
         0,
         "No walks yet",
         "When a walk is due, move to credit it"},
        {{.label = "Today",
          .movementCredits = 1,
          .skippedWalks = 1,
          .movementMinutes = 4,
          .followedCount = 1,
          .opportunityCount = 2},
         "50% followed",
         "0 eye, 1 walk, 1 skipped",
         50,
         "1 walk",
         "4 min \u00B7 50% followed \u00B7 1 skipped"},
        {{.label = "Today", .dismissedNudges = 2, .walkDismissed = 2, .opportunityCount = 2},
         "0% followed",
         "0 eye, 0 walk, 2 skipped",
         0,
         "0 walks",
         "0% followed \u00B7 2 skipped"},
        {{.label = "30 days",
          .movementCredits = 3,
          .movementMinutes = 5,
          .followedCount = 3,
          .opportunityCount = 3},
         "100% followed",
         "0 eye, 3 walk, 0 skipped",
         100,
         "3 walks",
         "5 min \u00B7 100% followed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.summary.compactLine(), c.compact);
        EXPECT_EQ(c.summary.detailLine(), c.detail);
        EXPECT_EQ(c.summary.walkFollowRate(), c.walkRate);
        EXPECT_EQ(c.summary.walkCompactLine(), c.walkCompact);
        EXPECT_EQ(c.summary.walkDetailLine(), c.walkDetail);
    }
}

TEST(ZorviDiscoveredDevice, IsEqualOnlyWhenEveryFieldIs) {
    const ZorviDiscoveredDevice a{"11111111-2222-4333-8444-555555555555", "Watch", -60, Date(5)};
    ZorviDiscoveredDevice b = a;
    EXPECT_EQ(a, b);
    b.rssi = -61;
    EXPECT_NE(a, b);
}

TEST(MonitorPhase, HasItsDisplayTexts) {
    EXPECT_EQ(rawValue(MonitorPhase::faceMissing), "Face Missing");
    EXPECT_EQ(rawValue(MonitorPhase::blocked), "Blocked");
}
