#include "Monitor/StatusSummariesScene.h"

#include <limits>

using L = NudgeLevel;

// The words the views show for each body pose; a calm pose is exactly one that shows the body. Only
// the "Face only" rows leave the body out of the desk's detail.
TEST(BodyPoseWords, EachPoseHasItsTextsAndLevel) {
    const struct {
        BodyPose pose;
        const char *summary, *detail;
        NudgeLevel level;
    } rows[] = {
        {BodyPose::starting, "Face only", "wide view helps", L::worthAdjusting},
        {BodyPose::off, "Off", "disabled", L::worthAdjusting},
        {BodyPose::outOfFrame, "Face only", "body out of frame", L::worthAdjusting},
        {BodyPose::unreadable, "Face only", "body unavailable", L::worthAdjusting},
        {BodyPose::leaning, "Leaning", "shoulder tilt", L::worthAdjusting},
        {BodyPose::offCenter, "Off center", "recenter camera", L::worthAdjusting},
        {BodyPose::wideView, "Wide view", "torso and legs visible", L::allCalm},
        {BodyPose::upperBodyAndHips, "Upper body", "shoulders and hips", L::allCalm},
        {BodyPose::upperBody, "Upper body", "shoulders visible", L::allCalm},
        {BodyPose::lowLight, "Low light", "too dark to see clearly", L::worthAdjusting},
        {BodyPose::darkRoom, "Dark room", "away-lock proceeding after inactivity", L::presenceCheck},
        {BodyPose::remote, "Remote", "screen sharing", L::presenceCheck},
        {BodyPose::away, "Away", "not visible", L::presenceCheck},
    };
    for (const auto& r : rows) {
        const BodyPoseWords words = bodyPoseWords(r.pose);
        EXPECT_STREQ(words.bodyPoseSummary, r.summary) << r.detail;
        EXPECT_STREQ(words.bodyPoseDetail, r.detail);
        EXPECT_EQ(words.bodyPoseLevel, r.level) << r.detail;
        EXPECT_EQ(words.faceOnly, std::string_view(r.summary) == "Face only") << r.detail;
        EXPECT_EQ(r.level == L::allCalm, FrameAnalysis::bodyEvidence(r.pose) == BodyEvidence::present)
            << r.detail;
    }
}

TEST_F(SummaryScene, GazeWordsAndColours) {
    const struct {
        const char* name;
        Scene setup;
        const char* summary;
        NudgeLevel level;
    } cases[] = {
        {"looking here", [](auto&) {}, "Looking here", L::allCalm},
        {"looking away", [](auto& t) { t.face([](FrameAnalysisResult& r) { r.isLookingAway = true; }); },
         "Looking away", L::worthAdjusting},
        {"no face",
         [](auto& t) {
             t.noFace(); // a missed face counts as looking away
         },
         "Away", L::presenceCheck},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->coachingSummaries().focusSummary(), c.summary) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().focusLevel(), c.level) << c.name;
    }
}

TEST_F(SummaryScene, DistanceComparesTheFaceWidthWithItsBaseline) {
    const struct {
        const char* name;
        Scene setup;
        const char* summary;
        NudgeLevel level;
        const char* detail;
    } cases[] = {
        {"hints off", [](auto& t) { t.faceWidthRatio(1.5); }, "Coaching off", L::worthAdjusting,
         "core lock only"},
        {"no width", [](auto& t) { t.hints(); }, "Face not visible", L::presenceCheck, "Camera needs face"},
        {"no baseline yet",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.faceWidth = 0.3; });
         },
         "Learning", L::worthAdjusting, "Auto-calibrating"},
        {"a zero baseline is not a baseline",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.faceWidth = 0.3; });
             MonitorInternals::camera(*t.monitor).setDistanceBaseline(0.0);
         },
         "Learning", L::worthAdjusting, "Auto-calibrating"},
        {"above danger",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.36);
         },
         "Too close", L::presenceCheck, "136% of usual"},
        {"exactly danger is still above warning",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.35);
         },
         "Lean back", L::worthAdjusting, "135% of usual"},
        {"exactly warning",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.18);
         },
         "Distance OK", L::allCalm, "118% of usual"},
        {"half a percent rounds away from zero",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.125);
         },
         "Distance OK", L::allCalm, "113% of usual"},
        {"exactly far",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(0.72);
         },
         "Distance OK", L::allCalm, "72% of usual"},
        {"below far",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(0.5);
         },
         "Far from baseline", L::worthAdjusting, "50% of usual"},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->coachingSummaries().distanceSummary(), c.summary) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().distanceLevel(), c.level) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().distanceDetail(), c.detail) << c.name;
    }
}

