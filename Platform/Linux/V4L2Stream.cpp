#include "V4L2Stream.h"

#include "Platform/Linux/ImageDecoding.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/videodev2.h>
#include <mutex>
#include <poll.h>

namespace {

constexpr int bufferCount = 4;
constexpr int pollIntervalMs = 1000;

std::string errorText() {
    return std::strerror(errno);
}

} // namespace

struct V4L2Stream::Outcome {
    std::function<void(const std::string&)> failed; // fixed before the capture starts
    std::atomic<bool> ended{false};                 // also once the stream is closed

    void end(const std::string& failure) {
        if (!ended.exchange(true) && failed)
            failed(failure);
    }
};

std::optional<std::string> UnreadableFrames::count(const std::optional<std::string>& failure) {
    const std::lock_guard lock(mutex_);
    inARow_ = failure ? inARow_ + 1 : 0;
    if (inARow_ != limit)
        return std::nullopt;
    failure_ = "The camera's frames cannot be decoded: " + *failure;
    return failure_;
}

std::optional<std::string> UnreadableFrames::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

void UnreadableFrames::reset() {
    const std::lock_guard lock(mutex_);
    inARow_ = 0;
    failure_.reset();
}

namespace {

// One frame's bytes as the camera sent them; YUYV is read in place, MJPEG decoded on first use. A frame
// larger than the size the camera agreed to send is damaged like any other that cannot be read.
class V4L2Frame final : public CapturedFrame {
public:
    V4L2Frame(std::string bytes, V4L2Mode mode, std::size_t bytesPerRow, std::shared_ptr<UnreadableFrames> unreadable,
              std::shared_ptr<V4L2Stream::Outcome> outcome)
        : bytes_(std::move(bytes))
        , mode_(mode)
        , bytesPerRow_(bytesPerRow)
        , unreadable_(std::move(unreadable))
        , outcome_(std::move(outcome)) {}

    const ImageView* imageBuffer() override {
        if (!decoded_) {
            decoded_ = true;
            if (const auto failure = unreadable_->count(read()))
                outcome_->end(*failure);
        }
        return view_ ? &*view_ : nullptr;
    }

private:
    // Why the frame cannot be read, if it cannot.
    std::optional<std::string> read() {
        if (mode_.pixelFormat == V4L2_PIX_FMT_MJPEG) {
            PictureDecoding decoded = decodeJpeg(bytes_, {mode_.width, mode_.height}, JpegOrigin::camera);
            if (!(image_ = std::move(decoded.image)))
                return decoded.failure;
            view_ = image_->view();
        } else if (bytes_.size() >= bytesPerRow_ * static_cast<std::size_t>(mode_.height)) {
            view_ = ImageView{mode_.width, mode_.height, PixelFormat::yuyv422, bytesPerRow_,
                              reinterpret_cast<const uint8_t*>(bytes_.data())};
        } else {
            return "a YUYV frame of " + std::to_string(bytes_.size()) + " bytes is too short";
        }
        return std::nullopt;
    }

    std::string bytes_;
    V4L2Mode mode_;
    std::size_t bytesPerRow_;
    std::shared_ptr<UnreadableFrames> unreadable_;
    std::shared_ptr<V4L2Stream::Outcome> outcome_;
    bool decoded_ = false;
    std::optional<DecodedImage> image_;
    std::optional<ImageView> view_;
};

// Sets the format; false with the reason (or `busy`) when the node will not take it.
bool setFormat(V4L2System& system, int fd, V4L2Mode& mode, std::size_t& bytesPerRow, bool& busy,
               std::string& failure) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<uint32_t>(mode.width);
    format.fmt.pix.height = static_cast<uint32_t>(mode.height);
    format.fmt.pix.pixelformat = mode.pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (system.ioctl(fd, VIDIOC_S_FMT, &format) < 0) {
        busy = errno == EBUSY;
        failure = "The camera refused its picture format: " + errorText();
        return false;
    }
    if (format.fmt.pix.pixelformat != mode.pixelFormat) {
        failure = "The camera offers no picture format that can be read (MJPEG or YUYV)";
        return false;
    }
    mode.width = static_cast<int>(format.fmt.pix.width);
    mode.height = static_cast<int>(format.fmt.pix.height);
    bytesPerRow = format.fmt.pix.bytesperline ? format.fmt.pix.bytesperline : format.fmt.pix.width * 2;
    return true;
}

} // namespace

V4L2Stream::Opened V4L2Stream::open(std::shared_ptr<V4L2System> system, const std::filesystem::path& node,
                                    const V4L2Mode& wanted, std::optional<double> frameDuration,
                                    std::shared_ptr<UnreadableFrames> unreadable, Callbacks callbacks) {
    Opened opened;
    const int fd = system->open(node);
    if (fd < 0) {
        opened.busy = errno == EBUSY;
        opened.failure = errorText();
        return opened;
    }
    V4L2Mode mode = wanted;
    std::size_t bytesPerRow = 0;
    if (!setFormat(*system, fd, mode, bytesPerRow, opened.busy, opened.failure)) {
        system->close(fd);
        return opened;
    }
    std::unique_ptr<V4L2Stream> stream(new V4L2Stream(system, fd, mode, bytesPerRow, std::move(unreadable)));
    stream->outcome_->failed = callbacks.failed;
    if (frameDuration)
        stream->setFrameDuration(*frameDuration); // a camera that refuses runs at its own rate
    if (const auto failure = stream->mapBuffers(opened.busy)) {
        opened.failure = *failure;
        return opened;
    }
    V4L2Stream* running = stream.get();
    running->thread_ = std::thread([running, callbacks = std::move(callbacks)] { running->capture(callbacks); });
    opened.stream = std::move(stream);
    return opened;
}

