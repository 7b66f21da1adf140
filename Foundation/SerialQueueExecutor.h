#pragma once

#include "Foundation/DispatchQueue.h"
#include "Foundation/Executor.h"

#include <memory>
#include <mutex>
#include <string>

// A named serial queue whose worker thread is started by the first work posted to it: a service that
// is never used costs no thread.
class SerialQueueExecutor final : public Executor {
public:
    explicit SerialQueueExecutor(std::string label)
        : label_(std::move(label)) {}

    void post(std::function<void()> work) override { queue().async(std::move(work)); }
    void postAfter(double seconds, std::function<void()> work) override {
        queue().asyncAfter(seconds, std::move(work));
    }
    void shutdown() override { queue().shutdown(); }

private:
    DispatchQueue& queue() {
        std::call_once(started_, [this] { queue_ = std::make_unique<DispatchQueue>(label_); });
        return *queue_;
    }

    std::string label_;
    std::once_flag started_;
    std::unique_ptr<DispatchQueue> queue_;
};
