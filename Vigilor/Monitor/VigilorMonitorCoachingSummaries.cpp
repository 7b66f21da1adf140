// Texts and figures of the coaching for the interface: gaze, screen distance, posture and face
// height, the break countdowns, and the nudge card with its level. Like the presence summaries, each
// is a first-match rule list read afresh every time. The coaching's states are worked out here and their
// words come from their tables (CoachingState.h), so that summaries built on others compare states, not
// texts.
#include "VigilorMonitor.h"

#include "Foundation/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Distance = ScreenDistance;

enum class NudgeRow {
    napping,
    needsAccess,
    remoteControl,
    checkingAwayLock,
    awayLockCannotLock, // Auto Lock is on, but nothing can lock or see the absence
    lostYou,
    lookingAway,
    squareUp,
    easeBack,
    moreScreenSpace,
    moveYourBack,
    restYourEyes,
    inView,
};

// A baseline that is not a positive width has not been learnt: dividing by it would call every face
// too close and print a meaningless percentage.
std::optional<double> learntBaseline(const VigilorMonitor& m) {
    const std::optional<double> baseline = m.cameraPresence().distanceBaselineFaceWidth();
    if (baseline && std::isfinite(*baseline) && *baseline > 0)
        return baseline;
    return std::nullopt;
}

Gaze gaze(const VigilorMonitor& m) {
    const CameraPresence& camera = m.cameraPresence();
    if (!camera.facePresent())
        return Gaze::away;
    return camera.isLookingAway() ? Gaze::lookingAway : Gaze::lookingHere;
}

Distance distanceState(const VigilorMonitor& m) {
    const VigilorConfig& c = m.config();
    if (!c.bodyPoseHintsEnabled)
        return Distance::coachingOff;
    if (!m.cameraPresence().facePresent() || !m.cameraPresence().currentFaceWidth())
        return Distance::faceNotVisible;
    const std::optional<double> baseline = learntBaseline(m);
    if (!baseline)
        return Distance::learning;
    const double ratio = *m.cameraPresence().currentFaceWidth() / *baseline;
    if (ratio > c.distanceDangerRatio)
        return Distance::tooClose;
    if (ratio > c.distanceWarnRatio)
        return Distance::leanBack;
    if (ratio < c.distanceFarRatio)
        return Distance::farFromBaseline;
    return Distance::ok;
}

bool isTwisted(const VigilorMonitor& m) {
    const std::optional<double> yaw = m.cameraPresence().faceYawDegrees();
    return yaw && std::abs(*yaw) >= m.config().postureYawDegrees;
}

Posture postureState(const VigilorMonitor& m) {
    if (!m.config().bodyPoseHintsEnabled)
        return Posture::coreOnly;
    if (!m.cameraPresence().facePresent())
        return Posture::away;
    if (isTwisted(m))
        return Posture::twisted;
    switch (distanceState(m)) {
    case Distance::tooClose:
        return Posture::leaningIn;
    case Distance::leanBack:
        return Posture::forward;
    default:
        return Posture::upright;
    }
}

// Current face height minus its baseline, when both are known.
std::optional<double> faceHeightOffset(const VigilorMonitor& m) {
    const std::optional<double> current = m.cameraPresence().currentFaceCenterY();
    const std::optional<double> baseline = m.cameraPresence().faceCenterBaselineY();
    if (!current || !baseline)
        return std::nullopt;
    return *current - *baseline;
}

// Time left of each interval, counted from its anchor whether or not that break is switched on.
double eyeIntervalLeft(const VigilorMonitor& m, Date at) {
    return m.config().eyeBreakInterval - at.timeIntervalSince(m.breakCoach().lastEyeBreakAt());
}
double walkIntervalLeft(const VigilorMonitor& m, Date at) {
    return m.config().walkBreakInterval - at.timeIntervalSince(m.breakCoach().lastWalkBreakAt());
}

bool eyeBreakDue(const VigilorMonitor& m) {
    return m.config().eyeBreakEnabled && m.eyeBreakRemaining() <= 0;
}
bool walkBreakDue(const VigilorMonitor& m) {
    return m.config().walkBreakEnabled && m.walkBreakRemaining() <= 0;
}

// The elapsed share of a break interval; intervals below a second count as one second.
double elapsedFraction(double elapsed, double interval) {
    return std::clamp(elapsed / std::max(interval, 1.0), 0.0, 1.0);
}

