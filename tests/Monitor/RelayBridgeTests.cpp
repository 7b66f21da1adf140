#include "Support/DeskHealthSamples.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

struct Relay : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();

    void lockSession(std::optional<Date> at = std::nullopt) {
        h.session->lockInfo = SessionLockInfo{true, at};
    }
    void unlockSession() { h.session->lockInfo = SessionLockInfo{false, std::nullopt}; }
    std::string newestLockEvent() const { return monitor->log().lockEvents().front().text; }
    void enableLocking() {
        monitor->settings().updateConfig([](VigilorConfig& c) { c.screenLockingEnabled = true; });
    }
};

} // namespace

TEST_F(Relay, FollowsTheSessionsLockState) {
    h.session->reportLock(true, Date(799'999'000));
    EXPECT_TRUE(monitor->lockAttempt().locked());
    EXPECT_EQ(monitor->lockAttempt().lockedAt(), Date(799'999'000));
    EXPECT_EQ(monitor->relay().statusSnapshot("Zorvi").status, ZorviStatus::locked);
    h.session->reportLock(false);
    EXPECT_FALSE(monitor->lockAttempt().locked());
    EXPECT_FALSE(monitor->lockAttempt().lockedAt());

    // A lock time at or before 1970 is no lock time at all: when someone else's lock began is not known.
    h.session->reportLock(true, Date::fromUnixTime(0));
    EXPECT_EQ(monitor->lockAttempt().lockedAt(), std::nullopt);
}

TEST_F(Relay, AnUnconfirmedLockAttemptTimesOutAfterTenAndAHalfSeconds) {
    enableLocking();
    monitor->lockNow();
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(monitor->relay().statusSnapshot("Zorvi").status, ZorviStatus::locking);
    h.runLoop.loop().advance(10.4);
    EXPECT_TRUE(monitor->lockAttempt().awaiting());
    h.log.clear();
    h.runLoop.loop().advance(0.1);
    EXPECT_FALSE(monitor->lockAttempt().awaiting());
    EXPECT_EQ(monitor->relay().statusSnapshot("Zorvi").status, ZorviStatus::unlocked);
    EXPECT_EQ(newestLockEvent(), "Lock attempt unconfirmed; the session did not lock within 10s");
    EXPECT_EQ(h.log.count("relay.sendStatus lock_attempt_unconfirmed"), 1u);
    EXPECT_EQ(h.log.count("widget.mirror lock_attempt_unconfirmed"), 1u);
    EXPECT_EQ(h.widget->mirrored.back().snapshot.source, "Manual");
}

TEST_F(Relay, FillsTheStatusSnapshot) {
    showFace(*monitor);
    h.inputIdle->idle = 3.5;
    monitor->evaluateDecision();
    ZorviStatusSnapshot snapshot = monitor->relay().statusSnapshot("Zorvi");
    EXPECT_EQ(snapshot.source, "Zorvi");
    EXPECT_EQ(snapshot.facePresent, true);
    EXPECT_EQ(snapshot.inputIdleSeconds, 3.5);
    EXPECT_EQ(snapshot.confidence, 100); // face, no companion needed, active input
    EXPECT_EQ(snapshot.reason, "Locking is disabled; Zorvi is observing only.");
    EXPECT_FALSE(snapshot.deskHealthScore);

    // One day of data is not enough to share.
    MonitorInternals::wellness(*monitor).record(WellnessEventKind::eyeRest, 20, h.clock.now());
    EXPECT_FALSE(monitor->relay().statusSnapshot("Zorvi").deskHealth7);

    // A month at 70 a day, every fifth day without data, and today 8 eye rests and 6 walks: 100.
    DeskHealthSamples::recordMonth(MonitorInternals::wellness(*monitor), h.clock.now(), {7, 6, 0});
    const DeskHealthSummary& health = *monitor->wellnessHistory().deskHealth();
    snapshot = monitor->relay().statusSnapshot("System");
    EXPECT_EQ(snapshot.deskHealthScore, 100);
    EXPECT_EQ(snapshot.deskHealthBand, "strong");
    EXPECT_EQ(snapshot.deskHealth7, health.last7Average);
    EXPECT_EQ(snapshot.deskHealthTrend, "up"); // 75 this week after 70
    ASSERT_EQ(snapshot.deskHealthHistory.value_or(std::vector<int>()).size(), 30u);
    EXPECT_EQ((*snapshot.deskHealthHistory)[27], -1); // a day without data
    EXPECT_EQ((*snapshot.deskHealthHistory)[28], 70);
    EXPECT_FALSE(snapshot.recoveryBand);
}

