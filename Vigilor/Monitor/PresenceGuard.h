#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Platform/InputIdle.h"
#include "Platform/ScreenSharing.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/CallDetector.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CompanionPresence.h"
#include "Vigilor/Monitor/LockAttempt.h"
#include "Vigilor/Monitor/LockDecision.h"
#include "Vigilor/Monitor/OwnerLifetime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The 0.5 s decision tick and what it decides: it reads the input idle time and Screen Sharing, lets
// the camera, the companion and the coaching take their step, weighs their evidence into a verdict,
// publishes the decision and asks for the lock once per absence. It owns the decision, the pause, the
// input idle time, Screen Sharing, the snooze and the bookkeeping of the absence under way. The monitor
// runs its tick, toggles the pause and tells it how the session was opened; what it needs of the
// monitor (the coaching step, whether the session has a screen locker, the lock request, a notice)
// comes through Requests.
class PresenceGuard {
public:
    struct Services {
        std::shared_ptr<InputIdleSource> inputIdle;
        std::shared_ptr<ScreenSharingSessions> screenSharing;
    };
    struct Components {
        CameraPresence& camera;
        CompanionPresence& companion;
        const CallDetector& calls;
        const LockAttempt& lockAttempt;
    };
    struct Requests {
        // The coaching's share of the tick, after the evidence is published and before the verdict.
        std::function<void(Date at)> coach;
        // Whether the session may have a screen locker (false only once it has looked and found none).
        std::function<bool()> lockerAvailable;
        // Whether Auto Lock can lock at all, as the summaries tell it.
        std::function<ZorviLockAbility()> lockAbility;
        // Asks the session's lockers; `quiet` for the retries of an absence whose lock failed.
        std::function<void(const std::string& source, std::function<void(bool started)> completion, bool quiet)>
            lock;
        std::function<void(const std::string& title, const std::string& body)> lockLostNotice;
    };

    static constexpr double minimumAutoLockTimeout = 8;
    static constexpr double minimumLookAwayDownGrace = 20;
    // Input idle time assumed when no source can tell: long enough that a missing figure never keeps
    // the user present, finite so that it can be reported.
    static constexpr double unknownInputIdleSeconds = 86'400;

    PresenceGuard(ObservableObject& owner, OwnerLifetime lifetime, const Clock& clock, Services services,
                  ActivityLog& log, const Published<VigilorConfig>& config, Components components,
                  Requests requests);

    // Published.
    const std::string& decision() const { return decision_(); }
    bool isPaused() const { return isPaused_(); }
    double inputIdleSeconds() const { return inputIdleSeconds_(); }
    std::optional<Date> snoozeUntil() const { return snoozeUntil_(); }
    bool remoteControlActive() const { return remoteControlActive_(); }

    // The tick's last verdict and what it was made from: the lock reason's words come from it.
    struct MadeVerdict {
        ZorviPresenceInputs inputs;
        ZorviPresenceVerdict verdict;
    };
    const MadeVerdict& lastVerdict() const { return lastVerdict_; }
    // This absence has been locked (or its lock asked for); the next absence locks again.
    bool lockedForCurrentAbsence() const { return lockedForCurrentAbsence_; }
    // The seconds since the user's last input, read now; nothing when no source can tell.
    std::optional<double> knownInputIdleSeconds() const;
    double effectiveLookAwayDownGrace() const;

    // Commands.
    void tick();
    // A paused guard decides nothing and publishes nothing.
    void togglePaused() { isPaused_ = !isPaused(); }
    // The snooze has run out.
    void endSnooze() { snoozeUntil_ = std::nullopt; }
    // The session was opened: by whoever unlocked it (the user is back), or by a locker that went away
    // (the absence goes on, and its next lock is told to the user).
    void sessionOpened(bool lockerLost);
    // The user asked for the lock (`source`, "Manual"): the locks this absence asks for from now on are
    // the user's.
    void userAskedForLock(const std::string& source) { userLockSource_ = source; }

private:
    ZorviPresenceInputs presenceInputs(Date at) const;
    void actOnVerdict(const ZorviPresenceInputs& inputs, const ZorviPresenceVerdict& verdict);
    void publishDecision(ZorviPresenceVerdict::Kind kind, const std::string& text);
    void lockForCurrentAbsence(const ZorviLockCall& call, const ZorviPresenceVerdict& verdict);
    void presenceSeenAgain();
    void tellRelockOutcome();
    bool detectRemoteControlActive(Date at);
    Date now() const { return clock_.now(); }

    OwnerLifetime lifetime_;
    const Clock& clock_;
    Services services_;
    ActivityLog& log_;
    const Published<VigilorConfig>& config_;
    Components components_;
    Requests requests_;

    Published<std::string> decision_;
    Published<bool> isPaused_;
    Published<double> inputIdleSeconds_;
    Published<std::optional<Date>> snoozeUntil_;
    Published<bool> remoteControlActive_;

    MadeVerdict lastVerdict_;
    bool lockedForCurrentAbsence_ = false;
    // The locker that held this absence's lock went away: whether the locks it asks for again take is
    // told to the user, once.
    bool relockingAfterLoss_ = false;
    // The user asked for the lock during this absence: its source, which the absence's locks carry.
    std::optional<std::string> userLockSource_;
    // The kind of verdict the decision was published from last, and whether the one published now goes
    // on with its countdown.
    ZorviPresenceVerdict::Kind publishedVerdictKind_ = ZorviPresenceVerdict::Kind::waitingForSustainedNoFace;
    bool countdownGoesOn_ = false;
    // Presence seen again (counted, so that a late lock result can tell that its absence has ended).
    uint64_t presenceSightings_ = 0;
    Date lastRemoteControlCheckAt_ = Date::distantPast();
};
