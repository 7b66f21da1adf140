#include "SettingsBindings.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/SettingsCommands.h"

#include <algorithm>
#include <climits>

LockPatiencePreset lockPatiencePreset(LockPatience patience) {
    switch (patience) {
    case LockPatience::patient:
        return {30, 10, 12, 30};
    case LockPatience::balanced:
        return {12, 6, 8, 20};
    case LockPatience::fast:
        return {6, 4, 5, 10};
    }
    return {12, 6, 8, 20};
}

LockPatience lockPatienceForTimeout(double lockTimeout) {
    if (lockTimeout < 9)
        return LockPatience::fast;
    if (lockTimeout < 24)
        return LockPatience::balanced;
    return LockPatience::patient;
}

void applyLockPatience(LockPatience patience, VigilorConfig& config) {
    const LockPatiencePreset preset = lockPatiencePreset(patience);
    config.lockTimeout = preset.lockTimeout;
    config.minMissingSamples = preset.minMissingSamples;
    config.activeInputGrace = preset.activeInputGrace;
    config.lookAwayLockGrace = preset.lookAwayLockGrace;
}

LockingModeOption lockingModeForConfig(const VigilorConfig& config) {
    if (!config.cameraPresenceEnabled)
        return LockingModeOption::deviceOnly;
    if (config.bluetoothPresenceMode != BluetoothPresenceMode::off)
        return LockingModeOption::both;
    return LockingModeOption::cameraOnly;
}

void applyLockingMode(LockingModeOption mode, VigilorConfig& config) {
    if (mode == LockingModeOption::cameraOnly) {
        config.cameraPresenceEnabled = true;
        config.bluetoothPresenceMode = BluetoothPresenceMode::off;
        config.watchGateRequired = false;
        return;
    }
    config.cameraPresenceEnabled = mode == LockingModeOption::both;
    if (config.bluetoothPresenceMode == BluetoothPresenceMode::off)
        config.bluetoothPresenceMode = BluetoothPresenceMode::either;
    config.watchGateRequired = true;
}

SettingsBindings::SettingsBindings(std::shared_ptr<VigilorMonitor> monitor)
    : monitor_(std::move(monitor)) {
}

template <class T> Binding<T> SettingsBindings::field(T VigilorConfig::*member) const {
    return {[m = monitor_, member] { return m->config().*member; },
            [m = monitor_, member](const T& value) {
                m->settings().updateConfig([&](VigilorConfig& c) { c.*member = value; });
            }};
}

Binding<bool> SettingsBindings::viaSetter(bool VigilorConfig::*member,
                                          void (SettingsCommands::*setter)(bool)) const {
    return {[m = monitor_, member] { return m->config().*member; },
            [m = monitor_, setter](const bool& value) { (m->settings().*setter)(value); }};
}

Binding<bool> SettingsBindings::autoLockEnabled() const {
    // The published switch, which the menu panel and the dashboard flip too.
    return {[m = monitor_] { return m->autoLockEnabled(); },
            [m = monitor_](const bool& value) { m->settings().setAutoLockEnabled(value); }};
}

Binding<bool> SettingsBindings::screenLockingEnabled() const {
    return field(&VigilorConfig::screenLockingEnabled);
}

Binding<bool> SettingsBindings::launchAtLogin() const {
    return viaSetter(&VigilorConfig::launchAtLogin, &SettingsCommands::setLaunchAtLogin);
}

Binding<bool> SettingsBindings::visualNudgesEnabled() const {
    return field(&VigilorConfig::visualNudgesEnabled);
}

Binding<LockPatience> SettingsBindings::lockPatience() const {
    return {[m = monitor_] { return lockPatienceForTimeout(m->config().lockTimeout); },
            [m = monitor_](const LockPatience& value) {
                m->settings().updateConfig([&](VigilorConfig& c) { applyLockPatience(value, c); });
            }};
}

Binding<bool> SettingsBindings::suppressLockDuringCalls() const {
    return field(&VigilorConfig::suppressLockDuringCalls);
}

Binding<bool> SettingsBindings::suppressAutoLockDuringRemoteSession() const {
    return field(&VigilorConfig::suppressAutoLockDuringRemoteSession);
}

Binding<bool> SettingsBindings::eyeBreakEnabled() const {
    return field(&VigilorConfig::eyeBreakEnabled);
}

Binding<double> SettingsBindings::eyeBreakMinutes() const {
    return {[m = monitor_] { return m->config().eyeBreakInterval / 60; },
            [m = monitor_](const double& minutes) {
                m->settings().updateConfig([&](VigilorConfig& c) { c.eyeBreakInterval = minutes * 60; });
            }};
}

Binding<bool> SettingsBindings::walkBreakEnabled() const {
    return field(&VigilorConfig::walkBreakEnabled);
}

