#pragma once

#include "Foundation/DispatchQueue.h"
#include "Foundation/MainExecutor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The main queue for one test: work posted from any thread runs on the test's thread when the test
// waits for it, and a wait is always bounded.
class AwaitableMainQueue {
public:
    AwaitableMainQueue()
        : executor_(std::make_shared<Executor>()) {
        DispatchQueue::installMainExecutor(executor_);
    }
    ~AwaitableMainQueue() { DispatchQueue::installMainExecutor(nullptr); }
    AwaitableMainQueue(const AwaitableMainQueue&) = delete;
    AwaitableMainQueue& operator=(const AwaitableMainQueue&) = delete;

    // Runs posted work until `done` holds; false when it still does not after `limit`. `done` is
    // also asked every few milliseconds, for conditions that other threads bring about.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            runPending();
            if (done())
                return true;
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return false;
            executor_->waitForWork(std::min(deadline, now + std::chrono::milliseconds(5)));
        }
    }
    // Runs what is posted already, without waiting.
    void runPending() {
        while (auto work = executor_->take()) {
            work();
            ++ran_;
        }
    }
    // How many posted items have run.
    std::size_t ran() const { return ran_; }

private:
    class Executor final : public MainExecutor {
    public:
        void post(std::function<void()> work) override {
            {
                std::lock_guard lock(mutex_);
                items_.push_back(std::move(work));
            }
            arrived_.notify_all();
        }
        void postAfter(double, std::function<void()> work) override { post(std::move(work)); }

        std::function<void()> take() {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return {};
            auto work = std::move(items_.front());
            items_.pop_front();
            return work;
        }
        bool waitForWork(std::chrono::steady_clock::time_point deadline) {
            std::unique_lock lock(mutex_);
            return arrived_.wait_until(lock, deadline, [&] { return !items_.empty(); });
        }

    private:
        std::mutex mutex_;
        std::condition_variable arrived_;
        std::deque<std::function<void()>> items_;
    };

    std::shared_ptr<Executor> executor_;
    std::size_t ran_ = 0;
};
