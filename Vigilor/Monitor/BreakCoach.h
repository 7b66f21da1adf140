#pragma once

#include "Foundation/Clock.h"
#include "Foundation/ObservableObject.h"
#include "Platform/SoundPlayer.h"
#include "Platform/UserNotifications.h"
#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Monitor/ActivityLog.h"
#include "Vigilor/Monitor/BreakDueRule.h"
#include "Vigilor/Monitor/WellnessHistory.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

enum class BreakHUDKind { eye, walk };

// Break coaching: the anchors the eye and walk intervals run from (kept across restarts), the eye rests
// and walks it credits into the wellness history, the floating break prompt, the break notifications
// and the user's answers to them. The decision tick tells it each half second what it has seen of the
// user (`tick`); the lock tells it of the session's lock and of a locked absence; the prompt and the
// notifications' buttons give its commands. It is the only writer of the anchors and of the prompt.
class BreakCoach : public std::enable_shared_from_this<BreakCoach> {
public:
    static constexpr const char* breakAnchorsKey = "app.zorvi.breakAnchors.v1";
    // An eye-rest observation of the camera counts this long.
    static constexpr double eyeRestObservationFreshWindow = 2.75;

    // What the coach asks of the rest of the monitor.
    struct Requests {
        // The snooze has run out: it is taken away.
        std::function<void()> endSnooze;
        // The user came back from a walk: the desk's baselines are learnt afresh.
        std::function<void()> recalibrateDesk;
    };
    // What the decision tick has seen of the user and the session.
    struct Desk {
        bool face = false;
        bool eyesClosed = false;
        bool away = false;         // evidenced absence from the desk, long enough to rest the eyes
        bool faceLongGone = false; // the face gone longer than an eye break, nothing else in view
        // Without the camera, the companion's absence stands for the user's.
        bool companionInUse = false;
        std::optional<Date> companionLastSeen;
        bool companionPresent = false;
        bool screenLocked = false;
        std::optional<Date> snoozeUntil;
    };
    // What the coaching reset of the breaks for a locked absence: at the unlock, or before it, when the
    // camera saw the user come back to the lock screen.
    struct AwayCredit {
        bool eyeBreakReset = false;
        bool walkBreakReset = false;
    };

    BreakCoach(ObservableObject& publisher, const Clock& clock, const Published<VigilorConfig>& config,
               ActivityLog& log, WellnessHistory& history, std::shared_ptr<UserNotificationCenter> notifications,
               std::shared_ptr<SoundPlayer> sounds, Requests requests);

    const std::optional<std::string>& celebration() const { return celebration_(); }
    bool breakHUDVisible() const { return breakHUDVisible_(); }
    BreakHUDKind breakHUDKind() const { return breakHUDKind_(); }
    double eyeRestRemaining() const { return eyeRestRemaining_(); }
    bool isRestingNow() const { return isRestingNow_(); }
    Date lastEyeBreakAt() const { return lastEyeBreakAt_; }
    Date lastWalkBreakAt() const { return lastWalkBreakAt_; }
    BreakDueRule dueRule() const;

    // At the start: the anchors younger than 12 hours come back; then the notifications' buttons.
    void restoreAnchors(Date at);
    void start();
    // The per-tick coaching: rests, absences, walk credits, the prompt's state and the nudges.
    void tick(Date at, const Desk& desk);
    // What the camera pipeline reports about eye rests.
    void noteEyeRestObservation(Date at) { lastEyeRestObservationAt_ = at; }
    void dismissCurrentEyeBreakPrompt();
    void clearCurrentWalkBreakPrompt(WellnessEventKind eventKind, const std::string& logMessage);
    // After a pause or a snooze the eye comes back first, 4 minutes on, and the walk 5 minutes after it.
    void staggerOverdueBreaks(Date at);
    // The session was locked, by whoever: the prompt and the nudges go.
    void sessionLocked();
    // The user is back from a locked absence: it is credited once.
    AwayCredit creditLockedAbsence(Date returnedAt, double awaySeconds);
    void celebrate(const std::string& text);

private:
    Date now() const { return clock_.now(); }
    const VigilorConfig& config() const { return config_(); }
    void setLastEyeBreakAt(Date at);
    void setLastWalkBreakAt(Date at);
    void saveAnchors();
    void handleNotificationResponse(const NotificationResponse& response);
    void clearBreakNotification(const std::string& category);
    void deliverBreakNudgesIfNeeded(Date at, const Desk& desk);
    void deliverBreakNudge(const std::string& title, const std::string& body, const std::string& category);
    void publishBreakPrompt(Date at, const Desk& desk, bool resting, double restSoFar);
    void creditEyeBreakAfterAbsence(Date returnedAt, double awaySeconds);
    void resetMovementTimerAfterAway(Date returnedAt, double awaySeconds);
    void creditDeviceWalkIfNeeded(Date at, const Desk& desk);

    const Clock& clock_;
    const Published<VigilorConfig>& config_;
    ActivityLog& log_;
    WellnessHistory& history_;
    std::shared_ptr<UserNotificationCenter> notifications_;
    std::shared_ptr<SoundPlayer> sounds_;
    Requests requests_;

    Date focusSessionStartedAt_;
    Date lastEyeBreakAt_;
    Date lastWalkBreakAt_;
    bool anchorsRestored_ = false;
    Date lastEyeRestObservationAt_ = Date::distantPast();
    std::optional<Date> eyeRestStartedAt_;
    std::optional<Date> movementStartedAt_;
    std::optional<Date> celebrationUntil_;
    std::optional<Date> eyeBreakCompletedAt_;
    std::optional<Date> walkNudgeHiddenUntil_;
    std::optional<Date> deviceMovementStartedAt_;
    bool recordedEyeBreakForAbsence_ = false;
    // When the walk was last reset (credited or not) for a return from an absence.
    std::optional<Date> walkResetOnReturnAt_;
    bool eyeBreakDueNotified_ = false;
    bool walkBreakDueNotified_ = false;

    Published<std::optional<std::string>> celebration_;
    Published<bool> breakHUDVisible_;
    Published<BreakHUDKind> breakHUDKind_;
    Published<double> eyeRestRemaining_;
    Published<bool> isRestingNow_;
    // The focus session's age in whole seconds. Nothing reads it: its change once a second is what
    // wakes the views that count time from the monitor's announcements (the status window among them).
    Published<double> activePresenceSeconds_;
};
