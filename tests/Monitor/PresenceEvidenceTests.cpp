#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

namespace {

struct PresenceEvidence : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor(false);

    void settings(const std::function<void(VigilorConfig&)>& change) {
        monitor->settings().updateConfig(change);
    }
};

} // namespace

TEST_F(PresenceEvidence, JudgesTheCompanion) {
    const struct {
        const char* name;
        std::optional<double> lastSeenAgo, weakSinceAgo;
        bool near, gate, evidence;
    } cases[] = {
        {"never seen", std::nullopt, std::nullopt, false, false, false},
        {"seen just now", 0.5, std::nullopt, true, false, false},
        {"seen exactly a grace ago", 8, std::nullopt, false, true, true},
        {"seen 1 s ago, weak for a grace", 1, 8, false, true, true},
        {"seen 1 s ago, weak for less", 1, 7.9, true, false, false},
    };
    settings([](VigilorConfig& c) {
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    for (const auto& c : cases) {
        MonitorHarness fresh;
        auto m = fresh.makeMonitor(false);
        m->settings().updateConfig([](VigilorConfig& config) {
            config.bluetoothPresenceMode = BluetoothPresenceMode::watch;
            config.watchGateRequired = true;
        });
        fresh.bluetooth->central()->report(BluetoothCentralState::poweredOn);
        // The watch advertises at the times of the case: weak ones below -90 dBm, strong ones above.
        const Date at = fresh.clock.now();
        const auto advertise = [&](double secondsAgo, int rssi) {
            fresh.clock.set(at.addingTimeInterval(-secondsAgo));
            EXPECT_TRUE(fresh.bluetooth->advertise({UUID::random(), "Apple Watch"}, rssi)) << c.name;
        };
        if (c.weakSinceAgo)
            advertise(*c.weakSinceAgo, -95);
        if (c.lastSeenAgo)
            advertise(*c.lastSeenAgo, c.weakSinceAgo ? -95 : -60);
        fresh.clock.set(at);
        EXPECT_EQ(m->companion().isNear(at), c.near) << c.name;
        EXPECT_EQ(m->companion().allowsWatchGate(at), c.gate) << c.name;
        EXPECT_EQ(m->companion().hasIndependentAwayEvidence(at), c.evidence) << c.name;
    }
}

TEST_F(PresenceEvidence, OpensTheGateWithoutBluetoothPresence) {
    EXPECT_TRUE(monitor->companion().allowsWatchGate(h.clock.now()));
    EXPECT_FALSE(monitor->companion().hasIndependentAwayEvidence(h.clock.now()));
    // The camera on and no gate asked for: the companion is not used.
    settings([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::either; });
    EXPECT_FALSE(monitor->companion().bluetoothPresenceEnabled());
    settings([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    EXPECT_TRUE(monitor->companion().bluetoothPresenceEnabled());
}

TEST_F(PresenceEvidence, DerivesTheEffectiveLookAwayGrace) {
    const struct {
        double lockTimeout, lookAway, expected;
    } cases[] = {{30, 10, 30}, {6, 10, 20}, {12, 25, 25}, {5, 5, 20}};
    for (const auto& c : cases) {
        settings([&](VigilorConfig& config) {
            config.lockTimeout = c.lockTimeout;
            config.lookAwayLockGrace = c.lookAway;
        });
        EXPECT_EQ(monitor->presenceGuard().effectiveLookAwayDownGrace(), c.expected) << c.lockTimeout << "/" << c.lookAway;
    }
}

TEST(CameraEvidence, FollowsTheDistanceBaselineSlowly) {
    CameraBench b;
    const struct {
        std::optional<double> baseline;
        double width;
        std::optional<double> expected;
    } cases[] = {
        {std::nullopt, 0.3, 0.3},
        {0.3, 0.336, 0.015 * 0.336 + 0.985 * 0.3}, // 1.12 times: still moves
        {0.3, 0.339, 0.3},                         // 1.13 times: left alone
        {0.3, 0.234, 0.015 * 0.234 + 0.985 * 0.3}, // 0.78 times
        {0.3, 0, 0.3},
    };
    for (const auto& c : cases) {
        b.camera.setDistanceBaseline(c.baseline);
        b.camera.updateDistanceBaseline(c.width);
        ASSERT_TRUE(b.camera.distanceBaselineFaceWidth());
        EXPECT_DOUBLE_EQ(*b.camera.distanceBaselineFaceWidth(), *c.expected) << c.width;
    }
    b.settings([](VigilorConfig& c) {
        c.distanceCalibrationMode = DistanceCalibrationMode::manual;
        c.savedDistanceBaselineFaceWidth = 0.25;
    });
    b.camera.setDistanceBaseline(std::nullopt);
    b.camera.updateDistanceBaseline(0.3);
    EXPECT_EQ(b.camera.distanceBaselineFaceWidth(), 0.25);
    b.camera.updateDistanceBaseline(0.31);
    EXPECT_EQ(b.camera.distanceBaselineFaceWidth(), 0.25);
}

TEST(CameraEvidence, FollowsTheFaceCentreBaselineWithinItsBand) {
    CameraBench b;
    b.camera.updateFaceCenterBaseline(0.5);
    EXPECT_EQ(b.camera.faceCenterBaselineY(), 0.5);
    b.camera.updateFaceCenterBaseline(0.58);
    EXPECT_DOUBLE_EQ(*b.camera.faceCenterBaselineY(), 0.015 * 0.58 + 0.985 * 0.5);
    const double kept = *b.camera.faceCenterBaselineY();
    b.camera.updateFaceCenterBaseline(0.7);
    EXPECT_EQ(b.camera.faceCenterBaselineY(), kept);
}

TEST(CameraEvidence, CountsUnclearPresenceOnlyWithTheAssist) {
    CameraBench b;
    b.camera.noteUnclearDeskPresence(b.clock.now().addingTimeInterval(-5));
    EXPECT_TRUE(b.camera.isUnclearDeskPresenceRecent(b.clock.now()));
    b.settings([](VigilorConfig& c) { c.bodyPresenceLockGrace = 3; }); // acts as 6
    EXPECT_TRUE(b.camera.isUnclearDeskPresenceRecent(b.clock.now()));
    EXPECT_FALSE(b.camera.isUnclearDeskPresenceRecent(b.clock.now().addingTimeInterval(1)));
    b.settings([](VigilorConfig& c) { c.bodyPoseLockAssistEnabled = false; });
    EXPECT_FALSE(b.camera.isUnclearDeskPresenceRecent(b.clock.now()));
}
