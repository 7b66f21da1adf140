#pragma once

#include "Platform/Linux/V4L2System.h"

#include <linux/videodev2.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Video4Linux nodes played from a script, for the camera code's tests: what each node answers, the
// frames it delivers, and a camera that another program holds or that is unplugged. Thread-safe: the
// capture thread waits for frames here while the test pushes them.
class ScriptedV4L2Device final : public V4L2System {
public:
    struct Format {
        uint32_t pixelFormat;
        std::vector<std::pair<int, int>> sizes;
    };
    struct Node {
        bool capture = true;
        std::string card = "Scripted Camera";
        std::vector<Format> formats{{V4L2_PIX_FMT_YUYV, {{320, 240}, {640, 480}, {1280, 720}}}};
        std::vector<double> discreteRates{30, 15, 5}; // frames per second; empty: stepwise below
        std::pair<double, double> stepwiseRates{1, 30};
        bool timePerFrame = true; // the node lets its frame rate be set
        int openErrno = 0;        // EACCES: not ours to use
        bool busy = false;        // another program streams: S_FMT answers EBUSY
    };

    std::map<std::string, Node> nodes;

    // A frame for the streaming node; frames wait in order until the capture takes them.
    void pushFrame(std::string bytes) {
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(std::move(bytes));
        }
        changed_.notify_all();
    }
    // The camera goes away: opening fails and the running stream breaks.
    void unplug(const std::string& node) {
        {
            std::lock_guard lock(mutex_);
            nodes.erase(node);
            unplugged_ = true;
        }
        changed_.notify_all();
    }
    void setBusy(const std::string& node, bool busy) {
        std::lock_guard lock(mutex_);
        nodes[node].busy = busy;
    }
    int openCount() const {
        std::lock_guard lock(mutex_);
        return int(open_.size());
    }
    int streamingCount() const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& [fd, state] : open_)
            n += state.streaming;
        return n;
    }
    std::optional<uint32_t> lastFormat() const {
        std::lock_guard lock(mutex_);
        return lastFormat_;
    }
    double setFrameDuration() const {
        std::lock_guard lock(mutex_);
        return frameDuration_;
    }

    int open(const std::filesystem::path& path) override {
        std::lock_guard lock(mutex_);
        const auto found = nodes.find(path.string());
        if (found == nodes.end())
            return fail(ENOENT);
        if (found->second.openErrno)
            return fail(found->second.openErrno);
        open_[nextFd_] = Open{path.string(), false, {}, {}};
        return nextFd_++;
    }
    void close(int fd) override {
        std::lock_guard lock(mutex_);
        open_.erase(fd);
    }
    void* mmap(int fd, std::size_t length, off_t offset) override {
        std::lock_guard lock(mutex_);
        auto& buffers = open_.at(fd).buffers;
        auto& buffer = buffers.at(static_cast<std::size_t>(offset));
        buffer.resize(length);
        return buffer.data();
    }
    void munmap(void*, std::size_t) override {}

    int poll(int fd, int timeoutMs) override {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ready(fd); });
        const auto found = open_.find(fd);
        if (found == open_.end() || !found->second.streaming || unplugged_)
            return POLLERR;
        return frames_.empty() ? 0 : POLLIN;
    }

    int ioctl(int fd, unsigned long request, void* argument) override {
        std::unique_lock lock(mutex_);
        const auto found = open_.find(fd);
        if (found == open_.end())
            return fail(EBADF);
        Open& state = found->second;
        const auto node = nodes.find(state.node);
        if (node == nodes.end())
            return fail(ENODEV);
        const int result = answer(state, node->second, request, argument);
        lock.unlock();
        changed_.notify_all();
        return result;
    }

