#include "Vigilor/Config/VigilorConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <vector>

namespace {

VigilorConfig decode(const char* text) {
    return VigilorConfig::fromJSON(*parseJson(text)).config;
}

std::vector<std::string> keysOf(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.push_back(key);
    return keys;
}

// Moves every field away from its default, so a round trip can show that each one is written and read.
struct ChangeEveryField {
    int visited = 0;
    void operator()(std::string_view, bool& value) { value = !value, ++visited; }
    void operator()(std::string_view, int& value) { value += 3, ++visited; }
    void operator()(std::string_view, double& value) { value += 1.25, ++visited; }
    void operator()(std::string_view, std::string& value) { value += " changed", ++visited; }
    void operator()(std::string_view, std::optional<UUID>&) {
        // Both UUID fields get a fresh identifier.
    }
    void operator()(std::string_view, std::optional<double>& value) { value = 0.31, ++visited; }
    template <RawValueEnum E> void operator()(std::string_view, E& value) {
        value = allCases<E>().back() == value ? allCases<E>().front() : allCases<E>().back();
        ++visited;
    }
    template <class T, class Rule> void operator()(std::string_view key, T& value, const Rule&) {
        (*this)(key, value);
    }
};

VigilorConfig everyFieldChanged() {
    VigilorConfig config;
    ChangeEveryField change;
    VigilorConfig::forEachField(config, change);
    config.watchUUID = UUID::random();
    config.phoneUUID = UUID::random();
    config.bodyAssistDefaultMigrated = true; // the migration would otherwise change the assist back
    EXPECT_EQ(change.visited, 55);
    return config;
}

} // namespace

TEST(VigilorConfig, EncodesEveryFieldInDeclarationOrderWithRawValues) {
    VigilorConfig config;
    config.phoneUUID = *UUID::parse("11111111-2222-4333-8444-555555555555");
    config.savedDistanceBaselineFaceWidth = 0.25;
    const Json object = config.toJSON();
    const std::vector<std::string> expected = {"watchName",
                                               "watchUUID",
                                               "autoLockEnabled",
                                               "screenLockingEnabled",
                                               "lockTimeout",
                                               "minMissingSamples",
                                               "activeInputGrace",
                                               "watchGrace",
                                               "watchWeakRSSI",
                                               "watchGateRequired",
                                               "bluetoothPresenceMode",
                                               "eyeBreakEnabled",
                                               "eyeBreakInterval",
                                               "eyeBreakDuration",
                                               "walkBreakEnabled",
                                               "walkBreakInterval",
                                               "walkBreakDuration",
                                               "spontaneousWalkCreditDuration",
                                               "distanceWarnRatio",
                                               "distanceDangerRatio",
                                               "distanceFarRatio",
                                               "distanceCalibrationMode",
                                               "savedDistanceBaselineFaceWidth",
                                               "lookAwayYawDegrees",
                                               "lookDownPitchDegrees",
                                               "postureYawDegrees",
                                               "sensitivityPreset",
                                               "deskProfile",
                                               "cameraProfile",
                                               "launchAtLogin",
                                               "visualNudgesEnabled",
                                               "menuBarFeedbackStyle",
                                               "pulseMenuBarWhenDue",
                                               "notifyWhenBreakDue",
                                               "notifyWhenMacLocks",
                                               "lockNotificationWebhookURL",
                                               "soundWhenBreakDue",
                                               "suppressAutoLockDuringRemoteSession",
                                               "bodyPoseHintsEnabled",
                                               "bodyPoseLockAssistEnabled",
                                               "bodyAssistDefaultMigrated",
                                               "requestCenterStage",
                                               "phoneName",
                                               "phoneUUID",
                                               "bodyPresenceLockGrace",
                                               "lookAwayLockGrace",
                                               "remoteCompanionEnabled",
                                               "remoteStatusEndpointURL",
                                               "remoteCommandEndpointURL",
                                               "remoteSharedSecret",
                                               "remoteDeviceID",
                                               "remoteHeartbeatInterval",
                                               "remoteCommandPollInterval",
                                               "remoteCommandTTL",
                                               "suppressLockDuringCalls",
                                               "requireKnownFaceForPresence",
                                               "cameraPresenceEnabled"};
    EXPECT_EQ(keysOf(object), expected);

    const std::string text = jsonText(object);
    for (const char* fragment :
         {R"("bluetoothPresenceMode":"Off")", R"("distanceCalibrationMode":"Auto-learn")",
          R"("sensitivityPreset":"Balanced")", R"("deskProfile":"Desktop monitor")",
          R"("cameraProfile":"Built-in camera")", R"("menuBarFeedbackStyle":"Live icon")",
          R"("phoneUUID":"11111111-2222-4333-8444-555555555555")", R"("lockNotificationWebhookURL":"")",
          R"("minMissingSamples":6,)", R"("watchWeakRSSI":-90,)", R"("remoteCommandPollInterval":0.15,)"})
        EXPECT_NE(text.find(fragment), std::string::npos) << fragment;
}

