#include "Vigilor/Companion/SyncedSettings.h"

#include <gtest/gtest.h>

TEST(SyncedSettings, CarriesTheSyncedFieldsAndLeavesTheRestAlone) {
    VigilorConfig source;
    source.lockTimeout = 31;
    source.watchName = "Mine";
    source.phoneUUID = UUID::random();
    source.sensitivityPreset = SensitivityPreset::quick;
    source.lookAwayLockGrace = 14;
    source.autoLockEnabled = true;
    source.launchAtLogin = true;
    source.remoteCompanionEnabled = true;
    source.cameraPresenceEnabled = false;
    source.savedDistanceBaselineFaceWidth = 0.3;
    source.deskProfile = DeskProfile::laptop;

    VigilorConfig target;
    const VigilorConfig untouched = target;
    SyncedSettings::from(source).apply(target);

    EXPECT_EQ(target.lockTimeout, 31);
    EXPECT_EQ(target.watchName, "Mine");
    EXPECT_EQ(target.phoneUUID, source.phoneUUID);
    EXPECT_EQ(target.sensitivityPreset, SensitivityPreset::quick);
    EXPECT_EQ(target.lookAwayLockGrace, 14);
    // What stays on this computer:
    EXPECT_EQ(target.autoLockEnabled, untouched.autoLockEnabled);
    EXPECT_EQ(target.launchAtLogin, untouched.launchAtLogin);
    EXPECT_EQ(target.remoteCompanionEnabled, untouched.remoteCompanionEnabled);
    EXPECT_EQ(target.cameraPresenceEnabled, untouched.cameraPresenceEnabled);
    EXPECT_EQ(target.savedDistanceBaselineFaceWidth, untouched.savedDistanceBaselineFaceWidth);
    EXPECT_EQ(target.deskProfile, untouched.deskProfile);
    EXPECT_EQ(target.remoteSharedSecret, untouched.remoteSharedSecret);

    // Every field the sync carries, and only those: 39 of them change when all change.
    int visited = 0;
    SyncedSettings synced;
    SyncedSettings::forEachField(synced, [&](const char*, auto&, auto) { ++visited; });
    EXPECT_EQ(visited, 39);
}
