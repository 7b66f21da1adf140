// Locking the session, confirming who locked it, the feedback for our own locks, and the return.
#include "VigilorMonitor.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/Iso8601.h"
#include "Foundation/LocalCalendar.h"
#include "Foundation/Rounding.h"
#include "Foundation/SystemLog.h"
#include "Foundation/Text.h"
#include "Foundation/Timer.h"
#include "Foundation/Url.h"
#include "Platform/SessionEvents.h"
#include "Platform/UserNotifications.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/DurationText.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/PresenceGuard.h"
#include "Vigilor/Monitor/RelayBridge.h"
#include "Vigilor/Monitor/VigilorMonitorAttemptOutputs.h"

#include <algorithm>
#include <utility>

namespace {

// What the coaching did with a locked absence, in the welcome's sentence and the lock log's clause.
struct AwayCreditWords {
    const char* sentence; // of the welcome-back notification, after its first sentence
    const char* clause;   // of the lock log's welcome-back line
};
const AwayCreditWords& awayCreditWords(BreakCoach::AwayCredit credit) {
    static constexpr AwayCreditWords words[] = {
        {"", ""},
        {" Your movement break is reset.", "; movement break reset"},
        {" Your eye break is reset.", "; eye break reset"},
        {" Your eye and movement breaks are reset.", "; eye + movement breaks reset"},
    };
    return words[(credit.eyeBreakReset ? 2 : 0) + (credit.walkBreakReset ? 1 : 0)];
}

} // namespace

void VigilorMonitor::lockNow() {
    if (!config().screenLockingEnabled) {
        log_->appendLockEvent("Manual lock blocked: Zorvi locking is disabled");
        log_->append("Manual lock blocked: locking disabled");
        return;
    }
    log_->append("Manual lock requested");
    guard_->userAskedForLock("Manual");
    lockScreen("Manual", {}, false, LockAttempt::Requester::user);
}

void VigilorMonitor::lockScreen(const std::string& source, LockCompletion completion, bool quiet) {
    lockScreen(source, std::move(completion), quiet, LockAttempt::Requester::absence);
}

// Refusals that need no locker are said here; everything else is the lock attempt's.
void VigilorMonitor::lockScreen(const std::string& source, LockCompletion completion, bool quiet,
                                LockRequester who) {
    const auto refuse = [&](const std::string& lockLogLine) {
        if (!quiet)
            log_->appendLockEvent(lockLogLine);
        lockAttempt_->refused(now(), quiet);
        if (completion)
            completion(false);
    };
    if (sessionHasScreenLocker_ == false)
        return refuse(noScreenLockerText);
    lockAttempt_->request(source, who, now(), quiet, std::move(completion));
}

// The lockers are asked on a queue of their own, which reports back to the main thread: a locker that
// takes its time (or never answers) holds up no tick.
void VigilorMonitor::AttemptOutputs::askLockers(const std::string&) {
    if (m_.sessionWillLock_)
        m_.sessionWillLock_();
    const auto& queue = m_.lockQueue();
    // The work keeps the queue alive, so a monitor that goes meanwhile does not wait for the lockers.
    queue->async([queue, locker = m_.services_.sessionLocker, weak = m_.weakSelf()] {
        SessionLockAttempt answer = locker->lockSession();
        DispatchQueue::main().async([weak, answer = std::move(answer)] {
            if (auto self = weak.lock())
                self->lockAttempt_->lockersAnswered(answer, self->now());
        });
    });
}

void VigilorMonitor::AttemptOutputs::armConfirmationTimeout(double seconds) {
    cancelConfirmationTimeout();
    m_.lockAttemptTimer_ = Timer::scheduled(seconds, false, [weak = m_.weakSelf()] {
        if (auto self = weak.lock()) {
            self->lockAttemptTimer_.reset();
            self->lockWaitRanOut();
        }
    });
}

