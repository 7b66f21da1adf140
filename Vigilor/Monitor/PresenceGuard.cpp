// The 0.5 s decision tick: publish the presence figures, update the coaching, then decide.
#include "PresenceGuard.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <utility>

PresenceGuard::PresenceGuard(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock,
                             Services services, ActivityLog& log, const Published<VigilorConfig>& config,
                             Components components, Requests requests)
    : lifetime_(std::move(lifetime))
    , clock_(clock)
    , services_(std::move(services))
    , log_(log)
    , config_(config)
    , components_(components)
    , requests_(std::move(requests))
    // Each new decision goes to the lock-event log, but a countdown only as it starts: its every step
    // would be a line twice a second.
    , decision_(owner, "Watching only",
                [this](const std::string& oldValue, const std::string& newValue) {
                    if (oldValue != newValue && !countdownGoesOn_)
                        ActivityLog::diagLog("decision: " + newValue, now());
                })
    , isPaused_(owner, false)
    , inputIdleSeconds_(owner, 0)
    , snoozeUntil_(owner, std::nullopt)
    , remoteControlActive_(owner, false) {}

void PresenceGuard::tick() {
    if (isPaused())
        return;
    const Date at = now();
    components_.companion.refresh(at);
    const double idle = knownInputIdleSeconds().value_or(unknownInputIdleSeconds);
    setIfChanged(inputIdleSeconds_, roundedToHalf(idle));
    components_.camera.tick(at, idle);
    setIfChanged(remoteControlActive_, detectRemoteControlActive(at));
    requests_.coach(at);
    tellRelockOutcome();

    const ZorviPresenceInputs inputs = presenceInputs(at);
    actOnVerdict(inputs, ZorviLockDecision::evaluate(inputs));
    components_.camera.refreshFrameInputs();
}

std::optional<double> PresenceGuard::knownInputIdleSeconds() const {
    return services_.inputIdle->secondsSinceLastInput();
}

double PresenceGuard::effectiveLookAwayDownGrace() const {
    const VigilorConfig& c = config_();
    return std::max(
        {minimumLookAwayDownGrace, c.lookAwayLockGrace, std::max(c.lockTimeout, minimumAutoLockTimeout)});
}

// Screen Sharing is looked for at most every 2 s; a clock set back looks again at once, where waiting
// for the old time to come round would keep a stale answer for as long as the clock went back.
bool PresenceGuard::detectRemoteControlActive(Date at) {
    const double sinceLastLook = at.timeIntervalSince(lastRemoteControlCheckAt_);
    if (sinceLastLook >= 0 && sinceLastLook < 2.0)
        return remoteControlActive();
    lastRemoteControlCheckAt_ = at;
    return services_.screenSharing->isScreenSharingActive();
}

// Every rule set reads its own fields; filling them all costs a few comparisons.
ZorviPresenceInputs PresenceGuard::presenceInputs(Date at) const {
    const VigilorConfig& c = config_();
    const CameraPresence& camera = components_.camera;
    const CompanionPresence& companion = components_.companion;
    const LockAttempt& lockAttempt = components_.lockAttempt;
    ZorviPresenceInputs in;
    in.secondsSinceFace = camera.secondsSinceFace();
    in.secondsSinceDeskPresence = at.timeIntervalSince(camera.lastDeskPresenceSeen());
    in.secondsSinceUnclearDeskPresence = at.timeIntervalSince(camera.lastUnclearDeskPresenceSeen());
    in.missingFaceSamples = camera.missingFaceSamples();
    in.lockTimeout = std::max(c.lockTimeout, minimumAutoLockTimeout);
    in.lookAwayGrace = effectiveLookAwayDownGrace();
    in.bodyPresenceGrace = CameraPresence::deskPresenceGrace(c);
    in.minMissingSamples = c.minMissingSamples;
    in.bodyPoseLockAssistEnabled = c.bodyPoseLockAssistEnabled;
    in.remoteControlActive = remoteControlActive();
    in.suppressAutoLockDuringRemoteSession = c.suppressAutoLockDuringRemoteSession;
    in.onCall = components_.calls.onCall();
    in.suppressLockDuringCalls = c.suppressLockDuringCalls;
    in.hasIndependentAwayEvidence = companion.hasIndependentAwayEvidence(at);
    in.watchGateAllowsLock = companion.allowsWatchGate(at);
    in.autoLockEnabled = c.autoLockEnabled;
    in.screenLockingEnabled = c.screenLockingEnabled;
    in.knownFacePresent = camera.knownFacePresent();
    in.requireKnownFaceForPresence = c.requireKnownFaceForPresence;
    in.facePresent = camera.facePresent();
    in.cameraBlocked = !camera.cameraDeliversFrames(at);
    in.cameraStarting = camera.cameraStarting(at);
    in.cameraBusy = camera.cameraInterrupted();
    in.cameraPresenceEnabled = c.cameraPresenceEnabled;
    in.bluetoothPresenceEnabled = companion.bluetoothPresenceEnabled();
    in.bluetoothState = companion.bluetoothState();
    in.companionSeen = companion.seen();
    in.companionNear = companion.watchPresent();
    in.companionAwaySeconds = companion.seen() ? at.timeIntervalSince(companion.awaySince()) : 0;
    in.companionMode = c.bluetoothPresenceMode;
    in.watchGrace = c.watchGrace;
    in.inputIdleSeconds = inputIdleSeconds();
    in.activeInputGrace = c.activeInputGrace;
    in.lockerAvailable = requests_.lockerAvailable();
    in.lockAbility = requests_.lockAbility();
    in.lockedForCurrentAbsence = lockedForCurrentAbsence_ && !lockAttempt.retryDue(at);
    in.lockProgress = lockAttempt.progress();
    return in;
}

