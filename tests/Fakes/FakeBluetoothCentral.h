#pragma once

#include "Fakes/CallLog.h"
#include "Foundation/DispatchQueue.h"
#include "Platform/BluetoothCentral.h"

#include <memory>
#include <optional>
#include <utility>

// A Bluetooth radio that a test drives: it reports the states the test gives it and hears the
// advertisements the test makes, but like a real radio only while it scans.
class FakeBluetoothCentral final : public BluetoothCentral {
public:
    FakeBluetoothCentral(BluetoothCentralHandlers handlers, CallLog* log)
        : handlers_(std::move(handlers))
        , log_(log) {}

    BluetoothCentralState state() const override { return state_; }
    void scanForPeripherals(bool allowDuplicates) override {
        record(log_, allowDuplicates ? "bluetooth.scan duplicates" : "bluetooth.scan");
        if (state_ != BluetoothCentralState::poweredOn)
            return;
        scanning_ = true;
        duplicatesAllowed = allowDuplicates;
    }
    void stopScan() override {
        record(log_, "bluetooth.stopScan");
        scanning_ = false;
    }
    bool isScanning() const override { return scanning_; }
    bool hearsStillPeripherals() const override { return hearsStill_; }

    // The system reports a new state; any state but poweredOn ends a scan.
    void report(BluetoothCentralState state, bool hearsStill = true) {
        state_ = state;
        hearsStill_ = hearsStill;
        if (state != BluetoothCentralState::poweredOn)
            scanning_ = false;
        handlers_.didUpdateState(*this);
    }
    // One advertisement; whether the central heard it.
    bool advertise(const BluetoothPeripheral& peripheral, int rssi) {
        if (!scanning_)
            return false;
        handlers_.didDiscover(*this, peripheral, rssi);
        return true;
    }

    // What the owner answers when asked how long `peripheral` may go unheard.
    double longestSilence(const BluetoothPeripheral& peripheral) const {
        return handlers_.longestSilence ? handlers_.longestSilence(peripheral) : 0;
    }

    bool duplicatesAllowed = false;

private:
    BluetoothCentralHandlers handlers_;
    CallLog* log_;
    BluetoothCentralState state_ = BluetoothCentralState::unknown;
    bool scanning_ = false;
    bool hearsStill_ = true;
};

// The system's Bluetooth with the authorization a test sets. Each new central reports `initialState`
// on the next turn of the main queue, as a real one reports soon after it is made.
class FakeBluetooth final : public BluetoothCentralProvider {
public:
    explicit FakeBluetooth(CallLog* log = nullptr)
        : log_(log) {}

    BluetoothAuthorization authorization() override {
        record(log_, "bluetooth.authorization");
        return authorizationAnswer;
    }
    std::string unknownAuthorizationCause() const override {
        return authorizationAnswer == BluetoothAuthorization::unknown ? "no system bus" : "";
    }
    std::shared_ptr<BluetoothCentral> makeCentral(BluetoothCentralHandlers handlers) override {
        record(log_, "bluetooth.makeCentral");
        auto central = std::make_shared<FakeBluetoothCentral>(std::move(handlers), log_);
        latest_ = central;
        ++centralsMade;
        if (initialState)
            DispatchQueue::main().async([weak = std::weak_ptr(central), state = *initialState] {
                if (auto made = weak.lock())
                    made->report(state);
            });
        return central;
    }

    // The newest central while its owner keeps it; nothing once it has been released.
    std::shared_ptr<FakeBluetoothCentral> central() const { return latest_.lock(); }
    // One advertisement to the newest central; whether it was heard.
    bool advertise(const BluetoothPeripheral& peripheral, int rssi) const {
        const auto current = central();
        return current && current->advertise(peripheral, rssi);
    }

    BluetoothAuthorization authorizationAnswer = BluetoothAuthorization::allowedAlways;
    std::optional<BluetoothCentralState> initialState = BluetoothCentralState::poweredOn;
    int centralsMade = 0;

private:
    CallLog* log_;
    std::weak_ptr<FakeBluetoothCentral> latest_;
};
