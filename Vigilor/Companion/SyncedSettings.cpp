#include "SyncedSettings.h"

SyncedSettings SyncedSettings::from(const VigilorConfig& config) {
    SyncedSettings synced;
    forEachField(synced, config,
                 [](auto& syncedField, const auto& configField) { syncedField = configField; });
    return synced;
}

void SyncedSettings::apply(VigilorConfig& config) const {
    forEachField(*this, config,
                 [](const auto& syncedField, auto& configField) { configField = syncedField; });
}
