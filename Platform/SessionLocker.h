#pragma once

#include <optional>
#include <string>
#include <vector>

// What became of one lock request: the screen locker that took it, and why those tried before it did not.
struct SessionLockAttempt {
    std::optional<std::string> method; // the locker as the logs name it; nothing when none took it
    std::vector<std::string> failures; // "<locker> failed: <why>", in the order they were tried
};

// Locks the session at once through the screen locker the session has.
class SessionLocker {
public:
    virtual ~SessionLocker() = default;
    // Asks the session's lockers in turn until one takes the request; whether the session then locks is
    // for a locker's own report to confirm. Called off the main thread; it may block, under time-outs of
    // its own.
    virtual SessionLockAttempt lockSession() = 0;
    // Turns the displays off where the session can, once its lock has been confirmed: never in place
    // of a lock. Called off the main thread.
    virtual void sleepDisplays() {}
};
