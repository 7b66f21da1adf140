#include "Platform/LinuxQt/X11DisplayPower.h"
#include "Support/TemporaryHome.h"
#include "Support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr int on = 0, standby = 1, off = 3;

struct LookCase {
    const char* name;
    DpmsState state;
    DpmsLook look;
};

// Timeouts of 600 s standby, 900 s suspend and 1200 s off unless a case says otherwise.
DpmsState dpms(bool enabled, int level, bool screenSaverOn, double idle,
               std::array<double, 3> timeouts = {600, 900, 1200}) {
    return {enabled, level, timeouts, idle, screenSaverOn};
}

const LookCase lookCases[] = {
    {"displays on, screen saver off: its coming on will tell",
     dpms(true, on, false, 30),
     {false, std::nullopt}},
    {"powered off", dpms(true, off, true, 1300), {true, std::nullopt}},
    {"standby counts as asleep", dpms(true, standby, true, 700), {true, std::nullopt}},
    {"DPMS disabled: the level says nothing", dpms(false, off, true, 1300), {false, std::nullopt}},
    {"blank screen before the first time-out: look when it falls", dpms(true, on, true, 300), {false, 301.0}},
    {"blank screen between time-outs: the next one", dpms(true, on, true, 650), {false, 251.0}},
    {"a time-out of zero never falls", dpms(true, on, true, 300, {0, 0, 1200}), {false, 901.0}},
    {"every time-out passed, still on: nothing left to wait for",
     dpms(true, on, true, 1300),
     {false, std::nullopt}},
    {"no time-outs at all", dpms(true, on, true, 300, {0, 0, 0}), {false, std::nullopt}},
};

TEST(X11DisplayPower, LooksAtTheDpmsStateAndSaysWhenToLookAgain) {
    for (const auto& c : lookCases) {
        const DpmsLook look = lookAtDpms(c.state);
        EXPECT_EQ(look.asleep, c.look.asleep) << c.name;
        EXPECT_EQ(look.lookAgainInSeconds, c.look.lookAgainInSeconds) << c.name;
    }
}

TEST(X11DisplayPower, WithoutADisplayThereIsNothingToFollow) {
    ScopedVariable noDisplay("DISPLAY", nullptr);
    X11DisplayPower power;
    EXPECT_FALSE(power.start([](bool) {}));
    EXPECT_EQ(power.unavailableReason(), "DISPLAY is not set");
    EXPECT_EQ(power.asleep(), std::nullopt);
}

// Xvfb (Debian 12's at least) has no DPMS extension, which start() says; one that has starts awake.
TEST(X11DisplayPower, AServerWithoutDpmsIsSaidToBeSo) {
    if (const auto missing = VirtualDisplay::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.start()) << display.failure();
    X11DisplayPower power(display.name());
    if (power.start([](bool) {})) {
        EXPECT_EQ(power.asleep(), false);
        return;
    }
    EXPECT_EQ(power.unavailableReason(),
              "the X server of display " + display.name() + " cannot power its displays down (DPMS)");
}

} // namespace
