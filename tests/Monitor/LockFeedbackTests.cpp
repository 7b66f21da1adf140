#include "Foundation/Iso8601.h"
#include "Support/LoopbackHttpServer.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>

using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

struct LockFeedback : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    void start(const std::function<void(VigilorConfig&)>& settings = [](VigilorConfig&) {}) {
        VigilorConfig config;
        config.screenLockingEnabled = true;
        config.bodyAssistDefaultMigrated = true;
        settings(config);
        config.save();
        monitor = h.makeMonitor();
        h.log.clear();
    }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
    std::vector<std::string> lockLog() const { return logTexts(monitor->log().lockEvents()); }
    void sessionLocks() {
        h.session->lockInfo = SessionLockInfo{true, std::nullopt};
        h.session->handlers.sessionDidResignActive();
    }
    void sessionUnlocks() {
        h.session->lockInfo = SessionLockInfo{false, std::nullopt};
        h.session->handlers.sessionDidBecomeActive();
    }
    // Asks for a lock and waits for its mechanisms; what the completion got, if it came.
    std::optional<bool> lock(VigilorMonitor& m, MonitorHarness& harness, const std::string& source) {
        std::optional<bool> started;
        m.lockScreen(source, [&](bool result) { started = result; });
        harness.finishLockRequest();
        return started;
    }
    std::optional<bool> lock(const std::string& source) { return lock(*monitor, h, source); }
};

} // namespace

TEST_F(LockFeedback, NamesTheLockerThatTookTheRequestAndReportsOnce) {
    h.locker->failures = {"logind failed: no session"};
    h.locker->method = "org.mate.ScreenSaver";
    start();
    EXPECT_EQ(lock("Manual"), true);
    EXPECT_EQ(activity()[0], "Lock invoked: org.mate.ScreenSaver");
    EXPECT_EQ(activity()[1], "logind failed: no session");
    EXPECT_EQ(lockLog().front(), "Zorvi requested manual lock via org.mate.ScreenSaver");
    EXPECT_EQ(h.log.count("relay.sendStatus lock_invoked"), 1u);
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Manual");
    EXPECT_TRUE(monitor->lockAttempt().awaiting());

    // A second request within the attempt is dropped and keeps the first request.
    const auto requestAt = monitor->lockAttempt().requestedAt();
    EXPECT_EQ(lock("Auto"), false);
    EXPECT_EQ(lockLog().front(), "Lock request dropped: lock attempt already in progress");
    EXPECT_EQ(monitor->lockAttempt().requestedAt(), requestAt);
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Manual");

    // The user's Lock Now never is: asked again while a lock is awaited, and the lock is the user's.
    monitor->lockNow();
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(lockLog().front(), "Zorvi requested manual lock via org.mate.ScreenSaver");
    sessionLocks();
    EXPECT_EQ(lockLog().front(), "Screen locked by Zorvi (Manual)");
}

// The lockers are asked off the main thread: one that takes its time holds up no tick. A locker that
// confirms before it answers (MATE's never answers) has its confirmation logged after the request.
TEST_F(LockFeedback, TheMainQueueKeepsTurningWhileTheLockersAreAsked) {
    std::promise<void> release;
    h.locker->whileLocking = [answer = release.get_future().share()] { answer.wait(); };
    start();
    std::optional<bool> started;
    monitor->lockScreen("Manual", [&](bool result) { started = result; });
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Manual");
    h.runLoop.loop().advance(5); // ten decision ticks while the locker is asked
    EXPECT_EQ(monitor->cameraPresence().secondsSinceFace(), 5);
    EXPECT_TRUE(monitor->lockAttempt().asking());
    EXPECT_FALSE(started);
    std::optional<bool> second;
    monitor->lockScreen("Auto", [&](bool result) { second = result; });
    EXPECT_EQ(second, false); // one attempt at a time
    EXPECT_EQ(lockLog().front(), "Lock request dropped: lock attempt already in progress");
    sessionLocks();
    EXPECT_TRUE(monitor->lockAttempt().locked());

    release.set_value();
    ASSERT_TRUE(h.finishLockRequest());
    EXPECT_EQ(started, true);
    EXPECT_EQ(activity().front(), "Lock invoked: logind");
    const auto lines = lockLog();
    EXPECT_EQ(std::vector(lines.begin(), lines.begin() + 2),
              (std::vector<std::string>{"Screen locked by Zorvi (Manual)", "Zorvi requested manual lock via logind"}));
    ASSERT_GE(h.relay->sent.size(), 2u);
    EXPECT_EQ(h.relay->sent[h.relay->sent.size() - 2].event, "lock_invoked");
    EXPECT_EQ(h.relay->sent.back().event, "locked");
    EXPECT_FALSE(monitor->lockAttempt().awaiting());
}

