// The relay client against a relay on 127.0.0.1 that verifies every signature it receives.
#include "Fakes/ManualRunLoop.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/Iso8601.h"
#include "Support/LoopbackRelay.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Companion/RemoteCompanionService.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using ::testing::HasSubstr;
using Fault = LoopbackRelay::Fault;

namespace {

constexpr const char* secret = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
constexpr const char* deviceID = "6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8";

struct RelayClient : ::testing::Test {
    TemporaryHome home; // the accepted commands are kept in the defaults
    ScopedVariable noProxy{"no_proxy", "127.0.0.1"};
    FakeClock clock{Date(800'000'000)};
    MainRunLoopScope runLoop{clock};
    LoopbackRelay relay{secret, deviceID};
    std::shared_ptr<RemoteCompanionService> client;
    std::vector<std::string> events;         // on the main queue
    std::vector<std::string> handedOver;     // on the main queue
    std::atomic<int> heartbeatsDue{0};       // from any thread

    void SetUp() override { ASSERT_TRUE(relay.isRunning()) << relay.failure(); }
    void TearDown() override {
        for (const auto& text : events)
            EXPECT_THAT(text, ::testing::Not(HasSubstr(secret)));
        for (const auto& each : relay.received()) {
            EXPECT_TRUE(each.signatureValid) << each.request.method << " " << each.request.target;
            EXPECT_THAT(each.request.body, ::testing::Not(HasSubstr(secret)));
        }
    }

    VigilorConfig config(bool commands = true) const {
        VigilorConfig c;
        c.remoteCompanionEnabled = true;
        c.remoteStatusEndpointURL = relay.url("");
        c.remoteCommandEndpointURL = commands ? relay.url("/commands") : "";
        c.remoteSharedSecret = secret;
        c.remoteDeviceID = deviceID;
        return c;
    }

    void start(const VigilorConfig& c, RelayRequestLimits limits = {}) {
        client = RemoteCompanionService::create(c, std::make_shared<HttpClient>(), clock, limits, "Desk");
        client->onEvent = [this](const std::string& text) { events.push_back(text); };
        client->onHeartbeatDue = [this] { ++heartbeatsDue; };
        client->onRemoteLockRequested = [this](const RemoteLockCommand& c) { handedOver.push_back(c.id); };
        client->restart();
    }

    // Runs the main queue until `condition` holds, under a deadline.
    bool eventually(const std::function<bool()>& condition) {
        return relay.waitUntil(
            [&] {
                runLoop.loop().runUntilIdle();
                return condition();
            },
            std::chrono::seconds(10));
    }

    std::vector<std::string> acksOf(const std::string& id) const {
        std::vector<std::string> states;
        for (const Json& ack : relay.posted("/ack"))
            if (ack.at("command_id") == id)
                states.push_back(ack.at("command_state").get<std::string>() +
                                 (ack.contains("reason") ? "/" + ack.at("reason").get<std::string>() : ""));
        return states;
    }

    size_t count(const std::string& text) const { return size_t(std::count(events.begin(), events.end(), text)); }

    std::string at(double offset) const { return iso8601String(clock.now().addingTimeInterval(offset)); }
};

} // namespace

TEST_F(RelayClient, SignsEveryRequestAndLongPollsWithTheDevicesQuery) {
    start(config());
    ZorviStatusSnapshot snapshot;
    snapshot.reason = "At the desk";
    client->sendStatus(snapshot, RelayEvent::locked, true);
    std::optional<ZorviStatusSnapshot> fetched;
    relay.setRecovery({{"recovery_hrv_ms", 48.0}});
    const auto polled = [&] {
        const auto received = relay.received();
        return std::any_of(received.begin(), received.end(), [](auto& r) { return r.path == "/commands"; });
    };
    ASSERT_TRUE(eventually([&] { return relay.posted("/status").size() >= 1 && polled(); }));
    client->fetchRemoteStatus([&](auto record) { DispatchQueue::main().async([&, record] { fetched = record; }); });
    ASSERT_TRUE(eventually([&] { return fetched.has_value(); }));
    EXPECT_EQ(fetched->recoveryHrvMs, 48.0);

    const auto received = relay.received();
    const auto poll = std::find_if(received.begin(), received.end(), [](auto& r) { return r.path == "/commands"; });
    ASSERT_NE(poll, received.end());
    EXPECT_THAT(poll->request.target, HasSubstr("?device_id=" + std::string(deviceID) + "&wait=7"));
    EXPECT_EQ(poll->request.body, "");
    const Json status = relay.posted("/status").back();
    EXPECT_EQ(status.at("device_name"), "Desk");
    EXPECT_EQ(status.at("schema"), "zorvi.remote.v1");
    // The restart's heartbeat and the first poll's, both forced, before any snapshot was known.
    EXPECT_EQ(heartbeatsDue, 2);
}

