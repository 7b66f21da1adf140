#pragma once

#include "SyncedSettings.h"

#include "Foundation/Date.h"

#include <optional>
#include <string>
#include <string_view>

// The record kept in the shared storage: the synced settings with who wrote them and when.
struct SettingsSyncEnvelope {
    int schemaVersion = 1;
    Date updatedAt; // written and read to the whole second
    std::string originInstallID;
    std::string originDevice;
    SyncedSettings settings;

    // Compact JSON, keys in this order; nothing when a value cannot be written (text that is not
    // UTF-8, a number that is not finite).
    std::optional<std::string> encoded() const;
    // Every key is required; "updatedAt" only as an ISO 8601 date-time without fractional seconds;
    // the schema version must be an integer but is not examined.
    static std::optional<SettingsSyncEnvelope> decode(std::string_view data);

    bool operator==(const SettingsSyncEnvelope&) const = default;
};
