#include "ClipCameraDevice.h"

#include "Foundation/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {

constexpr double minimumWait = 0.001;

bool isPicture(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extension == ".png" || extension == ".jpg" || extension == ".jpeg";
}

// Only plain files: reading a FIFO or a device that merely carries a picture's name could block.
std::vector<std::filesystem::path> picturesIn(const std::filesystem::path& folder, std::error_code& error) {
    std::vector<std::filesystem::path> pictures;
    std::error_code ignored;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (isPicture(entry->path()) && entry->is_regular_file(ignored))
            pictures.push_back(entry->path());
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

// What a clip's path holds: the pictures to play, nothing for a video to decode, or why it cannot play.
struct ClipContents {
    std::optional<std::vector<std::filesystem::path>> pictures;
    std::optional<std::string> failure;
};

ClipContents examine(const std::filesystem::path& clip) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(clip, error);
    if (error)
        return {std::nullopt, "Cannot open the clip " + clip.string() + ": " + error.message()};
    if (std::filesystem::is_regular_file(status))
        return {isPicture(clip) ? std::optional(std::vector{clip}) : std::nullopt, std::nullopt};
    if (!std::filesystem::is_directory(status))
        return {std::nullopt, clip.string() + " is neither a folder of pictures nor a video file"};
    std::vector<std::filesystem::path> pictures = picturesIn(clip, error);
    if (error)
        return {std::nullopt, "Cannot read the folder " + clip.string() + ": " + error.message()};
    if (pictures.empty())
        return {std::nullopt, "No JPEG or PNG pictures in " + clip.string()};
    return {std::move(pictures), std::nullopt};
}

// One picture of the clip, read and decoded when the analysis asks for it; one that cannot be is
// reported through `failed`.
class ClipFrame final : public CapturedFrame {
public:
    ClipFrame(std::filesystem::path picture, std::function<void(const std::string&)> failed)
        : picture_(std::move(picture))
        , failed_(std::move(failed)) {}

    const ImageView* imageBuffer() override {
        if (!read_) {
            read_ = true;
            std::optional<std::string> failure;
            errno = 0;
            if (const auto bytes = AtomicFile::read(picture_, ClipCaptureDevice::largestPictureFile)) {
                PictureDecoding decoded = decodeImage(*bytes, ClipCaptureDevice::largestPicture);
                image_ = std::move(decoded.image);
                if (!image_)
                    failure = picture_.string() + " cannot be decoded: " + decoded.failure;
            } else {
                failure = "Cannot read the picture " + picture_.string() + ": " +
                          AtomicFile::readFailure(errno, ClipCaptureDevice::largestPictureFile);
            }
            if (image_)
                view_ = image_->view();
            else
                failed_(*failure);
        }
        return image_ ? &view_ : nullptr;
    }

private:
    std::filesystem::path picture_;
    std::function<void(const std::string&)> failed_;
    bool read_ = false;
    std::optional<DecodedImage> image_;
    ImageView view_;
};

class ClipCaptureSession final : public CaptureSession {
public:
    explicit ClipCaptureSession(std::shared_ptr<ClipCaptureDevice> device)
        : device_(std::move(device))
        , observers_(std::make_shared<ObserverBox>()) {}
    ~ClipCaptureSession() override { device_->stopStream(this); }

    // A clip's pictures have the size they were recorded in.
    bool canSetSessionPreset(Preset) const override { return true; }
    void setSessionPreset(Preset) override {}
    std::optional<std::string> addDeviceInput() override { return device_->inputProblem(); }
    void setSampleBufferDelegate(SampleBufferHandler handler, std::shared_ptr<Executor> queue) override {
        mailbox_.setDelegate(std::move(handler), std::move(queue));
    }
    void setObservers(Observers observers) override {
        const std::lock_guard lock(observers_->mutex);
        observers_->observers = std::move(observers);
    }
    std::optional<std::string> startRunning() override {
        return device_->startStream(this, mailbox_, [observers = observers_](const std::string& description) {
            std::function<void(const std::string&)> runtimeError;
            {
                const std::lock_guard lock(observers->mutex);
                runtimeError = observers->observers.runtimeError;
            }
            if (runtimeError)
                runtimeError(description);
        });
    }
    void stopRunning() override { device_->stopStream(this); }
    bool isRunning() const override { return device_->isStreaming(this); }

private:
    struct ObserverBox {
        std::mutex mutex;
        Observers observers;
    };
    const std::shared_ptr<ClipCaptureDevice> device_;
    FrameMailbox mailbox_;
    const std::shared_ptr<ObserverBox> observers_;
};

} // namespace

ClipCameraDevice::ClipCameraDevice(std::filesystem::path clip, const Clock& clock)
    : clip_(std::move(clip))
    , clock_(clock) {
}

int ClipCameraDevice::authorizationStatus() {
    return authorized;
}

std::shared_ptr<CaptureDevice> ClipCameraDevice::defaultVideoDevice() {
    if (!device_)
        device_ = std::make_shared<ClipCaptureDevice>(clip_, clock_);
    return device_;
}

ClipCaptureDevice::ClipCaptureDevice(std::filesystem::path clip, const Clock& clock)
    : clip_(std::move(clip))
    , clock_(clock) {
    ClipContents contents = examine(clip_);
    pictures_ = std::move(contents.pictures);
    failure_ = std::move(contents.failure);
}

std::optional<std::string> ClipCaptureDevice::inputProblem() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

std::string ClipCaptureDevice::localizedName() const {
    return "Clip " + clip_.filename().string();
}