TEST_F(RelayClient, AnswersEachCommandWithExactlyItsAcknowledgement) {
    start(config());
    Json forged = relay.signedCommand("forged", "lock", at(-1), std::nullopt);
    forged["signature"] = std::string(64, 'a');
    Json shouting = relay.signedCommand("upper", "lock", at(-1), std::nullopt);
    std::string upper = shouting.at("signature").get<std::string>();
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char ch) { return char(std::toupper(ch)); });
    shouting["signature"] = upper;
    Json otherComputer = relay.signedCommand("other-mac", "lock", at(-1), std::nullopt);
    LoopbackRelay stranger(secret, "00000000-0000-4000-8000-000000000000");
    otherComputer["signature"] =
        stranger.signedCommand("other-mac", "lock", at(-1), std::nullopt).at("signature");
    relay.deliverCommands({
        relay.signedCommand("good", "lock", at(-2), at(30)),
        forged,
        shouting,
        otherComputer,
        relay.signedCommand("stale", "lock", at(-70), std::nullopt),
        relay.signedCommand("expired", "lock", at(-5), at(-1)),
        relay.signedCommand("undated", "lock", std::nullopt, std::nullopt),
        relay.signedCommand("good", "Lock", at(-2), std::nullopt),
    });
    ASSERT_TRUE(eventually([&] { return relay.posted("/ack").size() >= 8; }));
    relay.deliver(jsonText(relay.signedCommand("good", "lock", at(-2), at(30)))); // a replay, on its own
    relay.deliver(jsonText(relay.signedCommand("single", "lock", at(-2), std::nullopt)));
    ASSERT_TRUE(eventually([&] { return handedOver.size() == 2 && relay.posted("/ack").size() == 9; }));

    // Accepted on the main queue, refused at once: the two may reach the relay in either order.
    EXPECT_THAT(acksOf("good"), UnorderedElementsAre("seen_by_mac", "rejected/unsupported action"));
    EXPECT_THAT(acksOf("forged"), ElementsAre("rejected/bad command signature"));
    EXPECT_THAT(acksOf("upper"), ElementsAre("rejected/bad command signature"));
    EXPECT_THAT(acksOf("other-mac"), ElementsAre("rejected/bad command signature"));
    EXPECT_THAT(acksOf("stale"), ElementsAre("expired/command expired"));
    EXPECT_THAT(acksOf("expired"), ElementsAre("expired/command expired"));
    EXPECT_THAT(acksOf("undated"), ElementsAre("expired/command expired"));
    EXPECT_THAT(acksOf("single"), ElementsAre("seen_by_mac"));
    EXPECT_THAT(handedOver, ElementsAre("good", "single"));
}

// Without a status URL commands are still carried out, but nothing is acknowledged.
TEST_F(RelayClient, RemembersTheNewestHundredAcceptedCommands) {
    VigilorConfig c = config();
    c.remoteStatusEndpointURL = "";
    start(c);
    for (int i = 1; i <= 101; ++i)
        client->handle(RemoteLockCommand::fromJSON(relay.signedCommand("c" + std::to_string(i), "lock", at(0),
                                                                       std::nullopt))
                           .value());
    EXPECT_EQ(client->seenCommandCount(), 100u);
    client->handle(*RemoteLockCommand::fromJSON(relay.signedCommand("c2", "lock", at(0), std::nullopt)));
    client->handle(*RemoteLockCommand::fromJSON(relay.signedCommand("c1", "lock", at(0), std::nullopt)));
    runLoop.loop().runUntilIdle();
    ASSERT_EQ(handedOver.size(), 102u); // c2 was a replay; only the oldest, c1, had made room
    EXPECT_EQ(handedOver.back(), "c1");
    EXPECT_TRUE(relay.posted("/ack").empty());
}

