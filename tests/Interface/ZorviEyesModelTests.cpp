#include "Vigilor/Interface/ZorviEyesModel.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <gtest/gtest.h>

namespace {

using ZorviMenuIcon::EyeState;
namespace Eyes = ZorviEyesModel;

constexpr ZorviEyesInputs here{.facePresent = true};
ZorviEyesInputs with(void (*change)(ZorviEyesInputs&)) {
    ZorviEyesInputs in = here;
    change(in);
    return in;
}

// A moment 0.05 s into a blink, and one well outside it (absolute time since 2001).
const Date blinking(5.8 * 1000 + 0.05);
const Date open(5.8 * 1000 + 3);

TEST(ZorviEyesModel, EyeStateTakesTheFirstMatchingRule) {
    const struct {
        const char* name;
        ZorviEyesInputs in;
        bool reduceMotion;
        Date at;
        EyeState expected;
    } cases[] = {
        {"present, between blinks", here, false, open, EyeState::normal},
        {"present, in the blink", here, false, blinking, EyeState::blink},
        {"present, in the blink, reduce motion", here, true, blinking, EyeState::normal},
        {"snoozed rests", with([](auto& i) { i.isSnoozed = true; }), false, open, EyeState::rest},
        {"blocked and paused rests", with([](auto& i) { i.isBlocked = i.isPaused = true; }), false, open,
         EyeState::rest},
        {"blocked is alert before looking away", with([](auto& i) { i.isBlocked = i.isLookingAway = true; }),
         false, blinking, EyeState::alert},
        {"looking away glances, never blinks", with([](auto& i) { i.isLookingAway = true; }), false, blinking,
         EyeState::glance},
        {"no face is alert, also under reduce motion", with([](auto& i) { i.facePresent = false; }), true,
         open, EyeState::alert},
        {"before 2001, in the blink", here, false, Date(-5.8 + 0.1), EyeState::blink},
        {"before 2001, just after the blink", here, false, Date(-5.8 + 0.2), EyeState::normal},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Eyes::resolvedEyeState(c.in, c.reduceMotion, c.at), c.expected) << c.name;
}

TEST(ZorviEyesModel, TheNextBlinkEdgeIsWhereTheStateFlips) {
    for (const Date at : {blinking, open, Date(0), Date(-3)}) {
        const Date edge = Eyes::nextBlinkEdge(at);
        EXPECT_GT(edge, at);
        EXPECT_LE(edge.timeIntervalSince(at), Eyes::blinkCycle - Eyes::blinkDuration + 1e-9);
        const EyeState before = Eyes::resolvedEyeState(here, false, edge.addingTimeInterval(-1e-6));
        EXPECT_EQ(before, Eyes::resolvedEyeState(here, false, at)) << "no flip before the edge";
        EXPECT_NE(before, Eyes::resolvedEyeState(here, false, edge.addingTimeInterval(1e-6)));
    }
}

TEST(ZorviEyesModel, TintBadgeMouthAndLabel) {
    const struct {
        const char* name;
        ZorviEyesInputs in;
        QColor tint;
        const char* badge; // "" for none
        double mouth;
        const char* label;
    } cases[] = {
        {"present, watch near", with([](auto& i) { i.watchPresent = true; }), Theme::success(), "", 71,
         "Zorvi, you are here, Watch near"},
        {"present alone", here, Theme::notice(), "", 71, "Zorvi, you are here, Watch not near"},
        {"face absent", with([](auto& i) { i.facePresent = false; }), Theme::critical(), "", 59,
         "Zorvi, watching for your return, Watch not near"},
        {"looking away", with([](auto& i) { i.isLookingAway = true; }), Theme::warning(), "", 59,
         "Zorvi, looking away, Watch not near"},
        {"paused, face absent: not critical, no badge",
         with([](auto& i) { i.isPaused = true, i.facePresent = false; }), Theme::notice(), "", 59,
         "Zorvi, paused, Watch not near"},
        {"blocked and paused", with([](auto& i) { i.isBlocked = i.isPaused = true; }), Theme::critical(),
         "lock.fill", 59, "Zorvi, paused, Watch not near"},
        {"snoozed, walk due: the snooze badge", with([](auto& i) { i.isSnoozed = i.walkBreakDue = true; }),
         Theme::warning(), "zzz", 59, "Zorvi, you are here, Watch not near, walk due, snoozed"},
        {"walk due", with([](auto& i) { i.walkBreakDue = i.watchPresent = true; }), Theme::warning(),
         "figure.walk", 71, "Zorvi, you are here, Watch near, walk due"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Eyes::tintColor(c.in), c.tint) << c.name;
        const auto badge = Eyes::badge(c.in);
        EXPECT_EQ(badge ? badge->systemImage : "", c.badge) << c.name;
        EXPECT_EQ(Eyes::mouthControlY(c.in, Eyes::resolvedEyeState(c.in, false, open)), c.mouth) << c.name;
        EXPECT_EQ(Eyes::accessibilityLabel(c.in), c.label) << c.name;
    }
    EXPECT_EQ(Eyes::mouthControlY(here, EyeState::blink), 59) << "a blink frowns for its instant";
}

} // namespace
