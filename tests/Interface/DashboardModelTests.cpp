#include "Monitor/StatusSummariesScene.h"
#include "Support/DeskHealthSamples.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Interface/MovementCard.h"
#include "Vigilor/Interface/StatusWindowModel.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <cmath>
#include <limits>

namespace {

using DeskHealthSamples::day;

WellnessPeriodSummary period(int64_t followed, int64_t opportunities, int64_t credits = 0,
                             int64_t skipped = 0, int64_t walkDismissed = 0) {
    WellnessPeriodSummary s;
    s.label = "Today";
    s.followedCount = followed;
    s.opportunityCount = opportunities;
    s.movementCredits = credits;
    s.skippedWalks = skipped;
    s.walkDismissed = walkDismissed;
    return s;
}

TEST(DashboardTints, TilesTakeThePanelColourFromAFollowRateOf75AndOrangeOtherwise) {
    const struct {
        const char* name;
        WellnessPeriodSummary summary;
        QColor rhythm;
        QColor walk;
    } rows[] = {
        {"exactly 75", period(3, 4, 3, 1), Theme::success(), Theme::notice()},
        {"74", period(74, 100, 74, 20, 6), SystemColor::orange(), SystemColor::orange()},
        {"74.5 rounds up to 75", period(149, 200, 149, 51), Theme::success(), Theme::notice()},
        {"no opportunities", period(0, 0), SystemColor::orange(), SystemColor::orange()},
        {"all followed", period(5, 5, 2), Theme::success(), Theme::notice()},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(rhythmTileTint(r.summary), r.rhythm) << r.name;
        EXPECT_EQ(walkTileTint(r.summary), r.walk) << r.name;
    }
}

TEST(DashboardTints, BandsSplitAt50And80AndNegativeScoresAreBuilding) {
    const struct {
        int64_t score;
        QColor colour;
        const char* title;
    } rows[] = {{-5, Theme::warning(), "Building"}, {0, Theme::warning(), "Building"},
                {49, Theme::warning(), "Building"}, {50, Theme::notice(), "On track"},
                {79, Theme::notice(), "On track"},  {80, Theme::success(), "Strong"},
                {100, Theme::success(), "Strong"}};
    for (const auto& r : rows) {
        EXPECT_EQ(bandColour(r.score), r.colour) << r.score;
        DeskHealthSummary summary;
        summary.hasEnoughData = true;
        summary.today = day(10, r.score);
        summary.history = {day(9, 60), summary.today};
        const DeskHealthModel model = deskHealthModel(summary);
        EXPECT_EQ(model.tint, r.colour) << r.score;
        EXPECT_EQ(title(model.band), r.title) << r.score;
        EXPECT_EQ(model.strip.back().fill, r.colour) << r.score << ": today's bar, fully opaque";
        EXPECT_EQ(model.strip.front().fill, withOpacity(Theme::notice(), 0.7)) << "earlier days at 0.7";
    }
}

TEST(DashboardGeometry, EmptyValuesStillDrawTheirMinimumMarks) {
    EXPECT_EQ(componentBarFillWidth(200, 0), 4);
    EXPECT_EQ(componentBarFillWidth(200, 1), 4);
    EXPECT_EQ(componentBarFillWidth(200, 50), 100);
    EXPECT_EQ(componentBarFillWidth(200, 100), 200);
    EXPECT_EQ(scoreRingTrim(0), 0.001);
    EXPECT_EQ(scoreRingTrim(-3), 0.001);
    EXPECT_EQ(scoreRingTrim(50), 0.5);
    EXPECT_EQ(scoreRingTrim(100), 1);

    const struct {
        const char* name;
        DailyWellnessScore day;
        double height;
    } bars[] = {{"score 0 with data", day(1, 0), 6},
                {"score 10", day(1, 10), 6},
                {"score 50", day(1, 50), 24},
                {"score 100", day(1, 100), 48},
                {"no data", day(1, 0, false), 4}};
    for (const auto& b : bars)
        EXPECT_EQ(dayBar(b.day, false).height, b.height) << b.name;
    EXPECT_EQ(dayBar(day(1, 0, false), true).fill, Theme::hairline()) << "no data: hairline, even today";
}

TEST(DashboardGeometry, TheProgressBarClampsItsValueAndKeepsTheKnobInsideTheTrack) {
    const struct {
        const char* name;
        double value;
        double phase;
        HabitBarGeometry expected;
    } rows[] = {
        {"empty: a stub as wide as the bar is high", 0, 0, {0, 14, 0.82, -46, 1.5, 1}},
        {"below zero", -1, 0, {0, 14, 0.82, -46, 1.5, 1}},
        {"not a number", std::nan(""), 0, {0, 14, 0.82, -46, 1.5, 1}},
        {"half, sweep half way", 0.5, 0.5, {0.5, 100, 0.82, 27, 87.5, 1}},
        {"full", 1, 1, {1, 200, 0.95, 200, 187.5, 1.08}},
        {"above one draws as one", 1.7, 1, {1, 200, 0.95, 200, 187.5, 1.08}},
    };
    for (const auto& r : rows) {
        const HabitBarGeometry g = habitBarGeometry(r.value, 200, 14, r.phase);
        EXPECT_EQ(g.fraction, r.expected.fraction) << r.name;
        EXPECT_EQ(g.fillWidth, r.expected.fillWidth) << r.name;
        EXPECT_EQ(g.fillOpacity, r.expected.fillOpacity) << r.name;
        EXPECT_EQ(g.highlightOffset, r.expected.highlightOffset) << r.name;
        EXPECT_EQ(g.knobOffset, r.expected.knobOffset) << r.name;
        EXPECT_EQ(g.knobScale, r.expected.knobScale) << r.name;
    }
    EXPECT_NEAR(habitBarPhase(Date(0.9)), 0.5, 1e-9);
    EXPECT_NEAR(habitBarPhase(Date(1800 + 0.45)), 0.25, 1e-9);
    EXPECT_NEAR(habitBarPhase(Date(-0.45)), 0.75, 1e-9) << "before 2001 the sweep keeps its pace";
}

TEST(DashboardGeometry, TheDialHasTwelveHourAndSixtyMinuteTicksWithTheFirstMarked) {
    const auto hours = dialHourTicks();
    const auto minutes = dialMinuteTicks();
    ASSERT_EQ(hours.size(), 12u);
    ASSERT_EQ(minutes.size(), 60u);
    EXPECT_EQ(hours[0], (DialTick{0, 2, 10, 0.22, 77}));
    EXPECT_EQ(hours[3], (DialTick{90, 2, 6, 0.1, 77}));
    EXPECT_EQ(hours[11], (DialTick{330, 2, 6, 0.1, 77}));
    EXPECT_EQ(minutes[0], (DialTick{0, 1, 6, 0.14, 62}));
    EXPECT_EQ(minutes[15], (DialTick{90, 1, 3, 0.055, 62}));
    EXPECT_EQ(minutes[59], (DialTick{354, 1, 3, 0.055, 62}));
}

TEST(DashboardTexts, TheRecoveryCardShowsTheKnownFiguresAndItsBandCapitalised) {
    const struct {
        const char* name;
        RecoveryMirror mirror;
        bool visible;
        std::vector<RecoveryFigure> figures;
        std::string band;
        QColor tint;
    } rows[] = {
        {"at start", {}, false, {}, "Unknown", SystemColor::orange()},
        {"heart-rate variability only",
         {52.4, std::nullopt, "steady"},
         true,
         {{"HRV", "52", "ms"}},
         "Steady",
         Theme::notice()},
        {"both, band in capitals",
         {61.6, 48.2, "STRONG"},
         true,
         {{"HRV", "62", "ms"}, {"Resting HR", "48", "bpm"}},
         "Strong",
         Theme::success()},
        {"an unknown word of two",
         {std::nullopt, 55.0, "very good"},
         true,
         {{"Resting HR", "55", "bpm"}},
         "Very Good",
         SystemColor::orange()},
    };
    for (const auto& r : rows) {
        const RecoveryCardModel m = recoveryCardModel(r.mirror);
        EXPECT_EQ(m.visible, r.visible) << r.name;
        EXPECT_EQ(m.figures, r.figures) << r.name;
        EXPECT_EQ(m.band, r.band) << r.name;
        EXPECT_EQ(m.tint, r.tint) << r.name;
    }
}

// The window's model read from a monitor on fakes.
struct DashboardModel : SummaryScene {
    StatusWindowModel model() { return statusWindowModel(*monitor); }
    MovementCardModel movement() {
        const StatusWindowModel m = model();
        return movementCardModel(*monitor, h.clock.now(), m.movementTint, m.postureTint, m.poseTint);
    }
};

TEST_F(DashboardModel, MetersReadDueOnlyFromAnEnabledBreakWhoseTimeHasRunOut) {
    const struct {
        const char* name;
        Scene setup;
        std::vector<StatusMeterModel> meters;
    } rows[] = {
        {"calm",
         [](auto&) {},
         {{"Eyes", "On track", "until look-away", 0, Theme::success()},
          {"Move", "On track", "until stand or walk", 0, Theme::notice()}}},
        {"eye time exactly up",
         [](auto& t) { t.after(1200); },
         {{"Eyes", "Due now", "20 sec distant focus", 1, SystemColor::orange()},
          {"Move", "On track", "until stand or walk", 0.4, Theme::notice()}}},
        {"both off, long after",
         [](auto& t) {
             t.settings([](VigilorConfig& c) { c.eyeBreakEnabled = c.walkBreakEnabled = false; });
             t.after(99'999);
         },
         {{"Eyes", "On track", "until look-away", 0, Theme::success()},
          {"Move", "On track", "until stand or walk", 0, Theme::notice()}}},
        {"walk due, posture hints on",
         [](auto& t) {
             t.settings([](VigilorConfig& c) {
                 c.eyeBreakEnabled = false;
                 c.bodyPoseHintsEnabled = true;
             });
             t.after(3000);
         },
         {{"Eyes", "On track", "until look-away", 0, Theme::success()},
          {"Move", "Due now", "50m 00s at desk - walk still due", 1, SystemColor::orange()},
          {"Posture", "Upright", "", std::nullopt, Theme::success()}}},
    };
    for (const auto& r : rows) {
        reset();
        r.setup(*this);
        auto meters = model().meters;
        if (meters.size() == 3)
            meters[2].detail = ""; // the posture detail is the monitor's own text
        EXPECT_EQ(meters, r.meters) << r.name;
    }
}

TEST_F(DashboardModel, TheMovementCardCountsFromTheLastWalkAndHidesTheClockWhileWalksAreOff) {
    const struct {
        const char* name;
        Scene setup;
        MovementWatchFaceInputs face;
        std::string label;
    } rows[] = {
        {"five minutes in",
         [](auto& t) { t.after(305); },
         {"05:05", "44:55", "", 5.0 / 60, 305.0 / 3000, false, Theme::notice()},
         "Movement: at desk, walk in 44:55"},
        {"walks off",
         [](auto& t) {
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
             t.after(30);
         },
         {"00:30", "--:--", "", 0.5, 0, false, Theme::notice()},
         "Movement: at desk, walk in --:--"},
        {"due",
         [](auto& t) { t.after(3000); },
         {"50:00", "00:00", "", 0, 1, true, Theme::warning()},
         "Movement: walk due"},
        {"over an hour, hours dropped from the clock",
         [](auto& t) {
             t.settings([](VigilorConfig& c) { c.walkBreakInterval = 5400; });
             t.after(3725);
         },
         {"02:05", "27:55", "1h seated", 5.0 / 60, 3725.0 / 5400, false, Theme::notice()},
         "Movement: at desk, walk in 27:55"},
        {"last walk in the future",
         [](auto& t) { t.after(-90); },
         {"00:00", "51:30", "", 0, 0, false, Theme::notice()},
         "Movement: at desk, walk in 51:30"},
    };
    for (const auto& r : rows) {
        reset();
        r.setup(*this);
        const MovementCardModel m = movement();
        EXPECT_EQ(m.face.elapsedClock, r.face.elapsedClock) << r.name;
        EXPECT_EQ(m.face.remainingClock, r.face.remainingClock) << r.name;
        EXPECT_EQ(m.face.hourNote, r.face.hourNote) << r.name;
        EXPECT_NEAR(m.face.secondsProgress, r.face.secondsProgress, 1e-9) << r.name;
        EXPECT_NEAR(m.face.minutesProgress, r.face.minutesProgress, 1e-9) << r.name;
        EXPECT_EQ(m.face.isDue, r.face.isDue) << r.name;
        EXPECT_EQ(m.face.tint, r.face.tint) << r.name;
        EXPECT_EQ(m.accessibilityLabel, r.label) << r.name;
        EXPECT_EQ(m.capsule, r.face.isDue ? "Due" : "Walk in") << r.name;
    }
}

TEST_F(DashboardModel, TintsFollowTheLevelsAndTheHeroMarksOnlyTheBlockedPhase) {
    reset();
    hints();
    face([](FrameAnalysisResult& r) { r.bodyPose = BodyPose::outOfFrame; });
    face([](FrameAnalysisResult& r) {
        r.isLookingAway = true;
        r.yawDegrees = 30.0;
    });
    StatusWindowModel m = model();
    EXPECT_EQ(m.heroTint, Theme::warning()) << "looking away";
    EXPECT_EQ(movement().cameraFrame.tint, Theme::warning());
    EXPECT_EQ(m.postureTint, Theme::warning()) << "twisted";
    EXPECT_FALSE(m.mark.isBlocked);

    noFace();
    lastSeen(4.47);
    EXPECT_EQ(model().signalRows[2], (SignalRow{"Face", "Missing for 4.5s"}));
    EXPECT_EQ(movement().presenceLine, "Away from desk");
    noCamera();
    m = model();
    EXPECT_TRUE(m.mark.isBlocked);
    EXPECT_EQ(m.heroTint, Theme::critical());
    EXPECT_EQ(m.postureTint, Theme::critical()) << "an absence the camera cannot see is still an absence";
    EXPECT_EQ(m.signalRows[2], (SignalRow{"Face", "No camera"}));
    EXPECT_EQ(m.signalRows[5], (SignalRow{"Compatibility", compatibilityRequirement}));
    EXPECT_EQ(movement().presenceLine, "No camera found") << "a camera that sees nothing claims no absence";
}

TEST_F(DashboardModel, TheLockCardShowsTheNewestSixLinesAndCountsThemAll) {
    reset();
    for (int i = 0; i < 14; ++i)
        MonitorInternals::log(*monitor).appendLockEvent("Event " + std::to_string(i));
    const StatusWindowModel m = model();
    ASSERT_EQ(m.lockRows.size(), 6u);
    EXPECT_EQ(m.lockRows.front().text, "Event 13");
    EXPECT_EQ(m.lockEventCount, 12u);
    EXPECT_EQ(m.pauseTitle, "Pause");
}

} // namespace
