// Locking the session, confirming who locked it, the feedback for our own locks, and the return.
#include "VigilorMonitor.h"

#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/Rounding.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Foundation/Url.h"

#include <algorithm>
#include <utility>

void VigilorMonitor::lockNow() {
    if (!config().screenLockingEnabled) {
        appendLockEvent("Manual lock blocked: Zorvi locking is disabled");
        append("Manual lock blocked: locking disabled");
        return;
    }
    append("Manual lock requested");
    lockScreen("Manual");
}

// The request is recorded at once, so that a lock the session reports while the lockers are still asked
// is attributed to it; they are asked on a queue of their own, which reports back here.
void VigilorMonitor::lockScreen(const std::string& source, LockCompletion completion, bool quiet) {
    const auto refuse = [&](const std::string& lockLogLine) {
        if (!quiet)
            appendLockEvent(lockLogLine);
        if (completion)
            completion(false);
    };
    if (!lockingAvailable_)
        return refuse(
            "Lock skipped: locking is unavailable in this build (its sandbox cannot lock the session)");
    if (lockAttemptInProgress_ || lockRequestRunning_)
        return refuse("Lock request dropped: lock attempt already in progress");
    if (sessionHasScreenLocker_ == false)
        return refuse(noScreenLockerText);
    const LockRequest request{source, now(), lastZorviLockRequestAt_, lastZorviLockSource_, quiet};
    lastZorviLockRequestAt_ = request.requestedAt;
    lastZorviLockSource_ = source;
    lockRequestRunning_ = true;
    if (sessionWillLock)
        sessionWillLock();
    if (!lockQueue_)
        lockQueue_ = std::make_shared<DispatchQueue>("Vigilor.lock");
    // The work keeps the queue alive, so a monitor that goes meanwhile does not wait for the lockers.
    lockQueue_->async([queue = lockQueue_, locker = services_.sessionLocker, weak = weakSelf(), request,
                       completion = std::move(completion)]() mutable {
        SessionLockAttempt attempt = locker->lockSession();
        // The completion belongs to the main thread, and goes there whole.
        DispatchQueue::main().async(
            [weak, request, attempt = std::move(attempt), completion = std::move(completion)] {
                if (auto self = weak.lock())
                    self->finishLockRequest(request, attempt, completion);
            });
    });
}

void VigilorMonitor::finishLockRequest(const LockRequest& request, const SessionLockAttempt& attempt,
                                       const LockCompletion& completion) {
    lockRequestRunning_ = false;
    const bool worked = attempt.method.has_value();
    if (worked || !request.quiet) {
        for (const std::string& failure : attempt.failures)
            append(failure);
        if (worked) {
            append("Lock invoked: " + *attempt.method);
            appendLockEvent("Zorvi requested " + asciiLowercased(request.source) + " lock via " + *attempt.method);
        }
    }
    if (!worked) {
        // Unless an unlock has reset them meanwhile.
        if (lastZorviLockRequestAt_ == request.requestedAt && lastZorviLockSource_ == request.source) {
            lastZorviLockRequestAt_ = request.previousRequestAt;
            lastZorviLockSource_ = request.previousSource;
        }
        // Said where the lock was asked for too: the dashboard shows the lock log.
        if (!request.quiet) {
            append("Lock failed: no method worked");
            appendLockEvent(request.source + " lock failed: no screen locker took the request");
            lockFailedAt_ = now();
        }
    } else {
        // A lock that a locker confirmed while the lockers were asked has ended the attempt already.
        if (!screenLocked_)
            scheduleLockAttemptTimeout();
        sendStatusEvent("lock_invoked", request.source, now());
    }
    if (const auto lockedAt = std::exchange(ownLockConfirmedDuringRequest_, std::nullopt))
        announceOwnLock(request.source, *lockedAt, false);
    if (completion)
        completion(worked);
}

bool VigilorMonitor::systemReportsScreenLocked() const {
    const auto state = services_.sessionLockState->current();
    return state && state->screenIsLocked;
}

// The retries of an absence whose lock failed are no lock awaited.
ZorviLockProgress VigilorMonitor::lockProgress() const {
    if (screenLocked_)
        return ZorviLockProgress::locked;
    if (lockAttemptInProgress_ || (lockRequestRunning_ && !absenceLockFailed_))
        return ZorviLockProgress::awaited;
    return absenceLockFailed_ ? ZorviLockProgress::failed : ZorviLockProgress::unconfirmed;
}

bool VigilorMonitor::autoLockLacksScreenLocker() const {
    return sessionHasScreenLocker_ == false && autoLockEnabled() && lockingAvailable_ &&
           config().screenLockingEnabled;
}

// In the words of the decision's lock states, so that the two agree; a failed request that was no part
// of an absence (the user's "Lock Now") is told for as long as a request waits for its confirmation.
std::optional<std::string> VigilorMonitor::sessionLockReason() const {
    const ZorviLockProgress progress = lockProgress();
    if (progress == ZorviLockProgress::awaited)
        return "Locking\u2026 waiting for the screen locker to confirm the lock.";
    if (autoLockLacksScreenLocker())
        return std::string(noScreenLockerText) + ".";
    if (progress == ZorviLockProgress::failed || lockFailedRecently(now()))
        return "Lock failed: no screen locker took the request.";
    if (progress == ZorviLockProgress::unconfirmed && absenceLockUnconfirmedAt_)
        return "Lock requested, not confirmed: Zorvi asks the screen locker again.";
    return std::nullopt;
}

