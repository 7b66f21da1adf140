#include "Support/MonitorHarness.h"

#include <gtest/gtest.h>

namespace {

using State = BluetoothCentralState;

const UUID phoneIdentifier = *UUID::parse("0B7D1C2E-3F40-4A51-8B62-7C83D94EA5F6");
const BluetoothPeripheral stranger{*UUID::parse("11111111-2222-4333-8444-555555555555"), "Speaker"};

std::string newestEvent(const VigilorMonitor& monitor) {
    return monitor.log().events().empty() ? std::string() : monitor.log().events().front().text;
}

void deviceOnlyWatch(VigilorConfig& c) {
    c.cameraPresenceEnabled = false;
    c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
    c.autoLockEnabled = true;
    c.screenLockingEnabled = true;
    c.bodyAssistDefaultMigrated = true;
}

struct BluetoothPresence : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;
    const BluetoothPeripheral watch{VigilorConfig::defaultWatchUUID,
                                    std::nullopt}; // nameless, as watches are

    void start(const std::function<void(VigilorConfig&)>& settings = deviceOnlyWatch, bool started = true) {
        VigilorConfig config;
        settings(config);
        config.save();
        monitor = h.makeMonitor(started);
        h.inputIdle->idle = 600; // nobody at the keyboard
    }
    void tick(double seconds = 0.5) { h.advance(seconds); }
    bool advertise(const BluetoothPeripheral& peripheral, int rssi) {
        return h.bluetooth->advertise(peripheral, rssi);
    }
    const CompanionPresence& companion() const { return monitor->companion(); }
    size_t lockCalls() const { return h.log.count("locker.lockSession"); }
};

} // namespace

TEST_F(BluetoothPresence, ActsOnTheAuthorization) {
    const struct {
        BluetoothAuthorization authorization;
        bool request;
        bool centralMade;
        const char* status;
        const char* logLine; // the newest activity line afterwards
    } cases[] = {
        {BluetoothAuthorization::notDetermined, true, true, "Starting Bluetooth",
         "Zorvi started in coaching mode"},
        {BluetoothAuthorization::notDetermined, false, false, "Bluetooth permission needed",
         "Bluetooth permission waiting for user"},
        {BluetoothAuthorization::restricted, true, false, "Bluetooth restricted", "Bluetooth restricted"},
        {BluetoothAuthorization::denied, false, false, "Bluetooth denied", "Bluetooth permission denied"},
        {BluetoothAuthorization::allowedAlways, false, true, "Starting Bluetooth",
         "Zorvi started in coaching mode"},
        {BluetoothAuthorization::unknown, true, false, "Bluetooth unavailable",
         "Bluetooth unavailable: no system bus"},
    };
    for (const auto& c : cases) {
        MonitorHarness fresh;
        VigilorConfig config;
        deviceOnlyWatch(config);
        config.save();
        auto m = fresh.makeMonitor(false);
        fresh.bluetooth->authorizationAnswer = c.authorization;
        m->syncBluetoothForCurrentConfig(c.request);
        const std::string name =
            "authorization " + std::to_string(int(c.authorization)) + (c.request ? " asked" : "");
        EXPECT_EQ(fresh.bluetooth->centralsMade, c.centralMade ? 1 : 0) << name;
        EXPECT_EQ(m->companion().bluetoothStatus(), c.status) << name;
        EXPECT_EQ(newestEvent(*m), c.logLine) << name;
    }
}

TEST_F(BluetoothPresence, MakesTheCentralOnceUnlessAskingForPermission) {
    start(deviceOnlyWatch, false);
    monitor->syncBluetoothForCurrentConfig(false);
    monitor->syncBluetoothForCurrentConfig(false);
    EXPECT_EQ(h.bluetooth->centralsMade, 1);
    EXPECT_EQ(h.log.count("bluetooth.authorization"), 2u); // read again on every call

    // Asking while undetermined makes a new central even when one exists.
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::notDetermined;
    monitor->syncBluetoothForCurrentConfig(true);
    EXPECT_EQ(h.bluetooth->centralsMade, 2);
    // A refusal later keeps the central that exists.
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::denied;
    monitor->syncBluetoothForCurrentConfig(false);
    EXPECT_NE(h.bluetooth->central(), nullptr);
}

