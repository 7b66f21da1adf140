#pragma once

#include "Foundation/Clock.h"
#include "Foundation/DefaultsStore.h"
#include "Foundation/ObservableObject.h"
#include "Platform/UserNotifications.h"
#include "Vigilor/Companion/SettingsSync.h"
#include "Vigilor/Companion/SyncedSettings.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/OwnerLifetime.h"
#include "Vigilor/Monitor/SettingsCommands.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The settings in use and the one path every change takes: kept within each field's rule, the relay's
// secrets filled in, saved, published, then followed by the rest of the monitor and pushed to the
// user's other computers. It owns the record in force, why it cannot be saved while it cannot, the
// settings sync and the setting operations the settings window, the menu and the device picker give.
// The monitor tells it when to listen to the store and to start syncing; other components read the
// record through `published()`, and the views give the setting operations through SettingsCommands.
class MonitorSettings final : public SettingsCommands {
public:
    // What the rest of the monitor does when the settings change.
    struct Followers {
        // After the new record is saved and published, before it is pushed to sync.
        std::function<void(const VigilorConfig& previous, const VigilorConfig& next)> applied;
    };

    // Starts from `initial` kept within each field's rule; the stored record keeps its values until the
    // next change is saved.
    MonitorSettings(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock, ActivityLog& log,
                    std::shared_ptr<UserNotificationCenter> notifications,
                    std::function<std::shared_ptr<SettingsSync>()> makeSettingsSync, VigilorConfig initial,
                    Followers followers);
    ~MonitorSettings();
    MonitorSettings(const MonitorSettings&) = delete;
    MonitorSettings& operator=(const MonitorSettings&) = delete;

    const VigilorConfig& config() const { return config_(); }
    const Published<VigilorConfig>& published() const { return config_; }
    // Why the settings cannot be saved, while they cannot (a folder that cannot be written); they are
    // kept in memory and saved once they can.
    const std::optional<std::string>& settingsUnsaved() const { return settingsUnsaved_(); }
    // What the settings window's header and the activity log say while settingsUnsaved has a reason.
    static std::string settingsUnsavedText(const std::string& why) {
        return "Settings cannot be saved: " + why;
    }
    SettingsSync* settingsSync() override;

    // What the store set aside or could not save, also before now, goes to the activity log.
    void listenToStore();
    // Applies the shared copy and pushes ours.
    void startSync();

    // The one update path.
    void updateConfig(const std::function<void(VigilorConfig&)>& mutation) override;

    // The setting operations (see SettingsCommands).
    void setAutoLockEnabled(bool enabled) override;
    void setLaunchAtLogin(bool enabled) override;
    void setBreakSoundEnabled(bool enabled) override;
    void setBreakNotificationsEnabled(bool enabled) override;
    void setLockNotificationsEnabled(bool enabled) override;
    void setBluetoothPresenceMode(BluetoothPresenceMode mode) override;
    void regenerateRemoteSharedSecret() override;
    void updateDeviceUUID(const std::string& uuidString, BluetoothDeviceType deviceType) override;
    void updateDeviceName(const std::string& name, BluetoothDeviceType deviceType) override;

private:
    // Another computer's synced values, as the sync started by startSync hands them in.
    void applyRemoteSettings(const SyncedSettings& settings);
    // Says once per field and value that a duration could not be used and which one is used instead.
    void logReplacedValues(const std::vector<VigilorConfig::ReplacedValue>& replaced);
    // The one writer of settingsUnsaved; every other report of the store goes to the activity log.
    void takeStoreReport(const DefaultsStoreReport& report);
    void requestNotificationAuthorization(const std::string& enabledLine, const std::string& deniedLine,
                                          const std::string& failurePrefix);
    std::weak_ptr<MonitorSettings> weakSelf() { return lifetime_.weak(this); }

    OwnerLifetime lifetime_;
    const Clock& clock_;
    ActivityLog& log_;
    std::shared_ptr<UserNotificationCenter> notifications_;
    std::function<std::shared_ptr<SettingsSync>()> makeSettingsSync_;
    Followers followers_;

    std::set<std::string> reportedReplacedValues_; // "key=value"
    Published<VigilorConfig> config_;
    Published<std::optional<std::string>> settingsUnsaved_;
    std::map<std::filesystem::path, std::string>
        unsavedFiles_; // the store's files that cannot be written, and why
    bool isApplyingRemoteSettings_ = false;
    bool listeningToStore_ = false;
    std::shared_ptr<SettingsSync> settingsSync_;
};
