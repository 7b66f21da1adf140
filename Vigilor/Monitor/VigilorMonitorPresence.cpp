// Presence evidence that does not come from the camera.
#include "VigilorMonitor.h"

#include <algorithm>
#include <cmath>

void VigilorMonitor::noteFrameResult(Date at) {
    if (!cameraWatchingSince(at))
        frameResultsSince_ = at;
    lastFrameResultAt_ = at;
}

std::optional<Date> VigilorMonitor::cameraWatchingSince(Date at) const {
    if (!lastFrameResultAt_ || at.timeIntervalSince(*lastFrameResultAt_) > frameResultGap)
        return std::nullopt;
    return frameResultsSince_;
}

bool VigilorMonitor::cameraDeliversFrames(Date at) const {
    const CameraState::Kind camera = cameraState().kind;
    return (camera == CameraState::Kind::running || camera == CameraState::Kind::resumed) &&
           cameraWatchingSince(at);
}

// How long the user has been seen to be away since `lastSeen`. Only a working camera's frames are
// evidence: a face that is missing while no frames arrive (camera presence off, no camera, access
// denied, not started yet) proves nothing, and an absence counts from when the frames came back.
double VigilorMonitor::evidencedAbsence(Date at, Date lastSeen) const {
    if (!cameraDeliversFrames(at))
        return 0;
    return at.timeIntervalSince(std::max(lastSeen, *cameraWatchingSince(at)));
}

double VigilorMonitor::secondsSinceLastUserInput() {
    return knownInputIdleSeconds().value_or(unknownInputIdleSeconds);
}

std::optional<double> VigilorMonitor::knownInputIdleSeconds() {
    return services_.inputIdle->secondsSinceLastInput();
}

double VigilorMonitor::effectiveLookAwayDownGrace() const {
    const VigilorConfig& c = config();
    return std::max(
        {minimumLookAwayDownGrace, c.lookAwayLockGrace, std::max(c.lockTimeout, minimumAutoLockTimeout)});
}

bool VigilorMonitor::isUnclearDeskPresenceRecent(Date at) const {
    const VigilorConfig& c = config();
    if (!c.bodyPoseLockAssistEnabled)
        return false;
    return at.timeIntervalSince(lastUnclearDeskPresenceSeen_) <
           std::max(c.bodyPresenceLockGrace, minimumDeskPresenceLockGrace);
}

void VigilorMonitor::updateDistanceBaseline(double faceWidth) {
    if (!(faceWidth > 0))
        return;
    const VigilorConfig& c = config();
    const std::optional<double> baseline = distanceBaselineFaceWidth();
    if (c.distanceCalibrationMode == DistanceCalibrationMode::manual) {
        if (!baseline)
            distanceBaselineFaceWidth = c.savedDistanceBaselineFaceWidth;
        return;
    }
    if (!baseline) {
        distanceBaselineFaceWidth = faceWidth;
        return;
    }
    const double ratio = faceWidth / *baseline;
    if (ratio >= 0.78 && ratio <= 1.12)
        distanceBaselineFaceWidth = 0.015 * faceWidth + 0.985 * *baseline;
}

void VigilorMonitor::updateFaceCenterBaseline(double centerY) {
    if (!(centerY > 0))
        return;
    const std::optional<double> baseline = faceCenterBaselineY();
    if (!baseline)
        faceCenterBaselineY = centerY;
    else if (std::fabs(centerY - *baseline) <= 0.08)
        faceCenterBaselineY = 0.015 * centerY + 0.985 * *baseline;
}

// Screen Sharing is looked for at most every 2 s.
bool VigilorMonitor::detectRemoteControlActive(Date at) {
    if (at.timeIntervalSince(lastRemoteControlCheckAt_) < 2.0)
        return remoteControlActive();
    lastRemoteControlCheckAt_ = at;
    return services_.screenSharing->isScreenSharingActive();
}
