#pragma once

#include <memory>

// A running capture of the camera. Started and stopped on the monitor's video queue.
class CaptureSession {
public:
    virtual ~CaptureSession() = default;
    virtual void startRunning() = 0;
    virtual void stopRunning() = 0;
};

// The default video capture device and whether this user may use it.
class CameraDevice {
public:
    // Authorisation values as the monitor's status texts number them; any other value means the
    // state is unknown (no capture device at all, for instance).
    static constexpr int notDetermined = 0;
    static constexpr int restricted = 1;
    static constexpr int denied = 2;
    static constexpr int authorized = 3;
    static constexpr int noDevice = -1;

    virtual ~CameraDevice() = default;
    virtual int authorizationStatus() = 0;
    // A session on the default device, or nothing when none can be made.
    virtual std::shared_ptr<CaptureSession> makeCaptureSession() = 0;
};
