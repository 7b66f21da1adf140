// Loading and saving the settings record, and the one-way import of the predecessor's file.
#include "VigilorConfig.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/Paths.h"

#include <algorithm>
#include <climits>

namespace {

const Json* legacyMember(const Json& legacy, const char* key) {
    const auto it = legacy.find(key);
    return it == legacy.end() ? nullptr : &*it;
}

void importString(const Json& legacy, const char* key, std::string& into, bool skipEmpty) {
    const Json* value = legacyMember(legacy, key);
    if (value && value->is_string() && !(skipEmpty && value->get_ref<const std::string&>().empty()))
        into = value->get<std::string>();
}

void importBool(const Json& legacy, const char* key, bool& into) {
    const Json* value = legacyMember(legacy, key);
    if (value && value->is_boolean())
        into = value->get<bool>();
}

void importSeconds(const Json& legacy, const char* key, double& into) {
    const Json* value = legacyMember(legacy, key);
    if (value && value->is_number())
        into = value->get<double>();
}

// A UUID string that does not parse clears the identifier rather than keeping the default.
void importUUID(const Json& legacy, const char* key, std::optional<UUID>& into) {
    const Json* value = legacyMember(legacy, key);
    if (value && value->is_string())
        into = UUID::parse(value->get_ref<const std::string&>());
}

std::optional<int64_t> legacyInteger(const Json& legacy, const char* key) {
    const Json* value = legacyMember(legacy, key);
    if (!value || !value->is_number())
        return std::nullopt;
    int64_t integer = 0;
    try {
        JsonField::read(legacy, key, integer);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    return integer;
}

void setBluetoothMode(VigilorConfig& config, BluetoothPresenceMode mode) {
    config.bluetoothPresenceMode = mode;
    config.watchGateRequired = mode != BluetoothPresenceMode::off;
}

// One line for the log: which values went back to their defaults.
std::string defaultedText(const std::vector<std::string>& defaulted) {
    std::string text;
    for (const auto& why : defaulted)
        text += (text.empty() ? "" : "; ") + why;
    return text +
           (defaulted.size() == 1 ? ": it is back at its default" : ": these are back at their defaults") +
           ", every other setting is kept";
}

} // namespace

std::filesystem::path VigilorConfig::legacyConfigFile() {
    return Paths::homeDirectory() / ".config/tavrel/config.json";
}

VigilorConfig VigilorConfig::importingLegacy(const Json& legacy) {
    VigilorConfig config;
    importString(legacy, "watch_name", config.watchName, true);
    importUUID(legacy, "watch_uuid", config.watchUUID);
    importSeconds(legacy, "away_timeout", config.lockTimeout);
    // The predecessor's threshold was 20 dBm stronger; never weaker than -85 dBm.
    if (const auto threshold = legacyInteger(legacy, "rssi_threshold")) {
        const int64_t lowered = *threshold < int64_t(INT_MIN) + 20 ? INT_MIN : *threshold - 20;
        config.watchWeakRSSI = int(std::min<int64_t>(lowered, -85));
    }
    importBool(legacy, "auto_lock_enabled", config.autoLockEnabled);
    if (const Json* gate = legacyMember(legacy, "watch_gate_required"); gate && gate->is_boolean())
        setBluetoothMode(config,
                         gate->get<bool>() ? BluetoothPresenceMode::watch : BluetoothPresenceMode::off);
    if (const Json* mode = legacyMember(legacy, "bluetooth_presence_mode"); mode && mode->is_string())
        if (const auto parsed = enumFromRawValue<BluetoothPresenceMode>(mode->get_ref<const std::string&>()))
            setBluetoothMode(config, *parsed);
    importString(legacy, "phone_name", config.phoneName, true);
    importUUID(legacy, "phone_uuid", config.phoneUUID);
    importBool(legacy, "notify_when_mac_locks", config.notifyWhenComputerLocks);
    importString(legacy, "lock_notification_webhook_url", config.lockNotificationWebhookURL, false);
    importBool(legacy, "request_center_stage", config.requestCenterStage);
    importBool(legacy, "body_pose_lock_assist_enabled", config.bodyPoseLockAssistEnabled);
    importBool(legacy, "body_pose_hints_enabled", config.bodyPoseHintsEnabled);
    importBool(legacy, "remote_companion_enabled", config.remoteCompanionEnabled);
    importString(legacy, "remote_status_endpoint_url", config.remoteStatusEndpointURL, false);
    importString(legacy, "remote_command_endpoint_url", config.remoteCommandEndpointURL, false);
    importString(legacy, "remote_shared_secret", config.remoteSharedSecret, true);
    importString(legacy, "remote_device_id", config.remoteDeviceID, true);
    importBool(legacy, "eye_break_enabled", config.eyeBreakEnabled);
    importSeconds(legacy, "eye_break_interval", config.eyeBreakInterval);
    importSeconds(legacy, "eye_break_duration", config.eyeBreakDuration);
    importBool(legacy, "walk_break_enabled", config.walkBreakEnabled);
    importSeconds(legacy, "walk_break_interval", config.walkBreakInterval);
    importSeconds(legacy, "walk_break_duration", config.walkBreakDuration);
    return config;
}

VigilorConfig VigilorConfig::load(const DefaultsStore& defaults, const std::filesystem::path& legacyFile) {
    return loadKeepingUnreadable(defaults, legacyFile).config;
}

VigilorConfig::Loaded VigilorConfig::loadKeepingUnreadable(DefaultsStore defaults,
                                                           const std::filesystem::path& legacyFile) {
    Loaded loaded;
    loaded.storedSettingsUnreadable = defaults.startedAfresh();
    if (const auto stored = defaults.value(storageKey)) {
        try {
            Decoded decoded = fromJSON(*stored);
            // The next save writes the defaults in place of what could not be read: the record as it
            // was is kept first.
            if (!decoded.defaulted.empty())
                defaults.keepUnreadableValue(storageKey, defaultedText(decoded.defaulted));
            // A login-item choice that could not be read is none: the desktop's entry tells it.
            const auto launchAtLogin = stored->find("launchAtLogin");
            loaded.storedSettingsUnreadable =
                launchAtLogin != stored->end() && !launchAtLogin->is_null() && !launchAtLogin->is_boolean();
            loaded.config = std::move(decoded.config);
            return loaded;
        } catch (const JsonDecodingError& error) {
            // The next save replaces the stored record: it is kept first.
            defaults.keepUnreadableValue(storageKey, error.what());
            loaded.storedSettingsUnreadable = true;
        }
    } else {
        loaded.nothingStored = !loaded.storedSettingsUnreadable;
    }
    const auto text = AtomicFile::read(legacyFile, DefaultsStore::largestDomainFile);
    const auto legacy = text ? parseJson(*text) : std::nullopt;
    if (legacy && legacy->is_object())
        loaded.config = importingLegacy(*legacy);
    return loaded;
}

bool VigilorConfig::save(DefaultsStore& defaults) const {
    return defaults.set(storageKey, toJSON());
}

bool VigilorConfig::save() const {
    auto defaults = DefaultsStore::standard();
    return save(defaults);
}
