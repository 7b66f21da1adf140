// The presence summaries: each is a first-match rule list over the current state, read afresh every
// time; the rule order decides which of several states that hold at once the user sees.
#include "Vigilor/Monitor/StatusSummaries.h"

#include "Foundation/Text.h"

namespace {

std::string oneDecimal(double value) {
    return fixedDecimal(value, 1);
}

// A session that cannot be locked is told before what the camera or a pause says.
bool lockerProblem(ZorviLockAbility ability) {
    return ability == ZorviLockAbility::noScreenLocker || ability == ZorviLockAbility::inputHeld ||
           ability == ZorviLockAbility::lockerDoesNotLock;
}

} // namespace

// The camera's row, whose texts a blocked monitor shows in place of a presence state.
const CameraWords& StatusSummaries::cameraRow() const {
    return cameraWords(camera_.cameraState().kind);
}

const BluetoothWords& StatusSummaries::bluetoothRow() const {
    return bluetoothWords(companion_.bluetoothState());
}

ZorviLockAbilityInputs StatusSummaries::lockAbilityInputs() const {
    const VigilorConfig& c = config();
    ZorviLockAbilityInputs in;
    in.screenLockingEnabled = c.screenLockingEnabled;
    in.hasScreenLocker = monitor_.sessionHasScreenLocker();
    in.heldInput = lockAttempt_.heldInput(now());
    in.lockerDoesNotLock = lockAttempt_.lockerDoesNotLock();
    in.cameraPresenceEnabled = c.cameraPresenceEnabled;
    in.cameraBlocked = cameraRow().blocks && camera_.cameraState().kind != CameraState::Kind::switchedOff;
    in.bluetoothPresenceEnabled = companion_.bluetoothPresenceEnabled();
    in.bluetoothUnavailable = companion_.isBluetoothUnavailable();
    in.companionSeen = companion_.seen();
    in.companionMode = c.bluetoothPresenceMode;
    return in;
}

// Only Auto Lock can be armed: with it off nothing claims protection.
ZorviLockAbility StatusSummaries::lockAbility() const {
    return monitor_.autoLockEnabled() ? ZorviLockDecision::ability(lockAbilityInputs())
                                      : ZorviLockAbility::ready;
}

std::optional<ZorviLockAbilityWords> StatusSummaries::lockAbilityWords() const {
    return ZorviLockDecision::abilityWords(lockAbility(), lockAbilityInputs());
}

ZorviVerdictWords StatusSummaries::verdictWords() const {
    return ZorviLockDecision::words(monitor_.verdictInputs(), monitor_.verdict());
}

std::string StatusSummaries::menuTitle() const {
    if (monitor_.paused())
        return "Paused";
    if (!monitor_.autoLockEnabled() || lockAbility() != ZorviLockAbility::ready)
        return "Zorvi";
    return camera_.facePresent() ? "Present" : "Checking";
}

std::string StatusSummaries::modeSummary() const {
    if (monitor_.paused())
        return "Paused";
    if (!monitor_.autoLockEnabled())
        return "Coaching";
    return lockAbility() == ZorviLockAbility::ready ? "Armed" : "Not armed";
}

// Looks at the companion signal even when Bluetooth presence is off, so a face alone never earns the
// full shield.
std::string StatusSummaries::menuSystemImage() const {
    if (monitor_.paused())
        return "pause.circle";
    if (monitor_.phase() == MonitorPhase::blocked)
        return "exclamationmark.triangle";
    if (!camera_.facePresent())
        return "eye.slash";
    if (!companion_.watchPresent())
        return "antenna.radiowaves.left.and.right.slash";
    return "checkmark.shield";
}

