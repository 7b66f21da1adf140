#include "Foundation/Iso8601.h"
#include "Foundation/Rounding.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

struct Coaching : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    void start(const std::function<void(VigilorConfig&)>& settings = [](VigilorConfig&) {}) {
        VigilorConfig config;
        config.notifyWhenBreakDue = true;
        config.bodyAssistDefaultMigrated = true;
        settings(config);
        config.save();
        monitor = h.makeMonitor();
    }
    void atDesk(double seconds, bool resting = false) { h.atDesk(*monitor, seconds, resting); }
    const BreakCoach& coach() const { return monitor->breakCoach(); }
    // The user away from the desk for `seconds`, seen by a camera that delivers frames (or not).
    void away(double seconds, bool frames = true) {
        missFace(*monitor);
        for (double t = 0; t < seconds; t += 0.5) {
            if (frames)
                MonitorInternals::camera(*monitor).noteFrameResult(h.clock.now());
            h.runLoop.loop().advance(0.5);
        }
    }
    std::vector<std::string> nudges() const {
        std::vector<std::string> titles;
        for (const auto& request : h.notifications->added)
            titles.push_back(request.title);
        return titles;
    }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
};

} // namespace

TEST_F(Coaching, NudgesTheEyeRestOncePerDuePeriod) {
    start();
    atDesk(1199);
    EXPECT_TRUE(nudges().empty());
    atDesk(2);
    ASSERT_THAT(nudges(), ElementsAre("Look away"));
    EXPECT_EQ(h.notifications->added[0].body, "Rest your eyes for 20s.");
    EXPECT_EQ(h.notifications->added[0].identifier, "app.zorvi.break.eye.current");
    EXPECT_EQ(h.notifications->added[0].categoryIdentifier, "app.zorvi.break.eye");
    EXPECT_TRUE(coach().breakHUDVisible());
    EXPECT_EQ(coach().breakHUDKind(), BreakHUDKind::eye);
    atDesk(5);
    EXPECT_EQ(nudges().size(), 1u);

    // Out of view for a tick while still due: nudged again on return.
    away(0.5);
    atDesk(1);
    EXPECT_EQ(nudges().size(), 2u);
}

TEST_F(Coaching, NudgesOnlyTheWalkWhenBothAreDue) {
    start([](VigilorConfig& c) {
        c.eyeBreakInterval = 3000;
        c.walkBreakDuration = 90;
    });
    atDesk(3001);
    ASSERT_THAT(nudges(), ElementsAre("Time to move"));
    EXPECT_EQ(h.notifications->added[0].body, "50m 00s at desk. Stand or walk for 1m.");
    EXPECT_EQ(coach().breakHUDKind(), BreakHUDKind::walk);

    // Held back by a dismissal: neither is nudged, and the prompt shows the eye.
    monitor->clearCurrentWalkBreakPrompt(WellnessEventKind::walkDismissed, "Walk popup dismissed");
    h.notifications->added.clear();
    atDesk(10);
    EXPECT_TRUE(nudges().empty());
    EXPECT_EQ(coach().breakHUDKind(), BreakHUDKind::eye);
    EXPECT_TRUE(coach().breakHUDVisible());
}

TEST_F(Coaching, HoldsADismissedOrSkippedWalkBack) {
    const struct {
        double interval;
        WellnessEventKind kind;
        double holdBack;
    } cases[] = {
        {3000, WellnessEventKind::walkDismissed, 600}, {1200, WellnessEventKind::walkDismissed, 300},
        {6000, WellnessEventKind::walkDismissed, 900}, {3000, WellnessEventKind::walkSkipped, 1200},
        {6000, WellnessEventKind::walkSkipped, 1200},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        config.walkBreakInterval = c.interval;
        config.eyeBreakEnabled = false;
        config.save();
        auto m = fresh.makeMonitor();
        fresh.clock.advance(c.interval);
        EXPECT_TRUE(m->breakCoach().dueRule().walkPromptDue(fresh.clock.now()));
        m->clearCurrentWalkBreakPrompt(c.kind, "Walk popup dismissed");
        EXPECT_FALSE(m->breakCoach().dueRule().walkPromptDue(fresh.clock.now().addingTimeInterval(c.holdBack - 1))) << c.interval;
        EXPECT_TRUE(m->breakCoach().dueRule().walkPromptDue(fresh.clock.now().addingTimeInterval(c.holdBack))) << c.interval;
        EXPECT_EQ(m->wellnessHistory().ledger().back().kind, c.kind);
        EXPECT_EQ(m->log().events().front().text, "Walk popup dismissed; walk remains due after " +
                                                      formatDurationWithSeconds(c.interval) +
                                                      " at desk");
    }
}

