#pragma once

#include "Platform/CameraDevice.h"
#include "Platform/Linux/FrameMailbox.h"
#include "Platform/Linux/V4L2Stream.h"
#include "Platform/Linux/V4L2System.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The card name of the open node `fd` when it captures video, by the node's own capabilities where the
// driver gives them rather than those of the whole device (a webcam's metadata node does not capture).
std::optional<std::string> captureCardName(V4L2System& system, int fd);

// Whether a camera offers a picture at least 640×480 in a format that can be read.
bool canUseLowPreset(const std::vector<V4L2Mode>& modes);
// The picture to capture: for `low` the smallest one at least 640×480, YUYV before MJPEG at equal size
// (it needs no decoding); for `medium` the largest one. Nothing when no mode can be read.
std::optional<V4L2Mode> chooseCaptureMode(const std::vector<V4L2Mode>& modes, CaptureSession::Preset preset);

// A camera node: its card name, the modes it offers, and the one stream that a session runs on it.
class V4L2CaptureDevice final : public CaptureDevice, public std::enable_shared_from_this<V4L2CaptureDevice> {
public:
    V4L2CaptureDevice(std::shared_ptr<V4L2System> system, std::filesystem::path node, std::string cardName,
                      std::vector<V4L2Mode> modes);
    ~V4L2CaptureDevice() override;

    std::string localizedName() const override { return cardName_; }
    std::shared_ptr<CaptureSession> makeCaptureSession() override;
    std::vector<FrameRateRange> activeFormatFrameRateRanges() override;
    std::optional<std::string> setActiveVideoFrameDuration(double seconds) override;
    double activeVideoMinFrameDuration() override;

    const std::filesystem::path& node() const { return node_; }
    const std::vector<V4L2Mode>& modes() const { return modes_; }

    // For the sessions. `owner` identifies the session; a start takes the stream from any other.
    void choosePreset(CaptureSession::Preset preset);
    // Whether the node can be opened as a camera; a new session also tries afresh a camera whose
    // frames could not be read.
    std::optional<std::string> checkInput();
    V4L2Stream::Opened startStream(const void* owner, V4L2Stream::Callbacks callbacks);
    void stopStream(const void* owner);
    bool isStreaming(const void* owner) const;

private:
    std::unique_ptr<V4L2Stream> takeStream(); // under the mutex

    const std::shared_ptr<V4L2System> system_;
    const std::filesystem::path node_;
    const std::string cardName_;
    const std::vector<V4L2Mode> modes_;
    mutable std::mutex mutex_;
    std::optional<V4L2Mode> activeMode_;
    std::optional<double> frameDuration_;
    std::unique_ptr<V4L2Stream> stream_;
    const void* streamOwner_ = nullptr;
    const std::shared_ptr<UnreadableFrames> unreadable_ = std::make_shared<UnreadableFrames>();
};

// A session on a V4L2 camera. A busy camera is tried again every few seconds on the delegate's queue
// until it can be had, which ends the interruption.
class V4L2CaptureSession final : public CaptureSession, public std::enable_shared_from_this<V4L2CaptureSession> {
public:
    static constexpr double busyRetryInterval = 3;

    explicit V4L2CaptureSession(std::shared_ptr<V4L2CaptureDevice> device);
    ~V4L2CaptureSession() override;

    bool canSetSessionPreset(Preset preset) const override;
    void setSessionPreset(Preset preset) override;
    std::optional<std::string> addDeviceInput() override;
    void setSampleBufferDelegate(SampleBufferHandler handler, std::shared_ptr<Executor> queue) override;
    void setObservers(Observers observers) override;
    std::optional<std::string> startRunning() override;
    void stopRunning() override;
    bool isRunning() const override;

private:
    enum class Attempt { started, busy, failed };
    struct ObserverBox {
        mutable std::mutex mutex;
        Observers observers;
        Observers get() const;
    };
    Attempt attemptStart(std::string& failure);
    void retryWhileBusy(uint64_t generation);

    const std::shared_ptr<V4L2CaptureDevice> device_;
    FrameMailbox mailbox_;
    const std::shared_ptr<ObserverBox> observers_;
    mutable std::mutex mutex_;
    uint64_t generation_ = 0; // moves on at every start and stop, so a pending retry can tell it is stale
};
