#include "Monitor/StatusSummariesScene.h"
#include "Vigilor/Interface/MenuContentModel.h"
#include "Vigilor/Design/ZorviTheme.h"

namespace {

// The menu's view model over the monitor states of the status-summary scene (a user at the desk with
// default settings, nothing due).
struct MenuContentModelTests : SummaryScene {
    MenuContentModel model() const { return menuContentModel(*monitor); }
};

TEST_F(MenuContentModelTests, SectionsAppearWithTheirConditions) {
    const struct {
        const char* name;
        Scene setup;
        bool nudgeCard, permission, lockingOff;
        QColor level;
        const char* label;
    } cases[] = {
        {"calm: no nudge card, gear in success", [](auto&) {}, false, false, false, Theme::success(),
         "All calm"},
        {"looking away: gentle nudge",
         [](auto& t) { t.face([](FrameAnalysisResult& r) { r.isLookingAway = true; }); }, true, false, false,
         Theme::notice(), "Gentle nudge"},
        {"walk due: worth adjusting", [](auto& t) { t.after(3000); }, true, false, false,
         Theme::warning(), "Worth adjusting"},
        {"no face: presence check", [](auto& t) { t.noFace(); }, true, false, false, Theme::critical(),
         "Presence check"},
        {"visual nudges off: no card at level 3",
         [](auto& t) {
             t.noFace();
             t.settings([](VigilorConfig& c) { c.visualNudgesEnabled = false; });
         },
         false, false, false, Theme::critical(), "Presence check"},
        {"screen locking off: the locking-off row",
         [](auto& t) { t.settings([](VigilorConfig& c) { c.screenLockingEnabled = false; }); }, false, false,
         true, Theme::success(), "All calm"},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        const MenuContentModel m = model();
        EXPECT_EQ(m.showNudgeCard, c.nudgeCard) << c.name;
        EXPECT_EQ(m.showPermissionButton, c.permission) << c.name;
        EXPECT_EQ(m.showLockingOffRow, c.lockingOff) << c.name;
        EXPECT_EQ(m.levelTint, c.level) << c.name;
        EXPECT_EQ(m.nudgeLabel, c.label) << c.name;
        EXPECT_EQ(m.nudgeTitle, monitor->coachingSummaries().nudgeTitle()) << c.name;
    }
}

TEST_F(MenuContentModelTests, SignalChipsReadTheirSignals) {
    const struct {
        const char* name;
        Scene setup;
        std::vector<std::string> values;
        std::vector<std::string> symbols;
        std::vector<QColor> tints;
    } cases[] = {
        {"at the desk, input idle",
         [](auto&) {},
         {"Looking here", "off", "Idle"},
         {"person.crop.circle", "applewatch", "keyboard"},
         {Theme::success(), Theme::warning(), SystemColor::secondaryLabel()}},
        {"face missing for 12.34 s, watch near, typing",
         [](auto& t) {
             t.companion(Mode::watch);
             t.advertise();
             t.noFace();
             t.idle(1);
             t.lastSeen(12.34);
         },
         {"12.3s", "Near", "Active"},
         {"eye.slash", "applewatch", "keyboard"},
         {Theme::critical(), Theme::success(), Theme::success()}},
        {"looking away; idle exactly at the grace",
         [](auto& t) {
             t.idle(t.monitor->config().activeInputGrace);
             t.face([](FrameAnalysisResult& r) { r.isLookingAway = true; });
         },
         {"Looking away", "off", "Idle"},
         {"person.crop.circle", "applewatch", "keyboard"},
         {Theme::warning(), Theme::warning(), SystemColor::secondaryLabel()}},
        {"screen sharing, on a call",
         [](auto& t) {
             t.screenSharing();
             t.call(true);
         },
         {"Looking here", "off", "Remote", "On call"},
         {"person.crop.circle", "applewatch", "display", "mic.fill"},
         {Theme::success(), Theme::warning(), Theme::notice(), Theme::notice()}},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        std::vector<std::string> values, symbols;
        std::vector<QColor> tints;
        for (const SignalChipModel& chip : model().chips) {
            values.push_back(chip.value);
            symbols.push_back(chip.systemImage);
            tints.push_back(chip.tint);
        }
        EXPECT_EQ(values, c.values) << c.name;
        EXPECT_EQ(symbols, c.symbols) << c.name;
        EXPECT_EQ(tints, c.tints) << c.name;
    }
}

TEST_F(MenuContentModelTests, MovementCountsDownAndNeverShowsTheOffFigure) {
    const struct {
        const char* name;
        Scene setup;
        bool enabled, due, eyesWalkDue;
        const char* line;
        const char* accessibility;
        const char* symbol;
        QColor tint;
    } cases[] = {
        {"754.4 s left", [](auto& t) { t.after(3000 - 754.4); }, true, false, false, "Walk in 12:34",
         "Movement: walk in 12:34", "chair", Theme::notice()},
        {"exactly due", [](auto& t) { t.after(3000); }, true, true, true, "Time to walk",
         "Movement: time to walk", "figure.walk.motion", Theme::warning()},
        {"walk breaks off, long overdue",
         [](auto& t) {
             t.after(9000);
             t.settings([](VigilorConfig& c) { c.walkBreakEnabled = false; });
         },
         false, false, false, "", "", "", Theme::notice()},
    };
    for (const auto& c : cases) {
        reset();
        c.setup(*this);
        const MenuContentModel m = model();
        EXPECT_EQ(m.walkBreakEnabled, c.enabled) << c.name;
        EXPECT_EQ(m.walkDue, c.due) << c.name;
        EXPECT_EQ(m.eyes.walkBreakDue, c.eyesWalkDue) << c.name;
        EXPECT_EQ(m.movementLine, c.line) << c.name;
        EXPECT_EQ(m.movementAccessibilityLabel, c.accessibility) << c.name;
        EXPECT_EQ(m.movementSystemImage, c.symbol) << c.name;
        EXPECT_EQ(m.movementTint, c.tint) << c.name;
    }
}

TEST_F(MenuContentModelTests, ThePermissionButtonAsksAgainAndBringsBluetoothInLine) {
    const struct {
        const char* name;
        int status;
        const char* lastLine;
        bool blocked;
    } cases[] = {
        {"granted", CameraDevice::authorized, "Camera permission granted", false},
        {"refused", CameraDevice::denied, "Camera permission denied", true},
        {"still undecided", CameraDevice::notDetermined, "Camera permission waiting for user", true},
        {"an unknown status", 7, "Camera status unknown", true},
    };
    for (const auto& c : cases) {
        reset();
        h.camera->status = c.status;
        const auto running = h.camera->lastSession;
        monitor->requestCameraThenBluetooth();
        EXPECT_EQ(h.camera->lastSession, running) << c.name << ": the running camera is not started twice";
        EXPECT_EQ(logTexts(monitor->log().events()).front(), c.lastLine) << c.name;
        EXPECT_EQ(monitor->phase() == MonitorPhase::blocked, c.blocked) << c.name;
        EXPECT_EQ(monitor->companion().bluetoothStatus(), "Bluetooth off in settings") << c.name;
    }
}

} // namespace
