#include "Support/MonitorHarness.h"
#include "Vigilor/SettingsModel/SettingsBindings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>

using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

namespace {

const char* const aWatch = "0F3A2B4C-5D6E-4F70-8192-A3B4C5D6E7F8";

// The stored keys whose values differ between two records.
std::set<std::string> changedKeys(const VigilorConfig& before, const VigilorConfig& after) {
    const Json a = before.toJSON();
    const Json b = after.toJSON();
    std::set<std::string> keys;
    for (const auto& [key, value] : a.items())
        if (!b.contains(key) || b.at(key) != value)
            keys.insert(key);
    for (const auto& [key, value] : b.items())
        if (!a.contains(key))
            keys.insert(key);
    return keys;
}

struct SettingOperations : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();
    SettingsBindings content{monitor};

    void SetUp() override { h.log.clear(); }

    // Each run of the update path pushes the settings to sync exactly once.
    size_t updates() const { return h.log.count("sync.push"); }
    std::string activity(size_t index) const { return monitor->log().events().at(index).text; }
};

struct Operation {
    const char* name;
    std::function<void(SettingsCommands&, SettingsBindings&)> run;
    std::vector<std::string> changed;
    std::function<bool(const VigilorConfig&)> stored;
};

} // namespace

TEST_F(SettingOperations, EachOperationIsOneUpdateWritingOnlyItsFields) {
    using M = SettingsCommands&;
    using S = SettingsBindings&;
    const Operation operations[] = {
        {"auto lock",
         [](M m, S) { m.setAutoLockEnabled(true); },
         {"autoLockEnabled"},
         [](const VigilorConfig& c) { return c.autoLockEnabled; }},
        {"launch at login",
         [](M m, S) { m.setLaunchAtLogin(true); },
         {"launchAtLogin"},
         [](const VigilorConfig& c) { return c.launchAtLogin; }},
        {"break sound",
         [](M m, S) { m.setBreakSoundEnabled(true); },
         {"soundWhenBreakDue"},
         [](const VigilorConfig& c) { return c.soundWhenBreakDue; }},
        {"break notifications",
         [](M m, S) { m.setBreakNotificationsEnabled(true); },
         {"notifyWhenBreakDue"},
         [](const VigilorConfig& c) { return c.notifyWhenBreakDue; }},
        {"lock notifications",
         [](M m, S) { m.setLockNotificationsEnabled(false); },
         {"notifyWhenMacLocks"},
         [](const VigilorConfig& c) { return !c.notifyWhenComputerLocks; }},
        {"Bluetooth mode phone",
         [](M m, S) { m.setBluetoothPresenceMode(BluetoothPresenceMode::phone); },
         {"bluetoothPresenceMode", "watchGateRequired"},
         [](const VigilorConfig& c) {
             return c.bluetoothPresenceMode == BluetoothPresenceMode::phone && c.watchGateRequired;
         }},
        {"new secret",
         [](M m, S) { m.regenerateRemoteSharedSecret(); },
         {"remoteSharedSecret"},
         [](const VigilorConfig& c) {
             return std::regex_match(c.remoteSharedSecret, std::regex("[0-9A-F]{64}"));
         }},
        {"watch identifier",
         [](M m, S) { m.updateDeviceUUID(aWatch, MonitorSettings::BluetoothDeviceType::watch); },
         {"watchUUID"},
         [](const VigilorConfig& c) { return c.watchUUID == UUID::parse(aWatch); }},
        {"phone identifier in lower case",
         [](M m, S) {
             m.updateDeviceUUID("0f3a2b4c-5d6e-4f70-8192-a3b4c5d6e7f8",
                                MonitorSettings::BluetoothDeviceType::phone);
         },
         {"phoneUUID"},
         [](const VigilorConfig& c) { return c.phoneUUID == UUID::parse(aWatch); }},
        {"phone name kept as given",
         [](M m, S) { m.updateDeviceName("  Ana's Pixel ", MonitorSettings::BluetoothDeviceType::phone); },
         {"phoneName"},
         [](const VigilorConfig& c) { return c.phoneName == "  Ana's Pixel "; }},
        {"screen locking",
         [](M, S s) { s.screenLockingEnabled().set(true); },
         {"screenLockingEnabled"},
         [](const VigilorConfig& c) { return c.screenLockingEnabled; }},
        {"visual nudges",
         [](M, S s) { s.visualNudgesEnabled().set(false); },
         {"visualNudgesEnabled"},
         [](const VigilorConfig& c) { return !c.visualNudgesEnabled; }},
        {"call suppression",
         [](M, S s) { s.suppressLockDuringCalls().set(false); },
         {"suppressLockDuringCalls"},
         [](const VigilorConfig& c) { return !c.suppressLockDuringCalls; }},
        {"remote-session suppression",
         [](M, S s) { s.suppressAutoLockDuringRemoteSession().set(false); },
         {"suppressAutoLockDuringRemoteSession"},
         [](const VigilorConfig& c) { return !c.suppressAutoLockDuringRemoteSession; }},
        {"eye breaks",
         [](M, S s) { s.eyeBreakEnabled().set(false); },
         {"eyeBreakEnabled"},
         [](const VigilorConfig& c) { return !c.eyeBreakEnabled; }},
        {"eye minutes",
         [](M, S s) { s.eyeBreakMinutes().set(20.5); },
         {"eyeBreakInterval"},
         [](const VigilorConfig& c) { return c.eyeBreakInterval == 1230; }},
        {"walk breaks",
         [](M, S s) { s.walkBreakEnabled().set(false); },
         {"walkBreakEnabled"},
         [](const VigilorConfig& c) { return !c.walkBreakEnabled; }},
        {"walk minutes",
         [](M, S s) { s.walkBreakMinutes().set(45); },
         {"walkBreakInterval"},
         [](const VigilorConfig& c) { return c.walkBreakInterval == 2700; }},
        {"known face",
         [](M, S s) { s.requireKnownFaceForPresence().set(true); },
         {"requireKnownFaceForPresence"},
         [](const VigilorConfig& c) { return c.requireKnownFaceForPresence; }},
        {"weak signal",
         [](M, S s) { s.watchWeakRSSI().set(-72.5); },
         {"watchWeakRSSI"},
         [](const VigilorConfig& c) { return c.watchWeakRSSI == -73; }},
        {"watch name",
         [](M, S s) { s.watchName().set("Wrist"); },
         {"watchName"},
         [](const VigilorConfig& c) { return c.watchName == "Wrist"; }},
        {"warning distance",
         [](M, S s) { s.distanceWarnPercent().set(125); },
         {"distanceWarnRatio"},
         [](const VigilorConfig& c) { return c.distanceWarnRatio == 1.25; }},
        {"danger distance",
         [](M, S s) { s.distanceDangerPercent().set(150); },
         {"distanceDangerRatio"},
         [](const VigilorConfig& c) { return c.distanceDangerRatio == 1.5; }},
        {"calibration mode",
         [](M, S s) { s.distanceCalibrationMode().set(DistanceCalibrationMode::manual); },
         {"distanceCalibrationMode"},
         [](const VigilorConfig& c) { return c.distanceCalibrationMode == DistanceCalibrationMode::manual; }},
        {"posture hints",
         [](M, S s) { s.bodyPoseHintsEnabled().set(true); },
         {"bodyPoseHintsEnabled"},
         [](const VigilorConfig& c) { return c.bodyPoseHintsEnabled; }},
        {"desk profile",
         [](M, S s) { s.deskProfile().set(DeskProfile::laptop); },
         {"deskProfile"},
         [](const VigilorConfig& c) { return c.deskProfile == DeskProfile::laptop; }},
        {"camera profile",
         [](M, S s) { s.cameraProfile().set(CameraProfile::sideMounted); },
         {"cameraProfile"},
         [](const VigilorConfig& c) { return c.cameraProfile == CameraProfile::sideMounted; }},
        {"menu-bar style",
         [](M, S s) { s.menuBarFeedbackStyle().set(MenuBarFeedbackStyle::liveLabel); },
         {"menuBarFeedbackStyle"},
         [](const VigilorConfig& c) { return c.menuBarFeedbackStyle == MenuBarFeedbackStyle::liveLabel; }},
        {"pulse",
         [](M, S s) { s.pulseMenuBarWhenDue().set(false); },
         {"pulseMenuBarWhenDue"},
         [](const VigilorConfig& c) { return !c.pulseMenuBarWhenDue; }},
        {"relay",
         [](M, S s) { s.remoteCompanionEnabled().set(true); },
         {"remoteCompanionEnabled"},
         [](const VigilorConfig& c) { return c.remoteCompanionEnabled; }},
        {"status URL untrimmed",
         [](M, S s) { s.remoteStatusEndpointURL().set(" https://r.example/s "); },
         {"remoteStatusEndpointURL"},
         [](const VigilorConfig& c) { return c.remoteStatusEndpointURL == " https://r.example/s "; }},
        {"command URL",
         [](M, S s) { s.remoteCommandEndpointURL().set("https://r.example/c"); },
         {"remoteCommandEndpointURL"},
         [](const VigilorConfig& c) { return c.remoteCommandEndpointURL == "https://r.example/c"; }},
        {"samples by key path",
         [](M, S s) { s.configBinding(&VigilorConfig::minMissingSamples).set(9); },
         {"minMissingSamples"},
         [](const VigilorConfig& c) { return c.minMissingSamples == 9; }},
        {"grace by key path",
         [](M, S s) { s.configBinding(&VigilorConfig::watchGrace).set(13.5); },
         {"watchGrace"},
         [](const VigilorConfig& c) { return c.watchGrace == 13.5; }},
        {"lock patience",
         [](M, S s) { s.lockPatience().set(LockPatience::patient); },
         {"lockTimeout", "minMissingSamples", "activeInputGrace", "lookAwayLockGrace"},
         [](const VigilorConfig& c) { return c.lockTimeout == 30; }},
        {"locking mode",
         [](M, S s) { s.lockingMode().set(LockingModeOption::both); },
         {"bluetoothPresenceMode", "watchGateRequired"},
         [](const VigilorConfig& c) { return c.bluetoothPresenceMode == BluetoothPresenceMode::either; }},
    };
    for (const Operation& operation : operations) {
        monitor->settings().updateConfig([](VigilorConfig& c) {
            c = VigilorConfig();
            c.bodyAssistDefaultMigrated = true; // as every stored record is after its first load
        });
        const VigilorConfig before = monitor->config();
        const size_t updatesBefore = updates();
        operation.run(monitor->settings(), content);
        h.runLoop.loop().runUntilIdle();
        EXPECT_EQ(updates() - updatesBefore, 1u) << operation.name;
        EXPECT_THAT(changedKeys(before, monitor->config()), UnorderedElementsAreArray(operation.changed))
            << operation.name;
        EXPECT_TRUE(operation.stored(monitor->config())) << operation.name;
        EXPECT_THAT(changedKeys(VigilorConfig::load(), monitor->config()), IsEmpty())
            << operation.name << ": saved";
    }
}

