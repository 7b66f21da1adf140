#include "Foundation/AtomicFile.h"
#include "Support/Stalls.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Config/VigilorConfig.h"

#include <gtest/gtest.h>

#include <climits>

class VigilorConfigStorage : public ::testing::Test {
protected:
    void writeLegacy(const std::string& text) {
        ASSERT_TRUE(AtomicFile::write(VigilorConfig::legacyConfigFile(), text));
    }
    VigilorConfig loadWithLegacy(const std::string& text) {
        writeLegacy(text);
        return VigilorConfig::load();
    }

    TemporaryHome home;
};

TEST_F(VigilorConfigStorage, WithNothingStoredLoadsFreshDefaults) {
    EXPECT_EQ(VigilorConfig::legacyConfigFile(), home.path() / ".config/tavrel/config.json");
    const VigilorConfig first = VigilorConfig::load(), second = VigilorConfig::load();
    EXPECT_NE(first.remoteSharedSecret, second.remoteSharedSecret);
    EXPECT_EQ(first.watchName, "Apple Watch");
    EXPECT_FALSE(first.bodyAssistDefaultMigrated); // the defaults path runs no migration
}

TEST_F(VigilorConfigStorage, SavesUnderItsKeyAndLoadsTheSameRecord) {
    VigilorConfig config;
    config.lockTimeout = 17.5;
    config.bodyAssistDefaultMigrated = true;
    config.phoneUUID = UUID::random();
    config.save();
    EXPECT_TRUE(DefaultsStore::standard().value("app.zorvi.settings.v1")->is_object());
    EXPECT_EQ(VigilorConfig::load(), config);
}

TEST_F(VigilorConfigStorage, AStoredRecordWinsOverTheLegacyFile) {
    VigilorConfig config;
    config.watchName = "Stored";
    config.save();
    writeLegacy(R"({"watch_name":"Legacy"})");
    EXPECT_EQ(VigilorConfig::load().watchName, "Stored");
}

// A stored record with one value that does not read keeps every other setting (the legacy file is not
// read for it); the record as it was is kept aside once, however many starts read it; loading writes
// nothing, and the next save writes the default in the damaged value's place. A record that is not an
// object falls back whole.
TEST_F(VigilorConfigStorage, OneUnreadableValueCostsOnlyItselfAndIsKeptAsideOnce) {
    auto defaults = DefaultsStore::standard();
    VigilorConfig user;
    user.watchName = "Mine";
    user.eyeBreakInterval = 900;
    user.bodyAssistDefaultMigrated = true;
    Json damaged = user.toJSON();
    damaged["lockTimeout"] = "fast";
    defaults.set("app.zorvi.settings.v1", damaged);
    writeLegacy(R"({"watch_name":"Legacy"})");

    VigilorConfig expected = user;
    expected.lockTimeout = VigilorConfig().lockTimeout;
    for (int start = 0; start < 2; ++start)
        EXPECT_EQ(VigilorConfig::load(), expected) << start;
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(defaults.file().parent_path()))
        if (entry.path().filename().string().find(".unreadable-") != std::string::npos)
            copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(parseJson(*AtomicFile::read(copies[0])), (Json{{"app.zorvi.settings.v1", damaged}}));
    EXPECT_EQ(*defaults.value("app.zorvi.settings.v1"), damaged);
    VigilorConfig::load().save();
    EXPECT_EQ(*defaults.value("app.zorvi.settings.v1"), expected.toJSON());

    defaults.set("app.zorvi.settings.v1", Json::array());
    EXPECT_EQ(VigilorConfig::load().watchName, "Legacy");
}

TEST_F(VigilorConfigStorage, ARecordThatCannotBeEncodedIsNotWritten) {
    VigilorConfig good;
    good.watchName = "Good";
    good.bodyAssistDefaultMigrated = true;
    good.save();
    VigilorConfig bad = good;
    bad.lockTimeout = std::nan("");
    bad.save();
    EXPECT_EQ(VigilorConfig::load(), good);
}

TEST_F(VigilorConfigStorage, ImportsTheLegacyRssiThreshold) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"-50", -85},
        {"-70", -90},
        {"-100", -120},
        {"-64", -85},
        {"-66", -86},
        {"-70.0", -90},                    // an integer written with a fraction
        {"-70.5", -90},                    // not an integer: skipped, default kept
        {"\"-50\"", -90},                  // a string: skipped
        {"-9223372036854775808", INT_MIN}, // far below range: clamped, not wrapped
    };
    for (const auto& c : cases)
        EXPECT_EQ(loadWithLegacy(std::string(R"({"rssi_threshold":)") + c.value + "}").watchWeakRSSI,
                  c.expected)
            << c.value;
}

TEST_F(VigilorConfigStorage, ImportsLegacyBluetoothModeAndGate) {
    const struct {
        const char* json;
        BluetoothPresenceMode mode;
        bool gate;
    } cases[] = {
        {R"({"watch_gate_required":true})", BluetoothPresenceMode::watch, true},
        {R"({"watch_gate_required":false})", BluetoothPresenceMode::off, false},
        {R"({"watch_gate_required":true,"bluetooth_presence_mode":"Phone I carry"})",
         BluetoothPresenceMode::phone, true},
        {R"({"watch_gate_required":true,"bluetooth_presence_mode":"phone"})", BluetoothPresenceMode::watch,
         true},
        {R"({"watch_gate_required":true,"bluetooth_presence_mode":"Off"})", BluetoothPresenceMode::off,
         false},
        {R"({"bluetooth_presence_mode":"Watch or phone"})", BluetoothPresenceMode::either, true},
        {R"({"watch_gate_required":"yes"})", BluetoothPresenceMode::off, false},
    };
    for (const auto& c : cases) {
        const VigilorConfig config = loadWithLegacy(c.json);
        EXPECT_EQ(config.bluetoothPresenceMode, c.mode) << c.json;
        EXPECT_EQ(config.watchGateRequired, c.gate) << c.json;
    }
}

