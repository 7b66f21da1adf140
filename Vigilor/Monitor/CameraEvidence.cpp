// What the camera's frames are evidence of, as the decision tick and the coaching ask it, and the desk
// baselines that distance and posture are measured against.
#include "CameraPresence.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <cmath>

void CameraPresence::noteFrameResult(Date at) {
    if (!cameraWatchingSince(at))
        frameResultsSince_ = at;
    lastFrameResultAt_ = at;
}

std::optional<Date> CameraPresence::cameraWatchingSince(Date at) const {
    if (!lastFrameResultAt_ || at.timeIntervalSince(*lastFrameResultAt_) > frameResultGap)
        return std::nullopt;
    return frameResultsSince_;
}

bool CameraPresence::cameraDeliversFrames(Date at) const {
    const CameraState::Kind camera = cameraState().kind;
    return (camera == CameraState::Kind::running || camera == CameraState::Kind::resumed) &&
           cameraWatchingSince(at);
}

bool CameraPresence::cameraStarting(Date at) const {
    using Kind = CameraState::Kind;
    const Kind camera = cameraState().kind;
    if (camera == Kind::starting)
        return true;
    if ((camera != Kind::running && camera != Kind::resumed) || !startedAt_)
        return false;
    const double sinceStart = at.timeIntervalSince(*startedAt_);
    const bool resultSinceStart = lastFrameResultAt_ && *lastFrameResultAt_ >= *startedAt_;
    return !resultSinceStart && sinceStart >= 0 && sinceStart <= frameResultGap;
}

// Only a working camera's frames are evidence: a face that is missing while no frames arrive (camera
// presence off, no camera, access denied, not started yet) proves nothing, and an absence counts from
// when the frames came back.
double CameraPresence::evidencedAbsence(Date at, Date lastSeen) const {
    if (!cameraDeliversFrames(at))
        return 0;
    return at.timeIntervalSince(std::max(lastSeen, *cameraWatchingSince(at)));
}

double CameraPresence::deskPresenceGrace(const VigilorConfig& c) {
    return std::max(c.bodyPresenceLockGrace, minimumDeskPresenceLockGrace);
}

bool CameraPresence::isUnclearDeskPresenceRecent(Date at) const {
    const VigilorConfig& c = config_();
    if (!c.bodyPoseLockAssistEnabled)
        return false;
    return at.timeIntervalSince(lastUnclearDeskPresenceSeen_) < deskPresenceGrace(c);
}

// A camera held by another program keeps the face's age at zero: its missing frames say nothing. An
// active user ends the dark room's wait.
void CameraPresence::tick(Date at, double inputIdleSeconds) {
    if (cameraInterrupted()) {
        lastFaceSeen_ = lastDeskPresenceSeen_ = at;
        setIfChanged(missingFaceSamples_, 0);
    }
    setIfChanged(secondsSinceFace_, roundHalfAwayFromZero(at.timeIntervalSince(lastFaceSeen_) * 10) / 10);
    if (inputIdleSeconds < darkRoomActivityTimeout)
        darknessSince_.reset();
}

void CameraPresence::followDeskBaselines() {
    if (!config_().bodyPoseHintsEnabled || !facePresent() || isLookingAway())
        return;
    if (currentFaceWidth())
        updateDistanceBaseline(*currentFaceWidth());
    if (currentFaceCenterY())
        updateFaceCenterBaseline(*currentFaceCenterY());
}

void CameraPresence::updateDistanceBaseline(double faceWidth) {
    if (!(faceWidth > 0))
        return;
    const VigilorConfig& c = config_();
    const std::optional<double> baseline = distanceBaselineFaceWidth();
    if (c.distanceCalibrationMode == DistanceCalibrationMode::manual) {
        if (!baseline)
            distanceBaselineFaceWidth_ = c.savedDistanceBaselineFaceWidth;
        return;
    }
    if (!baseline) {
        distanceBaselineFaceWidth_ = faceWidth;
        return;
    }
    const double ratio = faceWidth / *baseline;
    if (ratio >= 0.78 && ratio <= 1.12)
        distanceBaselineFaceWidth_ = 0.015 * faceWidth + 0.985 * *baseline;
}

void CameraPresence::updateFaceCenterBaseline(double centerY) {
    if (!(centerY > 0))
        return;
    const std::optional<double> baseline = faceCenterBaselineY();
    if (!baseline)
        faceCenterBaselineY_ = centerY;
    else if (std::fabs(centerY - *baseline) <= 0.08)
        faceCenterBaselineY_ = 0.015 * centerY + 0.985 * *baseline;
}

void CameraPresence::recalibrateDeskBaselines() {
    if (config_().distanceCalibrationMode != DistanceCalibrationMode::manual && currentFaceWidth())
        distanceBaselineFaceWidth_ = currentFaceWidth();
    if (currentFaceCenterY())
        faceCenterBaselineY_ = currentFaceCenterY();
}
