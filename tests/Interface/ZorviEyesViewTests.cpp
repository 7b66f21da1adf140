#include "Fakes/FakeClock.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Interface/ZorviEyesView.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <gtest/gtest.h>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/interface";

// The mascot drawn 100 wide, so one unit of its grid is one pixel.
struct ZorviEyesViewTests : ::testing::Test {
    OffscreenApplication app;
    FakeClock clock{Date(5.8 * 1000 + 3)}; // between two blinks
    ZorviEyesView view{100, clock};

    QImage draw(const ZorviEyesInputs& in) {
        view.setInputs(in);
        return Pictures::render(view);
    }
    QColor ink(double opacity) const {
        return Pictures::over(SystemColor::primaryLabel(), opacity, Qt::white);
    }
};

TEST_F(ZorviEyesViewTests, EyesAndMouthFollowTheState) {
    const struct {
        const char* name;
        ZorviEyesInputs in;
        bool leftEyeCentre, glanceEyeCentre, aboveBlinkLine, alertRingTop, smileDip;
    } cases[] = {
        {"present", {.facePresent = true}, true, false, false, false, true},
        {"looking-away", {.facePresent = true, .isLookingAway = true}, false, true, false, false, false},
        {"away", {}, true, false, true, true, false},
    };
    for (const auto& c : cases) {
        const QImage image = draw(c.in);
        Pictures::save(image, artifacts, std::string("mascot-") + c.name);
        const auto inked = [&](QPointF at) {
            return Pictures::distance(image.pixelColor(at.toPoint()), Qt::white) > 60;
        };
        EXPECT_EQ(inked({33, 44}), c.leftEyeCentre) << c.name << ": round eye at the left";
        EXPECT_EQ(inked({45, 41}), c.glanceEyeCentre) << c.name << ": eye turned to the right";
        EXPECT_EQ(inked({37, 37}), c.aboveBlinkLine) << c.name << ": tall alert eye";
        EXPECT_EQ(Pictures::pixelsNear(image, {35, 31, 4, 2}, ink(0.88 * 0.28), 12) > 0, c.alertRingTop)
            << c.name;
        // The mouth's middle sits at y 66.5 for a smile and 60.5 for a frown.
        EXPECT_EQ(inked({50, 66}), c.smileDip) << c.name << ": smiling mouth";
        EXPECT_EQ(inked({50, 61}), !c.smileDip) << c.name << ": frowning mouth";
    }
}

TEST_F(ZorviEyesViewTests, BlinksOnAbsoluteTimeButNotUnderReduceMotion) {
    clock.set(Date(5.8 * 1000 + 0.05));
    view.setInputs({.facePresent = true});
    EXPECT_EQ(view.eyeState(), ZorviMenuIcon::EyeState::blink);
    const QImage blinking = Pictures::render(view);
    Pictures::save(blinking, artifacts, "mascot-blink");
    EXPECT_TRUE(Pictures::pixelIs(blinking, {37, 43}, ink(0.88), 40)) << "the closed lid";
    EXPECT_TRUE(Pictures::pixelIs(blinking, {36, 47}, Pictures::over(Theme::notice(), 0.12, Qt::white), 8));

    qputenv(ZorviAccessibility::reduceMotionVariable, "1");
    EXPECT_EQ(view.eyeState(), ZorviMenuIcon::EyeState::normal);
    qunsetenv(ZorviAccessibility::reduceMotionVariable);
}

TEST_F(ZorviEyesViewTests, TintAndBadge) {
    const struct {
        const char* name;
        ZorviEyesInputs in;
        QColor tint;
        bool badge;
    } cases[] = {
        {"watch-near", {.facePresent = true, .watchPresent = true}, Theme::success(), false},
        {"paused-face-absent", {.isPaused = true}, Theme::notice(), false},
        {"blocked", {.facePresent = true, .isBlocked = true}, Theme::critical(), true},
        {"walk-due", {.facePresent = true, .walkBreakDue = true}, Theme::warning(), true},
    };
    for (const auto& c : cases) {
        const QImage image = draw(c.in);
        Pictures::save(image, artifacts, std::string("mascot-") + c.name);
        // The face's outline at its top, where nothing else is drawn.
        EXPECT_TRUE(Pictures::pixelIs(image, {50, 10}, Pictures::over(c.tint, 0.72, Qt::white), 24))
            << c.name;
        // The badge's disc edge, in its own tint, at the lower right (the face outline passes elsewhere).
        EXPECT_EQ(Pictures::pixelsNear(image, {72, 92, 24, 4}, Pictures::over(c.tint, 0.22, Qt::white), 10) >
                      0,
                  c.badge)
            << c.name;
    }
}

} // namespace