TEST_F(SettingOperations, ConvertsBetweenWhatAControlShowsAndWhatIsStored) {
    const struct {
        const char* name;
        double shown;
        std::function<Binding<double>(const SettingsBindings&)> binding;
        std::function<double(const VigilorConfig&)> stored;
        double expected;
    } cases[] = {
        {"eye 20 minutes", 20, [](const SettingsBindings& s) { return s.eyeBreakMinutes(); },
         [](const VigilorConfig& c) { return c.eyeBreakInterval; }, 1200},
        {"walk 50 minutes", 50, [](const SettingsBindings& s) { return s.walkBreakMinutes(); },
         [](const VigilorConfig& c) { return c.walkBreakInterval; }, 3000},
        {"warning 118 %", 118, [](const SettingsBindings& s) { return s.distanceWarnPercent(); },
         [](const VigilorConfig& c) { return c.distanceWarnRatio; }, 1.18},
        {"danger 135 %", 135, [](const SettingsBindings& s) { return s.distanceDangerPercent(); },
         [](const VigilorConfig& c) { return c.distanceDangerRatio; }, 1.35},
        {"signal -72.5 rounds away from zero", -72.5,
         [](const SettingsBindings& s) { return s.watchWeakRSSI(); },
         [](const VigilorConfig& c) { return c.watchWeakRSSI; }, -73},
        {"signal -72.4", -72.4, [](const SettingsBindings& s) { return s.watchWeakRSSI(); },
         [](const VigilorConfig& c) { return c.watchWeakRSSI; }, -72},
        {"signal -71.5", -71.5, [](const SettingsBindings& s) { return s.watchWeakRSSI(); },
         [](const VigilorConfig& c) { return c.watchWeakRSSI; }, -72},
        {"signal -72.6", -72.6, [](const SettingsBindings& s) { return s.watchWeakRSSI(); },
         [](const VigilorConfig& c) { return c.watchWeakRSSI; }, -73},
    };
    for (const auto& c : cases) {
        c.binding(content).set(c.shown);
        EXPECT_EQ(c.stored(monitor->config()), c.expected) << c.name;
    }

    // Reading converts back.
    const struct {
        const char* name;
        std::function<void(VigilorConfig&)> store;
        std::function<Binding<double>(const SettingsBindings&)> binding;
        double shown;
    } reads[] = {
        {"eye 1500 s", [](VigilorConfig& c) { c.eyeBreakInterval = 1500; },
         [](const SettingsBindings& s) { return s.eyeBreakMinutes(); }, 25},
        {"walk 5400 s", [](VigilorConfig& c) { c.walkBreakInterval = 5400; },
         [](const SettingsBindings& s) { return s.walkBreakMinutes(); }, 90},
        {"warning 1.5", [](VigilorConfig& c) { c.distanceWarnRatio = 1.5; },
         [](const SettingsBindings& s) { return s.distanceWarnPercent(); }, 150},
        {"signal -81 dBm", [](VigilorConfig& c) { c.watchWeakRSSI = -81; },
         [](const SettingsBindings& s) { return s.watchWeakRSSI(); }, -81},
    };
    for (const auto& r : reads) {
        monitor->settings().updateConfig(r.store);
        EXPECT_DOUBLE_EQ(r.binding(content).get(), r.shown) << r.name;
    }
}

