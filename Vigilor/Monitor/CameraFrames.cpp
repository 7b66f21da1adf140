// One camera frame on the video queue: whether it is analysed, what the analysis finds, the known-face
// check and the enrolment capture, and the pause that follows. Nothing here changes published state:
// the result goes to the main thread.
#include "CameraPresence.h"

#include "Foundation/DispatchQueue.h"

#include "Foundation/Base64.h"
#include "Foundation/Iso8601.h"

namespace {

constexpr double identityCheckInterval = 1.0;
constexpr double knownFaceMatchThreshold = 0.6;

} // namespace

// The main thread's state that the frame body reads, copied where it changes.
void CameraPresence::refreshFrameInputs() {
    const VigilorConfig& c = config_();
    FrameInputs inputs;
    inputs.facePresent = facePresent_();
    inputs.missingFaceSamples = missingFaceSamples_();
    inputs.lastFaceSeen = lastFaceSeen_;
    inputs.isEnrolling = enroller_.isEnrolling();
    inputs.breaks = monitor_.breaks();
    inputs.lookAwayYawDegrees = c.lookAwayYawDegrees;
    inputs.lookDownPitchDegrees = c.lookDownPitchDegrees;
    inputs.bodyPoseHintsEnabled = c.bodyPoseHintsEnabled;
    inputs.bodyPoseLockAssistEnabled = c.bodyPoseLockAssistEnabled;
    inputs.requireKnownFaceForPresence = c.requireKnownFaceForPresence;
    inputs.cameraPresenceEnabled = c.cameraPresenceEnabled;
    inputs.displayAsleep = displayAsleep_;
    const std::lock_guard lock(cameraMutex_);
    frameInputs_ = inputs;
}

CameraPresence::FrameInputs CameraPresence::frameInputs() const {
    const std::lock_guard lock(cameraMutex_);
    return frameInputs_;
}

bool CameraPresence::shouldEvaluateFrame(Date at, const FrameInputs& in) {
    const double interval =
        FrameAnalysis::evaluationInterval(in.isEnrolling, in.facePresent, in.missingFaceSamples,
                                          in.breaks.eyeBreakDue(at), in.breaks.walkPromptDue(at));
    if (at.timeIntervalSince(video_.lastFrameEvaluationAt) < interval)
        return false;
    video_.lastFrameEvaluationAt = at;
    return true;
}

bool CameraPresence::shouldRunBodyPoseRequest(Date at, const FrameInputs& in) {
    if (in.bodyPoseHintsEnabled)
        return true;
    if (!in.bodyPoseLockAssistEnabled)
        return false;
    if (in.facePresent && in.missingFaceSamples < 1)
        return false;
    if (at.timeIntervalSince(in.lastFaceSeen) < bodyPoseAssistWarmup ||
        at.timeIntervalSince(video_.lastBodyPoseAssistAt) < bodyPoseAssistInterval)
        return false;
    video_.lastBodyPoseAssistAt = at;
    return true;
}

// A brightness that cannot be measured counts as bright.
bool CameraPresence::isLowLightFrame(const ImageView& image, Date at, bool force) {
    if (force || at.timeIntervalSince(video_.lastBrightnessCheckAt) >= brightnessSampleInterval) {
        try {
            video_.lastAverageBrightness = services_.vision->averageBrightness(image);
        } catch (const VisionError&) {
            video_.lastAverageBrightness = 1.0;
        }
        video_.lastBrightnessCheckAt = at;
    }
    return video_.lastAverageBrightness < lowLightThreshold;
}

void CameraPresence::captureOutput(const std::shared_ptr<CapturedFrame>& frame) {
    const Date at = now();
    const FrameInputs inputs = frameInputs();
    if (!shouldEvaluateFrame(at, inputs))
        return;
    const ImageView* image = frame->imageBuffer();
    if (!image) {
        scheduleLowPowerCameraPause(activeAbsenceEvaluationInterval);
        return;
    }
    const std::optional<FrameAnalysisResult> result = analyseFrame(*image, at, inputs);
    if (!result)
        return;
    DispatchQueue::main().async([weak = weakSelf(), result = *result] {
        if (auto self = weak.lock())
            self->applyFrameResult(result);
    });
    scheduleLowPowerCameraPause(FrameAnalysis::lowPowerPause(
        result->faceCount > 0, inputs.breaks.eyeBreakDue(at), inputs.breaks.walkPromptDue(at)));
}

