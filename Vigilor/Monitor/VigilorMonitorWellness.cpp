// The per-tick coaching update: rests, absences, walk credits and the break prompt's state.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"

#include <algorithm>

namespace {

constexpr double eyeRestCompletionShown = 3;
constexpr double longestCreditedWalk = 1800;

} // namespace

void VigilorMonitor::updateWellness(Date at) {
    const VigilorConfig& c = config();
    const bool face = facePresent();
    if (c.bodyPoseHintsEnabled && face) {
        if (currentFaceWidth() && !isLookingAway())
            updateDistanceBaseline(*currentFaceWidth());
        if (currentFaceCenterY() && !isLookingAway())
            updateFaceCenterBaseline(*currentFaceCenterY());
    }
    const bool unclear = isUnclearDeskPresenceRecent(at) && !hasIndependentAwayEvidence(at);
    const bool sharing = remoteControlActive();
    const bool away = !face &&
                      evidencedAbsence(at, lastDeskPresenceSeen_) >= std::max(c.bodyPresenceLockGrace, 6.0) &&
                      !unclear && !sharing;
    const double faceAge = evidencedAbsence(at, lastFaceSeen_);
    const bool faceLongGone = !face && !sharing && !unclear && faceAge >= std::max(c.eyeBreakDuration, 10.0);
    const bool resting =
        face ? at.timeIntervalSince(lastEyeRestObservationAt_) <= eyeRestObservationFreshWindow
             : (away || faceLongGone);
    if (resting) {
        if (!eyeRestStartedAt_)
            eyeRestStartedAt_ = at;
    } else {
        eyeRestStartedAt_.reset();
        recordedEyeBreakForAbsence_ = false;
    }

    if (!c.cameraPresenceEnabled) {
        creditDeviceWalkIfNeeded(at);
    } else if (faceLongGone) {
        if (!movementStartedAt_)
            movementStartedAt_ = at;
    } else {
        if (face && movementStartedAt_) {
            const double awaySeconds = at.timeIntervalSince(*movementStartedAt_);
            if (awaySeconds >= c.eyeBreakDuration)
                creditEyeBreakAfterAbsence(at, awaySeconds);
            if (awaySeconds >= c.spontaneousWalkCreditDuration) {
                resetMovementTimerAfterAway(at, awaySeconds);
                recalibrateDeskBaselineAfterReturn();
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
        clearBreakNotification("app.zorvi.break.eye");
        const std::string manner = !face ? "stepped away" : eyesClosed() ? "closed your eyes" : "looked away";
        wellness_->record(WellnessEventKind::eyeRest, restSoFar, at);
        celebrate("Eyes rested");
        log_.append("Eye break completed (" + manner + ")");
    }

    publishBreakPrompt(at, resting, restSoFar);

    if (celebrationUntil_ && at >= *celebrationUntil_) {
        celebrationUntil_.reset();
        if (celebration())
            celebration = std::nullopt;
    }
    if (snoozeUntil() && at >= *snoozeUntil()) {
        snoozeUntil = std::nullopt;
        staggerOverdueBreaks(at);
        log_.append("Focus snooze ended");
    }
    setIfChanged(activePresenceSeconds, roundHalfAwayFromZero(at.timeIntervalSince(focusSessionStartedAt_)));
    wellness_->refreshSummaries(at, false);
    deliverBreakNudgesIfNeeded(at);
}

void VigilorMonitor::publishBreakPrompt(Date at, bool resting, double restSoFar) {
    const VigilorConfig& c = config();
    const bool eyeDue = isEyeBreakDue(at);
    const bool walkPromptDue = isWalkPromptDue(at);
    const bool completionShown =
        eyeBreakCompletedAt_ && at.timeIntervalSince(*eyeBreakCompletedAt_) < eyeRestCompletionShown;
    const bool snoozed = snoozeUntil() && *snoozeUntil() > at;

    setIfChanged(isRestingNow, resting);
    double remaining = c.eyeBreakDuration;
    if (completionShown)
        remaining = 0;
    else if (resting)
        remaining = std::max(0.0, c.eyeBreakDuration - restSoFar);
    setIfChanged(eyeRestRemaining, roundHalfAwayFromZero(remaining));
    setIfChanged(breakHUDKind, walkPromptDue ? BreakHUDKind::walk : BreakHUDKind::eye);
    const bool visible = !snoozed && !screenLocked() && facePresent() &&
                         (eyeDue || completionShown || walkPromptDue) &&
                         (c.eyeBreakEnabled || c.walkBreakEnabled);
    setIfChanged(breakHUDVisible, visible);
}

void VigilorMonitor::creditEyeBreakAfterAbsence(Date returnedAt, double awaySeconds) {
    setLastEyeBreakAt(returnedAt);
    focusSessionStartedAt_ = returnedAt;
    eyeRestStartedAt_.reset();
    recordedEyeBreakForAbsence_ = false;
    eyeBreakDueNotified_ = false;
    eyeBreakCompletedAt_.reset();
    setIfChanged(eyeRestRemaining, double(roundedInteger(config().eyeBreakDuration)));
    setIfChanged(isRestingNow, false);
    setIfChanged(breakHUDVisible, false);
    clearBreakNotification("app.zorvi.break.eye");
    log_.append("Eye timer reset after " + formatDuration(awaySeconds) + " away");
}

void VigilorMonitor::resetMovementTimerAfterAway(Date returnedAt, double awaySeconds) {
    setLastWalkBreakAt(returnedAt);
    focusSessionStartedAt_ = returnedAt;
    walkBreakDueNotified_ = false;
    walkNudgeHiddenUntil_.reset();
    clearBreakNotification("app.zorvi.break.walk");
    const std::string away = formatDuration(awaySeconds);
    const std::string wholeSeconds = std::to_string(roundedInteger(awaySeconds));
    if (awaySeconds <= longestCreditedWalk && awaySeconds >= config().spontaneousWalkCreditDuration) {
        wellness_->record(WellnessEventKind::movementCredit, awaySeconds, returnedAt);
        celebrate("Movement done");
        log_.append("Movement credited after " + away + " away");
        ActivityLog::diagLog("break: movement credited after " + wholeSeconds + "s away", now());
    } else {
        log_.append("Movement timer reset after " + away + " away");
        ActivityLog::diagLog("break: movement timer reset after " + wholeSeconds + "s away; no walk credit", now());
    }
}

// Without the camera, the companion's absence stands for the user's absence from the desk.
void VigilorMonitor::creditDeviceWalkIfNeeded(Date at) {
    if (!bluetoothPresenceEnabled() || !lastWatchSeen_) {
        deviceMovementStartedAt_.reset();
        return;
    }
    if (!watchPresent()) {
        if (!deviceMovementStartedAt_)
            deviceMovementStartedAt_ = lastWatchSeen_;
        return;
    }
    if (!deviceMovementStartedAt_)
        return;
    const double awaySeconds = at.timeIntervalSince(*deviceMovementStartedAt_);
    if (config().walkBreakEnabled && awaySeconds >= config().spontaneousWalkCreditDuration) {
        resetMovementTimerAfterAway(at, awaySeconds);
        recalibrateDeskBaselineAfterReturn();
    }
    deviceMovementStartedAt_.reset();
}

void VigilorMonitor::recalibrateDeskBaselineAfterReturn() {
    if (config().distanceCalibrationMode != DistanceCalibrationMode::manual && currentFaceWidth())
        distanceBaselineFaceWidth = currentFaceWidth();
    if (currentFaceCenterY())
        faceCenterBaselineY = currentFaceCenterY();
}
