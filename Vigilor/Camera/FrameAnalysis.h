#pragma once

#include "Foundation/Date.h"
#include "Platform/Vision.h"

#include <optional>
#include <string>
#include <vector>

// The record of one analysed frame, made on the video queue and applied on the main thread.
struct FrameAnalysisResult {
    bool eyeRestObserved = false;
    Date evaluatedAt;
    int faceCount = 0;
    std::string bodyPoseSummary;
    std::string bodyPoseDetail;
    std::string bodyPoseLevel;
    std::optional<double> faceWidth;
    std::optional<double> faceCenterY;
    std::optional<double> yawDegrees;
    std::optional<double> pitchDegrees;
    bool isLookingAway = false;
    bool eyesClosed = false;
    bool isLowLightFrame = false;
    bool bodyPresenceConfirmed = false;
    bool unclearDeskPresence = false;
};

// The three body-pose texts of one frame.
struct BodyPoseSummary {
    std::string summary;
    std::string detail;
    std::string level;

    bool operator==(const BodyPoseSummary&) const = default;
};

// The pure rules of the frame pipeline: which frames are analysed, which face counts, how it is
// measured and what a frame without a face means.
namespace FrameAnalysis {

inline constexpr double minimumFaceConfidence = 0.5;
inline constexpr double minimumEnrolmentQuality = 0.4;
inline constexpr double closedEyeOpenness = 0.1;
inline constexpr double faceGeometryStep = 0.005;

// Seconds between analysed frames: while enrolling, while the face is missing or being lost, while an
// eye break waits to be confirmed, or with the face stably present.
double evaluationInterval(bool isEnrolling, bool facePresent, int missingFaceSamples, bool eyeBreakDue,
                          bool walkPromptDue);

// The faces that count (confidence at least 0.5), in result order.
std::vector<const FaceObservation*> confidentFaces(const std::vector<FaceObservation>& faces);
// The widest of them; of equally wide faces the first. Nothing for no faces.
const FaceObservation* selectedFace(const std::vector<const FaceObservation*>& faces);

// Looking away when either angle reaches its limit (a missing angle counts as 0).
bool isLookingAway(std::optional<double> yawDegrees, std::optional<double> pitchDegrees, double yawLimit,
                   double pitchLimit);
// Both eyes' mean openness (height over width of their landmark points) below 0.1; an eye with 3 or
// fewer points, or no width, is left out, and without any eye the answer is false.
bool eyesAreClosed(const FaceObservation& face);

// Face geometry to the nearest multiple of 0.005, angles to whole degrees, halves away from zero.
std::optional<double> roundedFaceGeometry(std::optional<double> value);
std::optional<double> roundedDegrees(std::optional<double> value);

// How well a face is framed for enrolment, 0...1: the mean of a size term and a centring term.
double enrolmentQuality(const NormalizedRect& face);

// The body-pose texts of a frame from its observation (or none).
BodyPoseSummary summarizeBodyPose(const std::optional<BodyPoseObservation>& observation, bool hintsEnabled,
                                  bool lockAssistEnabled);

// A dark frame without a face lets an absence count only in a dark room: dark and idle for 120 s each,
// and with Bluetooth presence in use, no companion near.
bool isDarkRoom(double darkSeconds, double inputIdleSeconds, bool bluetoothPresenceEnabled, bool watchPresent);

// The low-power pause after an analysed frame.
double lowPowerPause(bool faceFound, bool eyeBreakDue, bool walkPromptDue);

} // namespace FrameAnalysis
