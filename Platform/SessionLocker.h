#pragma once

// Locks the session at once through the session manager.
class SessionLocker {
public:
    virtual ~SessionLocker() = default;
    // True when the lock request was delivered; whether the session then locks is for the session's
    // own report to confirm. Called off the main thread; it may block, under a time-out of its own.
    virtual bool lockSession() = 0;
};
