#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/Interface/OnboardingWindowController.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

namespace {

class OnboardingWindowControllerTest : public testing::Test {
protected:
    OffscreenApplication app;
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();
    int completions = 0;
    OnboardingWindowController controller{monitor, [this] { ++completions; }};

    QPushButton* finishButton() { return controller.window()->findChild<QPushButton*>("finish"); }
};

TEST_F(OnboardingWindowControllerTest, FinishButtonCompletesOnceFromTheEventLoop) {
    controller.window()->show();
    ASSERT_NE(finishButton(), nullptr);
    finishButton()->click();
    finishButton()->click();
    EXPECT_EQ(completions, 0) << "completion must not run inside the button's own handler";
    app.processPending();
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(controller.windowDelegate()->isDismissing) << "the finish button leaves the closing to the owner";
}

TEST_F(OnboardingWindowControllerTest, CloseButtonMarksTheWindowDismissingAndCompletesOnce) {
    controller.window()->show();
    controller.window()->close();
    EXPECT_TRUE(controller.windowDelegate()->isDismissing);
    app.processPending();
    EXPECT_EQ(completions, 1);

    controller.window()->show();
    controller.window()->close();
    app.processPending();
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingWindowControllerTest, ClosingByTheOwnerWhileDismissingReportsNothing) {
    controller.window()->show();
    controller.windowDelegate()->isDismissing = true;
    controller.window()->close();
    app.processPending();
    EXPECT_EQ(completions, 0);
}

TEST(OnboardingWindowController, CompletionOfADestroyedControllerIsDropped) {
    OffscreenApplication app;
    MonitorHarness h;
    int completions = 0;
    auto controller = std::make_unique<OnboardingWindowController>(h.makeMonitor(), [&] { ++completions; });
    controller->window()->show();
    controller->window()->close();
    controller.reset();
    app.processPending();
    EXPECT_EQ(completions, 0);
}

} // namespace
