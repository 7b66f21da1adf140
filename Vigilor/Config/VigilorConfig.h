#pragma once

#include "SettingRanges.h"

#include "Foundation/DefaultsStore.h"
#include "Foundation/Json.h"
#include "Foundation/Uuid.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

enum class BluetoothPresenceMode { off, watch, phone, either };
enum class SensitivityPreset { conservative, balanced, quick };
enum class DeskProfile { desktop, laptop, externalCamera };
enum class CameraProfile { builtIn, topOfMonitor, sideMounted };
enum class DistanceCalibrationMode { automatic, manual };
enum class MenuBarFeedbackStyle { staticIcon, liveIcon, liveLabel };

// The raw values are what the stored JSON holds and what the settings window shows.
template <> struct RawValues<BluetoothPresenceMode> {
    static constexpr std::array cases{
        std::pair{BluetoothPresenceMode::off, std::string_view("Off")},
        std::pair{BluetoothPresenceMode::watch, std::string_view("Apple Watch")},
        std::pair{BluetoothPresenceMode::phone, std::string_view("Phone I carry")},
        std::pair{BluetoothPresenceMode::either, std::string_view("Watch or phone")},
    };
};
template <> struct RawValues<SensitivityPreset> {
    static constexpr std::array cases{
        std::pair{SensitivityPreset::conservative, std::string_view("Conservative")},
        std::pair{SensitivityPreset::balanced, std::string_view("Balanced")},
        std::pair{SensitivityPreset::quick, std::string_view("Quick")},
    };
};
template <> struct RawValues<DeskProfile> {
    static constexpr std::array cases{
        std::pair{DeskProfile::desktop, std::string_view("Desktop monitor")},
        std::pair{DeskProfile::laptop, std::string_view("Laptop")},
        std::pair{DeskProfile::externalCamera, std::string_view("External camera")},
    };
};
template <> struct RawValues<CameraProfile> {
    static constexpr std::array cases{
        std::pair{CameraProfile::builtIn, std::string_view("Built-in camera")},
        std::pair{CameraProfile::topOfMonitor, std::string_view("Top of monitor")},
        std::pair{CameraProfile::sideMounted, std::string_view("Side-mounted")},
    };
};
template <> struct RawValues<DistanceCalibrationMode> {
    static constexpr std::array cases{
        std::pair{DistanceCalibrationMode::automatic, std::string_view("Auto-learn")},
        std::pair{DistanceCalibrationMode::manual, std::string_view("Fixed distance")},
    };
};
template <> struct RawValues<MenuBarFeedbackStyle> {
    static constexpr std::array cases{
        std::pair{MenuBarFeedbackStyle::staticIcon, std::string_view("Quiet icon")},
        std::pair{MenuBarFeedbackStyle::liveIcon, std::string_view("Live icon")},
        std::pair{MenuBarFeedbackStyle::liveLabel, std::string_view("Icon + status")},
    };
};

// The one persisted settings record. A plain value: copies are independent, and the monitor replaces
// its published copy whole on every change. Durations are seconds, ratios plain factors (1.18 is
// 118 %), angles degrees.
struct VigilorConfig {
    // Where the record is stored in the standard defaults domain.
    static constexpr const char* storageKey = "app.zorvi.settings.v1";
    // The identifier of the watch a new installation starts with.
    static const UUID defaultWatchUUID;

