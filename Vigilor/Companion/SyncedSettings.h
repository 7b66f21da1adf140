#pragma once

#include "Foundation/Json.h"
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
    bool notifyWhenComputerLocks = false;
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

    // The JSON object, keys as the field names in declaration order; absent identifiers left out.
    Json toJSON() const;
    // Strict: every key but the two identifiers is required, and a value of the wrong type or an
    // unknown enumeration value fails the whole record. Keys beyond the list are ignored.
    static std::optional<SyncedSettings> fromJSON(const Json& object);

    bool operator==(const SyncedSettings&) const = default;

    // Calls visit(key, syncedField, configMember) for each of the 39 synced fields in declaration
    // order, where configMember points at the configuration's field of the same name and type.
    template <class Self, class Visitor> static void forEachField(Self& self, Visitor&& visit);
};

template <class Self, class Visitor> void SyncedSettings::forEachField(Self& s, Visitor&& visit) {
    using C = VigilorConfig;
    visit("watchName", s.watchName, &C::watchName);
    visit("watchUUID", s.watchUUID, &C::watchUUID);
    visit("phoneName", s.phoneName, &C::phoneName);
    visit("phoneUUID", s.phoneUUID, &C::phoneUUID);
    visit("lockTimeout", s.lockTimeout, &C::lockTimeout);
    visit("minMissingSamples", s.minMissingSamples, &C::minMissingSamples);
    visit("activeInputGrace", s.activeInputGrace, &C::activeInputGrace);
    visit("watchGrace", s.watchGrace, &C::watchGrace);
    visit("watchWeakRSSI", s.watchWeakRSSI, &C::watchWeakRSSI);
    visit("watchGateRequired", s.watchGateRequired, &C::watchGateRequired);
    visit("bluetoothPresenceMode", s.bluetoothPresenceMode, &C::bluetoothPresenceMode);
    visit("eyeBreakEnabled", s.eyeBreakEnabled, &C::eyeBreakEnabled);
    visit("eyeBreakInterval", s.eyeBreakInterval, &C::eyeBreakInterval);
    visit("eyeBreakDuration", s.eyeBreakDuration, &C::eyeBreakDuration);
    visit("walkBreakEnabled", s.walkBreakEnabled, &C::walkBreakEnabled);
    visit("walkBreakInterval", s.walkBreakInterval, &C::walkBreakInterval);
    visit("walkBreakDuration", s.walkBreakDuration, &C::walkBreakDuration);
    visit("spontaneousWalkCreditDuration", s.spontaneousWalkCreditDuration,
          &C::spontaneousWalkCreditDuration);
    visit("distanceWarnRatio", s.distanceWarnRatio, &C::distanceWarnRatio);
    visit("distanceDangerRatio", s.distanceDangerRatio, &C::distanceDangerRatio);
    visit("distanceFarRatio", s.distanceFarRatio, &C::distanceFarRatio);
    visit("lookAwayYawDegrees", s.lookAwayYawDegrees, &C::lookAwayYawDegrees);
    visit("lookDownPitchDegrees", s.lookDownPitchDegrees, &C::lookDownPitchDegrees);
    visit("postureYawDegrees", s.postureYawDegrees, &C::postureYawDegrees);
    visit("sensitivityPreset", s.sensitivityPreset, &C::sensitivityPreset);
    visit("visualNudgesEnabled", s.visualNudgesEnabled, &C::visualNudgesEnabled);
    visit("menuBarFeedbackStyle", s.menuBarFeedbackStyle, &C::menuBarFeedbackStyle);
    visit("pulseMenuBarWhenDue", s.pulseMenuBarWhenDue, &C::pulseMenuBarWhenDue);
    visit("notifyWhenBreakDue", s.notifyWhenBreakDue, &C::notifyWhenBreakDue);
    // The key other computers' copies carry: it keeps its first spelling.
    visit("notifyWhenMacLocks", s.notifyWhenComputerLocks, &C::notifyWhenComputerLocks);
    visit("lockNotificationWebhookURL", s.lockNotificationWebhookURL, &C::lockNotificationWebhookURL);
    visit("soundWhenBreakDue", s.soundWhenBreakDue, &C::soundWhenBreakDue);
    visit("suppressAutoLockDuringRemoteSession", s.suppressAutoLockDuringRemoteSession,
          &C::suppressAutoLockDuringRemoteSession);
    visit("suppressLockDuringCalls", s.suppressLockDuringCalls, &C::suppressLockDuringCalls);
    visit("bodyPoseHintsEnabled", s.bodyPoseHintsEnabled, &C::bodyPoseHintsEnabled);
    visit("bodyPoseLockAssistEnabled", s.bodyPoseLockAssistEnabled, &C::bodyPoseLockAssistEnabled);
    visit("requestCenterStage", s.requestCenterStage, &C::requestCenterStage);
    visit("bodyPresenceLockGrace", s.bodyPresenceLockGrace, &C::bodyPresenceLockGrace);
    visit("lookAwayLockGrace", s.lookAwayLockGrace, &C::lookAwayLockGrace);
}
