// Texts and figures that explain the monitor's presence state to the user and the phone: state
// words, readiness, confidence, the lock reason and the companion and input lines. Each is a
// first-match rule list over the current state, read afresh every time; the rule order decides which
// of several states that hold at once the user sees.
#include "VigilorMonitor.h"

#include "Foundation/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

namespace {

std::string oneDecimal(double value) {
    return fixedDecimal(value, 1);
}

// The camera's row, whose texts a blocked monitor shows in place of a presence state.
const CameraWords& cameraRow(const VigilorMonitor& m) {
    return cameraWords(m.cameraState().kind);
}

const BluetoothWords& bluetoothRow(const VigilorMonitor& m) {
    return bluetoothWords(m.bluetoothState());
}

} // namespace

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

std::string VigilorMonitor::menuTitle() const {
    if (isPaused())
        return "Paused";
    if (!autoLockEnabled())
        return "Zorvi";
    return facePresent() ? "Present" : "Checking";
}

std::string VigilorMonitor::modeSummary() const {
    if (isPaused())
        return "Paused";
    return autoLockEnabled() ? "Armed" : "Coaching";
}

// Looks at the companion signal even when Bluetooth presence is off, so a face alone never earns the
// full shield.
std::string VigilorMonitor::menuSystemImage() const {
    if (isPaused())
        return "pause.circle";
    if (phase() == MonitorPhase::blocked)
        return "exclamationmark.triangle";
    if (!facePresent())
        return "eye.slash";
    if (!watchPresent())
        return "antenna.radiowaves.left.and.right.slash";
    return "checkmark.shield";
}

std::string VigilorMonitor::readinessSummary() const {
    const bool face = facePresent();
    const bool bluetooth = bluetoothPresenceEnabled();
    if (phase() == MonitorPhase::blocked)
        return cameraRow(*this).readiness;
    if (isPaused())
        return "Paused";
    if (autoLockLacksScreenLocker())
        return "No screen locker found";
    if (remoteControlActive() && !face)
        return "Remote, not at computer";
    if (face && (!bluetooth || watchPresent()))
        return "You are here";
    // Bluetooth that can tell nothing is the word, beside a face or instead of a camera switched off.
    if (bluetooth && isBluetoothUnavailable() &&
        (face || cameraState().kind == CameraState::Kind::switchedOff))
        return bluetoothRow(*this).summary;
    if (face && !lastWatchSeen_)
        return "Learning " + companionWordCapitalised() + " signal";
    if (face)
        return companionWordCapitalised() + " signal missing";
    if (watchPresent())
        return "Face signal missing";
    return autoLockEnabled() ? "Away check armed" : "Away signal";
}

bool VigilorMonitor::needsPermissionAction() const {
    return cameraRow(*this).asksPermission || bluetoothRow(*this).asksPermission;
}

// A camera that blocks sees nobody, paused or not: a pause must not turn its 0 into points.
int VigilorMonitor::presenceConfidence() const {
    if (cameraRow(*this).blocks)
        return 0;
    int confidence = facePresent() ? 45 : 0;
    if (!bluetoothPresenceEnabled() || watchPresent())
        confidence += 45;
    if (inputIdleSeconds() < config().activeInputGrace && !remoteControlActive())
        confidence += 10;
    return confidence;
}

std::string VigilorMonitor::signalBrief() const {
    const bool face = facePresent();
    const bool bluetooth = bluetoothPresenceEnabled();
    if (phase() == MonitorPhase::blocked)
        return cameraRow(*this).brief;
    if (remoteControlActive() && !face)
        return "Screen Sharing is active, but the camera does not see you at the computer.";
    if (bluetooth && isBluetoothUnavailable())
        return "Bluetooth is unavailable; " + companionWordCapitalised() +
               (lockingAvailable_ ? " verification is suppressing auto-lock." : " proximity is unavailable.");
    if (bluetooth && !lastWatchSeen_)
        return std::string(cameraDeliversFrames(now()) ? "Camera is active; waiting" : "Waiting") +
               " to learn your " + companionWordLowerCase() + " signal.";
    if (face && !bluetooth)
        return "Camera sees you at the computer.";
    if (face && watchPresent())
        return "Camera and " + companionWordCapitalised() + " agree you are at the computer.";
    if (!face && !watchPresent())
        return "Desk presence, input, and Bluetooth gates are away or unavailable.";
    if (!face)
        return companionWordCapitalised() + " is near; camera has lost your face.";
    return "Camera sees you; " + companionWordCapitalised() + " signal is the weak link.";
}

// An explanation in words of the lock decision; it decides nothing. The session's lock state comes
// from the adapter's last report, so reading this never waits on the session manager.
std::string VigilorMonitor::lockReason() const {
    const VigilorConfig& c = config();
    const Date at = now();
    const bool bluetooth = bluetoothPresenceEnabled();
    if (screenLocked_ || systemReportsScreenLocked())
        return "Computer locked.";
    if (isPaused())
        return "Paused by user.";
    if (phase() == MonitorPhase::blocked)
        return cameraRow(*this).lockReason;
    if (auto reason = sessionLockReason())
        return *reason;
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
    // Only a camera's frames show a body or a look-away; without them the presence assumed at the start
    // is no body in frame.
    const bool framesCome = cameraDeliversFrames(at);
    if (framesCome && at.timeIntervalSince(lastDeskPresenceSeen_) < std::max(6.0, c.bodyPresenceLockGrace))
        return "Won't lock: body is still in frame.";
    if (framesCome && at.timeIntervalSince(lastLookingAwaySeen_) < std::max(6.0, c.lookAwayLockGrace))
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

std::string VigilorMonitor::watchSummary() const {
    if (const std::optional<int> rssi = watchRSSI()) {
        const std::string strength = std::to_string(*rssi) + " dBm";
        if (watchWeakSince_ && *rssi < config().watchWeakRSSI)
            return strength + ", weak for " + oneDecimal(now().timeIntervalSince(*watchWeakSince_)) + "s";
        if (const std::optional<double> age = secondsSinceWatch())
            return strength + ", " + oneDecimal(*age) + "s ago";
        return strength;
    }
    if (!bluetoothPresenceEnabled())
        return "Off";
    if (isBluetoothUnavailable())
        return bluetoothRow(*this).summary;
    return lastWatchSeen_ ? "Searching" : "Learning " + companionWordLowerCase();
}

std::string VigilorMonitor::watchSignalDetail() const {
    if (!bluetoothPresenceEnabled())
        return "off";
    if (isBluetoothUnavailable())
        return bluetoothRow(*this).signalWord;
    if (!lastWatchSeen_)
        return "baseline needed";
    return watchPresent() ? "nearby" : "away";
}

// Camera presence off, and a camera that cannot be watched through, speak for themselves; so does a
// face never seen, whose age would count from the start.
std::optional<std::string> VigilorMonitor::faceAbsenceWord() const {
    if (auto word = blindCameraWord())
        return word;
    if (!faceSeen_)
        return "Not seen yet";
    return std::nullopt;
}

std::optional<std::string> VigilorMonitor::blindCameraWord() const {
    if (const char* word = cameraRow(*this).faceWord; *word)
        return word;
    return std::nullopt;
}

std::string VigilorMonitor::inputSummary() const {
    if (remoteControlActive())
        return "Remote active";
    return oneDecimal(inputIdleSeconds()) + "s idle";
}