    std::string watchName = "Apple Watch";
    std::optional<UUID> watchUUID = defaultWatchUUID;
    bool autoLockEnabled = false;
    bool screenLockingEnabled = false;
    double lockTimeout = 12;
    int minMissingSamples = 6;
    double activeInputGrace = 8;
    double watchGrace = 8;
    int watchWeakRSSI = -90;
    bool watchGateRequired = false;
    BluetoothPresenceMode bluetoothPresenceMode = BluetoothPresenceMode::off;
    bool eyeBreakEnabled = true;
    double eyeBreakInterval = 1200;
    double eyeBreakDuration = 20;
    bool walkBreakEnabled = true;
    double walkBreakInterval = 3000;
    double walkBreakDuration = 90;
    double spontaneousWalkCreditDuration = 45;
    double distanceWarnRatio = 1.18;
    double distanceDangerRatio = 1.35;
    double distanceFarRatio = 0.72;
    DistanceCalibrationMode distanceCalibrationMode = DistanceCalibrationMode::automatic;
    std::optional<double> savedDistanceBaselineFaceWidth;
    double lookAwayYawDegrees = 25;
    double lookDownPitchDegrees = 20;
    double postureYawDegrees = 18;
    // The preset and the two profiles are stored and synced choices only; nothing derives a
    // threshold, interval or camera choice from them.
    SensitivityPreset sensitivityPreset = SensitivityPreset::balanced;
    DeskProfile deskProfile = DeskProfile::desktop;
    CameraProfile cameraProfile = CameraProfile::builtIn;
    bool launchAtLogin = false;
    bool visualNudgesEnabled = true;
    MenuBarFeedbackStyle menuBarFeedbackStyle = MenuBarFeedbackStyle::liveIcon;
    bool pulseMenuBarWhenDue = true;
    bool notifyWhenBreakDue = false;
    bool notifyWhenComputerLocks = true;
    std::string lockNotificationWebhookURL;
    bool soundWhenBreakDue = false;
    bool suppressAutoLockDuringRemoteSession = true;
    bool bodyPoseHintsEnabled = false;
    bool bodyPoseLockAssistEnabled = true;
    bool bodyAssistDefaultMigrated = false;
    bool requestCenterStage = true;
    std::string phoneName = "iPhone";
    std::optional<UUID> phoneUUID;
    double bodyPresenceLockGrace = 8;
    double lookAwayLockGrace = 10;
    bool remoteCompanionEnabled = false;
    std::string remoteStatusEndpointURL;
    std::string remoteCommandEndpointURL;
    std::string remoteSharedSecret = makeRemoteSharedSecret();
    std::string remoteDeviceID = makeRemoteDeviceID();
    double remoteHeartbeatInterval = 30;
    double remoteCommandPollInterval = 0.15;
    double remoteCommandTTL = 60;
    bool suppressLockDuringCalls = true;
    bool requireKnownFaceForPresence = false;
    bool cameraPresenceEnabled = true;

    // 64 upper-case hexadecimal characters from two random UUIDs.
    static std::string makeRemoteSharedSecret();
    // One random UUID in canonical upper-case text.
    static std::string makeRemoteDeviceID();

    // The JSON object, keys in declaration order, absent optionals left out.
    Json toJSON() const;
    // Decodes field by field from a default record, then runs both migrations. A value of the wrong type
    // leaves its field at the default and is named in `defaulted`, so that one damaged value does not
    // cost the user every other setting. Throws JsonDecodingError only when `object` is not an object.
    struct Decoded;
    static Decoded fromJSON(const Json& object);

    // The stored record, else the legacy import, else the defaults; never fails.
    static VigilorConfig load(const DefaultsStore& defaults = DefaultsStore::standard(),
                              const std::filesystem::path& legacyFile = legacyConfigFile());
    // What `load` gives, and whether stored settings were there but could not be read, so that the
    // record holds no choice of the user's. A stored record that does not decode is kept in a file of
    // its own (DefaultsStore::keepUnreadableValue) before anything can replace it.
    struct Loaded;
    static Loaded loadKeepingUnreadable(DefaultsStore defaults = DefaultsStore::standard(),
                                        const std::filesystem::path& legacyFile = legacyConfigFile());
    // Stores the record; false, with nothing stored, when it cannot be encoded.
    bool save(DefaultsStore& defaults) const;
    bool save() const;

    // A value that could not be used and what took its place, for the log.
    struct ReplacedValue {
        std::string key;
        double value;
        double replacement;
        const char* unit = " s";
    };
    // Keeps every field within the rule forEachField attaches to it (SettingRanges): a number within
    // the range the settings window offers, a relay interval positive, a device name within its length;
    // a value within its rule is left exactly as it is. Run on every record that enters the monitor:
    // the one read at start, and each update (the window, the menu, a synced copy). It saves nothing
    // itself. One entry per changed field.
    std::vector<ReplacedValue> normalise();

    // The read-only configuration file of the product's predecessor.
    static std::filesystem::path legacyConfigFile();
    // The defaults with the predecessor's settings applied over them.
    static VigilorConfig importingLegacy(const Json& legacy);

    bool operator==(const VigilorConfig&) const = default;

    // Calls visit(key, field) for every stored field in declaration order, and visit(key, field, rule)
    // for a field kept within a rule (normalise); the JSON keys are the field names.
    template <class Self, class Visitor> static void forEachField(Self& self, Visitor&& visit);
};

struct VigilorConfig::Decoded {
    VigilorConfig config;
    std::vector<std::string> defaulted; // for each value that could not be read, why
};

struct VigilorConfig::Loaded {
    VigilorConfig config;
    bool storedSettingsUnreadable = false;
    bool nothingStored = false; // a first run: no settings record yet (a legacy import may be there)
};

// Whether the relay is on and its status address is an http or https URL with a host (surrounding
// blanks allowed): only then are status events sent to it.
bool remoteStatusEndpointReady(const VigilorConfig& config);

