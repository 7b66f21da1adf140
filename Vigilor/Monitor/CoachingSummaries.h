#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CoachingState.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/NudgeLevel.h"
#include "Vigilor/Monitor/Snooze.h"
#include "Vigilor/Monitor/StatusSummaries.h"

#include <optional>
#include <string>

// The coaching's texts and figures for the interface: gaze, screen distance, posture and face height,
// the break countdowns, and the nudge card with its level. It owns nothing and writes nothing: each is a
// first-match rule list over the camera's face values, the break coach's anchors and the settings, read
// afresh on every call. The coaching's states are worked out here and their words come from their tables
// (CoachingState.h), so that summaries built on others compare states, not texts. Where the card speaks
// of presence it takes the status summaries' words.
class CoachingSummaries {
public:
    CoachingSummaries(const Clock& clock, const Published<VigilorConfig>& config,
                      const CameraPresence& camera, const CompanionPresence& companion,
                      const BreakCoach& breaks, const StatusSummaries& status,
                      StatusSummaries::Monitor monitor)
        : clock_(clock)
        , config_(config)
        , camera_(camera)
        , companion_(companion)
        , breaks_(breaks)
        , status_(status)
        , monitor_(std::move(monitor)) {}

    bool isSnoozed() const { return snoozedAt(monitor_.snoozeUntil(), now()); }
    double snoozeRemaining() const { return snoozeRemainingAt(monitor_.snoozeUntil(), now()); }
    std::string focusSummary() const;
    NudgeLevel focusLevel() const;
    std::string distanceSummary() const;
    NudgeLevel distanceLevel() const;
    std::string distanceDetail() const;
    Posture posture() const;
    std::string postureSummary() const;
    std::string postureDetail() const;
    DeskPose deskPose() const;
    std::string deskPoseSummary() const;
    std::string deskPoseDetail() const;
    std::string deskFrameDetail() const;
    double eyeBreakRemaining() const;
    double walkBreakRemaining() const;
    std::string eyeBreakSummary() const;
    std::string walkBreakSummary() const;
    std::string walkBreakDetail() const;
    double eyeBreakProgress() const;
    double walkBreakProgress() const;
    double movementMinutesProgress() const;
    std::string movementElapsedHourNote() const;
    WellnessStatus wellnessStatus() const;
    std::string nudgeTitle() const;
    std::string nudgeDetail() const;
    std::string nudgeSystemImage() const;
    NudgeLevel nudgeLevel() const;

private:
    enum class NudgeRow;

    Date now() const { return clock_.now(); }
    const VigilorConfig& config() const { return config_(); }
    std::optional<double> learntBaseline() const;
    Gaze gaze() const;
    ScreenDistance distance() const;
    bool isTwisted() const;
    std::optional<double> faceHeightOffset() const;
    double eyeIntervalLeft(Date at) const;
    double walkIntervalLeft(Date at) const;
    bool eyeBreakDue() const;
    bool walkBreakDue() const;
    NudgeRow nudgeRow() const;

    const Clock& clock_;
    const Published<VigilorConfig>& config_;
    const CameraPresence& camera_;
    const CompanionPresence& companion_;
    const BreakCoach& breaks_;
    const StatusSummaries& status_;
    StatusSummaries::Monitor monitor_;
};
