#pragma once

#include "Fakes/CallLog.h"
#include "Platform/SessionEvents.h"

// Session events that a test fires by hand, and a lock state that a test sets.
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

    bool available = true;
    SessionEventHandlers handlers;
    std::optional<SessionLockInfo> lockInfo = SessionLockInfo{};

private:
    CallLog* log_;
};