// The analysis of one frame, with the known-face check and the enrolment capture it starts. Nothing
// when the frame ends here: the analysis failed (reported, and the camera paused) or an enrolment take
// was too badly framed to keep.
std::optional<FrameAnalysisResult> CameraPresence::analyseFrame(const ImageView& image, Date at,
                                                                const FrameInputs& in) {
    const bool landmarkFrame =
        at.timeIntervalSince(video_.lastLandmarkEvaluationAt) >= landmarkEvaluationInterval;
    if (landmarkFrame)
        video_.lastLandmarkEvaluationAt = at;
    const bool bodyPoseFrame = shouldRunBodyPoseRequest(at, in);
    std::vector<FaceObservation> observations;
    std::optional<BodyPoseObservation> bodyPose;
    try {
        observations = services_.vision->detectFaces(image);
        if (bodyPoseFrame)
            bodyPose = services_.vision->detectBodyPose(image);
    } catch (const VisionError& error) {
        scheduleLowPowerCameraPause(activeAbsenceEvaluationInterval);
        DispatchQueue::main().async([weak = weakSelf(), text = std::string(error.what())] {
            if (auto self = weak.lock())
                self->log_.append("Vision error: " + text);
        });
        return std::nullopt;
    }
    const auto faces = FrameAnalysis::confidentFaces(observations);
    const FaceObservation* face = FrameAnalysis::selectedFace(faces);
    FrameAnalysisResult r;
    r.evaluatedAt = at;
    r.faceCount = static_cast<int>(faces.size());
    if (face) {
        r.faceWidth = face->boundingBox.width;
        r.faceCenterY = face->boundingBox.midY();
        r.yawDegrees = face->yawDegrees;
        r.pitchDegrees = face->pitchDegrees;
    }
    r.eyesClosed = landmarkFrame && face && FrameAnalysis::eyesAreClosed(*face);
    r.isLookingAway = FrameAnalysis::isLookingAway(r.yawDegrees, r.pitchDegrees, in.lookAwayYawDegrees,
                                                   in.lookDownPitchDegrees);
    r.eyeRestObserved = face && (r.isLookingAway || r.eyesClosed);
    r.bodyPose =
        FrameAnalysis::summarizeBodyPose(bodyPose, in.bodyPoseHintsEnabled, in.bodyPoseLockAssistEnabled);
    const BodyEvidence evidence = FrameAnalysis::bodyEvidence(r.bodyPose);
    r.bodyPresenceConfirmed = in.bodyPoseLockAssistEnabled && evidence == BodyEvidence::present;
    r.unclearDeskPresence = in.bodyPoseLockAssistEnabled && evidence == BodyEvidence::unclear;
    if (!face)
        r.isLowLightFrame = isLowLightFrame(image, at, in.facePresent || in.missingFaceSamples == 0);
    if (in.requireKnownFaceForPresence) {
        if (face)
            checkIdentity(image, *face, at);
        else
            DispatchQueue::main().async([weak = weakSelf()] {
                if (auto self = weak.lock())
                    self->unknownFaceSamples_ = 0;
            });
    }
    if (face && in.isEnrolling && !captureEnrolmentPrint(image, *face))
        return std::nullopt;
    return r;
}

// At most once a second: the face's print goes to the identity service, whose answer comes back on the
// main thread. The frame does not wait for it.
void CameraPresence::checkIdentity(const ImageView& image, const FaceObservation& face, Date at) {
    if (at.timeIntervalSince(video_.lastIdentityCheckAt) < identityCheckInterval)
        return;
    video_.lastIdentityCheckAt = at;
    if (!video_.faceIdentityService)
        video_.faceIdentityService =
            std::make_shared<FaceIdentityService>(std::nullopt, services_.faceIdentityQueue);
    std::optional<FeaturePrint> print;
    try {
        print = services_.vision->featurePrint(image, face);
    } catch (const VisionError&) {
        return;
    }
    if (!print)
        return;
    video_.faceIdentityService->matchFeaturePrintInProcess(std::move(*print), knownFaceMatchThreshold,
                                                           [weak = weakSelf()](FaceMatchOutcome outcome) {
                                                               if (auto self = weak.lock())
                                                                   self->applyIdentityMatch(outcome);
                                                           });
}

// False when the take is too badly framed to keep: then the whole frame is dropped. A take gives the
// face's print and its mirror image's (the head turned the other way), both kept or dropped by the
// take's quality. Prints that cannot be made leave the frame as it is.
bool CameraPresence::captureEnrolmentPrint(const ImageView& image, const FaceObservation& face) {
    std::vector<FeaturePrint> prints;
    try {
        prints = services_.vision->enrolmentPrints(image, face);
    } catch (const VisionError&) {
        return true;
    }
    if (prints.empty())
        return true;
    const double quality = FrameAnalysis::enrolmentQuality(face.boundingBox);
    if (quality < FrameAnalysis::minimumEnrolmentQuality)
        return false;
    std::vector<FeaturePrintEntry> entries;
    for (const auto& print : prints)
        entries.push_back({quality, iso8601String(now()), base64Encoded(print.archived())});
    DispatchQueue::main().async([weak = weakSelf(), entries = std::move(entries)]() mutable {
        if (auto self = weak.lock())
            self->enroller_.collect(std::move(entries));
    });
    return true;
}