V4L2Stream::V4L2Stream(std::shared_ptr<V4L2System> system, int fd, V4L2Mode mode, std::size_t bytesPerRow,
                       std::shared_ptr<UnreadableFrames> unreadable)
    : system_(std::move(system))
    , fd_(fd)
    , mode_(mode)
    , bytesPerRow_(bytesPerRow)
    , unreadable_(std::move(unreadable))
    , outcome_(std::make_shared<Outcome>()) {
}

bool V4L2Stream::isLive() const {
    return !outcome_->ended;
}

V4L2Stream::~V4L2Stream() {
    stopping_ = true;
    outcome_->ended = true; // frames read later tell nobody
    if (thread_.joinable()) {
        // Stopping the stream wakes the thread's wait at once.
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        system_->ioctl(fd_, VIDIOC_STREAMOFF, &type);
        thread_.join();
    }
    for (const Buffer& buffer : buffers_)
        system_->munmap(buffer.address, buffer.length);
    system_->close(fd_);
}

std::optional<std::string> V4L2Stream::mapBuffers(bool& busy) {
    v4l2_requestbuffers request{};
    request.count = bufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (system_->ioctl(fd_, VIDIOC_REQBUFS, &request) < 0) {
        busy = errno == EBUSY;
        return "The camera gave no capture buffers: " + errorText();
    }
    if (request.count == 0)
        return std::string("The camera gave no capture buffers");
    for (uint32_t index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (system_->ioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0)
            return "The camera's capture buffers cannot be used: " + errorText();
        void* address = system_->mmap(fd_, buffer.length, buffer.m.offset);
        if (!address)
            return "The camera's capture buffers cannot be mapped: " + errorText();
        buffers_.push_back({address, buffer.length});
        if (system_->ioctl(fd_, VIDIOC_QBUF, &buffer) < 0)
            return "The camera's capture buffers cannot be queued: " + errorText();
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system_->ioctl(fd_, VIDIOC_STREAMON, &type) < 0) {
        busy = errno == EBUSY;
        return "The camera does not stream: " + errorText();
    }
    return std::nullopt;
}

void V4L2Stream::capture(Callbacks callbacks) {
    int silentMs = 0;
    while (!stopping_ && isLive()) {
        const auto failure = nextFrame(callbacks, silentMs);
        if (failure && !stopping_) {
            outcome_->end(*failure);
            return;
        }
    }
}

// Waits for one frame and hands it on; the failure that ends the stream, if any.
std::optional<std::string> V4L2Stream::nextFrame(const Callbacks& callbacks, int& silentMs) {
    const int events = system_->poll(fd_, pollIntervalMs);
    if (stopping_)
        return std::nullopt;
    if (events < 0)
        return errorText();
    if (events == 0) {
        silentMs += pollIntervalMs;
        if (silentMs >= silenceLimitMs)
            return std::string("The camera stopped delivering frames");
        return std::nullopt;
    }
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (system_->ioctl(fd_, VIDIOC_DQBUF, &buffer) < 0)
        return errno == EAGAIN ? std::nullopt : std::optional(errorText());
    silentMs = 0;
    if (buffer.index < buffers_.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.bytesused > 0) {
        const Buffer& mapped = buffers_[buffer.index];
        std::string bytes(static_cast<const char*>(mapped.address), std::min<std::size_t>(buffer.bytesused, mapped.length));
        if (callbacks.frame)
            callbacks.frame(std::make_shared<V4L2Frame>(std::move(bytes), mode_, bytesPerRow_, unreadable_, outcome_));
    }
    if (system_->ioctl(fd_, VIDIOC_QBUF, &buffer) < 0)
        return errorText();
    return std::nullopt;
}

bool V4L2Stream::setFrameDuration(double seconds) {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system_->ioctl(fd_, VIDIOC_G_PARM, &parameters) < 0)
        return false;
    if (!(parameters.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        errno = ENOTTY;
        return false;
    }
    // Frame durations are kept as fractions; 1/5 s is exactly 1/5.
    parameters.parm.capture.timeperframe.numerator = 1000;
    parameters.parm.capture.timeperframe.denominator = static_cast<uint32_t>(std::lround(1000 / seconds));
    return system_->ioctl(fd_, VIDIOC_S_PARM, &parameters) == 0;
}

double V4L2Stream::frameDuration() {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (system_->ioctl(fd_, VIDIOC_G_PARM, &parameters) < 0)
        return 0;
    const auto& fraction = parameters.parm.capture.timeperframe;
    return fraction.denominator ? double(fraction.numerator) / fraction.denominator : 0;
}
