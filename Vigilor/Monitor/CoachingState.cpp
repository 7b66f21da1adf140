#include "CoachingState.h"

namespace {

// The levels as the views colour them: success, notice, warning and critical.
constexpr NudgeLevel calm = NudgeLevel::allCalm;
constexpr NudgeLevel nudge = NudgeLevel::gentleNudge;
constexpr NudgeLevel warn = NudgeLevel::worthAdjusting;
constexpr NudgeLevel urgent = NudgeLevel::presenceCheck;

} // namespace

BodyPoseWords bodyPoseWords(BodyPose pose) {
    switch (pose) {
    case BodyPose::starting:
        return {"Face only", "wide view helps", warn, true};
    case BodyPose::off:
        return {"Off", "disabled", warn, false};
    case BodyPose::outOfFrame:
        return {"Face only", "body out of frame", warn, true};
    case BodyPose::unreadable:
        return {"Face only", "body unavailable", warn, true};
    case BodyPose::leaning:
        return {"Leaning", "shoulder tilt", warn, false};
    case BodyPose::offCenter:
        return {"Off center", "recenter camera", warn, false};
    case BodyPose::wideView:
        return {"Wide view", "torso and legs visible", calm, false};
    case BodyPose::upperBodyAndHips:
        return {"Upper body", "shoulders and hips", calm, false};
    case BodyPose::upperBody:
        return {"Upper body", "shoulders visible", calm, false};
    case BodyPose::lowLight:
        return {"Low light", "too dark to see clearly", warn, false};
    case BodyPose::darkRoom:
        return {"Dark room", "away-lock proceeding after inactivity", urgent, false};
    case BodyPose::remote:
        return {"Remote", "screen sharing", urgent, false};
    case BodyPose::away:
        return {"Away", "not visible", urgent, false};
    }
    return {"Face only", "wide view helps", warn, true};
}

CoachingWords gazeWords(Gaze gaze) {
    switch (gaze) {
    case Gaze::away:
        return {"Away", urgent};
    case Gaze::lookingAway:
        return {"Looking away", warn};
    case Gaze::lookingHere:
        return {"Looking here", calm};
    }
    return {"Looking here", calm};
}

CoachingWords distanceWords(ScreenDistance distance) {
    switch (distance) {
    case ScreenDistance::coachingOff:
        return {"Coaching off", warn};
    case ScreenDistance::faceNotVisible:
        return {"Face not visible", urgent};
    case ScreenDistance::learning:
        return {"Learning", warn};
    case ScreenDistance::tooClose:
        return {"Too close", urgent};
    case ScreenDistance::leanBack:
        return {"Lean back", warn};
    case ScreenDistance::farFromBaseline:
        return {"Far from baseline", warn};
    case ScreenDistance::ok:
        return {"Distance OK", calm};
    }
    return {"Distance OK", calm};
}

CoachingWords postureWords(Posture posture) {
    switch (posture) {
    case Posture::coreOnly:
        return {"Core only", warn};
    case Posture::away:
        return {"Away", urgent};
    case Posture::twisted:
        return {"Twisted", warn};
    case Posture::leaningIn:
        return {"Leaning in", warn};
    case Posture::forward:
        return {"Forward", warn};
    case Posture::upright:
        return {"Upright", calm};
    }
    return {"Upright", calm};
}

CoachingWords deskPoseWords(DeskPose pose) {
    switch (pose) {
    case DeskPose::remote:
        return {"Remote", nudge};
    case DeskPose::away:
        return {"Away", nudge};
    case DeskPose::learning:
        return {"Learning", nudge};
    case DeskPose::higher:
        return {"Higher", nudge};
    case DeskPose::lower:
        return {"Lower", nudge};
    case DeskPose::usual:
        return {"Usual", calm};
    }
    return {"Usual", calm};
}

const char* wellnessWords(WellnessStatus status) {
    switch (status) {
    case WellnessStatus::movementDue:
        return "Movement due";
    case WellnessStatus::eyesDue:
        return "Eyes due";
    case WellnessStatus::tooClose:
        return "Too close";
    case WellnessStatus::onTrack:
        return "On track";
    }
    return "On track";
}
