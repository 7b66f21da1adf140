#pragma once

#include "Fakes/CallLog.h"
#include "Platform/CameraDevice.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

struct FakeCameraSettings {
    bool lowPresetAvailable = true;
    std::optional<std::string> inputFailure; // the device input cannot be made
    std::optional<std::string> startFailure; // the session cannot start
};

// A session that records what the monitor does with it; a test delivers frames and notifications.
class FakeCaptureSession final : public CaptureSession {
public:
    explicit FakeCaptureSession(const FakeCameraSettings& settings)
        : startFailure(settings.startFailure)
        , settings_(settings) {}

    bool canSetSessionPreset(Preset preset) const override {
        return preset == Preset::medium || settings_.lowPresetAvailable;
    }
    void setSessionPreset(Preset chosen) override { preset = chosen; }
    std::optional<std::string> addDeviceInput() override { return settings_.inputFailure; }
    void setSampleBufferDelegate(SampleBufferHandler h, std::shared_ptr<Executor> q) override {
        handler = std::move(h);
        queue = std::move(q);
    }
    void setObservers(Observers o) override { observers = std::move(o); }
    std::optional<std::string> startRunning() override {
        ++starts;
        if (startFailure)
            return startFailure;
        running = true;
        return std::nullopt;
    }
    void stopRunning() override {
        ++stops;
        running = false;
    }
    bool isRunning() const override { return running; }

    // A frame as the camera would hand it over while it runs: to the delegate on its queue, if any.
    void deliver(std::shared_ptr<CapturedFrame> frame) {
        if (running && handler && queue)
            queue->post([h = handler, frame] { h(frame); });
    }

    std::optional<std::string> startFailure;
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<bool> running{false};
    std::optional<Preset> preset;
    SampleBufferHandler handler;
    std::shared_ptr<Executor> queue;
    Observers observers;

private:
    FakeCameraSettings settings_;
};

// A frame with a small grey picture, or none at all.
class FakeFrame final : public CapturedFrame {
public:
    explicit FakeFrame(bool hasPicture = true)
        : hasPicture_(hasPicture) {}
    const ImageView* imageBuffer() override { return hasPicture_ ? &view_ : nullptr; }

private:
    bool hasPicture_;
    uint8_t pixels_[16] = {};
    ImageView view_{4, 4, PixelFormat::grey8, 4, pixels_};
};

// A camera with the authorisation a test sets and one device (unless `hasDevice` is false); every
// session it makes is kept for inspection.
class FakeCameraDevice final : public CameraDevice,
                               public CaptureDevice,
                               public std::enable_shared_from_this<FakeCameraDevice> {
public:
    explicit FakeCameraDevice(CallLog* log = nullptr)
        : log_(log) {}

    int authorizationStatus() override {
        record(log_, "camera.authorizationStatus");
        return status;
    }
    std::shared_ptr<CaptureDevice> defaultVideoDevice() override {
        return hasDevice ? std::shared_ptr<CaptureDevice>(shared_from_this(), static_cast<CaptureDevice*>(this))
                         : nullptr;
    }
    std::string localizedName() const override { return name; }
    std::shared_ptr<CaptureSession> makeCaptureSession() override {
        record(log_, "camera.makeCaptureSession");
        lastSession = std::make_shared<FakeCaptureSession>(settings);
        return lastSession;
    }
    std::vector<FrameRateRange> activeFormatFrameRateRanges() override { return frameRates; }
    std::optional<std::string> setActiveVideoFrameDuration(double seconds) override {
        if (!frameDurationFailure)
            frameDuration = seconds;
        return frameDurationFailure;
    }
    double activeVideoMinFrameDuration() override { return frameDuration; }

    int status = CameraDevice::authorized;
    bool hasDevice = true;
    std::string name = "Integrated Camera";
    FakeCameraSettings settings;
    std::vector<FrameRateRange> frameRates{{1, 30}};
    std::optional<std::string> frameDurationFailure;
    double frameDuration = 1.0 / 30;
    std::shared_ptr<FakeCaptureSession> lastSession;

private:
    CallLog* log_;
};
