// The 0.5 s decision tick: publish the presence figures, update the coaching, then decide.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <utility>

void VigilorMonitor::evaluateDecision() {
    if (isPaused())
        return;
    const Date at = now();
    companion_->refresh(at);
    const double idle = secondsSinceLastUserInput();
    setIfChanged(inputIdleSeconds_, roundedToHalf(idle));
    camera_.tick(at, idle);
    setIfChanged(remoteControlActive_, detectRemoteControlActive(at));
    updateWellness(at);

    const ZorviPresenceInputs inputs = presenceInputs(at);
    actOnVerdict(inputs, ZorviLockDecision::evaluate(inputs));
    camera_.refreshFrameInputs();
}

// Every rule set reads its own fields; filling them all costs a few comparisons.
ZorviPresenceInputs VigilorMonitor::presenceInputs(Date at) const {
    const VigilorConfig& c = config();
    ZorviPresenceInputs in;
    in.secondsSinceFace = camera_.secondsSinceFace();
    in.secondsSinceDeskPresence = at.timeIntervalSince(camera_.lastDeskPresenceSeen());
    in.secondsSinceUnclearDeskPresence = at.timeIntervalSince(camera_.lastUnclearDeskPresenceSeen());
    in.missingFaceSamples = camera_.missingFaceSamples();
    in.lockTimeout = std::max(c.lockTimeout, minimumAutoLockTimeout);
    in.lookAwayGrace = effectiveLookAwayDownGrace();
    in.bodyPresenceGrace = std::max(c.bodyPresenceLockGrace, CameraPresence::minimumDeskPresenceLockGrace);
    in.minMissingSamples = c.minMissingSamples;
    in.bodyPoseLockAssistEnabled = c.bodyPoseLockAssistEnabled;
    in.remoteControlActive = remoteControlActive();
    in.suppressAutoLockDuringRemoteSession = c.suppressAutoLockDuringRemoteSession;
    in.onCall = callDetector_->onCall();
    in.suppressLockDuringCalls = c.suppressLockDuringCalls;
    in.hasIndependentAwayEvidence = companion_->hasIndependentAwayEvidence(at);
    in.watchGateAllowsLock = companion_->allowsWatchGate(at);
    in.autoLockEnabled = autoLockEnabled();
    in.screenLockingEnabled = c.screenLockingEnabled;
    in.knownFacePresent = camera_.knownFacePresent();
    in.requireKnownFaceForPresence = c.requireKnownFaceForPresence;
    in.facePresent = camera_.facePresent();
    in.cameraBlocked = !camera_.cameraDeliversFrames(at);
    in.cameraBusy = camera_.cameraInterrupted();
    in.cameraPresenceEnabled = c.cameraPresenceEnabled;
    const CompanionPresence& companion = *companion_;
    in.bluetoothPresenceEnabled = companion.bluetoothPresenceEnabled();
    in.bluetoothState = companion.bluetoothState();
    in.companionSeen = companion.seen();
    in.companionNear = companion.watchPresent();
    in.companionAwaySeconds = companion.seen() ? at.timeIntervalSince(companion.awaySince()) : 0;
    in.companionMode = c.bluetoothPresenceMode;
    in.watchGrace = c.watchGrace;
    in.inputIdleSeconds = inputIdleSeconds();
    in.activeInputGrace = c.activeInputGrace;
    in.lockerAvailable = sessionHasScreenLocker_ != false;
    in.lockedForCurrentAbsence = lockedForCurrentAbsence_ && !lockAttempt_.retryDue(at);
    in.lockProgress = lockAttempt_.progress();
    return in;
}

// The verdict's text is published, except while the lock call of this absence is under way: its
// result decides, as when a failed lock leaves the text as it was.
void VigilorMonitor::actOnVerdict(const ZorviPresenceInputs& in, const ZorviPresenceVerdict& verdict) {
    using Kind = ZorviPresenceVerdict::Kind;
    lastVerdict_ = {in, verdict};
    const std::string text = ZorviLockDecision::words(in, verdict).decision;
    switch (verdict.kind) {
    case Kind::present:
        presenceSeenAgain();
        break;
    case Kind::wouldLockLockingDisabled:
        // Said once per absence, and only by the camera rules.
        if (ZorviLockDecision::ruleSet(in) == ZorviRuleSet::camera && !lockedForCurrentAbsence_) {
            lockedForCurrentAbsence_ = true;
            log_.appendLockEvent("Auto lock suppressed: Zorvi locking is disabled");
            log_.append("Auto lock suppressed: locking disabled");
        }
        break;
    case Kind::lock:
        // A session that a locker holds locked already is not asked again.
        if (lockAttempt_.locked()) {
            lockedForCurrentAbsence_ = true;
            break;
        }
        if (!lockAttempt_.asking())
            lockForCurrentAbsence(ZorviLockDecision::lockCall(in), verdict);
        return;
    case Kind::locked:
        if (lockAttempt_.asking())
            return;
        break;
    default:
        break;
    }
    publishDecision(verdict.kind, text);
}

// Each new decision goes to the lock-event log (see the constructor), but a countdown only as it starts:
// its every step would be a line twice a second.
void VigilorMonitor::publishDecision(ZorviPresenceVerdict::Kind kind, const std::string& text) {
    using Kind = ZorviPresenceVerdict::Kind;
    countdownGoesOn_ = kind == Kind::waiting && publishedVerdictKind_ == Kind::waiting;
    publishedVerdictKind_ = kind;
    setIfChanged(decision_, text);
    countdownGoesOn_ = false;
}

void VigilorMonitor::presenceSeenAgain() {
    lockedForCurrentAbsence_ = false;
    relockingAfterLoss_ = false;
    ++presenceSightings_;
}

// Acts on a lock verdict once per absence: the latch is set before the call and cleared again when it
// fails, so that the next tick tries again. The decision says "Locked" only once a locker has said so,
// and that the lock failed while no locker takes it. The first failure of an absence is logged; the retries
// that follow stay quiet unless one succeeds. A lock that no locker confirmed is asked for again once
// the wait for its confirmation has passed a second time (unconfirmedLockDue), each attempt logged.
void VigilorMonitor::lockForCurrentAbsence(const ZorviLockCall& call, const ZorviPresenceVerdict& verdict) {
    lockedForCurrentAbsence_ = true;
    const bool retry = lockAttempt_.stage() == LockAttempt::Stage::failed;
    if (!retry)
        log_.append(call.activityLine);
    const auto completion = [weak = weakSelf(), sightings = presenceSightings_, verdict](bool started) {
        auto self = weak.lock();
        if (!self || self->presenceSightings_ != sightings) // the user came back meanwhile
            return;
        self->lockedForCurrentAbsence_ = started;
        if (std::exchange(self->relockingAfterLoss_, false) && !started)
            self->postLockLostNotice("Zorvi could not lock this computer again",
                                     "No screen locker took the request; the session stays open.");
        // Awaited, unless a locker has confirmed the lock already; or failed, while the retries go on.
        const ZorviPresenceInputs now = self->presenceInputs(self->now());
        self->lastVerdict_ = {now, verdict};
        self->publishDecision(verdict.kind, ZorviLockDecision::words(now, verdict).decision);
    };
    lockScreen(call.source, completion, retry);
}
