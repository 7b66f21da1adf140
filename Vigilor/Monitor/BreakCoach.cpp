#include "Vigilor/Monitor/BreakCoach.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/DurationText.h"

#include <algorithm>

namespace {

constexpr const char* eyeCategory = "app.zorvi.break.eye";
constexpr const char* walkCategory = "app.zorvi.break.walk";
constexpr const char* dismissAction = "app.zorvi.break.dismiss";
constexpr const char* skipWalkAction = "app.zorvi.break.skipWalk";
constexpr double eyeRestCompletionShown = 3;
constexpr double longestCreditedWalk = 1800;

bool isLater(const std::optional<Date>& time, Date than) {
    return time && *time > than;
}

} // namespace

bool BreakDueRule::eyeBreakDue(Date at) const {
    return eyeBreakEnabled && eyeBreakInterval <= at.timeIntervalSince(lastEyeBreakAt);
}

bool BreakDueRule::walkPromptDue(Date at) const {
    return walkBreakEnabled && walkBreakInterval <= at.timeIntervalSince(lastWalkBreakAt) &&
           !isLater(walkNudgeHiddenUntil, at);
}

BreakCoach::BreakCoach(ObservableObject& publisher, const Clock& clock, const Published<VigilorConfig>& config,
                       ActivityLog& log, WellnessHistory& history,
                       std::shared_ptr<UserNotificationCenter> notifications, std::shared_ptr<SoundPlayer> sounds,
                       Requests requests)
    : clock_(clock)
    , config_(config)
    , log_(log)
    , history_(history)
    , notifications_(std::move(notifications))
    , sounds_(std::move(sounds))
    , requests_(std::move(requests))
    , celebration_(publisher, std::nullopt)
    , breakHUDVisible_(publisher, false)
    , breakHUDKind_(publisher, BreakHUDKind::eye)
    , eyeRestRemaining_(publisher, 0)
    , isRestingNow_(publisher, false)
    , activePresenceSeconds_(publisher, 0) {
    focusSessionStartedAt_ = lastEyeBreakAt_ = lastWalkBreakAt_ = clock.now();
}

BreakDueRule BreakCoach::dueRule() const {
    const VigilorConfig& c = config();
    return {c.eyeBreakEnabled,   c.eyeBreakInterval, lastEyeBreakAt_,      c.walkBreakEnabled,
            c.walkBreakInterval, lastWalkBreakAt_,   walkNudgeHiddenUntil_};
}

void BreakCoach::setLastEyeBreakAt(Date at) {
    lastEyeBreakAt_ = at;
    if (anchorsRestored_)
        saveAnchors();
}

void BreakCoach::setLastWalkBreakAt(Date at) {
    lastWalkBreakAt_ = at;
    if (anchorsRestored_)
        saveAnchors();
}

void BreakCoach::saveAnchors() {
    Json anchors = Json::object();
    anchors["lastEyeBreakAt"] = JsonField::dateValue(lastEyeBreakAt_);
    anchors["lastWalkBreakAt"] = JsonField::dateValue(lastWalkBreakAt_);
    DefaultsStore::standard().set(breakAnchorsKey, std::move(anchors));
}

// Anchors younger than 12 hours survive a restart, each on its own; older ones, future ones and
// damaged values leave the start time. Both are written back at once.
void BreakCoach::restoreAnchors(Date at) {
    const auto stored = DefaultsStore::standard().value(breakAnchorsKey);
    if (stored && stored->is_object() && JsonField::has(*stored, "lastEyeBreakAt") &&
        JsonField::has(*stored, "lastWalkBreakAt")) {
        try {
            Date eye, walk;
            JsonField::read(*stored, "lastEyeBreakAt", eye);
            JsonField::read(*stored, "lastWalkBreakAt", walk);
            const auto fresh = [&](Date anchor) {
                const double age = at.timeIntervalSince(anchor);
                return age >= 0 && age <= 43'200;
            };
            if (fresh(eye))
                setLastEyeBreakAt(eye);
            if (fresh(walk))
                setLastWalkBreakAt(walk);
        } catch (const JsonDecodingError&) {
        }
    }
    anchorsRestored_ = true;
    saveAnchors();
}