std::shared_ptr<CaptureSession> ClipCaptureDevice::makeCaptureSession() {
    return std::make_shared<ClipCaptureSession>(shared_from_this());
}

std::optional<std::string> ClipCaptureDevice::setActiveVideoFrameDuration(double seconds) {
    const double lowest = 1 / offeredRates.maxFrameRate, highest = 1 / offeredRates.minFrameRate;
    if (!(seconds >= lowest && seconds <= highest))
        return std::string("The clip cannot play at that rate");
    const std::lock_guard lock(mutex_);
    frameDuration_ = seconds;
    return std::nullopt;
}

double ClipCaptureDevice::activeVideoMinFrameDuration() {
    const std::lock_guard lock(mutex_);
    return frameDuration_;
}

std::optional<std::size_t> ClipCaptureDevice::frameIndexNow() const {
    const double elapsed = startedAt_ ? clock_.now().timeIntervalSince(*startedAt_) : 0;
    const auto index = static_cast<std::size_t>(std::max(0.0, std::floor(elapsed / frameDuration_ + 1e-9)));
    return pictures_ && index < pictures_->size() ? std::optional(index) : std::nullopt;
}

std::string ClipCaptureDevice::endDescription() const {
    return failure_.value_or(endedDescription);
}

std::function<void(const std::string&)> ClipCaptureDevice::endStream() {
    auto ended = std::move(stream_.ended);
    stream_ = {nullptr, stream_.generation + 1, {}, {}};
    return ended;
}

std::optional<std::string> ClipCaptureDevice::startStream(const void* owner, FrameMailbox mailbox,
                                                          std::function<void(const std::string&)> ended) {
    uint64_t generation;
    std::shared_ptr<Executor> decodingQueue;
    {
        const std::lock_guard lock(mutex_);
        if (failure_)
            return failure_;
        if (pictures_ && !startedAt_)
            startedAt_ = clock_.now();
        if (pictures_ && !frameIndexNow())
            return endDescription();
        generation = ++stream_.generation;
        stream_ = {owner, generation, std::move(mailbox), std::move(ended)};
        if (!pictures_ && !decoding_ && (decodingQueue = stream_.mailbox.queue()))
            decoding_ = true;
    }
    if (decodingQueue)
        decodingQueue->post([weak = weak_from_this()] {
            if (const auto self = weak.lock())
                self->decodeVideo();
        });
    else
        deliverDueFrame(generation);
    return std::nullopt;
}

// On the first session's queue: the video becomes pictures, its clip starts now, and the session that
// runs gets its first frame (or the reason there is none).
void ClipCaptureDevice::decodeVideo() {
    DecodedVideo::Outcome outcome = DecodedVideo::decode(clip_, defaultFrameRate);
    std::vector<std::filesystem::path> pictures;
    std::error_code error;
    if (outcome.video && (pictures = picturesIn(outcome.video->folder(), error)).empty())
        outcome.failure = "ffmpeg found no frames in the clip";
    uint64_t generation;
    {
        const std::lock_guard lock(mutex_);
        decoding_ = false;
        pictures_ = std::move(pictures);
        video_ = std::move(outcome.video);
        if (!outcome.failure.empty())
            failure_ = outcome.failure;
        startedAt_ = clock_.now();
        generation = stream_.generation;
    }
    deliverDueFrame(generation);
}

void ClipCaptureDevice::stopStream(const void* owner) {
    const std::lock_guard lock(mutex_);
    if (stream_.owner == owner)
        stream_ = {nullptr, stream_.generation + 1, {}, {}};
}

bool ClipCaptureDevice::isStreaming(const void* owner) const {
    const std::lock_guard lock(mutex_);
    return owner && stream_.owner == owner;
}

// Hands over the picture due now (each picture once) and comes back when the next one is due; when
// the clip is over it ends the stream.
void ClipCaptureDevice::deliverDueFrame(uint64_t generation) {
    std::shared_ptr<Executor> queue;
    std::function<void(const std::string&)> ended;
    std::string description;
    double wait = 0;
    {
        const std::lock_guard lock(mutex_);
        if (stream_.generation != generation || !stream_.owner || !pictures_)
            return;
        queue = stream_.mailbox.queue();
        const auto index = frameIndexNow();
        if (!index) {
            description = endDescription();
            ended = endStream();
        } else {
            if (lastDelivered_ != index) {
                lastDelivered_ = index;
                stream_.mailbox.deliver(std::make_shared<ClipFrame>(
                    (*pictures_)[*index], [weak = weak_from_this(), generation](const std::string& failure) {
                        if (const auto self = weak.lock())
                            self->pictureFailed(generation, failure);
                    }));
            }
            // Never less than a millisecond: a clock that counts in whole seconds since a distant
            // date cannot step by the rounding error left here, and the pacing would spin.
            const double next = double(*index + 1) * frameDuration_;
            wait = std::max(minimumWait, next - clock_.now().timeIntervalSince(*startedAt_));
        }
    }
    if (ended) {
        ended(description);
        return;
    }
    if (queue)
        queue->postAfter(wait, [weak = weak_from_this(), generation] {
            if (const auto self = weak.lock())
                self->deliverDueFrame(generation);
        });
}

void ClipCaptureDevice::pictureFailed(uint64_t generation, const std::string& failure) {
    std::function<void(const std::string&)> ended;
    {
        const std::lock_guard lock(mutex_);
        failure_ = failure;
        if (stream_.generation == generation && stream_.owner)
            ended = endStream();
    }
    if (ended)
        ended(failure);
}