TEST_F(Coaching, DismissingTheEyePromptRestartsTheIntervalUnlessTheRestWasDone) {
    start();
    atDesk(1200.5);
    const Date before = coach().lastEyeBreakAt();
    monitor->dismissCurrentEyeBreakPrompt();
    EXPECT_THAT(ledgerKinds(*monitor), ElementsAre(WellnessEventKind::eyeDismissed));
    EXPECT_GT(coach().lastEyeBreakAt(), before);
    EXPECT_EQ(activity().front(), "Look-away nudge dismissed; next eye break in 20m");
    EXPECT_FALSE(coach().breakHUDVisible());

    atDesk(21, true); // the rest completed, its prompt still showing
    ASSERT_EQ(coach().eyeRestRemaining(), 0);
    const Date anchor = coach().lastEyeBreakAt();
    monitor->dismissCurrentEyeBreakPrompt();
    EXPECT_EQ(monitor->wellnessHistory().ledger().size(), 2u); // the dismissal and the rest only
    EXPECT_EQ(coach().lastEyeBreakAt(), anchor);
    EXPECT_EQ(activity().front(), "Look-away popup dismissed");
}

TEST_F(Coaching, AnswersNotificationResponses) {
    const struct {
        const char* action;
        const char* category;
        std::vector<WellnessEventKind> recorded;
    } cases[] = {
        {"app.zorvi.break.skipWalk", "app.zorvi.break.eye", {WellnessEventKind::walkSkipped}},
        {"app.zorvi.break.dismiss", "app.zorvi.break.walk", {WellnessEventKind::walkDismissed}},
        {UserNotificationCenter::dismissActionIdentifier,
         "app.zorvi.break.walk",
         {WellnessEventKind::walkDismissed}},
        {"app.zorvi.break.dismiss", "app.zorvi.break.eye", {WellnessEventKind::eyeDismissed}},
        {UserNotificationCenter::dismissActionIdentifier,
         "app.zorvi.break.eye",
         {WellnessEventKind::eyeDismissed}},
        {"app.zorvi.break.dismiss", "app.zorvi.maclocked", {}},
        {"default", "app.zorvi.break.eye", {}},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        auto m = fresh.makeMonitor();
        fresh.runLoop.loop().advance(0.5); // the eye prompt shows a rest still to take
        ASSERT_TRUE(fresh.notifications->responseHandler);
        fresh.notifications->responseHandler({"id", c.category, c.action});
        fresh.runLoop.loop().runUntilIdle();
        std::vector<WellnessEventKind> kinds;
        for (const auto& event : m->wellnessHistory().ledger())
            kinds.push_back(event.kind);
        EXPECT_EQ(kinds, c.recorded) << c.action << " / " << c.category;
    }
}

TEST_F(Coaching, StaggersOverdueBreaksOnResume) {
    start();
    monitor->togglePaused();
    EXPECT_EQ(monitor->phase(), MonitorPhase::paused);
    EXPECT_EQ(activity().front(), "Monitoring paused");
    h.clock.advance(3600 + 600); // the eye 10 min past a walk interval... both overdue
    monitor->togglePaused();
    EXPECT_EQ(monitor->phase(), MonitorPhase::ready);
    const Date now = h.clock.now();
    EXPECT_FALSE(coach().dueRule().eyeBreakDue(now.addingTimeInterval(239)));
    EXPECT_TRUE(coach().dueRule().eyeBreakDue(now.addingTimeInterval(240)));
    EXPECT_FALSE(coach().dueRule().walkPromptDue(now.addingTimeInterval(539)));
    EXPECT_TRUE(coach().dueRule().walkPromptDue(now.addingTimeInterval(540)));
}

TEST_F(Coaching, PlaysOnlyTheSoundWhenNotificationsAreOff) {
    start([](VigilorConfig& c) {
        c.notifyWhenBreakDue = false;
        c.soundWhenBreakDue = true;
    });
    atDesk(1205);
    EXPECT_TRUE(h.notifications->added.empty());
    EXPECT_THAT(h.sounds->played, ElementsAre("Glass"));
}

TEST_F(Coaching, CompletesAnEyeRestFromFreshObservations) {
    start();
    atDesk(22, true);
    EXPECT_THAT(ledgerKinds(*monitor), ElementsAre(WellnessEventKind::eyeRest));
    EXPECT_THAT(activity(), Contains("Eye break completed (looked away)"));
    EXPECT_EQ(coach().celebration(), "Eyes rested");
    EXPECT_EQ(coach().eyeRestRemaining(), 0); // the completion shows for 3 s
    atDesk(4);
    EXPECT_EQ(coach().eyeRestRemaining(), 20);
    EXPECT_EQ(coach().celebration(), "Eyes rested");
    atDesk(2.5); // shown for 6 s
    EXPECT_FALSE(coach().celebration());
}

TEST_F(Coaching, CreditsAWalkAwayFromTheDeskOnReturn) {
    start();
    atDesk(60);
    away(80); // counting starts once the face has been gone 20 s: 60 s counted
    atDesk(0.5);
    EXPECT_THAT(ledgerKinds(*monitor), Contains(WellnessEventKind::movementCredit));
    const auto credit =
        std::find_if(monitor->wellnessHistory().ledger().begin(), monitor->wellnessHistory().ledger().end(),
                     [](const auto& e) { return e.kind == WellnessEventKind::movementCredit; });
    EXPECT_NEAR(*credit->durationSeconds, 60, 1);
    EXPECT_THAT(activity(), Contains(::testing::StartsWith("Movement credited after 1m")));
    EXPECT_THAT(activity(), Contains(::testing::StartsWith("Eye timer reset after 1m")));
    EXPECT_EQ(coach().lastWalkBreakAt(), coach().lastEyeBreakAt());
}