NudgeRow nudgeRow(const VigilorMonitor& m) {
    const bool face = m.cameraPresence().facePresent();
    if (m.isPaused())
        return NudgeRow::napping;
    if (m.phase() == MonitorPhase::blocked)
        return NudgeRow::needsAccess;
    if (m.remoteControlActive() && !face)
        return NudgeRow::remoteControl;
    if (!face && !m.autoLockEnabled())
        return NudgeRow::lostYou;
    if (!face)
        return m.lockAbility() == ZorviLockAbility::ready ? NudgeRow::checkingAwayLock
                                                          : NudgeRow::awayLockCannotLock;
    if (m.cameraPresence().isLookingAway())
        return NudgeRow::lookingAway;
    const bool hints = m.config().bodyPoseHintsEnabled;
    if (hints && postureState(m) == Posture::twisted)
        return NudgeRow::squareUp;
    const Distance distance = distanceState(m);
    if (hints && distance == Distance::tooClose)
        return NudgeRow::easeBack;
    if (hints && distance == Distance::leanBack)
        return NudgeRow::moreScreenSpace;
    if (walkBreakDue(m))
        return NudgeRow::moveYourBack;
    if (eyeBreakDue(m))
        return NudgeRow::restYourEyes;
    return NudgeRow::inView;
}

// Names only the signals in use: the companion only where Bluetooth presence is on.
std::string calmSignalsText(const std::optional<std::string>& companion) {
    return companion ? "Eyes, distance, " + *companion + ", and input look calm."
                     : "Eyes, distance, and input look calm.";
}

} // namespace

bool VigilorMonitor::isSnoozed() const {
    return snoozedAt(snoozeUntil(), now());
}

double VigilorMonitor::snoozeRemaining() const {
    return snoozeRemainingAt(snoozeUntil(), now());
}

std::string VigilorMonitor::focusSummary() const {
    return gazeWords(gaze(*this)).summary;
}

NudgeLevel VigilorMonitor::focusLevel() const {
    return gazeWords(gaze(*this)).level;
}

std::string VigilorMonitor::distanceSummary() const {
    return distanceWords(distanceState(*this)).summary;
}

NudgeLevel VigilorMonitor::distanceLevel() const {
    return distanceWords(distanceState(*this)).level;
}

// Unlike the summary, the detail does not ask for a face: a width still known shows its ratio.
std::string VigilorMonitor::distanceDetail() const {
    if (!config().bodyPoseHintsEnabled)
        return "core lock only";
    if (!camera_.currentFaceWidth())
        return "Camera needs face";
    const std::optional<double> baseline = learntBaseline(*this);
    if (!baseline)
        return "Auto-calibrating";
    return std::to_string(roundedInteger(*camera_.currentFaceWidth() / *baseline * 100)) + "% of usual";
}

Posture VigilorMonitor::posture() const {
    return postureState(*this);
}

// A camera that takes no pictures names itself where an empty desk would be claimed.
std::string VigilorMonitor::postureSummary() const {
    const Posture state = postureState(*this);
    if (state == Posture::away)
        if (auto word = blindCameraWord())
            return *word;
    return postureWords(state).summary;
}

std::string VigilorMonitor::postureDetail() const {
    switch (postureState(*this)) {
    case Posture::coreOnly:
        return "coaching off";
    case Posture::away:
        return blindCameraWord() ? cameraStatus() : "no face";
    case Posture::twisted:
        return std::to_string(roundedInteger(std::abs(*camera_.faceYawDegrees()))) + " deg turn";
    case Posture::upright:
        return "baseline";
    default:
        return distanceDetail();
    }
}

DeskPose VigilorMonitor::deskPose() const {
    if (!camera_.facePresent())
        return remoteControlActive() ? DeskPose::remote : DeskPose::away;
    const std::optional<double> offset = faceHeightOffset(*this);
    if (!offset)
        return DeskPose::learning;
    if (*offset > 0.1)
        return DeskPose::higher;
    if (*offset < -0.1)
        return DeskPose::lower;
    return DeskPose::usual;
}

std::string VigilorMonitor::deskPoseSummary() const {
    const DeskPose pose = deskPose();
    if (pose == DeskPose::away)
        if (auto word = blindCameraWord())
            return *word;
    return deskPoseWords(pose).summary;
}

std::string VigilorMonitor::deskPoseDetail() const {
    if (!camera_.facePresent())
        return remoteControlActive() ? "screen sharing" : blindCameraWord() ? cameraStatus() : "not visible";
    const std::optional<double> offset = faceHeightOffset(*this);
    if (!offset)
        return "face height";
    if (std::abs(*offset) < 0.05)
        return "baseline";
    // A negative number carries its own sign.
    return (*offset > 0 ? "+" : "") + std::to_string(roundedInteger(*offset * 100)) + "% height";
}

// The body's words are the last frame's: none while the camera takes no pictures.
std::string VigilorMonitor::deskFrameDetail() const {
    const BodyPoseWords body = bodyPoseWords(camera_.bodyPose());
    if (body.faceOnly || blindCameraWord())
        return deskPoseDetail();
    return deskPoseDetail() + ", " + body.bodyPoseDetail;
}

double VigilorMonitor::eyeBreakRemaining() const {
    const VigilorConfig& c = config();
    if (!c.eyeBreakEnabled)
        return std::numeric_limits<double>::max();
    return c.eyeBreakInterval - now().timeIntervalSince(breaks_->lastEyeBreakAt());
}

