#include "Support/MonitorHarness.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/OnboardingModel.h"
#include "Vigilor/Interface/OnboardingView.h"
#include "Vigilor/Interface/OnboardingWindowController.h"
#include "Vigilor/Design/ZorviControls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QScrollArea>
#include <QScrollBar>

#include <string>
#include <vector>

namespace {

using testing::ElementsAre;

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/onboarding";

TEST(OnboardingCards, SayWhatZorviDoesFirst) {
    std::vector<std::string> names;
    for (const auto& card : onboardingCards())
        names.push_back(card.name);
    EXPECT_THAT(names, ElementsAre("whatZorviDoes", "privateByDesign", "permissionsSection"));
    const OnboardingCard first = onboardingCards().front();
    EXPECT_THAT(first.body, testing::HasSubstr("It locks your computer automatically"));
    EXPECT_EQ(first.accessibilityLabel, "Zorvi watches your desk using your camera. " + first.body);
}

struct RowsCase {
    std::string name;
    bool bluetoothPresenceEnabled;
    std::vector<OnboardingPermission> rows;
};

class OnboardingRows : public testing::TestWithParam<RowsCase> {};

TEST_P(OnboardingRows, ShowWhatThisSetupUses) {
    EXPECT_EQ(visiblePermissionRows(GetParam().bluetoothPresenceEnabled), GetParam().rows);
}

using P = OnboardingPermission;
INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingRows,
    testing::Values(RowsCase{"All", true, {P::camera, P::appleWatch, P::screenLocking}},
                    RowsCase{"NoBluetooth", false, {P::camera, P::screenLocking}}),
    [](const testing::TestParamInfo<RowsCase>& info) { return info.param.name; });

// Each press's chain looks at 0.5, 2.0 and 5.0 s after it; two presses 1 s apart look six times.
TEST(OnboardingRecheck, ChainsCountFromTheLookBeforeAndAreNeverCancelled) {
    FakeClock clock;
    MainRunLoopScope scope(clock);
    const Date start = clock.now();
    std::vector<double> looks;
    const auto look = [&] { looks.push_back(clock.now().timeIntervalSince(start)); };
    pollPermissionStatus(look);
    scope.loop().advance(1);
    pollPermissionStatus(look);
    scope.loop().advance(10);
    EXPECT_THAT(looks, ElementsAre(0.5, 1.5, 2.0, 3.0, 5.0, 6.0));
    EXPECT_EQ(scope.loop().pendingCount(), 0u);
}

// The window on the harness's monitor, drawn offscreen.
class OnboardingViewTest : public testing::Test {
protected:
    void open() {
        monitor = h.makeMonitor();
        controller = std::make_unique<OnboardingWindowController>(monitor, [] {});
        controller->window()->show();
    }

    // A row shown or hidden re-lays its card, the cards' column and the scroll area, one turn each.
    void settle() {
        for (int turn = 0; turn < 3; ++turn)
            app.processPending();
    }

    QWidget* row(const std::string& title) const {
        return controller->window()->findChild<QWidget*>(QString::fromStdString("row." + title));
    }
    bool shown(const std::string& title) const {
        return row(title) && row(title)->isVisibleTo(controller->window());
    }
    ZorviGlassButton* button(const std::string& title) const {
        return row(title)->findChild<ZorviGlassButton*>("action");
    }
    bool granted(const std::string& title) const { return !button(title)->isVisibleTo(controller->window()); }
    // The newest lines of the activity log, newest first, and how many it holds.
    std::vector<std::string> newestLog(std::size_t count) const {
        const auto texts = logTexts(monitor->log().events());
        return {texts.begin(), texts.begin() + std::ptrdiff_t(std::min(count, texts.size()))};
    }

    OffscreenApplication app;
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;
    std::unique_ptr<OnboardingWindowController> controller;
};

TEST_F(OnboardingViewTest, AnAuthorisedCameraShowsGrantedWithoutAPress) {
    h.camera->status = CameraDevice::authorized;
    open();
    EXPECT_TRUE(granted("Camera"));
    EXPECT_FALSE(granted("Screen locking"));
}

