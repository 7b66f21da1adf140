// The main thread's side of the frame pipeline: each frame result becomes the published presence
// state that the decision tick and the coaching read; known-face answers too.
#include "CameraPresence.h"

void CameraPresence::applyFrameResult(const FrameAnalysisResult& result) {
    monitor_.eyeRestObserved(result.eyeRestObserved ? result.evaluatedAt : Date::distantPast());
    if (result.faceCount >= 1)
        applyFaceResult(result);
    else if (result.isLowLightFrame)
        applyDarkFrame(result);
    else
        applyMissedFrame(result);
    noteFrameResult(now());
    refreshFrameInputs();
}

void CameraPresence::applyFaceResult(const FrameAnalysisResult& result) {
    const int previousMisses = missingFaceSamples_();
    darknessSince_.reset();
    setIfChanged(bodyPose_, result.bodyPose);
    setIfChanged(facePresent_, true);
    setIfChanged(missingFaceSamples_, 0);
    setIfChanged(currentFaceWidth_, FrameAnalysis::roundedFaceGeometry(result.faceWidth));
    setIfChanged(currentFaceCenterY_, FrameAnalysis::roundedFaceGeometry(result.faceCenterY));
    setIfChanged(faceYawDegrees_, FrameAnalysis::roundedDegrees(result.yawDegrees));
    setIfChanged(facePitchDegrees_, FrameAnalysis::roundedDegrees(result.pitchDegrees));
    setIfChanged(isLookingAway_, result.isLookingAway);
    setIfChanged(eyesClosed_, result.eyesClosed);
    setIfChanged(lowLight_, false);
    const Date at = now();
    noteFaceSeen(at);
    if (result.isLookingAway)
        noteLookingAway(at);
    framePhase_ = MonitorPhase::ready;
    monitor_.phaseChanged();
    if (previousMisses >= config_().minMissingSamples)
        log_.append("Face reacquired after " + std::to_string(previousMisses) + " misses");
}

// A dark frame without a face holds the presence state as it is (only the light is reported), unless
// the room has been dark and idle long enough to let an absence count.
void CameraPresence::applyDarkFrame(const FrameAnalysisResult&) {
    const Date at = now();
    if (!darknessSince_)
        darknessSince_ = at;
    if (!FrameAnalysis::isDarkRoom(at.timeIntervalSince(*darknessSince_), monitor_.inputIdleSeconds(),
                                   monitor_.companionInUse(), monitor_.companionNear())) {
        setIfChanged(lowLight_, true);
        setIfChanged(bodyPose_, BodyPose::lowLight);
        return;
    }
    setIfChanged(missingFaceSamples_, missingFaceSamples_() + 1);
    if (missingFaceSamples_() == 1)
        log_.append("Dark room: no activity for 120s, allowing away lock");
    setIfChanged(facePresent_, false);
    clearFaceGeometry();
    setIfChanged(isLookingAway_, false);
    setIfChanged(eyesClosed_, false);
    setIfChanged(lowLight_, true);
    setIfChanged(bodyPose_, BodyPose::darkRoom);
}

void CameraPresence::applyMissedFrame(const FrameAnalysisResult& result) {
    const Date at = now();
    if (result.bodyPresenceConfirmed) {
        noteDeskPresence(at);
        setIfChanged(isLookingAway_, false);
        setIfChanged(bodyPose_, result.bodyPose);
    } else if (result.unclearDeskPresence) {
        noteUnclearDeskPresence(at);
        setIfChanged(isLookingAway_, true);
        setIfChanged(bodyPose_, result.bodyPose);
    } else {
        setIfChanged(isLookingAway_, true);
        setIfChanged(bodyPose_, monitor_.remoteControlActive() ? BodyPose::remote : BodyPose::away);
    }
    setIfChanged(facePresent_, false);
    clearFaceGeometry();
    setIfChanged(eyesClosed_, false);
    setIfChanged(lowLight_, false);
    setIfChanged(missingFaceSamples_, missingFaceSamples_() + 1);
    framePhase_ = MonitorPhase::faceMissing;
    monitor_.phaseChanged();
}

void CameraPresence::clearFaceGeometry() {
    setIfChanged(currentFaceWidth_, std::optional<double>());
    setIfChanged(currentFaceCenterY_, std::optional<double>());
    setIfChanged(faceYawDegrees_, std::optional<double>());
    setIfChanged(facePitchDegrees_, std::optional<double>());
}

void CameraPresence::applyIdentityMatch(const FaceMatchOutcome& outcome) {
    const std::size_t unreadable = outcome.unreadableEntries();
    if (outcome.kind() != FaceMatchOutcome::Case::error && unreadable != unreadableEnrolledPrints_()) {
        unreadableEnrolledPrints_ = unreadable;
        if (unreadable > 0)
            log_.append(unreadableEnrolledPrintsText(unreadable));
    }
    switch (outcome.kind()) {
    case FaceMatchOutcome::Case::match:
        knownFacePresent_ = true;
        unknownFaceSamples_ = 0;
        break;
    case FaceMatchOutcome::Case::noMatch:
        if (++unknownFaceSamples_ >= config_().minMissingSamples)
            knownFacePresent_ = false;
        break;
    case FaceMatchOutcome::Case::error:
        knownFacePresent_ = false;
        break;
    }
}