// The notifications' buttons, and no nudge left over from an earlier run.
void BreakCoach::start() {
    const NotificationAction dismiss{dismissAction, "Dismiss"};
    const NotificationAction skipWalk{skipWalkAction, "Skip This Walk"};
    notifications_->setNotificationCategories({
        {eyeCategory, {dismiss}, true},
        {walkCategory, {skipWalk, dismiss}, true},
    });
    notifications_->setResponseHandler([weak = weak_from_this()](const NotificationResponse& response) {
        DispatchQueue::main().async([weak, response] {
            if (auto self = weak.lock())
                self->handleNotificationResponse(response);
        });
    });
    clearBreakNotification(eyeCategory);
    clearBreakNotification(walkCategory);
}

void BreakCoach::clearBreakNotification(const std::string& category) {
    notifications_->removeNotifications(
        {category == walkCategory ? "app.zorvi.break.walk.current" : "app.zorvi.break.eye.current"});
}

void BreakCoach::tick(Date at, const Desk& desk) {
    const VigilorConfig& c = config();
    const bool face = desk.face;
    const bool resting = face ? at.timeIntervalSince(lastEyeRestObservationAt_) <= eyeRestObservationFreshWindow
                              : (desk.away || desk.faceLongGone);
    if (resting) {
        if (!eyeRestStartedAt_)
            eyeRestStartedAt_ = at;
    } else {
        eyeRestStartedAt_.reset();
        recordedEyeBreakForAbsence_ = false;
    }

    if (!c.cameraPresenceEnabled) {
        creditDeviceWalkIfNeeded(at, desk);
    } else if (desk.faceLongGone) {
        if (!movementStartedAt_)
            movementStartedAt_ = at;
    } else {
        if (face && movementStartedAt_) {
            const double awaySeconds = at.timeIntervalSince(*movementStartedAt_);
            if (awaySeconds >= c.eyeBreakDuration)
                creditEyeBreakAfterAbsence(at, awaySeconds);
            if (awaySeconds >= c.spontaneousWalkCreditDuration) {
                resetMovementTimerAfterAway(at, awaySeconds);
                requests_.recalibrateDesk();
            }
        }
        movementStartedAt_.reset();
    }

    const double restSoFar = eyeRestStartedAt_ ? at.timeIntervalSince(*eyeRestStartedAt_) : 0;
    if (restSoFar >= c.eyeBreakDuration && !recordedEyeBreakForAbsence_) {
        setLastEyeBreakAt(at);
        focusSessionStartedAt_ = at;
        recordedEyeBreakForAbsence_ = true;
        eyeBreakDueNotified_ = false;
        eyeBreakCompletedAt_ = face ? std::optional(at) : std::nullopt;
        clearBreakNotification(eyeCategory);
        const std::string manner = !face ? "stepped away" : desk.eyesClosed ? "closed your eyes" : "looked away";
        history_.record(WellnessEventKind::eyeRest, restSoFar, at);
        celebrate("Eyes rested");
        log_.append("Eye break completed (" + manner + ")");
    }

    publishBreakPrompt(at, desk, resting, restSoFar);

    if (celebrationUntil_ && at >= *celebrationUntil_) {
        celebrationUntil_.reset();
        if (celebration())
            celebration_ = std::nullopt;
    }
    if (desk.snoozeUntil && at >= *desk.snoozeUntil) {
        requests_.endSnooze();
        staggerOverdueBreaks(at);
        log_.append("Focus snooze ended");
    }
    setIfChanged(activePresenceSeconds_, roundHalfAwayFromZero(at.timeIntervalSince(focusSessionStartedAt_)));
    history_.refreshSummaries(at, false);
    deliverBreakNudgesIfNeeded(at, desk);
}

