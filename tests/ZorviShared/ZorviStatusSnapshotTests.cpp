#include "Foundation/Iso8601.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const Date nineThirty = *parseIso8601Strict("2026-01-05T09:30:00Z");

ZorviStatusSnapshot fullSnapshot() {
    ZorviStatusSnapshot s;
    s.schema = "zorvi.remote.v1";
    s.app = "Zorvi";
    s.event = "heartbeat";
    s.deviceID = "DEVICE-1";
    s.deviceName = "Varek's Mac";
    s.seenAt = nineThirty;
    s.status = ZorviStatus::locked;
    s.reason = "Mac locked.";
    s.source = "Zorvi";
    s.confidence = 45;
    s.facePresent = false;
    s.companionPresent = true;
    s.inputIdleSeconds = 12.5;
    s.stale = false;
    s.ageSeconds = 0;
    s.message = "Mac locked.";
    return s;
}

} // namespace

TEST(ZorviStatus, RawValuesDisplayNamesAndOrder) {
    const auto cases = allCases<ZorviStatus>();
    ASSERT_EQ(cases.size(), 4u);
    const std::pair<std::string_view, std::string_view> expected[] = {
        {"locked", "Locked"}, {"unlocked", "Unlocked"}, {"locking", "Locking"}, {"unknown", "Unknown"}};
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rawValue(cases[i]), expected[i].first);
        EXPECT_EQ(displayName(cases[i]), expected[i].second);
        EXPECT_EQ(enumFromRawValue<ZorviStatus>(expected[i].first), cases[i]);
    }
    EXPECT_FALSE(enumFromRawValue<ZorviStatus>("Locked")); // case matters
}

TEST(ZorviJSONEncoding, WritesPresentFieldsInOrderAndLeavesAbsentOnesOut) {
    using enum ZorviJSON::Form;
    struct Case {
        const char* name;
        ZorviStatusSnapshot snapshot;
        const char* json;
        ZorviJSON::Form form = stored;
    };
    ZorviStatusSnapshot staleFalse;
    staleFalse.stale = false;
    ZorviStatusSnapshot fractional;
    fractional.seenAt = nineThirty.addingTimeInterval(0.75);
    ZorviStatusSnapshot withDeskHealth = fullSnapshot();
    withDeskHealth.deskHealthScore = 72;
    withDeskHealth.deskHealthBand = "steady";
    withDeskHealth.deskHealthStreak = 3;
    withDeskHealth.deskHealth7 = 70;
    withDeskHealth.deskHealth30 = 65;
    withDeskHealth.deskHealthTrend = "up";
    withDeskHealth.deskHealthHistory = std::vector<int>{50, -1};
    withDeskHealth.recoveryHrvMs = 42.5;
    withDeskHealth.recoveryRestingHeartRate = 58;
    withDeskHealth.recoveryBand = "strong";
    const char* everyStoredField =
        R"({"schema":"zorvi.remote.v1","app":"Zorvi","event":"heartbeat","device_id":"DEVICE-1",)"
        R"("device_name":"Varek's Mac","seen_at":"2026-01-05T09:30:00Z","status":"locked","reason":"Mac locked.",)"
        R"("source":"Zorvi","confidence":45,"face_present":false,"companion_present":true,)"
        R"("input_idle_seconds":12.5,"stale":false,"age_seconds":0,"message":"Mac locked."})";
    const Case cases[] = {
        {"every field absent", {}, "{}"},
        {"a false stale flag is written", staleFalse, R"({"stale":false})"},
        {"fractions of a second are dropped", fractional, R"({"seen_at":"2026-01-05T09:30:00Z"})"},
        {"every field", fullSnapshot(), everyStoredField},
        {"the stored form leaves the relay's fields out", withDeskHealth, everyStoredField},
        {"the relay's form writes the seven always",
         {},
         R"({"status":"unknown","reason":"","source":"","confidence":0,"face_present":false,)"
         R"("companion_present":false,"input_idle_seconds":0.0})",
         relay},
        {"the relay's form: the seven, desk health and recovery", withDeskHealth,
         R"({"status":"locked","reason":"Mac locked.","source":"Zorvi","confidence":45,"face_present":false,)"
         R"("companion_present":true,"input_idle_seconds":12.5,"desk_health_score":72,"desk_health_band":"steady",)"
         R"("desk_health_streak":3,"desk_health_7":70,"desk_health_30":65,"desk_health_trend":"up",)"
         R"("desk_health_history":[50,-1],"recovery_hrv_ms":42.5,"recovery_resting_hr":58.0,)"
         R"("recovery_band":"strong"})",
         relay},
    };
    for (const auto& c : cases)
        EXPECT_EQ(jsonText(ZorviJSON::encode(c.snapshot, c.form)), c.json) << c.name;
}

TEST(ZorviJSONEncoding, ANonFiniteIdleTimeFailsTheEncoding) {
    for (double idle : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        ZorviStatusSnapshot snapshot = fullSnapshot();
        snapshot.inputIdleSeconds = idle;
        EXPECT_THROW(ZorviJSON::encodeText(snapshot), JsonEncodingError) << idle;
    }
}

