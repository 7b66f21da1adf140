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
    return cameraWords(m.cameraPresence().cameraState().kind);
}

const BluetoothWords& bluetoothRow(const VigilorMonitor& m) {
    return bluetoothWords(m.companion().bluetoothState());
}

} // namespace

ZorviLockAbilityInputs VigilorMonitor::lockAbilityInputs() const {
    const VigilorConfig& c = config();
    ZorviLockAbilityInputs in;
    in.screenLockingEnabled = c.screenLockingEnabled;
    in.hasScreenLocker = sessionHasScreenLocker_;
    in.lockerDoesNotLock = lockAttempt_.lockerDoesNotLock();
    in.cameraPresenceEnabled = c.cameraPresenceEnabled;
    in.cameraBlocked =
        cameraRow(*this).blocks && camera_.cameraState().kind != CameraState::Kind::switchedOff;
    in.bluetoothPresenceEnabled = companion_->bluetoothPresenceEnabled();
    in.bluetoothUnavailable = companion_->isBluetoothUnavailable();
    in.companionSeen = companion_->seen();
    in.companionMode = c.bluetoothPresenceMode;
    return in;
}

// Only Auto Lock can be armed: with it off nothing claims protection.
ZorviLockAbility VigilorMonitor::lockAbility() const {
    return autoLockEnabled() ? ZorviLockDecision::ability(lockAbilityInputs()) : ZorviLockAbility::ready;
}

std::optional<ZorviLockAbilityWords> VigilorMonitor::lockAbilityWords() const {
    return ZorviLockDecision::abilityWords(lockAbility(), lockAbilityInputs());
}

ZorviVerdictWords VigilorMonitor::verdictWords() const {
    return ZorviLockDecision::words(guard_.lastVerdict().inputs, guard_.lastVerdict().verdict);
}

namespace {

// A session that cannot be locked is told before what the camera or a pause says.
bool lockerProblem(ZorviLockAbility ability) {
    return ability == ZorviLockAbility::noScreenLocker || ability == ZorviLockAbility::lockerDoesNotLock;
}

} // namespace

std::string VigilorMonitor::menuTitle() const {
    if (isPaused())
        return "Paused";
    if (!autoLockEnabled() || lockAbility() != ZorviLockAbility::ready)
        return "Zorvi";
    return camera_.facePresent() ? "Present" : "Checking";
}

std::string VigilorMonitor::modeSummary() const {
    if (isPaused())
        return "Paused";
    if (!autoLockEnabled())
        return "Coaching";
    return lockAbility() == ZorviLockAbility::ready ? "Armed" : "Not armed";
}

// Looks at the companion signal even when Bluetooth presence is off, so a face alone never earns the
// full shield.
std::string VigilorMonitor::menuSystemImage() const {
    if (isPaused())
        return "pause.circle";
    if (phase() == MonitorPhase::blocked)
        return "exclamationmark.triangle";
    if (!camera_.facePresent())
        return "eye.slash";
    if (!companion_->watchPresent())
        return "antenna.radiowaves.left.and.right.slash";
    return "checkmark.shield";
}

std::string VigilorMonitor::readinessSummary() const {
    const bool face = camera_.facePresent();
    const bool bluetooth = companion_->bluetoothPresenceEnabled();
    const auto ability = lockAbilityWords();
    if (ability && lockerProblem(lockAbility()))
        return ability->readiness;
    if (phase() == MonitorPhase::blocked)
        return cameraRow(*this).readiness;
    if (isPaused())
        return "Paused";
    if (ability)
        return ability->readiness;
    if (remoteControlActive() && !face)
        return "Remote, not at computer";
    if (face && (!bluetooth || companion_->watchPresent()))
        return "You are here";
    // Bluetooth that can tell nothing is the word, beside a face or instead of a camera switched off.
    if (bluetooth && companion_->isBluetoothUnavailable() &&
        (face || camera_.cameraState().kind == CameraState::Kind::switchedOff))
        return bluetoothRow(*this).summary;
    if (face && !companion_->seen())
        return "Learning " + companion_->companionWordCapitalised() + " signal";
    if (face)
        return companion_->companionWordCapitalised() + " signal missing";
    if (companion_->watchPresent())
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
    int confidence = camera_.facePresent() ? 45 : 0;
    if (!companion_->bluetoothPresenceEnabled() || companion_->watchPresent())
        confidence += 45;
    if (inputIdleSeconds() < config().activeInputGrace && !remoteControlActive())
        confidence += 10;
    return confidence;
}