TEST_F(SummaryScene, PostureFromYawThenDistance) {
    const struct {
        const char* name;
        Scene setup;
        const char* summary;
        const char* detail;
        NudgeLevel level = L::worthAdjusting;
    } cases[] = {
        {"hints off", [](auto& t) { t.face([](FrameAnalysisResult& r) { r.yawDegrees = 40.0; }); },
         "Core only", "coaching off"},
        {"no face",
         [](auto& t) {
             t.hints();
             t.noFace();
         },
         "Away", "no face", L::presenceCheck},
        {"no face and no camera to see one",
         [](auto& t) {
             t.hints();
             t.noFace();
             t.noCamera();
         },
         "No camera", "No camera found", L::presenceCheck},
        {"turned exactly the limit",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.yawDegrees = 18.0; });
             t.faceWidthRatio(1.5);
         },
         "Twisted", "18 deg turn"},
        {"turned the other way, rounded",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.yawDegrees = -20.5; });
         },
         "Twisted", "21 deg turn"},
        {"too close",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.yawDegrees = 17.0; }); // the frames give whole degrees
             t.faceWidthRatio(1.4);
         },
         "Leaning in", "140% of usual"},
        {"lean back",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.2);
         },
         "Forward", "120% of usual"},
        {"far counts as upright",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(0.5);
         },
         "Upright", "baseline", L::allCalm},
        {"nothing known", [](auto& t) { t.hints(); }, "Upright", "baseline", L::allCalm},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->coachingSummaries().postureSummary(), c.summary) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().postureDetail(), c.detail) << c.name;
        EXPECT_EQ(postureWords(monitor->coachingSummaries().posture()).level, c.level) << c.name;
    }
}

TEST_F(SummaryScene, FaceHeightAgainstItsBaseline) {
    const struct {
        const char* name;
        Scene setup;
        const char* summary;
        const char* detail;
        NudgeLevel level = L::gentleNudge;
    } cases[] = {
        {"away", [](auto& t) { t.noFace(); }, "Away", "not visible"},
        {"screen sharing",
         [](auto& t) {
             t.noFace();
             t.screenSharing();
         },
         "Remote", "screen sharing"},
        {"no baseline", [](auto& t) { t.face([](FrameAnalysisResult& r) { r.faceCenterY = 0.5; }); },
         "Learning", "face height"},
        // 0.2 - 0.1 and 0.1 - 0.05 are exactly 0.1 and 0.05 in binary floating point.
        {"exactly 0.1 higher is usual", [](auto& t) { t.faceHeight(0.2, 0.1); }, "Usual", "+10% height",
         L::allCalm},
        {"exactly 0.05 higher is reported", [](auto& t) { t.faceHeight(0.1, 0.05); }, "Usual", "+5% height",
         L::allCalm},
        {"exactly 0.05 lower carries its sign", [](auto& t) { t.faceHeight(0.05, 0.1); }, "Usual",
         "-5% height", L::allCalm},
        {"within the baseline band", [](auto& t) { t.faceHeight(0.54, 0.5); }, "Usual", "baseline",
         L::allCalm},
        {"higher", [](auto& t) { t.faceHeight(0.65, 0.5); }, "Higher", "+15% height"},
        {"lower", [](auto& t) { t.faceHeight(0.3, 0.5); }, "Lower", "-20% height"},
    };
    ASSERT_EQ(0.2 - 0.1, 0.1);
    ASSERT_EQ(0.1 - 0.05, 0.05);
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->coachingSummaries().deskPoseSummary(), c.summary) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().deskPoseDetail(), c.detail) << c.name;
        EXPECT_EQ(deskPoseWords(monitor->coachingSummaries().deskPose()).level, c.level) << c.name;
    }

    reset();
    noFace();
    EXPECT_EQ(monitor->coachingSummaries().deskFrameDetail(), "not visible");
    FrameAnalysisResult body; // the desk in view without the face
    body.bodyPresenceConfirmed = true;
    body.bodyPose = BodyPose::upperBody;
    MonitorInternals::camera(*monitor).applyFrameResult(body);
    EXPECT_EQ(monitor->coachingSummaries().deskFrameDetail(), "not visible, shoulders visible");
}

