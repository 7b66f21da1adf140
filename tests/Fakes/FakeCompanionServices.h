#pragma once

#include "Fakes/CallLog.h"
#include "Vigilor/Camera/HealthWatchdog.h"
#include "Vigilor/Companion/RemoteCompanion.h"
#include "Vigilor/Companion/SettingsSync.h"

// Recording stand-ins for the relay client, settings sync, the widget mirror and the watchdog.

class FakeRemoteCompanion final : public RemoteCompanion {
public:
    struct Sent {
        ZorviStatusSnapshot snapshot;
        std::string event;
        bool force;
    };
    struct Ack {
        std::string commandID, state;
        std::optional<std::string> reason;
    };

    explicit FakeRemoteCompanion(const VigilorConfig& initial, CallLog* log = nullptr)
        : config(initial)
        , log_(log) {}

    void setConfig(const VigilorConfig& newConfig) override {
        record(log_, "relay.setConfig");
        config = newConfig;
    }
    void restart() override { record(log_, "relay.restart"); }
    void sendStatus(const ZorviStatusSnapshot& snapshot, RelayEvent kind, bool force) override {
        const std::string event(rawValue(kind));
        record(log_, "relay.sendStatus " + event);
        sent.push_back({snapshot, event, force});
    }
    void sendCommandAck(const RemoteLockCommand& command, const std::string& state,
                        const std::optional<std::string>& reason) override {
        record(log_, "relay.ack " + state);
        acks.push_back({command.id, state, reason});
    }
    void fetchRemoteStatus(std::function<void(std::optional<ZorviStatusSnapshot>)> completion) override {
        record(log_, "relay.fetchRemoteStatus");
        completion(fetched);
    }
    void shutdown() override { record(log_, "relay.shutdown"); }

    VigilorConfig config;
    std::vector<Sent> sent;
    std::vector<Ack> acks;
    std::optional<ZorviStatusSnapshot> fetched;

private:
    CallLog* log_;
};

class FakeSettingsSync final : public SettingsSync {
public:
    explicit FakeSettingsSync(CallLog* log = nullptr)
        : log_(log) {}

    void enable() override { record(log_, "sync.enable"); }
    void refreshStatus() override { record(log_, "sync.refreshStatus"); }
    void push(const VigilorConfig& config, Date) override {
        record(log_, "sync.push");
        pushed.push_back(config);
    }
    Status status() const override { return Status::off; }
    std::optional<Date> lastSyncedAt() const override { return std::nullopt; }
    std::optional<std::string> lastSyncedFromDevice() const override { return deviceName; }
    std::string backendDisplayName() const override { return "Fake"; }

    std::vector<VigilorConfig> pushed;
    std::optional<std::string> deviceName;

private:
    CallLog* log_;
};

class FakeWidgetStatusMirror final : public WidgetStatusMirror {
public:
    explicit FakeWidgetStatusMirror(CallLog* log = nullptr)
        : log_(log) {}
    void mirror(const ZorviStatusSnapshot& snapshot, RelayEvent kind, Date seenAt, bool force) override {
        const std::string event(rawValue(kind));
        record(log_, "widget.mirror " + event);
        mirrored.push_back({snapshot, event, seenAt, force});
    }
    struct Mirrored {
        ZorviStatusSnapshot snapshot;
        std::string event;
        Date seenAt;
        bool force;
    };
    std::vector<Mirrored> mirrored;

private:
    CallLog* log_;
};

class FakeHealthWatchdog final : public HealthWatchdog {
public:
    explicit FakeHealthWatchdog(CallLog* log = nullptr)
        : log_(log) {}
    void noteCameraModeChanged(bool enabled) override {
        record(log_, enabled ? "watchdog.cameraOn" : "watchdog.cameraOff");
    }
    void shutdown() override { record(log_, "watchdog.shutdown"); }

private:
    CallLog* log_;
};
