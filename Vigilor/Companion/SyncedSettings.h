#pragma once

#include "Vigilor/Config/VigilorConfig.h"

#include <optional>
#include <string>

// The part of the settings that follows the user to his other computers. The locking switches,
// distance calibration, the desk and camera profiles, launch at login, the relay settings, the camera
// and known-face switches and the migration flag stay on this computer.
struct SyncedSettings {
    std::string watchName;
    std::optional<UUID> watchUUID;
    std::string phoneName;
    std::optional<UUID> phoneUUID;
    double lockTimeout = 0;
    int minMissingSamples = 0;
    double activeInputGrace = 0;
    double watchGrace = 0;
    int watchWeakRSSI = 0;
    bool watchGateRequired = false;
    BluetoothPresenceMode bluetoothPresenceMode = BluetoothPresenceMode::off;
    bool eyeBreakEnabled = false;
    double eyeBreakInterval = 0;
    double eyeBreakDuration = 0;
    bool walkBreakEnabled = false;
    double walkBreakInterval = 0;
    double walkBreakDuration = 0;
    double spontaneousWalkCreditDuration = 0;
    double distanceWarnRatio = 0;
    double distanceDangerRatio = 0;
    double distanceFarRatio = 0;
    double lookAwayYawDegrees = 0;
    double lookDownPitchDegrees = 0;
    double postureYawDegrees = 0;
    SensitivityPreset sensitivityPreset = SensitivityPreset::balanced;
    bool visualNudgesEnabled = false;
    MenuBarFeedbackStyle menuBarFeedbackStyle = MenuBarFeedbackStyle::liveIcon;
    bool pulseMenuBarWhenDue = false;
    bool notifyWhenBreakDue = false;
    bool notifyWhenMacLocks = false;
    std::string lockNotificationWebhookURL;
    bool soundWhenBreakDue = false;
    bool suppressAutoLockDuringRemoteSession = false;
    bool suppressLockDuringCalls = false;
    bool bodyPoseHintsEnabled = false;
    bool bodyPoseLockAssistEnabled = false;
    bool requestCenterStage = false;
    double bodyPresenceLockGrace = 0;
    double lookAwayLockGrace = 0;

    // The synced fields of a configuration.
    static SyncedSettings from(const VigilorConfig& config);
    // Copies every synced field over the configuration's field of the same name; the rest stays.
    void apply(VigilorConfig& config) const;

    bool operator==(const SyncedSettings&) const = default;

    // Calls visit(syncedField, configField) for each of the 39 synced fields.
    template <class Synced, class Config, class Visitor>
    static void forEachField(Synced& synced, Config& config, Visitor&& visit);
};

template <class Synced, class Config, class Visitor>
void SyncedSettings::forEachField(Synced& s, Config& c, Visitor&& visit) {
    visit(s.watchName, c.watchName);
    visit(s.watchUUID, c.watchUUID);
    visit(s.phoneName, c.phoneName);
    visit(s.phoneUUID, c.phoneUUID);
    visit(s.lockTimeout, c.lockTimeout);
    visit(s.minMissingSamples, c.minMissingSamples);
    visit(s.activeInputGrace, c.activeInputGrace);
    visit(s.watchGrace, c.watchGrace);
    visit(s.watchWeakRSSI, c.watchWeakRSSI);
    visit(s.watchGateRequired, c.watchGateRequired);
    visit(s.bluetoothPresenceMode, c.bluetoothPresenceMode);
    visit(s.eyeBreakEnabled, c.eyeBreakEnabled);
    visit(s.eyeBreakInterval, c.eyeBreakInterval);
    visit(s.eyeBreakDuration, c.eyeBreakDuration);
    visit(s.walkBreakEnabled, c.walkBreakEnabled);
    visit(s.walkBreakInterval, c.walkBreakInterval);
    visit(s.walkBreakDuration, c.walkBreakDuration);
    visit(s.spontaneousWalkCreditDuration, c.spontaneousWalkCreditDuration);
    visit(s.distanceWarnRatio, c.distanceWarnRatio);
    visit(s.distanceDangerRatio, c.distanceDangerRatio);
    visit(s.distanceFarRatio, c.distanceFarRatio);
    visit(s.lookAwayYawDegrees, c.lookAwayYawDegrees);
    visit(s.lookDownPitchDegrees, c.lookDownPitchDegrees);
    visit(s.postureYawDegrees, c.postureYawDegrees);
    visit(s.sensitivityPreset, c.sensitivityPreset);
    visit(s.visualNudgesEnabled, c.visualNudgesEnabled);
    visit(s.menuBarFeedbackStyle, c.menuBarFeedbackStyle);
    visit(s.pulseMenuBarWhenDue, c.pulseMenuBarWhenDue);
    visit(s.notifyWhenBreakDue, c.notifyWhenBreakDue);
    visit(s.notifyWhenMacLocks, c.notifyWhenMacLocks);
    visit(s.lockNotificationWebhookURL, c.lockNotificationWebhookURL);
    visit(s.soundWhenBreakDue, c.soundWhenBreakDue);
    visit(s.suppressAutoLockDuringRemoteSession, c.suppressAutoLockDuringRemoteSession);
    visit(s.suppressLockDuringCalls, c.suppressLockDuringCalls);
    visit(s.bodyPoseHintsEnabled, c.bodyPoseHintsEnabled);
    visit(s.bodyPoseLockAssistEnabled, c.bodyPoseLockAssistEnabled);
    visit(s.requestCenterStage, c.requestCenterStage);
    visit(s.bodyPresenceLockGrace, c.bodyPresenceLockGrace);
    visit(s.lookAwayLockGrace, c.lookAwayLockGrace);
}
