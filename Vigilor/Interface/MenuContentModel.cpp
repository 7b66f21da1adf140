#include "MenuContentModel.h"

#include "Foundation/Text.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Monitor/CallDetector.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/DurationText.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

namespace {

SignalChipModel faceChip(const VigilorMonitor& m) {
    const bool face = m.cameraPresence().facePresent();
    const CoachingSummaries& coaching = m.coachingSummaries();
    return {"Face",
            face ? coaching.focusSummary()
                 : m.statusSummaries().faceAbsenceWord().value_or(
                       fixedDecimal(m.cameraPresence().secondsSinceFace(), 1) + "s"),
            face ? "person.crop.circle" : "eye.slash", Theme::colorForLevel(coaching.focusLevel()), ""};
}

SignalChipModel watchChip(const VigilorMonitor& m) {
    const bool near = m.companion().watchPresent();
    return {"Watch", near ? "Near" : m.statusSummaries().watchSignalDetail(), "applewatch",
            near ? Theme::success() : Theme::warning(), ""};
}

// Input idle exactly at the grace already counts as idle.
SignalChipModel controlChip(const VigilorMonitor& m) {
    if (m.remoteControlActive())
        return {"Control", "Remote", "display", Theme::notice(), ""};
    if (m.inputIdleSeconds() < m.config().activeInputGrace)
        return {"Control", "Active", "keyboard", Theme::success(), ""};
    return {"Control", "Idle", "keyboard", SystemColor::secondaryLabel(), ""};
}

void fillMovement(MenuContentModel& model, const VigilorMonitor& m) {
    model.walkBreakEnabled = m.config().walkBreakEnabled;
    model.movementTint = Theme::notice();
    if (!model.walkBreakEnabled)
        return; // the remaining figure is the largest finite double then: never shown as a clock
    const double remaining = m.coachingSummaries().walkBreakRemaining();
    model.walkDue = remaining <= 0;
    model.movementTint = model.walkDue ? Theme::warning() : Theme::notice();
    model.walkProgress = m.coachingSummaries().walkBreakProgress();
    if (model.walkDue) {
        model.movementSystemImage = "figure.walk.motion";
        model.movementLine = "Time to walk";
        model.movementAccessibilityLabel = "Movement: time to walk";
        return;
    }
    const std::string clock = formatMinuteSecondClock(remaining);
    model.movementSystemImage = "chair";
    model.movementLine = "Walk in " + clock;
    model.movementAccessibilityLabel = "Movement: walk in " + clock;
}

} // namespace

// The camera first, as the button asks for it first.
bool permissionIsForCamera(const VigilorMonitor& m) {
    return cameraWords(m.cameraPresence().cameraState().kind).asksPermission ||
           !bluetoothWords(m.companion().bluetoothState()).asksPermission;
}

std::string permissionSymbol(const VigilorMonitor& m) {
    return permissionIsForCamera(m) ? "camera.fill" : "dot.radiowaves.left.and.right";
}

MenuContentModel menuContentModel(const VigilorMonitor& m) {
    MenuContentModel model;
    const CoachingSummaries& coaching = m.coachingSummaries();
    const NudgeLevel level = coaching.nudgeLevel();
    model.levelTint = Theme::colorForLevel(level);

    fillMovement(model, m);
    model.eyes = {.facePresent = m.cameraPresence().facePresent(),
                  .watchPresent = m.companion().watchPresent(),
                  .isLookingAway = m.cameraPresence().isLookingAway(),
                  .isPaused = m.isPaused(),
                  .isBlocked = m.phase() == MonitorPhase::blocked,
                  .isSnoozed = coaching.isSnoozed(),
                  .walkBreakDue = model.walkDue};
    model.nudgeTitle = coaching.nudgeTitle();
    model.nudgeDetail = coaching.nudgeDetail();

    model.showNudgeCard = m.config().visualNudgesEnabled && level != NudgeLevel::allCalm;
    model.nudgeLabel = std::string(nudgeLevelLabel(level));
    model.nudgeSystemImage = coaching.nudgeSystemImage();
    model.decision = m.decision();

    model.showPermissionButton = m.statusSummaries().needsPermissionAction();
    model.permissionForCamera = permissionIsForCamera(m);
    model.permissionSymbol = permissionSymbol(m);
    model.autoLockOn = m.autoLockEnabled();
    model.showLockingOffRow = !m.config().screenLockingEnabled;

    model.chips = {faceChip(m), watchChip(m), controlChip(m)};
    if (m.callDetector().onCall())
        model.chips.push_back({"Call", "On call", "mic.fill", Theme::notice(), "On a call"});
    return model;
}

std::string storeAsk(const std::string& listingWebAddress) {
    return "Try Zorvi on your Linux computer. It is free, does eye-rest and walk reminders, and "
           "keeps camera presence local. Use it once before reviewing it: " +
           listingWebAddress;
}
