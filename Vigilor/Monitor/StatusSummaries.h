#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Vigilor/Config/PresenceModels.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/LockDecision.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

// The texts and figures that explain the presence state to the user and the phone: the state words,
// readiness, confidence, the lock reason and whether Auto Lock can lock, the camera, companion and input
// lines. It owns nothing and writes nothing: each summary is a first-match rule list over the current
// state of the camera, the companion, the lock attempt and what the monitor still keeps itself, read
// afresh on every call; the rule order decides which of several states that hold at once the user sees.
class StatusSummaries {
public:
    // What the summaries, these and the coaching's, read of the state the monitor keeps itself, on the
    // main thread.
    struct Monitor {
        std::function<bool()> paused;
        std::function<bool()> autoLockEnabled;
        std::function<MonitorPhase()> phase;
        std::function<bool()> remoteControlActive;
        std::function<double()> inputIdleSeconds;
        std::function<std::optional<Date>()> snoozeUntil;
        // Whether the session has a screen locker; nothing until the session has looked.
        std::function<std::optional<bool>()> sessionHasScreenLocker;
        // The lock of the current absence was asked for.
        std::function<bool()> lockedForCurrentAbsence;
        // The decision tick's last verdict and what it was made from.
        std::function<const ZorviPresenceInputs&()> verdictInputs;
        std::function<const ZorviPresenceVerdict&()> verdict;
    };

    StatusSummaries(const Clock& clock, const Published<VigilorConfig>& config, const CameraPresence& camera,
                    const CompanionPresence& companion, const LockAttempt& lockAttempt, Monitor monitor)
        : clock_(clock)
        , config_(config)
        , camera_(camera)
        , companion_(companion)
        , lockAttempt_(lockAttempt)
        , monitor_(std::move(monitor)) {}

    std::string menuTitle() const;
    std::string modeSummary() const;
    std::string menuSystemImage() const;
    std::string readinessSummary() const;
    bool needsPermissionAction() const;
    int presenceConfidence() const;
    std::string signalBrief() const;
    // Why the session will or will not lock now: the guard's state, else the last verdict's words.
    std::string lockReason() const;
    // The bare reason of a "Won't lock" verdict (for its own line in the interface); nothing otherwise.
    std::optional<std::string> wontLockReason() const;
    // Why the lock reason speaks of the session lock rather than the desk: a lock that is awaited or
    // failed. Nothing otherwise.
    std::optional<std::string> sessionLockReason() const;
    // Whether Auto Lock can lock at all, and its words; `ready` while Auto Lock is off.
    ZorviLockAbility lockAbility() const;
    std::optional<ZorviLockAbilityWords> lockAbilityWords() const;
    std::string watchSummary() const;
    std::string watchSignalDetail() const;
    // Without a face in view: the camera's word while it cannot show one, "Not seen yet" before the
    // first face; nothing when the seconds since the face was seen tell.
    std::optional<std::string> faceAbsenceWord() const;
    // The camera's word while it takes no pictures (none, refused, starting, in use elsewhere, switched
    // off): without pictures a missing face says nothing about the desk. Nothing while it runs.
    std::optional<std::string> blindCameraWord() const;
    std::string inputSummary() const;
    // What the camera last reported, in words.
    std::string cameraStatus() const;

private:
    Date now() const { return clock_.now(); }
    const VigilorConfig& config() const { return config_(); }
    const CameraWords& cameraRow() const;
    const BluetoothWords& bluetoothRow() const;
    ZorviLockAbilityInputs lockAbilityInputs() const;
    std::optional<std::string> guardReason() const;
    ZorviVerdictWords verdictWords() const;

    const Clock& clock_;
    const Published<VigilorConfig>& config_;
    const CameraPresence& camera_;
    const CompanionPresence& companion_;
    const LockAttempt& lockAttempt_;
    Monitor monitor_;
};