std::string VigilorMonitor::signalBrief() const {
    const bool face = camera_.facePresent();
    const bool bluetooth = companion_->bluetoothPresenceEnabled();
    if (phase() == MonitorPhase::blocked)
        return cameraRow(*this).brief;
    if (remoteControlActive() && !face)
        return "Screen Sharing is active, but the camera does not see you at the computer.";
    if (bluetooth && companion_->isBluetoothUnavailable())
        return "Bluetooth is unavailable; " + companion_->companionWordCapitalised() +
               " verification is suppressing auto-lock.";
    if (bluetooth && !companion_->seen())
        return std::string(camera_.cameraDeliversFrames(now()) ? "Camera is active; waiting" : "Waiting") +
               " to learn your " + companion_->companionWordLowerCase() + " signal.";
    if (face && !bluetooth)
        return "Camera sees you at the computer.";
    if (face && companion_->watchPresent())
        return "Camera and " + companion_->companionWordCapitalised() + " agree you are at the computer.";
    if (!face && !companion_->watchPresent())
        return "Desk presence, input, and Bluetooth gates are away or unavailable.";
    if (!face)
        return companion_->companionWordCapitalised() + " is near; camera has lost your face.";
    return "Camera sees you; " + companion_->companionWordCapitalised() + " signal is the weak link.";
}

// What the guard says before the decision's own words: the session locked, a pause, a locker that
// cannot lock, a blocked camera, a lock under way, anything that keeps Auto Lock from locking at all.
std::optional<std::string> VigilorMonitor::guardReason() const {
    if (lockAttempt_.locked())
        return "Computer locked.";
    if (isPaused())
        return "Paused by user.";
    const ZorviLockAbilityInputs abilityInputs = lockAbilityInputs();
    const ZorviLockAbility ability = ZorviLockDecision::ability(abilityInputs);
    const auto abilityWords = ZorviLockDecision::abilityWords(ability, abilityInputs);
    if (abilityWords && lockerProblem(ability) && autoLockEnabled())
        return abilityWords->lockReason;
    if (phase() == MonitorPhase::blocked)
        return std::string(cameraRow(*this).lockReason);
    if (auto reason = sessionLockReason())
        return reason;
    // The settings speak whether or not Auto Lock is on; the rest only where it would lock.
    if (abilityWords && (autoLockEnabled() || ability == ZorviLockAbility::lockingDisabled))
        return abilityWords->lockReason;
    return std::nullopt;
}

// An explanation in words of the lock decision; it decides nothing.
std::string VigilorMonitor::lockReason() const {
    if (auto reason = guardReason())
        return *reason;
    return verdictWords().lockReason;
}

std::optional<std::string> VigilorMonitor::wontLockReason() const {
    if (guardReason())
        return std::nullopt;
    return verdictWords().wontLock;
}

std::string VigilorMonitor::watchSummary() const {
    if (const std::optional<int> rssi = companion_->watchRSSI()) {
        const std::string strength = std::to_string(*rssi) + " dBm";
        const std::optional<Date> weakSince = companion_->weakSince();
        if (weakSince && *rssi < config().watchWeakRSSI)
            return strength + ", weak for " + oneDecimal(now().timeIntervalSince(*weakSince)) + "s";
        if (const std::optional<double> age = companion_->secondsSinceWatch())
            return strength + ", " + oneDecimal(*age) + "s ago";
        return strength;
    }
    if (!companion_->bluetoothPresenceEnabled())
        return "Off";
    if (companion_->isBluetoothUnavailable())
        return bluetoothRow(*this).summary;
    return companion_->seen() ? "Searching" : "Learning " + companion_->companionWordLowerCase();
}

std::string VigilorMonitor::watchSignalDetail() const {
    if (!companion_->bluetoothPresenceEnabled())
        return "off";
    if (companion_->isBluetoothUnavailable())
        return bluetoothRow(*this).signalWord;
    if (!companion_->seen())
        return "baseline needed";
    return companion_->watchPresent() ? "nearby" : "away";
}

// Camera presence off, and a camera that cannot be watched through, speak for themselves; so does a
// face never seen, whose age would count from the start.
std::optional<std::string> VigilorMonitor::faceAbsenceWord() const {
    if (auto word = blindCameraWord())
        return word;
    if (!camera_.faceSeen())
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
