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

Verdict evaluateCamera(const ZorviPresenceInputs& in) {
    if (in.facePresent)
        return Verdict::present(ZorviPresenceReason::faceInView);
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
        return Verdict::of(Kind::suppressedWatchNear);
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
        return Verdict::present(ZorviPresenceReason::companionNear);
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

std::string cameraText(const ZorviPresenceInputs& in, const Verdict& verdict) {
    switch (verdict.kind) {
    case Kind::present:
        switch (verdict.reason) {
        case ZorviPresenceReason::faceInView:
            return in.autoLockEnabled ? "Armed, but present" : "Coaching: present";
        case ZorviPresenceReason::bodyPoseUnclear:
            return "Present \u2014 body pose unclear";
        default:
            // The presence assumed at the start is no face that a camera turned away from.
            return in.cameraBlocked ? "No camera signal" : "Present \u2014 face turned";
        }
    case Kind::waiting:
        return "Face missing: " + fixedDecimal(verdict.secondsLeft, 1) + "s";
    case Kind::waitingForSustainedNoFace:
        return in.cameraBlocked ? "No camera signal" : "Waiting for sustained no-face";
    case Kind::suppressedScreenSharing:
        return "Suppressed: Screen Sharing";
    case Kind::suppressedOnCall:
        return "Suppressed: On a call";
    case Kind::suppressedWatchNear:
        return "Suppressed: Watch near";
    case Kind::wouldLockAutoLockOff:
        return "Would lock: face + Watch away";
    case Kind::wouldLockLockingDisabled:
        return "Would lock, but locking is disabled";
    case Kind::wouldLockNoLocker:
        return "Would lock, but no screen locker was found";
    default:
        return lockText(in.lockProgress);
    }
}

std::string cameraBusyText(const ZorviPresenceInputs& in, const Verdict& verdict, const std::string& kind) {
    switch (verdict.kind) {
    case Kind::companionOff:
    case Kind::companionUnavailable:
        return "Camera busy \u2014 assuming present";
    case Kind::learningCompanion:
        return "Camera busy \u2014 learning " + kind;
    case Kind::present:
        return "Camera busy \u2014 " + kind + " near";
    case Kind::suppressedScreenSharing:
        return "Camera busy \u2014 Screen Sharing";
    case Kind::lock:
        return lockText(in.lockProgress, "camera busy, " + kind + " away");
    case Kind::wouldLockNoLocker:
        return "Camera busy \u2014 " + kind + " away, no screen locker";
    default:
        return "Camera busy \u2014 " + kind + " away";
    }
}

std::string deviceOnlyText(const ZorviPresenceInputs& in, const Verdict& verdict, const std::string& kind) {
    switch (verdict.kind) {
    case Kind::companionOff:
        return "Pick a Watch or phone for camera-free locking";
    case Kind::companionUnavailable:
        return bluetoothWords(in.bluetoothState).cameraFreeLocking;
    case Kind::learningCompanion:
        return "Learning " + kind;
    case Kind::present:
        return kind + " near";
    case Kind::suppressedScreenSharing:
        return "Screen Sharing \u2014 staying unlocked";
    case Kind::suppressedOnCall:
        return "On a call \u2014 staying unlocked";
    case Kind::wouldLockAutoLockOff:
        return kind + " away (auto-lock off)";
    case Kind::wouldLockLockingDisabled:
        return kind + " away (locking unavailable)";
    case Kind::wouldLockNoLocker:
        return kind + " away (no screen locker)";
    default:
        return lockText(in.lockProgress, kind + " away");
    }
}

} // namespace

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

std::string decisionText(const ZorviPresenceInputs& inputs, const ZorviPresenceVerdict& verdict,
                         const std::string& companionWord) {
    switch (ruleSet(inputs)) {
    case RuleSet::cameraBusy:
        return cameraBusyText(inputs, verdict, companionWord);
    case RuleSet::deviceOnly:
        return deviceOnlyText(inputs, verdict, companionWord);
    default:
        return cameraText(inputs, verdict);
    }
}

ZorviLockCall lockCall(const ZorviPresenceInputs& inputs, const std::string& companionWord) {
    switch (ruleSet(inputs)) {
    case RuleSet::cameraBusy:
        return {"Auto-lock (camera busy, " + companionWord + " away)", "Auto-" + companionWord};
    case RuleSet::deviceOnly:
        return {"Auto-lock (" + companionWord + " away, camera-free)", "Auto-" + companionWord};
    default:
        return {"Auto-lock triggered", "Auto"};
    }
}

} // namespace ZorviLockDecision
