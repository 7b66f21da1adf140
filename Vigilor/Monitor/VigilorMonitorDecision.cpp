// The 0.5 s decision tick: publish the presence figures, update the coaching, then decide.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"
#include "Foundation/Text.h"

#include <algorithm>

namespace {

double roundedToTenth(double seconds) {
    return roundHalfAwayFromZero(seconds * 10) / 10;
}
double roundedToHalf(double seconds) {
    return roundHalfAwayFromZero(seconds * 2) / 2;
}

std::string faceMissingText(double secondsLeft) {
    return "Face missing: " + fixedDecimal(secondsLeft, 1) + "s";
}

} // namespace

void VigilorMonitor::evaluateDecision() {
    if (isPaused())
        return;
    const Date at = now();
    if (cameraInterrupted()) {
        lastFaceSeen_ = lastDeskPresenceSeen_ = at;
        setIfChanged(missingFaceSamples, 0);
    }
    setIfChanged(secondsSinceFace, roundedToTenth(at.timeIntervalSince(lastFaceSeen_)));
    setIfChanged(secondsSinceWatch, lastWatchSeen_
                                        ? std::optional(roundedToHalf(at.timeIntervalSince(*lastWatchSeen_)))
                                        : std::nullopt);
    setIfChanged(watchPresent, isWatchNear(at));
    const double idle = secondsSinceLastUserInput();
    setIfChanged(inputIdleSeconds, roundedToHalf(idle));
    if (idle < darkRoomActivityTimeout)
        darknessSince_.reset();
    setIfChanged(remoteControlActive, detectRemoteControlActive(at));
    updateWellness(at);

    if (cameraInterrupted())
        evaluateCameraBusyRules(at);
    else if (!config().cameraPresenceEnabled)
        evaluateDeviceOnlyDecision(at);
    else
        evaluateCameraRules(at);
}

// Acts on a lock verdict once per absence. True while the lock of this absence is under way. A failed
// lock clears the latch so that the next tick tries again; a build that cannot lock keeps it, so that
// the refusal is logged once per absence rather than twice a second.
bool VigilorMonitor::lockForCurrentAbsence(const std::string& logLine, const std::string& source) {
    if (lockedForCurrentAbsence_)
        return lockingAvailable_;
    lockedForCurrentAbsence_ = true;
    append(logLine);
    if (lockScreen(source))
        return true;
    lockedForCurrentAbsence_ = !lockingAvailable_;
    return false;
}

ZorviPresenceInputs VigilorMonitor::presenceInputs(Date at) const {
    const VigilorConfig& c = config();
    ZorviPresenceInputs in;
    in.secondsSinceFace = secondsSinceFace();
    in.secondsSinceDeskPresence = at.timeIntervalSince(lastDeskPresenceSeen_);
    in.secondsSinceUnclearDeskPresence = at.timeIntervalSince(lastUnclearDeskPresenceSeen_);
    in.missingFaceSamples = missingFaceSamples();
    in.lockTimeout = std::max(c.lockTimeout, minimumAutoLockTimeout);
    in.lookAwayGrace = effectiveLookAwayDownGrace();
    in.bodyPresenceGrace = std::max(c.bodyPresenceLockGrace, minimumDeskPresenceLockGrace);
    in.minMissingSamples = c.minMissingSamples;
    in.bodyPoseLockAssistEnabled = c.bodyPoseLockAssistEnabled;
    in.remoteControlActive = remoteControlActive();
    in.suppressAutoLockDuringRemoteSession = c.suppressAutoLockDuringRemoteSession;
    in.onCall = onCall();
    in.suppressLockDuringCalls = c.suppressLockDuringCalls;
    in.hasIndependentAwayEvidence = hasIndependentAwayEvidence(at);
    in.watchGateAllowsLock = shouldAllowWatchGate();
    in.autoLockEnabled = autoLockEnabled();
    in.screenLockingEnabled = c.screenLockingEnabled;
    in.cameraBusy = false;
    in.busySignalAge = 0;
    in.busySignalMissing = true;
    in.busySignalGrace = 8;
    in.knownFacePresent = knownFacePresent_;
    in.requireKnownFaceForPresence = c.requireKnownFaceForPresence;
    return in;
}

void VigilorMonitor::evaluateCameraRules(Date at) {
    using Kind = ZorviPresenceVerdict::Kind;
    if (facePresent()) {
        lockedForCurrentAbsence_ = false;
        setIfChanged(decision, std::string(autoLockEnabled() ? "Armed, but present" : "Coaching: present"));
        return;
    }
    const ZorviPresenceVerdict verdict = ZorviLockDecision::evaluate(presenceInputs(at));
    std::string text;
    switch (verdict.kind) {
    case Kind::present:
        lockedForCurrentAbsence_ = false;
        text = verdict.reason == ZorviPresenceReason::faceTurned ? "Present \u2014 face turned"
                                                                 : "Present \u2014 body pose unclear";
        break;
    case Kind::waiting:
        text = faceMissingText(verdict.secondsLeft);
        break;
    case Kind::waitingForSustainedNoFace:
        text = "Waiting for sustained no-face";
        break;
    case Kind::suppressedScreenSharing:
        text = "Suppressed: Screen Sharing";
        break;
    case Kind::suppressedOnCall:
        text = "Suppressed: On a call";
        break;
    case Kind::suppressedWatchNear:
        text = "Suppressed: Watch near";
        break;
    case Kind::wouldLockAutoLockOff:
        text = "Would lock: face + Watch away";
        break;
    case Kind::wouldLockLockingDisabled:
        if (!lockedForCurrentAbsence_) {
            lockedForCurrentAbsence_ = true;
            appendLockEvent("Auto lock suppressed: Zorvi locking is disabled");
            append("Auto lock suppressed: locking disabled");
        }
        text = "Would lock, but locking is disabled";
        break;
    case Kind::lock:
        if (!lockForCurrentAbsence("Auto-lock triggered", "Auto"))
            return;
        text = "Locked";
        break;
    }
    setIfChanged(decision, text);
}

// While the camera cannot deliver frames, only the Bluetooth companion can tell that the user left; the
// absence is measured from when it stopped counting as near.
void VigilorMonitor::evaluateCameraBusyRules(Date at) {
    const VigilorConfig& c = config();
    const std::string kind = companionWordCapitalised();
    if (!bluetoothPresenceEnabled() || isBluetoothUnavailable()) {
        setIfChanged(decision, std::string("Camera busy \u2014 assuming present"));
        return;
    }
    if (!lastWatchSeen_) {
        setIfChanged(decision, "Camera busy \u2014 learning " + kind);
        return;
    }
    if (watchPresent()) {
        lockedForCurrentAbsence_ = false;
        setIfChanged(decision, "Camera busy \u2014 " + kind + " near");
        return;
    }
    if (remoteControlActive() && c.suppressAutoLockDuringRemoteSession) {
        setIfChanged(decision, std::string("Camera busy \u2014 Screen Sharing"));
        return;
    }
    const bool lockDue =
        autoLockEnabled() && c.screenLockingEnabled && !lockedForCurrentAbsence_ && shouldAllowWatchGate() &&
        inputIdleSeconds() >= c.activeInputGrace &&
        at.timeIntervalSince(companionAwaySince()) >= std::max(c.lockTimeout, minimumAutoLockTimeout);
    if (lockDue) {
        if (lockForCurrentAbsence("Auto-lock (camera busy, " + kind + " away)", "Auto-" + kind))
            setIfChanged(decision, "Locked \u2014 camera busy, " + kind + " away");
        return;
    }
    setIfChanged(decision, "Camera busy \u2014 " + kind + " away");
}
