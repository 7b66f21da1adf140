#include "Foundation/AtomicFile.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <algorithm>
#include <gtest/gtest.h>

using ::testing::Contains;
using ::testing::EndsWith;

namespace {

struct DecisionTick : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    void start(const std::function<void(VigilorConfig&)>& settings = [](VigilorConfig&) {}) {
        VigilorConfig config;
        config.autoLockEnabled = true;
        config.screenLockingEnabled = true;
        config.bodyAssistDefaultMigrated = true;
        settings(config);
        config.save();
        monitor = h.makeMonitor();
        h.inputIdle->idle = 600; // nobody at the keyboard unless a test says so
    }
    void tick(double seconds = 0.5) { h.advance(seconds); }
    // What the camera pipeline reports for a face in view, and for the face gone.
    void faceInView() { showFace(*monitor); }
    void faceGone(int samples = 6) { missFace(*monitor, samples); }
    // The companion advertises strongly `secondsAgo` before now, under the name its mode looks for.
    void companionSeen(double secondsAgo = 0) {
        const VigilorConfig& c = monitor->config();
        const bool phone = c.bluetoothPresenceMode == BluetoothPresenceMode::phone;
        const Date at = h.clock.now();
        h.clock.set(at.addingTimeInterval(-secondsAgo));
        EXPECT_TRUE(h.bluetooth->advertise({UUID::random(), phone ? c.phoneName : c.watchName}, -60));
        h.clock.set(at);
    }
    size_t lockCalls() const { return h.log.count("locker.lockSession"); }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
};

void useWatch(VigilorConfig& c) {
    c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
    c.watchGateRequired = true;
}

} // namespace

TEST_F(DecisionTick, WalksTheWholeRoadFromAbsenceToWelcomeBack) {
    start(useWatch);
    faceInView();
    companionSeen();
    tick();
    EXPECT_EQ(monitor->decision(), "Armed, but present");

    // The user leaves with the watch.
    faceGone(3);
    tick(9); // the watch is gone for its 8 s grace: independent away evidence
    EXPECT_EQ(monitor->decision(), "Waiting for sustained no-face");
    faceGone(6);
    tick();
    EXPECT_EQ(monitor->decision(), "Face missing: 2.0s");
    EXPECT_EQ(lockCalls(), 0u);

    tick(2.5);
    EXPECT_EQ(monitor->decision(), "Locking\u2026"); // until the session says it is locked
    EXPECT_EQ(lockCalls(), 1u);
    const std::string file = AtomicFile::read(ActivityLog::lockEventLogFile()).value_or("");
    const size_t countdownLine = file.find("decision: Face missing");
    EXPECT_NE(countdownLine, std::string::npos);
    EXPECT_EQ(file.find("decision: Face missing", countdownLine + 1), std::string::npos) << "logged as it starts only";
    EXPECT_THAT(activity(), Contains("Auto-lock triggered"));
    EXPECT_EQ(h.log.count("relay.sendStatus lock_invoked"), 1u);
    tick(3); // further ticks of the same absence do not lock again
    EXPECT_EQ(lockCalls(), 1u);

    // The session confirms the lock: attributed to us, with feedback.
    h.session->lockInfo = SessionLockInfo{true, std::nullopt};
    h.session->handlers.sessionDidResignActive();
    EXPECT_THAT(monitor->log().lockEvents().front().text, EndsWith("Screen locked by Zorvi (Auto)"));
    tick();
    EXPECT_EQ(monitor->decision(), "Locked");
    ASSERT_EQ(h.relay->sent.back().event, "locked");
    EXPECT_EQ(h.relay->sent.back().snapshot.source, "Auto");
    ASSERT_EQ(h.notifications->pendingAuthorizations.size(), 1u);
    h.notifications->pendingAuthorizations.front()(true, std::nullopt);
    tick(0);
    ASSERT_FALSE(h.notifications->added.empty());
    EXPECT_EQ(h.notifications->added.back().identifier, "app.zorvi.maclocked");
    EXPECT_THAT(h.notifications->added.back().body,
                ::testing::StartsWith("Zorvi locked this computer via Auto at "));

    // Back after a while: unlocked, credited and welcomed.
    tick(60);
    h.session->lockInfo = SessionLockInfo{false, std::nullopt};
    h.session->handlers.sessionDidBecomeActive();
    EXPECT_EQ(h.relay->sent.back().event, "unlocked");
    EXPECT_EQ(h.notifications->added.back().identifier, "app.zorvi.welcomeback");
    EXPECT_EQ(monitor->breakCoach().celebration(), "Welcome back");
    EXPECT_THAT(monitor->log().lockEvents().front().text, ::testing::HasSubstr("Welcome back \u2014 locked away 1m"));

    // Present again, then a second absence locks again.
    faceInView();
    companionSeen();
    tick();
    EXPECT_FALSE(monitor->presenceGuard().lockedForCurrentAbsence());
    faceGone();
    tick(12.5);
    EXPECT_EQ(lockCalls(), 2u);
}

