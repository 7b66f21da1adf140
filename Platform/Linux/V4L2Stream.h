#pragma once

#include "Platform/CameraDevice.h"
#include "Platform/Linux/V4L2System.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A picture size in one pixel format that a camera offers.
struct V4L2Mode {
    uint32_t pixelFormat = 0; // V4L2_PIX_FMT_YUYV or V4L2_PIX_FMT_MJPEG
    int width = 0;
    int height = 0;

    bool operator==(const V4L2Mode&) const = default;
};

// The frames of one camera that could not be read, counted across its streams (the low-power pulses
// start a stream for each analysed frame): so many in a row mean the camera gives nothing usable, and
// starting it again will not help until a new session tries afresh.
class UnreadableFrames {
public:
    static constexpr int limit = 3;

    // Counts one frame that was read, or could not be for `failure`; the reason the camera is unusable
    // when this frame reaches the limit.
    std::optional<std::string> count(const std::optional<std::string>& failure);
    // Set once the limit has been reached.
    std::optional<std::string> failure() const;
    void reset();

private:
    mutable std::mutex mutex_;
    int inARow_ = 0;
    std::optional<std::string> failure_;
};

// One streaming of a camera node: the node opened, its format set, buffers mapped and queued, and a
// thread that waits for frames and hands each on. Closing it (or destroying it) stops the stream and
// closes the node, which turns the camera's light off.
class V4L2Stream {
public:
    struct Callbacks {
        std::function<void(std::shared_ptr<CapturedFrame>)> frame;
        // The stream failed and ended; called once, on the stream's thread (or on the thread that
        // found its frames unreadable).
        std::function<void(const std::string& description)> failed;
    };
    struct Opened {
        std::unique_ptr<V4L2Stream> stream; // set when it runs
        bool busy = false;                  // another program holds the camera
        std::string failure;                // why it could not run, otherwise
    };
    // A stream that delivers no frame for this long is taken as broken.
    static constexpr int silenceLimitMs = 5000;

    // Frames that cannot be read are counted in `unreadable`; the one that reaches its limit ends the
    // stream with the reason.
    static Opened open(std::shared_ptr<V4L2System> system, const std::filesystem::path& node, const V4L2Mode& mode,
                       std::optional<double> frameDuration, std::shared_ptr<UnreadableFrames> unreadable,
                       Callbacks callbacks);
    ~V4L2Stream();
    V4L2Stream(const V4L2Stream&) = delete;
    V4L2Stream& operator=(const V4L2Stream&) = delete;

    // The stream still delivers (it has not failed).
    bool isLive() const;
    // Sets the time between frames on the open node; false with errno set when the node refuses.
    bool setFrameDuration(double seconds);
    // The time between frames the node reports; 0 when unknown.
    double frameDuration();

    // What the stream shares with its frames, which may outlive it.
    struct Outcome;

private:
    struct Buffer {
        void* address = nullptr;
        std::size_t length = 0;
    };
    V4L2Stream(std::shared_ptr<V4L2System> system, int fd, V4L2Mode mode, std::size_t bytesPerRow,
               std::shared_ptr<UnreadableFrames> unreadable);
    std::optional<std::string> mapBuffers(bool& busy);
    void capture(Callbacks callbacks);
    std::optional<std::string> nextFrame(const Callbacks& callbacks, int& silentMs);

    std::shared_ptr<V4L2System> system_;
    int fd_;
    V4L2Mode mode_;
    std::size_t bytesPerRow_;
    std::shared_ptr<UnreadableFrames> unreadable_;
    std::vector<Buffer> buffers_;
    std::atomic<bool> stopping_{false};
    std::shared_ptr<Outcome> outcome_;
    std::thread thread_;
};
