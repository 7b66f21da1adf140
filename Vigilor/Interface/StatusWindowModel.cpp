#include "StatusWindowModel.h"

#include "Foundation/Rounding.h"
#include "Foundation/Text.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QString>

namespace {

constexpr size_t shownLockRows = 6;
constexpr int64_t goodFollowRate = 75;

// A rate that needs at least one chance to mean anything.
std::optional<int64_t> followRate(int64_t followed, int64_t chances) {
    if (chances < 1)
        return std::nullopt;
    return roundedInteger(double(followed) / double(chances) * 100);
}

QColor tileTint(std::optional<int64_t> rate, const QColor& good) {
    return rate && *rate >= goodFollowRate ? good : SystemColor::orange();
}

// Each word with an upper-case first letter and the rest in lower case.
std::string capitalisedWords(const std::string& text) {
    QString word = qs(text).toLower();
    bool atStart = true;
    for (QChar& c : word) {
        if (c.isLetterOrNumber()) {
            if (atStart)
                c = c.toUpper();
            atStart = false;
        } else {
            atStart = true;
        }
    }
    return word.toStdString();
}

std::vector<StatusMeterModel> statusMeters(const VigilorMonitor& m) {
    const CoachingSummaries& coaching = m.coachingSummaries();
    // The remaining times are the largest finite double while a break kind is off: never due then.
    const bool eyeDue = coaching.eyeBreakRemaining() <= 0;
    const bool walkDue = coaching.walkBreakRemaining() <= 0;
    std::vector<StatusMeterModel> meters{
        {"Eyes", eyeDue ? "Due now" : "On track", eyeDue ? "20 sec distant focus" : "until look-away",
         coaching.eyeBreakProgress(), eyeDue ? SystemColor::orange() : Theme::success()},
        {"Move", walkDue ? "Due now" : "On track",
         walkDue ? coaching.walkBreakDetail() : "until stand or walk", coaching.walkBreakProgress(),
         walkDue ? SystemColor::orange() : Theme::notice()},
    };
    if (m.config().bodyPoseHintsEnabled)
        meters.push_back({"Posture", coaching.postureSummary(), coaching.postureDetail(), std::nullopt,
                          Theme::colorForLevel(postureWords(coaching.posture()).level)});
    return meters;
}

std::vector<SignalRow> signalGridRows(const VigilorMonitor& m) {
    const StatusSummaries& status = m.statusSummaries();
    return {
        {"Mode", status.modeSummary()},
        {"Confidence", std::to_string(status.presenceConfidence()) + "%"},
        {"Face", m.cameraPresence().facePresent()
                     ? "Present"
                     : status.faceAbsenceWord().value_or(
                           "Missing for " + fixedDecimal(m.cameraPresence().secondsSinceFace(), 1) + "s")},
        {"Watch", status.watchSummary()},
        {"Input", status.inputSummary()},
        {"Compatibility", compatibilityRequirement},
    };
}

void fillLockActivity(StatusWindowModel& model, const VigilorMonitor& m) {
    const std::vector<LogLine>& lines = m.log().lockEvents();
    model.lockEventCount = lines.size();
    model.lockRows.assign(lines.begin(), lines.begin() + std::ptrdiff_t(std::min(lines.size(), shownLockRows)));
    // A held-back lock is news only while Auto Lock is on.
    model.suppressionReason = m.autoLockEnabled() ? m.statusSummaries().wontLockReason() : std::nullopt;
    model.autoLockEnabled = m.autoLockEnabled();
    model.pauseTitle = m.isPaused() ? "Resume" : "Pause";
}

} // namespace

QColor rhythmTileTint(const WellnessPeriodSummary& s) {
    return tileTint(followRate(s.followedCount, s.opportunityCount), Theme::success());
}

QColor walkTileTint(const WellnessPeriodSummary& s) {
    return tileTint(followRate(s.movementCredits, s.movementCredits + s.skippedWalks + s.walkDismissed),
                    Theme::notice());
}

RecoveryCardModel recoveryCardModel(const RecoveryMirror& r) {
    RecoveryCardModel model;
    model.visible = r.hrvMs || r.restingHeartRateBpm;
    if (r.hrvMs)
        model.figures.push_back({"HRV", fixedDecimal(*r.hrvMs, 0), "ms"});
    if (r.restingHeartRateBpm)
        model.figures.push_back({"Resting HR", fixedDecimal(*r.restingHeartRateBpm, 0), "bpm"});
    model.band = capitalisedWords(r.band);
    const std::optional<RecoveryBand> band = recoveryBand(r.band);
    model.tint = !band                           ? SystemColor::orange()
                 : *band == RecoveryBand::strong ? Theme::success()
                                                 : Theme::notice();
    return model;
}

PresenceMarkView::State presenceMarkState(const VigilorMonitor& m) {
    const CameraPresence& camera = m.cameraPresence();
    return {camera.facePresent(),
            m.companion().watchPresent(),
            camera.isLookingAway(),
            m.isPaused(),
            m.phase() == MonitorPhase::blocked,
            cameraWords(camera.cameraState().kind).markReason};
}

StatusWindowModel statusWindowModel(const VigilorMonitor& m) {
    const CoachingSummaries& coaching = m.coachingSummaries();
    StatusWindowModel model;
    model.mark = presenceMarkState(m);
    model.lockReason = m.statusSummaries().lockReason();
    model.heroTint = Theme::colorForLevel(coaching.focusLevel());

    const bool walkDue = m.config().walkBreakEnabled && coaching.walkBreakRemaining() <= 0;
    model.movementTint = walkDue ? Theme::warning() : Theme::notice();
    model.postureTint = Theme::colorForLevel(postureWords(coaching.posture()).level);
    model.poseTint = Theme::colorForLevel(deskPoseWords(coaching.deskPose()).level);

    model.meters = statusMeters(m);
    model.periods = m.wellnessHistory().wellnessPeriodSummaries();
    for (const WellnessPeriodSummary& period : model.periods) {
        model.rhythmTints.push_back(rhythmTileTint(period));
        model.walkTints.push_back(walkTileTint(period));
    }
    model.wellnessRhythmStatus = m.wellnessHistory().wellnessRhythmStatus();
    model.walkRhythmStatus = m.wellnessHistory().walkRhythmStatus();
    model.signalRows = signalGridRows(m);
    fillLockActivity(model, m);
    model.recovery = recoveryCardModel(m.recovery());
    return model;
}
