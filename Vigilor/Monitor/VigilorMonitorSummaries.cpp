// Texts and figures that explain the monitor's state to the user and the phone.
#include "VigilorMonitor.h"

#include <algorithm>

std::string VigilorMonitor::companionWordCapitalised() const {
    switch (config().bluetoothPresenceMode) {
    case BluetoothPresenceMode::off:
        return "Bluetooth";
    case BluetoothPresenceMode::watch:
        return "Watch";
    case BluetoothPresenceMode::phone:
        return "Phone";
    case BluetoothPresenceMode::either:
        return "Device";
    }
    return "Bluetooth";
}

std::string VigilorMonitor::companionWordLowerCase() const {
    switch (config().bluetoothPresenceMode) {
    case BluetoothPresenceMode::phone:
        return "phone";
    case BluetoothPresenceMode::either:
        return "device";
    default:
        return companionWordCapitalised();
    }
}

int VigilorMonitor::presenceConfidence() const {
    if (phase() == MonitorPhase::blocked)
        return 0;
    int confidence = facePresent() ? 45 : 0;
    if (!bluetoothPresenceEnabled() || watchPresent())
        confidence += 45;
    if (inputIdleSeconds() < config().activeInputGrace && !remoteControlActive())
        confidence += 10;
    return confidence;
}

std::string VigilorMonitor::lockReason() const {
    const VigilorConfig& c = config();
    const Date at = now();
    const bool bluetooth = bluetoothPresenceEnabled();
    if (screenLocked_ || systemReportsScreenLocked())
        return "Mac locked.";
    if (isPaused())
        return "Paused by user.";
    if (phase() == MonitorPhase::blocked)
        return "Needs Camera or Bluetooth permission.";
    if (!lockingAvailable_)
        return "Presence coaching is active; locking is unavailable in this version.";
    if (!c.screenLockingEnabled)
        return "Locking is disabled; Zorvi is observing only.";
    if (remoteControlActive() && !facePresent() && c.suppressAutoLockDuringRemoteSession)
        return "Won't lock: Screen Sharing is active.";
    if (facePresent())
        return "Won't lock: face is visible.";
    if (onCall() && c.suppressLockDuringCalls)
        return "Won't lock: On a call.";
    if (at.timeIntervalSince(lastDeskPresenceSeen_) < std::max(6.0, c.bodyPresenceLockGrace))
        return "Won't lock: body is still in frame.";
    if (at.timeIntervalSince(lastLookingAwaySeen_) < std::max(6.0, c.lookAwayLockGrace))
        return "Won't lock: recent look-away still counts as present.";
    if (bluetooth && watchPresent())
        return "Won't lock: " + companionWordCapitalised() + " is still near.";
    if (bluetooth && isBluetoothUnavailable())
        return "Won't lock: Bluetooth is unavailable.";
    if (bluetooth && !lastWatchSeen_)
        return "Won't lock: waiting for first " + companionWordLowerCase() + " signal.";
    if (inputIdleSeconds() < c.activeInputGrace && !remoteControlActive())
        return "Won't lock: keyboard or mouse is active.";
    if (autoLockEnabled())
        return "Auto lock needs sustained desk-empty signals, inactive input, and any Bluetooth gate away.";
    return "Would lock, but Auto Lock is off.";
}
