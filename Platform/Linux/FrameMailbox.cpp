#include "FrameMailbox.h"

FrameMailbox::FrameMailbox()
    : slot_(std::make_shared<Slot>()) {
}

void FrameMailbox::setDelegate(CaptureSession::SampleBufferHandler handler, std::shared_ptr<Executor> queue) {
    const std::lock_guard lock(slot_->mutex);
    slot_->handler = std::move(handler);
    slot_->queue = slot_->handler ? std::move(queue) : nullptr;
    slot_->waiting.reset();
}

std::shared_ptr<Executor> FrameMailbox::queue() const {
    const std::lock_guard lock(slot_->mutex);
    return slot_->queue;
}

void FrameMailbox::deliver(std::shared_ptr<CapturedFrame> frame) {
    std::shared_ptr<Executor> queue;
    {
        const std::lock_guard lock(slot_->mutex);
        if (!slot_->queue)
            return;
        const bool handOverPending = slot_->waiting != nullptr;
        slot_->waiting = std::move(frame);
        if (handOverPending)
            return;
        queue = slot_->queue;
    }
    queue->post([slot = slot_] {
        CaptureSession::SampleBufferHandler handler;
        std::shared_ptr<CapturedFrame> frame;
        {
            const std::lock_guard lock(slot->mutex);
            frame = std::move(slot->waiting);
            handler = slot->handler;
        }
        if (frame && handler)
            handler(std::move(frame));
    });
}