// A slow locker: the lock it reports after the wait has run out still counts, and is recorded.
TEST_F(DecisionTick, ALockReportedAfterTheWaitIsStillALock) {
    start();
    faceGone();
    tick(21); // the desk presence grace of 20 s, then the request
    ASSERT_EQ(lockCalls(), 1u);
    EXPECT_EQ(monitor->decision(), "Locking\u2026");
    tick(11);
    EXPECT_EQ(monitor->decision(), "Lock requested, not confirmed");
    h.session->reportLock(true);
    tick();
    EXPECT_EQ(monitor->decision(), "Locked");
    EXPECT_THAT(monitor->log().lockEvents().front().text, EndsWith("Screen locked by the system, user, or idle policy"));
    EXPECT_EQ(h.relay->sent.back().event, "locked");
}

// Waits that run out while another program holds the keyboard say so and cast no doubt on the locker;
// the absence keeps asking.
TEST_F(DecisionTick, TellsOfAKeyboardHeldByAnotherProgram) {
    h.inputGrabs = std::make_shared<FakeInputGrabs>();
    h.inputGrabs->held = HeldInput::keyboard;
    start();
    faceGone();
    tick(21);
    const std::string held = "Another program holds the keyboard, so the screen cannot lock yet";
    for (size_t request = 1; request <= 2; ++request) {
        tick(11);
        ASSERT_TRUE(h.eventually([&] { return monitor->log().lockEvents().front().text.ends_with(held); }));
        tick(10.5);
    }
    EXPECT_EQ(lockCalls(), 3u);
    EXPECT_FALSE(monitor->lockAttempt().lockerDoesNotLock());
    EXPECT_EQ(monitor->statusSummaries().readinessSummary(), "Keyboard held by another program");
}

// A locker that stops while it holds the lock unlocks nothing Zorvi knows of: said as it is; a lock asked
// for again that the locker takes without locking is told once.
TEST_F(DecisionTick, TellsOfALockerThatStoppedAndOfReLocksThatDoNotTake) {
    start();
    faceGone();
    tick(21);
    h.session->reportLock(true);
    h.session->lockInfo = SessionLockInfo{false, std::nullopt};
    h.session->handlers.sessionLockLost();
    EXPECT_EQ(monitor->log().lockEvents().front().text, "The screen locker stopped while the session was locked");
    EXPECT_EQ(h.notifications->added.back().title, "Screen locker stopped");
    tick(45); // asked again, unconfirmed, asked again
    EXPECT_GE(lockCalls(), 3u);
    const auto notices = std::ranges::count_if(h.notifications->added, [](const auto& n) {
        return n.title == "Zorvi could not lock this computer again" &&
               n.body == "The screen locker took the request, but the session did not lock.";
    });
    EXPECT_EQ(notices, 1);
}

// Until the camera's first analysed frame (the vision models load first) it is starting; once the gap
// that tells a camera without pictures has passed, it gives no signal.
TEST_F(DecisionTick, SaysTheCameraIsStartingUntilItsFirstResult) {
    h.framesCome = false;
    start();
    tick();
    EXPECT_EQ(monitor->decision(), "Camera starting");
    tick(20);
    EXPECT_EQ(monitor->decision(), "No camera signal");
}

// A lock that keeps failing is tried again on every tick, but only its first failure of an absence
// reaches the logs.
TEST_F(DecisionTick, RetriesAFailingLockEveryTickAndLogsItOncePerAbsence) {
    start();
    h.locker->works = false;
    h.locker->failures = {"logind failed: no session", "xdg-screensaver failed: exit 4"};
    monitor.reset();
    monitor = h.makeMonitor();
    const std::vector<std::string> failure = {"Lock failed: no method worked", "xdg-screensaver failed: exit 4",
                                              "logind failed: no session", "Auto-lock triggered"};
    for (int absence = 0; absence < 2; ++absence) {
        faceGone();
        tick(30); // desk presence grace of 20 s, then a lock attempt on every tick
        const size_t attempts = lockCalls();
        EXPECT_GE(attempts, 10u * (absence + 1));
        EXPECT_EQ(monitor->decision(), "Lock failed: no screen locker took the request");
        EXPECT_EQ(monitor->coachingSummaries().nudgeDetail(),
                  "Lock failed: no screen locker took the request.");
        const auto lines = activity();
        const auto first = std::find(lines.begin(), lines.end(), failure.front()); // the retries are quiet
        ASSERT_GE(std::distance(first, lines.end()), 4) << absence;
        EXPECT_EQ(std::vector(first, first + 4), failure) << absence;
        tick();
        EXPECT_EQ(lockCalls(), attempts + 1);
        faceInView(); // the next absence is logged again
        tick();
    }
}