void BreakCoach::publishBreakPrompt(Date at, const Desk& desk, bool resting, double restSoFar) {
    const VigilorConfig& c = config();
    const BreakDueRule due = dueRule();
    const bool eyeDue = due.eyeBreakDue(at);
    const bool walkPromptDue = due.walkPromptDue(at);
    const bool completionShown =
        eyeBreakCompletedAt_ && at.timeIntervalSince(*eyeBreakCompletedAt_) < eyeRestCompletionShown;
    const bool snoozed = isLater(desk.snoozeUntil, at);

    setIfChanged(isRestingNow_, resting);
    double remaining = c.eyeBreakDuration;
    if (completionShown)
        remaining = 0;
    else if (resting)
        remaining = std::max(0.0, c.eyeBreakDuration - restSoFar);
    setIfChanged(eyeRestRemaining_, roundHalfAwayFromZero(remaining));
    setIfChanged(breakHUDKind_, walkPromptDue ? BreakHUDKind::walk : BreakHUDKind::eye);
    const bool visible = !snoozed && !desk.screenLocked && desk.face && (eyeDue || completionShown || walkPromptDue) &&
                         (c.eyeBreakEnabled || c.walkBreakEnabled);
    setIfChanged(breakHUDVisible_, visible);
}

void BreakCoach::creditEyeBreakAfterAbsence(Date returnedAt, double awaySeconds) {
    setLastEyeBreakAt(returnedAt);
    focusSessionStartedAt_ = returnedAt;
    eyeRestStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakDueNotified_ = false;
    eyeBreakCompletedAt_.reset();
    setIfChanged(eyeRestRemaining_, double(roundedInteger(config().eyeBreakDuration)));
    setIfChanged(isRestingNow_, false);
    setIfChanged(breakHUDVisible_, false);
    clearBreakNotification(eyeCategory);
    log_.append("Eye timer reset after " + formatDuration(awaySeconds) + " away");
}

void BreakCoach::resetMovementTimerAfterAway(Date returnedAt, double awaySeconds) {
    setLastWalkBreakAt(returnedAt);
    walkResetOnReturnAt_ = returnedAt;
    focusSessionStartedAt_ = returnedAt;
    walkBreakDueNotified_ = false;
    walkNudgeHiddenUntil_.reset();
    clearBreakNotification(walkCategory);
    const std::string away = formatDuration(awaySeconds);
    const std::string wholeSeconds = std::to_string(roundedInteger(awaySeconds));
    if (awaySeconds <= longestCreditedWalk && awaySeconds >= config().spontaneousWalkCreditDuration) {
        history_.record(WellnessEventKind::movementCredit, awaySeconds, returnedAt);
        celebrate("Movement done");
        log_.append("Movement credited after " + away + " away");
        ActivityLog::diagLog("break: movement credited after " + wholeSeconds + "s away", now());
    } else {
        log_.append("Movement timer reset after " + away + " away");
        ActivityLog::diagLog("break: movement timer reset after " + wholeSeconds + "s away; no walk credit", now());
    }
}

// Without the camera, the companion's absence stands for the user's absence from the desk.
void BreakCoach::creditDeviceWalkIfNeeded(Date at, const Desk& desk) {
    if (!desk.companionInUse || !desk.companionLastSeen) {
        deviceMovementStartedAt_.reset();
        return;
    }
    if (!desk.companionPresent) {
        if (!deviceMovementStartedAt_)
            deviceMovementStartedAt_ = desk.companionLastSeen;
        return;
    }
    if (!deviceMovementStartedAt_)
        return;
    const double awaySeconds = at.timeIntervalSince(*deviceMovementStartedAt_);
    if (config().walkBreakEnabled && awaySeconds >= config().spontaneousWalkCreditDuration) {
        resetMovementTimerAfterAway(at, awaySeconds);
        requests_.recalibrateDesk();
    }
    deviceMovementStartedAt_.reset();
}