TEST_F(BluetoothPresence, ReportsTheCentralsState) {
    const struct {
        State state;
        const char* status;
        const char* logLine; // nullptr: no line
        bool unavailable;
    } cases[] = {
        {State::unauthorized, "Bluetooth denied", "Bluetooth permission denied", true},
        {State::poweredOff, "Bluetooth off", "Bluetooth is off", true},
        {State::poweredOn, "Scanning", "Bluetooth scanning", false},
        {State::unknown, "Bluetooth state unknown", nullptr, true},
        {State::resetting, "Bluetooth is restarting", nullptr, true},
        {State::unsupported, "No Bluetooth adapter", nullptr, true},
    };
    h.bluetooth->initialState.reset();
    start();
    const auto central = h.bluetooth->central();
    ASSERT_NE(central, nullptr);
    for (const auto& c : cases) {
        const size_t lines = monitor->log().events().size();
        central->report(c.state);
        EXPECT_EQ(companion().bluetoothStatus(), c.status);
        if (c.logLine)
            EXPECT_EQ(newestEvent(*monitor), c.logLine) << c.status;
        else
            EXPECT_EQ(monitor->log().events().size(), lines) << c.status;
        EXPECT_EQ(companion().isBluetoothUnavailable(), c.unavailable) << c.status;
        EXPECT_EQ(central->isScanning(), c.state == State::poweredOn) << c.status;
    }
    EXPECT_TRUE(central->duplicatesAllowed);
}

TEST_F(BluetoothPresence, ScansAgainOnEveryPoweredOnReport) {
    start();
    const auto central = h.bluetooth->central();
    ASSERT_TRUE(central->isScanning());
    central->report(State::poweredOff);
    EXPECT_FALSE(advertise(watch, -60));
    central->report(State::poweredOn);
    EXPECT_TRUE(advertise(watch, -60));
    EXPECT_EQ(h.log.count("bluetooth.scan duplicates"), 2u);
}

TEST_F(BluetoothPresence, StaysOffWhileTheCameraDecidesWithoutTheGate) {
    start([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::either; });
    EXPECT_FALSE(companion().bluetoothPresenceEnabled());
    EXPECT_EQ(h.bluetooth->centralsMade, 0);
    EXPECT_EQ(companion().bluetoothStatus(), "Bluetooth off in settings");
}

TEST_F(BluetoothPresence, MatchesTheConfiguredCompanion) {
    const struct {
        const char* name;
        BluetoothPresenceMode mode;
        std::optional<UUID> phoneUUID;
        std::string watchName;
        BluetoothPeripheral peripheral;
        bool matches;
    } cases[] = {
        {"watch by identifier", BluetoothPresenceMode::watch, std::nullopt, "Apple Watch", watch, true},
        {"phone identifier in watch mode",
         BluetoothPresenceMode::watch,
         phoneIdentifier,
         "Apple Watch",
         {phoneIdentifier, std::nullopt},
         false},
        {"phone identifier in either mode",
         BluetoothPresenceMode::either,
         phoneIdentifier,
         "Apple Watch",
         {phoneIdentifier, std::nullopt},
         true},
        {"watch name in another case, inside a longer name",
         BluetoothPresenceMode::watch,
         std::nullopt,
         "Apple Watch",
         {stranger.identifier, "ADA\u2019S APPLE WATCH ULTRA"},
         true},
        {"empty watch name, nameless peripheral",
         BluetoothPresenceMode::watch,
         std::nullopt,
         "",
         {stranger.identifier, std::nullopt},
         false},
        {"empty watch name, named peripheral", BluetoothPresenceMode::watch, std::nullopt, "", stranger,
         false},
        {"phone name in phone mode",
         BluetoothPresenceMode::phone,
         std::nullopt,
         "Apple Watch",
         {stranger.identifier, "Ada's iphone"},
         true},
        {"watch name in phone mode",
         BluetoothPresenceMode::phone,
         std::nullopt,
         "Apple Watch",
         {stranger.identifier, "Apple Watch"},
         false},
        {"phone name in either mode",
         BluetoothPresenceMode::either,
         std::nullopt,
         "Apple Watch",
         {stranger.identifier, "iPhone 15"},
         true},
        {"letters beyond ASCII in another case",
         BluetoothPresenceMode::watch,
         std::nullopt,
         "J\u00fcrgen",
         {stranger.identifier, "J\u00dcRGENS UHR"},
         true},
        {"another device", BluetoothPresenceMode::either, phoneIdentifier, "Apple Watch", stranger, false},
        {"off", BluetoothPresenceMode::off, phoneIdentifier, "Apple Watch", watch, false},
    };
    for (const auto& c : cases) {
        VigilorConfig config;
        config.bluetoothPresenceMode = c.mode;
        config.phoneUUID = c.phoneUUID;
        config.watchName = c.watchName;
        EXPECT_EQ(matchesCompanion(config, c.peripheral), c.matches) << c.name;
    }
}

