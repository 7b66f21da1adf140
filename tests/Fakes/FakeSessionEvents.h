#pragma once

#include "Fakes/CallLog.h"
#include "Platform/SessionEvents.h"

#include <functional>
#include <optional>
#include <utility>

// Session events that a test fires by hand, and a lock state that a test sets.
//
// A test may instead play the session itself with reportLock() and reportSleep(): then the lock state
// and the handlers move together, and a report that changes nothing is announced no more than a real
// session announces it.
class FakeSessionEvents final : public SessionEvents, public SessionLockState {
public:
    explicit FakeSessionEvents(CallLog* log = nullptr)
        : log_(log) {}

    bool start(SessionEventHandlers newHandlers) override {
        record(log_, "session.start");
        handlers = std::move(newHandlers);
        return available;
    }
    std::string unavailableReason() const override { return "Session events unavailable"; }
    std::optional<SessionLockInfo> current() override { return lockInfo; }

    // The session says its screen is locked (since `at`) or unlocked.
    void reportLock(bool locked, std::optional<Date> at = std::nullopt) {
        const bool wasLocked = lockInfo && lockInfo->screenIsLocked;
        if (locked == wasLocked)
            return;
        lockInfo = locked ? SessionLockInfo{true, at} : SessionLockInfo{false, std::nullopt};
        call(locked ? handlers.sessionDidResignActive : handlers.sessionDidBecomeActive);
    }
    // The session has looked for its screen lockers, or they came or went.
    void reportLockers(bool hasScreenLocker) { handlers.lockersChanged(hasScreenLocker); }
    // The displays go to sleep (the machine sleeps, or their power is turned down), or have woken.
    void reportSleep(bool asleep) {
        if (std::exchange(asleep_, asleep) == asleep)
            return;
        call(asleep ? handlers.screensDidSleep : handlers.screensDidWake);
    }

    bool available = true;
    SessionEventHandlers handlers;
    std::optional<SessionLockInfo> lockInfo = SessionLockInfo{};

private:
    static void call(std::function<void()> handler) { // a copy: the handler may call start()
        if (handler)
            handler();
    }

    CallLog* log_;
    bool asleep_ = false;
};