TEST_F(Relay, NamesTheRelayState) {
    const struct {
        bool enabled;
        const char* status;
        const char* command;
        RelayState state;
        const char* text;
    } cases[] = {
        {false, "https://r.example/s", "https://r.example/c", RelayState::off, "Off"},
        {true, "  ", "", RelayState::needsStatusEndpoint, "Needs status endpoint"},
        {true, "r.example/s", "", RelayState::needsValidStatusEndpoint, "Needs valid status endpoint"},
        {true, "https://r.example/s", " \n", RelayState::statusOnly, "Status only"},
        {true, "https://r.example/s", "https://r.example/c", RelayState::statusAndRemoteLock,
         "Status + remote lock"},
    };
    for (const auto& c : cases) {
        monitor->settings().updateConfig([&](VigilorConfig& config) {
            config.remoteCompanionEnabled = c.enabled;
            config.remoteStatusEndpointURL = c.status;
            config.remoteCommandEndpointURL = c.command;
        });
        EXPECT_EQ(monitor->relay().state(), c.state) << c.text;
        EXPECT_EQ(monitor->remoteCompanionStatus(), c.text);
    }
}

TEST_F(Relay, RefusesRemoteLocksItMayNotCarryOut) {
    const RemoteLockCommand command{"cmd-1", "lock", std::nullopt, std::nullopt, std::nullopt};
    h.relay->onRemoteLockRequested(command);
    ASSERT_EQ(h.relay->acks.size(), 1u);
    EXPECT_EQ(h.relay->acks[0].state, "rejected");
    EXPECT_EQ(h.relay->acks[0].reason, "locking disabled");
    EXPECT_EQ(newestLockEvent(), "Remote lock rejected: locking disabled");
}

TEST_F(Relay, ConfirmsARemoteLockAtOnceWhenAlreadyLocked) {
    enableLocking();
    h.session->reportLock(true, Date(799'990'000));
    h.log.clear();
    h.relay->onRemoteLockRequested({"cmd-2", "lock", std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(h.relay->acks.back().state, "session_locked_confirmed");
    EXPECT_EQ(h.relay->acks.back().reason, "Mac was already locked.");
    EXPECT_EQ(h.relay->sent.back().snapshot.source, "Mac");
    EXPECT_EQ(h.relay->sent.back().snapshot.status, ZorviStatus::locked);
    EXPECT_EQ(monitor->lockAttempt().lockedAt(), Date(799'990'000));
    EXPECT_EQ(newestLockEvent(), "Remote lock confirmed: this computer was already locked");
}

TEST_F(Relay, AFailedRemoteLockIsRejectedAfterItWasAnnounced) {
    monitor.reset();
    h.locker->works = false;
    monitor = h.makeMonitor();
    enableLocking();
    h.log.clear();
    h.relay->onRemoteLockRequested({"cmd-3", "lock", std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(h.log.entries.front(), "relay.sendStatus remote_lock_requested");
    EXPECT_EQ(h.relay->acks.back().state, "rejected");
    EXPECT_EQ(h.relay->acks.back().reason, "The session lock method failed");
}

TEST_F(Relay, PublishesTheStatusTwiceAfterStartAndNeverAgain) {
    h.log.clear();
    h.runLoop.loop().advance(0.74);
    EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), 0u);
    h.runLoop.loop().advance(0.01);
    EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), 1u);
    h.runLoop.loop().advance(10);
    EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), 2u);
}

TEST_F(Relay, FetchesRecoveryFiguresOnlyWithARelay) {
    EXPECT_EQ(h.log.count("relay.fetchRemoteStatus"), 0u);
    // The fetch starts with the runtime services, from the settings they start with.
    monitor = h.makeMonitor(false);
    monitor->settings().updateConfig([](VigilorConfig& c) {
        c.remoteCompanionEnabled = true;
        c.remoteStatusEndpointURL = "https://r.example/s";
    });
    ZorviStatusSnapshot fetched;
    fetched.recoveryHrvMs = 52;
    h.relay->fetched = fetched;
    h.runLoop.loop().runUntilIdle();
    EXPECT_EQ(monitor->recovery().hrvMs, 52);
    EXPECT_EQ(monitor->recovery().band, "unknown");
    h.runLoop.loop().advance(30);
    EXPECT_EQ(h.log.count("relay.fetchRemoteStatus"), 2u);

    // Turned off and on again while running: the fetch stops, then starts at once.
    h.log.clear();
    monitor->settings().updateConfig([](VigilorConfig& c) { c.remoteCompanionEnabled = false; });
    h.runLoop.loop().advance(30);
    EXPECT_EQ(h.log.count("relay.fetchRemoteStatus"), 0u);
    monitor->settings().updateConfig([](VigilorConfig& c) { c.remoteCompanionEnabled = true; });
    EXPECT_EQ(h.log.count("relay.fetchRemoteStatus"), 1u);
}

