#include "Vigilor/Interface/BreakHUDModel.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <gtest/gtest.h>

namespace {

TEST(BreakHUDModelTests, EyePromptFollowsTheRest) {
    const struct {
        const char* name;
        double remaining;
        bool resting;
        double duration;
        double ring;
        QColor accent;
        const char* centre;
        const char* symbol;
        const char* title;
        const char* detail;
        const char* closeHelp;
    } cases[] = {
        {"not resting yet: empty ring", 20, false, 20, 0, SystemColor::orange(), "20", "", "Look away",
         "Look away from your screen", "Dismiss this look-away"},
        {"resting, 12.5 s left rounds up", 12.5, true, 20, 0.375, SystemColor::green(), "13", "", "Look away",
         "Looking away — keep going", "Dismiss this look-away"},
        {"0.4 s left shows 0", 0.4, true, 20, 0.98, SystemColor::green(), "0", "", "Look away",
         "Looking away — keep going", "Dismiss this look-away"},
        {"more than the rest length: empty", 30, false, 20, 0, SystemColor::orange(), "30", "", "Look away",
         "Look away from your screen", "Dismiss this look-away"},
        {"complete", 0, false, 20, 1, SystemColor::green(), "", "checkmark", "Look back - refreshed",
         "Eye break logged", "Dismiss"},
    };
    for (const auto& c : cases) {
        const BreakHUDModel m = breakHUDModel({BreakHUDKind::eye, c.remaining, c.resting, c.duration, ""});
        EXPECT_DOUBLE_EQ(m.ringFraction, c.ring) << c.name;
        EXPECT_EQ(m.accent, c.accent) << c.name;
        EXPECT_EQ(m.centreText, c.centre) << c.name;
        EXPECT_EQ(m.centreSymbol, c.symbol) << c.name;
        EXPECT_EQ(m.title, c.title) << c.name;
        EXPECT_EQ(m.titleInAccent, m.done) << c.name;
        EXPECT_EQ(m.detail, c.detail) << c.name;
        EXPECT_EQ(m.closeHelp, c.closeHelp) << c.name;
        ASSERT_EQ(m.buttons.size(), 1u) << c.name;
        EXPECT_EQ(m.buttons[0].action, BreakPromptAction::dismissEye) << c.name;
    }
}

TEST(BreakHUDModelTests, WalkPromptIsNeverDone) {
    const BreakHUDModel m = breakHUDModel({BreakHUDKind::walk, 0, false, 20, "1h 2m at desk - walk still due"});
    EXPECT_FALSE(m.done);
    EXPECT_EQ(m.accent, SystemColor::orange());
    EXPECT_EQ(m.ringFraction, 1);
    EXPECT_EQ(m.centreSymbol, "figure.walk.motion");
    EXPECT_EQ(m.title, "Time to walk");
    EXPECT_EQ(m.detail, "1h 2m at desk - walk still due");
    EXPECT_EQ(m.closeHelp, "Dismiss this walk reminder");
    ASSERT_EQ(m.buttons.size(), 2u);
    EXPECT_EQ(m.buttons[0].title, "Skip this walk");
    EXPECT_TRUE(m.buttons[0].prominent);
    EXPECT_EQ(m.buttons[1].title, "Dismiss");
    EXPECT_EQ(m.closeAction, m.buttons[1].action) << "close and Dismiss make the same call";
}

} // namespace