double VigilorMonitor::walkBreakRemaining() const {
    const VigilorConfig& c = config();
    if (!c.walkBreakEnabled)
        return std::numeric_limits<double>::max();
    return c.walkBreakInterval - now().timeIntervalSince(breaks_->lastWalkBreakAt());
}

// The countdown texts run from the anchors whether or not the break is switched on.
std::string VigilorMonitor::eyeBreakSummary() const {
    const double left = eyeIntervalLeft(*this, now());
    return left > 0 ? "Look away in " + formatClock(left) : "Look away now";
}

std::string VigilorMonitor::walkBreakSummary() const {
    const double left = walkIntervalLeft(*this, now());
    return left > 0 ? "Move in " + formatClock(left) : "Move now";
}

std::string VigilorMonitor::walkBreakDetail() const {
    if (walkBreakRemaining() <= 0)
        return formatDurationWithSeconds(std::max(0.0, now().timeIntervalSince(breaks_->lastWalkBreakAt()))) +
               " at desk - walk still due";
    return "Stand or walk " + formatDuration(config().walkBreakDuration);
}

double VigilorMonitor::eyeBreakProgress() const {
    const VigilorConfig& c = config();
    if (!c.eyeBreakEnabled)
        return 0;
    return elapsedFraction(now().timeIntervalSince(breaks_->lastEyeBreakAt()), c.eyeBreakInterval);
}

double VigilorMonitor::walkBreakProgress() const {
    const VigilorConfig& c = config();
    if (!c.walkBreakEnabled)
        return 0;
    return elapsedFraction(now().timeIntervalSince(breaks_->lastWalkBreakAt()), c.walkBreakInterval);
}

double VigilorMonitor::movementMinutesProgress() const {
    return walkBreakProgress();
}

// Only completed hours count: 3599.9 s seated is not yet an hour.
std::string VigilorMonitor::movementElapsedHourNote() const {
    const double seated = std::max(0.0, now().timeIntervalSince(breaks_->lastWalkBreakAt()));
    if (seated < 3600)
        return "";
    return std::to_string(static_cast<int64_t>(seated / 3600)) + "h seated";
}

WellnessStatus VigilorMonitor::wellnessStatus() const {
    // A break type the user switched off is never due, so it never lights the icon's warning dot.
    if (walkBreakDue(*this))
        return WellnessStatus::movementDue;
    if (eyeBreakDue(*this))
        return WellnessStatus::eyesDue;
    const Distance distance = distanceState(*this);
    if (config().bodyPoseHintsEnabled && (distance == Distance::leanBack || distance == Distance::tooClose))
        return WellnessStatus::tooClose;
    return WellnessStatus::onTrack;
}

std::string VigilorMonitor::nudgeTitle() const {
    switch (nudgeRow(*this)) {
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

std::string VigilorMonitor::nudgeDetail() const {
    const VigilorConfig& c = config();
    switch (nudgeRow(*this)) {
    case NudgeRow::napping:
        return "Wake Zorvi when you want presence checks again.";
    case NudgeRow::needsAccess:
        return signalBrief();
    case NudgeRow::remoteControl:
        return "This computer is being controlled remotely; camera presence is away.";
    case NudgeRow::checkingAwayLock:
    case NudgeRow::awayLockCannotLock:
        return lockReason();
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
    return calmSignalsText(companion_->bluetoothPresenceEnabled()
                               ? std::optional(companion_->companionWordCapitalised())
                               : std::nullopt);
}

std::string VigilorMonitor::nudgeSystemImage() const {
    switch (nudgeRow(*this)) {
    case NudgeRow::napping:
        return "moon.zzz.fill";
    case NudgeRow::needsAccess:
        return "exclamationmark.triangle.fill";
    case NudgeRow::remoteControl:
        return "display";
    case NudgeRow::checkingAwayLock:
    case NudgeRow::awayLockCannotLock:
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
NudgeLevel VigilorMonitor::nudgeLevel() const {
    if (isPaused())
        return NudgeLevel::gentleNudge;
    if (phase() == MonitorPhase::blocked || !camera_.facePresent())
        return NudgeLevel::presenceCheck;
    const bool hints = config().bodyPoseHintsEnabled;
    const Posture posture = postureState(*this);
    const Distance distance = distanceState(*this);
    if (hints && (posture == Posture::twisted || distance == Distance::tooClose))
        return NudgeLevel::worthAdjusting;
    if (walkBreakDue(*this) || eyeBreakDue(*this))
        return NudgeLevel::worthAdjusting;
    if (camera_.isLookingAway())
        return NudgeLevel::gentleNudge;
    if (hints && (posture == Posture::forward || distance == Distance::leanBack))
        return NudgeLevel::gentleNudge;
    return NudgeLevel::allCalm;
}
