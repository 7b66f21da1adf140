#include "LockDecision.h"

#include "Foundation/Text.h"

#include <algorithm>
#include <optional>

namespace {

using Kind = ZorviPresenceVerdict::Kind;
using Verdict = ZorviPresenceVerdict;
using RuleSet = ZorviRuleSet;

// Screen Sharing, then a call: what still holds a lock back once the absence is established.
std::optional<Kind> suppression(const ZorviPresenceInputs& in) {
    if (in.remoteControlActive && in.suppressAutoLockDuringRemoteSession)
        return Kind::suppressedScreenSharing;
    if (in.onCall && in.suppressLockDuringCalls)
        return Kind::suppressedOnCall;
    return std::nullopt;
}

Verdict lockOrWouldLock(const ZorviPresenceInputs& in) {
    if (!in.autoLockEnabled)
        return Verdict::of(Kind::wouldLockAutoLockOff);
    if (!in.screenLockingEnabled)
        return Verdict::of(Kind::wouldLockLockingDisabled);
    if (in.lockedForCurrentAbsence)
        return Verdict::of(Kind::locked);
    return Verdict::of(in.lockerAvailable ? Kind::lock : Kind::wouldLockNoLocker);
}

// A companion never heard keeps the gate closed: for as long as Bluetooth cannot be heard, for good.
ZorviGateReason gateReason(const ZorviPresenceInputs& in) {
    if (in.companionSeen)
        return ZorviGateReason::companionNear;
    return bluetoothWords(in.bluetoothState).unavailable ? ZorviGateReason::bluetoothUnavailable
                                                         : ZorviGateReason::companionNotSeen;
}

Verdict evaluateCamera(const ZorviPresenceInputs& in) {
    if (in.facePresent)
        return Verdict::present(ZorviPresenceReason::faceInView);
    // Without pictures a missing face says nothing about the desk: no camera rule can see an absence.
    if (in.cameraBlocked)
        return Verdict::of(in.cameraStarting ? Kind::cameraStarting : Kind::cameraBlind);
    if (!in.hasIndependentAwayEvidence && in.secondsSinceDeskPresence < in.lookAwayGrace &&
        (!in.requireKnownFaceForPresence || in.knownFacePresent))
        return Verdict::present(ZorviPresenceReason::faceTurned);
    if (in.bodyPoseLockAssistEnabled && in.secondsSinceUnclearDeskPresence < in.bodyPresenceGrace &&
        !in.hasIndependentAwayEvidence)
        return Verdict::present(ZorviPresenceReason::bodyPoseUnclear);
    if (in.missingFaceSamples < in.minMissingSamples)
        return Verdict::of(Kind::waitingForSustainedNoFace);
    // Written as "unless timeout <= elapsed" so that equality locks and a NaN keeps waiting.
    if (!(in.lockTimeout <= in.secondsSinceFace))
        return Verdict::waiting(in.lockTimeout - in.secondsSinceFace);
    if (const auto suppressed = suppression(in))
        return Verdict::of(*suppressed);
    if (!in.watchGateAllowsLock)
        return Verdict::gateClosed(gateReason(in));
    return lockOrWouldLock(in);
}

// Without the camera only the companion can tell; first, whether it can be asked at all.
std::optional<Verdict> companionUnknown(const ZorviPresenceInputs& in) {
    if (!in.bluetoothPresenceEnabled)
        return Verdict::of(Kind::companionOff);
    if (bluetoothWords(in.bluetoothState).unavailable)
        return Verdict::of(Kind::companionUnavailable);
    if (!in.companionSeen)
        return Verdict::of(Kind::learningCompanion);
    return std::nullopt;
}

// While another application holds the camera only the companion can tell that the user left. The
// companion gate is consulted, calls are not, and the absence must last the lock timeout.
Verdict evaluateCameraBusy(const ZorviPresenceInputs& in) {
    if (const auto unknown = companionUnknown(in))
        return *unknown;
    if (in.companionNear)
        return Verdict::present(ZorviPresenceReason::companionNear);
    if (in.remoteControlActive && in.suppressAutoLockDuringRemoteSession)
        return Verdict::of(Kind::suppressedScreenSharing);
    const bool lockDue = in.autoLockEnabled && in.screenLockingEnabled && !in.lockedForCurrentAbsence &&
                         in.watchGateAllowsLock && in.inputIdleSeconds >= in.activeInputGrace &&
                         in.companionAwaySeconds >= in.lockTimeout;
    if (!lockDue)
        return Verdict::of(Kind::companionAway);
    return Verdict::of(in.lockerAvailable ? Kind::lock : Kind::wouldLockNoLocker);
}

// Without the camera the threshold is the companion's grace, not the lock timeout, and the companion
// gate is not consulted. Recent keyboard or mouse input counts as presence.
Verdict evaluateDeviceOnly(const ZorviPresenceInputs& in) {
    if (const auto unknown = companionUnknown(in))
        return *unknown;
    const bool activeInput = in.inputIdleSeconds < in.activeInputGrace;
    const double away = activeInput || in.companionNear ? 0 : in.companionAwaySeconds;
    if (away < std::max(0.0, in.watchGrace))
        return Verdict::present(activeInput && !in.companionNear ? ZorviPresenceReason::inputActive
                                                                 : ZorviPresenceReason::companionNear);
    if (const auto suppressed = suppression(in))
        return Verdict::of(*suppressed);
    return lockOrWouldLock(in);
}

// A lock verdict in words: "Locked" only once a screen locker has reported the lock. `detail` says what
// the rule set saw, if anything.
std::string lockText(ZorviLockProgress progress, const std::string& detail = {}) {
    switch (progress) {
    case ZorviLockProgress::unconfirmed:
        return "Lock requested, not confirmed";
    case ZorviLockProgress::failed:
        return "Lock failed: no screen locker took the request";
    case ZorviLockProgress::awaited:
        return detail.empty() ? "Locking\u2026" : "Locking \u2014 " + detail;
    case ZorviLockProgress::locked:
        break;
    }
    return detail.empty() ? "Locked" : "Locked \u2014 " + detail;
}

using Words = ZorviVerdictWords;

Words wontLock(std::string decision, const std::string& why) {
    return {std::move(decision), why, "Won't lock: " + why};
}
Words explained(std::string decision, std::string reason) {
    return {std::move(decision), std::nullopt, std::move(reason)};
}

// What every rule set says alike about a verdict it shares.
Words presentWords(const ZorviPresenceInputs& in, ZorviPresenceReason reason, std::string decision) {
    const ZorviCompanionWords& companion = companionWords(in.companionMode);
    switch (reason) {
    case ZorviPresenceReason::faceInView:
        return wontLock(std::move(decision), "face is visible.");
    case ZorviPresenceReason::bodyPoseUnclear:
        return wontLock(std::move(decision), "body is still in frame.");
    case ZorviPresenceReason::companionNear:
        return wontLock(std::move(decision), std::string(companion.capitalised) + " is still near.");
    case ZorviPresenceReason::inputActive:
        return wontLock(std::move(decision), "keyboard or mouse is active.");
    case ZorviPresenceReason::faceTurned:
        break;
    }
    return wontLock(std::move(decision), "recent look-away still counts as present.");
}

Words gateWords(const ZorviPresenceInputs& in, ZorviGateReason gate) {
    const ZorviCompanionWords& companion = companionWords(in.companionMode);
    const std::string kind = companion.capitalised;
    switch (gate) {
    case ZorviGateReason::companionNotSeen:
        return wontLock("Suppressed: " + kind + " not seen yet",
                        "waiting for first " + std::string(companion.lowerCase) + " signal.");
    case ZorviGateReason::bluetoothUnavailable:
        return wontLock("Suppressed: Bluetooth unavailable", "Bluetooth is unavailable.");
    case ZorviGateReason::companionNear:
        break;
    }
    return wontLock("Suppressed: " + kind + " near", kind + " is still near.");
}

// Armed only where Auto Lock can lock.
const char* presentDecision(const ZorviPresenceInputs& in) {
    if (!in.autoLockEnabled)
        return "Coaching: present";
    return in.lockAbility == ZorviLockAbility::ready ? "Armed, but present"
                                                     : "Present \u2014 Auto Lock cannot lock";
}

const char* const lockDueReason = "You have left: Zorvi locks the session.";
const char* const lockingDisabledReason = "Locking is disabled; Zorvi is observing only.";
const char* const autoLockOffReason = "Would lock, but Auto Lock is off.";
const char* const noLockerReason = "No screen locker found: Zorvi cannot lock this session.";

Words cameraRuleWords(const ZorviPresenceInputs& in, const Verdict& verdict) {
    const std::string kind = companionWords(in.companionMode).capitalised;
    switch (verdict.kind) {
    case Kind::present:
        if (verdict.reason == ZorviPresenceReason::faceInView)
            return presentWords(in, verdict.reason, presentDecision(in));
        if (verdict.reason == ZorviPresenceReason::bodyPoseUnclear)
            return presentWords(in, verdict.reason, "Present \u2014 body pose unclear");
        return presentWords(in, verdict.reason, "Present \u2014 face turned");
    case Kind::cameraBlind:
        return wontLock("No camera signal", "the camera delivers no pictures, so it cannot see you leave.");
    case Kind::cameraStarting:
        return wontLock("Camera starting", "the camera is starting, so it cannot see you leave yet.");
    case Kind::waiting:
        return explained("Face missing: " + fixedDecimal(verdict.secondsLeft, 1) + "s",
                         "Locks once the face has been gone for the lock timeout.");
    case Kind::waitingForSustainedNoFace:
        return explained("Waiting for sustained no-face", "Locks once the camera has missed the face a few times.");
    case Kind::suppressedScreenSharing:
        return wontLock("Suppressed: Screen Sharing", "Screen Sharing is active.");
    case Kind::suppressedOnCall:
        return wontLock("Suppressed: On a call", "On a call.");
    case Kind::suppressedWatchNear:
        return gateWords(in, verdict.gate);
    case Kind::wouldLockAutoLockOff:
        return explained(in.bluetoothPresenceEnabled ? "Would lock: face + " + kind + " away" : "Would lock: face away",
                         autoLockOffReason);
    case Kind::wouldLockLockingDisabled:
        return explained("Would lock, but locking is disabled", lockingDisabledReason);
    case Kind::wouldLockNoLocker:
        return explained("Would lock, but no screen locker was found", noLockerReason);
    default:
        return explained(lockText(in.lockProgress), lockDueReason);
    }
}

Words cameraBusyRuleWords(const ZorviPresenceInputs& in, const Verdict& verdict) {
    const ZorviCompanionWords& companion = companionWords(in.companionMode);
    const std::string kind = companion.capitalised;
    switch (verdict.kind) {
    case Kind::companionOff:
        return wontLock("Camera busy \u2014 assuming present", "the camera is busy and no companion is in use.");
    case Kind::companionUnavailable:
        return wontLock("Camera busy \u2014 assuming present", "the camera is busy and Bluetooth is unavailable.");
    case Kind::learningCompanion:
        return wontLock("Camera busy \u2014 learning " + kind,
                        "waiting for first " + std::string(companion.lowerCase) + " signal.");
    case Kind::present:
        return presentWords(in, verdict.reason, "Camera busy \u2014 " + kind + " near");
    case Kind::suppressedScreenSharing:
        return wontLock("Camera busy \u2014 Screen Sharing", "Screen Sharing is active.");
    case Kind::lock:
        return explained(lockText(in.lockProgress, "camera busy, " + kind + " away"), lockDueReason);
    case Kind::wouldLockNoLocker:
        return explained("Camera busy \u2014 " + kind + " away, no screen locker", noLockerReason);
    default:
        return explained("Camera busy \u2014 " + kind + " away",
                         "Locks once the " + std::string(companion.lowerCase) +
                             " has been away for the lock timeout and input is idle.");
    }
}

Words deviceOnlyRuleWords(const ZorviPresenceInputs& in, const Verdict& verdict) {
    const ZorviCompanionWords& companion = companionWords(in.companionMode);
    const std::string kind = companion.capitalised;
    switch (verdict.kind) {
    case Kind::companionOff:
        return wontLock("Pick a Watch or phone for camera-free locking", "no Watch or phone is in use.");
    case Kind::companionUnavailable:
        return wontLock(bluetoothWords(in.bluetoothState).cameraFreeLocking, "Bluetooth is unavailable.");
    case Kind::learningCompanion:
        return wontLock("Learning " + kind, "waiting for first " + std::string(companion.lowerCase) + " signal.");
    case Kind::present:
        return presentWords(in, verdict.reason, kind + " near");
    case Kind::suppressedScreenSharing:
        return wontLock("Screen Sharing \u2014 staying unlocked", "Screen Sharing is active.");
    case Kind::suppressedOnCall:
        return wontLock("On a call \u2014 staying unlocked", "On a call.");
    case Kind::wouldLockAutoLockOff:
        return explained(kind + " away (auto-lock off)", autoLockOffReason);
    case Kind::wouldLockLockingDisabled:
        return explained(kind + " away (locking unavailable)", lockingDisabledReason);
    case Kind::wouldLockNoLocker:
        return explained(kind + " away (no screen locker)", noLockerReason);
    default:
        return explained(lockText(in.lockProgress, kind + " away"), lockDueReason);
    }
}

} // namespace