TEST_F(SettingOperations, LockPatienceWritesItsPresetAndReadsBackByTimeoutBands) {
    const struct {
        LockPatience preset;
        double timeout;
        int samples;
        double inputGrace, lookAwayGrace;
        const char* label;
    } presets[] = {
        {LockPatience::patient, 30, 10, 12, 30, "Give me a moment"},
        {LockPatience::balanced, 12, 6, 8, 20, "Balanced"},
        {LockPatience::fast, 6, 4, 5, 10, "Lock fast"},
    };
    for (const auto& p : presets) {
        content.lockPatience().set(p.preset);
        const VigilorConfig& c = monitor->config();
        EXPECT_EQ(c.lockTimeout, p.timeout) << p.label;
        EXPECT_EQ(c.minMissingSamples, p.samples) << p.label;
        EXPECT_EQ(c.activeInputGrace, p.inputGrace) << p.label;
        EXPECT_EQ(c.lookAwayLockGrace, p.lookAwayGrace) << p.label;
        EXPECT_EQ(content.lockPatience().get(), p.preset) << p.label;
        EXPECT_EQ(rawValue(p.preset), p.label);
        EXPECT_EQ(enumFromRawValue<LockPatience>(p.label), p.preset);
    }
    EXPECT_EQ(enumFromRawValue<LockPatience>("fast"), std::nullopt);

    const struct {
        double timeout;
        LockPatience shown;
    } bands[] = {
        {0, LockPatience::fast},      {8.9, LockPatience::fast},       {9, LockPatience::balanced},
        {15, LockPatience::balanced}, {23.99, LockPatience::balanced}, {24, LockPatience::patient},
        {600, LockPatience::patient}, {NAN, LockPatience::patient},
    };
    for (const auto& b : bands)
        EXPECT_EQ(lockPatienceForTimeout(b.timeout), b.shown) << b.timeout;
    monitor->settings().updateConfig([](VigilorConfig& c) { c.lockTimeout = 23.99; });
    const size_t updatesBefore = updates();
    EXPECT_EQ(content.lockPatience().get(), LockPatience::balanced);
    EXPECT_EQ(updates(), updatesBefore) << "reading writes nothing";
}

