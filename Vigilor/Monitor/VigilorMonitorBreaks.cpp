// Break coaching: when eye rests and walks fall due, the nudges, and the user's answers to them.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"

#include <algorithm>

namespace {

constexpr const char* eyeCategory = "app.zorvi.break.eye";
constexpr const char* walkCategory = "app.zorvi.break.walk";
constexpr const char* dismissAction = "app.zorvi.break.dismiss";
constexpr const char* skipWalkAction = "app.zorvi.break.skipWalk";

bool isLater(const std::optional<Date>& time, Date than) {
    return time && *time > than;
}

} // namespace

void VigilorMonitor::registerBreakNotificationActions() {
    const NotificationAction dismiss{dismissAction, "Dismiss"};
    const NotificationAction skipWalk{skipWalkAction, "Skip This Walk"};
    services_.notifications->setNotificationCategories({
        {eyeCategory, {dismiss}, true},
        {walkCategory, {skipWalk, dismiss}, true},
    });
    services_.notifications->setResponseHandler([weak = weakSelf()](const NotificationResponse& response) {
        DispatchQueue::main().async([weak, response] {
            if (auto self = weak.lock())
                self->handleNotificationResponse(response);
        });
    });
}

void VigilorMonitor::clearBreakNotification(const std::string& category) {
    services_.notifications->removeNotifications(
        {category == walkCategory ? "app.zorvi.break.walk.current" : "app.zorvi.break.eye.current"});
}

bool BreakDueRule::eyeBreakDue(Date at) const {
    return eyeBreakEnabled && eyeBreakInterval <= at.timeIntervalSince(lastEyeBreakAt);
}

bool BreakDueRule::walkPromptDue(Date at) const {
    return walkBreakEnabled && walkBreakInterval <= at.timeIntervalSince(lastWalkBreakAt) &&
           !isLater(walkNudgeHiddenUntil, at);
}

BreakDueRule VigilorMonitor::breakDueRule() const {
    const VigilorConfig& c = config();
    return {c.eyeBreakEnabled,   c.eyeBreakInterval, lastEyeBreakAt_,      c.walkBreakEnabled,
            c.walkBreakInterval, lastWalkBreakAt_,   walkNudgeHiddenUntil_};
}

bool VigilorMonitor::isEyeBreakDue(Date at) const {
    return breakDueRule().eyeBreakDue(at);
}

bool VigilorMonitor::isWalkPromptDue(Date at) const {
    return breakDueRule().walkPromptDue(at);
}

void VigilorMonitor::deliverBreakNudgesIfNeeded(Date at) {
    const VigilorConfig& c = config();
    const bool snoozed = isLater(snoozeUntil(), at);
    if (screenLocked() || !facePresent()) {
        eyeBreakDueNotified_ = false;
        walkBreakDueNotified_ = false;
        return;
    }
    if (snoozed)
        return;
    const bool eyeDue = isEyeBreakDue(at);
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

void VigilorMonitor::deliverBreakNudge(const std::string& title, const std::string& body,
                                       const std::string& category) {
    const VigilorConfig& c = config();
    if (!c.notifyWhenBreakDue) {
        if (c.soundWhenBreakDue && services_.sounds)
            services_.sounds->play("Glass");
        return;
    }
    NotificationRequest request;
    request.identifier =
        category == walkCategory ? "app.zorvi.break.walk.current" : "app.zorvi.break.eye.current";
    request.title = title;
    request.body = body;
    request.categoryIdentifier = category;
    request.playsDefaultSound = c.soundWhenBreakDue;
    services_.notifications->add(request, [weak = weakSelf()](std::optional<std::string> error) {
        if (!error)
            return;
        DispatchQueue::main().async([weak, error] {
            if (auto self = weak.lock())
                self->log_.append("Notification failed: " + *error);
        });
    });
}

void VigilorMonitor::dismissCurrentEyeBreakPrompt() {
    const VigilorConfig& c = config();
    if (eyeRestRemaining() <= 0) {
        eyeBreakCompletedAt_.reset();
        setIfChanged(breakHUDVisible, false);
        clearBreakNotification(eyeCategory);
        log_.append("Look-away popup dismissed");
        return;
    }
    const Date at = now();
    wellness_->record(WellnessEventKind::eyeDismissed, std::nullopt, at);
    setLastEyeBreakAt(at);
    eyeRestStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakCompletedAt_.reset();
    eyeBreakDueNotified_ = false;
    setIfChanged(breakHUDVisible, false);
    setIfChanged(eyeRestRemaining, double(roundedInteger(c.eyeBreakDuration)));
    clearBreakNotification(eyeCategory);
    log_.append("Look-away nudge dismissed; next eye break in " + formatDuration(c.eyeBreakInterval));
}

// A skipped walk is held back longer than a dismissed one; the walk itself stays due either way.
void VigilorMonitor::clearCurrentWalkBreakPrompt(WellnessEventKind eventKind, const std::string& logMessage) {
    const Date at = now();
    const double holdBack = eventKind == WellnessEventKind::walkSkipped
                                ? 1200.0
                                : std::min(std::max(0.2 * config().walkBreakInterval, 300.0), 900.0);
    wellness_->record(eventKind, std::nullopt, at);
    walkNudgeHiddenUntil_ = at.addingTimeInterval(holdBack);
    walkBreakDueNotified_ = false;
    if (breakHUDKind() == BreakHUDKind::walk)
        setIfChanged(breakHUDVisible, false);
    clearBreakNotification(walkCategory);
    log_.append(logMessage + "; walk remains due after " +
           formatDurationWithSeconds(std::max(0.0, at.timeIntervalSince(lastWalkBreakAt_))) + " at desk");
}

void VigilorMonitor::handleNotificationResponse(const NotificationResponse& response) {
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

void VigilorMonitor::togglePaused() {
    // Resuming returns to what the camera gives, a problem included.
    isPaused = !isPaused();
    publishPhase();
    if (!isPaused())
        staggerOverdueBreaks(now());
    log_.append(isPaused() ? "Monitoring paused" : "Monitoring resumed");
}

// After a pause the eye comes back first, 4 minutes on, and the walk 5 minutes after it.
void VigilorMonitor::staggerOverdueBreaks(Date at) {
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

void VigilorMonitor::celebrate(const std::string& text) {
    celebration = text;
    celebrationUntil_ = now().addingTimeInterval(6);
}

void VigilorMonitor::setLastEyeBreakAt(Date at) {
    lastEyeBreakAt_ = at;
    if (breakAnchorsRestored_)
        saveBreakAnchors();
}

void VigilorMonitor::setLastWalkBreakAt(Date at) {
    lastWalkBreakAt_ = at;
    if (breakAnchorsRestored_)
        saveBreakAnchors();
}

void VigilorMonitor::saveBreakAnchors() {
    Json anchors = Json::object();
    anchors["lastEyeBreakAt"] = JsonField::dateValue(lastEyeBreakAt_);
    anchors["lastWalkBreakAt"] = JsonField::dateValue(lastWalkBreakAt_);
    DefaultsStore::standard().set(breakAnchorsKey, std::move(anchors));
}

// Anchors younger than 12 hours survive a restart, each on its own; older ones, future ones and
// damaged values leave the start time.
void VigilorMonitor::restoreBreakAnchors(Date at) {
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
    breakAnchorsRestored_ = true;
    saveBreakAnchors();
}
