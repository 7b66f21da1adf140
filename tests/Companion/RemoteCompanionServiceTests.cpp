// The relay client's rules that need no relay: URLs, the signed text, command freshness, timer periods
// and the status body.
#include "Foundation/Iso8601.h"
#include "Vigilor/Companion/RemoteCompanionService.h"

#include <gtest/gtest.h>

namespace {

using Service = RemoteCompanionService;

std::string iso(Date date) {
    return iso8601String(date);
}

} // namespace

TEST(RelayRules, ChecksURLsAndFillsAnEmptyPath) {
    const struct {
        const char* text;
        std::optional<std::string_view> fallback;
        std::optional<std::string> url;
    } cases[] = {
        {"  https://r.example/api/mac \n", "/status", "https://r.example/api/mac"},
        {"HTTPS://r.example", "/status", "HTTPS://r.example/status"},
        {"http://r.example/", "/ack", "http://r.example/ack"},
        {"http://r.example:8080?x=1", "/status", "http://r.example:8080/status?x=1"},
        {"http://r.example/", std::nullopt, "http://r.example/"},
        {"ftp://r.example/status", std::nullopt, std::nullopt},
        {"r.example/status", std::nullopt, std::nullopt},
        {" \n", std::nullopt, std::nullopt},
        {"https://r.example/a b", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Service::validURL(c.text, c.fallback), c.url) << c.text;
}

TEST(RelayRules, AddsOnlyMissingQueryItems) {
    const std::vector<Service::QueryItem> items = {{"device_id", "D 1"}, {"wait", "7"}};
    const struct {
        const char* url;
        const char* expected;
    } cases[] = {
        {"https://r/poll", "https://r/poll?device_id=D%201&wait=7"},
        {"https://r/poll?wait=20", "https://r/poll?wait=20&device_id=D%201"},
        {"https://r/poll?", "https://r/poll?device_id=D%201&wait=7"},
        {"https://r/poll#top", "https://r/poll?device_id=D%201&wait=7#top"},
        {"https://r/poll?device_id=me&wait=1", "https://r/poll?device_id=me&wait=1"},
    };
    for (const auto& c : cases) {
        std::string url = c.url;
        Service::appendMissing(url, items);
        EXPECT_EQ(url, c.expected) << c.url;
    }
}

TEST(RelayRules, SignsTheSixLineText) {
    const struct {
        const char* url;
        const char* path;
    } paths[] = {
        {"http://r.example", "/"},
        {"http://r.example/", "/"},
        {"http://r.example/poll?device_id=x&wait=7", "/poll"},
        {"http://r.example/api/status/", "/api/status"},
        {"http://r.example/a%20b", "/a b"},
    };
    for (const auto& c : paths)
        EXPECT_EQ(Service::signedPath(c.url), c.path) << c.url;
    EXPECT_EQ(Service::canonicalRequestText("GET", "/poll", "2026-03-01T08:30:00Z", "NONCE", "DEVICE", ""),
              "GET\n/poll\n2026-03-01T08:30:00Z\nNONCE\nDEVICE\n"
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const RemoteLockCommand command{"c1", "lock", "2026-03-01T08:30:00Z", std::nullopt, "sig"};
    EXPECT_EQ(Service::commandCanonicalText(command, "DEV"), "c1\nlock\n2026-03-01T08:30:00Z\n\nDEV");
}

TEST(RelayRules, JudgesACommandsAge) {
    const Date now(800'000'000);
    const auto at = [&](double offset) { return iso(now.addingTimeInterval(offset)); };
    const struct {
        const char* name;
        std::optional<std::string> issuedAt, expiresAt;
        double ttl;
        bool fresh;
    } cases[] = {
        {"expiry wins over a recent issue", at(-1), at(-1), 60, false},
        {"expiry ahead", at(-500), at(1), 60, true},
        {"fractional expiry counts as absent, 70 s old", at(-70), "2030-01-01T00:00:00.5Z", 60, false},
        {"fractional expiry counts as absent, 60 s old", at(-60), "2030-01-01T00:00:00.5Z", 60, true},
        {"limit is inclusive", at(-65), std::nullopt, 60, true},
        {"short TTL is raised to 10, plus 5", at(-15), std::nullopt, 3, true},
        {"beyond the raised limit", at(-16), std::nullopt, 3, false},
        {"issued in the future", at(30), std::nullopt, 60, true},
        {"no dates", std::nullopt, std::nullopt, 60, false},
        {"unparseable dates", "yesterday", "soon", 60, false},
    };
    for (const auto& c : cases) {
        const RemoteLockCommand command{"id", "lock", c.issuedAt, c.expiresAt, "sig"};
        EXPECT_EQ(Service::commandIsFresh(command, now, c.ttl), c.fresh) << c.name;
    }
}

TEST(RelayRules, ClampsTheTimerPeriods) {
    const struct {
        double configured, heartbeat;
    } heartbeats[] = {{5, 15}, {10, 15}, {20, 20}, {45, 30}, {60, 30}, {std::nan(""), 15}};
    for (const auto& c : heartbeats) {
        VigilorConfig config;
        config.remoteHeartbeatInterval = c.configured;
        EXPECT_EQ(Service::heartbeatInterval(config), c.heartbeat) << c.configured;
    }
    const struct {
        double configured, poll;
    } polls[] = {{0, 0.15}, {0.15, 0.15}, {0.5, 0.5}, {-1, 0.15}};
    for (const auto& c : polls) {
        VigilorConfig config;
        config.remoteCommandPollInterval = c.configured;
        EXPECT_EQ(Service::commandPollInterval(config), c.poll) << c.configured;
    }
}

// The phone and the relay know the events by these names alone.
TEST(RelayRules, NamesEachEventAsTheProtocolDoes) {
    const std::pair<RelayEvent, const char*> cases[] = {
        {RelayEvent::heartbeat, "heartbeat"},
        {RelayEvent::lockInvoked, "lock_invoked"},
        {RelayEvent::remoteLockRequested, "remote_lock_requested"},
        {RelayEvent::locked, "locked"},
        {RelayEvent::unlocked, "unlocked"},
        {RelayEvent::displaySlept, "display_slept"},
        {RelayEvent::displayWoke, "display_woke"},
        {RelayEvent::remoteLockFailed, "remote_lock_failed"},
        {RelayEvent::lockAttemptUnconfirmed, "lock_attempt_unconfirmed"},
    };
    ASSERT_EQ(std::size(cases), allCases<RelayEvent>().size());
    auto service = Service::create(VigilorConfig(), std::make_shared<HttpClient>());
    for (const auto& [event, name] : cases)
        EXPECT_EQ(service->statusPayload(ZorviStatusSnapshot(), event, Date(0)).at("event"), name) << name;
}

TEST(RelayRules, WritesTheStatusBody) {
    ZorviStatusSnapshot snapshot;
    snapshot.status = ZorviStatus::locking;
    snapshot.reason = "Away 1/2";
    snapshot.deskHealthHistory = std::vector<int>{};
    auto service = Service::create(VigilorConfig(), std::make_shared<HttpClient>(), SystemClock::shared(), {},
                                   "Desk");
    const Json payload = service->statusPayload(snapshot, RelayEvent::heartbeat, Date(800'000'000));
    EXPECT_EQ(payload.size(), 14u); // six base keys, seven required, the empty history
    EXPECT_FALSE(payload.contains("desk_health_score"));
    EXPECT_EQ(payload.at("desk_health_history"), Json::array());
    const std::string text = Service::bodyText(payload);
    EXPECT_EQ(text.substr(0, 19), R"({"app":"Zorvi","com)") << text; // sorted keys
    EXPECT_NE(text.find(R"("reason":"Away 1\/2")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("seen_at":"2026-05-09T)"), std::string::npos) << text;
}