std::string StatusSummaries::readinessSummary() const {
    const bool face = camera_.facePresent();
    const bool bluetooth = companion_.bluetoothPresenceEnabled();
    const auto ability = lockAbilityWords();
    if (ability && lockerProblem(lockAbility()))
        return ability->readiness;
    if (monitor_.phase() == MonitorPhase::blocked)
        return cameraRow().readiness;
    if (monitor_.paused())
        return "Paused";
    if (ability)
        return ability->readiness;
    if (monitor_.remoteControlActive() && !face)
        return "Remote, not at computer";
    if (face && (!bluetooth || companion_.watchPresent()))
        return "You are here";
    // Bluetooth that can tell nothing is the word, beside a face or instead of a camera switched off.
    if (bluetooth && companion_.isBluetoothUnavailable() &&
        (face || camera_.cameraState().kind == CameraState::Kind::switchedOff))
        return bluetoothRow().summary;
    if (face && !companion_.seen())
        return "Learning " + companion_.companionWordCapitalised() + " signal";
    if (face)
        return companion_.companionWordCapitalised() + " signal missing";
    if (companion_.watchPresent())
        return "Face signal missing";
    return monitor_.autoLockEnabled() ? "Away check armed" : "Away signal";
}

bool StatusSummaries::needsPermissionAction() const {
    return cameraRow().asksPermission || bluetoothRow().asksPermission;
}

// A camera that blocks sees nobody, paused or not: a pause must not turn its 0 into points.
int StatusSummaries::presenceConfidence() const {
    if (cameraRow().blocks)
        return 0;
    int confidence = camera_.facePresent() ? 45 : 0;
    if (!companion_.bluetoothPresenceEnabled() || companion_.watchPresent())
        confidence += 45;
    if (monitor_.inputIdleSeconds() < config().activeInputGrace && !monitor_.remoteControlActive())
        confidence += 10;
    return confidence;
}

std::string StatusSummaries::signalBrief() const {
    const bool face = camera_.facePresent();
    const bool bluetooth = companion_.bluetoothPresenceEnabled();
    if (monitor_.phase() == MonitorPhase::blocked)
        return cameraRow().brief;
    if (monitor_.remoteControlActive() && !face)
        return "Screen Sharing is active, but the camera does not see you at the computer.";
    if (bluetooth && companion_.isBluetoothUnavailable())
        return "Bluetooth is unavailable; " + companion_.companionWordCapitalised() +
               " verification is suppressing auto-lock.";
    if (bluetooth && !companion_.seen())
        return std::string(camera_.cameraDeliversFrames(now()) ? "Camera is active; waiting" : "Waiting") +
               " to learn your " + companion_.companionWordLowerCase() + " signal.";
    if (face && !bluetooth)
        return "Camera sees you at the computer.";
    if (face && companion_.watchPresent())
        return "Camera and " + companion_.companionWordCapitalised() + " agree you are at the computer.";
    if (!face && !companion_.watchPresent())
        return "Desk presence, input, and Bluetooth gates are away or unavailable.";
    if (!face)
        return companion_.companionWordCapitalised() + " is near; camera has lost your face.";
    return "Camera sees you; " + companion_.companionWordCapitalised() + " signal is the weak link.";
}

// What the guard says before the decision's own words: the session locked, a pause, a locker that
// cannot lock, a blocked camera, a lock under way, anything that keeps Auto Lock from locking at all.
std::optional<std::string> StatusSummaries::guardReason() const {
    if (lockAttempt_.locked())
        return "Computer locked.";
    if (monitor_.paused())
        return "Paused by user.";
    const ZorviLockAbilityInputs abilityInputs = lockAbilityInputs();
    const ZorviLockAbility ability = ZorviLockDecision::ability(abilityInputs);
    const auto abilityWords = ZorviLockDecision::abilityWords(ability, abilityInputs);
    if (abilityWords && lockerProblem(ability) && monitor_.autoLockEnabled())
        return abilityWords->lockReason;
    if (monitor_.phase() == MonitorPhase::blocked)
        return std::string(cameraRow().lockReason);
    if (auto reason = sessionLockReason())
        return reason;
    // The settings speak whether or not Auto Lock is on; the rest only where it would lock.
    if (abilityWords && (monitor_.autoLockEnabled() || ability == ZorviLockAbility::lockingDisabled))
        return abilityWords->lockReason;
    return std::nullopt;
}