void BreakCoach::deliverBreakNudgesIfNeeded(Date at, const Desk& desk) {
    const VigilorConfig& c = config();
    const bool snoozed = isLater(desk.snoozeUntil, at);
    if (desk.screenLocked || !desk.face) {
        eyeBreakDueNotified_ = false;
        walkBreakDueNotified_ = false;
        return;
    }
    if (snoozed)
        return;
    const bool eyeDue = dueRule().eyeBreakDue(at);
    const bool walkOverdue =
        eyeDue && c.walkBreakEnabled && c.walkBreakInterval <= at.timeIntervalSince(lastWalkBreakAt_);
    // With both due, the walk also rests the eyes: only the walk is nudged.
    if (!(eyeDue && walkOverdue)) {
        if (eyeDue && !eyeBreakDueNotified_) {
            eyeBreakDueNotified_ = true;
            deliverBreakNudge("Look away", "Rest your eyes for " + formatDuration(c.eyeBreakDuration) + ".",
                              eyeCategory);
        } else if (!eyeDue) {
            eyeBreakDueNotified_ = false;
        }
    }
    const bool walkDue = c.walkBreakEnabled && c.walkBreakInterval <= at.timeIntervalSince(lastWalkBreakAt_);
    if (!walkDue || isLater(walkNudgeHiddenUntil_, at)) {
        walkBreakDueNotified_ = false;
        return;
    }
    if (walkBreakDueNotified_)
        return;
    walkBreakDueNotified_ = true;
    const double seated = std::max(0.0, now().timeIntervalSince(lastWalkBreakAt_));
    deliverBreakNudge("Time to move",
                      formatDurationWithSeconds(seated) + " at desk. Stand or walk for " +
                          formatDuration(c.walkBreakDuration) + ".",
                      walkCategory);
}

void BreakCoach::deliverBreakNudge(const std::string& title, const std::string& body,
                                       const std::string& category) {
    const VigilorConfig& c = config();
    if (!c.notifyWhenBreakDue) {
        if (c.soundWhenBreakDue && sounds_)
            sounds_->play("Glass");
        return;
    }
    NotificationRequest request;
    request.identifier =
        category == walkCategory ? "app.zorvi.break.walk.current" : "app.zorvi.break.eye.current";
    request.title = title;
    request.body = body;
    request.categoryIdentifier = category;
    request.playsDefaultSound = c.soundWhenBreakDue;
    notifications_->add(request, [weak = weak_from_this()](std::optional<std::string> error) {
        if (!error)
            return;
        DispatchQueue::main().async([weak, error] {
            if (auto self = weak.lock())
                self->log_.append("Notification failed: " + *error);
        });
    });
}

void BreakCoach::dismissCurrentEyeBreakPrompt() {
    const VigilorConfig& c = config();
    if (eyeRestRemaining() <= 0) {
        eyeBreakCompletedAt_.reset();
        setIfChanged(breakHUDVisible_, false);
        clearBreakNotification(eyeCategory);
        log_.append("Look-away popup dismissed");
        return;
    }
    const Date at = now();
    history_.record(WellnessEventKind::eyeDismissed, std::nullopt, at);
    setLastEyeBreakAt(at);
    eyeRestStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakCompletedAt_.reset();
    eyeBreakDueNotified_ = false;
    setIfChanged(breakHUDVisible_, false);
    setIfChanged(eyeRestRemaining_, double(roundedInteger(c.eyeBreakDuration)));
    clearBreakNotification(eyeCategory);
    log_.append("Look-away nudge dismissed; next eye break in " + formatDuration(c.eyeBreakInterval));
}

// A skipped walk is held back longer than a dismissed one; the walk itself stays due either way.
void BreakCoach::clearCurrentWalkBreakPrompt(WellnessEventKind eventKind, const std::string& logMessage) {
    const Date at = now();
    const double holdBack = eventKind == WellnessEventKind::walkSkipped
                                ? 1200.0
                                : std::min(std::max(0.2 * config().walkBreakInterval, 300.0), 900.0);
    history_.record(eventKind, std::nullopt, at);
    walkNudgeHiddenUntil_ = at.addingTimeInterval(holdBack);
    walkBreakDueNotified_ = false;
    if (breakHUDKind() == BreakHUDKind::walk)
        setIfChanged(breakHUDVisible_, false);
    clearBreakNotification(walkCategory);
    log_.append(logMessage + "; walk remains due after " +
           formatDurationWithSeconds(std::max(0.0, at.timeIntervalSince(lastWalkBreakAt_))) + " at desk");
}