TEST(VigilorConfig, LeavesAbsentOptionalsOutInsteadOfWritingNull) {
    VigilorConfig config;
    config.watchUUID.reset();
    const Json object = config.toJSON();
    for (const char* key : {"watchUUID", "phoneUUID", "savedDistanceBaselineFaceWidth"})
        EXPECT_FALSE(object.contains(key)) << key;
    EXPECT_EQ(object.size(), 54u);

    // An absent watch therefore reads back as the default watch, the other two as absent.
    const VigilorConfig decoded = VigilorConfig::fromJSON(object).config;
    EXPECT_EQ(decoded.watchUUID, VigilorConfig::defaultWatchUUID);
    EXPECT_FALSE(decoded.phoneUUID);
    EXPECT_FALSE(decoded.savedDistanceBaselineFaceWidth);
}

TEST(VigilorConfig, RoundTripsEveryField) {
    const VigilorConfig original = everyFieldChanged();
    const VigilorConfig defaults;
    EXPECT_NE(original.watchName, defaults.watchName);
    EXPECT_EQ(original.toJSON().size(), 57u);
    const auto decoded = VigilorConfig::fromJSON(*parseJson(jsonText(original.toJSON())));
    EXPECT_EQ(decoded.config, original);
    EXPECT_TRUE(decoded.defaulted.empty());
}

TEST(VigilorConfig, AnEmptyObjectGivesMigratedDefaultsWithFreshSecrets) {
    const VigilorConfig decoded = decode("{}");
    VigilorConfig expected;
    expected.bodyAssistDefaultMigrated = true;
    expected.remoteSharedSecret = decoded.remoteSharedSecret;
    expected.remoteDeviceID = decoded.remoteDeviceID;
    EXPECT_EQ(decoded, expected);
    EXPECT_TRUE(decoded.bodyPoseLockAssistEnabled);
    EXPECT_EQ(decoded.bluetoothPresenceMode, BluetoothPresenceMode::off);
    EXPECT_NE(decode("{}").remoteSharedSecret, decoded.remoteSharedSecret);
}

TEST(VigilorConfig, MigratesTheBluetoothModeOnlyWhenItIsMissing) {
    const struct {
        const char* json;
        BluetoothPresenceMode mode;
        bool gate;
    } cases[] = {
        {R"({"watchGateRequired":true})", BluetoothPresenceMode::watch, true},
        {R"({"watchGateRequired":true,"bluetoothPresenceMode":null})", BluetoothPresenceMode::watch, true},
        {R"({"watchGateRequired":false})", BluetoothPresenceMode::off, false},
        {R"({})", BluetoothPresenceMode::off, false},
        // Both stored: both taken as they are, even when they disagree.
        {R"({"watchGateRequired":true,"bluetoothPresenceMode":"Off"})", BluetoothPresenceMode::off, true},
        {R"({"watchGateRequired":false,"bluetoothPresenceMode":"Phone I carry"})",
         BluetoothPresenceMode::phone, false},
    };
    for (const auto& c : cases) {
        const VigilorConfig config = decode(c.json);
        EXPECT_EQ(config.bluetoothPresenceMode, c.mode) << c.json;
        EXPECT_EQ(config.watchGateRequired, c.gate) << c.json;
    }
}

TEST(VigilorConfig, MigratesTheBodyAssistUntilTheFlagIsSet) {
    const struct {
        const char* json;
        bool assist;
    } cases[] = {
        {R"({"bodyAssistDefaultMigrated":false,"bodyPoseLockAssistEnabled":false})", true},
        {R"({"bodyPoseLockAssistEnabled":false})", true},
        {R"({"bodyAssistDefaultMigrated":true,"bodyPoseLockAssistEnabled":false})", false},
        {R"({"bodyAssistDefaultMigrated":true,"bodyPoseLockAssistEnabled":true})", true},
    };
    for (const auto& c : cases) {
        const VigilorConfig config = decode(c.json);
        EXPECT_EQ(config.bodyPoseLockAssistEnabled, c.assist) << c.json;
        EXPECT_TRUE(config.bodyAssistDefaultMigrated) << c.json;
    }
}

