#pragma once

#include "Vigilor/Camera/FrameAnalysis.h"
#include "Vigilor/Monitor/NudgeLevel.h"

// The coaching's states as values: the body pose of the last frames, the gaze, the screen distance, the
// posture, the face height at the desk and the wellness status. The monitor works each one out from what
// it last saw; the words and the level the interface shows come from the state's one table below, and no
// word is ever read back into a state.

// A body pose's row: the published texts under their published names, and its level.
struct BodyPoseWords {
    const char* bodyPoseSummary;
    const char* bodyPoseDetail;
    NudgeLevel bodyPoseLevel;
    bool faceOnly; // nothing of the body was made out, so the desk's detail adds no body words
};
BodyPoseWords bodyPoseWords(BodyPose pose);

// A coaching state's word and the level its colour follows.
struct CoachingWords {
    const char* summary;
    NudgeLevel level;

    bool operator==(const CoachingWords&) const = default;
};

enum class Gaze { away, lookingAway, lookingHere };
CoachingWords gazeWords(Gaze gaze);

// The face's width against its learnt baseline.
enum class ScreenDistance { coachingOff, faceNotVisible, learning, tooClose, leanBack, farFromBaseline, ok };
CoachingWords distanceWords(ScreenDistance distance);

// Turned away first, then the screen distance; `away` is any desk without a face in view.
enum class Posture { coreOnly, away, twisted, leaningIn, forward, upright };
CoachingWords postureWords(Posture posture);

// The face's height against its learnt baseline.
enum class DeskPose { remote, away, learning, higher, lower, usual };
CoachingWords deskPoseWords(DeskPose pose);

// The first thing the coaching asks for; `onTrack` when nothing needs attention.
enum class WellnessStatus { movementDue, eyesDue, tooClose, onTrack };
const char* wellnessWords(WellnessStatus status);
