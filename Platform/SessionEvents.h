#pragma once

#include "Foundation/Date.h"

#include <functional>
#include <optional>
#include <string>

// What the desktop session reports about itself: the session locking and unlocking, the displays going
// to sleep and waking, and whether it has a screen locker at all. Handlers run on the main queue.
struct SessionEventHandlers {
    std::function<void()> sessionDidResignActive; // the session was locked (or switched away from)
    std::function<void()> sessionDidBecomeActive; // the session is in use again (unlocked)
    std::function<void()> screensDidSleep;
    std::function<void()> screensDidWake;
    // Whether any screen locker could take a lock request: first once the session has looked for its
    // lockers, then whenever that changes.
    std::function<void(bool hasScreenLocker)> lockersChanged;
    // The screen locker that held the session locked went away (killed or crashed) without an unlock:
    // the session is open again, but nobody unlocked it. Without a handler, told as an unlock.
    std::function<void()> sessionLockLost;
};

class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // Starts delivering events to `handlers`, replacing earlier ones. False when no source of session
    // events could be reached; `unavailableReason()` then says why, for the activity log.
    virtual bool start(SessionEventHandlers handlers) = 0;
    virtual std::string unavailableReason() const = 0;
};

// The session's own word on whether its screen is locked, and since when.
struct SessionLockInfo {
    bool screenIsLocked = false;
    std::optional<Date> lockedAt; // when the lock began, where the session knows it
};

class SessionLockState {
public:
    virtual ~SessionLockState() = default;
    // Nothing when the session cannot be asked (no session bus, no session manager).
    virtual std::optional<SessionLockInfo> current() = 0;
};
