// The per-tick coaching: the desk's baselines learn from the face, and the break coach hears what the
// tick has seen of the user.
#include "VigilorMonitor.h"

#include <algorithm>

void VigilorMonitor::updateWellness(Date at) {
    const VigilorConfig& c = config();
    const bool face = facePresent();
    if (c.bodyPoseHintsEnabled && face) {
        if (currentFaceWidth() && !isLookingAway())
            updateDistanceBaseline(*currentFaceWidth());
        if (currentFaceCenterY() && !isLookingAway())
            updateFaceCenterBaseline(*currentFaceCenterY());
    }
    const bool unclear = isUnclearDeskPresenceRecent(at) && !companion_->hasIndependentAwayEvidence(at);
    const bool sharing = remoteControlActive();
    BreakCoach::Desk desk;
    desk.face = face;
    desk.eyesClosed = eyesClosed();
    desk.away = !face && evidencedAbsence(at, lastDeskPresenceSeen_) >= std::max(c.bodyPresenceLockGrace, 6.0) &&
                !unclear && !sharing;
    desk.faceLongGone =
        !face && !sharing && !unclear && evidencedAbsence(at, lastFaceSeen_) >= std::max(c.eyeBreakDuration, 10.0);
    desk.companionInUse = companion_->bluetoothPresenceEnabled();
    desk.companionLastSeen = companion_->lastSeen();
    desk.companionPresent = companion_->watchPresent();
    desk.screenLocked = screenLocked();
    desk.snoozeUntil = snoozeUntil();
    breaks_->tick(at, desk);
}

void VigilorMonitor::recalibrateDeskBaselineAfterReturn() {
    if (config().distanceCalibrationMode != DistanceCalibrationMode::manual && currentFaceWidth())
        distanceBaselineFaceWidth = currentFaceWidth();
    if (currentFaceCenterY())
        faceCenterBaselineY = currentFaceCenterY();
}
