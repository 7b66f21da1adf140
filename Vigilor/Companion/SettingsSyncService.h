#pragma once

#include "SyncedSettings.h"

#include "Foundation/Date.h"

#include <functional>
#include <optional>
#include <string>

// Keeps the synced part of the settings in step across the user's computers through a shared store.
class SettingsSyncService {
public:
    virtual ~SettingsSyncService() = default;

    // Receives a synced copy that a pull decided to apply, on the main queue.
    std::function<void(const SyncedSettings&)> onRemoteSettings;

    // Starts observing the shared store and applies its copy once; does nothing when already enabled.
    virtual void enable() = 0;
    virtual void refreshStatus() = 0;
    // Writes the synced part of `config`, unless it equals the last one pushed.
    virtual void push(const VigilorConfig& config, Date now) = 0;
    // The name of the computer whose settings were last applied or pushed.
    virtual std::optional<std::string> lastSyncedFromDevice() const = 0;
};
