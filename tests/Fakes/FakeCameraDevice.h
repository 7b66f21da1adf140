#pragma once

#include "Fakes/CallLog.h"
#include "Platform/CameraDevice.h"

#include <atomic>

class FakeCaptureSession final : public CaptureSession {
public:
    void startRunning() override { ++starts; }
    void stopRunning() override { ++stops; }
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
};

// A camera with the authorisation a test sets; every session it makes is kept for inspection.
class FakeCameraDevice final : public CameraDevice {
public:
    explicit FakeCameraDevice(CallLog* log = nullptr)
        : log_(log) {}

    int authorizationStatus() override {
        record(log_, "camera.authorizationStatus");
        return status;
    }
    std::shared_ptr<CaptureSession> makeCaptureSession() override {
        record(log_, "camera.makeCaptureSession");
        lastSession = std::make_shared<FakeCaptureSession>();
        return lastSession;
    }

    int status = CameraDevice::authorized;
    std::shared_ptr<FakeCaptureSession> lastSession;

private:
    CallLog* log_;
};