// A value that does not read goes back to its default alone: every other stored value is kept (a mode
// that does not read follows the gate, as a missing one does), and the decode names what it could not
// read. Only a record that is not an object fails whole.
TEST(VigilorConfig, AValueOfTheWrongTypeGoesBackToItsDefaultAlone) {
    const VigilorConfig stored = everyFieldChanged();
    const Json defaults = VigilorConfig().toJSON();
    const std::pair<const char*, const char*> cases[] = {
        {"minMissingSamples", "6.5"},
        {"watchWeakRSSI", "-1e12"},
        {"lockTimeout", R"("fast")"},
        {"autoLockEnabled", "1"},
        {"watchName", "42"},
        {"watchUUID", R"("not a uuid")"},
        {"phoneUUID", "12"},
        {"bluetoothPresenceMode", R"("off")"}, // the case name, not the raw value
        {"menuBarFeedbackStyle", R"("Icon+status")"},
        {"savedDistanceBaselineFaceWidth", R"("0.3")"},
        {"cameraPresenceEnabled", R"("yes")"},
    };
    for (const auto& [key, bad] : cases) {
        Json object = stored.toJSON();
        object[key] = *parseJson(bad);
        Json expected = stored.toJSON();
        if (std::string_view(key) == "bluetoothPresenceMode")
            expected[key] = stored.watchGateRequired ? "Apple Watch" : "Off";
        else if (defaults.contains(key))
            expected[key] = defaults[key];
        else
            expected.erase(key);
        const auto decoded = VigilorConfig::fromJSON(object);
        EXPECT_EQ(decoded.config.toJSON(), expected) << key;
        EXPECT_THAT(decoded.defaulted, testing::ElementsAre(testing::HasSubstr(key))) << key;
    }
    EXPECT_THROW(VigilorConfig::fromJSON(Json::array()), JsonDecodingError);
}

TEST(VigilorConfig, TakesIntegersForSecondsAndKeepsDefaultsForNulls) {
    const VigilorConfig config = decode(
        R"({"lockTimeout":20,"minMissingSamples":4.0,"watchName":null,"lockNotificationWebhookURL":""})");
    EXPECT_EQ(config.lockTimeout, 20.0);
    EXPECT_EQ(config.minMissingSamples, 4);
    EXPECT_EQ(config.watchName, "Apple Watch");
    EXPECT_EQ(config.lockNotificationWebhookURL, "");
}

TEST(VigilorConfig, GeneratesSecretAndDeviceIdentifierOfTheirOwnForm) {
    const VigilorConfig a, b;
    EXPECT_TRUE(std::regex_match(a.remoteSharedSecret, std::regex("[0-9A-F]{64}"))) << a.remoteSharedSecret;
    EXPECT_TRUE(std::regex_match(
        a.remoteDeviceID, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << a.remoteDeviceID;
    EXPECT_NE(a.remoteSharedSecret, b.remoteSharedSecret);
    EXPECT_NE(a.remoteDeviceID, b.remoteDeviceID);
    VigilorConfig sameSecrets = b;
    sameSecrets.remoteSharedSecret = a.remoteSharedSecret;
    sameSecrets.remoteDeviceID = a.remoteDeviceID;
    EXPECT_EQ(sameSecrets, a); // nothing else differs

    // Stored secrets are kept as they are; missing ones are generated afresh.
    const VigilorConfig stored = decode(R"({"remoteSharedSecret":"abc","remoteDeviceID":""})");
    EXPECT_EQ(stored.remoteSharedSecret, "abc");
    EXPECT_EQ(stored.remoteDeviceID, "");
}

TEST(VigilorConfig, ListsEnumerationCasesInDeclarationOrder) {
    EXPECT_EQ(allCases<BluetoothPresenceMode>(),
              (std::array{BluetoothPresenceMode::off, BluetoothPresenceMode::watch,
                          BluetoothPresenceMode::phone, BluetoothPresenceMode::either}));
    EXPECT_EQ(rawValue(BluetoothPresenceMode::either), "Watch or phone");
    EXPECT_EQ(rawValue(DistanceCalibrationMode::manual), "Fixed distance");
    EXPECT_EQ(rawValue(MenuBarFeedbackStyle::liveLabel), "Icon + status");
    EXPECT_EQ(rawValue(MenuBarFeedbackStyle::staticIcon), "Quiet icon");
    EXPECT_EQ(rawValue(CameraProfile::sideMounted), "Side-mounted");
    EXPECT_EQ(rawValue(DeskProfile::externalCamera), "External camera");
    EXPECT_EQ(rawValue(SensitivityPreset::conservative), "Conservative");
}

TEST(RemoteStatusEndpoint, IsReadyOnlyForHttpUrlsWithAHost) {
    const struct {
        bool enabled;
        const char* url;
        bool ready;
    } cases[] = {
        {true, "https://relay.example/status", true},
        {true, "  https://relay.example/status \n", true},
        {true, "HTTPS://relay.example/status", true},
        {true, "http://127.0.0.1:8080/s", true},
        {true, "https:///status", false},
        {true, "ftp://relay.example/status", false},
        {true, "relay.example/status", false},
        {true, "https://relay example/status", false},
        {true, "", false},
        {true, "   ", false},
        {false, "https://relay.example/status", false},
    };
    for (const auto& c : cases) {
        VigilorConfig config;
        config.remoteCompanionEnabled = c.enabled;
        config.remoteStatusEndpointURL = c.url;
        EXPECT_EQ(remoteStatusEndpointReady(config), c.ready) << c.url;
    }
}
