#include "V4L2CaptureDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>

namespace {

bool readable(const V4L2Mode& mode) {
    return mode.pixelFormat == V4L2_PIX_FMT_YUYV || mode.pixelFormat == V4L2_PIX_FMT_MJPEG;
}

bool largeEnough(const V4L2Mode& mode) {
    return mode.width >= 640 && mode.height >= 480;
}

long area(const V4L2Mode& mode) {
    return long(mode.width) * mode.height;
}

// The rates of one format and size, from its frame intervals (seconds per frame).
std::vector<FrameRateRange> frameRates(V4L2System& system, int fd, const V4L2Mode& mode) {
    std::vector<FrameRateRange> ranges;
    for (uint32_t index = 0;; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = mode.pixelFormat;
        interval.width = static_cast<uint32_t>(mode.width);
        interval.height = static_cast<uint32_t>(mode.height);
        if (system.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0)
            break;
        const auto rate = [](const v4l2_fract& f) { return f.numerator ? double(f.denominator) / f.numerator : 0; };
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            const double r = rate(interval.discrete);
            ranges.push_back({r, r});
        } else {
            // Stepwise or continuous: one range from the longest interval to the shortest.
            ranges.push_back({rate(interval.stepwise.max), rate(interval.stepwise.min)});
            break;
        }
    }
    return ranges;
}

} // namespace

std::optional<std::string> captureCardName(V4L2System& system, int fd) {
    v4l2_capability capability{};
    if (system.ioctl(fd, VIDIOC_QUERYCAP, &capability) != 0)
        return std::nullopt;
    const uint32_t capabilities =
        capability.capabilities & V4L2_CAP_DEVICE_CAPS ? capability.device_caps : capability.capabilities;
    if (!(capabilities & V4L2_CAP_VIDEO_CAPTURE))
        return std::nullopt;
    const auto* card = reinterpret_cast<const char*>(capability.card);
    return std::string(card, strnlen(card, sizeof capability.card));
}

bool canUseLowPreset(const std::vector<V4L2Mode>& modes) {
    return std::any_of(modes.begin(), modes.end(), [](const V4L2Mode& m) { return readable(m) && largeEnough(m); });
}

std::optional<V4L2Mode> chooseCaptureMode(const std::vector<V4L2Mode>& modes, CaptureSession::Preset preset) {
    const bool low = preset == CaptureSession::Preset::low;
    std::optional<V4L2Mode> chosen;
    const auto better = [&](const V4L2Mode& m) {
        if (!chosen || area(m) != area(*chosen))
            return !chosen || (low ? area(m) < area(*chosen) : area(m) > area(*chosen));
        return m.pixelFormat == V4L2_PIX_FMT_YUYV && chosen->pixelFormat != V4L2_PIX_FMT_YUYV;
    };
    for (const V4L2Mode& mode : modes)
        if (readable(mode) && (!low || largeEnough(mode)) && better(mode))
            chosen = mode;
    return chosen;
}

V4L2CaptureDevice::V4L2CaptureDevice(std::shared_ptr<V4L2System> system, std::filesystem::path node,
                                     std::string cardName, std::vector<V4L2Mode> modes)
    : system_(std::move(system))
    , node_(std::move(node))
    , cardName_(std::move(cardName))
    , modes_(std::move(modes))
    , activeMode_(chooseCaptureMode(modes_, CaptureSession::Preset::low)) {
}

V4L2CaptureDevice::~V4L2CaptureDevice() = default;

std::shared_ptr<CaptureSession> V4L2CaptureDevice::makeCaptureSession() {
    return std::make_shared<V4L2CaptureSession>(shared_from_this());
}

void V4L2CaptureDevice::choosePreset(CaptureSession::Preset preset) {
    const std::lock_guard lock(mutex_);
    activeMode_ = chooseCaptureMode(modes_, preset);
}

std::optional<std::string> V4L2CaptureDevice::checkInput() {
    unreadable_->reset();
    const int fd = system_->open(node_);
    if (fd < 0)
        return "Cannot open " + node_.string() + ": " + std::strerror(errno);
    const bool capture = captureCardName(*system_, fd).has_value();
    system_->close(fd);
    if (!capture)
        return node_.string() + " is not a video capture device";
    return std::nullopt;
}

V4L2Stream::Opened V4L2CaptureDevice::startStream(const void* owner, V4L2Stream::Callbacks callbacks) {
    std::unique_lock lock(mutex_);
    // The stream of the session that had the device goes first, so that the node is free.
    takeStream().reset();
    if (!activeMode_)
        return {nullptr, false, "The camera offers no picture format that can be read (MJPEG or YUYV)"};
    if (auto failure = unreadable_->failure())
        return {nullptr, false, std::move(*failure)};
    V4L2Stream::Opened opened =
        V4L2Stream::open(system_, node_, *activeMode_, frameDuration_, unreadable_, std::move(callbacks));
    if (opened.stream) {
        stream_ = std::move(opened.stream);
        streamOwner_ = owner;
    }
    return opened;
}

void V4L2CaptureDevice::stopStream(const void* owner) {
    std::unique_ptr<V4L2Stream> stopped;
    {
        const std::lock_guard lock(mutex_);
        if (streamOwner_ == owner)
            stopped = takeStream();
    }
}