// The answer is for the request whose wait ran out, not for one asked meanwhile.
void VigilorMonitor::lockWaitRanOut() {
    const std::shared_ptr<InputGrabProbe> probe = services_.inputGrabs;
    if (!probe)
        return lockAttempt_->confirmationTimedOut(now(), std::nullopt);
    if (!grabProbeQueue_)
        grabProbeQueue_ = std::make_shared<DispatchQueue>("Vigilor.input-grab");
    const std::optional<Date> asked = lockAttempt_->requestedAt();
    grabProbeQueue_->async([queue = grabProbeQueue_, probe, weak = weakSelf(), asked] {
        const std::optional<HeldInput> held = probe->heldInput();
        DispatchQueue::main().async([weak, held, asked] {
            if (auto self = weak.lock(); self && self->lockAttempt_->requestedAt() == asked)
                self->lockAttempt_->confirmationTimedOut(self->now(), held);
        });
    });
}

void VigilorMonitor::AttemptOutputs::cancelConfirmationTimeout() {
    if (m_.lockAttemptTimer_)
        m_.lockAttemptTimer_->invalidate();
    m_.lockAttemptTimer_.reset();
}

void VigilorMonitor::AttemptOutputs::activityLog(const std::string& line) {
    m_.log_->append(line);
}

void VigilorMonitor::AttemptOutputs::lockLog(const std::string& line) {
    m_.log_->appendLockEvent(line);
}

void VigilorMonitor::AttemptOutputs::statusEvent(RelayEvent event, const std::string& source) {
    m_.relay_->sendStatusEvent(event, source);
}

// The displays go dark only once the session is known to be locked: a lock that did not happen must not
// leave a dark, open screen.
void VigilorMonitor::AttemptOutputs::ownLockConfirmed(const std::string& source, Date lockedAt) {
    m_.deliverLockedFeedback(source, lockedAt);
    const auto& queue = m_.lockQueue();
    queue->async([queue, locker = m_.services_.sessionLocker] { locker->sleepDisplays(); });
}

void VigilorMonitor::AttemptOutputs::sessionLocked() {
    m_.sessionTookLock();
}

void VigilorMonitor::AttemptOutputs::sessionOpened(const LockAttempt::Opening& opening) {
    m_.sessionOpened(opening);
}

const std::shared_ptr<DispatchQueue>& VigilorMonitor::lockQueue() {
    if (!lockQueue_)
        lockQueue_ = std::make_shared<DispatchQueue>("Vigilor.lock");
    return lockQueue_;
}

// Said once when the session turns out to have no locker, and again only if it loses every locker later.
void VigilorMonitor::sessionLockersChanged(bool hasScreenLocker) {
    if (std::exchange(sessionHasScreenLocker_, hasScreenLocker) == hasScreenLocker || hasScreenLocker)
        return;
    systemLog("session", noScreenLockerText);
    log_->append(noScreenLockerText);
}

// Whoever locked it, the session is locked: the break prompts go, and a remote command that asked for
// the lock has it.
void VigilorMonitor::sessionTookLock() {
    breaks_->sessionLocked();
    relay_->sessionLocked();
}

void VigilorMonitor::deliverLockedFeedback(const std::string& source, Date lockedAt) {
    if (lastLockFeedbackAt_ && lockedAt.timeIntervalSince(*lastLockFeedbackAt_) < 10)
        return;
    lastLockFeedbackAt_ = lockedAt;
    relay_->sendStatusEvent(RelayEvent::locked, source);
    if (config().notifyWhenComputerLocks)
        deliverLockedNotification(source, lockedAt);
    const std::string webhook(trimmed(config().lockNotificationWebhookURL));
    if (!webhook.empty())
        postLockedWebhook(webhook, source, lockedAt);
}

// The desktop's notification service grants or refuses as a whole; a refusal with a reason is logged,
// a plain refusal is not.
void VigilorMonitor::deliverLockedNotification(const std::string& source, Date lockedAt) {
    services_.notifications->requestAuthorization(
        [weak = weakSelf(), source, lockedAt](bool granted, std::optional<std::string> error) {
            DispatchQueue::main().async([=] {
                auto self = weak.lock();
                if (!self)
                    return;
                if (granted)
                    self->addLockedNotification(source, lockedAt);
                else if (error)
                    self->log_->append("Lock notification setup failed: " + *error);
            });
        });
}