TEST_F(SummaryScene, BreakCountdownsRunFromTheAnchors) {
    const double never = std::numeric_limits<double>::max();
    const struct {
        const char* name;
        bool eyes, walks;
        double at;
        double eyeLeft, walkLeft;
        const char *eyeText, *walkText, *walkDetail;
        double eyeProgress, walkProgress;
        const char* hourNote;
    } cases[] = {
        {"start", true, true, 0, 1200, 3000, "Look away in 20:00", "Move in 50:00", "Stand or walk 1m", 0, 0,
         ""},
        {"ten minutes", true, true, 600, 600, 2400, "Look away in 10:00", "Move in 40:00", "Stand or walk 1m",
         0.5, 0.2, ""},
        {"eye interval over", true, true, 1200, 0, 1800, "Look away now", "Move in 30:00", "Stand or walk 1m",
         1, 0.4, ""},
        {"walk interval over", true, true, 3000, -1800, 0, "Look away now", "Move now",
         "50m 00s at desk - walk still due", 1, 1, ""},
        {"not quite an hour", true, true, 3599.9, -2399.9, -599.9, "Look away now", "Move now",
         "1h 0m at desk - walk still due", 1, 1, ""},
        {"an hour", true, true, 3600, -2400, -600, "Look away now", "Move now",
         "1h 0m at desk - walk still due", 1, 1, "1h seated"},
        {"two hours", true, true, 7300, -6100, -4300, "Look away now", "Move now",
         "2h 1m at desk - walk still due", 1, 1, "2h seated"},
        {"breaks off still count down in words", false, false, 3000, never, never, "Look away now",
         "Move now", "Stand or walk 1m", 0, 0, ""},
        {"before the anchor", true, true, -30, 1230, 3030, "Look away in 20:30", "Move in 50:30",
         "Stand or walk 1m", 0, 0, ""},
    };
    // The clock sits at 800,000,000 s, so times read back to about 1e-7 s.
    for (const auto& c : cases) {
        reset();
        settings([&](VigilorConfig& config) {
            config.eyeBreakEnabled = c.eyes;
            config.walkBreakEnabled = c.walks;
        });
        after(c.at);
        EXPECT_NEAR(monitor->coachingSummaries().eyeBreakRemaining(), c.eyeLeft, 1e-6) << c.name;
        EXPECT_NEAR(monitor->coachingSummaries().walkBreakRemaining(), c.walkLeft, 1e-6) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().eyeBreakSummary(), c.eyeText) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().walkBreakSummary(), c.walkText) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().walkBreakDetail(), c.walkDetail) << c.name;
        EXPECT_NEAR(monitor->coachingSummaries().eyeBreakProgress(), c.eyeProgress, 1e-6) << c.name;
        EXPECT_NEAR(monitor->coachingSummaries().walkBreakProgress(), c.walkProgress, 1e-6) << c.name;
        EXPECT_NEAR(monitor->coachingSummaries().movementMinutesProgress(), c.walkProgress, 1e-6) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().movementElapsedHourNote(), c.hourNote) << c.name;
    }
}