TEST_F(LockFeedback, KeepsTheSourcesCaseButLogsItLowerCase) {
    start();
    lock("Auto-Watch");
    EXPECT_THAT(lockLog(), Contains("Zorvi requested auto-watch lock via logind"));
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Auto-Watch");
}

TEST_F(LockFeedback, RestoresTheRequestWhenNothingWorked) {
    h.locker->works = false;
    h.locker->failures = {"xscreensaver failed: exit 255", "xdg-screensaver failed: timed out"};
    start();
    EXPECT_EQ(lock("Manual"), false);
    EXPECT_FALSE(monitor->lockAttempt().requestedAt());
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Zorvi");
    const auto lines = activity();
    EXPECT_EQ(lines.front(), "Lock failed: no method worked");
    EXPECT_THAT(lines, Contains("xscreensaver failed: exit 255"));
    EXPECT_THAT(lines, Contains("xdg-screensaver failed: timed out"));
    EXPECT_EQ(h.log.count("relay.sendStatus lock_invoked"), 0u);
    EXPECT_FALSE(monitor->lockAttempt().awaiting());
    // Told where it was asked for: the dashboard's lock log, and its reason while a lock would be awaited.
    EXPECT_EQ(lockLog().front(), "Manual lock failed: no screen locker took the request");
    EXPECT_EQ(monitor->statusSummaries().lockReason(), "Lock failed: no screen locker took the request.");
    h.clock.advance(10);
    EXPECT_NE(monitor->statusSummaries().lockReason(), "Lock failed: no screen locker took the request.");
}

TEST_F(LockFeedback, ManualLockNeedsLockingEnabled) {
    start([](VigilorConfig& c) { c.screenLockingEnabled = false; });
    monitor->lockNow();
    EXPECT_EQ(lockLog().front(), "Manual lock blocked: Zorvi locking is disabled");
    EXPECT_EQ(activity().front(), "Manual lock blocked: locking disabled");
    EXPECT_EQ(h.log.count("locker.lockSession"), 0u);
}

TEST_F(LockFeedback, AttributesALockToItsRequestWithinTenSeconds) {
    const struct {
        double delay;
        bool own;
    } cases[] = {{3, true}, {10, true}, {11, false}};
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        config.screenLockingEnabled = true;
        config.save();
        auto m = fresh.makeMonitor();
        lock(*m, fresh, "Manual");
        fresh.clock.advance(c.delay);
        fresh.session->lockInfo = SessionLockInfo{true, std::nullopt};
        fresh.session->handlers.sessionDidResignActive();
        const std::string expected =
            c.own ? "Screen locked by Zorvi (Manual)" : "Screen locked by the system, user, or idle policy";
        EXPECT_THAT(m->log().lockEvents().front().text, EndsWith(expected)) << c.delay;
        EXPECT_EQ(fresh.relay->sent.back().event, "locked") << c.delay;
        EXPECT_EQ(fresh.relay->sent.back().snapshot.source, c.own ? "Manual" : "System") << c.delay;
        EXPECT_EQ(fresh.notifications->pendingAuthorizations.size(), c.own ? 1u : 0u) << c.delay;
    }
}

TEST_F(LockFeedback, ThrottlesFeedbackForLocksCloseTogether) {
    const struct {
        double apart;
        size_t feedback;
    } cases[] = {{4, 1}, {12, 2}};
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        config.screenLockingEnabled = true;
        config.save();
        auto m = fresh.makeMonitor();
        for (int i = 0; i < 2; ++i) {
            lock(*m, fresh, "Manual");
            fresh.session->handlers.sessionDidResignActive();
            fresh.session->handlers.sessionDidBecomeActive();
            fresh.clock.advance(c.apart);
        }
        EXPECT_EQ(fresh.notifications->pendingAuthorizations.size(), c.feedback) << c.apart;
    }
}

