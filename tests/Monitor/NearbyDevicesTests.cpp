#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::Contains;
using ::testing::Not;

namespace {

BluetoothPeripheral peripheral(const char* identifier, std::optional<std::string> name) {
    return {*UUID::parse(identifier), std::move(name)};
}

const BluetoothPeripheral speaker = peripheral("11111111-1111-4111-8111-111111111111", "Speaker");
const BluetoothPeripheral phone = peripheral("22222222-2222-4222-8222-222222222222", "Ada's iPhone");
const BluetoothPeripheral tag = peripheral("33333333-3333-4333-8333-333333333333", std::nullopt);

struct DeviceDiscovery : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    void start(bool presenceOn = true) {
        VigilorConfig config;
        config.cameraPresenceEnabled = !presenceOn;
        config.bluetoothPresenceMode = BluetoothPresenceMode::phone;
        config.bodyAssistDefaultMigrated = true;
        config.save();
        monitor = h.makeMonitor();
    }
    void tick(double seconds) { h.runLoop.loop().advance(seconds); }
    void hear(const BluetoothPeripheral& peripheral, int rssi) {
        EXPECT_TRUE(h.bluetooth->advertise(peripheral, rssi));
    }
    const std::vector<ZorviDiscoveredDevice>& devices() const {
        return monitor->nearbyDevices().discoveredDevices();
    }
    // The listed devices as "name rssi".
    std::vector<std::string> listed() const {
        std::vector<std::string> lines;
        for (const auto& device : devices())
            lines.push_back(device.name + " " + std::to_string(device.rssi));
        return lines;
    }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
};

} // namespace

TEST_F(DeviceDiscovery, ListsWhatItHearsStrongestFirstOnceASecond) {
    start();
    monitor->startDeviceDiscovery();
    EXPECT_THAT(activity(), Contains("Device discovery started"));
    const Date opened = h.clock.now();
    hear(speaker, -70);
    hear(tag, -50);
    hear(phone, -80);
    h.clock.advance(0.25);
    hear(phone, -45); // the later sighting replaces the earlier one
    tick(0.25);
    EXPECT_TRUE(devices().empty()); // nothing before the next maintenance tick
    tick(0.5);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Ada's iPhone -45", "Unknown device -50", "Speaker -70"}));
    const ZorviDiscoveredDevice& first = devices().front();
    EXPECT_EQ(first.id, "22222222-2222-4222-8222-222222222222");
    EXPECT_EQ(first.lastSeen, opened.addingTimeInterval(0.25));
}

TEST_F(DeviceDiscovery, KeepsADeviceForFifteenSecondsAfterItWasLastHeard) {
    start();
    monitor->startDeviceDiscovery();
    tick(0.25);
    hear(speaker, -70); // heard 0.75 s before the first tick
    const struct {
        double until; // seconds after the sighting
        bool listed;
    } steps[] = {{0.75, true}, {14.75, true}, {15.75, false}};
    double elapsed = 0;
    for (const auto& step : steps) {
        tick(step.until - elapsed);
        elapsed = step.until;
        EXPECT_EQ(!devices().empty(), step.listed) << step.until;
    }

    // Exactly 15 s before a tick still counts as fresh.
    hear(speaker, -70);
    tick(15);
    EXPECT_EQ(listed(), std::vector<std::string>{"Speaker -70"});
    tick(1);
    EXPECT_TRUE(devices().empty());
}

TEST_F(DeviceDiscovery, StoppingEmptiesTheListAndAReopenedPickerStartsAfresh) {
    start();
    monitor->startDeviceDiscovery();
    hear(speaker, -70);
    tick(1);
    ASSERT_FALSE(devices().empty());
    // Closed at the next maintenance tick, after it and before its list is published.
    DispatchQueue::main().asyncAfter(1, [this] { monitor->stopDeviceDiscovery(); });
    tick(1);
    EXPECT_TRUE(devices().empty());
    EXPECT_FALSE(monitor->nearbyDevices().active());
    EXPECT_EQ(activity().front(), "Device discovery stopped");

    // Heard while the picker is closed: not recorded.
    hear(phone, -40);
    tick(3);
    EXPECT_TRUE(devices().empty());

    monitor->startDeviceDiscovery();
    tick(1);
    EXPECT_TRUE(devices().empty());
}

TEST_F(DeviceDiscovery, RefusesWithoutBluetoothPresence) {
    start(false);
    const size_t pending = h.runLoop.loop().pendingCount();
    monitor->startDeviceDiscovery();
    tick(0);
    EXPECT_EQ(h.runLoop.loop().pendingCount(), pending); // no maintenance timer
    EXPECT_EQ(activity().front(), "Device discovery: Bluetooth not enabled in settings");
    EXPECT_THAT(activity(), Not(Contains("Device discovery started")));
    EXPECT_EQ(h.bluetooth->centralsMade, 0);
    EXPECT_TRUE(monitor->nearbyDevices().active());
    monitor->stopDeviceDiscovery();
    EXPECT_EQ(h.log.count("bluetooth.stopScan"), 0u);
}

TEST_F(DeviceDiscovery, MakesTheCentralItNeedsAndScansOncePoweredOn) {
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::denied;
    h.bluetooth->initialState.reset();
    start();
    ASSERT_EQ(h.bluetooth->centralsMade, 0);
    monitor->startDeviceDiscovery();
    ASSERT_EQ(h.bluetooth->centralsMade, 1);
    const auto central = h.bluetooth->central();
    EXPECT_FALSE(central->isScanning()); // not powered on yet
    central->report(BluetoothCentralState::poweredOn);
    hear(tag, -66);
    tick(1);
    EXPECT_EQ(listed(), std::vector<std::string>{"Unknown device -66"});
}