const ZorviCompanionWords& companionWords(BluetoothPresenceMode mode) {
    static constexpr ZorviCompanionWords off{"Bluetooth", "Bluetooth"}, watch{"Watch", "Watch"},
        phone{"Phone", "phone"}, either{"Device", "device"};
    switch (mode) {
    case BluetoothPresenceMode::watch:
        return watch;
    case BluetoothPresenceMode::phone:
        return phone;
    case BluetoothPresenceMode::either:
        return either;
    case BluetoothPresenceMode::off:
        break;
    }
    return off;
}

namespace ZorviLockDecision {

ZorviRuleSet ruleSet(const ZorviPresenceInputs& inputs) {
    if (inputs.cameraBusy)
        return ZorviRuleSet::cameraBusy;
    return inputs.cameraPresenceEnabled ? ZorviRuleSet::camera : ZorviRuleSet::deviceOnly;
}

ZorviPresenceVerdict evaluate(const ZorviPresenceInputs& inputs) {
    switch (ruleSet(inputs)) {
    case RuleSet::cameraBusy:
        return evaluateCameraBusy(inputs);
    case RuleSet::deviceOnly:
        return evaluateDeviceOnly(inputs);
    default:
        return evaluateCamera(inputs);
    }
}

ZorviVerdictWords words(const ZorviPresenceInputs& inputs, const ZorviPresenceVerdict& verdict) {
    switch (ruleSet(inputs)) {
    case RuleSet::cameraBusy:
        return cameraBusyRuleWords(inputs, verdict);
    case RuleSet::deviceOnly:
        return deviceOnlyRuleWords(inputs, verdict);
    default:
        return cameraRuleWords(inputs, verdict);
    }
}

ZorviLockCall lockCall(const ZorviPresenceInputs& inputs) {
    const std::string kind = companionWords(inputs.companionMode).capitalised;
    switch (ruleSet(inputs)) {
    case RuleSet::cameraBusy:
        return {"Auto-lock (camera busy, " + kind + " away)", "Auto-" + kind};
    case RuleSet::deviceOnly:
        return {"Auto-lock (" + kind + " away, camera-free)", "Auto-" + kind};
    default:
        return {"Auto-lock triggered", "Auto"};
    }
}

// The setting and the locker first, then the signal: with camera presence on, the camera's pictures
// (the camera rules never fall back on the companion), and a companion gate that Bluetooth can open;
// without it, a companion that can be heard.
ZorviLockAbility ability(const ZorviLockAbilityInputs& in) {
    if (!in.screenLockingEnabled)
        return ZorviLockAbility::lockingDisabled;
    if (in.hasScreenLocker == false)
        return ZorviLockAbility::noScreenLocker;
    if (in.heldInput && *in.heldInput != HeldInput::none)
        return ZorviLockAbility::inputHeld;
    if (in.lockerDoesNotLock)
        return ZorviLockAbility::lockerDoesNotLock;
    if (in.cameraPresenceEnabled) {
        if (in.cameraBlocked)
            return ZorviLockAbility::cameraCannotWatch;
        if (in.bluetoothPresenceEnabled && in.bluetoothUnavailable && !in.companionSeen)
            return ZorviLockAbility::bluetoothUnheard;
        return ZorviLockAbility::ready;
    }
    if (!in.bluetoothPresenceEnabled)
        return ZorviLockAbility::noAwaySignal;
    return in.bluetoothUnavailable ? ZorviLockAbility::bluetoothUnheard : ZorviLockAbility::ready;
}

std::optional<ZorviLockAbilityWords> abilityWords(ZorviLockAbility ability, const ZorviLockAbilityInputs& in) {
    const std::string kind = companionWords(in.companionMode).lowerCase;
    switch (ability) {
    case ZorviLockAbility::ready:
        return std::nullopt;
    case ZorviLockAbility::lockingDisabled:
        return ZorviLockAbilityWords{"Locking disabled", lockingDisabledReason};
    case ZorviLockAbility::noScreenLocker:
        return ZorviLockAbilityWords{"No screen locker found", noLockerReason};
    case ZorviLockAbility::inputHeld: {
        const LockAttempt::HeldInputWords& held =
            LockAttempt::heldInputWords(in.heldInput.value_or(HeldInput::keyboard));
        return ZorviLockAbilityWords{held.readiness, std::string(held.sentence) + "."};
    }
    case ZorviLockAbility::lockerDoesNotLock:
        return ZorviLockAbilityWords{
            "Screen locker does not lock",
            std::string(LockAttempt::lockerDoesNotLockText) + "."};
    case ZorviLockAbility::cameraCannotWatch:
        return ZorviLockAbilityWords{"Camera cannot watch",
                                     "Auto Lock cannot lock: the camera delivers no pictures, so it cannot see you leave."};
    case ZorviLockAbility::noAwaySignal:
        return ZorviLockAbilityWords{
            "Nothing can see you leave",
            "Auto Lock cannot lock: camera presence is off and no Watch or phone is in use."};
    case ZorviLockAbility::bluetoothUnheard:
        return ZorviLockAbilityWords{
            "Bluetooth unavailable",
            in.cameraPresenceEnabled
                ? "Auto Lock cannot lock in this mode: Bluetooth is unavailable, so the " + kind + " gate never opens."
                : "Auto Lock cannot lock: Bluetooth is unavailable and camera presence is off."};
    }
    return std::nullopt;
}

} // namespace ZorviLockDecision