TEST_F(BluetoothPresence, IgnoresAdvertisementsWithoutAStrengthOrFromOthers) {
    start();
    monitor->startDeviceDiscovery();
    EXPECT_TRUE(advertise(watch, unavailableBluetoothRSSI));
    EXPECT_TRUE(advertise(stranger, -40));
    tick(1);
    EXPECT_EQ(companion().watchRSSI(), std::nullopt);
    EXPECT_FALSE(companion().watchPresent());
    ASSERT_EQ(monitor->nearbyDevices().discoveredDevices().size(), 1u); // the stranger only
    EXPECT_EQ(monitor->nearbyDevices().discoveredDevices().front().name, "Speaker");
}

// The weak threshold is -90 dBm and the grace 8 s.
TEST_F(BluetoothPresence, FollowsARunOfWeakAdvertisementsFromItsFirst) {
    start();
    const struct {
        double at; // seconds after the first advertisement
        int rssi;
        bool near;
    } steps[] = {
        {0, -91, true},   {4, -95, true},
        {7.5, -91, true}, {8, -91, false}, // weak for a whole grace, though heard just now
        {8.5, -90, true},                  // equal to the threshold: strong, the run ends
        {9, -91, true},   {17, -91, false},
    };
    const Date first = h.clock.now();
    for (const auto& step : steps) {
        h.clock.set(first.addingTimeInterval(step.at));
        ASSERT_TRUE(advertise(watch, step.rssi));
        EXPECT_EQ(companion().watchRSSI(), step.rssi) << step.at;
        EXPECT_EQ(companion().watchPresent(), step.near) << step.at;
    }
}

TEST_F(BluetoothPresence, PublishesNothingForARepeatedAdvertisement) {
    start();
    ASSERT_TRUE(advertise(watch, -60));
    int published = 0;
    const int token = monitor->subscribe([&] { ++published; });
    ASSERT_TRUE(advertise(watch, -60));
    EXPECT_EQ(published, 0);
    ASSERT_TRUE(advertise(watch, -61));
    EXPECT_EQ(published, 1);
    monitor->unsubscribe(token);
}

TEST_F(BluetoothPresence, TurningItOffDropsTheCentralAndTheCompanion) {
    start();
    ASSERT_TRUE(advertise(watch, -60));
    EXPECT_TRUE(companion().watchPresent());
    monitor->settings().updateConfig(
        [](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::off; });
    EXPECT_EQ(h.log.count("bluetooth.stopScan"), 1u);
    EXPECT_EQ(h.bluetooth->central(), nullptr);
    EXPECT_FALSE(companion().watchPresent());
    EXPECT_EQ(companion().watchRSSI(), std::nullopt);
    EXPECT_EQ(companion().bluetoothStatus(), "Bluetooth off in settings");
    tick();
    EXPECT_EQ(companion().secondsSinceWatch(), std::nullopt);

    // Back on: a new central, and the companion must be seen anew.
    monitor->settings().updateConfig(
        [](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::watch; });
    tick(0);
    EXPECT_EQ(h.bluetooth->centralsMade, 2);
    EXPECT_EQ(companion().bluetoothStatus(), "Scanning");
    tick();
    EXPECT_EQ(monitor->decision(), "Learning Watch");
}

