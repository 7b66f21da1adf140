#pragma once

#include "Platform/CameraDevice.h"

#include <memory>
#include <mutex>

// The hand-over of a session's frames to its delegate: frames go to the delegate's queue one at a time,
// and a frame that arrives while the previous one still waits there replaces it, so a slow analysis
// never makes frames pile up (late frames are dropped). Any thread may deliver. Copies share one
// mailbox, so a capture thread can keep one without keeping its session.
class FrameMailbox {
public:
    FrameMailbox();
    void setDelegate(CaptureSession::SampleBufferHandler handler, std::shared_ptr<Executor> queue);
    // The delegate's queue, for work that belongs beside the frames; nothing without a delegate.
    std::shared_ptr<Executor> queue() const;
    void deliver(std::shared_ptr<CapturedFrame> frame);

private:
    struct Slot {
        std::mutex mutex;
        CaptureSession::SampleBufferHandler handler;
        std::shared_ptr<Executor> queue;
        std::shared_ptr<CapturedFrame> waiting;
    };
    std::shared_ptr<Slot> slot_;
};
