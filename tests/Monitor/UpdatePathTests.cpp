#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

using ::testing::ElementsAre;

namespace {

std::string newestEvent(const VigilorMonitor& monitor) {
    return monitor.log().events().front().text;
}

struct UpdatePath : ::testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor = h.makeMonitor();

    void SetUp() override { h.log.clear(); }

    void update(const std::function<void(VigilorConfig&)>& mutation) {
        monitor->settings().updateConfig(mutation);
        h.runLoop.loop().runUntilIdle();
    }
};

} // namespace

TEST_F(UpdatePath, AnUnchangedSettingStillRunsEveryUnconditionalStep) {
    int published = 0;
    monitor->subscribe([&] { ++published; });
    update([](VigilorConfig&) {});
    EXPECT_THAT(h.log.entries, ElementsAre("relay.setConfig", "relay.restart", "loginItem.status",
                                           "loginItem.status", "sync.push"));
    EXPECT_GE(published, 2); // config and autoLockEnabled are assigned again
    EXPECT_EQ(newestEvent(*monitor), "Settings updated");
    EXPECT_TRUE(DefaultsStore::standard().value(VigilorConfig::storageKey));
}

TEST_F(UpdatePath, SavesPublishesAndRefillsEmptySecrets) {
    update([](VigilorConfig& c) {
        c.remoteSharedSecret.clear();
        c.remoteDeviceID.clear();
        c.autoLockEnabled = true;
    });
    EXPECT_TRUE(std::regex_match(monitor->config().remoteSharedSecret, std::regex("[0-9A-F]{64}")));
    EXPECT_TRUE(std::regex_match(monitor->config().remoteDeviceID, std::regex("[0-9A-F-]{36}")));
    EXPECT_TRUE(monitor->autoLockEnabled());
    EXPECT_EQ(VigilorConfig::load().remoteSharedSecret, monitor->config().remoteSharedSecret);
    EXPECT_EQ(h.relay->config, monitor->config());

    // A blank secret is not empty and stays.
    update([](VigilorConfig& c) { c.remoteSharedSecret = " "; });
    EXPECT_EQ(monitor->config().remoteSharedSecret, " ");
}

TEST_F(UpdatePath, SendsAHeartbeatOnlyWhenTheStatusEndpointBecomesUsable) {
    const struct {
        const char* name;
        std::function<void(VigilorConfig&)> before, change;
        size_t heartbeats;
    } cases[] = {
        {"switched on with a valid URL",
         [](VigilorConfig& c) { c.remoteStatusEndpointURL = "https://relay.example/status"; },
         [](VigilorConfig& c) { c.remoteCompanionEnabled = true; }, 1},
        {"one valid URL for another",
         [](VigilorConfig& c) {
             c.remoteCompanionEnabled = true;
             c.remoteStatusEndpointURL = "https://relay.example/status";
         },
         [](VigilorConfig& c) { c.remoteStatusEndpointURL = "http://other.example/s"; }, 0},
        {"switched off",
         [](VigilorConfig& c) {
             c.remoteCompanionEnabled = true;
             c.remoteStatusEndpointURL = "https://relay.example/status";
         },
         [](VigilorConfig& c) { c.remoteCompanionEnabled = false; }, 0},
        {"an invalid URL made valid",
         [](VigilorConfig& c) {
             c.remoteCompanionEnabled = true;
             c.remoteStatusEndpointURL = "relay.example/status";
         },
         [](VigilorConfig& c) { c.remoteStatusEndpointURL = " https://relay.example/status\n"; }, 1},
    };
    for (const auto& c : cases) {
        update(c.before);
        h.log.clear();
        update(c.change);
        EXPECT_EQ(h.log.count("relay.sendStatus heartbeat"), c.heartbeats) << c.name;
        EXPECT_EQ(h.log.count("widget.mirror heartbeat"), c.heartbeats) << c.name;
        if (c.heartbeats) {
            EXPECT_TRUE(h.relay->sent.back().force) << c.name;
            EXPECT_EQ(h.relay->sent.back().snapshot.source, "Zorvi") << c.name;
        }
    }
}

