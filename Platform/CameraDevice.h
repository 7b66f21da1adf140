#pragma once

#include "Foundation/Executor.h"
#include "Platform/Vision.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One frame as the camera delivered it (a sample buffer). Its pixels are decoded the first time they
// are asked for, so frames that the analysis skips cost no decoding.
class CapturedFrame {
public:
    virtual ~CapturedFrame() = default;
    // The frame's pixels; nothing when it holds none that can be read (a damaged compressed frame).
    // Valid while the frame lives. Called on the video queue only.
    virtual const ImageView* imageBuffer() = 0;
};

// Frames per second that a capture format can deliver, both bounds inclusive; a format with fixed
// rates lists each rate as a range of one value.
struct FrameRateRange {
    double minFrameRate = 0;
    double maxFrameRate = 0;
};

// A running capture of a camera. The monitor starts it on the main thread and stops and restarts it on
// its video queue, so every member may be called from any thread.
class CaptureSession {
public:
    // The size of picture the session asks for: `low` is the smallest the analysis can use, `medium`
    // what a camera that offers nothing that large gives instead.
    enum class Preset { low, medium };

    // The session's notifications; they may come on any thread.
    struct Observers {
        // Another program holds the camera: no frames until it lets go.
        std::function<void()> wasInterrupted;
        // The camera can be had again.
        std::function<void()> interruptionEnded;
        // The running capture failed and stopped (the camera was unplugged, say); the text says why.
        std::function<void(const std::string& description)> runtimeError;
    };
    using SampleBufferHandler = std::function<void(std::shared_ptr<CapturedFrame>)>;

    virtual ~CaptureSession() = default;

    virtual bool canSetSessionPreset(Preset preset) const = 0;
    virtual void setSessionPreset(Preset preset) = 0;
    // Opens the device as the session's input; nothing when it can be used, else why it cannot.
    virtual std::optional<std::string> addDeviceInput() = 0;
    // Frames go to `handler` on `queue`, one at a time; a frame that arrives while the previous one
    // still waits for the queue replaces it (late frames are dropped). An empty handler stops delivery.
    virtual void setSampleBufferDelegate(SampleBufferHandler handler, std::shared_ptr<Executor> queue) = 0;
    virtual void setObservers(Observers observers) = 0;

    // Starts the capture. Nothing when it runs, or when the camera is busy and the observers were told
    // of the interruption; otherwise why it cannot run.
    virtual std::optional<std::string> startRunning() = 0;
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0;
};

// One video capture device: the camera a session reads from.
class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;

    virtual std::string localizedName() const = 0;
    // A new session on this device, with nothing opened yet. A device delivers to one running session
    // at a time: starting a session takes the device from the one that had it.
    virtual std::shared_ptr<CaptureSession> makeCaptureSession() = 0;

    // The frame rates of the format that sessions capture in.
    virtual std::vector<FrameRateRange> activeFormatFrameRateRanges() = 0;
    // Fixes the time between frames (minimum and maximum frame duration alike), also for later
    // starts; nothing when done, else why not.
    virtual std::optional<std::string> setActiveVideoFrameDuration(double seconds) = 0;
    // The time between frames in effect now, in seconds; 0 when unknown.
    virtual double activeVideoMinFrameDuration() = 0;
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
    // The camera to use, or nothing when there is none.
    virtual std::shared_ptr<CaptureDevice> defaultVideoDevice() = 0;
};