TEST_F(DecisionTick, LogsDisabledLockingOncePerAbsence) {
    start([](VigilorConfig& c) { c.screenLockingEnabled = false; });
    faceGone();
    tick(40);
    EXPECT_EQ(monitor->decision(), "Would lock, but locking is disabled");
    size_t lines = 0;
    for (const auto& text : activity())
        lines += text == "Auto lock suppressed: locking disabled";
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(lockCalls(), 0u);
}

TEST_F(DecisionTick, APausedMonitorPublishesNothing) {
    start();
    monitor->togglePaused();
    const double before = monitor->cameraPresence().secondsSinceFace();
    tick(10);
    EXPECT_EQ(monitor->cameraPresence().secondsSinceFace(), before);
    EXPECT_EQ(monitor->decision(), "Watching only");
}

TEST_F(DecisionTick, PublishesRoundedAges) {
    start(useWatch);
    companionSeen(1.26);
    MonitorInternals::camera(*monitor).noteFaceSeen(h.clock.now().addingTimeInterval(-0.04));
    h.inputIdle->idle = 3.76;
    tick(0.5);
    EXPECT_EQ(monitor->cameraPresence().secondsSinceFace(), 0.5);
    EXPECT_EQ(monitor->companion().secondsSinceWatch(), 2.0); // 1.76 to the half second
    EXPECT_EQ(monitor->inputIdleSeconds(), 4.0);
    h.inputIdle->idle.reset(); // nobody can tell: counts as long idle
    tick();
    EXPECT_EQ(monitor->inputIdleSeconds(), PresenceGuard::unknownInputIdleSeconds);
}

TEST_F(DecisionTick, HoldsTheFaceClockWhileTheCameraIsBusy) {
    start(useWatch);
    missFace(*monitor, 4);
    h.camera->lastSession->observers.wasInterrupted(); // another program takes the camera
    h.runLoop.loop().runUntilIdle();
    tick(5);
    EXPECT_EQ(monitor->cameraPresence().secondsSinceFace(), 0);
    EXPECT_EQ(monitor->cameraPresence().missingFaceSamples(), 0);
    EXPECT_EQ(monitor->decision(), "Camera busy \u2014 learning Watch");

    companionSeen();
    tick();
    EXPECT_EQ(monitor->decision(), "Camera busy \u2014 Watch near");
    tick(11);
    EXPECT_EQ(monitor->decision(), "Camera busy \u2014 Watch away");
    EXPECT_EQ(lockCalls(), 0u);
    tick(1); // 12 s after the last sighting
    EXPECT_EQ(lockCalls(), 1u);
    const std::string file = AtomicFile::read(ActivityLog::lockEventLogFile()).value_or("");
    EXPECT_NE(file.find("decision: Locking \u2014 camera busy, Watch away"), std::string::npos);
    EXPECT_EQ(h.relay->sent.back().snapshot.source, "Auto-Watch");
    tick(5); // one lock per absence
    EXPECT_EQ(lockCalls(), 1u);
}

TEST_F(DecisionTick, ACameraBusyLockThatFailsSaysSoAndRetries) {
    start(useWatch);
    h.locker->works = false;
    monitor.reset();
    monitor = h.makeMonitor();
    h.camera->lastSession->observers.wasInterrupted();
    h.runLoop.loop().runUntilIdle();
    companionSeen();
    tick(12.5);
    EXPECT_EQ(monitor->decision(), "Lock failed: no screen locker took the request");
    const size_t attempts = lockCalls();
    EXPECT_GE(attempts, 1u);
    tick();
    EXPECT_EQ(lockCalls(), attempts + 1);
}

TEST_F(DecisionTick, DecidesWithoutTheCamera) {
    start([](VigilorConfig& c) {
        c.cameraPresenceEnabled = false;
        c.bluetoothPresenceMode = BluetoothPresenceMode::phone;
    });
    tick();
    EXPECT_EQ(monitor->decision(), "Learning Phone");
    companionSeen();
    h.inputIdle->idle = 1; // typing keeps the user near
    tick(10);
    EXPECT_EQ(monitor->decision(), "Phone near");
    h.inputIdle->idle = 600;
    tick();
    EXPECT_EQ(monitor->decision(), "Locking \u2014 Phone away");
    EXPECT_EQ(h.relay->sent.back().snapshot.source, "Auto-Phone");
    EXPECT_EQ(lockCalls(), 1u);
}

TEST_F(DecisionTick, ChecksScreenSharingAtMostEveryTwoSeconds) {
    start();
    tick(0.5);
    const int first = h.screenSharing->checks;
    h.screenSharing->active = true;
    tick(1.0);
    EXPECT_EQ(h.screenSharing->checks, first);
    EXPECT_FALSE(monitor->remoteControlActive());
    tick(1.0);
    EXPECT_EQ(h.screenSharing->checks, first + 1);
    EXPECT_TRUE(monitor->remoteControlActive());
    h.screenSharing->active = false;
    h.clock.set(h.clock.now().addingTimeInterval(-60)); // the clock set back: no stale answer meanwhile
    monitor->evaluateDecision();
    EXPECT_FALSE(monitor->remoteControlActive());
}