TEST_F(LockFeedback, CreditsALockedAbsenceOfFiveSecondsOrMore) {
    start();
    lock("Manual");
    sessionLocks();
    h.clock.advance(4);
    sessionUnlocks();
    EXPECT_EQ(h.relay->sent.back().event, "unlocked");
    EXPECT_TRUE(monitor->wellnessHistory().ledger().empty());

    lock("Manual");
    sessionLocks();
    h.clock.advance(5);
    sessionUnlocks();
    ASSERT_FALSE(monitor->wellnessHistory().ledger().empty());
    EXPECT_EQ(monitor->wellnessHistory().ledger().front().kind, WellnessEventKind::lockAway);
    EXPECT_EQ(
        h.notifications->added.back().body,
        "Zorvi kept your computer locked for 5s while you were away. Your eye break is reset.");
    EXPECT_EQ(monitor->lockAttempt().requestSource(), "Zorvi");
}

// Someone else's lock: how long it lasted only where the session tells when it began (a lock found in
// place is credited for as long as it was seen).
TEST_F(LockFeedback, SaysHowLongTheUserWasAwayOnlyWhereTheLocksStartIsTold) {
    const struct {
        const char* name;
        std::optional<double> lockedBefore;
        std::string body;
        std::string line;
    } cases[] = {
        {"its start told", 780, "You were away for 14m. Your eye and movement breaks are reset.",
         "Welcome back \u2014 locked away 14m; eye + movement breaks reset"},
        {"its start not told", std::nullopt,
         "You were away while the screen was locked. Your eye and movement breaks are reset.",
         "Welcome back \u2014 the screen locker did not tell how long it was locked; eye + movement breaks reset"},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        auto m = fresh.makeMonitor();
        const Date now = fresh.clock.now();
        fresh.session->reportLock(
            true, c.lockedBefore ? std::optional(now.addingTimeInterval(-*c.lockedBefore)) : std::nullopt);
        fresh.clock.advance(60);
        fresh.session->reportLock(false);
        EXPECT_EQ(fresh.notifications->added.back().body, c.body) << c.name;
        EXPECT_EQ(m->log().lockEvents().front().text, c.line) << c.name;
    }
}

// A walk the coaching reset when the camera saw the user back at the lock screen is told with the lock's
// own credit, though the lock itself was too short for a walk.
TEST_F(LockFeedback, TellsTheBreaksTheCoachingResetForTheAbsence) {
    start();
    h.advance(25); // the face long gone: a walk under way
    lock("Auto");
    sessionLocks();
    h.advance(41);
    showFace(*monitor); // at the lock screen
    h.advance(1.5);
    EXPECT_THAT(activity(), Contains(::testing::StartsWith("Movement credited after 4")));
    sessionUnlocks();
    EXPECT_THAT(h.notifications->added.back().body, EndsWith(" Your eye and movement breaks are reset."));
    EXPECT_THAT(lockLog().front(), EndsWith("; eye + movement breaks reset"));
}