TEST_F(VigilorConfigStorage, ImportsLegacyValuesOnlyOfTheirOwnType) {
    const VigilorConfig config = loadWithLegacy(R"({
        "watch_name": "", "watch_uuid": "not-a-uuid", "away_timeout": 20, "auto_lock_enabled": true,
        "phone_name": "Pixel", "phone_uuid": "11111111-2222-4333-8444-555555555555",
        "notify_when_mac_locks": false, "lock_notification_webhook_url": "", "request_center_stage": false,
        "body_pose_lock_assist_enabled": false, "body_pose_hints_enabled": true, "remote_companion_enabled": true,
        "remote_status_endpoint_url": "https://relay.example/status", "remote_command_endpoint_url": "",
        "remote_shared_secret": "", "remote_device_id": "MAC-1", "eye_break_enabled": false,
        "eye_break_interval": 900.5, "eye_break_duration": 30, "walk_break_enabled": false,
        "walk_break_interval": "3600", "walk_break_duration": 120, "screen_locking_enabled": true,
        "unknown": 1})");
    EXPECT_EQ(config.watchName, "Apple Watch");
    EXPECT_FALSE(config.watchUUID); // cleared, not left at the default
    EXPECT_EQ(config.lockTimeout, 20);
    EXPECT_TRUE(config.autoLockEnabled);
    EXPECT_EQ(config.phoneName, "Pixel");
    EXPECT_EQ(config.phoneUUID->uuidString(), "11111111-2222-4333-8444-555555555555");
    EXPECT_FALSE(config.notifyWhenComputerLocks);
    EXPECT_EQ(config.lockNotificationWebhookURL, "");
    EXPECT_FALSE(config.requestCenterStage);
    EXPECT_FALSE(config.bodyPoseLockAssistEnabled); // in effect for the importing run
    EXPECT_TRUE(config.bodyPoseHintsEnabled);
    EXPECT_TRUE(config.remoteCompanionEnabled);
    EXPECT_EQ(config.remoteStatusEndpointURL, "https://relay.example/status");
    EXPECT_EQ(config.remoteSharedSecret.size(), 64u); // an empty secret is not taken
    EXPECT_EQ(config.remoteDeviceID, "MAC-1");
    EXPECT_FALSE(config.eyeBreakEnabled);
    EXPECT_EQ(config.eyeBreakInterval, 900.5);
    EXPECT_EQ(config.eyeBreakDuration, 30);
    EXPECT_FALSE(config.walkBreakEnabled);
    EXPECT_EQ(config.walkBreakInterval, 3000); // a string is skipped
    EXPECT_EQ(config.walkBreakDuration, 120);
    EXPECT_FALSE(config.screenLockingEnabled); // not importable
    EXPECT_FALSE(config.bodyAssistDefaultMigrated);

    EXPECT_EQ(loadWithLegacy(R"({"away_timeout":"20"})").lockTimeout, 12);
    EXPECT_EQ(
        loadWithLegacy(R"({"watch_uuid":"11111111-2222-4333-8444-555555555555"})").watchUUID->uuidString(),
        "11111111-2222-4333-8444-555555555555");
}

TEST_F(VigilorConfigStorage, ALegacyFileThatIsNotAnObjectGivesTheDefaults) {
    for (const char* text : {"[1,2]", "not json", "", "\"text\""}) {
        const VigilorConfig config = loadWithLegacy(text);
        EXPECT_EQ(config.watchName, "Apple Watch") << text;
        EXPECT_EQ(config.watchUUID, VigilorConfig::defaultWatchUUID) << text;
    }
    std::filesystem::remove(VigilorConfig::legacyConfigFile());
    const NamedPipe pipe(VigilorConfig::legacyConfigFile()); // read as a file, it would never end
    EXPECT_EQ(VigilorConfig::load().watchName, "Apple Watch");
    EXPECT_FALSE(pipe.heldAReader());
}

TEST_F(VigilorConfigStorage, TheLegacyImportIsNeverWrittenAndMigratesOnceSaved) {
    const std::string legacy = R"({"body_pose_lock_assist_enabled":false,"watch_name":"Old"})";
    const VigilorConfig imported = loadWithLegacy(legacy);
    EXPECT_FALSE(imported.bodyPoseLockAssistEnabled);
    EXPECT_FALSE(DefaultsStore::standard().value("app.zorvi.settings.v1")); // not saved by the import

    imported.save();
    const VigilorConfig reloaded = VigilorConfig::load();
    EXPECT_TRUE(reloaded.bodyPoseLockAssistEnabled);
    EXPECT_EQ(reloaded.watchName, "Old");
    EXPECT_EQ(*AtomicFile::read(VigilorConfig::legacyConfigFile()), legacy);
}
