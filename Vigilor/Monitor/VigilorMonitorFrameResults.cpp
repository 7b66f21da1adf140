// The main thread's side of the frame pipeline: each frame result becomes the published presence
// state that the decision tick and the coaching read; known-face answers and Vision failures too.
#include "VigilorMonitor.h"

void VigilorMonitor::applyFrameResult(const FrameAnalysisResult& result) {
    noteEyeRestObservation(result.eyeRestObserved ? result.evaluatedAt : Date::distantPast());
    if (result.faceCount >= 1)
        applyFaceResult(result);
    else if (result.isLowLightFrame)
        applyDarkFrame(result);
    else
        applyMissedFrame(result);
    noteFrameResult(now());
    refreshFrameInputs();
}

void VigilorMonitor::applyFaceResult(const FrameAnalysisResult& result) {
    const int previousMisses = missingFaceSamples();
    darknessSince_.reset();
    setIfChanged(bodyPose, result.bodyPose);
    setIfChanged(facePresent, true);
    setIfChanged(missingFaceSamples, 0);
    setIfChanged(currentFaceWidth, FrameAnalysis::roundedFaceGeometry(result.faceWidth));
    setIfChanged(currentFaceCenterY, FrameAnalysis::roundedFaceGeometry(result.faceCenterY));
    setIfChanged(faceYawDegrees, FrameAnalysis::roundedDegrees(result.yawDegrees));
    setIfChanged(facePitchDegrees, FrameAnalysis::roundedDegrees(result.pitchDegrees));
    setIfChanged(isLookingAway, result.isLookingAway);
    setIfChanged(eyesClosed, result.eyesClosed);
    setIfChanged(lowLight, false);
    const Date at = now();
    noteFaceSeen(at);
    if (result.isLookingAway)
        noteLookingAway(at);
    framePhase_ = MonitorPhase::ready;
    publishPhase();
    if (previousMisses >= config().minMissingSamples)
        log_.append("Face reacquired after " + std::to_string(previousMisses) + " misses");
}

// A dark frame without a face holds the presence state as it is (only the light is reported), unless
// the room has been dark and idle long enough to let an absence count.
void VigilorMonitor::applyDarkFrame(const FrameAnalysisResult&) {
    const Date at = now();
    if (!darknessSince_)
        darknessSince_ = at;
    if (!FrameAnalysis::isDarkRoom(at.timeIntervalSince(*darknessSince_), inputIdleSeconds(),
                                   companion_->bluetoothPresenceEnabled(), companion_->watchPresent())) {
        setIfChanged(lowLight, true);
        setIfChanged(bodyPose, BodyPose::lowLight);
        return;
    }
    setIfChanged(missingFaceSamples, missingFaceSamples() + 1);
    if (missingFaceSamples() == 1)
        log_.append("Dark room: no activity for 120s, allowing away lock");
    setIfChanged(facePresent, false);
    clearFaceGeometry();
    setIfChanged(isLookingAway, false);
    setIfChanged(eyesClosed, false);
    setIfChanged(lowLight, true);
    setIfChanged(bodyPose, BodyPose::darkRoom);
}

void VigilorMonitor::applyMissedFrame(const FrameAnalysisResult& result) {
    const Date at = now();
    if (result.bodyPresenceConfirmed) {
        noteDeskPresence(at);
        setIfChanged(isLookingAway, false);
        setIfChanged(bodyPose, result.bodyPose);
    } else if (result.unclearDeskPresence) {
        noteUnclearDeskPresence(at);
        setIfChanged(isLookingAway, true);
        setIfChanged(bodyPose, result.bodyPose);
    } else {
        setIfChanged(isLookingAway, true);
        setIfChanged(bodyPose, remoteControlActive() ? BodyPose::remote : BodyPose::away);
    }
    setIfChanged(facePresent, false);
    clearFaceGeometry();
    setIfChanged(eyesClosed, false);
    setIfChanged(lowLight, false);
    setIfChanged(missingFaceSamples, missingFaceSamples() + 1);
    framePhase_ = MonitorPhase::faceMissing;
    publishPhase();
}

void VigilorMonitor::clearFaceGeometry() {
    setIfChanged(currentFaceWidth, std::optional<double>());
    setIfChanged(currentFaceCenterY, std::optional<double>());
    setIfChanged(faceYawDegrees, std::optional<double>());
    setIfChanged(facePitchDegrees, std::optional<double>());
}

void VigilorMonitor::applyIdentityMatch(const FaceMatchOutcome& outcome) {
    switch (outcome.kind()) {
    case FaceMatchOutcome::Case::match:
        knownFacePresent_ = true;
        unknownFaceSamples_ = 0;
        break;
    case FaceMatchOutcome::Case::noMatch:
        if (++unknownFaceSamples_ >= config().minMissingSamples)
            knownFacePresent_ = false;
        break;
    case FaceMatchOutcome::Case::error:
        knownFacePresent_ = false;
        break;
    }
}

void VigilorMonitor::reportVisionError(const std::string& description) {
    log_.append("Vision error: " + description);
}
