#include "Platform/Linux/UnavailableServices.h"
#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool logged(const VigilorMonitor& monitor, const std::string& text) {
    const auto& lines = monitor.events();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.ends_with(text); });
}

// The answer must come, or the monitor would wait for it forever and never tell the user.
TEST(UnavailableNotificationCenter, RefusesAtOnceWithAReason) {
    UnavailableNotificationCenter center;
    std::optional<bool> granted;
    std::optional<std::string> error;
    center.requestAuthorization([&](bool g, std::optional<std::string> e) {
        granted = g;
        error = std::move(e);
    });
    EXPECT_EQ(granted, false);
    EXPECT_EQ(error, "No notification service");

    std::optional<std::string> addError;
    center.add(
        {.identifier = "x", .title = "t", .body = "b", .categoryIdentifier = "", .playsDefaultSound = false},
        [&](std::optional<std::string> e) { addError = std::move(e); });
    EXPECT_EQ(addError, "No notification service");
}

TEST(UnavailableNotificationCenter, MonitorReportsTheFailureWhenLockNotificationsAreTurnedOn) {
    MonitorHarness h;
    MonitorServices services = h.services();
    services.notifications = std::make_shared<UnavailableNotificationCenter>();
    auto monitor = VigilorMonitor::create(std::move(services));
    h.runLoop.loop().runUntilIdle();

    monitor->setLockNotificationsEnabled(true);
    h.runLoop.loop().runUntilIdle();
    EXPECT_TRUE(logged(*monitor, "Lock notification setup failed: No notification service"));
}

TEST(UnavailableAudioInput, MonitorGoesWithoutCallDetection) {
    MonitorHarness h;
    MonitorServices services = h.services();
    services.audioInput = std::make_shared<UnavailableAudioInput>();
    auto monitor = VigilorMonitor::create(std::move(services));
    h.runLoop.loop().runUntilIdle();

    EXPECT_TRUE(
        logged(*monitor, "Microphone detection setup failed: could not resolve default input device"));
    EXPECT_FALSE(monitor->onCall());
}

} // namespace
