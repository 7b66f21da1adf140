#include "Foundation/Iso8601.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviShared/ZorviStatusSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const Date nineThirty = *parseIso8601Strict("2026-01-05T09:30:00Z");

ZorviStatusSnapshot fullSnapshot() {
    return {"zorvi.remote.v1",
            "Zorvi",
            "heartbeat",
            "DEVICE-1",
            "Varek's Mac",
            nineThirty,
            ZorviStatus::locked,
            "Mac locked.",
            "Zorvi",
            45,
            false,
            true,
            12.5,
            false,
            0,
            "Mac locked."};
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
    struct Case {
        const char* name;
        ZorviStatusSnapshot snapshot;
        const char* json;
    };
    ZorviStatusSnapshot staleFalse;
    staleFalse.stale = false;
    ZorviStatusSnapshot fractional;
    fractional.seenAt = nineThirty.addingTimeInterval(0.75);
    const Case cases[] = {
        {"every field absent", {}, "{}"},
        {"a false stale flag is written", staleFalse, R"({"stale":false})"},
        {"fractions of a second are dropped", fractional, R"({"seen_at":"2026-01-05T09:30:00Z"})"},
        {"every field", fullSnapshot(),
         R"({"schema":"zorvi.remote.v1","app":"Zorvi","event":"heartbeat","device_id":"DEVICE-1",)"
         R"("device_name":"Varek's Mac","seen_at":"2026-01-05T09:30:00Z","status":"locked","reason":"Mac locked.",)"
         R"("source":"Zorvi","confidence":45,"face_present":false,"companion_present":true,)"
         R"("input_idle_seconds":12.5,"stale":false,"age_seconds":0,"message":"Mac locked."})"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZorviJSON::encodeText(c.snapshot), c.json) << c.name;
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