TEST(ZorviJSONDecoding, ReadsWhatItCanAndIgnoresUnknownKeys) {
    struct Case {
        const char* json;
        ZorviStatusSnapshot expected;
    };
    ZorviStatusSnapshot nullStatus;
    nullStatus.event = "locked";
    ZorviStatusSnapshot numbers;
    numbers.confidence = 45;
    numbers.inputIdleSeconds = 3.0;
    const Case cases[] = {
        {"{}", {}},
        {R"({"status":null,"event":"locked"})", nullStatus},
        {R"({"later_field":[1,2],"confidence":45.0,"input_idle_seconds":3})", numbers},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZorviJSON::decodeText(c.json), c.expected) << c.json;
}

TEST(ZorviJSONDecoding, AcceptsTheDateFormsWithAndWithoutFractionOrOffset) {
    const std::pair<const char*, Date> cases[] = {
        {"2026-01-05T09:30:00Z", nineThirty},
        {"2026-01-05T09:30:00.250Z", nineThirty.addingTimeInterval(0.25)},
        {"2026-01-05T10:30:00+01:00", nineThirty},
    };
    for (const auto& [text, date] : cases)
        EXPECT_EQ(ZorviJSON::decodeText(std::string(R"({"seen_at":")") + text + "\"}").seenAt, date) << text;
}

TEST(ZorviJSONDecoding, AnyBadFieldFailsTheWholeRecord) {
    struct Case {
        const char* json;
        const char* why;
    };
    const Case dataErrors[] = {
        {R"({"seen_at":"2026-01-05"})", "Invalid ISO8601 date"},
        {R"({"seen_at":"2026-01-05 09:30:00Z"})", "Invalid ISO8601 date"},
        {"not json", nullptr},
        {"", nullptr},
        {"[1,2]", nullptr},
        {R"("text")", nullptr},
    };
    for (const auto& c : dataErrors) {
        try {
            ZorviJSON::decodeText(c.json);
            ADD_FAILURE() << c.json << " decoded";
        } catch (const ZorviDataCorruptedError& error) {
            if (c.why) {
                EXPECT_STREQ(error.what(), c.why) << c.json;
                EXPECT_EQ(error.codingPath, "seen_at");
            }
        }
    }
    const char* typeErrors[] = {
        R"({"seen_at":1700000000})",     R"({"status":"Locked"})",         R"({"status":"paused"})",
        R"({"confidence":"45"})",        R"({"confidence":4.5})",          R"({"face_present":1})",
        R"({"input_idle_seconds":"3"})", R"({"device_name":5})",           R"({"stale":"false"})",
        R"({"age_seconds":true})",       R"({"message":["Mac locked."]})",
    };
    for (const char* json : typeErrors)
        EXPECT_THROW(ZorviJSON::decodeText(json), JsonDecodingError) << json;
}

TEST(ZorviJSONDecoding, TheRelaysFormNeedsTheSevenReportKeys) {
    const std::string required = R"("status":"locked","reason":"r","source":"s","confidence":80,)"
                                 R"("face_present":true,"companion_present":false,"input_idle_seconds":3)";
    const struct {
        const char* name;
        std::string text;
        bool decodes;
    } cases[] = {
        {"required keys only", "{" + required + "}", true},
        {"null optionals and unknown keys", "{" + required + R"(,"recovery_band":null,"app":"Zorvi"})", true},
        {"status in capitals", "{" + std::string(R"("status":"LOCKED")") + required.substr(17) + "}", false},
        {"no source",
         R"({"status":"locked","reason":"r","confidence":80,"face_present":true,)"
         R"("companion_present":false,"input_idle_seconds":3})",
         false},
        {"fractional confidence", "{" + required + R"(,"confidence":80.5})", false},
        {"history with a null day", "{" + required + R"(,"desk_health_history":[50,null]})", false},
        {"not an object", "[]", false},
    };
    for (const auto& c : cases) {
        const auto json = parseJson(c.text);
        ASSERT_TRUE(json) << c.name;
        EXPECT_EQ(ZorviJSON::decodeRelayRecord(*json).has_value(), c.decodes) << c.name;
    }
    const auto figures = ZorviJSON::decodeRelayRecord(
        *parseJson("{" + required + R"(,"recovery_hrv_ms":42.5,"recovery_band":null})"));
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->recoveryHrvMs, 42.5);
    EXPECT_FALSE(figures->recoveryRestingHeartRate);
    EXPECT_FALSE(figures->recoveryBand);
}

TEST(ZorviJSONDecoding, AWholeSecondRecordSurvivesARoundTripAndAFractionalOneDoesNot) {
    const ZorviStatusSnapshot whole = fullSnapshot();
    EXPECT_EQ(ZorviJSON::decodeText(ZorviJSON::encodeText(whole)), whole);
    ZorviStatusSnapshot fractional = whole;
    fractional.seenAt = nineThirty.addingTimeInterval(0.5);
    EXPECT_EQ(ZorviJSON::decodeText(ZorviJSON::encodeText(fractional)).seenAt, nineThirty);
}

