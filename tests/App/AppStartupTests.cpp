#include "Foundation/DefaultsStore.h"
#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Vigilor/App/AppStartup.h"
#include "Vigilor/Interface/OnboardingWindowController.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <string>

namespace {

// Counts the close requests a window receives.
class CloseCounter final : public QObject {
public:
    int closes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        closes += event->type() == QEvent::Close;
        return QObject::eventFilter(watched, event);
    }
};

class AppStartupTest : public testing::Test {
protected:
    std::shared_ptr<AppStartup> launch(bool displayAvailable = true, bool makesWindow = true) {
        AppStartup::Environment environment;
        environment.displayAvailable = displayAvailable;
        environment.monitor = [this] { return monitor; };
        environment.startUpdater = [this] { ++updaterStarts; };
        environment.startWidget = [this] { ++widgetStarts; };
        environment.makeOnboarding = [this, makesWindow](std::shared_ptr<VigilorMonitor> m,
                                                         std::function<void()> onComplete) {
            ++onboardingsMade;
            completeOnboarding = onComplete;
            return makesWindow
                       ? std::make_unique<OnboardingWindowController>(std::move(m), std::move(onComplete))
                       : nullptr;
        };
        auto delegate = AppStartup::create(std::move(environment));
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    std::optional<Json> shownV1() const {
        return DefaultsStore::standard().value(AppStartup::onboardingShownV1Key);
    }

    // Launches with the onboarding window showing and a close counter on it.
    std::shared_ptr<AppStartup> launchShowingOnboarding() {
        auto delegate = launch();
        window = delegate->onboardingWindowController()->window();
        window->installEventFilter(&counter);
        return delegate;
    }

    OffscreenApplication app;
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();
    int onboardingsMade = 0;
    int updaterStarts = 0;
    int widgetStarts = 0;
    std::function<void()> completeOnboarding;
    CloseCounter counter;
    QPointer<QWidget> window;
};

struct FlagCase {
    const char* name;
    bool shownByEarlierVersion; // "zorvi.onboardingShown"
    bool shownV1;               // "zorvi.onboardingShown.v1"
    bool displayAvailable;
    bool makesWindow;
    bool expectShown;
    std::optional<bool> expectedV1; // nothing: never written
};

void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << c.name;
}

class OnboardingFlags : public AppStartupTest, public testing::WithParamInterface<FlagCase> {};

TEST_P(OnboardingFlags, DecideWhetherOnboardingIsShownAndRecorded) {
    const FlagCase& c = GetParam();
    DefaultsStore defaults = DefaultsStore::standard();
    if (c.shownByEarlierVersion)
        defaults.set(AppStartup::onboardingShownKey, true);
    if (c.shownV1)
        defaults.set(AppStartup::onboardingShownV1Key, true);

    auto delegate = launch(c.displayAvailable, c.makesWindow);

    EXPECT_EQ(onboardingsMade, c.expectShown ? 1 : 0);
    EXPECT_EQ(updaterStarts, c.displayAvailable ? 1 : 0);
    const bool windowShown = delegate->onboardingWindowController() &&
                             delegate->onboardingWindowController()->window() &&
                             delegate->onboardingWindowController()->window()->isVisible();
    EXPECT_EQ(windowShown, c.expectShown && c.makesWindow);
    // The widget starts with the application, or once the onboarding window is done (not behind it).
    EXPECT_EQ(widgetStarts, c.displayAvailable && !windowShown ? 1 : 0);
    const auto v1 = shownV1();
    EXPECT_EQ(v1 ? std::optional<bool>(v1->get<bool>()) : std::nullopt, c.expectedV1);
    EXPECT_EQ(defaults.boolValue(AppStartup::onboardingShownKey), c.shownByEarlierVersion);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingFlags,
    testing::Values(FlagCase{"FirstLaunch", false, false, true, true, true, true},
                    FlagCase{"ShownByAnEarlierVersion", true, false, true, true, false, std::nullopt},
                    FlagCase{"ShownBefore", false, true, true, true, false, true},
                    FlagCase{"BothFlags", true, true, true, true, false, true},
                    FlagCase{"NoDisplay", false, false, false, true, false, std::nullopt},
                    FlagCase{"ControllerWithoutWindow", false, false, true, false, true, std::nullopt}),
    [](const testing::TestParamInfo<FlagCase>& info) { return std::string(info.param.name); });

TEST_F(AppStartupTest, SecondLaunchDoesNotShowOnboardingAgain) {
    launch();
    launch();
    EXPECT_EQ(onboardingsMade, 1);
}

TEST_F(AppStartupTest, WithoutADisplayOnlyTheMonitorRuns) {
    auto delegate = launch(false);
    EXPECT_EQ(delegate->monitor(), monitor);
    EXPECT_EQ(delegate->statusItemController(), nullptr);
    EXPECT_EQ(delegate->onboardingWindowController(), nullptr);
}

TEST_F(AppStartupTest, CompletingTwiceClosesTheWindowOnceAndDropsTheController) {
    auto delegate = launchShowingOnboarding();
    completeOnboarding();
    completeOnboarding();
    EXPECT_EQ(widgetStarts, 1) << "the widget, once onboarding is done";
    app.processPending();
    EXPECT_EQ(counter.closes, 1);
    EXPECT_EQ(delegate->onboardingWindowController(), nullptr);
    EXPECT_TRUE(window.isNull());
}

TEST_F(AppStartupTest, WindowClosedByItsCloseButtonIsNotClosedAgain) {
    auto delegate = launchShowingOnboarding();
    window->close();
    app.processPending();
    EXPECT_EQ(counter.closes, 1);
    EXPECT_EQ(delegate->onboardingWindowController(), nullptr);
    EXPECT_TRUE(window.isNull());
}

// The window's own close is under way (its close button was used): completing must not start another.
TEST_F(AppStartupTest, CompletionDuringTheWindowsOwnCloseDoesNotCloseIt) {
    auto delegate = launchShowingOnboarding();
    delegate->onboardingWindowController()->windowDelegate()->isDismissing = true;
    completeOnboarding();
    EXPECT_EQ(counter.closes, 0);
    EXPECT_EQ(delegate->onboardingWindowController(), nullptr);
}

TEST_F(AppStartupTest, FinishButtonClosesTheWindowOnce) {
    auto delegate = launchShowingOnboarding();
    for (auto* button : window->findChildren<QPushButton*>())
        if (button->text() == "Start using Zorvi")
            button->click();
    app.processPending();
    EXPECT_EQ(counter.closes, 1);
    EXPECT_EQ(delegate->onboardingWindowController(), nullptr);
}

} // namespace