template <class Self, class Visitor> void VigilorConfig::forEachField(Self& c, Visitor&& visit) {
    namespace R = SettingRanges;
    visit("watchName", c.watchName, R::deviceName);
    visit("watchUUID", c.watchUUID);
    visit("autoLockEnabled", c.autoLockEnabled);
    visit("screenLockingEnabled", c.screenLockingEnabled);
    visit("lockTimeout", c.lockTimeout, R::lockTimeout);
    visit("minMissingSamples", c.minMissingSamples, R::minMissingSamples);
    visit("activeInputGrace", c.activeInputGrace, R::activeInputGrace);
    visit("watchGrace", c.watchGrace, R::watchGrace);
    visit("watchWeakRSSI", c.watchWeakRSSI, R::watchWeakRSSI);
    visit("watchGateRequired", c.watchGateRequired);
    visit("bluetoothPresenceMode", c.bluetoothPresenceMode);
    visit("eyeBreakEnabled", c.eyeBreakEnabled);
    visit("eyeBreakInterval", c.eyeBreakInterval, R::eyeBreakInterval);
    visit("eyeBreakDuration", c.eyeBreakDuration, R::eyeBreakDuration);
    visit("walkBreakEnabled", c.walkBreakEnabled);
    visit("walkBreakInterval", c.walkBreakInterval, R::walkBreakInterval);
    visit("walkBreakDuration", c.walkBreakDuration, R::walkBreakDuration);
    visit("spontaneousWalkCreditDuration", c.spontaneousWalkCreditDuration, R::spontaneousWalkCreditDuration);
    visit("distanceWarnRatio", c.distanceWarnRatio, R::distanceWarnRatio);
    visit("distanceDangerRatio", c.distanceDangerRatio, R::distanceDangerRatio);
    visit("distanceFarRatio", c.distanceFarRatio, R::distanceFarRatio);
    visit("distanceCalibrationMode", c.distanceCalibrationMode);
    visit("savedDistanceBaselineFaceWidth", c.savedDistanceBaselineFaceWidth);
    visit("lookAwayYawDegrees", c.lookAwayYawDegrees, R::lookAwayYawDegrees);
    visit("lookDownPitchDegrees", c.lookDownPitchDegrees, R::lookDownPitchDegrees);
    visit("postureYawDegrees", c.postureYawDegrees, R::postureYawDegrees);
    visit("sensitivityPreset", c.sensitivityPreset);
    visit("deskProfile", c.deskProfile);
    visit("cameraProfile", c.cameraProfile);
    visit("launchAtLogin", c.launchAtLogin);
    visit("visualNudgesEnabled", c.visualNudgesEnabled);
    visit("menuBarFeedbackStyle", c.menuBarFeedbackStyle);
    visit("pulseMenuBarWhenDue", c.pulseMenuBarWhenDue);
    visit("notifyWhenBreakDue", c.notifyWhenBreakDue);
    // Stored and synced under the name it has had since the first version.
    visit("notifyWhenMacLocks", c.notifyWhenComputerLocks);
    visit("lockNotificationWebhookURL", c.lockNotificationWebhookURL);
    visit("soundWhenBreakDue", c.soundWhenBreakDue);
    visit("suppressAutoLockDuringRemoteSession", c.suppressAutoLockDuringRemoteSession);
    visit("bodyPoseHintsEnabled", c.bodyPoseHintsEnabled);
    visit("bodyPoseLockAssistEnabled", c.bodyPoseLockAssistEnabled);
    visit("bodyAssistDefaultMigrated", c.bodyAssistDefaultMigrated);
    visit("requestCenterStage", c.requestCenterStage);
    visit("phoneName", c.phoneName, R::deviceName);
    visit("phoneUUID", c.phoneUUID);
    visit("bodyPresenceLockGrace", c.bodyPresenceLockGrace, R::bodyPresenceLockGrace);
    visit("lookAwayLockGrace", c.lookAwayLockGrace, R::lookAwayLockGrace);
    visit("remoteCompanionEnabled", c.remoteCompanionEnabled);
    visit("remoteStatusEndpointURL", c.remoteStatusEndpointURL);
    visit("remoteCommandEndpointURL", c.remoteCommandEndpointURL);
    visit("remoteSharedSecret", c.remoteSharedSecret);
    visit("remoteDeviceID", c.remoteDeviceID);
    visit("remoteHeartbeatInterval", c.remoteHeartbeatInterval, R::relayInterval);
    visit("remoteCommandPollInterval", c.remoteCommandPollInterval, R::relayInterval);
    visit("remoteCommandTTL", c.remoteCommandTTL);
    visit("suppressLockDuringCalls", c.suppressLockDuringCalls);
    visit("requireKnownFaceForPresence", c.requireKnownFaceForPresence);
    visit("cameraPresenceEnabled", c.cameraPresenceEnabled);
}
