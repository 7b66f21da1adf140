#pragma once

#include "Foundation/Clock.h"
#include "Platform/CameraDevice.h"
#include "Platform/Linux/DecodedVideo.h"
#include "Platform/Linux/FrameMailbox.h"
#include "Platform/Linux/ImageDecoding.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A recorded clip standing in for a camera, so that the whole application can be run and checked
// without a webcam: a folder of pictures (JPEG or PNG, in the order of their names), one picture per
// frame at the capture rate, a single picture, or a video file, which ffmpeg first turns into such a
// folder (DecodedVideo) on the queue of the first session that starts: that session runs, and its frames
// follow the decoding. The clip plays on the wall clock from the moment it has frames: while no session
// runs (the low-power pauses) it moves on, as the scene before a real camera does. When it has played to
// its end it stops delivering, as an unplugged camera does: the running session reports a runtime error
// and no session starts again. A video that cannot be decoded and a picture that cannot be read end it
// the same way, with the reason as the error; a clip that cannot play at all (a missing path, a folder
// without pictures, a FIFO) gives its reason when a session opens it.
class ClipCameraDevice final : public CameraDevice {
public:
    // `clock` places the clip in time; the frames are paced on each session's delegate queue.
    explicit ClipCameraDevice(std::filesystem::path clip, const Clock& clock = SystemClock::shared());

    // Always authorised: whether the clip the user named can play, its sessions say.
    int authorizationStatus() override;
    std::shared_ptr<CaptureDevice> defaultVideoDevice() override;

private:
    std::filesystem::path clip_;
    const Clock& clock_;
    std::shared_ptr<CaptureDevice> device_;
};

// The clip's pictures as a capture device; one session streams it at a time.
class ClipCaptureDevice final : public CaptureDevice, public std::enable_shared_from_this<ClipCaptureDevice> {
public:
    // The rate until a session caps it, and the rates it offers.
    static constexpr double defaultFrameRate = 5;
    static constexpr FrameRateRange offeredRates{1, 30};

    // The largest picture a clip may hold; the decoded videos are never larger than 640×480.
    static constexpr PictureBound largestPicture{4096, 4096};
    // More bytes than any picture of that size takes: a longer file is refused before it is read.
    static constexpr uintmax_t largestPictureFile = uintmax_t(64) << 20;

    // Looks at what `clip` is (without opening it, so a FIFO cannot block) and lists a folder's pictures;
    // a video is decoded when a session first starts.
    ClipCaptureDevice(std::filesystem::path clip, const Clock& clock);

    std::string localizedName() const override;
    std::shared_ptr<CaptureSession> makeCaptureSession() override;
    std::vector<FrameRateRange> activeFormatFrameRateRanges() override { return {offeredRates}; }
    std::optional<std::string> setActiveVideoFrameDuration(double seconds) override;
    double activeVideoMinFrameDuration() override;

    // For the sessions: starting takes the clip from the session that had it.
    std::optional<std::string> startStream(const void* owner, FrameMailbox mailbox,
                                           std::function<void(const std::string&)> ended);
    void stopStream(const void* owner);
    bool isStreaming(const void* owner) const;
    // Why no session can open the clip, if it is known that none can.
    std::optional<std::string> inputProblem() const;

    // The text a session reports when the clip is over.
    static constexpr const char* endedDescription = "The clip has ended";

private:
    struct Stream {
        const void* owner = nullptr;
        uint64_t generation = 0;
        FrameMailbox mailbox;
        std::function<void(const std::string&)> ended;
    };
    void decodeVideo();
    void deliverDueFrame(uint64_t generation);
    // A picture of the stream `generation` that cannot be decoded: the clip cannot play on.
    void pictureFailed(uint64_t generation, const std::string& failure);
    std::optional<std::size_t> frameIndexNow() const; // nothing once the clip is over; under the mutex
    std::string endDescription() const;               // under the mutex
    // Lets the stream go and hands back whom to tell; under the mutex.
    std::function<void(const std::string&)> endStream();

    const std::filesystem::path clip_;
    const Clock& clock_;
    mutable std::mutex mutex_;
    std::optional<std::vector<std::filesystem::path>> pictures_; // nothing until a video is decoded
    bool decoding_ = false;
    std::shared_ptr<DecodedVideo> video_;
    std::optional<std::string> failure_; // why the clip cannot play (any more)
    double frameDuration_ = 1 / defaultFrameRate;
    std::optional<Date> startedAt_;
    Stream stream_;
    std::optional<std::size_t> lastDelivered_;
};