// The verdict's text is published, except while the lock call of this absence is under way: its
// result decides, as when a failed lock leaves the text as it was.
void PresenceGuard::actOnVerdict(const ZorviPresenceInputs& in, const ZorviPresenceVerdict& verdict) {
    using Kind = ZorviPresenceVerdict::Kind;
    const LockAttempt& lockAttempt = components_.lockAttempt;
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
        if (lockAttempt.locked()) {
            lockedForCurrentAbsence_ = true;
            break;
        }
        if (!lockAttempt.asking())
            lockForCurrentAbsence(ZorviLockDecision::lockCall(in), verdict);
        return;
    case Kind::locked:
        if (lockAttempt.asking())
            return;
        break;
    default:
        break;
    }
    publishDecision(verdict.kind, text);
}

void PresenceGuard::publishDecision(ZorviPresenceVerdict::Kind kind, const std::string& text) {
    using Kind = ZorviPresenceVerdict::Kind;
    countdownGoesOn_ = kind == Kind::waiting && publishedVerdictKind_ == Kind::waiting;
    publishedVerdictKind_ = kind;
    setIfChanged(decision_, text);
    countdownGoesOn_ = false;
}

void PresenceGuard::presenceSeenAgain() {
    lockedForCurrentAbsence_ = false;
    relockingAfterLoss_ = false;
    userLockSource_.reset();
    ++presenceSightings_;
}

// A lock asked for again after the locker went away: the session locking ends the matter; a locker
// that took the request without locking is told, once (one that took none is told by the request).
void PresenceGuard::tellRelockOutcome() {
    const LockAttempt& lockAttempt = components_.lockAttempt;
    if (!relockingAfterLoss_)
        return;
    if (lockAttempt.locked()) {
        relockingAfterLoss_ = false;
    } else if (lockAttempt.stage() == LockAttempt::Stage::unconfirmed) {
        relockingAfterLoss_ = false;
        requests_.lockLostNotice("Zorvi could not lock this computer again",
                                 "The screen locker took the request, but the session did not lock.");
    }
}

// Whoever unlocked is at the keyboard: the absence is over and the latch is armed for the next one. A
// locker that went away unlocked nothing: the absence goes on, and the lock it asks for next is told.
void PresenceGuard::sessionOpened(bool lockerLost) {
    if (!lockerLost)
        presenceSeenAgain();
    else if (std::exchange(lockedForCurrentAbsence_, false))
        relockingAfterLoss_ = true;
}

// Acts on a lock verdict once per absence: the latch is set before the call and cleared again when it
// fails, so that the next tick tries again. The decision says "Locked" only once a locker has said so,
// and that the lock failed while no locker takes it. The first failure of an absence is logged; the retries
// that follow stay quiet unless one succeeds. A lock that no locker confirmed is asked for again
// LockAttempt::retryWait after it went unconfirmed (LockAttempt::retryDue), each attempt logged.
void PresenceGuard::lockForCurrentAbsence(const ZorviLockCall& call, const ZorviPresenceVerdict& verdict) {
    lockedForCurrentAbsence_ = true;
    const bool retry = components_.lockAttempt.stage() == LockAttempt::Stage::failed;
    if (!retry)
        log_.append(call.activityLine);
    const auto completion = [weak = lifetime_.weak(this), sightings = presenceSightings_, verdict](bool started) {
        auto self = weak.lock();
        if (!self || self->presenceSightings_ != sightings) // the user came back meanwhile
            return;
        self->lockedForCurrentAbsence_ = started;
        if (self->relockingAfterLoss_ && !started) {
            self->relockingAfterLoss_ = false;
            self->requests_.lockLostNotice("Zorvi could not lock this computer again",
                                           "No screen locker took the request.");
        }
        // Awaited, unless a locker has confirmed the lock already; or failed, while the retries go on.
        const ZorviPresenceInputs now = self->presenceInputs(self->now());
        self->lastVerdict_ = {now, verdict};
        self->publishDecision(verdict.kind, ZorviLockDecision::words(now, verdict).decision);
    };
    requests_.lock(userLockSource_.value_or(call.source), completion, retry);
}
