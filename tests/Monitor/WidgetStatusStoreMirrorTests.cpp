#include "Foundation/ChildProcess.h"
#include "Support/MonitorHarness.h"
#include "Vigilor/Monitor/WidgetStatusStoreMirror.h"
#include "ZorviShared/ZorviSharedStore.h"
#include "ZorviWidget/ZorviWidget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

ZorviStatusSnapshot relaySnapshot(double idle = 12.5) {
    ZorviStatusSnapshot s;
    s.status = ZorviStatus::locked;
    s.reason = "R";
    s.source = "Zorvi";
    s.confidence = 45;
    s.facePresent = false;
    s.companionPresent = true;
    s.inputIdleSeconds = idle;
    return s;
}

struct WidgetMirror : ::testing::Test {
    TemporaryHome home;
    WidgetMirrorFacts facts{"DEVICE-1", false};
    WidgetStatusStoreMirror mirror{[this] { return facts; }, [] { return std::string("Desk"); }};
    std::vector<std::string> reloads;
    DefaultsStore store = ZorviSharedStore::store();

    WidgetMirror() {
        mirror.reloadTimelines = [this](const std::string& kind) { reloads.push_back(kind); };
    }
    ZorviStatusSnapshot stored() const {
        return ZorviJSON::decodeText(store.value(ZorviSharedStore::lastStatus)->get<std::string>());
    }
};

} // namespace

TEST(WidgetMirrorKey, JoinsTheEventAndSignalsWithTheIdleTimeRounded) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "heartbeat|locked|R|Zorvi|45|false|true|13"},
        {12.49, "heartbeat|locked|R|Zorvi|45|false|true|12"},
        {0.5, "heartbeat|locked|R|Zorvi|45|false|true|1"},
        {2.5, "heartbeat|locked|R|Zorvi|45|false|true|3"},
        {0, "heartbeat|locked|R|Zorvi|45|false|true|0"},
    };
    for (const auto& [idle, key] : cases)
        EXPECT_EQ(WidgetStatusStoreMirror::mirrorKey(relaySnapshot(idle), RelayEvent::heartbeat), key)
            << idle;
    ZorviStatusSnapshot other = relaySnapshot();
    other.status = ZorviStatus::locking;
    other.reason = "";
    other.facePresent = true;
    EXPECT_EQ(WidgetStatusStoreMirror::mirrorKey(other, RelayEvent::lockInvoked),
              "lock_invoked|locking||Zorvi|45|true|true|13");
}

TEST(WidgetMirrorSnapshot, SetsEverySixteenFields) {
    // The relay's record with the writer's and the freshness fields set.
    ZorviStatusSnapshot expected = relaySnapshot();
    expected.schema = "zorvi.remote.v1";
    expected.app = "Zorvi";
    expected.event = "heartbeat";
    expected.deviceID = "DEVICE-1";
    expected.deviceName = "Desk";
    expected.seenAt = Date(800'000'000);
    expected.stale = false;
    expected.ageSeconds = 0;
    expected.message = "Computer locked.";
    EXPECT_EQ(WidgetStatusStoreMirror::widgetSnapshot(relaySnapshot(), RelayEvent::heartbeat,
                                                      Date(800'000'000), {"DEVICE-1", true}, "Desk"),
              expected);
    const auto unlocked = WidgetStatusStoreMirror::widgetSnapshot(relaySnapshot(), RelayEvent::heartbeat,
                                                                  Date(800'000'000), {"DEVICE-1", false}, "");
    EXPECT_FALSE(unlocked.message);
    EXPECT_EQ(unlocked.deviceName, "Computer");
}

TEST_F(WidgetMirror, WritesTheSnapshotTheTimeTheWordAndTheKeyThenAsksForAReload) {
    mirror.mirror(relaySnapshot(), RelayEvent::heartbeat, Date(800'000'000), true);
    EXPECT_EQ(reloads, std::vector<std::string>{"ZorviMacWidget"});
    EXPECT_EQ(WidgetStatusStoreMirror::widgetKind, ZorviStatusWidget().kind);
    const auto loaded = ZorviSharedStore::loadStatus(store, Date(800'000'010));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->receivedAt, Date(800'000'000));
    EXPECT_EQ(loaded->snapshot.ageSeconds, 10);
    EXPECT_EQ(loaded->snapshot.deviceName, "Desk");
    EXPECT_EQ(*store.value(ZorviSharedStore::lastStatusValue), "locked");
    EXPECT_EQ(*store.value(ZorviSharedStore::lastStatusMirrorKey),
              "heartbeat|locked|R|Zorvi|45|false|true|13");
}