private:
    struct Open {
        std::string node;
        bool streaming = false;
        std::vector<std::vector<char>> buffers;
        std::deque<uint32_t> queued;
    };

    static int fail(int error) {
        errno = error;
        return -1;
    }
    bool ready(int fd) const {
        const auto found = open_.find(fd);
        return found == open_.end() || !found->second.streaming || unplugged_ || !frames_.empty();
    }

    int answer(Open& state, Node& node, unsigned long request, void* argument) {
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto& c = *static_cast<v4l2_capability*>(argument);
            std::strncpy(reinterpret_cast<char*>(c.card), node.card.c_str(), sizeof c.card - 1);
            c.capabilities = V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE;
            c.device_caps = node.capture ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING : V4L2_CAP_META_CAPTURE;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto& f = *static_cast<v4l2_fmtdesc*>(argument);
            if (f.index >= node.formats.size())
                return fail(EINVAL);
            f.pixelformat = node.formats[f.index].pixelFormat;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES:
            return frameSize(node, *static_cast<v4l2_frmsizeenum*>(argument));
        case VIDIOC_ENUM_FRAMEINTERVALS:
            return frameInterval(node, *static_cast<v4l2_frmivalenum*>(argument));
        case VIDIOC_S_FMT: {
            if (node.busy)
                return fail(EBUSY);
            auto& f = *static_cast<v4l2_format*>(argument);
            lastFormat_ = f.fmt.pix.pixelformat;
            f.fmt.pix.bytesperline = f.fmt.pix.width * 2;
            return 0;
        }
        case VIDIOC_G_PARM: {
            auto& p = *static_cast<v4l2_streamparm*>(argument);
            p.parm.capture.capability = node.timePerFrame ? V4L2_CAP_TIMEPERFRAME : 0;
            p.parm.capture.timeperframe.numerator = uint32_t(std::lround(frameDuration_ * 1000));
            p.parm.capture.timeperframe.denominator = 1000;
            return 0;
        }
        case VIDIOC_S_PARM: {
            if (state.streaming)
                return fail(EBUSY);
            const auto& t = static_cast<v4l2_streamparm*>(argument)->parm.capture.timeperframe;
            frameDuration_ = double(t.numerator) / t.denominator;
            return 0;
        }
        case VIDIOC_REQBUFS:
            state.buffers.assign(static_cast<v4l2_requestbuffers*>(argument)->count, {});
            return 0;
        case VIDIOC_QUERYBUF: {
            auto& b = *static_cast<v4l2_buffer*>(argument);
            b.length = 1 << 20;
            b.m.offset = b.index;
            return 0;
        }
        case VIDIOC_QBUF:
            state.queued.push_back(static_cast<v4l2_buffer*>(argument)->index);
            return 0;
        case VIDIOC_DQBUF:
            return dequeue(state, *static_cast<v4l2_buffer*>(argument));
        case VIDIOC_STREAMON:
            state.streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            state.streaming = false;
            return 0;
        }
        return fail(ENOTTY);
    }

    int frameSize(const Node& node, v4l2_frmsizeenum& size) {
        for (const auto& format : node.formats)
            if (format.pixelFormat == size.pixel_format && size.index < format.sizes.size()) {
                size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
                size.discrete = {uint32_t(format.sizes[size.index].first), uint32_t(format.sizes[size.index].second)};
                return 0;
            }
        return fail(EINVAL);
    }
    int frameInterval(const Node& node, v4l2_frmivalenum& interval) {
        if (node.discreteRates.empty()) {
            if (interval.index > 0)
                return fail(EINVAL);
            interval.type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
            interval.stepwise.min = {1000, uint32_t(node.stepwiseRates.second * 1000)};
            interval.stepwise.max = {1000, uint32_t(node.stepwiseRates.first * 1000)};
            return 0;
        }
        if (interval.index >= node.discreteRates.size())
            return fail(EINVAL);
        interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval.discrete = {1000, uint32_t(node.discreteRates[interval.index] * 1000)};
        return 0;
    }
    int dequeue(Open& state, v4l2_buffer& buffer) {
        if (unplugged_)
            return fail(ENODEV);
        if (frames_.empty() || state.queued.empty())
            return fail(EAGAIN);
        buffer.index = state.queued.front();
        state.queued.pop_front();
        auto& memory = state.buffers.at(buffer.index);
        const std::string bytes = std::move(frames_.front());
        frames_.pop_front();
        std::memcpy(memory.data(), bytes.data(), std::min(bytes.size(), memory.size()));
        buffer.bytesused = uint32_t(bytes.size());
        return 0;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, Open> open_;
    int nextFd_ = 100;
    std::deque<std::string> frames_;
    bool unplugged_ = false;
    std::optional<uint32_t> lastFormat_;
    double frameDuration_ = 1.0 / 30;
};