TEST_F(BluetoothPresence, LocksOnceWhenTheCompanionHasBeenAwayForItsGrace) {
    start();
    tick();
    EXPECT_EQ(monitor->decision(), "Learning Watch");

    // Near: strong advertisements every second.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(advertise(watch, -60));
        tick(1);
    }
    EXPECT_EQ(monitor->decision(), "Watch near");
    EXPECT_TRUE(companion().watchPresent());
    EXPECT_EQ(companion().watchRSSI(), -60);

    // Away: silent since the last advertisement, a second before the loop ended.
    tick(6.5);
    EXPECT_EQ(lockCalls(), 0u);
    EXPECT_EQ(companion().secondsSinceWatch(), 7.5);
    tick(0.5);
    EXPECT_EQ(lockCalls(), 1u);
    EXPECT_EQ(monitor->decision(), "Locking \u2014 Watch away");
    EXPECT_EQ(h.relay->sent.back().snapshot.source, "Auto-Watch");
    tick(20);
    EXPECT_EQ(lockCalls(), 1u);

    // Back, then away again: one more lock.
    ASSERT_TRUE(advertise(watch, -60));
    tick();
    EXPECT_EQ(monitor->decision(), "Watch near");
    tick(8);
    EXPECT_EQ(lockCalls(), 2u);
}

// Where another program's scan keeps a companion lying still from being heard again, its silence says
// nothing: no camera-free lock, and the decision says why, until the central hears still devices again.
TEST_F(BluetoothPresence, ASilenceThatCannotBeHeardThroughDoesNotLock) {
    start();
    const auto central = h.bluetooth->central();
    EXPECT_EQ(central->longestSilence(watch), 8); // the grace, for the companion only
    EXPECT_EQ(central->longestSilence(stranger), 0);
    ASSERT_TRUE(advertise(watch, -48));
    tick(4);
    central->report(State::poweredOn, false);
    EXPECT_EQ(companion().bluetoothStatus(), "Scanning alongside another program");
    tick(20);
    EXPECT_EQ(lockCalls(), 0u);
    EXPECT_EQ(monitor->decision(), "Another program is scanning Bluetooth \u2014 a device lying still is not "
                                   "heard, so no camera-free lock");
    central->report(State::poweredOn, true);
    tick();
    EXPECT_EQ(lockCalls(), 1u);
}

// A companion still heard but weak for its whole grace is as gone as a silent one: the camera-free
// decision locks for it too.
TEST_F(BluetoothPresence, AWeakButStillHeardCompanionCountsAsAway) {
    start();
    ASSERT_TRUE(advertise(watch, -60));
    tick();
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(advertise(watch, -97));
        tick(1);
    }
    EXPECT_TRUE(companion().watchPresent()); // weak for less than the grace
    EXPECT_EQ(lockCalls(), 0u);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(advertise(watch, -97));
        tick(1);
    }
    EXPECT_FALSE(companion().watchPresent());
    EXPECT_EQ(companion().watchRSSI(), -97);
    EXPECT_EQ(lockCalls(), 1u);
    EXPECT_EQ(monitor->decision(), "Locking \u2014 Watch away");
}

TEST_F(BluetoothPresence, ClosingThePickerKeepsTheCompanionScanning) {
    start();
    const auto keepAdvertising = [&](double seconds) {
        for (double t = 0; t < seconds; t += 1) {
            EXPECT_TRUE(advertise(watch, -60));
            tick(1);
        }
    };
    keepAdvertising(3);
    monitor->startDeviceDiscovery();
    keepAdvertising(5);
    monitor->stopDeviceDiscovery();
    EXPECT_EQ(h.log.count("bluetooth.stopScan"), 0u);
    EXPECT_TRUE(h.bluetooth->central()->isScanning());
    keepAdvertising(30);
    EXPECT_EQ(monitor->decision(), "Watch near");
    EXPECT_TRUE(companion().watchPresent());
    EXPECT_EQ(lockCalls(), 0u);
}