TEST_F(WidgetMirror, AnUnforcedRepeatOfTheSameKeyWritesNothing) {
    struct Step {
        const char* name;
        RelayEvent event;
        double idle;
        bool force;
        bool writes;
    };
    const Step steps[] = {
        {"first write", RelayEvent::heartbeat, 12.5, false, true},
        {"same key", RelayEvent::heartbeat, 12.5, false, false},
        {"idle moved less than half a second", RelayEvent::heartbeat, 12.9, false, false},
        {"forced", RelayEvent::heartbeat, 12.5, true, true},
        {"another event", RelayEvent::locked, 12.5, false, true},
        {"idle rounds differently", RelayEvent::locked, 13.6, false, true},
    };
    double at = 800'000'000;
    for (const auto& step : steps) {
        const size_t reloadsBefore = reloads.size();
        at += 1;
        mirror.mirror(relaySnapshot(step.idle), step.event, Date(at), step.force);
        EXPECT_EQ(reloads.size() - reloadsBefore, step.writes ? 1u : 0u) << step.name;
        EXPECT_EQ(stored().seenAt == Date(at), step.writes) << step.name;
    }
}

TEST_F(WidgetMirror, AHeartbeatWhileLockedSaysSo) {
    facts.screenLocked = true;
    mirror.mirror(relaySnapshot(), RelayEvent::heartbeat, Date(800'000'000), true);
    EXPECT_EQ(stored().message, "Computer locked.");
    facts.screenLocked = false;
    mirror.mirror(relaySnapshot(), RelayEvent::heartbeat, Date(800'000'001), true);
    EXPECT_FALSE(stored().message);
}

TEST_F(WidgetMirror, AnIdleTimeThatCannotBeWrittenLeavesTheLastStatusButStillAsksForAReload) {
    mirror.mirror(relaySnapshot(), RelayEvent::heartbeat, Date(800'000'000), true);
    mirror.mirror(relaySnapshot(std::nan("")), RelayEvent::locked, Date(800'000'001), true);
    EXPECT_EQ(stored().event, "heartbeat");
    EXPECT_EQ(reloads.size(), 2u);
}

// The whole road: the monitor learns that the session locked, and the widget, in a process of its own,
// reads "Locked" from the shared store.
TEST(WidgetMirrorEndToEnd, ALockedSessionReachesTheWidgetProcess) {
    MonitorHarness h;
    h.clock.set(SystemClock::shared().now()); // the widget process ages the status by the real clock
    std::weak_ptr<VigilorMonitor> weakMonitor;
    auto mirror = std::make_shared<WidgetStatusStoreMirror>(
        [&weakMonitor] { return WidgetStatusStoreMirror::factsOf(weakMonitor.lock().get()); });
    MonitorServices services = h.services();
    services.widgetStatusMirror = mirror;
    auto monitor = VigilorMonitor::create(std::move(services));
    weakMonitor = monitor;
    h.runLoop.loop().runUntilIdle();

    h.session->lockInfo = SessionLockInfo{true, h.clock.now()};
    h.session->handlers.sessionDidResignActive();
    DefaultsStore::synchronizeAll(); // what the store's queue writes within a quarter of a second

    const auto result = ChildProcess::run(ZORVI_WIDGET_EXECUTABLE, {"--print-entry"}, 10);
    ASSERT_TRUE(result.succeeded()) << result.launchError << result.standardError;
    EXPECT_THAT(result.standardOutput, HasSubstr("status: Locked\n"));
    const auto stored = ZorviSharedStore::loadStatus(ZorviSharedStore::store(), h.clock.now());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->snapshot.event, "locked");
    EXPECT_EQ(stored->snapshot.message, "Computer locked.");
    EXPECT_EQ(stored->snapshot.deviceID, monitor->config().remoteDeviceID);
}

TEST(WidgetProcess, WithoutADisplayItSaysSoAndEnds) {
    TemporaryHome home;
    unsetenv("DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    const auto result = ChildProcess::run(ZORVI_WIDGET_EXECUTABLE, {"--family", "medium"}, 10);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_THAT(result.standardError, HasSubstr("no X display could be opened"));
}

// Its command line: help and the version on standard output; a wrong one on standard error, with 2.
TEST(WidgetProcess, AnswersItsCommandLine) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* output; // a part of it
        const char* error;
    } cases[] = {
        {{"--help"}, 0, "usage: zorvi-widget [options]\n", ""},
        {{"--version"}, 0, "Zorvi widget ", ""},
        {{"--family", "huge"}, 2, "", "zorvi-widget: unknown family 'huge'\n"},
        {{"--family"}, 2, "", "zorvi-widget: option '--family' needs a value (small|medium|large)\n"},
        {{"--frobnicate"}, 2, "", "zorvi-widget: unknown option '--frobnicate'\n"},
    };
    for (const auto& c : cases) {
        const auto result = ChildProcess::run(ZORVI_WIDGET_EXECUTABLE, c.arguments, 10);
        EXPECT_EQ(result.exitStatus, c.status) << c.arguments[0];
        EXPECT_THAT(result.standardOutput, HasSubstr(c.output)) << c.arguments[0];
        EXPECT_THAT(result.standardError, HasSubstr(c.error)) << c.arguments[0];
    }
}
