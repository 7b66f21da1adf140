// The per-tick coaching: the desk's baselines learn from the face, and the break coach hears what the
// tick has seen of the user.
#include "VigilorMonitor.h"

#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/LockAttempt.h"

#include <algorithm>

void VigilorMonitor::updateWellness(Date at) {
    const VigilorConfig& c = config();
    const bool face = camera_->facePresent();
    camera_->followDeskBaselines();
    const bool unclear = camera_->isUnclearDeskPresenceRecent(at) && !companion_->hasIndependentAwayEvidence(at);
    const bool sharing = remoteControlActive();
    BreakCoach::Desk desk;
    desk.face = face;
    desk.eyesClosed = camera_->eyesClosed();
    desk.away = !face &&
                camera_->evidencedAbsence(at, camera_->lastDeskPresenceSeen()) >=
                    CameraPresence::deskPresenceGrace(c) &&
                !unclear && !sharing;
    desk.faceLongGone = !face && !sharing && !unclear &&
                        camera_->evidencedAbsence(at, camera_->lastFaceSeen()) >= std::max(c.eyeBreakDuration, 10.0);
    desk.companionInUse = companion_->bluetoothPresenceEnabled();
    desk.companionLastSeen = companion_->lastSeen();
    desk.companionPresent = companion_->watchPresent();
    desk.screenLocked = lockAttempt_->locked();
    desk.snoozeUntil = snoozeUntil();
    breaks_->tick(at, desk);
}

void VigilorMonitor::recalibrateDeskBaselineAfterReturn() {
    camera_->recalibrateDeskBaselines();
}
