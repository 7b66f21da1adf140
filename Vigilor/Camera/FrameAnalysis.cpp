#include "FrameAnalysis.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>

namespace FrameAnalysis {

double evaluationInterval(bool isEnrolling, bool facePresent, int missingFaceSamples, bool eyeBreakDue,
                          bool walkPromptDue) {
    if (isEnrolling)
        return 0.25;
    if (!facePresent || missingFaceSamples > 0)
        return 5;
    if (eyeBreakDue && !walkPromptDue)
        return 2;
    return 10;
}

std::vector<const FaceObservation*> confidentFaces(const std::vector<FaceObservation>& faces) {
    std::vector<const FaceObservation*> kept;
    for (const auto& face : faces)
        if (face.confidence >= minimumFaceConfidence)
            kept.push_back(&face);
    return kept;
}

const FaceObservation* selectedFace(const std::vector<const FaceObservation*>& faces) {
    const FaceObservation* widest = nullptr;
    for (const FaceObservation* face : faces)
        if (!widest || face->boundingBox.width > widest->boundingBox.width)
            widest = face;
    return widest;
}

bool isLookingAway(std::optional<double> yawDegrees, std::optional<double> pitchDegrees, double yawLimit,
                   double pitchLimit) {
    return yawLimit <= std::fabs(yawDegrees.value_or(0)) || pitchLimit <= std::fabs(pitchDegrees.value_or(0));
}

namespace {

std::optional<double> openness(std::span<const NormalizedPoint> eye) {
    if (eye.size() <= 3)
        return std::nullopt;
    const auto [left, right] =
        std::minmax_element(eye.begin(), eye.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    const auto [bottom, top] =
        std::minmax_element(eye.begin(), eye.end(), [](const auto& a, const auto& b) { return a.y < b.y; });
    const double width = right->x - left->x;
    if (!(width > 0))
        return std::nullopt;
    return (top->y - bottom->y) / width;
}

std::optional<double> rounded(std::optional<double> value, double step) {
    if (!value)
        return std::nullopt;
    return roundHalfAwayFromZero(*value / step) * step;
}

} // namespace

bool eyesAreClosed(const FaceObservation& face) {
    if (!face.landmarks)
        return false;
    std::vector<double> values;
    for (const auto& eye : {face.landmarks->leftEye(), face.landmarks->rightEye()})
        if (const auto value = openness(eye))
            values.push_back(*value);
    if (values.empty())
        return false;
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size()) < closedEyeOpenness;
}

std::optional<double> roundedFaceGeometry(std::optional<double> value) {
    return rounded(value, faceGeometryStep);
}

std::optional<double> roundedDegrees(std::optional<double> value) {
    return rounded(value, 1);
}

double enrolmentQuality(const NormalizedRect& face) {
    const double size = std::min(1.0, face.width * face.height * 4);
    const double dx = face.midX() - 0.5, dy = face.midY() - 0.5;
    const double centring = std::max(0.2, 1 - 1.5 * std::sqrt(dx * dx + dy * dy));
    return (size + centring) / 2;
}

namespace {

const RecognizedBodyPoint* confidentJoint(const std::vector<RecognizedBodyPoint>& points, BodyJoint joint) {
    for (const auto& point : points)
        if (point.joint == joint && point.confidence >= 0.35)
            return &point;
    return nullptr;
}

} // namespace

BodyPose summarizeBodyPose(const std::optional<BodyPoseObservation>& observation, bool hintsEnabled,
                           bool lockAssistEnabled) {
    if (!hintsEnabled && !lockAssistEnabled)
        return BodyPose::off;
    if (!observation)
        return BodyPose::outOfFrame;
    if (!observation->recognizedPoints)
        return BodyPose::unreadable;
    const auto& points = *observation->recognizedPoints;
    const auto* leftShoulder = confidentJoint(points, BodyJoint::leftShoulder);
    const auto* rightShoulder = confidentJoint(points, BodyJoint::rightShoulder);
    if (!leftShoulder || !rightShoulder)
        return BodyPose::outOfFrame;
    if (std::fabs(leftShoulder->location.y - rightShoulder->location.y) > 0.075)
        return BodyPose::leaning;
    const double midX = (leftShoulder->location.x + rightShoulder->location.x) / 2;
    if (midX < 0.34 || midX > 0.66)
        return BodyPose::offCenter;
    const bool hip = confidentJoint(points, BodyJoint::leftHip) || confidentJoint(points, BodyJoint::rightHip);
    const bool knee = confidentJoint(points, BodyJoint::leftKnee) || confidentJoint(points, BodyJoint::rightKnee);
    if (hip && knee)
        return BodyPose::wideView;
    return hip ? BodyPose::upperBodyAndHips : BodyPose::upperBody;
}

BodyEvidence bodyEvidence(BodyPose pose) {
    switch (pose) {
    case BodyPose::wideView:
    case BodyPose::upperBodyAndHips:
    case BodyPose::upperBody:
        return BodyEvidence::present;
    case BodyPose::leaning:
    case BodyPose::offCenter:
        return BodyEvidence::unclear;
    default:
        return BodyEvidence::none;
    }
}

bool isDarkRoom(double darkSeconds, double inputIdleSeconds, bool bluetoothPresenceEnabled, bool watchPresent) {
    constexpr double darkRoomActivityTimeout = 120;
    return darkSeconds >= darkRoomActivityTimeout && inputIdleSeconds >= darkRoomActivityTimeout &&
           !(bluetoothPresenceEnabled && watchPresent);
}

double lowPowerPause(bool faceFound, bool eyeBreakDue, bool walkPromptDue) {
    if (!faceFound)
        return 5;
    return eyeBreakDue && !walkPromptDue ? 2 : 10;
}

} // namespace FrameAnalysis