bool VigilorMonitor::lockFailedRecently(Date at) const {
    const double age = lockFailedAt_ ? at.timeIntervalSince(*lockFailedAt_) : -1;
    return age >= 0 && age < activeLockRequestWindow;
}

// The next lock of an absence whose lock went unconfirmed is asked for once a locker has had as long
// again to confirm it (a clock set back counts as the wait over).
bool VigilorMonitor::unconfirmedLockDue(Date at) const {
    if (!absenceLockUnconfirmedAt_)
        return false;
    const double waited = at.timeIntervalSince(*absenceLockUnconfirmedAt_);
    return waited < 0 || waited >= activeLockRequestWindow;
}

// Said once when the session turns out to have no locker, and again only if it loses every locker later.
void VigilorMonitor::sessionLockersChanged(bool hasScreenLocker) {
    if (std::exchange(sessionHasScreenLocker_, hasScreenLocker) == hasScreenLocker || hasScreenLocker)
        return;
    systemLog("session", noScreenLockerText);
    append(noScreenLockerText);
}

void VigilorMonitor::confirmScreenLocked(Date at, const std::string& eventSource,
                                         bool appendSystemEventWhenNotZorvi) {
    // Publishing "locked" takes a snapshot, whose lock-state probe would confirm this same lock again.
    if (confirmingScreenLock_)
        return;
    confirmingScreenLock_ = true;
    const bool wasLocked = screenLocked_;
    if (lockAttemptTimer_)
        lockAttemptTimer_->invalidate();
    lockAttemptTimer_.reset();
    lockAttemptInProgress_ = false;
    screenLocked_ = true;
    if (!screenLockedAt_)
        screenLockedAt_ = systemScreenLockedAt().value_or(at);
    if (breakHUDVisible())
        breakHUDVisible = false;
    clearBreakNotification("app.zorvi.break.eye");
    clearBreakNotification("app.zorvi.break.walk");
    eyeBreakDueNotified_ = false;
    walkBreakDueNotified_ = false;

    // A request in the future also counts: the clock may have been set back.
    const bool ownLock =
        lastZorviLockRequestAt_ && at.timeIntervalSince(*lastZorviLockRequestAt_) <= activeLockRequestWindow;
    absenceLockUnconfirmedAt_.reset();
    if (ownLock) {
        // A locker may confirm before it answers the request (MATE's never answers): the request is
        // logged first, and the confirmation follows it.
        if (!wasLocked && lockRequestRunning_)
            ownLockConfirmedDuringRequest_ = at;
        else
            announceOwnLock(lastZorviLockSource_, at, wasLocked);
    } else {
        if (!wasLocked && appendSystemEventWhenNotZorvi)
            appendLockEvent("Screen locked by the system, user, or idle policy");
        sendStatusEvent("locked", eventSource, now());
    }
    confirmPendingRemoteLock();
    confirmingScreenLock_ = false;
}

void VigilorMonitor::announceOwnLock(const std::string& source, Date lockedAt, bool wasLocked) {
    if (!wasLocked)
        appendLockEvent("Screen locked by Zorvi (" + source + ")");
    deliverMacLockedFeedback(source, lockedAt);
}

void VigilorMonitor::deliverMacLockedFeedback(const std::string& source, Date lockedAt) {
    if (lastLockFeedbackAt_ && lockedAt.timeIntervalSince(*lastLockFeedbackAt_) < 10)
        return;
    lastLockFeedbackAt_ = lockedAt;
    sendStatusEvent("locked", source, now());
    if (config().notifyWhenMacLocks)
        deliverMacLockedNotification(source, lockedAt);
    const std::string webhook(trimmed(config().lockNotificationWebhookURL));
    if (!webhook.empty())
        postMacLockedWebhook(webhook, source, lockedAt);
}

// The desktop's notification service grants or refuses as a whole; a refusal with a reason is logged,
// a plain refusal is not.
void VigilorMonitor::deliverMacLockedNotification(const std::string& source, Date lockedAt) {
    services_.notifications->requestAuthorization(
        [weak = weakSelf(), source, lockedAt](bool granted, std::optional<std::string> error) {
            DispatchQueue::main().async([=] {
                auto self = weak.lock();
                if (!self)
                    return;
                if (granted)
                    self->addMacLockedNotification(source, lockedAt);
                else if (error)
                    self->append("Lock notification setup failed: " + *error);
            });
        });
}