TEST_F(SettingOperations, LockingModeDrivesCameraBluetoothModeAndGate) {
    using B = BluetoothPresenceMode;
    using L = LockingModeOption;
    const struct {
        const char* name;
        bool camera;
        B mode;
        L chosen;
        bool cameraAfter;
        B modeAfter;
        bool gateAfter;
    } cases[] = {
        {"device only from off picks either", true, B::off, L::deviceOnly, false, B::either, true},
        {"device only keeps phone", true, B::phone, L::deviceOnly, false, B::phone, true},
        {"both from off picks either", true, B::off, L::both, true, B::either, true},
        {"both keeps watch", false, B::watch, L::both, true, B::watch, true},
        {"camera only drops the device", false, B::phone, L::cameraOnly, true, B::off, false},
        {"camera only from both", true, B::either, L::cameraOnly, true, B::off, false},
    };
    for (const auto& c : cases) {
        monitor->settings().updateConfig([&](VigilorConfig& config) {
            config.cameraPresenceEnabled = c.camera;
            config.bluetoothPresenceMode = c.mode;
            config.watchGateRequired = !c.camera;
        });
        const size_t updatesBefore = updates();
        content.lockingMode().set(c.chosen);
        const VigilorConfig& after = monitor->config();
        EXPECT_EQ(updates() - updatesBefore, 1u) << c.name;
        EXPECT_EQ(after.cameraPresenceEnabled, c.cameraAfter) << c.name;
        EXPECT_EQ(after.bluetoothPresenceMode, c.modeAfter) << c.name;
        EXPECT_EQ(after.watchGateRequired, c.gateAfter) << c.name;
        EXPECT_EQ(content.lockingMode().get(), c.chosen) << c.name;
    }
}