void BreakCoach::handleNotificationResponse(const NotificationResponse& response) {
    const std::string& action = response.actionIdentifier;
    if (action == skipWalkAction) {
        clearCurrentWalkBreakPrompt(WellnessEventKind::walkSkipped, "Movement nudge skipped");
        return;
    }
    if (action != dismissAction && action != UserNotificationCenter::dismissActionIdentifier)
        return;
    if (response.categoryIdentifier == walkCategory)
        clearCurrentWalkBreakPrompt(WellnessEventKind::walkDismissed, "Walk popup dismissed");
    else if (response.categoryIdentifier == eyeCategory)
        dismissCurrentEyeBreakPrompt();
}

// After a pause the eye comes back first, 4 minutes on, and the walk 5 minutes after it.
void BreakCoach::staggerOverdueBreaks(Date at) {
    const VigilorConfig& c = config();
    if (c.eyeBreakEnabled && c.eyeBreakInterval <= at.timeIntervalSince(lastEyeBreakAt_)) {
        setLastEyeBreakAt(at.addingTimeInterval(-(c.eyeBreakInterval - 240)));
        eyeBreakDueNotified_ = false;
    }
    if (c.walkBreakEnabled && c.walkBreakInterval <= at.timeIntervalSince(lastWalkBreakAt_)) {
        setLastWalkBreakAt(at.addingTimeInterval(-(c.walkBreakInterval - 540)));
        walkBreakDueNotified_ = false;
        walkNudgeHiddenUntil_.reset();
    }
}

void BreakCoach::celebrate(const std::string& text) {
    celebration_ = text;
    celebrationUntil_ = now().addingTimeInterval(6);
}

void BreakCoach::sessionLocked() {
    setIfChanged(breakHUDVisible_, false);
    clearBreakNotification(eyeCategory);
    clearBreakNotification(walkCategory);
    eyeBreakDueNotified_ = false;
    walkBreakDueNotified_ = false;
}

// One absence is credited once: the coaching tick keeps running while the session is locked and may
// already have recorded this absence's eye rest or walk.
BreakCoach::AwayCredit BreakCoach::creditLockedAbsence(Date returnedAt, double awaySeconds) {
    const VigilorConfig& c = config();
    const Date lockedAt = returnedAt.addingTimeInterval(-awaySeconds);
    const auto& ledger = history_.ledger();
    const bool walkAlreadyCredited = std::any_of(ledger.begin(), ledger.end(), [&](const auto& e) {
        return e.kind == WellnessEventKind::movementCredit && e.occurredAt >= lockedAt;
    });
    history_.record(WellnessEventKind::lockAway, awaySeconds, returnedAt);
    if (c.eyeBreakEnabled && c.eyeBreakDuration <= awaySeconds && !recordedEyeBreakForAbsence_)
        history_.record(WellnessEventKind::eyeRest, awaySeconds, returnedAt);
    AwayCredit credit;
    if (c.eyeBreakEnabled) {
        setLastEyeBreakAt(returnedAt);
        eyeBreakDueNotified_ = false;
        credit.eyeBreakReset = true;
    }
    if (c.walkBreakEnabled && c.spontaneousWalkCreditDuration <= awaySeconds) {
        if (!walkAlreadyCredited)
            resetMovementTimerAfterAway(returnedAt, awaySeconds);
        credit.walkBreakReset = true;
    }
    // The user seen back at the lock screen had the walk reset before the unlock.
    if (c.walkBreakEnabled && walkResetOnReturnAt_ && *walkResetOnReturnAt_ >= lockedAt)
        credit.walkBreakReset = true;
    focusSessionStartedAt_ = returnedAt;
    eyeRestStartedAt_.reset();
    movementStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakCompletedAt_.reset();
    setIfChanged(eyeRestRemaining_, double(roundedInteger(c.eyeBreakDuration)));
    setIfChanged(isRestingNow_, false);
    setIfChanged(breakHUDVisible_, false);
    clearBreakNotification(eyeCategory);
    clearBreakNotification(walkCategory);
    return credit;
}