// An accepted command's identifier is kept until the command expires, across a restart of the process
// too: a command captured and delivered again after the next start is still a replay.
TEST_F(RelayClient, AnAcceptedCommandStaysAReplayAfterARestart) {
    VigilorConfig c = config();
    c.remoteStatusEndpointURL = "";
    const auto farFuture = *RemoteLockCommand::fromJSON(
        relay.signedCommand("far", "lock", at(-1), std::string("9999-12-31T23:59:59Z")));
    start(c);
    client->handle(farFuture);
    client->handle(*RemoteLockCommand::fromJSON(relay.signedCommand("soon", "lock", at(-1), at(30))));
    runLoop.loop().runUntilIdle();
    ASSERT_THAT(handedOver, ElementsAre("far", "soon"));
    client.reset();
    DefaultsStore::synchronizeAll();
    EXPECT_THAT(*AtomicFile::read(DefaultsStore::standard().file()),
                HasSubstr(R"({"id":"far","freshUntil":)"));

    clock.advance(60); // "soon" has expired since
    start(c);
    EXPECT_EQ(client->seenCommandCount(), 1u);
    client->handle(farFuture);
    runLoop.loop().runUntilIdle();
    EXPECT_THAT(handedOver, ElementsAre("far", "soon"));
}

// One answer of thousands of commands to refuse costs a few acknowledgements, one after another, and
// one line; the next answer's command is carried out.
TEST_F(RelayClient, AFloodOfCommandsInOneAnswerIsBounded) {
    start(config());
    relay.deliverCommands(std::vector<Json>(2000, Json{{"id", "junk"}, {"action", "wipe"}}));
    const size_t most = RemoteCompanionService::mostCommandsPerAnswer;
    ASSERT_TRUE(eventually([&] { return relay.posted("/ack").size() >= most; }));
    relay.deliverCommands({relay.signedCommand("real", "lock", at(-1), std::nullopt)});
    ASSERT_TRUE(eventually([&] { return acksOf("real").size() == 1 && handedOver.size() == 1; }));
    EXPECT_EQ(relay.posted("/ack").size(), most + 1);
    for (const auto& each : relay.received())
        EXPECT_FALSE(each.path == "/ack" && each.overtook) << "acknowledgements in flight together";
    EXPECT_EQ(count("Remote commands ignored: " + std::to_string(2000 - most) + " beyond the first " +
                    std::to_string(most) + " of one answer"),
              1u);
}

