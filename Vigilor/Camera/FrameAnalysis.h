#pragma once

#include "Foundation/Date.h"
#include "Platform/Vision.h"

#include <optional>
#include <vector>

// What the frames last showed of the body: a pose made out of the shoulders (and hips and knees), a
// frame without one, and the states the frame pipeline reports in its place (low light, a dark room,
// screen sharing, nobody). Its words and level come from `bodyPoseWords` (Vigilor/Monitor/CoachingState.h).
enum class BodyPose {
    starting,         // no frame has been analysed yet
    off,              // body-pose hints and lock assist are both off
    outOfFrame,       // no body, or not both shoulders, in view
    unreadable,       // a body whose points could not be read
    leaning,          // the shoulders tilt
    offCenter,        // the shoulders sit far from the middle
    wideView,         // shoulders, a hip and a knee
    upperBodyAndHips, // shoulders and a hip
    upperBody,        // the shoulders only
    lowLight,         // too dark for a face; the presence state holds
    darkRoom,         // dark and idle long enough for an absence to count
    remote,           // no face while the screen is shared
    away,             // no face and no body
};

// What a frame's body pose tells of a desk whose face is not in view: a body is there, one is there too
// askew to be sure of, or nothing.
enum class BodyEvidence { none, unclear, present };

// The record of one analysed frame, made on the video queue and applied on the main thread.
struct FrameAnalysisResult {
    bool eyeRestObserved = false;
    Date evaluatedAt;
    int faceCount = 0;
    BodyPose bodyPose = BodyPose::starting;
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

// The body pose of a frame from its observation (or none).
BodyPose summarizeBodyPose(const std::optional<BodyPoseObservation>& observation, bool hintsEnabled,
                           bool lockAssistEnabled);
// A pose that shows the body evidences presence; a leaning or off-centre one leaves it unclear.
BodyEvidence bodyEvidence(BodyPose pose);

// A dark frame without a face lets an absence count only in a dark room: dark and idle for 120 s each,
// and with Bluetooth presence in use, no companion near.
bool isDarkRoom(double darkSeconds, double inputIdleSeconds, bool bluetoothPresenceEnabled, bool watchPresent);

// The low-power pause after an analysed frame.
double lowPowerPause(bool faceFound, bool eyeBreakDue, bool walkPromptDue);

} // namespace FrameAnalysis
