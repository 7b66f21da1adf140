#pragma once

#include "Vigilor/Config/VigilorConfig.h"

#include <functional>
#include <string>

class SettingsSync;

// The setting operations the settings window, the menu, the onboarding and the device picker give,
// each one run of the settings' update path (MonitorSettings carries them out). When the store is
// listened to, when the sync starts and what the other computers' copy changes are the monitor's.
class SettingsCommands {
public:
    enum class BluetoothDeviceType { watch, phone };

    // The one update path.
    virtual void updateConfig(const std::function<void(VigilorConfig&)>& mutation) = 0;

    virtual void setAutoLockEnabled(bool enabled) = 0;
    virtual void setLaunchAtLogin(bool enabled) = 0;
    virtual void setBreakSoundEnabled(bool enabled) = 0;
    virtual void setBreakNotificationsEnabled(bool enabled) = 0;
    virtual void setLockNotificationsEnabled(bool enabled) = 0;
    virtual void setBluetoothPresenceMode(BluetoothPresenceMode mode) = 0;
    virtual void regenerateRemoteSharedSecret() = 0;
    // A device identifier that is not a UUID runs no update.
    virtual void updateDeviceUUID(const std::string& uuidString, BluetoothDeviceType deviceType) = 0;
    virtual void updateDeviceName(const std::string& name, BluetoothDeviceType deviceType) = 0;

    // The settings sync, for the row that shows it: made at the first use; absent when the
    // application has none.
    virtual SettingsSync* settingsSync() = 0;

protected:
    ~SettingsCommands() = default;
};