// No product operation sets a snooze today; the rule is checked on its own.
TEST(Snooze, RunsUntilItsEnd) {
    const struct {
        const char* name;
        std::optional<double> endsIn;
        bool snoozed;
        double remaining;
    } cases[] = {
        {"none", std::nullopt, false, 0},
        {"ninety seconds left", 90, true, 90},
        {"ends now", 0, false, 0},
        {"ended", -5, false, 0},
    };
    const Date now(800'000'000);
    for (const auto& c : cases) {
        std::optional<Date> until;
        if (c.endsIn)
            until = now.addingTimeInterval(*c.endsIn);
        EXPECT_EQ(snoozedAt(until, now), c.snoozed) << c.name;
        EXPECT_EQ(snoozeRemainingAt(until, now), c.remaining) << c.name;
    }
}

TEST_F(SummaryScene, WellnessSummaryPutsMovementFirst) {
    expectTexts(*this,
                std::vector<TextCase>{
                    {"both due", [](auto& t) { t.after(3000); }, "Movement due"},
                    {"eyes due", [](auto& t) { t.after(1200); }, "Eyes due"},
                    {"a walk switched off is never due",
                     [](auto& t) {
                         t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
                         t.after(3000);
                     },
                     "Eyes due"},
                    {"nor are eye breaks switched off",
                     [](auto& t) {
                         t.settings([](VigilorConfig& c) {
                             c.walkBreakEnabled = false;
                             c.eyeBreakEnabled = false;
                         });
                         t.after(3000);
                     },
                     "On track"},
                    {"leaning in",
                     [](auto& t) {
                         t.hints();
                         t.faceWidthRatio(1.2);
                     },
                     "Too close"},
                    {"too close",
                     [](auto& t) {
                         t.hints();
                         t.faceWidthRatio(1.5);
                     },
                     "Too close"},
                    {"far is fine",
                     [](auto& t) {
                         t.hints();
                         t.faceWidthRatio(0.5);
                     },
                     "On track"},
                    {"on track", [](auto& t) { t.after(1199); }, "On track"},
                },
                [](const VigilorMonitor& m) {
                    return std::string(wellnessWords(m.coachingSummaries().wellnessStatus()));
                });
}