bool V4L2CaptureDevice::isStreaming(const void* owner) const {
    const std::lock_guard lock(mutex_);
    return stream_ && streamOwner_ == owner && stream_->isLive();
}

std::unique_ptr<V4L2Stream> V4L2CaptureDevice::takeStream() {
    streamOwner_ = nullptr;
    return std::move(stream_);
}

std::vector<FrameRateRange> V4L2CaptureDevice::activeFormatFrameRateRanges() {
    std::optional<V4L2Mode> mode;
    {
        const std::lock_guard lock(mutex_);
        mode = activeMode_;
    }
    const int fd = mode ? system_->open(node_) : -1;
    if (fd < 0)
        return {};
    auto ranges = frameRates(*system_, fd, *mode);
    system_->close(fd);
    return ranges;
}

// Cameras refuse a new rate while they stream (uvcvideo answers EBUSY); the rate is kept for every
// later start, and a camera streaming now takes it at its next start, which the low-power pulses
// bring within seconds.
std::optional<std::string> V4L2CaptureDevice::setActiveVideoFrameDuration(double seconds) {
    const std::lock_guard lock(mutex_);
    frameDuration_ = seconds;
    if (!stream_ || !stream_->isLive() || stream_->setFrameDuration(seconds) || errno == EBUSY)
        return std::nullopt;
    return std::string(std::strerror(errno));
}

// What the streaming camera reports; without a stream, the duration it will be given.
double V4L2CaptureDevice::activeVideoMinFrameDuration() {
    const std::lock_guard lock(mutex_);
    if (stream_ && stream_->isLive())
        if (const double duration = stream_->frameDuration(); duration > 0)
            return duration;
    return frameDuration_.value_or(0);
}

V4L2CaptureSession::V4L2CaptureSession(std::shared_ptr<V4L2CaptureDevice> device)
    : device_(std::move(device))
    , observers_(std::make_shared<ObserverBox>()) {
}

V4L2CaptureSession::~V4L2CaptureSession() {
    device_->stopStream(this);
}

bool V4L2CaptureSession::canSetSessionPreset(Preset preset) const {
    return preset == Preset::medium || canUseLowPreset(device_->modes());
}

void V4L2CaptureSession::setSessionPreset(Preset preset) {
    device_->choosePreset(preset);
}

std::optional<std::string> V4L2CaptureSession::addDeviceInput() {
    return device_->checkInput();
}

void V4L2CaptureSession::setSampleBufferDelegate(SampleBufferHandler handler, std::shared_ptr<Executor> queue) {
    mailbox_.setDelegate(std::move(handler), std::move(queue));
}

void V4L2CaptureSession::setObservers(Observers observers) {
    const std::lock_guard lock(observers_->mutex);
    observers_->observers = std::move(observers);
}

CaptureSession::Observers V4L2CaptureSession::ObserverBox::get() const {
    const std::lock_guard lock(mutex);
    return observers;
}

std::optional<std::string> V4L2CaptureSession::startRunning() {
    uint64_t generation;
    {
        const std::lock_guard lock(mutex_);
        generation = ++generation_;
    }
    std::string failure;
    switch (attemptStart(failure)) {
    case Attempt::started:
        return std::nullopt;
    case Attempt::busy:
        if (const auto interrupted = observers_->get().wasInterrupted)
            interrupted();
        retryWhileBusy(generation);
        return std::nullopt;
    case Attempt::failed:
        break;
    }
    return failure;
}

void V4L2CaptureSession::stopRunning() {
    {
        const std::lock_guard lock(mutex_);
        ++generation_;
    }
    device_->stopStream(this);
}

bool V4L2CaptureSession::isRunning() const {
    return device_->isStreaming(this);
}

// The capture thread keeps the mailbox and the observers, never the session.
V4L2CaptureSession::Attempt V4L2CaptureSession::attemptStart(std::string& failure) {
    V4L2Stream::Callbacks callbacks;
    callbacks.frame = [mailbox = mailbox_](std::shared_ptr<CapturedFrame> frame) mutable {
        mailbox.deliver(std::move(frame));
    };
    callbacks.failed = [observers = observers_](const std::string& description) {
        if (const auto runtimeError = observers->get().runtimeError)
            runtimeError(description);
    };
    const V4L2Stream::Opened opened = device_->startStream(this, std::move(callbacks));
    if (opened.busy)
        return Attempt::busy;
    failure = opened.failure;
    return failure.empty() ? Attempt::started : Attempt::failed;
}

void V4L2CaptureSession::retryWhileBusy(uint64_t generation) {
    const auto queue = mailbox_.queue();
    if (!queue)
        return;
    queue->postAfter(busyRetryInterval, [weak = weak_from_this(), generation] {
        const auto self = weak.lock();
        if (!self)
            return;
        {
            const std::lock_guard lock(self->mutex_);
            if (self->generation_ != generation)
                return;
        }
        std::string failure;
        const Observers observers = self->observers_->get();
        switch (self->attemptStart(failure)) {
        case Attempt::started:
            if (observers.interruptionEnded)
                observers.interruptionEnded();
            break;
        case Attempt::busy:
            self->retryWhileBusy(generation);
            break;
        case Attempt::failed:
            if (observers.runtimeError)
                observers.runtimeError(failure);
            break;
        }
    });
}