// Without any camera the row says so, and Continue finds one connected since.
TEST_F(OnboardingViewTest, AMissingCameraIsNamedUntilOneIsConnected) {
    h.camera->status = CameraDevice::noDevice;
    open();
    const auto description = [&] { return row("Camera")->findChild<ClampedLabel*>("description")->text().toStdString(); };
    EXPECT_EQ(description(), "No camera found. Connect one, then choose Continue.");
    h.camera->status = CameraDevice::authorized;
    button("Camera")->click();
    h.runLoop.loop().advance(2);
    EXPECT_TRUE(granted("Camera"));
    EXPECT_EQ(description(), "Detects your presence at the desk");
}

// Continue asks the camera and then Bluetooth again, and the rows show what the devices then report.
// The Apple Watch row asks the same.
TEST_F(OnboardingViewTest, ContinueAsksAgainAndTheRowsFollowWhatTheDevicesReport) {
    h.camera->status = CameraDevice::denied;
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::denied;
    open();
    monitor->settings().setBluetoothPresenceMode(BluetoothPresenceMode::watch);
    settle();
    ASSERT_TRUE(shown("Apple Watch"));

    button("Camera")->click();
    EXPECT_EQ(newestLog(3),
              (std::vector<std::string>{"Bluetooth permission denied", "Camera permission denied",
                                        "Permission setup requested"}));
    h.runLoop.loop().advance(5);
    EXPECT_FALSE(granted("Camera"));
    EXPECT_FALSE(granted("Apple Watch"));

    // Allowed since (the user joined the video group; the bus lets Zorvi reach BlueZ).
    h.camera->status = CameraDevice::authorized;
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::allowedAlways;
    button("Apple Watch")->click();
    h.runLoop.loop().advance(0.5); // the radio's first report, then the first re-check
    EXPECT_TRUE(granted("Camera"));
    EXPECT_TRUE(granted("Apple Watch"));
}

TEST_F(OnboardingViewTest, AllowLockingChecksAtOnceAndIsSaved) {
    open();
    button("Screen locking")->click();
    EXPECT_TRUE(granted("Screen locking"));
    EXPECT_TRUE(monitor->config().screenLockingEnabled);
    EXPECT_TRUE(h.makeMonitor()->config().screenLockingEnabled) << "read back from the saved settings";
}

struct LookCase {
    std::string name;
    BluetoothPresenceMode bluetooth;
    std::vector<std::string> rows;
};

class OnboardingLooks : public OnboardingViewTest, public testing::WithParamInterface<LookCase> {};

TEST_P(OnboardingLooks, ShowTheRowsOfThisSetup) {
    const LookCase& c = GetParam();
    h.camera->status = CameraDevice::authorized;
    open();
    monitor->settings().setBluetoothPresenceMode(c.bluetooth);
    settle();

    std::vector<std::string> rows;
    for (const char* title : {"Camera", "Apple Watch", "Screen locking"})
        if (shown(title))
            rows.push_back(title);
    EXPECT_EQ(rows, c.rows);
    for (const std::string& title : rows)
        for (const QWidget* part : row(title)->findChildren<QWidget*>())
            if (const auto* description = dynamic_cast<const ClampedLabel*>(part)) {
                EXPECT_EQ(description->shownLines().join(' ').toStdString(),
                          description->text().toStdString())
                    << title;
            }
    EXPECT_EQ(controller->window()->windowTitle(), "Zorvi");
    Pictures::save(controller->window()->grab().toImage(), artifacts, c.name);
    auto* cards = controller->window()->findChild<QScrollArea*>("cards");
    cards->verticalScrollBar()->setValue(cards->verticalScrollBar()->maximum());
    Pictures::save(controller->window()->grab().toImage(), artifacts, c.name + "-scrolled");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingLooks,
    testing::Values(
        LookCase{"Full", BluetoothPresenceMode::watch, {"Camera", "Apple Watch", "Screen locking"}},
        LookCase{"NoBluetooth", BluetoothPresenceMode::off, {"Camera", "Screen locking"}}),
    [](const testing::TestParamInfo<LookCase>& info) { return info.param.name; });

} // namespace
