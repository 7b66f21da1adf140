// The coaching's summaries: each is a first-match rule list read afresh every time, over states worked
// out here whose words come from their tables.
#include "Vigilor/Monitor/CoachingSummaries.h"

#include "Foundation/Rounding.h"
#include "Vigilor/Monitor/DurationText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

enum class CoachingSummaries::NudgeRow {
    napping,
    needsAccess,
    remoteControl,
    checkingAwayLock,
    awayLockCannotLock, // Auto Lock is on, but nothing can lock or see the absence, whoever is in view
    lostYou,
    lookingAway,
    squareUp,
    easeBack,
    moreScreenSpace,
    moveYourBack,
    restYourEyes,
    inView,
};

namespace {

using Distance = ScreenDistance;

// The elapsed share of a break interval; intervals below a second count as one second.
double elapsedFraction(double elapsed, double interval) {
    return std::clamp(elapsed / std::max(interval, 1.0), 0.0, 1.0);
}

// Names only the signals heard: the companion only while it is heard near, in lower case mid-sentence.
std::string calmSignalsText(std::optional<std::string> companion) {
    if (!companion)
        return "Eyes, distance, and input look calm.";
    std::transform(companion->begin(), companion->end(), companion->begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return "Eyes, distance, " + *companion + ", and input look calm.";
}

} // namespace

// A baseline that is not a positive width has not been learnt: dividing by it would call every face
// too close and print a meaningless percentage.
std::optional<double> CoachingSummaries::learntBaseline() const {
    const std::optional<double> baseline = camera_.distanceBaselineFaceWidth();
    if (baseline && std::isfinite(*baseline) && *baseline > 0)
        return baseline;
    return std::nullopt;
}

Gaze CoachingSummaries::gaze() const {
    if (!camera_.facePresent())
        return Gaze::away;
    return camera_.isLookingAway() ? Gaze::lookingAway : Gaze::lookingHere;
}

ScreenDistance CoachingSummaries::distance() const {
    const VigilorConfig& c = config();
    if (!c.bodyPoseHintsEnabled)
        return Distance::coachingOff;
    if (!camera_.facePresent() || !camera_.currentFaceWidth())
        return Distance::faceNotVisible;
    const std::optional<double> baseline = learntBaseline();
    if (!baseline)
        return Distance::learning;
    const double ratio = *camera_.currentFaceWidth() / *baseline;
    if (ratio > c.distanceDangerRatio)
        return Distance::tooClose;
    if (ratio > c.distanceWarnRatio)
        return Distance::leanBack;
    if (ratio < c.distanceFarRatio)
        return Distance::farFromBaseline;
    return Distance::ok;
}

bool CoachingSummaries::isTwisted() const {
    const std::optional<double> yaw = camera_.faceYawDegrees();
    return yaw && std::abs(*yaw) >= config().postureYawDegrees;
}

Posture CoachingSummaries::posture() const {
    if (!config().bodyPoseHintsEnabled)
        return Posture::coreOnly;
    if (!camera_.facePresent())
        return Posture::away;
    if (isTwisted())
        return Posture::twisted;
    switch (distance()) {
    case Distance::tooClose:
        return Posture::leaningIn;
    case Distance::leanBack:
        return Posture::forward;
    default:
        return Posture::upright;
    }
}

// Current face height minus its baseline, when both are known.
std::optional<double> CoachingSummaries::faceHeightOffset() const {
    const std::optional<double> current = camera_.currentFaceCenterY();
    const std::optional<double> baseline = camera_.faceCenterBaselineY();
    if (!current || !baseline)
        return std::nullopt;
    return *current - *baseline;
}

// Time left of each interval, counted from its anchor whether or not that break is switched on.
double CoachingSummaries::eyeIntervalLeft(Date at) const {
    return config().eyeBreakInterval - at.timeIntervalSince(breaks_.lastEyeBreakAt());
}
double CoachingSummaries::walkIntervalLeft(Date at) const {
    return config().walkBreakInterval - at.timeIntervalSince(breaks_.lastWalkBreakAt());
}

bool CoachingSummaries::eyeBreakDue() const {
    return config().eyeBreakEnabled && eyeBreakRemaining() <= 0;
}
bool CoachingSummaries::walkBreakDue() const {
    return config().walkBreakEnabled && walkBreakRemaining() <= 0;
}

CoachingSummaries::NudgeRow CoachingSummaries::nudgeRow() const {
    const bool face = camera_.facePresent();
    if (monitor_.paused())
        return NudgeRow::napping;
    // Only Auto Lock can be armed: its lock ability is ready while it is off.
    if (status_.lockAbility() != ZorviLockAbility::ready)
        return NudgeRow::awayLockCannotLock;
    if (monitor_.phase() == MonitorPhase::blocked)
        return NudgeRow::needsAccess;
    if (monitor_.remoteControlActive() && !face)
        return NudgeRow::remoteControl;
    if (!face && !monitor_.autoLockEnabled())
        return NudgeRow::lostYou;
    if (!face)
        return NudgeRow::checkingAwayLock;
    if (camera_.isLookingAway())
        return NudgeRow::lookingAway;
    const bool hints = config().bodyPoseHintsEnabled;
    if (hints && posture() == Posture::twisted)
        return NudgeRow::squareUp;
    const Distance screen = distance();
    if (hints && screen == Distance::tooClose)
        return NudgeRow::easeBack;
    if (hints && screen == Distance::leanBack)
        return NudgeRow::moreScreenSpace;
    if (walkBreakDue())
        return NudgeRow::moveYourBack;
    if (eyeBreakDue())
        return NudgeRow::restYourEyes;
    return NudgeRow::inView;
}

std::string CoachingSummaries::focusSummary() const {
    return gazeWords(gaze()).summary;
}

NudgeLevel CoachingSummaries::focusLevel() const {
    return gazeWords(gaze()).level;
}

std::string CoachingSummaries::distanceSummary() const {
    return distanceWords(distance()).summary;
}

NudgeLevel CoachingSummaries::distanceLevel() const {
    return distanceWords(distance()).level;
}

// Unlike the summary, the detail does not ask for a face: a width still known shows its ratio.
std::string CoachingSummaries::distanceDetail() const {
    if (!config().bodyPoseHintsEnabled)
        return "core lock only";
    if (!camera_.currentFaceWidth())
        return "Camera needs face";
    const std::optional<double> baseline = learntBaseline();
    if (!baseline)
        return "Auto-calibrating";
    return std::to_string(roundedInteger(*camera_.currentFaceWidth() / *baseline * 100)) + "% of usual";
}

// A camera that takes no pictures names itself where an empty desk would be claimed.
std::string CoachingSummaries::postureSummary() const {
    const Posture state = posture();
    if (state == Posture::away)
        if (auto word = status_.blindCameraWord())
            return *word;
    return postureWords(state).summary;
}

std::string CoachingSummaries::postureDetail() const {
    switch (posture()) {
    case Posture::coreOnly:
        return "coaching off";
    case Posture::away:
        return status_.blindCameraWord() ? status_.cameraStatus() : "no face";
    case Posture::twisted:
        return std::to_string(roundedInteger(std::abs(*camera_.faceYawDegrees()))) + " deg turn";
    case Posture::upright:
        return "baseline";
    default:
        return distanceDetail();
    }
}

DeskPose CoachingSummaries::deskPose() const {
    if (!camera_.facePresent())
        return monitor_.remoteControlActive() ? DeskPose::remote : DeskPose::away;
    const std::optional<double> offset = faceHeightOffset();
    if (!offset)
        return DeskPose::learning;
    if (*offset > 0.1)
        return DeskPose::higher;
    if (*offset < -0.1)
        return DeskPose::lower;
    return DeskPose::usual;
}

std::string CoachingSummaries::deskPoseSummary() const {
    const DeskPose pose = deskPose();
    if (pose == DeskPose::away)
        if (auto word = status_.blindCameraWord())
            return *word;
    return deskPoseWords(pose).summary;
}

std::string CoachingSummaries::deskPoseDetail() const {
    if (!camera_.facePresent())
        return monitor_.remoteControlActive() ? "screen sharing"
               : status_.blindCameraWord()    ? status_.cameraStatus()
                                              : "not visible";
    const std::optional<double> offset = faceHeightOffset();
    if (!offset)
        return "face height";
    if (std::abs(*offset) < 0.05)
        return "baseline";
    // A negative number carries its own sign.
    return (*offset > 0 ? "+" : "") + std::to_string(roundedInteger(*offset * 100)) + "% height";
}

// The body's words are the last frame's: none while the camera takes no pictures.
std::string CoachingSummaries::deskFrameDetail() const {
    const BodyPoseWords body = bodyPoseWords(camera_.bodyPose());
    if (body.faceOnly || status_.blindCameraWord())
        return deskPoseDetail();
    return deskPoseDetail() + ", " + body.bodyPoseDetail;
}

double CoachingSummaries::eyeBreakRemaining() const {
    const VigilorConfig& c = config();
    if (!c.eyeBreakEnabled)
        return std::numeric_limits<double>::max();
    return c.eyeBreakInterval - now().timeIntervalSince(breaks_.lastEyeBreakAt());
}

double CoachingSummaries::walkBreakRemaining() const {
    const VigilorConfig& c = config();
    if (!c.walkBreakEnabled)
        return std::numeric_limits<double>::max();
    return c.walkBreakInterval - now().timeIntervalSince(breaks_.lastWalkBreakAt());
}

// The countdown texts run from the anchors whether or not the break is switched on.
std::string CoachingSummaries::eyeBreakSummary() const {
    const double left = eyeIntervalLeft(now());
    return left > 0 ? "Look away in " + formatClock(left) : "Look away now";
}

std::string CoachingSummaries::walkBreakSummary() const {
    const double left = walkIntervalLeft(now());
    return left > 0 ? "Move in " + formatClock(left) : "Move now";
}

std::string CoachingSummaries::walkBreakDetail() const {
    if (walkBreakRemaining() <= 0)
        return formatDurationWithSeconds(std::max(0.0, now().timeIntervalSince(breaks_.lastWalkBreakAt()))) +
               " at desk - walk still due";
    return "Stand or walk " + formatDuration(config().walkBreakDuration);
}

double CoachingSummaries::eyeBreakProgress() const {
    const VigilorConfig& c = config();
    if (!c.eyeBreakEnabled)
        return 0;
    return elapsedFraction(now().timeIntervalSince(breaks_.lastEyeBreakAt()), c.eyeBreakInterval);
}

double CoachingSummaries::walkBreakProgress() const {
    const VigilorConfig& c = config();
    if (!c.walkBreakEnabled)
        return 0;
    return elapsedFraction(now().timeIntervalSince(breaks_.lastWalkBreakAt()), c.walkBreakInterval);
}

double CoachingSummaries::movementMinutesProgress() const {
    return walkBreakProgress();
}

// Only completed hours count: 3599.9 s seated is not yet an hour.
std::string CoachingSummaries::movementElapsedHourNote() const {
    const double seated = std::max(0.0, now().timeIntervalSince(breaks_.lastWalkBreakAt()));
    if (seated < 3600)
        return "";
    return std::to_string(static_cast<int64_t>(seated / 3600)) + "h seated";
}

WellnessStatus CoachingSummaries::wellnessStatus() const {
    // A break type the user switched off is never due, so it never lights the icon's warning dot.
    if (walkBreakDue())
        return WellnessStatus::movementDue;
    if (eyeBreakDue())
        return WellnessStatus::eyesDue;
    const Distance screen = distance();
    if (config().bodyPoseHintsEnabled && (screen == Distance::leanBack || screen == Distance::tooClose))
        return WellnessStatus::tooClose;
    return WellnessStatus::onTrack;
}

std::string CoachingSummaries::nudgeTitle() const {
    switch (nudgeRow()) {
    case NudgeRow::napping:
        return "Zorvi is napping";
    case NudgeRow::needsAccess:
        return cameraWords(camera_.cameraState().kind).nudgeTitle;
    case NudgeRow::remoteControl:
        return "Remote control active";
    case NudgeRow::checkingAwayLock:
        return "Checking away lock";
    case NudgeRow::awayLockCannotLock:
        return "Auto Lock cannot lock";
    case NudgeRow::lostYou:
        // Only a camera that delivers frames can have lost a face.
        return camera_.cameraDeliversFrames(now()) ? "Zorvi lost you"
                                                   : cameraWords(camera_.cameraState().kind).nudgeTitle;
    case NudgeRow::lookingAway:
        return "Nice look-away";
    case NudgeRow::squareUp:
        return "Square up gently";
    case NudgeRow::easeBack:
        return "Ease back from the screen";
    case NudgeRow::moreScreenSpace:
        return "A little more screen space";
    case NudgeRow::moveYourBack:
        return "Move your back";
    case NudgeRow::restYourEyes:
        return "Rest your eyes";
    case NudgeRow::inView:
        return "You are in view";
    }
    return "You are in view";
}

std::string CoachingSummaries::nudgeDetail() const {
    const VigilorConfig& c = config();
    switch (nudgeRow()) {
    case NudgeRow::napping:
        return "Wake Zorvi when you want presence checks again.";
    case NudgeRow::needsAccess:
        return status_.signalBrief();
    case NudgeRow::remoteControl:
        return "This computer is being controlled remotely; camera presence is away.";
    case NudgeRow::checkingAwayLock:
        return status_.lockReason();
    case NudgeRow::awayLockCannotLock:
        if (const auto ability = status_.lockAbilityWords())
            return ability->lockReason;
        return status_.lockReason();
    case NudgeRow::lostYou:
        return "Coaching only; Auto Lock is off.";
    case NudgeRow::lookingAway:
        return "Hold for " + formatDuration(c.eyeBreakDuration) + " to count it as eye rest.";
    case NudgeRow::squareUp:
        return "Your face is turned away from your usual camera baseline.";
    case NudgeRow::easeBack:
    case NudgeRow::moreScreenSpace:
        return distanceDetail();
    case NudgeRow::moveYourBack:
        return "Stand or walk for " + formatDuration(c.walkBreakDuration) + ".";
    case NudgeRow::restYourEyes:
        return "Look at something distant for " + formatDuration(c.eyeBreakDuration) + ".";
    case NudgeRow::inView:
        break;
    }
    const bool heard = companion_.bluetoothPresenceEnabled() && !companion_.isBluetoothUnavailable() &&
                       companion_.watchPresent();
    return calmSignalsText(heard ? std::optional(companion_.companionWordCapitalised()) : std::nullopt);
}

std::string CoachingSummaries::nudgeSystemImage() const {
    switch (nudgeRow()) {
    case NudgeRow::napping:
        return "moon.zzz.fill";
    case NudgeRow::needsAccess:
        return "exclamationmark.triangle.fill";
    case NudgeRow::remoteControl:
        return "display";
    case NudgeRow::awayLockCannotLock:
        return "lock.slash";
    case NudgeRow::checkingAwayLock:
    case NudgeRow::lostYou:
        return "eye.slash.fill";
    case NudgeRow::lookingAway:
    case NudgeRow::restYourEyes:
        return "eye.fill";
    case NudgeRow::squareUp:
        return "figure.stand";
    case NudgeRow::easeBack:
    case NudgeRow::moreScreenSpace:
        return "ruler.fill";
    case NudgeRow::moveYourBack:
        return "figure.walk";
    case NudgeRow::inView:
        return "face.smiling.fill";
    }
    return "face.smiling.fill";
}

// Its own order, not the card's: a due break outranks a look-away here while the card shows the
// look-away, and Screen Sharing without a face is a presence check.
NudgeLevel CoachingSummaries::nudgeLevel() const {
    if (monitor_.paused())
        return NudgeLevel::gentleNudge;
    if (monitor_.phase() == MonitorPhase::blocked || !camera_.facePresent() ||
        status_.lockAbility() != ZorviLockAbility::ready)
        return NudgeLevel::presenceCheck;
    const bool hints = config().bodyPoseHintsEnabled;
    const Posture body = posture();
    const Distance screen = distance();
    if (hints && (body == Posture::twisted || screen == Distance::tooClose))
        return NudgeLevel::worthAdjusting;
    if (walkBreakDue() || eyeBreakDue())
        return NudgeLevel::worthAdjusting;
    if (camera_.isLookingAway())
        return NudgeLevel::gentleNudge;
    if (hints && (body == Posture::forward || screen == Distance::leanBack))
        return NudgeLevel::gentleNudge;
    return NudgeLevel::allCalm;
}