TEST_F(RelayClient, ReportsEachKindOfFailureOnceAndKeepsPolling) {
    const struct {
        Fault fault;
        const char* path;
        const char* event; // a prefix
    } cases[] = {
        {Fault::serverError, "/commands", "Remote command poll HTTP 500"},
        {Fault::redirectToFtp, "/commands", "Remote command poll HTTP 302"},
        {Fault::invalidJSON, "/commands", "Remote command ignored: invalid JSON"},
        {Fault::hugeBody, "/commands", "Remote command poll failed: The response is larger than 16384 bytes"},
        {Fault::tooSlow, "/commands", "Remote command poll failed: "},
        {Fault::serverError, "/status", "Remote status HTTP 500"},
    };
    RelayRequestLimits limits;
    limits.pollTimeout = limits.postTimeout = 0.25;
    limits.maxResponseBytes = 16 * 1024;
    relay.hugeBodyBytes = 64 * 1024;
    relay.slowDelay = std::chrono::milliseconds(600);
    relay.maxHold = std::chrono::milliseconds(50);
    start(config(), limits);
    const auto requestsOn = [&](const std::string& path, size_t from) {
        const auto received = relay.received();
        return size_t(std::count_if(received.begin() + long(from), received.end(),
                                    [&](auto& r) { return r.path == path; }));
    };
    const auto reported = [&](const std::string& prefix) {
        return std::count_if(events.begin(), events.end(), [&](auto& e) { return e.starts_with(prefix); });
    };
    for (const auto& c : cases) {
        events.clear();
        relay.inject(c.path, c.fault, 2);
        const bool polls = std::string(c.path) == "/commands";
        for (int i = 0; !polls && i < 2; ++i)
            client->sendStatus(ZorviStatusSnapshot(), RelayEvent::locked, true);
        // Two failures, reported once. Polling goes on: of two more polls the second shows that the
        // first has succeeded, which lets the next failure of the same kind be reported again.
        ASSERT_TRUE(eventually([&] { return reported(c.event) >= 1 && relay.faultsLeft(c.path) == 0; }))
            << c.event;
        const size_t after = relay.received().size();
        ASSERT_TRUE(!polls || eventually([&] { return requestsOn(c.path, after) >= 2; })) << c.event;
        EXPECT_EQ(reported(c.event), 1) << c.event;
    }
    relay.inject("/commands", Fault::emptyBody, 2);
    events.clear();
    const size_t before = relay.received().size();
    ASSERT_TRUE(eventually([&] { return requestsOn("/commands", before) >= 4; }));
    EXPECT_TRUE(events.empty()) << events.front();
}

TEST_F(RelayClient, SendsAHeartbeatOnlyWhenItSaysSomethingNew) {
    start(config(false));
    const size_t first = relay.posted("/status").size();
    ZorviStatusSnapshot snapshot;
    snapshot.reason = "Present";
    const struct {
        RelayEvent event;
        const char* reason;
        bool force;
        bool sent;
    } cases[] = {
        {RelayEvent::heartbeat, "Present", false, true}, {RelayEvent::heartbeat, "Present", false, false},
        {RelayEvent::heartbeat, "Away", false, true},    {RelayEvent::heartbeat, "Away", true, true},
        {RelayEvent::locked, "Away", false, true},       {RelayEvent::locked, "Away", false, true},
    };
    size_t expected = first;
    for (const auto& c : cases) {
        snapshot.reason = c.reason;
        client->sendStatus(snapshot, c.event, c.force);
        expected += c.sent;
    }
    ASSERT_TRUE(relay.waitUntil([&] { return relay.posted("/status").size() >= expected; }));
    EXPECT_FALSE(relay.waitUntil([&] { return relay.posted("/status").size() > expected; },
                                 std::chrono::milliseconds(100)));

    // The claim: an unforced heartbeat within the period is refused, one after it goes out.
    EXPECT_FALSE(client->claimHeartbeatRequest(false, clock.now().addingTimeInterval(20)));
    EXPECT_TRUE(client->claimHeartbeatRequest(false, clock.now().addingTimeInterval(31)));
}

TEST_F(RelayClient, SaysWhatItCouldNotStartAndStartsNothing) {
    const struct {
        bool enabled;
        const char* status;
        const char* command;
        std::vector<std::string> events;
    } cases[] = {
        {false, "http://127.0.0.1:1", "http://127.0.0.1:1", {"Remote companion disabled"}},
        {true, "ftp://127.0.0.1", "127.0.0.1/c",
         {"Remote status not started: invalid endpoint", "Remote command polling not started: invalid endpoint"}},
    };
    for (const auto& c : cases) {
        VigilorConfig settings = config();
        settings.remoteCompanionEnabled = c.enabled;
        settings.remoteStatusEndpointURL = c.status;
        settings.remoteCommandEndpointURL = c.command;
        events.clear();
        start(settings);
        EXPECT_EQ(events, c.events);
        EXPECT_FALSE(client->hasStatusTimer() || client->hasCommandTimer());
        client->sendStatus(ZorviStatusSnapshot(), RelayEvent::locked, true);
        bool fetchedNothing = false;
        client->fetchRemoteStatus([&](auto record) { fetchedNothing = !record; });
        EXPECT_TRUE(fetchedNothing);
    }
    EXPECT_TRUE(relay.received().empty());
}
