#pragma once

#include "Fakes/CallLog.h"
#include "Platform/AudioInput.h"

#include <atomic>
#include <map>

// Audio input devices whose default and running state a test sets and announces.
class FakeAudioInput final : public AudioInputDevices {
public:
    explicit FakeAudioInput(CallLog* log = nullptr)
        : log_(log) {}

    std::optional<DeviceID> defaultInputDevice() override { return defaultDevice; }
    void setDefaultInputListener(std::function<void()> listener) override {
        record(log_, listener ? "audio.listenDefault" : "audio.unlistenDefault");
        defaultListener = std::move(listener);
    }
    void setRunningListener(DeviceID device, std::function<void()> listener) override {
        record(log_, (listener ? "audio.listenRunning " : "audio.unlistenRunning ") + std::to_string(device));
        if (listener)
            runningListeners[device] = std::move(listener);
        else
            runningListeners.erase(device);
    }
    bool isRunning(DeviceID device) override { return device == runningDevice.load(); }
    void shutdown() override { record(log_, "audio.shutdown"); }

    std::optional<DeviceID> defaultDevice = 7;
    std::atomic<DeviceID> runningDevice{0};
    std::function<void()> defaultListener;
    std::map<DeviceID, std::function<void()>> runningListeners;

private:
    CallLog* log_;
};