// An explanation in words of the lock decision; it decides nothing.
std::string StatusSummaries::lockReason() const {
    if (auto reason = guardReason())
        return *reason;
    return verdictWords().lockReason;
}

std::optional<std::string> StatusSummaries::wontLockReason() const {
    if (guardReason())
        return std::nullopt;
    return verdictWords().wontLock;
}

std::string StatusSummaries::watchSummary() const {
    if (const std::optional<int> rssi = companion_.watchRSSI()) {
        const std::string strength = std::to_string(*rssi) + " dBm";
        const std::optional<Date> weakSince = companion_.weakSince();
        if (weakSince && *rssi < config().watchWeakRSSI)
            return strength + ", weak for " + oneDecimal(now().timeIntervalSince(*weakSince)) + "s";
        if (const std::optional<double> age = companion_.secondsSinceWatch())
            return strength + ", " + oneDecimal(*age) + "s ago";
        return strength;
    }
    if (!companion_.bluetoothPresenceEnabled())
        return "Off";
    if (companion_.isBluetoothUnavailable())
        return bluetoothRow().summary;
    return companion_.seen() ? "Searching" : "Learning " + companion_.companionWordLowerCase();
}

std::string StatusSummaries::watchSignalDetail() const {
    if (!companion_.bluetoothPresenceEnabled())
        return "off";
    if (companion_.isBluetoothUnavailable())
        return bluetoothRow().signalWord;
    if (!companion_.seen())
        return "baseline needed";
    return companion_.watchPresent() ? "nearby" : "away";
}

// Camera presence off, and a camera that cannot be watched through, speak for themselves; so does a
// face never seen, whose age would count from the start.
std::optional<std::string> StatusSummaries::faceAbsenceWord() const {
    if (auto word = blindCameraWord())
        return word;
    if (!camera_.faceSeen())
        return "Not seen yet";
    return std::nullopt;
}

std::optional<std::string> StatusSummaries::blindCameraWord() const {
    if (const char* word = cameraRow().faceWord; *word)
        return word;
    return std::nullopt;
}

std::string StatusSummaries::inputSummary() const {
    if (monitor_.remoteControlActive())
        return "Remote active";
    return oneDecimal(monitor_.inputIdleSeconds()) + "s idle";
}

// In the words of the decision's lock states, so that the two agree; a failed request that was no part
// of an absence (the user's "Lock Now") is told for as long as a request waits for its confirmation.
std::optional<std::string> StatusSummaries::sessionLockReason() const {
    const ZorviLockProgress progress = lockAttempt_.progress();
    if (progress == ZorviLockProgress::awaited)
        return "Locking\u2026 waiting for the screen locker to confirm the lock.";
    // A failure stays news while this absence still asks for the lock, or for the window of a request.
    const auto kind = monitor_.verdict().kind;
    const bool absenceAsks =
        kind == ZorviPresenceVerdict::Kind::lock || kind == ZorviPresenceVerdict::Kind::locked;
    if ((progress == ZorviLockProgress::failed && absenceAsks) || lockAttempt_.failedRecently(now()))
        return "Lock failed: no screen locker took the request.";
    if (lockAttempt_.stage() == LockAttempt::Stage::unconfirmed && monitor_.lockedForCurrentAbsence())
        return "Lock requested, not confirmed: Zorvi asks the screen locker again.";
    return std::nullopt;
}

std::string StatusSummaries::cameraStatus() const {
    const std::string status = cameraStatusText(camera_.cameraState());
    return camera_.fallsBackToCompanion()
               ? status + " \u2014 " + companion_.companionWordCapitalised() + " only"
               : status;
}
