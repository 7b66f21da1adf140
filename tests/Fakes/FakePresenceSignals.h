#pragma once

#include "Fakes/CallLog.h"
#include "Platform/InputGrab.h"
#include "Platform/InputIdle.h"
#include "Platform/ScreenSharing.h"
#include "Platform/SessionLocker.h"
#include "Platform/SoundPlayer.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Input idle time, Screen Sharing, the session manager's lock and alert sounds, as a test sets them.

class FakeInputIdle final : public InputIdleSource {
public:
    std::optional<double> secondsSinceLastInput() override { return idle; }
    std::string name() const override { return "fake"; }
    std::optional<double> idle = 0;
};

class FakeScreenSharing final : public ScreenSharingSessions {
public:
    bool isScreenSharingActive() override {
        ++checks;
        return active;
    }
    bool active = false;
    int checks = 0;
};

// The session's lockers: the one named takes each request, after the failures of those asked before it.
class FakeSessionLocker final : public SessionLocker {
public:
    explicit FakeSessionLocker(CallLog* log = nullptr)
        : log_(log) {}
    SessionLockAttempt lockSession() override {
        record(log_, "locker.lockSession");
        if (whileLocking)
            whileLocking(); // on the lock queue, as a slow locker would keep it
        return {works ? std::optional(method) : std::nullopt, failures};
    }
    bool works = true;
    std::string method = "logind";
    std::vector<std::string> failures;
    std::function<void()> whileLocking;

private:
    CallLog* log_;
};

// What another program holds of the input, as a test sets it; asked on the monitor's probe queue.
class FakeInputGrabs final : public InputGrabProbe {
public:
    std::optional<HeldInput> heldInput() override { return held.load(); }
    std::atomic<HeldInput> held{HeldInput::none};
};

class FakeSoundPlayer final : public SoundPlayer {
public:
    void play(const std::string& name) override { played.push_back(name); }
    std::vector<std::string> played;
};