TEST_F(Relay, AConfirmedRemoteLockIsAcknowledged) {
    enableLocking();
    h.relay->onRemoteLockRequested({"cmd-4", "lock", std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(h.relay->acks.back().state, "lock_invoked");
    lockSession();
    h.session->handlers.sessionDidResignActive();
    EXPECT_EQ(h.relay->acks.back().state, "session_locked_confirmed");
    EXPECT_FALSE(h.relay->acks.back().reason);
    h.log.clear();
    h.runLoop.loop().advance(11); // the confirmation timer finds nothing pending
    EXPECT_EQ(h.log.count("relay.ack expired"), 0u);
}

TEST_F(Relay, AnUnconfirmedRemoteLockExpires) {
    enableLocking();
    h.relay->onRemoteLockRequested({"cmd-5", "lock", std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(h.finishLockRequest());
    h.runLoop.loop().advance(10);
    EXPECT_EQ(h.relay->acks.back().state, "expired");
    EXPECT_EQ(newestLockEvent(), "Remote lock expired: the session did not confirm the lock");
    EXPECT_EQ(h.relay->sent.back().event, "remote_lock_failed");
    EXPECT_FALSE(monitor->lockAttempt().awaiting());
}

TEST_F(Relay, RelayEventsReachTheActivityLogOnTheMainQueue) {
    h.relay->onEvent("Remote companion disabled");
    EXPECT_NE(monitor->log().events().front().text, "Remote companion disabled");
    h.runLoop.loop().runUntilIdle();
    EXPECT_EQ(monitor->log().events().front().text, "Remote companion disabled");
}

// Publishing "locked" takes a snapshot whose lock-state probe used to confirm the same lock again;
// with a lock the monitor did not ask for, that recursion never ended.
TEST_F(Relay, ConfirmsAPendingRemoteLockOnceWhoeverLocked) {
    const struct {
        const char* name;
        double lockedAfter; // seconds after the command, while the main thread ran nothing else
    } cases[] = {{"the monitor's own lock", 3}, {"a lock it did not ask for", 11}};
    for (const auto& c : cases) {
        unlockSession();
        monitor = h.makeMonitor();
        enableLocking();
        h.relay->onRemoteLockRequested({"cmd-6", "lock", std::nullopt, std::nullopt, std::nullopt});
        // The lock commands report back to the main queue, which must still be there when they do.
        ASSERT_TRUE(h.finishLockRequest()) << c.name;
        h.clock.advance(c.lockedAfter);
        lockSession();
        h.log.clear();
        h.session->handlers.sessionDidResignActive();
        EXPECT_EQ(h.log.count("relay.ack session_locked_confirmed"), 1u) << c.name;
        EXPECT_EQ(h.log.count("relay.sendStatus locked"), 1u) << c.name;
        h.runLoop.loop().advance(11);
        EXPECT_EQ(h.log.count("relay.ack expired"), 0u) << c.name;
        EXPECT_EQ(h.log.count("relay.ack session_locked_confirmed"), 1u) << c.name;
    }
}

TEST_F(Relay, PublishesTheStatusNowOnlyWithAUsableEndpoint) {
    const struct {
        const char* statusURL;
        size_t sent;
        const char* line;
    } cases[] = {
        {"https://r.example", 1, "Remote status publish requested"},
        {"r.example", 0, "Remote status skipped: configure a valid status endpoint"},
    };
    for (const auto& c : cases) {
        monitor->settings().updateConfig([&](VigilorConfig& config) {
            config.remoteCompanionEnabled = true;
            config.remoteStatusEndpointURL = c.statusURL;
        });
        h.log.clear();
        monitor->publishStatusNow();
        EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), c.sent) << c.statusURL;
        EXPECT_EQ(h.log.count("widget.mirror heartbeat"), c.sent) << c.statusURL;
        EXPECT_EQ(monitor->log().events().front().text, c.line);
    }
}