TEST_F(SettingOperations, ReadsTheLockingModeFromTheCameraSwitchFirst) {
    using B = BluetoothPresenceMode;
    const struct {
        bool camera;
        B mode;
        bool gate;
        LockingModeOption shown;
    } cases[] = {
        {false, B::off, false, LockingModeOption::deviceOnly},
        {false, B::watch, true, LockingModeOption::deviceOnly},
        {true, B::phone, false, LockingModeOption::both},
        {true, B::off, true, LockingModeOption::cameraOnly},
    };
    for (const auto& c : cases) {
        VigilorConfig config;
        config.cameraPresenceEnabled = c.camera;
        config.bluetoothPresenceMode = c.mode;
        config.watchGateRequired = c.gate;
        EXPECT_EQ(lockingModeForConfig(config), c.shown);
    }
}

TEST_F(SettingOperations, PickingADeviceStoresItsIdentifierOnlyWhenItIsAUuid) {
    const std::optional<UUID> watchBefore = monitor->config().watchUUID;
    const struct {
        const char* identifier;
        size_t updates;
        bool stored;
    } cases[] = {
        {"6B1D2E3F-4A5B-4C6D-8E9F-0A1B2C3D4E5F", 2, true},
        {"not-a-uuid", 1, false},
        {"6B1D2E3F4A5B4C6D8E9F0A1B2C3D4E5F", 1, false},
        {"", 1, false},
    };
    for (const auto& c : cases) {
        monitor->settings().updateConfig([](VigilorConfig& config) { config.phoneUUID.reset(); });
        const size_t updatesBefore = updates();
        monitor->settings().updateDeviceUUID(c.identifier, MonitorSettings::BluetoothDeviceType::phone);
        monitor->settings().updateDeviceName("Pixel", MonitorSettings::BluetoothDeviceType::phone);
        EXPECT_EQ(updates() - updatesBefore, c.updates) << c.identifier;
        EXPECT_EQ(monitor->config().phoneUUID.has_value(), c.stored) << c.identifier;
        EXPECT_EQ(monitor->config().phoneName, "Pixel") << c.identifier;
        EXPECT_EQ(monitor->config().watchUUID, watchBefore) << c.identifier;
        EXPECT_EQ(monitor->config().watchName, "Apple Watch") << c.identifier;
    }
}

