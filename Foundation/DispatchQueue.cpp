#include "DispatchQueue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include <pthread.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* message) {
    std::fprintf(stderr, "DispatchQueue: %s\n", message);
    std::abort();
}

// Far beyond any delay we use, yet small enough that adding it to the steady clock cannot overflow.
constexpr double longestDelay = 1e9;

SteadyClock::time_point dueAfter(double seconds) {
    const std::chrono::duration<double> delay(std::min(std::max(0.0, seconds), longestDelay));
    return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(delay);
}

struct MainExecutorSlot {
    std::mutex mutex;
    std::shared_ptr<MainExecutor> executor;
};

MainExecutorSlot& mainExecutorSlot() {
    static MainExecutorSlot slot;
    return slot;
}

std::shared_ptr<MainExecutor> installedMainExecutor() {
    auto& slot = mainExecutorSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.executor)
        fail("work was posted to the main queue before a main executor was installed");
    return slot.executor;
}

} // namespace

// The worker thread holds the state too, so a queue destroyed by its own work leaves the state alive
// until the worker has finished that work.
struct DispatchQueue::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    // A multimap keeps insertion order among equal keys, so items due together run first-in first-out.
    std::multimap<SteadyClock::time_point, std::function<void()>> items;
    bool stopping = false;
    bool abandoned = false;
    bool ended = false; // no worker runs the items given now, nor ever will

    // False when the queue has ended: then the work is not taken.
    bool schedule(SteadyClock::time_point due, std::function<void()> work);
    // Takes no more work; what was left goes with the caller's copy, outside the lock.
    std::multimap<SteadyClock::time_point, std::function<void()>> end();
    void run(const std::string& label);
    std::function<void()> next(std::unique_lock<std::mutex>& lock);
};

namespace {
// The worker whose thread this is, so sync and the destructor can tell when they run on their own queue.
thread_local const void* currentWorker = nullptr;
} // namespace

bool DispatchQueue::Worker::schedule(SteadyClock::time_point due, std::function<void()> work) {
    {
        std::lock_guard lock(mutex);
        if (ended)
            return false;
        items.emplace(due, std::move(work));
    }
    wake.notify_one();
    return true;
}

std::multimap<SteadyClock::time_point, std::function<void()>> DispatchQueue::Worker::end() {
    ended = true;
    return std::exchange(items, {});
}

void DispatchQueue::Worker::run(const std::string& label) {
    currentWorker = this;
    pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());
    std::unique_lock lock(mutex);
    while (auto work = next(lock)) {
        lock.unlock();
        work();
        // Release what the work captured before taking the lock: a destructor may post to this queue.
        work = nullptr;
        lock.lock();
    }
    // Under the lock that found nothing left to run, so work given from now on is refused, not stranded.
    auto left = end();
    lock.unlock();
}

// Waits for the next due item; empty once the queue is stopping and nothing due is left.
std::function<void()> DispatchQueue::Worker::next(std::unique_lock<std::mutex>& lock) {
    while (!abandoned) {
        if (items.empty()) {
            if (stopping)
                return {};
            wake.wait(lock);
            continue;
        }
        const auto first = items.begin();
        if (first->first > SteadyClock::now()) {
            if (stopping)
                return {};
            wake.wait_until(lock, first->first);
            continue;
        }
        auto work = std::move(first->second);
        items.erase(first);
        return work;
    }
    return {};
}

DispatchQueue::DispatchQueue(std::string label)
    : label_(std::move(label))
    , worker_(std::make_shared<Worker>()) {
}

DispatchQueue::Worker& DispatchQueue::startedWorker() {
    std::call_once(started_, [this] {
        thread_ = std::thread([worker = worker_, label = label_] { worker->run(label); });
    });
    return *worker_;
}

DispatchQueue::DispatchQueue(MainTag)
    : label_("main") {
}

DispatchQueue::~DispatchQueue() {
    if (worker_)
        shutdown();
}

void DispatchQueue::shutdown() {
    if (!worker_)
        fail("shutdown is not available on the main queue");
    // A queue never used starts no worker afterwards.
    std::call_once(started_, [] {});
    const bool fromOwnWork = currentWorker == worker_.get();
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stopping = true;
        worker_->abandoned = fromOwnWork;
    }
    worker_->wake.notify_one();
    if (thread_.joinable()) {
        if (fromOwnWork)
            thread_.detach();
        else
            thread_.join();
        return;
    }
    std::unique_lock lock(worker_->mutex);
    auto left = worker_->end();
    lock.unlock();
}

DispatchQueue& DispatchQueue::main() {
    static DispatchQueue queue{MainTag{}};
    return queue;
}

void DispatchQueue::installMainExecutor(std::shared_ptr<MainExecutor> executor) {
    auto& slot = mainExecutorSlot();
    std::lock_guard lock(slot.mutex);
    slot.executor = std::move(executor);
}

void DispatchQueue::async(std::function<void()> work) {
    if (!work)
        return;
    if (worker_)
        startedWorker().schedule(SteadyClock::now(), std::move(work));
    else
        installedMainExecutor()->post(std::move(work));
}

void DispatchQueue::asyncAfter(double seconds, std::function<void()> work) {
    if (!work)
        return;
    if (worker_)
        startedWorker().schedule(dueAfter(seconds), std::move(work));
    else
        installedMainExecutor()->postAfter(seconds, std::move(work));
}

void DispatchQueue::sync(const std::function<void()>& work) {
    if (!worker_)
        fail("sync is not available on the main queue");
    if (currentWorker == worker_.get()) {
        work();
        return;
    }
    std::packaged_task<void()> task(work);
    auto done = task.get_future();
    if (!startedWorker().schedule(SteadyClock::now(), [&task] { task(); })) {
        work(); // the queue has ended
        return;
    }
    done.get();
}