TEST_F(UpdatePath, SwitchingCameraPresenceStopsAndRestartsTheCamera) {
    auto session = h.camera->lastSession;
    ASSERT_TRUE(session);
    missFace(*monitor, 3);
    faceSeenAgo(*monitor, h.clock.now(), 4.5);

    update([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    EXPECT_EQ(h.log.entries.front(), "relay.setConfig");
    EXPECT_EQ(h.log.count("watchdog.cameraOff"), 1u);
    EXPECT_FALSE(monitor->cameraPresence().captureSession());
    EXPECT_FALSE(monitor->cameraPresence().facePresent());
    EXPECT_EQ(monitor->cameraPresence().secondsSinceFace(), 0);
    EXPECT_EQ(monitor->cameraPresence().missingFaceSamples(), 0);
    EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Camera disabled for device-only mode");
    EXPECT_EQ(monitor->log().events()[1].text, "Camera stopped: using device-only locking mode");
    monitor.reset(); // joins the video queue, so the stop has run
    EXPECT_EQ(session->stops, 1);
}

TEST_F(UpdatePath, SwitchingCameraPresenceOnStartsTheCamera) {
    update([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    h.log.clear();
    update([](VigilorConfig& c) { c.cameraPresenceEnabled = true; });
    const auto& e = h.log.entries;
    const auto at = [&](const char* entry) { return std::find(e.begin(), e.end(), entry) - e.begin(); };
    EXPECT_LT(at("watchdog.cameraOn"), at("camera.authorizationStatus"));
    EXPECT_EQ(monitor->log().events()[1].text, "Camera started: re-enabled for presence detection");
    // Without a camera nothing started: the last word is why.
    update([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    h.camera->hasDevice = false;
    update([](VigilorConfig& c) { c.cameraPresenceEnabled = true; });
    EXPECT_EQ(monitor->log().events()[1].text, "No camera found");
    h.camera->hasDevice = true;

    h.log.clear();
    update([](VigilorConfig& c) { c.lockTimeout = 30; });
    EXPECT_EQ(h.log.count("camera.authorizationStatus"), 0u);
    EXPECT_EQ(h.log.count("watchdog.cameraOn"), 0u);
}

TEST_F(UpdatePath, RebuildsCallDetectionOnlyWhenCallSuppressionChanges) {
    update([](VigilorConfig& c) { c.lockTimeout = 20; });
    EXPECT_EQ(h.log.count("audio.unlistenDefault"), 0u);
    update([](VigilorConfig& c) { c.suppressLockDuringCalls = false; });
    EXPECT_EQ(h.log.count("audio.unlistenDefault"), 1u);
    EXPECT_EQ(h.log.count("audio.listenDefault"), 0u); // off: nothing is installed again
    EXPECT_FALSE(monitor->callDetector().onCall());
    update([](VigilorConfig& c) { c.suppressLockDuringCalls = true; });
    EXPECT_EQ(h.log.count("audio.listenDefault"), 1u);
}

TEST_F(UpdatePath, ManualCalibrationRepublishesTheStoredBaselineEvenWhenAbsent) {
    MonitorInternals::camera(*monitor).setDistanceBaseline(0.4);
    update([](VigilorConfig& c) { c.lockTimeout = 13; });
    EXPECT_EQ(monitor->cameraPresence().distanceBaselineFaceWidth(), 0.4); // automatic: left as learnt
    update([](VigilorConfig& c) { c.distanceCalibrationMode = DistanceCalibrationMode::manual; });
    EXPECT_FALSE(monitor->cameraPresence().distanceBaselineFaceWidth());
}

TEST_F(UpdatePath, AppliesASyncedCopyWithoutPushingItBack) {
    h.sync->deviceName = "Studio";
    VigilorConfig remote = monitor->config();
    remote.lockTimeout = 44;
    remote.autoLockEnabled = !monitor->config().autoLockEnabled; // not synced
    remote.launchAtLogin = true;                                 // not synced
    const bool autoLockBefore = monitor->config().autoLockEnabled;
    ASSERT_TRUE(h.sync->onRemoteSettings);
    h.sync->onRemoteSettings(SyncedSettings::from(remote));
    EXPECT_EQ(monitor->config().lockTimeout, 44);
    EXPECT_EQ(monitor->config().autoLockEnabled, autoLockBefore);
    EXPECT_FALSE(monitor->config().launchAtLogin);
    EXPECT_EQ(h.log.count("sync.push"), 0u);
    EXPECT_EQ(monitor->log().events()[0].text, "Settings synced from Studio");
    EXPECT_EQ(monitor->log().events()[1].text, "Settings updated");

    h.sync->deviceName.reset();
    h.sync->onRemoteSettings(SyncedSettings::from(remote));
    EXPECT_EQ(newestEvent(*monitor), "Settings synced from another computer");
    update([](VigilorConfig& c) { c.lockTimeout = 45; });
    EXPECT_EQ(h.log.count("sync.push"), 1u);
}

TEST_F(UpdatePath, TurningBluetoothPresenceOffClearsItsState) {
    update([](VigilorConfig& c) {
        c.bluetoothPresenceMode = BluetoothPresenceMode::watch;
        c.watchGateRequired = true;
    });
    h.runLoop.loop().runUntilIdle(); // the radio's first report
    ASSERT_TRUE(h.hearWatch(-60));
    h.runLoop.loop().advance(0.5); // a tick publishes the time since
    const CompanionPresence& companion = monitor->companion();
    ASSERT_TRUE(companion.watchPresent() && companion.watchRSSI() && companion.secondsSinceWatch());
    update([](VigilorConfig& c) { c.bluetoothPresenceMode = BluetoothPresenceMode::off; });
    EXPECT_FALSE(companion.watchPresent());
    EXPECT_FALSE(companion.watchRSSI());
    EXPECT_FALSE(companion.secondsSinceWatch());
    EXPECT_EQ(companion.bluetoothStatus(), "Bluetooth off in settings");

    int published = 0;
    monitor->subscribe([&] { ++published; });
    monitor->syncBluetoothForCurrentConfig(false);
    EXPECT_EQ(published, 0); // nothing changed, nothing published
}

TEST_F(UpdatePath, LogsTheAnswerToANotificationPermissionRequest) {
    const struct {
        bool lock;
        bool granted;
        std::optional<std::string> error;
        const char* line;
    } cases[] = {
        {false, true, std::nullopt, "Break notifications enabled"},
        {false, false, std::nullopt, "Break notifications denied"},
        {false, true, "No service", "Notification setup failed: No service"},
        {true, true, std::nullopt, "Lock notifications enabled"},
        {true, false, std::nullopt, "Lock notifications denied"},
        {true, false, "No service", "Lock notification setup failed: No service"},
    };
    for (const auto& c : cases) {
        if (c.lock)
            monitor->settings().setLockNotificationsEnabled(true);
        else
            monitor->settings().setBreakNotificationsEnabled(true);
        ASSERT_EQ(h.notifications->pendingAuthorizations.size(), 1u);
        h.notifications->pendingAuthorizations.front()(c.granted, c.error);
        h.notifications->pendingAuthorizations.clear();
        h.runLoop.loop().runUntilIdle();
        EXPECT_EQ(newestEvent(*monitor), c.line);
        EXPECT_TRUE(c.lock ? monitor->config().notifyWhenComputerLocks
                           : monitor->config().notifyWhenBreakDue);
    }
    monitor->settings().setBreakNotificationsEnabled(false);
    EXPECT_TRUE(h.notifications->pendingAuthorizations.empty());
    EXPECT_FALSE(monitor->config().notifyWhenBreakDue);
}

TEST_F(UpdatePath, TakesTheCurrentDistanceAsIdealOnlyWithAVisibleFace) {
    monitor->setCurrentDistanceAsIdeal();
    EXPECT_EQ(newestEvent(*monitor), "Distance calibration skipped: face not visible");
    EXPECT_EQ(monitor->config().distanceCalibrationMode, DistanceCalibrationMode::automatic);

    showFace(*monitor, [](FrameAnalysisResult& r) { r.faceWidth = 0.27; });
    monitor->setCurrentDistanceAsIdeal();
    EXPECT_EQ(newestEvent(*monitor), "Distance calibrated");
    EXPECT_EQ(monitor->config().distanceCalibrationMode, DistanceCalibrationMode::manual);
    EXPECT_EQ(monitor->config().savedDistanceBaselineFaceWidth, 0.27);
    EXPECT_EQ(monitor->cameraPresence().distanceBaselineFaceWidth(), 0.27);
}

TEST(SetIfChanged, PublishesOnlyADifferentValue) {
    ObservableObject owner;
    Published<double> value{owner, 0};
    int published = 0;
    owner.subscribe([&] { ++published; });
    setIfChanged(value, 0.0);
    EXPECT_EQ(published, 0);
    setIfChanged(value, 0.2);
    setIfChanged(value, 0.2);
    EXPECT_EQ(published, 1);
    setIfChanged(value, 0.0);
    EXPECT_EQ(published, 2);
    EXPECT_EQ(value(), 0);
    setIfChanged(value, std::nan(""));
    setIfChanged(value, std::nan(""));
    EXPECT_EQ(published, 4); // NaN never equals itself, so it is always written
}

// Every record that enters the monitor (the stored one at start, an update, a copy from another
// computer) is kept within each field's rule, each replacement said once; a value within its rule,
// off the window's steps included, is kept. Only a change writes the stored record.
TEST(SettingRules, KeepEveryRecordThatEntersWithinEachFieldsRule) {
    enum Entry { load = 1, update = 2, sync = 4, all = 7 };
    const struct {
        const char* key;
        std::function<void(VigilorConfig&)> set;
        Json normalised;
        int entries; // JSON holds no value that is not finite; sync carries no relay interval
    } cases[] = {
        {"eyeBreakInterval", [](VigilorConfig& c) { c.eyeBreakInterval = 0; }, 600, all},
        {"eyeBreakInterval", [](VigilorConfig& c) { c.eyeBreakInterval = 1234; }, 1234, all},
        {"eyeBreakDuration", [](VigilorConfig& c) { c.eyeBreakDuration = 1e308; }, 60, all},
        {"walkBreakInterval", [](VigilorConfig& c) { c.walkBreakInterval = std::nan(""); }, 3000,
         update | sync},
        {"lockTimeout", [](VigilorConfig& c) { c.lockTimeout = -1e308; }, 5, all},
        {"minMissingSamples", [](VigilorConfig& c) { c.minMissingSamples = 1'000'000; }, 20, all},
        {"watchWeakRSSI", [](VigilorConfig& c) { c.watchWeakRSSI = -110; }, -100, all},
        {"distanceFarRatio", [](VigilorConfig& c) { c.distanceFarRatio = 0.2; }, 0.5, all},
        {"remoteHeartbeatInterval", [](VigilorConfig& c) { c.remoteHeartbeatInterval = 0; }, 30,
         load | update},
        {"remoteCommandPollInterval", [](VigilorConfig& c) { c.remoteCommandPollInterval = -HUGE_VAL; }, 0.15,
         update},
        {"watchName", [](VigilorConfig& c) { c.watchName = std::string(200'000, 'w'); },
         std::string(256, 'w'), all},
    };
    for (const auto& c : cases)
        for (const Entry entry : {load, update, sync}) {
            if (!(c.entries & entry))
                continue;
            const std::string name = std::string(c.key) + (entry == load     ? " at start"
                                                           : entry == update ? " set"
                                                                             : " synced");
            MonitorHarness h;
            VigilorConfig changed;
            c.set(changed);
            if (entry == load)
                changed.save();
            auto monitor = h.makeMonitor();
            for (int round = 0; round < 2; ++round)
                if (entry == update)
                    monitor->settings().updateConfig(c.set);
                else if (entry == sync)
                    h.sync->onRemoteSettings(SyncedSettings::from(changed));

            EXPECT_EQ(monitor->config().toJSON()[c.key], c.normalised) << name;
            const Json stored = DefaultsStore::standard().value(VigilorConfig::storageKey).value();
            EXPECT_EQ(stored[c.key], entry == load ? changed.toJSON()[c.key] : c.normalised) << name;
            const auto lines = logTexts(monitor->log().events());
            const auto said = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
                return line.starts_with(std::string("Setting ") + c.key + " of ");
            });
            EXPECT_EQ(said, changed.toJSON()[c.key] == c.normalised ? 0 : 1) << name;
        }
}