void VigilorMonitor::addLockedNotification(const std::string& source, Date lockedAt) {
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
                self->log_->append("Lock notification failed: " + *error);
        });
    });
}

void VigilorMonitor::sessionDidResignActive() {
    lockAttempt_->sessionLocked(now(), systemScreenLockedAt());
}

void VigilorMonitor::sessionDidBecomeActive() {
    lockAttempt_->sessionUnlocked(now());
}

void VigilorMonitor::sessionLockLost() {
    lockAttempt_->lockLost(now());
}

// Whoever unlocked is at the keyboard: the absence is over, the latch is armed again for the next one,
// and its clock starts now, so that a session unlocked while the camera sees no one locks again only
// after the lock timeout. A locker that went away unlocked nothing: the absence goes on, and unless the
// user is back the decision asks for the lock again at its next tick.
void VigilorMonitor::sessionOpened(const LockAttempt::Opening& opening) {
    const Date at = now();
    if (opening.lost) {
        guard_->sessionOpened(true);
        postLockLostNotice("Screen locker stopped",
                           "The screen locker stopped while your session was locked.");
    } else {
        guard_->sessionOpened(false);
        // A lock whose start nobody told lasted at least since it was seen: credited as that, told
        // without a duration.
        const std::optional<Date> from = opening.lockedAt ? opening.lockedAt : opening.seenLockedAt;
        const double away = from ? at.timeIntervalSince(*from) : 0;
        if (away >= LockAttempt::minimumCreditedLock)
            creditAwayAfterLock(at, away, opening.lockedAt.has_value(), opening.wasZorvisLock);
        camera_->resetFaceAge(at);
    }
    relay_->sessionOpened();
}

void VigilorMonitor::postLockLostNotice(const std::string& title, const std::string& body) {
    NotificationRequest request;
    request.identifier = "app.zorvi.locklost";
    request.title = title;
    request.body = body;
    services_.notifications->add(request, {});
}

void VigilorMonitor::creditAwayAfterLock(Date returnedAt, double awaySeconds, bool durationKnown,
                                         bool zorvisLock) {
    const AwayCreditWords& credited = awayCreditWords(breaks_->creditLockedAbsence(returnedAt, awaySeconds));
    camera_->resetFaceAge(returnedAt);
    const std::optional<double> away = durationKnown ? std::optional(awaySeconds) : std::nullopt;
    postWelcomeBack(away, zorvisLock, credited.sentence);
    log_->appendLockEvent("Welcome back \u2014 " +
                         (away ? "locked away " + formatDuration(*away)
                               : std::string("the screen locker did not tell how long it was locked")) +
                         credited.clause);
}

// Only a lock that Zorvi made was kept by Zorvi; a duration only where the lock's start is known.
void VigilorMonitor::postWelcomeBack(std::optional<double> awaySeconds, bool zorvisLock,
                                     const char* creditSentence) {
    breaks_->celebrate("Welcome back");
    NotificationRequest request;
    request.identifier = "app.zorvi.welcomeback";
    request.title = "Welcome back";
    if (!awaySeconds)
        request.body = "You were away while the screen was locked.";
    else if (zorvisLock)
        request.body =
            "Zorvi kept your computer locked for " + formatDuration(*awaySeconds) + " while you were away.";
    else
        request.body = "You were away for " + formatDuration(*awaySeconds) + ".";
    request.body += creditSentence;
    services_.notifications->add(request, {});
}

void VigilorMonitor::screensDidSleep() {
    log_->appendLockEvent("Display slept");
    relay_->sendStatusEvent(RelayEvent::displaySlept, "System");
    camera_->displaySlept();
}

void VigilorMonitor::screensDidWake() {
    log_->appendLockEvent("Display woke");
    relay_->sendStatusEvent(RelayEvent::displayWoke, "System");
    camera_->displayWoke();
}