TEST_F(SettingOperations, TheAutoLockSwitchShowsTheSettingInForce) {
    content.autoLockEnabled().set(true);
    EXPECT_TRUE(monitor->config().autoLockEnabled);
    EXPECT_TRUE(monitor->autoLockEnabled());
    // A change that comes another way (another computer's settings) turns the switch too.
    monitor->settings().updateConfig([](VigilorConfig& c) { c.autoLockEnabled = false; });
    EXPECT_FALSE(content.autoLockEnabled().get());
}

TEST_F(SettingOperations, AsksForNotificationPermissionEachTimeOneIsTurnedOn) {
    const struct {
        const char* name;
        std::function<Binding<bool>(const SettingsBindings&)> binding;
    } cases[] = {
        {"breaks", [](const SettingsBindings& s) { return s.notifyWhenBreakDue(); }},
        {"locks", [](const SettingsBindings& s) { return s.notifyWhenComputerLocks(); }},
    };
    for (const auto& c : cases) {
        h.notifications->pendingAuthorizations.clear();
        const Binding<bool> binding = c.binding(content);
        binding.set(true);
        binding.set(true);
        binding.set(false);
        EXPECT_EQ(h.notifications->pendingAuthorizations.size(), 2u) << c.name;
        EXPECT_FALSE(binding.get()) << c.name;

        // A refusal is only logged; the switch stays as the user set it.
        binding.set(true);
        h.notifications->pendingAuthorizations.back()(false, std::nullopt);
        h.runLoop.loop().runUntilIdle();
        EXPECT_TRUE(binding.get()) << c.name;
    }
    EXPECT_EQ(activity(0), "Lock notifications denied");
}

TEST_F(SettingOperations, BluetoothModeControlMayAskForPermissionOnlyForADeviceMode) {
    h.bluetooth->authorizationAnswer = BluetoothAuthorization::notDetermined;
    content.bluetoothPresenceMode().set(BluetoothPresenceMode::off);
    EXPECT_EQ(h.log.count("bluetooth.makeCentral"), 0u);

    content.bluetoothPresenceMode().set(BluetoothPresenceMode::watch);
    EXPECT_EQ(h.log.count("bluetooth.makeCentral"), 1u);
    EXPECT_TRUE(monitor->config().watchGateRequired);
    EXPECT_EQ(content.bluetoothPresenceMode().get(), BluetoothPresenceMode::watch);

    content.bluetoothPresenceMode().set(BluetoothPresenceMode::off);
    EXPECT_FALSE(monitor->config().watchGateRequired);
    EXPECT_EQ(monitor->companion().bluetoothStatus(), "Bluetooth off in settings");
}

TEST_F(SettingOperations, ResettingTheDistanceForgetsTheBaselineButChangingTheModeKeepsIt) {
    showFace(*monitor, [](FrameAnalysisResult& r) { r.faceWidth = 0.31; });
    monitor->setCurrentDistanceAsIdeal();

    content.distanceCalibrationMode().set(DistanceCalibrationMode::automatic);
    EXPECT_EQ(monitor->config().savedDistanceBaselineFaceWidth, 0.31);

    monitor->resetDistanceCalibration();
    EXPECT_EQ(monitor->config().distanceCalibrationMode, DistanceCalibrationMode::automatic);
    EXPECT_FALSE(monitor->config().savedDistanceBaselineFaceWidth);
    EXPECT_FALSE(monitor->cameraPresence().distanceBaselineFaceWidth());
    EXPECT_EQ(activity(0), "Distance calibration reset");
    EXPECT_EQ(activity(1), "Settings updated");
}

TEST_F(SettingOperations, ANewSecretRestartsTheRelayWithIt) {
    const std::string old = monitor->config().remoteSharedSecret;
    h.log.clear();
    monitor->settings().regenerateRemoteSharedSecret();
    EXPECT_NE(monitor->config().remoteSharedSecret, old);
    EXPECT_EQ(h.relay->config.remoteSharedSecret, monitor->config().remoteSharedSecret);
    EXPECT_EQ(h.log.count("relay.restart"), 1u);
    EXPECT_EQ(activity(0), "Remote companion secret regenerated");
    EXPECT_EQ(activity(1), "Settings updated");
}