TEST(ZorviStatusSnapshot, DerivedStatusAndTexts) {
    struct Case {
        const char* name;
        ZorviStatusSnapshot snapshot;
        ZorviStatus resolved;
        const char* statusLine;
        const char* detailLine;
    };
    const auto make = [](std::optional<ZorviStatus> status, std::optional<bool> stale,
                         std::optional<int64_t> age, std::optional<std::string> reason,
                         std::optional<std::string> message) {
        ZorviStatusSnapshot s;
        s.status = status;
        s.stale = stale;
        s.ageSeconds = age;
        s.reason = std::move(reason);
        s.message = std::move(message);
        return s;
    };
    using S = ZorviStatus;
    const Case cases[] = {
        {"empty", {}, S::unknown, "Unknown", "Waiting for Zorvi status."},
        {"stale locked, 125 s", make(S::locked, true, 125, "R", {}), S::unknown, "Status stale",
         "Computer status is 2m old. Refresh Zorvi before trusting it."},
        {"stale without an age", make(S::locked, true, {}, {}, {}), S::unknown, "Status stale",
         "Computer status is stale. Refresh Zorvi before trusting it."},
        {"empty reason gives the message", make(S::unlocked, false, {}, "", "Mac locked."), S::unlocked,
         "Unlocked", "Mac locked."},
        {"a blank reason is a reason", make(S::locking, {}, {}, " ", "Mac locked."), S::locking, "Locking",
         " "},
        {"empty reason and message", make(S::unknown, false, {}, "", ""), S::unknown, "Unknown",
         "Waiting for Zorvi status."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.snapshot.resolvedStatus(), c.resolved) << c.name;
        EXPECT_EQ(c.snapshot.statusLine(), c.statusLine) << c.name;
        EXPECT_EQ(c.snapshot.detailLine(), c.detailLine) << c.name;
    }
}

TEST(ZorviStatusSnapshot, LocalFreshnessAgesAndMarksStaleButNeverFresh) {
    struct Case {
        const char* name;
        std::optional<bool> storedStale;
        std::optional<double> secondsBeforeNow; // absent: no receipt time
        std::optional<int64_t> age;
        std::optional<bool> stale;
    };
    const Case cases[] = {
        {"150.9 s is not stale", std::nullopt, 150.9, 150, std::nullopt},
        {"150.9 s keeps a false flag", false, 150.9, 150, false},
        {"151 s is stale", false, 151, 151, true},
        {"a receipt in the future is 0 s old", false, -30, 0, false},
        {"a fresh receipt leaves a stale record stale", true, 1, 1, true},
        {"no receipt: unchanged", false, std::nullopt, 7, false},
        {"a receipt that is not a number counts as ancient", false, std::nan(""), INT64_MAX, true},
    };
    const Date now(800'000'000);
    for (const auto& c : cases) {
        ZorviStatusSnapshot snapshot;
        snapshot.stale = c.storedStale;
        snapshot.ageSeconds = 7;
        std::optional<Date> receivedAt;
        if (c.secondsBeforeNow)
            receivedAt = now.addingTimeInterval(-*c.secondsBeforeNow);
        const auto aged = snapshot.withLocalFreshness(receivedAt, now, ZorviStatusFreshness::localStaleAfter);
        EXPECT_EQ(aged.ageSeconds, c.age) << c.name;
        EXPECT_EQ(aged.stale, c.stale) << c.name;
        EXPECT_EQ(snapshot.ageSeconds, 7) << c.name; // the original is untouched
    }
}

TEST(ZorviStatusFreshness, StaleSentencesAndAges) {
    const std::pair<std::optional<int64_t>, const char*> sentences[] = {
        {std::nullopt, "Computer status is stale. Refresh Zorvi before trusting it."},
        {0, "Computer status is 0s old. Refresh Zorvi before trusting it."},
        {59, "Computer status is 59s old. Refresh Zorvi before trusting it."},
        {60, "Computer status is 1m old. Refresh Zorvi before trusting it."},
        {119, "Computer status is 1m old. Refresh Zorvi before trusting it."},
        {3599, "Computer status is 59m old. Refresh Zorvi before trusting it."},
        {3600, "Computer status is 1h old. Refresh Zorvi before trusting it."},
        {7199, "Computer status is 1h old. Refresh Zorvi before trusting it."},
        {604800, "Computer status is 168h old. Refresh Zorvi before trusting it."},
        {-5, "Computer status is -5s old. Refresh Zorvi before trusting it."},
    };
    for (const auto& [age, sentence] : sentences)
        EXPECT_EQ(ZorviStatusFreshness::staleDetail(age), sentence);

    const Date now(800'000'000);
    EXPECT_EQ(ZorviStatusFreshness::ageSeconds(std::nullopt, now), std::nullopt);
    EXPECT_EQ(ZorviStatusFreshness::ageSeconds(now.addingTimeInterval(-20.99), now), 20);
    EXPECT_EQ(ZorviStatusFreshness::ageSeconds(now.addingTimeInterval(10), now), 0);
    EXPECT_EQ(ZorviStatusFreshness::ageSeconds(Date(-1e300), now), INT64_MAX);
}