TEST_F(Coaching, ResetsTheWalkWithoutCreditAfterAVeryLongAbsence) {
    start();
    away(1821); // counted from 20 s on: 1801 s
    atDesk(0.5);
    EXPECT_THAT(activity(), Contains("Movement timer reset after 30m away"));
    for (auto kind : ledgerKinds(*monitor))
        EXPECT_NE(kind, WellnessEventKind::movementCredit);
}

// A missing face is evidence of an absence only while a working camera delivers frames, and the
// absence counts from the first of them. Without the camera nothing is evidence of a rest.
TEST(CoachingEvidence, CreditsAnEyeRestOnlyForAnAbsenceTheCameraHasSeen) {
    const struct {
        const char* name;
        bool camera;
        double blind; // seconds without frames since the start
        double seen;  // then seconds of frames without a face
        bool rested;
    } cases[] = {
        {"no frames at all", true, 120, 0, false},
        {"frames from the start", true, 0, 30, true},
        {"frames after a blind start, too short", true, 60, 20, false},
        {"frames after a blind start", true, 60, 30, true},
        {"device-only mode", false, 120, 0, false},
        {"device-only mode, frames still noted", false, 0, 30, false},
    };
    for (const auto& c : cases) {
        MonitorHarness h;
        VigilorConfig config;
        config.bodyAssistDefaultMigrated = true;
        config.cameraPresenceEnabled = c.camera;
        config.save();
        auto monitor = h.makeMonitor();
        h.runLoop.loop().advance(c.blind);
        for (double t = 0; t < c.seen; t += 0.5) {
            MonitorInternals::camera(*monitor).noteFrameResult(h.clock.now());
            h.runLoop.loop().advance(0.5);
        }
        const auto kinds = ledgerKinds(*monitor);
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), WellnessEventKind::eyeRest), c.rested ? 1 : 0)
            << c.name;
    }
}

// A morning at the desk with the virtual clock: the breaks fall due at their intervals, a dismissal
// holds the walk back, a walk away of a minute is credited, a locked absence of ten minutes is
// credited once, and the day's score is the one worked out by hand.
TEST_F(Coaching, ASimulatedMorningScoresAsComputedByHand) {
    ScopedTimeZone zone("UTC");
    h.clock.set(*parseIso8601Strict("2026-03-02T08:00:00Z"));
    start([](VigilorConfig& c) { c.screenLockingEnabled = true; });

    atDesk(1200.5); // 08:20 the eye falls due
    ASSERT_THAT(nudges(), ElementsAre("Look away"));
    monitor->dismissCurrentEyeBreakPrompt(); // eyeDismissed

    atDesk(1800); // 08:50 the walk falls due (the eye again with it: only the walk is nudged)
    EXPECT_EQ(nudges().back(), "Time to move");
    monitor->clearCurrentWalkBreakPrompt(WellnessEventKind::walkDismissed, "Walk popup dismissed");

    away(80); // a minute's walk after the 20 s threshold: one eye rest and one walk credited
    atDesk(1);

    monitor->lockScreen("Manual"); // a locked absence of ten minutes
    ASSERT_TRUE(h.finishLockRequest());
    h.session->lockInfo = SessionLockInfo{true, std::nullopt};
    h.session->handlers.sessionDidResignActive();
    missFace(*monitor);
    h.runLoop.loop().advance(600);
    h.session->lockInfo = SessionLockInfo{false, std::nullopt};
    h.session->handlers.sessionDidBecomeActive();
    atDesk(1);

    size_t eye = 0, walks = 0, locks = 0, dismissals = 0;
    for (auto kind : ledgerKinds(*monitor)) {
        eye += kind == WellnessEventKind::eyeRest;
        walks += kind == WellnessEventKind::movementCredit;
        locks += kind == WellnessEventKind::lockAway;
        dismissals += kind == WellnessEventKind::eyeDismissed || kind == WellnessEventKind::walkDismissed;
    }
    // The locked absence is credited once: its eye rest and walk are not counted a second time.
    EXPECT_EQ(locks, 1u);
    EXPECT_EQ(dismissals, 2u);
    ASSERT_TRUE(monitor->wellnessHistory().deskHealth());
    // By hand: eye = min(eye/8, 1), move = min(walks/6, 1), follow = followed / (followed + 2).
    const double followed = double(eye + walks + locks);
    const double score = (followed / (followed + 2) * 0.2 +
                          (std::min(eye / 8.0, 1.0) * 0.4 + std::min(walks / 6.0, 1.0) * 0.4)) *
                         100;
    EXPECT_EQ(monitor->wellnessHistory().deskHealth()->today.score, roundedInteger(score))
        << eye << " eye rests, " << walks << " walks";
}