void VigilorMonitor::addMacLockedNotification(const std::string& source, Date lockedAt) {
    NotificationRequest request;
    request.identifier = "app.zorvi.maclocked";
    request.title = "Screen locked";
    request.body =
        "Zorvi locked this computer via " + source + " at " + LocalCalendar::timeText(lockedAt, false) + ".";
    services_.notifications->add(request, [weak = weakSelf()](std::optional<std::string> error) {
        if (!error)
            return;
        DispatchQueue::main().async([weak, error] {
            if (auto self = weak.lock())
                self->append("Lock notification failed: " + *error);
        });
    });
}

void VigilorMonitor::sessionDidResignActive() {
    confirmScreenLocked(now(), "System", true);
}

// Whoever unlocked is at the keyboard: the absence is over, the latch is armed again for the next one,
// and its clock starts now, so that a session unlocked while the camera sees no one locks again only
// after the lock timeout.
void VigilorMonitor::sessionDidBecomeActive() {
    if (const auto lockedAt = std::exchange(ownLockConfirmedDuringRequest_, std::nullopt))
        announceOwnLock(lastZorviLockSource_, *lockedAt, false); // the lock came before its unlock
    appendLockEvent("Screen unlocked");
    presenceSeenAgain();
    screenLocked_ = false;
    if (lockAttemptTimer_)
        lockAttemptTimer_->invalidate();
    lockAttemptTimer_.reset();
    lockAttemptInProgress_ = false;
    const Date at = now();
    const std::optional<Date> lockedAt = screenLockedAt_ ? screenLockedAt_ : lastZorviLockRequestAt_;
    if (lockedAt && at.timeIntervalSince(*lockedAt) >= 5)
        creditAwayAfterLock(at, at.timeIntervalSince(*lockedAt));
    lastFaceSeen_ = at;
    screenLockedAt_.reset();
    lastZorviLockRequestAt_.reset();
    lastZorviLockSource_ = "Zorvi";
    pendingRemoteLockCommand_.reset();
    if (remoteLockConfirmationTimer_)
        remoteLockConfirmationTimer_->invalidate();
    remoteLockConfirmationTimer_.reset();
    sendStatusEvent("unlocked", "System", now());
}

// One absence is credited once: the wellness tick keeps running while the session is locked and may
// already have recorded this absence's eye rest or walk.
void VigilorMonitor::creditAwayAfterLock(Date returnedAt, double awaySeconds) {
    const VigilorConfig& c = config();
    const Date lockedAt = returnedAt.addingTimeInterval(-awaySeconds);
    const bool walkAlreadyCredited =
        std::any_of(wellnessLedger().begin(), wellnessLedger().end(), [&](const auto& e) {
            return e.kind == WellnessEventKind::movementCredit && e.occurredAt >= lockedAt;
        });
    recordWellnessEvent(WellnessEventKind::lockAway, awaySeconds, returnedAt);
    if (c.eyeBreakEnabled && c.eyeBreakDuration <= awaySeconds && !recordedEyeBreakForAbsence_)
        recordWellnessEvent(WellnessEventKind::eyeRest, awaySeconds, returnedAt);
    if (c.eyeBreakEnabled) {
        setLastEyeBreakAt(returnedAt);
        eyeBreakDueNotified_ = false;
    }
    if (c.walkBreakEnabled && c.spontaneousWalkCreditDuration <= awaySeconds && !walkAlreadyCredited)
        resetMovementTimerAfterAway(returnedAt, awaySeconds);
    focusSessionStartedAt_ = returnedAt;
    lastFaceSeen_ = returnedAt;
    eyeRestStartedAt_.reset();
    movementStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakCompletedAt_.reset();
    setIfChanged(eyeRestRemaining, double(roundedInteger(c.eyeBreakDuration)));
    setIfChanged(isRestingNow, false);
    setIfChanged(breakHUDVisible, false);
    clearBreakNotification("app.zorvi.break.eye");
    clearBreakNotification("app.zorvi.break.walk");
    postWelcomeBack(awaySeconds);
    appendLockEvent("Welcome back \u2014 locked away " + formatDuration(awaySeconds) +
                    "; eye + movement breaks reset");
}

void VigilorMonitor::postWelcomeBack(double awaySeconds) {
    celebrate("Welcome back");
    NotificationRequest request;
    request.identifier = "app.zorvi.welcomeback";
    request.title = "Welcome back";
    request.body = "Zorvi kept your computer locked for " + formatDuration(awaySeconds) +
                   " while you were away. Your eye and movement breaks are reset.";
    services_.notifications->add(request, {});
}

// The session stays the monitor's; a low-power restart that falls due while the display sleeps leaves
// the camera off.
void VigilorMonitor::screensDidSleep() {
    appendLockEvent("Display slept");
    sendStatusEvent("display_slept", "System", now());
    displayAsleep_ = true;
    refreshFrameInputs();
    if (const auto session = captureSession())
        videoQueue_->post([session] { session->stopRunning(); });
}

// The camera comes back only where it is in use: in device-only mode it stays off.
void VigilorMonitor::screensDidWake() {
    appendLockEvent("Display woke");
    sendStatusEvent("display_woke", "System", now());
    displayAsleep_ = false;
    refreshFrameInputs();
    if (config().cameraPresenceEnabled && services_.camera->authorizationStatus() == CameraDevice::authorized)
        configureCamera();
}