Binding<double> SettingsBindings::walkBreakMinutes() const {
    return {[m = monitor_] { return m->config().walkBreakInterval / 60; },
            [m = monitor_](const double& minutes) {
                m->settings().updateConfig([&](VigilorConfig& c) { c.walkBreakInterval = minutes * 60; });
            }};
}

Binding<LockingModeOption> SettingsBindings::lockingMode() const {
    return {[m = monitor_] { return lockingModeForConfig(m->config()); },
            [m = monitor_](const LockingModeOption& value) {
                m->settings().updateConfig([&](VigilorConfig& c) { applyLockingMode(value, c); });
            }};
}

Binding<bool> SettingsBindings::requireKnownFaceForPresence() const {
    return field(&VigilorConfig::requireKnownFaceForPresence);
}

Binding<double> SettingsBindings::watchWeakRSSI() const {
    return {[m = monitor_] { return double(m->config().watchWeakRSSI); },
            [m = monitor_](const double& value) {
                const int dBm = int(std::clamp<int64_t>(roundedInteger(value), INT_MIN, INT_MAX));
                m->settings().updateConfig([&](VigilorConfig& c) { c.watchWeakRSSI = dBm; });
            }};
}

// A device mode may need the Bluetooth permission, so only then is the prompt allowed.
Binding<BluetoothPresenceMode> SettingsBindings::bluetoothPresenceMode() const {
    return {[m = monitor_] { return m->config().bluetoothPresenceMode; },
            [m = monitor_](const BluetoothPresenceMode& value) {
                m->settings().setBluetoothPresenceMode(value);
                m->syncBluetoothForCurrentConfig(value != BluetoothPresenceMode::off);
            }};
}

Binding<std::string> SettingsBindings::watchName() const {
    return field(&VigilorConfig::watchName);
}

Binding<std::string> SettingsBindings::phoneName() const {
    return field(&VigilorConfig::phoneName);
}

Binding<double> SettingsBindings::distanceWarnPercent() const {
    return {[m = monitor_] { return m->config().distanceWarnRatio * 100; },
            [m = monitor_](const double& percent) {
                m->settings().updateConfig([&](VigilorConfig& c) { c.distanceWarnRatio = percent / 100; });
            }};
}

Binding<double> SettingsBindings::distanceDangerPercent() const {
    return {[m = monitor_] { return m->config().distanceDangerRatio * 100; },
            [m = monitor_](const double& percent) {
                m->settings().updateConfig([&](VigilorConfig& c) { c.distanceDangerRatio = percent / 100; });
            }};
}

// Switching the mode keeps the stored baseline width, so a return to the fixed distance finds it.
Binding<DistanceCalibrationMode> SettingsBindings::distanceCalibrationMode() const {
    return field(&VigilorConfig::distanceCalibrationMode);
}

Binding<bool> SettingsBindings::bodyPoseHintsEnabled() const {
    return field(&VigilorConfig::bodyPoseHintsEnabled);
}

Binding<DeskProfile> SettingsBindings::deskProfile() const {
    return field(&VigilorConfig::deskProfile);
}

Binding<CameraProfile> SettingsBindings::cameraProfile() const {
    return field(&VigilorConfig::cameraProfile);
}

Binding<MenuBarFeedbackStyle> SettingsBindings::menuBarFeedbackStyle() const {
    return field(&VigilorConfig::menuBarFeedbackStyle);
}

Binding<bool> SettingsBindings::pulseMenuBarWhenDue() const {
    return field(&VigilorConfig::pulseMenuBarWhenDue);
}

Binding<bool> SettingsBindings::notifyWhenBreakDue() const {
    return viaSetter(&VigilorConfig::notifyWhenBreakDue, &SettingsCommands::setBreakNotificationsEnabled);
}

Binding<bool> SettingsBindings::soundWhenBreakDue() const {
    return viaSetter(&VigilorConfig::soundWhenBreakDue, &SettingsCommands::setBreakSoundEnabled);
}

Binding<bool> SettingsBindings::notifyWhenComputerLocks() const {
    return viaSetter(&VigilorConfig::notifyWhenComputerLocks, &SettingsCommands::setLockNotificationsEnabled);
}

Binding<bool> SettingsBindings::remoteCompanionEnabled() const {
    return field(&VigilorConfig::remoteCompanionEnabled);
}

Binding<std::string> SettingsBindings::remoteStatusEndpointURL() const {
    return field(&VigilorConfig::remoteStatusEndpointURL);
}

Binding<std::string> SettingsBindings::remoteCommandEndpointURL() const {
    return field(&VigilorConfig::remoteCommandEndpointURL);
}

Binding<int> SettingsBindings::configBinding(int VigilorConfig::*member) const {
    return field(member);
}

Binding<double> SettingsBindings::configBinding(double VigilorConfig::*member) const {
    return field(member);
}