TEST_F(LockFeedback, CreditsEachAbsenceOnceWithEyeBreaksOnAndOff) {
    const struct {
        bool eyeBreaks;
        bool eyeRestAlreadyRecorded;
        std::vector<WellnessEventKind> recorded;
    } cases[] = {
        {true,
         false,
         {WellnessEventKind::lockAway, WellnessEventKind::eyeRest, WellnessEventKind::movementCredit}},
        {false, false, {WellnessEventKind::lockAway, WellnessEventKind::movementCredit}},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        config.screenLockingEnabled = true;
        config.eyeBreakEnabled = c.eyeBreaks;
        config.save();
        auto m = fresh.makeMonitor();
        const Date eyeAnchor = m->breakCoach().lastEyeBreakAt();
        lock(*m, fresh, "Auto");
        fresh.session->lockInfo = SessionLockInfo{true, std::nullopt};
        fresh.session->handlers.sessionDidResignActive();
        fresh.clock.advance(600);
        fresh.session->handlers.sessionDidBecomeActive();
        std::vector<WellnessEventKind> kinds;
        for (const auto& event : m->wellnessHistory().ledger())
            kinds.push_back(event.kind);
        EXPECT_EQ(kinds, c.recorded) << c.eyeBreaks;
        EXPECT_EQ(m->breakCoach().lastEyeBreakAt() == eyeAnchor, !c.eyeBreaks) << c.eyeBreaks;
    }

    // A walk the coaching already credited during the locked absence is not credited again.
    MonitorHarness fresh;
    VigilorConfig config;
    config.screenLockingEnabled = true;
    config.save();
    auto m = fresh.makeMonitor();
    lock(*m, fresh, "Auto");
    fresh.session->handlers.sessionDidResignActive();
    fresh.clock.advance(300);
    MonitorInternals::wellness(*m).record(WellnessEventKind::movementCredit, 300, fresh.clock.now());
    fresh.clock.advance(300);
    fresh.session->handlers.sessionDidBecomeActive();
    size_t walks = 0;
    for (const auto& event : m->wellnessHistory().ledger())
        walks += event.kind == WellnessEventKind::movementCredit;
    EXPECT_EQ(walks, 1u);
}

TEST_F(LockFeedback, PostsTheWebhookForOwnLocks) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isRunning()) << server.failure();
    start([&](VigilorConfig& c) { c.lockNotificationWebhookURL = "  " + server.url("/hook") + "\n"; });
    h.clock.set(*parseIso8601Strict("2026-03-01T08:30:00Z"));
    lock("Manual");
    sessionLocks();
    ASSERT_TRUE(server.waitForRequests(1));
    const auto request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/hook");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    const auto body = parseJson(request.body);
    ASSERT_TRUE(body) << request.body;
    EXPECT_EQ((*body)["app"], "Zorvi");
    EXPECT_EQ((*body)["event"], "mac_locked");
    EXPECT_EQ((*body)["source"], "Manual");
    EXPECT_EQ((*body)["locked_at"], "2026-03-01T08:30:00Z");
    EXPECT_EQ(body->size(), 4u);
}

TEST_F(LockFeedback, LogsWebhookFailures) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isRunning()) << server.failure();
    LoopbackHttpServer::Response failure;
    failure.status = 500;
    server.respond("/fail", failure);
    const struct {
        std::string url;
        std::string line;
    } cases[] = {
        {server.url("/fail"), "Lock webhook returned HTTP 500"},
        {"ftp://example.invalid/hook", "Lock webhook skipped: invalid URL"},
        {"http://127.0.0.1:1/hook", "Lock webhook failed: "},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        config.screenLockingEnabled = true;
        config.lockNotificationWebhookURL = c.url;
        config.save();
        auto m = fresh.makeMonitor();
        lock(*m, fresh, "Manual");
        fresh.session->handlers.sessionDidResignActive();
        const auto sawLine = [&] {
            for (const auto& line : m->log().events())
                if (line.text.starts_with(c.line))
                    return true;
            return false;
        };
        EXPECT_TRUE(fresh.eventually(sawLine)) << c.url;
    }
}

TEST_F(LockFeedback, ABlankWebhookSendsNothing) {
    LoopbackHttpServer server;
    start([](VigilorConfig& c) { c.lockNotificationWebhookURL = "   "; });
    lock("Manual");
    sessionLocks();
    EXPECT_FALSE(server.waitForRequests(1, std::chrono::milliseconds(100)));
}

TEST_F(LockFeedback, DisplaySleepStopsTheCameraAndWakeRestartsItOnlyWhenInUse) {
    start();
    auto session = h.camera->lastSession;
    ASSERT_TRUE(session);
    h.session->handlers.screensDidSleep();
    EXPECT_EQ(lockLog().front(), "Display slept");
    EXPECT_EQ(h.relay->sent.back().event, "display_slept");
    h.session->handlers.screensDidWake();
    EXPECT_EQ(h.relay->sent.back().event, "display_woke");
    EXPECT_NE(h.camera->lastSession, session); // configured again

    monitor->settings().updateConfig([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    h.log.clear();
    h.session->handlers.screensDidWake();
    EXPECT_EQ(h.log.count("camera.makeCaptureSession"), 0u);
    monitor.reset();
    EXPECT_EQ(session->stops, 1);
}
