#pragma once

#include "SyncedSettings.h"

#include "Foundation/Date.h"
#include "Foundation/ObservableObject.h"

#include <functional>
#include <optional>
#include <string>

// Keeps the synced part of the settings in step across the user's computers through a shared store:
// what the monitor and the settings window use of the one SettingsSyncService. Main thread only.
class SettingsSync : public ObservableObject {
public:
    enum class Status { off, unavailable, active };

    virtual ~SettingsSync() = default;

    // Receives a synced copy that a pull decided to apply, on the main queue.
    std::function<void(const SyncedSettings&)> onRemoteSettings;

    // Starts observing the shared store and applies its copy once; does nothing when already enabled.
    virtual void enable() = 0;
    virtual void refreshStatus() = 0;
    // Writes the synced part of `config`, unless it equals the last one pushed.
    virtual void push(const VigilorConfig& config, Date now) = 0;

    // Published: off until enabled, then whether the store can be used.
    virtual Status status() const = 0;
    // Published: when the settings last pushed or applied were written.
    virtual std::optional<Date> lastSyncedAt() const = 0;
    // Published: the name of the computer whose settings were last applied or pushed.
    virtual std::optional<std::string> lastSyncedFromDevice() const = 0;
    // The store's name as the settings show it.
    virtual std::string backendDisplayName() const = 0;
};