TEST_F(SummaryScene, NudgeCardAndLevelFollowTheirOwnOrders) {
    const struct {
        const char* name;
        Scene setup;
        const char* title;
        std::string detail;
        const char* image;
        NudgeLevel level;
    } cases[] = {
        {"paused",
         [](auto& t) {
             t.monitor->togglePaused();
             t.noFace();
         },
         "Zorvi is napping", "Wake Zorvi when you want presence checks again.", "moon.zzz.fill",
         L::gentleNudge},
        {"blocked by a refusal",
         [](auto& t) {
             t.h.camera->status = CameraDevice::denied;
             MonitorInternals::camera(*t.monitor).start();
         },
         "Zorvi needs access", "Zorvi may not open the camera; Continue checks again.",
         "exclamationmark.triangle.fill", L::presenceCheck},
        {"screen sharing without a face",
         [](auto& t) {
             t.noFace();
             t.screenSharing();
         },
         "Remote control active", "This computer is being controlled remotely; camera presence is away.",
         "display", L::presenceCheck},
        {"away, armed",
         [](auto& t) {
             t.noFace();
             t.armed();
             t.tick(); // the desk still in view: the lock waits
         },
         "Checking away lock", "Won't lock: recent look-away still counts as present.", "eye.slash.fill",
         L::presenceCheck},
        {"away, not armed", [](auto& t) { t.noFace(); }, "Zorvi lost you", "Coaching only; Auto Lock is off.",
         "eye.slash.fill", L::presenceCheck},
        // Whoever is in view, an armed Auto Lock that cannot lock says so, with the first reason.
        {"armed, in view, no screen locker",
         [](auto& t) {
             t.armed();
             t.h.session->reportLockers(false);
         },
         "Auto Lock cannot lock", "No screen locker found: Zorvi cannot lock this session.", "lock.slash",
         L::presenceCheck},
        {"armed, no camera and no screen locker",
         [](auto& t) {
             t.armed();
             t.h.session->reportLockers(false);
             t.noCamera();
         },
         "Auto Lock cannot lock", "No screen locker found: Zorvi cannot lock this session.", "lock.slash",
         L::presenceCheck},
        {"looking away while a walk is due",
         [](auto& t) {
             t.face([](FrameAnalysisResult& r) { r.isLookingAway = true; });
             t.after(3000);
         },
         "Nice look-away", "Hold for 20s to count it as eye rest.", "eye.fill", L::worthAdjusting},
        {"looking away", [](auto& t) { t.face([](FrameAnalysisResult& r) { r.isLookingAway = true; }); },
         "Nice look-away", "Hold for 20s to count it as eye rest.", "eye.fill", L::gentleNudge},
        {"twisted",
         [](auto& t) {
             t.hints();
             t.face([](FrameAnalysisResult& r) { r.yawDegrees = 30.0; });
         },
         "Square up gently", "Your face is turned away from your usual camera baseline.", "figure.stand",
         L::worthAdjusting},
        {"twisted without hints is calm",
         [](auto& t) { t.face([](FrameAnalysisResult& r) { r.yawDegrees = 30.0; }); }, "You are in view",
         "Eyes, distance, and input look calm.", "face.smiling.fill", L::allCalm},
        {"too close",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.5);
         },
         "Ease back from the screen", "150% of usual", "ruler.fill", L::worthAdjusting},
        {"lean back",
         [](auto& t) {
             t.hints();
             t.faceWidthRatio(1.2);
         },
         "A little more screen space", "120% of usual", "ruler.fill", L::gentleNudge},
        {"both breaks due", [](auto& t) { t.after(3000); }, "Move your back", "Stand or walk for 1m.",
         "figure.walk", L::worthAdjusting},
        {"walk due but switched off",
         [](auto& t) {
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
             t.after(3000);
         },
         "Rest your eyes", "Look at something distant for 20s.", "eye.fill", L::worthAdjusting},
        {"eye due", [](auto& t) { t.after(1200); }, "Rest your eyes", "Look at something distant for 20s.",
         "eye.fill", L::worthAdjusting},
        {"calm", [](auto& t) { t.after(1199.5); }, "You are in view", "Eyes, distance, and input look calm.",
         "face.smiling.fill", L::allCalm},
        {"calm, the watch heard near",
         [](auto& t) {
             t.companion(BluetoothPresenceMode::watch);
             t.heard(1);
         },
         "You are in view", "Eyes, distance, watch, and input look calm.", "face.smiling.fill", L::allCalm},
        {"calm, the radio unavailable",
         [](auto& t) {
             t.companion(BluetoothPresenceMode::either);
             t.radio(BluetoothCentralState::poweredOff);
         },
         "You are in view", "Eyes, distance, and input look calm.", "face.smiling.fill", L::allCalm},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        EXPECT_EQ(monitor->coachingSummaries().nudgeTitle(), c.title) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().nudgeDetail(), c.detail) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().nudgeSystemImage(), c.image) << c.name;
        EXPECT_EQ(monitor->coachingSummaries().nudgeLevel(), c.level) << c.name;
    }
    EXPECT_LT(L::gentleNudge, L::worthAdjusting);
    EXPECT_EQ(nudgeLevelLabel(L::presenceCheck), "Presence check");
}
